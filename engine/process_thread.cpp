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

// How long a waiting side spins before it sleeps: a few batches' time. Waking a sleeping
// thread costs tens to hundreds of microseconds (more on a virtual machine whose idle
// processor has halted), longer than a batch takes, so sleeping on every batch would double
// the pass; spinning longer than this only burns a processor that another process may want.
constexpr auto kSpinTime = std::chrono::microseconds(300);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Waits while word holds value: a bounded spin, then the kernel's futex. The library's
// atomic wait yields the processor in a loop before it sleeps, and on a machine busy with
// other work every yield can cost a whole time slice, twice per batch.
void WaitWhile(std::atomic<uint32_t>& word, uint32_t value) {
    if (word.load(std::memory_order_acquire) != value) return;
    const auto until = std::chrono::steady_clock::now() + kSpinTime;
    do {
        for (int i = 0; i < 32; ++i) {
            if (word.load(std::memory_order_acquire) != value) return;
            CpuRelax();
        }
    } while (std::chrono::steady_clock::now() < until);
    while (word.load(std::memory_order_acquire) == value)
        ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, value, nullptr,
                  nullptr, 0);
}

void Wake(std::atomic<uint32_t>& word) {
    ::syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT32_MAX, nullptr,
              nullptr, 0);
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
    Wake(FSignalRestart);
    if (FThread.joinable()) FThread.join();
}

void TNTFS_ProcessThread::WaitUntilIdle() {
    if (FBusy.load(std::memory_order_acquire) == 0) return;
    ++scount;
    WaitWhile(FBusy, 1);
}

void TNTFS_ProcessThread::StartBatch(size_t count, uint8_t* data, uint64_t firstRecNo,
                                     bool readRaw) {
    WaitUntilIdle();
    if (Failed()) return;
    FFromMFTRecNo = firstRecNo;
    FRecordsToProcess = count;
    FMFTData = data;
    FReadRaw = readRaw;
    FBusy.store(1, std::memory_order_relaxed);
    FSignalRestart.store(1, std::memory_order_release);
    Wake(FSignalRestart);
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
        WaitWhile(FSignalRestart, 0);
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
            FBusy.store(0, std::memory_order_release);
            Wake(FBusy);
            return; // a failed worker takes no further batch
        }
        FBusy.store(0, std::memory_order_release);
        Wake(FBusy);
    }
}

} // namespace qz
