#include "engine/process_thread.h"

#include "base/debuglog.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <linux/futex.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qz {

namespace {

// How long a waiting side spins before it sleeps. With batches of up to a few megabytes and a
// read-ahead of several batches a side rarely waits at all; when it does, a short spin catches
// a batch that is about to arrive without burning a processor that the other side (or another
// process on a busy machine) needs.
constexpr auto kSpinTime = std::chrono::microseconds(30);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

template <class Ready> bool SpinUntil(Ready&& ready) {
    const auto until = std::chrono::steady_clock::now() + kSpinTime;
    do {
        for (int i = 0; i < 32; ++i) {
            if (ready()) return true;
            CpuRelax();
        }
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

// Returns once ready() holds: a short spin, then the kernel's futex on the word's sequence.
// The sleeper is counted before ready() is checked again, and the other side bumps the
// sequence after changing the state and before it looks for sleepers, so no change is missed.
template <class Word, class Ready> void WaitUntil(Word& word, Ready&& ready) {
    if (SpinUntil(ready)) return;
    for (;;) {
        const uint32_t seen = word.Sequence.load();
        word.Sleepers.fetch_add(1);
        if (ready()) {
            word.Sleepers.fetch_sub(1);
            return;
        }
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word.Sequence), FUTEX_WAIT_PRIVATE, seen,
                  nullptr, nullptr, 0);
        word.Sleepers.fetch_sub(1);
        if (ready()) return;
    }
}

// After a change of the state that the word's sleepers wait for.
template <class Word> void Notify(Word& word) {
    word.Sequence.fetch_add(1);
    if (word.Sleepers.load() != 0)
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word.Sequence), FUTEX_WAKE_PRIVATE,
                  INT32_MAX, nullptr, nullptr, 0);
}

// The default step: record by record through the scan's batch loop, so that a failure names
// its record.
void DecodeAndStore(TNTFS_FILES& s, TDecodeContext& ctx, uint8_t* data, uint64_t first,
                    size_t count, bool readRaw) {
    const size_t bpr = s.BytesPerRecord();
    for (size_t n = 0; n < count; ++n) {
        const uint64_t recno = first + n;
        if (s.NumMFTRecords > 0 && int64_t(recno) >= s.NumMFTRecords) break;
        try {
            s.ProcessRecordBatch(ctx, data + n * bpr, recno, 1, readRaw);
        } catch (const std::exception& e) {
            DebugLog("error processmftrecord " + std::to_string(recno) + ": " + e.what());
            throw std::runtime_error("error processmftrecord " + std::to_string(recno) + " " +
                                     std::to_string(recno));
        }
    }
}

} // namespace

TNTFS_ProcessThread::TNTFS_ProcessThread(TNTFS_FILES& scan, TBatchProcessor process)
    : FScan(scan), FProcess(process ? std::move(process) : TBatchProcessor(DecodeAndStore)) {
    FThread = std::thread([this] { Execute(); });
}

TNTFS_ProcessThread::~TNTFS_ProcessThread() {
    WaitUntilIdle();
    FTerminate.store(true);
    Notify(FWorkerWake);
    if (FThread.joinable()) FThread.join();
}

void TNTFS_ProcessThread::WaitForInHand(uint32_t maxInHand) {
    auto ready = [&] { return Failed() || FQueued.load() - FDone.load() <= maxInHand; };
    if (ready()) return;
    ++FWaits;
    WaitUntil(FScanWake, ready);
}

void TNTFS_ProcessThread::WaitForFreeSlot() {
    WaitForInHand(kQueueDepth - 1);
}

void TNTFS_ProcessThread::WaitUntilIdle() {
    WaitForInHand(0);
}

void TNTFS_ProcessThread::StartBatch(size_t count, uint8_t* data, uint64_t firstRecNo,
                                     bool readRaw) {
    WaitForFreeSlot();
    if (Failed()) return;
    const uint32_t n = FQueued.load(std::memory_order_relaxed);
    FQueue[n % kQueueDepth] = TBatch{data, firstRecNo, count, readRaw};
    FQueued.store(n + 1); // publishes the slot
    Notify(FWorkerWake);
}

void TNTFS_ProcessThread::Execute() {
    // One step above normal where the system allows it (lowering the nice value needs
    // privileges; without them the worker runs at the normal priority).
    const pid_t tid = pid_t(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(tid));
    if (errno == 0) (void)::setpriority(PRIO_PROCESS, id_t(tid), nice - 1);

    TDecodeContext ctx;
    for (;;) {
        WaitUntil(FWorkerWake, [&] { return FTerminate.load() || FQueued.load() != FDone.load(); });
        const uint32_t done = FDone.load(std::memory_order_relaxed);
        if (FQueued.load() == done) break; // the end, and nothing left in hand
        const TBatch& b = FQueue[done % kQueueDepth];
        try {
            FProcess(FScan, ctx, b.Data, b.FirstRecNo, b.Count, b.ReadRaw);
        } catch (const std::exception& e) {
            FErrorMessage = e.what();
            FFailed.store(true);
            Notify(FScanWake);
            return; // a failed worker takes no further batch
        }
        const int64_t folders = int64_t(FScan.FDirList.size());
        FStoredFolders.store(folders, std::memory_order_relaxed);
        FStoredFiles.store(int64_t(FScan.FFileList.size()) - folders, std::memory_order_relaxed);
        FDone.store(done + 1);
        Notify(FScanWake);
    }
}

} // namespace qz
