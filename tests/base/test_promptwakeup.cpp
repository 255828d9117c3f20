// The window thread's short scheduler slice: asked for on one thread only, not passed on to
// the threads it starts (the scan threads must keep the normal slice and their full share).
#include "base/promptwakeup.h"

#include <gtest/gtest.h>
#include <thread>

namespace qz {
namespace {

TEST(PromptWakeup, OnlyTheAskingThreadGetsTheShortSlice) {
    const uint64_t normal = CurrentSchedulerSliceNs();
    if (normal == 0) GTEST_SKIP() << "the scheduler reports no slice here";
    // Asked on a thread of its own, so the test's thread keeps what it has.
    uint64_t asked = 0, started = 0;
    bool granted = false;
    std::thread window([&] {
        granted = AskShortSchedulerSlice(250'000);
        asked = CurrentSchedulerSliceNs();
        std::thread scan([&] { started = CurrentSchedulerSliceNs(); });
        scan.join();
    });
    window.join();
    if (!granted) GTEST_SKIP() << "the system refused the request";
    if (asked == normal) GTEST_SKIP() << "this kernel takes no slice request (before 6.12)";
    EXPECT_EQ(asked, 250'000u);
    EXPECT_EQ(started, normal);
    EXPECT_EQ(CurrentSchedulerSliceNs(), normal);
}

} // namespace
} // namespace qz
