// The MFT pass over a volume (device or image) or a dump file: the scan thread reads batches
// of records into a ring of buffers, several batches ahead of the worker that decodes and
// stores them; then the deferred extension records are decoded, orphans removed and the
// source closed. Batches start at 256 records and grow while the reads stay sequential, so a
// large table goes in a few hundred reads of megabytes. A failure anywhere is recorded in
// WasError/ErrorMessage and the closing steps still run, so the scan always ends with a
// consistent tree and a closed source.
#include "base/debuglog.h"
#include "base/translate.h"
#include "engine/mft_volume.h"
#include "engine/process_thread.h"
#include "engine/scan.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace qz {

namespace {

constexpr size_t kFirstBatchRecords = 256; // the first batch, and the first after a seek
constexpr size_t kMaxBatchBytes = size_t(2) << 20;
// Progress is reported after every this many records read.
constexpr int64_t kProgressRecords = 50 * 256;

bool ReadDump(int fd, uint8_t* buf, size_t n, int64_t at) {
    while (n > 0) {
        ssize_t r = ::pread(fd, buf, n, off_t(at));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        buf += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}

TRunPos RecordPos(const TNTFS_FILES& s, uint64_t recno) {
    return s.FMFTExtentsAvailable ? GetMFTRecordPos2(s, recno)
                                  : GetMFTRecordPos(s, s.FMFTRuns, recno);
}

// Records that the source can deliver at all: the dump's data, or what the runs of $MFT
// cover on a volume (and what the device holds).
int64_t ReadableRecords(const TNTFS_FILES& s, bool volume, uint32_t bpr) {
    if (!volume) return std::max<int64_t>(0, DumpDataBytes(s) / int64_t(bpr));
    unsigned __int128 clusters = 0;
    if (s.FMFTExtentsAvailable) {
        for (const TMFT_EXTENTS& e : s.FMFTExtents)
            clusters += uint64_t(std::max<int64_t>(0, e.VCNLength));
    } else {
        for (const TDATA_RUN& r : s.FMFTRuns.DataRuns) clusters += r.RunLength;
    }
    unsigned __int128 records = clusters * s.FVolData.BytesPerCluster / bpr;
    const uint64_t device = DeviceBytes(s.FVolumeHandle.get()) / bpr;
    if (records > device) records = device;
    return records > uint64_t(INT64_MAX) ? INT64_MAX : int64_t(records);
}

} // namespace

void RunMFTPass(TNTFS_FILES& s) {
    RunMFTPass(s, nullptr);
}

void RunMFTPass(TNTFS_FILES& s, const TMFTPassHooks* hooks) {
    const bool volume = IsVolumeSource(s);
    const uint32_t bpr = s.BytesPerRecord();
    // The source is closed however the pass ends, also when something outside the read loop
    // raises (a failed allocation, a progress callback): a scan kept on screen must not hold
    // the device open.
    struct CloseSource {
        TNTFS_FILES& s;
        ~CloseSource() {
            s.FVolumeHandle.Close();
            s.FMFTFile.Close();
        }
    } closeAtEnd{s};
    if (!volume && !s.FMFTFile.valid()) {
        s.SetError(tr("The MFT source is no longer open (a scan reads its source once)"));
        return;
    }
    if (bpr < 256 || bpr > 65536 || (bpr & (bpr - 1)) != 0) {
        s.SetError(Format(tr("Invalid MFT record size %u"), unsigned(bpr)));
        return;
    }

    // The claimed record count drives the loop (so a source that holds fewer records reports
    // the shortfall); the readable count bounds the lists and index arrays, so a damaged
    // record count or parent number cannot size them beyond the data.
    int64_t total = std::max<int64_t>(0, s.FVolData.MftValidDataLength / int64_t(bpr));
    const int64_t readable = ReadableRecords(s, volume, bpr);
    s.NumMFTRecords = std::min(total, readable);
    if (s.NumMFTRecords > int64_t(INT32_MAX) - 10000) {
        s.SetError(Format(tr("The MFT holds too many records (%lld)"), (long long)s.NumMFTRecords));
        return;
    }
    const int fd = volume ? s.FVolumeHandle.get() : s.FMFTFile.get();
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // A ring of buffers, one per batch the worker may hold; left uninitialised (a buffer's
    // pages are touched only when a read fills them).
    const size_t maxBatchRecords = std::max(kFirstBatchRecords, kMaxBatchBytes / bpr);
    constexpr uint32_t kBuffers = TNTFS_ProcessThread::kQueueDepth;
    std::unique_ptr<uint8_t[]> buffers[kBuffers];
    for (auto& b : buffers) b = std::make_unique_for_overwrite<uint8_t[]>(maxBatchRecords * bpr);
    std::unique_ptr<uint8_t[]> single = std::make_unique<uint8_t[]>(bpr + 12);
    int64_t lastpos = 0;
    if (volume) {
        const TRunPos p = RecordPos(s, 0);
        if (!p.Found())
            s.FUseReadMFTFunction = true;
        else
            lastpos = p.Position;
    }
    auto worker =
        std::make_unique<TNTFS_ProcessThread>(s, hooks ? hooks->Process : TBatchProcessor());

    // Progress from the scan thread: the counts the worker published after its last batch.
    auto report = [&](int64_t q, int64_t tot) {
        if (!s.OnProgress) return;
        const int64_t denom = tot + int64_t(s.FOOSFileList.size());
        const int pct = denom > 0 ? int(std::min<int64_t>(100, q * 100 / denom)) : 100;
        s.OnProgress(s.index, pct, worker->StoredFiles(), worker->StoredFolders());
    };
    if (s.OnProgress) s.OnProgress(s.index, 0, 0, 0);
    s.PresizeForRecords(size_t(s.NumMFTRecords));

    int64_t q = 0;
    int64_t batches = 0, unreadable = 0;
    int64_t nextReport = kProgressRecords;
    size_t batchRecords = kFirstBatchRecords; // grows while the reads are sequential
    uint32_t cur = 0;
    std::string failure; // a read that failed part way, raised once its records are handed over
    try {
        while (q < total) {
            int64_t count, pos;
            bool seek = false;
            if (!volume) {
                pos = q * int64_t(bpr);
                count = readable - q;
                if (count <= 0)
                    throw std::runtime_error(tr("Did not read correct number of bytes"));
            } else {
                const TRunPos p = RecordPos(s, uint64_t(q));
                if (!p.Found()) {
                    // Positions come from the runs of $MFT: a record outside them cannot be
                    // read any other way, and neither can any later one.
                    throw std::runtime_error(
                        Format(tr("MFT record %lld of %lld lies outside the data runs of $MFT"),
                               (long long)q, (long long)total));
                }
                pos = p.Position;
                count = p.Count;
                seek = pos != lastpos;
                lastpos = pos;
            }
            if (seek) batchRecords = kFirstBatchRecords;
            // The buffer of the batch handed over kBuffers batches ago must be decoded first.
            worker->WaitForFreeSlot();
            if (worker->Failed()) throw std::runtime_error(worker->ErrorMessage());
            uint8_t* buf = buffers[cur].get();
            cur = (cur + 1) % kBuffers;
            size_t k;
            bool bulk;
            if (!volume || (!s.FUseReadMFTFunction && count >= 1)) {
                k = size_t(std::min<int64_t>(count, int64_t(batchRecords)));
                batchRecords = std::min(batchRecords * 2, maxBatchRecords);
                const size_t bytes = k * bpr;
                if (!volume) {
                    if (!ReadDump(fd, buf, bytes, pos))
                        throw std::runtime_error(tr("Did not read correct number of bytes"));
                } else {
                    std::string err;
                    size_t got = 0;
                    if (!ReadVolume(s, pos, buf, bytes, &err, &got)) {
                        failure = Format(tr("Could not read MFT records %lld to %lld at byte "
                                            "%lld of the volume: %s"),
                                         (long long)q, (long long)(q + int64_t(k) - 1),
                                         (long long)pos, err.c_str());
                        // The whole records that did arrive are still stored.
                        k = got / bpr;
                        if (k == 0) throw std::runtime_error(failure);
                    }
                }
                lastpos += int64_t(bytes);
                bulk = true;
            } else {
                // One record at a time: asked for, or the record straddles two runs.
                k = 1;
                bulk = false;
                if (ReadMFTRecord(s, uint64_t(q), single.get())) {
                    std::memcpy(buf, single.get() + 12, bpr);
                } else {
                    std::memset(buf, 0, bpr); // skipped by the decoder
                    std::string err;
                    uint8_t probe[1];
                    if (!ReadMFTData(s, uint64_t(q) * bpr, probe, 1, &err)) ++unreadable;
                }
            }
            ++batches;
            if (q >= nextReport) {
                report(q, total);
                nextReport = q + kProgressRecords;
            }
            if (hooks && hooks->OnBatch)
                hooks->OnBatch(s, TMFTBatchInfo{uint64_t(q), k, bulk, seek, pos});
            worker->StartBatch(k, buf, uint64_t(q), bulk);
            q += int64_t(k);
            if (!failure.empty()) throw std::runtime_error(failure);
            if (s.Cancelled()) total = q;
        }
    } catch (const std::exception& e) {
        s.SetError(e.what());
        DebugLog(std::string("MFT pass stopped: ") + e.what());
    }
    worker->WaitUntilIdle();
    if (worker->Failed() && !s.WasError) s.SetError(worker->ErrorMessage());
    DebugLog("MFT pass read " + std::to_string(q) + " records in " + std::to_string(batches) +
             " batches, waits " + std::to_string(worker->Waits()));
    report(q, total);
    worker.reset();
    for (auto& b : buffers) b.reset();

    TDecodeContext ctx;
    s.ProcessOutOfSequence(ctx);
    if (s.OnProgress)
        s.OnProgress(s.index, 100, int64_t(s.FFileList.size() - s.FDirList.size()),
                     int64_t(s.FDirList.size()));
    s.DeleteOrphans();
    if (unreadable > 0 && !s.WasError)
        // One English form for any count, as scripts have read it; translations have theirs.
        s.SetError(Format(ntr("%lld MFT records could not be read",
                              "%lld MFT records could not be read", uint64_t(unreadable)),
                          (long long)unreadable));
}

} // namespace qz
