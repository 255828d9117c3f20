#include "engine/process_thread.h"

#include "engine/debuglog.h"

#include <cerrno>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qz {

namespace {

// About 20-60 microseconds of pause instructions, depending on the processor.
constexpr int kSpinTurns = 1024;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
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

TNTFS_ProcessThread::TNTFS_ProcessThread(TNTFS_FILES& nf, TBatchProcessor process)
    : FNF(nf), FProcess(process ? std::move(process) : TBatchProcessor(DecodeAndStore)) {
    FThread = std::thread([this] { Execute(); });
}

TNTFS_ProcessThread::~TNTFS_ProcessThread() {
    WaitUntilIdle();
    FTerminate = true;
    FSignalRestart.store(1, std::memory_order_release);
    FSignalRestart.notify_one();
    if (FThread.joinable()) FThread.join();
}

void TNTFS_ProcessThread::WaitUntilIdle() {
    // A batch takes tens of microseconds, about as long as a sleep and wake-up on the flag, so
    // spin for about that long first (bounded, so a slow batch or a busy machine costs little);
    // then sleep on the flag.
    for (int i = 0; i < kSpinTurns && FBusy.load(std::memory_order_acquire); ++i) {
        ++scount;
        CpuRelax();
    }
    while (FBusy.load(std::memory_order_acquire)) {
        ++scount;
        FBusy.wait(true, std::memory_order_acquire);
    }
}

void TNTFS_ProcessThread::StartBatch(size_t count, uint8_t* data, uint64_t firstRecNo,
                                     bool readRaw) {
    WaitUntilIdle();
    if (Failed()) return;
    FFromMFTRecNo = firstRecNo;
    FRecordsToProcess = count;
    FMFTData = data;
    FReadRaw = readRaw;
    FBusy.store(true, std::memory_order_relaxed);
    FSignalRestart.store(1, std::memory_order_release);
    FSignalRestart.notify_one();
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
        // The next batch usually follows within a read's time: spin for it, then sleep.
        for (int i = 0; i < kSpinTurns && FSignalRestart.load(std::memory_order_acquire) == 0; ++i)
            CpuRelax();
        FSignalRestart.wait(0, std::memory_order_acquire);
        if (FSignalRestart.load(std::memory_order_acquire) == 0) continue;
        FSignalRestart.store(0, std::memory_order_relaxed);
        if (FTerminate) break;
        try {
            FProcess(FNF, ctx, FMFTData, FFromMFTRecNo, FRecordsToProcess, FReadRaw);
            if (!rootrec) {
                const int i = FNF.SearchDirRec(5);
                if (i >= 0) rootrec = FNF.FDirList[size_t(i)];
            }
        } catch (const std::exception& e) {
            ErrorMessage = e.what();
            WasError.store(true, std::memory_order_release);
            FBusy.store(false, std::memory_order_release);
            FBusy.notify_all();
            return; // a failed worker takes no further batch
        }
        FBusy.store(false, std::memory_order_release);
        FBusy.notify_all();
    }
}

} // namespace qz
