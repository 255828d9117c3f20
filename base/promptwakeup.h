// Asks the kernel's scheduler to let the calling thread (the window's) run soon after it wakes.
//
// While a scan keeps every core busy, an event for the window (a click, a repaint, a progress
// tick) waits until a scan thread's time slice ends, which is a few milliseconds per thread
// queued ahead. Since Linux 6.12 a thread of the normal policy may ask for a shorter slice
// (sched_attr.sched_runtime); such a thread is put ahead of longer-slice threads when it
// wakes, and gets no larger share of the processor for it. Older kernels ignore the request.
// Threads the caller starts later keep the normal slice (reset on fork).
#pragma once

#include <cstdint>

namespace qz {

// The slice asked for the window's thread: short enough that a woken window thread is served
// within a fraction of a frame, long enough that its own work is not cut into many pieces.
inline constexpr uint64_t kWindowSliceNs = 300'000;

// Asks for sliceNs (clamped by the kernel to 0.1-100 ms) for the calling thread, keeping its
// policy and nice value. False when the system refused the request.
bool AskShortSchedulerSlice(uint64_t sliceNs = kWindowSliceNs);

// The calling thread's slice in nanoseconds as the scheduler reports it, 0 when unknown.
uint64_t CurrentSchedulerSliceNs();

} // namespace qz
