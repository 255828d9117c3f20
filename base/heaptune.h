// How the C library's allocator treats large blocks, set once when the window starts.
//
// By default glibc serves every block above its mmap threshold (dynamic, at most 32 MiB) with a
// fresh mapping and unmaps it when freed, so each new image buffer of a window being resized
// (the backing store, the treemap's bitmaps) faults in every one of its pages again; on a
// virtual machine that costs a quarter of a second for 50 MB. With the threshold raised, such
// buffers come from the heap and a freed one is reused by the next of about the same size
// without faulting; the free space the heap keeps at its top is bounded by the trim threshold,
// and ReleaseFreeHeap hands the free pages back when a large amount was let go (a scan closed).
#pragma once

#include <cstddef>

namespace qz {

// Blocks up to this size come from the heap (larger ones are still mapped on their own).
inline constexpr size_t kHeapBlockLimit = size_t(64) << 20;
// Free space at the heap's top beyond this is given back to the system at once.
inline constexpr size_t kHeapTopKept = size_t(64) << 20;

// Sets both limits; false when the allocator refused them (not glibc: nothing to do).
bool TuneHeapForLargeBuffers();
// Gives the heap's free pages back to the system (after a large release).
void ReleaseFreeHeap();

} // namespace qz
