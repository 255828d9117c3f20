// The debug log: off by default, whole lines in the fixed format, from any thread.
#include "base/debuglog.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>
#include <vector>

using namespace qz;

TEST(DebugLog, OffUnlessEnabledThenWholeLinesFromAnyThread) {
    qz::test::TempDir tmp;
    DisableDebugLog();
    DebugLog("not written");
    EXPECT_TRUE(DebugLogPath().empty());

    EnableDebugLog(tmp / "logs"); // the folder is created on the first line
    const std::string path = DebugLogPath();
    EXPECT_NE(path.find("/quarzellog"), std::string::npos);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                DebugLog("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (auto& th : threads) th.join();
    DebugLog(u"Scanner Initialize");
    DisableDebugLog();

    std::ifstream f(path);
    std::string line;
    const std::regex shape(R"(\d{8} \d{6} L0 (thread \d line \d+|Scanner Initialize))");
    int lines = 0;
    while (std::getline(f, line)) {
        EXPECT_TRUE(std::regex_match(line, shape)) << line;
        ++lines;
    }
    EXPECT_EQ(lines, 201);
}
