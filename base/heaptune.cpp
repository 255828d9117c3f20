#include "base/heaptune.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qz {

bool TuneHeapForLargeBuffers() {
#if defined(__GLIBC__)
    // Setting either value also ends glibc's own adjustment of the thresholds.
    return mallopt(M_MMAP_THRESHOLD, int(kHeapBlockLimit)) == 1 &&
           mallopt(M_TRIM_THRESHOLD, int(kHeapTopKept)) == 1;
#else
    return false;
#endif
}

void ReleaseFreeHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace qz
