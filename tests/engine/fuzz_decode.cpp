// Fuzzes FILE record decoding and storing: arbitrary bytes as a small table of records, decoded
// and stored in order as an MFT pass does, then the late decodes, orphan removal and totals.
// Afterwards every record must hang below the root and no allocation may exceed the volume.
#include "engine/scan.h"
#include "engine/tree.h"

#include <cstring>
#include <vector>

using namespace qz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // First byte picks the record size, the rest is the table.
    const uint32_t sizes[] = {512, 1024, 2048, 4096};
    const uint8_t mode = data[0];
    const uint32_t bpr = sizes[mode & 3];
    const uint32_t bpc = 512u << ((mode >> 2) & 7);
    ++data, --size;
    size_t n = size / bpr + 1;
    if (n > 64) n = 64;
    std::vector<uint8_t> table(n * bpr, 0);
    std::memcpy(table.data(), data, size < table.size() ? size : table.size());
    auto s = TNTFS_FILES::CreateSlow(u"fuzz");
    s->FVolData.BytesPerFileRecordSegment = bpr;
    s->FVolData.BytesPerCluster = bpc;
    // Bit 5 of the first byte: a volume of 64 clusters, whose size bounds every allocation.
    s->FVolData.TotalClusters = (mode & 0x20) ? 64 : 0;
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
    s->CalculateDirSizes();
    const uint64_t volume = uint64_t(s->FVolData.TotalClusters) * bpc;
    for (PMFT_RECORD r : s->FFileList) {
        if (!r) continue;
        if (r != s->MFTRoot && !IsAncestor(s->MFTRoot, r)) __builtin_trap();
        if (volume != 0 && r->AllocSize > volume) __builtin_trap();
    }
    return 0;
}
