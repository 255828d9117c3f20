// The MFT pass's decoding worker and the pass's observation points.
//
// The scan thread reads the MFT in batches into a ring of buffers; one TNTFS_ProcessThread
// decodes and stores the batches in the order they were handed over, while the scan thread
// reads the next ones ahead (up to kQueueDepth batches in hand). Records are stored in
// record-number order. The queue is the only synchronisation: only the worker touches the
// scan's lists, indexes and dictionaries until the scan thread has waited for it to be idle;
// meanwhile the worker publishes the file and folder counts for progress.
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
    // Batches handed over and not yet decoded, at most: the read-ahead of the scan thread.
    static constexpr uint32_t kQueueDepth = 4;

    // Starts the thread at once; it waits for its first batch. process replaces the decode
    // and store step (tests use it to inject faults); by default each record goes through
    // TNTFS_FILES::ProcessRecordBatch.
    explicit TNTFS_ProcessThread(TNTFS_FILES& scan, TBatchProcessor process = {});
    // Waits for the batches in hand, then ends the thread.
    ~TNTFS_ProcessThread();
    TNTFS_ProcessThread(const TNTFS_ProcessThread&) = delete;
    TNTFS_ProcessThread& operator=(const TNTFS_ProcessThread&) = delete;

    // Wait until fewer than kQueueDepth batches are in hand, so that the buffer of the batch
    // handed over kQueueDepth batches ago is free again (returns at once after a failure).
    void WaitForFreeSlot();
    // Queue a batch (waiting for a free slot first). data must stay untouched until the worker
    // has decoded it: the caller cycles through kQueueDepth buffers. Ignored once the worker
    // has failed (it takes no further batch).
    void StartBatch(size_t count, uint8_t* data, uint64_t firstRecNo, bool readRaw);
    // Wait until the worker holds no batch (returns at once after a failure).
    void WaitUntilIdle();
    bool Failed() const { return FFailed.load(std::memory_order_acquire); }
    // The worker's error; valid once Failed().
    const std::string& ErrorMessage() const { return FErrorMessage; }
    // Times the scan thread had to wait for the worker.
    uint64_t Waits() const { return FWaits; }
    // Files and folders stored so far (published after each batch; safe to read any time).
    int64_t StoredFiles() const { return FStoredFiles.load(std::memory_order_relaxed); }
    int64_t StoredFolders() const { return FStoredFolders.load(std::memory_order_relaxed); }

private:
    // A word one side sleeps on: a sequence bumped on every change the other side waits for,
    // and the number of sleepers (a change calls the kernel only when someone sleeps).
    struct TWaitWord {
        std::atomic<uint32_t> Sequence{0};
        std::atomic<uint32_t> Sleepers{0};
    };
    struct TBatch {
        uint8_t* Data = nullptr;
        uint64_t FirstRecNo = 0;
        size_t Count = 0;
        bool ReadRaw = true;
    };
    void Execute();
    // Scan thread: wait until at most maxInHand batches are queued or in decoding.
    void WaitForInHand(uint32_t maxInHand);

    TNTFS_FILES& FScan;
    TBatchProcessor FProcess;
    TBatch FQueue[kQueueDepth];
    std::atomic<uint32_t> FQueued{0}; // batches handed over so far (written by the scan thread)
    std::atomic<uint32_t> FDone{0};   // batches decoded so far (written by the worker)
    std::atomic<bool> FFailed{false}; // the worker stopped because of an error
    std::atomic<bool> FTerminate{false};
    TWaitWord FWorkerWake;     // the worker waits here for a batch or the end
    TWaitWord FScanWake;       // the scan thread waits here for a free slot or the end of work
    std::string FErrorMessage; // written before FFailed is set
    uint64_t FWaits = 0;
    std::atomic<int64_t> FStoredFiles{0}, FStoredFolders{0};
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
    // Called on the scan thread before each hand-over. The worker may still be decoding
    // earlier batches: the hook may cancel the scan but must not read its lists.
    std::function<void(TNTFS_FILES& scan, const TMFTBatchInfo& batch)> OnBatch;
    // Replaces the worker's decode and store step.
    TBatchProcessor Process;
};

// The MFT pass of ProcessMFTRecords for volumes, images and dumps (RunMFTPass(scan) is this
// with no hooks).
void RunMFTPass(TNTFS_FILES& scan, const TMFTPassHooks* hooks);

} // namespace qz
