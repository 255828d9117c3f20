// The MFT pass's decoding worker and the pass's observation points.
//
// The scan thread reads the MFT in batches of up to 256 records into two alternating buffers;
// one TNTFS_ProcessThread decodes and stores each batch while the next one is read. Batches
// are handed over strictly in record order, one at a time, so records are stored in
// record-number order. The hand-over is the only synchronisation: while the worker holds a
// batch (FBusy), only the worker touches the scan's lists, indexes and dictionaries; the scan
// thread reads them (for progress) only while the worker is idle.
#pragma once

#include "engine/scan.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace qz {

// Decode and store count records of the scan's record size from data, numbered from
// firstRecNo; readRaw says whether they still need their update-sequence fixups.
using TBatchProcessor = std::function<void(TNTFS_FILES& scan, TDecodeContext& ctx, uint8_t* data,
                                           uint64_t firstRecNo, size_t count, bool readRaw)>;

class TNTFS_ProcessThread {
public:
    // Starts the thread at once; it waits for its first batch. process replaces the decode
    // and store step (tests use it to inject faults); by default each record goes through
    // TNTFS_FILES::ProcessRecordBatch.
    explicit TNTFS_ProcessThread(TNTFS_FILES& nf, TBatchProcessor process = {});
    // Waits for the batch in hand, then ends the thread.
    ~TNTFS_ProcessThread();
    TNTFS_ProcessThread(const TNTFS_ProcessThread&) = delete;
    TNTFS_ProcessThread& operator=(const TNTFS_ProcessThread&) = delete;

    // Wait until idle, then hand over a batch. data must stay untouched until the worker is
    // idle again. Ignored once the worker has failed (it takes no further batch).
    void StartBatch(size_t count, uint8_t* data, uint64_t firstRecNo, bool readRaw);
    // Wait until the worker holds no batch (returns at once after a failure).
    void WaitUntilIdle();
    bool Failed() const { return WasError.load(std::memory_order_acquire); }

    uint64_t scount = 0;               // batches the scan thread had to wait for
    std::atomic<bool> WasError{false}; // the worker stopped because of an error
    std::string ErrorMessage;          // written before WasError is set
    PMFT_RECORD rootrec = nullptr;     // the root folder once record 5 is stored (read while idle)

private:
    void Execute();

    TNTFS_FILES& FNF;
    TBatchProcessor FProcess;
    std::atomic<uint32_t> FBusy{0};          // 1 while the worker holds a batch
    std::atomic<uint32_t> FSignalRestart{0}; // 1: a batch or the end request waits
    bool FTerminate = false;
    uint64_t FFromMFTRecNo = 0;
    size_t FRecordsToProcess = 0;
    uint8_t* FMFTData = nullptr;
    bool FReadRaw = true;
    std::thread FThread;
};

// One batch as the scan thread hands it over.
struct TMFTBatchInfo {
    uint64_t FirstRecNo = 0;
    size_t Count = 0;
    bool Bulk = true;     // read in bulk (needs fixups) rather than one record at a time
    bool Seek = false;    // the read did not continue where the previous bulk read ended
    int64_t Position = 0; // volume (or dump file) byte position of the first record
};

// Observation points of the MFT pass, for tests and measurements.
struct TMFTPassHooks {
    // Called on the scan thread before each hand-over (the worker is idle then).
    std::function<void(TNTFS_FILES& scan, const TMFTBatchInfo& batch)> OnBatch;
    // Replaces the worker's decode and store step.
    TBatchProcessor Process;
};

// The MFT pass of ProcessMFTRecords for volumes, images and dumps (RunMFTPass(scan) is this
// with no hooks).
void RunMFTPass(TNTFS_FILES& scan, const TMFTPassHooks* hooks);

} // namespace qz
