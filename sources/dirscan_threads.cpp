// Worker threads of the folder walk and the shared state they meet in.
//
// The number of threads is bounded as for the classic walk (workers: one fewer than the
// walkers), but a worker is not thrown away after its folder: it waits for the next one, so
// handing a folder over costs a wake-up instead of a thread start. A folder is handed over
// only when a walker is idle; there is no queue. The scan thread, once its own share is done,
// is an idle walker too.
#include "sources/dirscan_walk.h"

#include "base/debuglog.h"
#include "base/translate.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <sys/resource.h>

namespace qz::dirscan {

namespace {
int64_t MonotonicMs() {
    struct timespec ts {};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
} // namespace

// ---------------------------------------------------------------- TSlowScanWalk

TSlowScanWalk::TSlowScanWalk(TNTFS_FILES& nf, const TSlowScanOptions& options,
                             TSlowScanStats& stats, int walkers)
    : NF(nf), Options(options), Stats(stats) {
    FMaxWorkers = walkers > 1 ? walkers - 1 : 0;
    // A walk that waits on the disk gets up to four walkers a processor (at most 16): while
    // they block, more stat calls are in flight and the disk's queue stays full. A single
    // walker (asked for explicitly) stays single.
    FIoBoundWorkers = walkers > 1 ? std::max(std::min(walkers * 4, 16) - 1, FMaxWorkers) : 0;
    FMaxWorkersAtStart = FMaxWorkers;
    FIdle.store(FMaxWorkers);
    // Half of the process's descriptors, shared among the walkers; the rest is left to the
    // program. A deeper stack of folders with pending subfolders reopens folders by name.
    uint64_t limit = 1024;
    struct rlimit rl {};
    if (::getrlimit(RLIMIT_NOFILE, &rl) == 0)
        limit = rl.rlim_cur == RLIM_INFINITY ? uint64_t(1) << 20 : uint64_t(rl.rlim_cur);
    FFdBudget = size_t(std::clamp<uint64_t>(limit / 2 / uint64_t(walkers > 0 ? walkers : 1), 8,
                                            uint64_t(1) << 16));
}

TSlowScanWalk::~TSlowScanWalk() {
    StopWorkers();
}

std::string TSlowScanWalk::WorkerError() const {
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    return FWorkerError;
}

void TSlowScanWalk::FailFromWorker(const std::string& message) {
    DebugLog("SlowScanThread error: " + message);
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    if (FWorkerError.empty()) FWorkerError = message.empty() ? tr("error in folder walk") : message;
    FAbort.store(true);
}

bool TSlowScanWalk::ReserveWalker() {
    int v = FIdle.load(std::memory_order_relaxed);
    while (v > 0)
        if (FIdle.compare_exchange_weak(v, v - 1, std::memory_order_acq_rel)) return true;
    return false;
}

void TSlowScanWalk::HandOff(TFolderTask&& task) {
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    ++Stats.HandOffs;
    if (FScanThreadWaiting && !FScanThreadTask) {
        FScanThreadTask = std::make_unique<TFolderTask>(std::move(task));
        FWake.notify_all();
        return;
    }
    // StartSlowScanThread: an idle worker, or a new one while fewer than the maximum exist.
    for (auto& t : SlowScanThreads) {
        if (t->ThreadComplete) {
            ++FBusyWorkers;
            t->Assign(std::move(task));
            return;
        }
    }
    SlowScanThreads.push_back(std::make_unique<TSlowScanThread>(*this));
    ++Stats.WorkersStarted;
    ++FBusyWorkers;
    SlowScanThreads.back()->Assign(std::move(task));
}

void TSlowScanWalk::AllowWaitingWalkers() {
    if (FIoBound.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    if (FIoBound.exchange(true)) return;
    Stats.WaitedOnDisk = true;
    const int extra = FIoBoundWorkers - FMaxWorkers;
    if (extra <= 0) return;
    FMaxWorkers = FIoBoundWorkers;
    FIdle.fetch_add(extra, std::memory_order_acq_rel);
    DebugLog("SlowScan: the walk waits on the disk: up to " + std::to_string(FMaxWorkers + 1) +
             " walkers");
}

void TSlowScanWalk::WorkerDone(TSlowScanThread* t) {
    // Under SlowScanCrit (called by the worker's loop).
    t->ThreadComplete = true;
    --FBusyWorkers;
    FIdle.fetch_add(1, std::memory_order_acq_rel);
    if (FBusyWorkers == 0) FWake.notify_all();
}

void TSlowScanWalk::WaitSlowScanThreads(TWalker& walker) {
    std::unique_lock<std::mutex> lk(NF.SlowScanCrit);
    FScanThreadWaiting = true;
    FIdle.fetch_add(1, std::memory_order_acq_rel);
    for (;;) {
        if (FScanThreadTask) {
            // While the scan thread walks a folder it is not idle: what it hands over in the
            // meantime must go to an idle worker, not back into its own slot.
            std::unique_ptr<TFolderTask> t = std::move(FScanThreadTask);
            FScanThreadWaiting = false;
            lk.unlock();
            walker.Walk(std::move(*t));
            ReportProgress(false);
            lk.lock();
            FScanThreadWaiting = true;
            FIdle.fetch_add(1, std::memory_order_acq_rel);
            continue;
        }
        if (FBusyWorkers == 0) break;
        FWake.wait_for(lk, std::chrono::milliseconds(5));
        lk.unlock();
        ReportProgress(false);
        lk.lock();
    }
    FScanThreadWaiting = false;
    FIdle.fetch_sub(1, std::memory_order_acq_rel);
}

void TSlowScanWalk::StopWorkers() {
    std::vector<std::unique_ptr<TSlowScanThread>> threads;
    {
        std::lock_guard<std::mutex> g(NF.SlowScanCrit);
        if (FBusyWorkers > 0) FAbort.store(true); // running walks end at their next check
        for (auto& t : SlowScanThreads) t->Terminate();
        threads.swap(SlowScanThreads);
    }
    for (auto& t : threads) t->Join();
    threads.clear();
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    FBusyWorkers = 0;
    FScanThreadTask.reset();
    FScanThreadWaiting = false;
    FIdle.store(FMaxWorkers);
}

void TSlowScanWalk::ResetCounters() {
    std::lock_guard<std::mutex> g(NF.SlowScanCrit);
    NextRecNo = 24;
    totfolders = totfiles = totfoldersprocessed = 0;
    totscore = 0;
    Links.Clear();
    FWorkerError.clear();
    FAbort.store(false);
}

void TSlowScanWalk::ReportProgress(bool force) {
    if (!NF.OnProgress) return;
    const int64_t now = MonotonicMs();
    if (!force && FLastProgressMs >= 0 && now - FLastProgressMs < 5) return;
    FLastProgressMs = now;
    int pct;
    int64_t files, dirs;
    {
        std::lock_guard<std::mutex> g(NF.SlowScanCrit);
        pct = int(totscore * 100);
        files = totfiles;
        dirs = totfolders;
    }
    pct = pct < 0 ? 0 : pct > 100 ? 100 : pct;
    NF.OnProgress(NF.index, pct, files, dirs);
}

// ---------------------------------------------------------------- TSlowScanThread

TSlowScanThread::TSlowScanThread(TSlowScanWalk& walk) : FWalk(walk) {
    FThread = std::thread([this] { Run(); });
}

TSlowScanThread::~TSlowScanThread() {
    Join();
}

void TSlowScanThread::Assign(TFolderTask&& task) {
    ThreadComplete = false;
    FTask = std::make_unique<TFolderTask>(std::move(task));
    FWake.notify_one();
}

void TSlowScanThread::Terminate() {
    FTerminate = true;
    FWake.notify_one();
}

void TSlowScanThread::Join() {
    if (FThread.joinable()) FThread.join();
}

void TSlowScanThread::Run() {
    std::unique_ptr<TWalker> walker;
    try {
        walker = std::make_unique<TWalker>(FWalk, FWalk.NF.NewArena(), false);
    } catch (const std::exception& e) {
        FWalk.FailFromWorker(e.what());
    }
    std::unique_lock<std::mutex> lk(FWalk.NF.SlowScanCrit);
    for (;;) {
        FWake.wait(lk, [this] { return FTask || FTerminate; });
        if (FTerminate) break;
        std::unique_ptr<TFolderTask> task = std::move(FTask);
        lk.unlock();
        // The worker ends its folder also when the walk fails: the failure is kept for the
        // scan thread, which then stops the whole walk.
        try {
            if (walker) walker->Walk(std::move(*task));
        } catch (const std::exception& e) {
            FWalk.FailFromWorker(e.what());
        } catch (...) {
            FWalk.FailFromWorker("unknown error in folder walk");
        }
        task.reset();
        lk.lock();
        FWalk.WorkerDone(this);
    }
}

} // namespace qz::dirscan
