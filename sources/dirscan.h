// The folder walk: scans a folder tree of any Linux file system into the scan's records.
//
// The root is record 5, named after the absolute folder path without a trailing "/" (the
// file-system root keeps "/"), so GetRecordPath gives real paths; every entry below gets a
// running number from 24 upward. Subfolders are shared out to TSlowScanThread workers (at
// most one fewer than the processors, the scan thread being the last walker); every change of
// the scan's lists and shared counters happens under SlowScanCrit. Symbolic links are listed
// with their own size and never followed; a folder holding another mounted file system is
// listed as an empty folder and not entered. Entries matching the exclude filter are dropped
// as they are found, and an excluded folder is never read.
//
// Of the names of a hard-linked file the one whose path comes first counts its bytes on disk,
// decided after the walk, so the totals do not depend on thread timing. A folder that cannot
// be read completely and an entry that cannot be examined are kept, marked Unreadable, and
// counted in the scan's Warnings.
#pragma once

#include "engine/scan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace qz {

struct TSlowScanOptions {
    // Walkers including the scan thread; 0 = the processors available to the process. 1
    // walks everything on the scan thread (no worker is ever started).
    int Threads = 0;
    // Use the older method (opendir/readdir and lstat on full paths) throughout. Also set by
    // the environment variable QUARZEL_FORCE_COMPATIBLE_SCAN (any value but "0").
    bool ForceOlderMethod = false;
    // Called with a folder's path after each block of its entries is listed and before they
    // are examined (from the walking thread). Lets tests change the tree at that moment.
    std::function<void(const std::string& folderPath)> AfterBlockListed;
};

// What happened during a walk besides the records themselves.
struct TSlowScanStats {
    int64_t WorkersStarted = 0; // TSlowScanThread objects created
    int64_t HandOffs = 0;       // folders walked by another walker than the one that found them
    int64_t Excluded = 0;       // entries dropped by the exclude filter
    int64_t Vanished = 0;       // entries listed but gone before they could be examined
    int64_t NotExamined = 0;    // entries listed but not examinable (kept with no sizes)
    int64_t MountsSkipped = 0;  // folders holding another mounted file system
    int64_t ExtraLinks = 0;     // names marked DoNotCountFlag (hard links counted elsewhere)
    bool OlderMethodFallback = false; // the block method failed and the walk was redone
    bool WaitedOnDisk = false; // reads kept blocking: more walkers than processors were allowed
    // Folders that could not be read completely (listed, but some or all content missing).
    std::vector<PMFT_RECORD> UnreadableFolders;
};

// Process-wide options used by the registered folder-scan pass.
TSlowScanOptions& SlowScanDefaults();

// The folder-source pass of ProcessMFTRecords: walks nf.FSource into nf's records. The
// include filter is carried for the later FilterResults step; the exclude filter is applied
// during the walk. Failures (a root that does not exist, is not a folder or cannot be read)
// are reported through nf.WasError and nf.ErrorMessage; the root record exists in any case.
void DoSlowMode(TNTFS_FILES& nf, const TScanFilterTexts& filters);
void DoSlowMode(TNTFS_FILES& nf, const TScanFilterTexts& filters, const TSlowScanOptions& options,
                TSlowScanStats* stats);

// The root record's name for a folder path: absolute (relative paths are taken from the
// current folder), "." components and repeated or trailing "/" removed, ".." resolved ("a/.."
// is nothing, unless a is a symbolic link: then it is the folder holding a's target, as the
// kernel resolves it); "/" stays "/". Bytes in, bytes out (Linux names need not be UTF-8).
std::string SlowScanRootName(const std::string& path);

} // namespace qz
