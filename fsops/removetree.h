// Permanent removal of a file, a link or a folder with everything in it.
//
// Folders are emptied through descriptors (openat, getdents64, unlinkat relative to the
// folder's own descriptor), so a path is never looked up twice and a folder swapped for a link
// while the removal runs is not followed. Symbolic links are removed, never followed. Another
// mounted file system inside the tree (a bind mount included) is never entered: its mount
// point is reported and left in place, and so are the folders above it. Each folder opened is
// checked to be the one that was listed.
//
// The removal runs on the caller's thread; another thread may cancel it (stopped before the
// next entry) and read its progress. Every failure is passed to a handler that decides whether
// the rest is still removed (Skip) or the removal ends (Stop).
#pragma once

#include "fsops/itemlookup.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace qz {

// Shared with the thread that shows progress and may cancel.
struct TRemoveProgress {
    std::atomic<bool> Cancel{false};
    std::atomic<uint64_t> Removed{0}; // files, links and folders removed so far
};

struct TRemoveFailure {
    std::string Path;    // the item that could not be removed (or entered)
    int Error = 0;       // errno; 0 for a refusal of our own (a mount point)
    std::string Message; // the reason as a sentence
};

enum class TFailureChoice : uint8_t { Skip, Stop };
using TFailureHandler = std::function<TFailureChoice(const TRemoveFailure&)>;

enum class TRemoveOutcome : uint8_t {
    Removed,    // the item is gone (or was gone already)
    Incomplete, // failures were skipped: some of it is left
    Stopped,    // a failure ended the removal
    Cancelled,  // Cancel was set
};

// Removes path (absolute, or relative to the current folder) and everything below it. With
// expect, the item must still be that file (device and inode), else nothing is touched.
TRemoveOutcome RemoveTree(const std::string& path, TRemoveProgress& progress,
                          const TFailureHandler& onFailure, const TItemIdentity* expect = nullptr);

} // namespace qz
