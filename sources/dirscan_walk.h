// Internals of the folder walk: the state one walk shares between its threads, the walker
// that reads a subtree, and the worker threads.
//
// A walker reads a folder, turns its entries into records, adds them to the scan in one locked
// step per block of entries, then descends into the subfolders one by one. It keeps its
// position as an explicit stack of folders (so any depth works), and holds a folder's
// descriptor open only while subfolders of it remain to be opened; past its share of the
// process's descriptors it closes those of the shallowest folders and opens them again by name
// (checking their inode) when it comes back to them. Whenever another walker is idle, it hands
// over the pending subfolder nearest the top of its stack (the largest piece of work it knows
// of) instead of keeping everything; otherwise it walks the subfolder itself. Idle walkers are
// the workers without a folder and, once its own share is done, the scan thread.
#pragma once

#include "base/filehandle.h"
#include "engine/scan.h"
#include "filters/filters.h"
#include "sources/dirscan.h"
#include "sources/dirscan_hardlinks.h"
#include "sources/dirscan_linux.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace qz::dirscan {

class TSlowScanThread;
class TWalker;

// One folder to walk (with everything below it).
struct TFolderTask {
    TFileHandle fd; // open folder (block method); invalid for the older method
    PMFT_RECORD rec = nullptr;
    std::string path;   // full path bytes (logs, the older method)
    double share = 0;   // this folder's share of the progress score
    uint64_t dev = 0;   // file system of the folder
    uint64_t ino = 0;   // the folder's inode (to recognise it when it is opened again)
    bool older = false; // read with the older method (and so is everything below)
};

// Scan-wide state of one walk, shared by reference with every walker.
class TSlowScanWalk {
public:
    TSlowScanWalk(TNTFS_FILES& nf, const TSlowScanOptions& options, TSlowScanStats& stats,
                  int walkers);
    ~TSlowScanWalk(); // stops and joins the workers
    TSlowScanWalk(const TSlowScanWalk&) = delete;
    TSlowScanWalk& operator=(const TSlowScanWalk&) = delete;

    TNTFS_FILES& NF;
    const TSlowScanOptions& Options;
    TSlowScanStats& Stats;

    // ---- shared counters (changed under NF.SlowScanCrit)
    int64_t NextRecNo = 24;
    int64_t totfolders = 0;
    int64_t totfiles = 0;
    int64_t totfoldersprocessed = 0;
    double totscore = 0;
    THardLinkNames Links; // names of files with several links, decided after the walk

    // The exclude filter, tested on each entry before it is stored (a filled-in record linked
    // to its parent); nil when nothing is excluded.
    const TWalkExcludeFilter* Exclude = nullptr;

    // Stop everything: cancel, or an error in a worker.
    bool Stop() const { return NF.Cancelled() || FAbort.load(std::memory_order_relaxed); }
    // First error raised by a worker (empty if none).
    std::string WorkerError() const;
    void FailFromWorker(const std::string& message);

    // ---- walkers
    // True when some walker is idle (cheap; no lock).
    bool WalkerIdle() const { return FIdle.load(std::memory_order_relaxed) > 0; }
    // Reserve an idle walker; false when none is left. A reservation must be followed by
    // HandOff.
    bool ReserveWalker();
    // Give the task to the reserved walker (an idle worker, a new worker, or the waiting scan
    // thread) -- StartSlowScanThread.
    void HandOff(TFolderTask&& task);
    // Scan thread: take part as an idle walker (with its walker) until every walker is idle,
    // reporting progress every 5 ms -- WaitSlowScanThreads.
    void WaitSlowScanThreads(TWalker& walker);
    // Called by a worker when its folder is done.
    void WorkerDone(TSlowScanThread* t);
    // Stop and join all workers (also after a failure).
    void StopWorkers();

    // Progress from the scan thread: at most every 5 ms unless forced.
    void ReportProgress(bool force);
    // Reset counters and tables for a fresh walk (after a failed block walk).
    void ResetCounters();

    // A walker found the walk waiting on the disk: allow more walkers than processors (once),
    // so that more reads are in flight. Cheap after the first call.
    void AllowWaitingWalkers();
    bool WaitingWalkersAllowed() const { return FIoBound.load(std::memory_order_relaxed); }
    bool CanAddWaitingWalkers() const { return FIoBoundWorkers > FMaxWorkersAtStart; }

    // Folder descriptors one walker keeps open at most (from the process's limit).
    size_t FdBudget() const { return FFdBudget; }

private:
    friend class TSlowScanThread;
    std::vector<std::unique_ptr<TSlowScanThread>> SlowScanThreads; // guarded by SlowScanCrit
    std::condition_variable FWake; // scan thread waiting for a folder or for the end
    std::atomic<int> FIdle{0};     // idle walkers + workers not started yet
    int FMaxWorkers = 0;           // guarded by SlowScanCrit once the walk runs
    int FMaxWorkersAtStart = 0;
    int FIoBoundWorkers = 0; // the maximum once the walk is known to wait on the disk
    std::atomic<bool> FIoBound{false};
    size_t FFdBudget = 0;
    int FBusyWorkers = 0;                         // guarded by SlowScanCrit
    bool FScanThreadWaiting = false;              // guarded by SlowScanCrit
    std::unique_ptr<TFolderTask> FScanThreadTask; // guarded by SlowScanCrit
    std::atomic<bool> FAbort{false};
    std::string FWorkerError; // guarded by SlowScanCrit
    int64_t FLastProgressMs = -1;
};

// Reads subtrees; one per thread.
class TWalker {
public:
    TWalker(TSlowScanWalk& walk, TRecordArena& arena, bool scanThread);
    // Walk the task's folder and everything below it that is not handed to other walkers --
    // SlowScanFolderAlloc (block method) or SlowScanFolder (older method).
    void Walk(TFolderTask&& task);

private:
    struct TSub {
        PMFT_RECORD rec;
        uint64_t ino;
        uint32_t nameOff, nameLen; // in TFrame::names
    };
    struct TFrame {
        TFileHandle fd;
        PMFT_RECORD rec = nullptr;
        std::string path;
        double share = 0;
        uint64_t dev = 0;
        uint64_t ino = 0;
        bool older = false;
        bool listed = false;
        size_t count = 0; // subfolders queued when the folder was listed
        size_t next = 0;  // next subfolder to walk here
        std::string names;
        std::vector<TSub> subs;
    };
    // A listed entry waiting to be added to the scan.
    struct TNewRecord {
        PMFT_RECORD rec;
        uint64_t dev, ino;
        uint32_t nlink;
        bool folder;
    };

    void Push(TFolderTask&& task);
    void ListFolder(TFrame& f);
    void ListBlockMethod(TFrame& f);
    void ListOlderMethod(TFrame& f);
    // Examine the entries in FRawEntries, make their records, queue subfolders, add them to the
    // scan.
    template <class StatFn> void TakeEntries(TFrame& f, StatFn&& stat);
    void Commit(TFrame& f);
    void Finish(TFrame& f);
    // A task for the pending subfolder s of frame f (opens it for the block method).
    TFolderTask OpenSub(TFrame& f, const TSub& s);
    // Keep at most the walk's budget of folder descriptors open, counting one more about to be
    // pushed: the descriptors of the shallowest folders (needed last) are closed first.
    void LimitOpenFolders();
    // Open frame j's folder again (its descriptor was closed by LimitOpenFolders), by name
    // from the nearest folder above it that is still open, checking that every folder on the
    // way is the one that was listed. Keeps the descriptors of the last levels opened.
    bool Reopen(size_t j);
    // Hand the pending subfolder nearest the top of the stack (among its first `frames`
    // folders) to an idle walker; false when there is none to give or no walker took it.
    bool HandOffShallowest(size_t frames);
    void Unreadable(TFrame& f, const char* what, int err);
    // After a folder was read: tell the walk when this walker's reads keep blocking (the
    // thread's voluntary context switches against the entries examined).
    void CheckBlocking(size_t entries);

    TSlowScanWalk& FWalk;
    TRecordArena& FArena;
    const bool FScanThread;
    std::vector<TFrame> FFrames;
    size_t FDepth = 0;
    std::unique_ptr<char[]> FBlock;
    std::vector<TRawEntry> FRawEntries;
    std::string FRawNames;  // name storage for the older method's entries
    std::string FEntryPath; // scratch full path (older method)
    std::u16string FName16;
    std::vector<TNewRecord> FBatch;
    std::vector<PMFT_RECORD> FUnreadable; // folders of the current block that cannot be read
    PMFT_RECORD FSpare = nullptr;         // a record taken from the arena but not used (excluded)
    struct TLocalCounts {
        int64_t Excluded = 0, Vanished = 0, NotExamined = 0, MountsSkipped = 0;
    } FLocalCounts; // added to the walk's statistics at the next locked step
    // Blocking check: the thread's voluntary switches when the current sample began, and the
    // folders and entries read since.
    long FSampleSwitches = -1;
    size_t FSampleFolders = 0, FSampleEntries = 0;
};

// A worker thread: walks the folders handed to it, one at a time, and waits in between.
class TSlowScanThread {
public:
    explicit TSlowScanThread(TSlowScanWalk& walk);
    ~TSlowScanThread();
    // Under SlowScanCrit: give the idle worker its next folder.
    void Assign(TFolderTask&& task);
    // Under SlowScanCrit: ask the worker to end once idle.
    void Terminate();
    void Join();
    bool ThreadComplete = true; // no folder in hand (guarded by SlowScanCrit)

private:
    void Run();
    TSlowScanWalk& FWalk;
    std::condition_variable FWake;
    std::unique_ptr<TFolderTask> FTask; // guarded by SlowScanCrit
    bool FTerminate = false;
    std::thread FThread;
};

// Walk buffer for one getdents64 call.
constexpr size_t kBlockSize = 65536;

} // namespace qz::dirscan
