// The scan pipeline, free of any toolkit: from resolved sources to finished scans and a
// loaded display tree. The window and the headless run drive the same object.
//
// One TNTFS_FILES and one TMFTThread per source. Each thread reads its source
// (ProcessMFTRecords), applies the include and exclude filters and computes the totals. The
// caller's thread waits in Wait, or polls with PollProgress from its own timer and learns the
// end from OnThreadsDone; either way the threads' progress is combined and passed on at most
// once a second unless the percentage rises. Finish then numbers the names across all scans,
// turns failed scans into error texts naming their source (their slots become empty), cuts a
// scanned folder out of a full-volume scan, and sums the totals. LoadTree builds and sorts
// the display tree.
//
// Everything a scan depends on is in the TScanOptions given to Start (a copy is kept), so the
// settings of the program may change while the threads run.
#pragma once

#include "engine/scan.h"
#include "fsops/sourcekind.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace qz {

// How a source is read.
enum class TScanMethod : uint8_t {
    Enumerate, // walk a folder tree (CreateSlow with the session's passes)
    CSVImport, // read a CSV/TSV export (CreateSlow with the session's passes)
    MFTDump,   // read an MFT dump file
    MFTVolume, // read the MFT of an NTFS image file or block device
    Device,    // walk a portable device (CreateDevice with the session's passes); Path is a device
               // path
};

// One source, resolved: what to read and how.
struct TScanSource {
    TSourceKind Kind = DT_FOLDER;
    TScanMethod Method = TScanMethod::Enumerate;
    std::u16string Path;     // folder, CSV/TSV file, dump file, image or device
    std::u16string RootName; // MFTVolume: name of the root record (a mount point), empty for
                             // the volume's own naming
    // Full-volume mode: the scanned folder, relative to the volume root ("/" separated); the
    // scan shown is that folder cut out of the whole volume's scan.
    std::u16string SubtreePath;
    std::u16string SubtreeRootName; // the cut-out scan's root name (the folder's full path)
};

// Filters and options the threads use.
struct TScanOptions {
    std::u16string FilterInclude, FilterExclude;
    bool MatchEntirePath = true;
    bool ShowMaxModifiedDate = true;
    TDateTime TimeOffset = 0; // local time minus UTC, in days
    // Each scan's thread also tallies its files by extension (the window's file types and
    // treemap colours); a headless run counts them itself under its own filters.
    bool TallyExtensions = false;
};

// Combined progress of all scans.
struct TScanProgress {
    int Percent = 0;
    int64_t Files = 0;
    int64_t Folders = 0;
    double Seconds = 0; // since the threads started
};

// The scan thread of one source. The scan object is made on the thread too: opening a
// source reads it (a boot sector, the first MFT records, a CSV header), and a device that has
// gone or hangs must not hold up the caller.
class TMFTThread {
public:
    TMFTThread(const TScanSource& source, const TScanOptions& options, const TSourcePasses& passes,
               int index,
               std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> diskSizeOf);
    ~TMFTThread(); // joins
    TMFTThread(const TMFTThread&) = delete;
    TMFTThread& operator=(const TMFTThread&) = delete;

    void Start(std::function<void()> onTerminate = {});
    void Join();
    bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
    // Any thread: the scan stops as soon as it notices (before it starts reading, when the
    // request comes while the source is being opened).
    void Cancel();

    // After Join: the scan (nil when the source could not be opened, see OpenError), its space
    // figures, and why it could not be opened.
    std::unique_ptr<TNTFS_FILES> TakeScan() { return std::move(FScan); }
    // Any thread: the scan once its source is open (nil before, or when it could not be).
    TNTFS_FILES* Scan();
    const TDiskSizeInfo& Space() const { return FSpace; }
    // After Join: the scan's extension tally (empty unless the options asked for it).
    TExtTally TakeExtTally() { return std::move(FExtTally); }
    const std::string& OpenError() const { return FOpenError; }

    // Last reported figures (written by the scan's threads, read by the caller's thread).
    std::atomic<int> _percent{0};
    std::atomic<int64_t> _numfiles{0};
    std::atomic<int64_t> _numdirs{0};
    std::atomic<int64_t> _numrecords{0}; // the scan's record count when it knows it

private:
    void Execute();
    void Open();

    const TScanSource FSource;
    const TScanOptions FOptions;
    const TSourcePasses FPasses;
    const int FIndex;
    std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> FDiskSizeOf;
    std::unique_ptr<TNTFS_FILES> FScan;
    TDiskSizeInfo FSpace;
    TExtTally FExtTally;
    std::string FOpenError;
    std::mutex FCancelLock; // orders a cancel against the scan being made
    bool FCancelRequested = false;
    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::function<void()> FOnTerminate;
};

// The progress display rule: show when the percentage is 100, rose above the last shown one,
// or when the last display is at least a second old.
class TProgressThrottle {
public:
    bool ShouldShow(int percent, std::chrono::steady_clock::time_point now);
    void Reset() { FShown = false; }

private:
    bool FShown = false;
    int FLastPercent = 0;
    std::chrono::steady_clock::time_point FLast{};
};

// Combines per-scan figures: with every record count known, the record-weighted percentage
// (rounded per scan, capped at 100); otherwise the integer mean of the percentages.
struct TScanFigures {
    int Percent = 0;
    int64_t Files = 0, Folders = 0, Records = 0;
};
TScanProgress CombineProgress(std::span<const TScanFigures> scans);

class TScanSession {
public:
    // passes: how the folder, CSV/TSV and device sources are read (the program gives
    // sources/sources.h: ScanSourcePasses()); every slow-mode scan of the session gets them.
    explicit TScanSession(const TSourcePasses& passes) : FPasses(passes) {}
    ~TScanSession(); // cancels and waits for running threads
    TScanSession(const TScanSession&) = delete;
    TScanSession& operator=(const TScanSession&) = delete;

    // Space figures of a source, asked for on each scan's thread once its source is open.
    std::function<TDiskSizeInfo(const TScanSource&, const TNTFS_FILES&)> DiskSizeOf;
    // Called on the thread of the scan that ends last, once every thread of a Start has
    // ended (not at all when nothing was started). It must not call into the session: a
    // window posts itself a message from here and calls Finish on its own thread.
    std::function<void()> OnThreadsDone;

    // Frees the previous scans and starts one thread per source, which opens the source and
    // reads it. A source that cannot be opened leaves its slot empty and an error text (in
    // Finish). False when there was nothing to start.
    bool Start(std::span<const TScanSource> sources, const TScanOptions& options);
    bool Running() const;
    // CancelProcess on every scan; the threads end as soon as their scans notice it.
    void Cancel();
    bool CancelRequested() const { return FCancelRequested; }
    // The combined progress now; true when it should be shown (the throttle).
    bool PollProgress(TScanProgress& out);
    // Waits for every thread on the calling thread, passing the throttled progress on.
    // shouldCancel is asked on every round; true cancels the scans.
    void Wait(const std::function<void(const TScanProgress&)>& onProgress,
              const std::function<bool()>& shouldCancel = {});
    // After the wait (or OnThreadsDone): name numbering, errors, full-volume cut, totals. True
    // when no scan failed. May run on any one thread while no other thread uses the session.
    bool Finish();
    // Builds tree from the scans and sorts it; for headless runs sortBy is the "sortby"
    // choice (1 size, 2 allocated, 3 modified, all descending; anything else name
    // ascending), for the window -1 keeps the tree's own sort column. False with error when
    // a scan's root cannot be found.
    bool LoadTree(TDisplayTree& tree, int sortBy, std::string* error = nullptr);
    // Frees the scans (clear the views that show them first).
    void Clear();

    // ---- results
    // One slot per source (filled by Finish); empty after a failure.
    std::vector<std::unique_ptr<TNTFS_FILES>> ScanSlots;
    std::vector<TDiskSizeInfo> DiskSizes; // one per slot
    std::vector<TScanSource> Sources;     // one per slot
    PMFT_RECORD RootMFT = nullptr;        // root shown: the first scan's root
    TMFT_RECORD RootMFTMulti{};           // sums over the scans (two fields)
    std::vector<std::string> Errors;      // "Error: <message> [<source>]"
    // One per slot when the options asked for them (TallyExtensions): the files by extension
    // as the scans ended, counted again by a filter pass. Deletes change the records, not these.
    std::vector<TExtTally> ExtTallies;
    bool FoldersOnly = false; // the include filter is folders-only
    double Seconds = 0;       // from thread start to the end of the last
    // When the last scan thread of the latest Start ended (measurements of what follows).
    std::chrono::steady_clock::time_point ThreadsEndedAt() const { return FEnd; }
    // A scan was cancelled before it had finished.
    bool WasCancelled() const;
    // Any thread, while the threads of a Start run (until Finish): the scan of slot k once its
    // thread has opened the source; nil before that or when it could not be opened.
    TNTFS_FILES* RunningScan(size_t k) const;
    // The scans that exist, in order (for views and exports).
    std::vector<TNTFS_FILES*> Scans() const;

private:
    TSourcePasses FPasses;
    std::vector<std::unique_ptr<TMFTThread>> FThreads;
    TScanOptions FOptions;
    TProgressThrottle FThrottle;
    std::chrono::steady_clock::time_point FStart{};
    std::chrono::steady_clock::time_point FEnd{}; // when the last thread ended
    bool FCancelRequested = false;
    std::atomic<int> FRunning{0};
    // Wakes Wait when a scan thread ends.
    std::mutex FWakeLock;
    std::condition_variable FWake;
};

// "Scanning (Folders: 1,234  Files: 56,789)"
std::u16string ScanProgressText(const TScanProgress& p, const TNumberFormat& nf);
// "Scan complete 1.23 seconds", with " (Cancelled)" for a cancelled scan.
std::u16string ScanCompleteText(double seconds, bool cancelled, const TNumberFormat& nf);
// The sort column and direction of a "sortby" choice.
void SortChoice(int sortBy, int& column, TSortDirection& direction);

} // namespace qz
