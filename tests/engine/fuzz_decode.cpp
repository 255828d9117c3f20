// Fuzzes FILE record decoding and storing: arbitrary bytes as a small table of records, decoded
// and stored in order as an MFT pass does, then the late decodes, orphan removal and totals.
#include "engine/scan.h"

#include <cstring>
#include <vector>

using namespace qz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // First byte picks the record size, the rest is the table.
    const uint32_t sizes[] = {512, 1024, 2048, 4096};
    const uint32_t bpr = sizes[data[0] & 3];
    const uint32_t bpc = 512u << ((data[0] >> 2) & 7);
    ++data, --size;
    size_t n = size / bpr + 1;
    if (n > 64) n = 64;
    std::vector<uint8_t> table(n * bpr, 0);
    std::memcpy(table.data(), data, size < table.size() ? size : table.size());
    auto s = TNTFS_FILES::CreateSlow(u"fuzz");
    s->FVolData.BytesPerFileRecordSegment = bpr;
    s->FVolData.BytesPerCluster = bpc;
    s->NumMFTRecords = int64_t(n);
    s->PresizeForRecords(n);
    TDecodeContext ctx;
    // Also try the runs-keeping decode used for $MFT itself.
    {
        std::vector<uint8_t> first(table.begin(), table.begin() + bpr);
        s->DecodeFileRecord(first.data(), ctx, 0, true, false, true);
    }
    s->ProcessRecordBatch(ctx, table.data(), 0, n, true);
    s->ProcessOutOfSequence(ctx);
    s->DeleteOrphans();
    s->CalculateDirSizes(true, false, false, false, false);
    return 0;
}
