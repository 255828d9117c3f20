// The MFT pass over a dump file: sequential batches of up to 256 records, decoded and stored
// in record-number order, then the deferred extension records and orphan removal.
#include "engine/debuglog.h"
#include "engine/scan.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

void RunMFTPass(TNTFS_FILES& s) {
    const uint32_t bpr = s.BytesPerRecord();
    if (bpr < 256 || bpr > 65536 || (bpr & (bpr - 1)) != 0) {
        s.SetError("Invalid MFT record size " + std::to_string(bpr));
        return;
    }
    int64_t total = s.FVolData.MftValidDataLength / int64_t(bpr);
    s.NumMFTRecords = total;
    struct stat st {};
    int64_t fileSize = ::fstat(s.FMFTFile.get(), &st) == 0 ? st.st_size : 0;
    if (s.OnProgress) s.OnProgress(s.index, 0, 0, 0);
    s.PresizeForRecords(size_t(total > 0 ? total : 0));
    std::vector<uint8_t> buf(size_t(256) * bpr);
    TDecodeContext ctx;
    int64_t q = 0;
    int batches = 0;
    auto report = [&](int pct) {
        if (s.OnProgress)
            s.OnProgress(s.index, pct, int64_t(s.FFileList.size() - s.FDirList.size()), int64_t(s.FDirList.size()));
    };
    try {
        while (q < total) {
            int64_t count = fileSize / bpr - q;
            if (count <= 0) throw std::runtime_error("Did not read correct number of bytes");
            size_t k = size_t(std::min<int64_t>(count, 256));
            size_t want = k * bpr, got = 0;
            while (got < want) {
                ssize_t r = ::pread(s.FMFTFile.get(), buf.data() + got, want - got, off_t(q) * bpr + off_t(got));
                if (r < 0 && errno == EINTR) continue;
                if (r <= 0) break;
                got += size_t(r);
            }
            if (got < want) throw std::runtime_error("Did not read correct number of bytes");
            s.ProcessRecordBatch(ctx, buf.data(), uint64_t(q), k, true);
            q += int64_t(k);
            if (s.Cancelled()) total = q;
            if (++batches % 50 == 0) {
                int64_t denom = total + int64_t(s.FOOSFileList.size());
                report(denom > 0 ? int(q * 100 / denom) : 100);
            }
        }
    } catch (const std::exception& e) {
        s.SetError(e.what());
    }
    s.ProcessOutOfSequence(ctx);
    report(100);
    s.DeleteOrphans();
    s.FMFTFile.Close();
}

void RunSubtreeCopy(TNTFS_FILES& s) { s.SetError("Subtree scans are not available yet"); }

} // namespace qz
