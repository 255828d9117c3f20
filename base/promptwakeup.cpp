#include "base/promptwakeup.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/syscall.h>
#include <unistd.h>

namespace qz {

namespace {

// The kernel's struct sched_attr (linux/sched/types.h clashes with the C library's headers).
struct TSchedAttr {
    uint32_t Size;
    uint32_t Policy;
    uint64_t Flags;
    int32_t Nice;
    uint32_t Priority;
    uint64_t Runtime;
    uint64_t Deadline;
    uint64_t Period;
    uint32_t UtilMin;
    uint32_t UtilMax;
};

constexpr uint64_t kResetOnFork = 0x01; // SCHED_FLAG_RESET_ON_FORK

} // namespace

bool AskShortSchedulerSlice(uint64_t sliceNs) {
#if defined(SYS_sched_setattr) && defined(SYS_sched_getattr)
    TSchedAttr attr;
    std::memset(&attr, 0, sizeof attr);
    if (::syscall(SYS_sched_getattr, 0, &attr, unsigned(sizeof attr), 0u) != 0) return false;
    if (attr.Policy != 0 /* SCHED_OTHER */) return false; // a real-time or batch thread: as it is
    attr.Size = sizeof attr;
    attr.Runtime = sliceNs;
    attr.Flags = kResetOnFork; // threads started from here keep the normal slice
    return ::syscall(SYS_sched_setattr, 0, &attr, 0u) == 0;
#else
    (void)sliceNs;
    return false;
#endif
}

uint64_t CurrentSchedulerSliceNs() {
    std::FILE* f = std::fopen("/proc/thread-self/sched", "re");
    if (!f) return 0;
    char line[256];
    unsigned long long slice = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "se.slice", 8) == 0) {
            const char* colon = std::strchr(line, ':');
            if (colon) slice = std::strtoull(colon + 1, nullptr, 10);
            break;
        }
    std::fclose(f);
    return slice;
}

} // namespace qz
