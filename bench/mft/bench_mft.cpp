// Micro-benchmarks of the MFT pass: the whole pass over a composed dump of 200,000 records
// (1,000 folders, names of 9-46 characters) read from the page cache, the worker hand-over
// alone, and record-position lookups through many extents.
#include "base/text.h"
#include "engine/mft_volume.h"
#include "engine/process_thread.h"
#include "engine/scan.h"
#include "tests/engine/record_builder.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace qz;
using qz::test::EncodeRuns;
using qz::test::RecordBuilder;

namespace {

constexpr uint64_t kFt = (1714564800ull + 11644473600ull) * 10000000ull;

// The composed dump, removed when the program ends (it takes 1 KiB a record).
struct TempDump {
    std::string path;
    ~TempDump() {
        if (!path.empty()) std::remove(path.c_str());
    }
};

// A bare dump: records 0-23 metadata-like (only $MFT and the root in use), 1,000 folders,
// files after. Made once, for the first record count asked for.
const std::string& DumpPath(uint64_t records) {
    static TempDump dump;
    std::string& path = dump.path;
    if (!path.empty()) return path;
    char tmpl[] = "/tmp/qzbench_mft.XXXXXX";
    int fd = mkstemp(tmpl);
    if (fd < 0) std::abort();
    ::close(fd);
    path = tmpl;
    std::ofstream out(path, std::ios::binary);
    std::vector<uint8_t> zero(1024, 0);
    for (uint64_t r = 0; r < records; ++r) {
        std::vector<uint8_t> rec;
        if (r == 0) {
            rec = RecordBuilder(1024, 1)
                      .StdInfo(kFt, kFt, kFt, 6)
                      .FileName(5, u"$MFT")
                      .NonResidentData(records * 1024, EncodeRuns({{records / 4, 16}}))
                      .Build();
        } else if (r == 5) {
            rec = RecordBuilder(1024, 3).StdInfo(kFt, kFt, kFt, 0x16).FileName(5, u".").Build();
        } else if (r < 24) {
            out.write(reinterpret_cast<const char*>(zero.data()), 1024);
            continue;
        } else if (r < 1024) {
            rec = RecordBuilder(1024, 3)
                      .StdInfo(kFt, kFt, kFt, 0x10)
                      .FileName(r < 64 ? 5 : 24 + r % 40,
                                u"folder " + AsciiToUtf16(std::to_string(r)))
                      .Build();
        } else {
            std::u16string name =
                u"file-" + AsciiToUtf16(std::to_string(r)) + std::u16string(r % 32, u'x') + u".dat";
            rec = RecordBuilder(1024, 1)
                      .StdInfo(kFt, kFt, kFt, 0x20)
                      .FileName(24 + (r * 7919) % 1000, name)
                      .NonResidentData(
                          r * 37, EncodeRuns({{(r * 37 + 4095) / 4096, int64_t(100000 + r * 16)}}))
                      .Build();
        }
        out.write(reinterpret_cast<const char*>(rec.data()), std::streamsize(rec.size()));
    }
    return path;
}

void BM_PassOverDump(benchmark::State& state) {
    const uint64_t records = uint64_t(state.range(0));
    const std::string& path = DumpPath(records);
    for (auto _ : state) {
        TNTFS_FILES scan(Utf8ToUtf16(path));
        scan.ProcessMFTRecords();
        scan.CalculateDirSizes();
        if (scan.WasError || !scan.MFTRoot) {
            state.SkipWithError("the pass failed");
            break;
        }
        benchmark::DoNotOptimize(scan.MFTRoot->SubFoldersTotSize);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(records));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(records) * 1024);
}
BENCHMARK(BM_PassOverDump)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

// The hand-over alone: batches that the worker takes and returns without decoding.
void BM_HandOver(benchmark::State& state) {
    auto scan = TNTFS_FILES::CreateSlow(u"unused");
    uint8_t buffers[2][64];
    int64_t batches = 0;
    {
        TNTFS_ProcessThread worker(*scan, [](TNTFS_FILES&, TDecodeContext&, uint8_t* d, uint64_t,
                                             size_t, bool) { benchmark::DoNotOptimize(d[0]); });
        for (auto _ : state) {
            worker.StartBatch(1, buffers[batches & 1], uint64_t(batches), true);
            ++batches;
        }
        worker.WaitUntilIdle();
    }
    state.SetItemsProcessed(batches);
}
BENCHMARK(BM_HandOver)->UseRealTime();

void BM_RecordPositions(benchmark::State& state) {
    auto scan = TNTFS_FILES::CreateSlow(u"unused");
    scan->FVolData.BytesPerCluster = 4096;
    scan->FVolData.BytesPerFileRecordSegment = 1024;
    const int64_t n = state.range(0);
    int64_t vcn = 0;
    for (int64_t i = 0; i < n; ++i) {
        scan->FMFTExtents.push_back({vcn, 16, 1000 + i * 64});
        scan->FMFTRuns.DataRuns.push_back({16, i == 0 ? 1000 : 64, i != 0});
        vcn += 16;
    }
    scan->FMFTExtentsAvailable = true;
    const uint64_t records = uint64_t(vcn) * 4;
    uint64_t r = 0;
    const bool extents = state.range(1) != 0;
    for (auto _ : state) {
        TRunPos p =
            extents ? GetMFTRecordPos2(*scan, r) : GetMFTRecordPos(*scan, scan->FMFTRuns, r);
        benchmark::DoNotOptimize(p);
        r = (r + 977) % records;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_RecordPositions)->ArgsProduct({{10, 1000}, {0, 1}});

} // namespace

BENCHMARK_MAIN();
