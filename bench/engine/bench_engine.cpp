// MFT engine benchmark over an in-memory table of 1,000,000 FILE records shaped like a system
// volume: ~10% folders, files mostly in runs per folder, names of 5-40 characters (a third with an
// extra DOS name), mostly non-resident data, 1% hard links in a second folder, 0.5% files whose
// data sits in an extension record. Reports decode+store records/s on one thread, CalculateDirSizes
// time and the resident bytes per record that the scan holds after the pass.
#include "engine/scan.h"
#include "engine/tree.h"
#include "tests/engine/record_builder.h"

#include <benchmark/benchmark.h>

#include <chrono>

#include <cstdio>
#include <cstring>
#include <random>
#include <unistd.h>

using namespace qz;
using qz::test::EncodeRuns;
using qz::test::RecordBuilder;

namespace {

constexpr size_t kRecords = 1000000;
constexpr size_t kBpr = 1024;

size_t ResidentBytes() {
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
    return size_t(resident) * size_t(sysconf(_SC_PAGESIZE));
}

std::u16string RandomName(std::mt19937_64& rng) {
    static const char16_t chars[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-.éüñ";
    size_t len = 5 + rng() % 36;
    std::u16string s(len, u'a');
    for (auto& c : s) c = chars[rng() % (sizeof(chars) / 2 - 1)];
    return s;
}

const std::vector<uint8_t>& Table() {
    static std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(kRecords * kBpr, 0);
        std::mt19937_64 rng(42);
        std::vector<uint64_t> folders{5};
        uint64_t current = 5;
        auto put = [&](uint64_t n, RecordBuilder& b) {
            auto raw = b.Build();
            std::memcpy(&t[n * kBpr], raw.data(), kBpr);
        };
        const uint64_t ft = (1700000000ull + 11644473600ull) * 10000000ull;
        for (uint64_t n = 0; n < kRecords; ++n) {
            if (n == 5) {
                RecordBuilder root(kBpr, 3);
                root.StdInfo(ft, ft, ft, 0x16).FileName(5, u".");
                put(n, root);
                continue;
            }
            if (n < 24) {
                RecordBuilder meta;
                meta.StdInfo(ft, ft, ft, 6)
                    .FileName(5, u"$Meta" + std::u16string(1, char16_t(u'A' + n)))
                    .NonResidentData(65536, EncodeRuns({{16, int64_t(100 + n * 16)}}));
                put(n, meta);
                continue;
            }
            // Files arrive in runs per folder (extracting, installing), with some scattered
            // later additions, as MFT records are allocated in creation order.
            if (rng() % 8 == 0) current = folders[rng() % folders.size()];
            const uint64_t parent = rng() % 5 == 0 ? folders[rng() % folders.size()] : current;
            const unsigned kind = unsigned(rng() % 1000);
            RecordBuilder b(kBpr, kind < 100 ? 3 : 1);
            b.StdInfo(ft + rng() % 100000000000ull, ft, ft, kind < 100 ? 0x10 : 0x20);
            std::u16string name = RandomName(rng);
            if (kind % 3 == 0) b.FileName(parent, u"SHORT~1.TXT", 2);
            b.FileName(parent, name, 1);
            if (kind < 100) {
                folders.push_back(n);
            } else if (kind < 110 && folders.size() > 1) {
                b.FileName(folders[rng() % folders.size()], name + u"-link", 1);
                b.NonResidentData(1 + rng() % 1000000,
                                  EncodeRuns({{1 + rng() % 200, int64_t(1000 + n)}}));
            } else if (kind < 115 && n + 1 < kRecords) {
                // data in the next record, an extension record
                b.AttrList({{0x10, n}, {0x30, n}, {0x80, n + 1}});
                put(n, b);
                RecordBuilder ext;
                ext.Base(n).NonResidentData(1 + rng() % 10000000,
                                            EncodeRuns({{1 + rng() % 2000, int64_t(5000 + n)}}));
                put(++n, ext);
                continue;
            } else if (kind < 300) {
                b.ResidentData(uint32_t(rng() % 400));
            } else {
                b.NonResidentData(1 + rng() % 5000000,
                                  EncodeRuns({{1 + rng() % 1200, int64_t(1000 + n)}}));
            }
            put(n, b);
        }
        return t;
    }();
    return table;
}

std::unique_ptr<TNTFS_FILES> NewScan() {
    auto s = TNTFS_FILES::CreateSlow(u"bench");
    s->FVolData.BytesPerFileRecordSegment = kBpr;
    s->FVolData.BytesPerCluster = 4096;
    return s;
}

double gPhase[4]; // decode+store, late decodes, orphans, batch copies (ms)

// Decode and store the whole table as the MFT pass does (one thread): each batch of 256
// records is copied into a batch buffer first, as the reading thread's read would; that copy is
// timed apart, since it belongs to the reading side of the pass.
void Pass(TNTFS_FILES& s, const std::vector<uint8_t>& table) {
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::duration d) {
        return std::chrono::duration<double, std::milli>(d).count();
    };
    Clock::duration decode{}, copy{};
    auto t0 = Clock::now();
    s.NumMFTRecords = int64_t(kRecords);
    s.PresizeForRecords(kRecords);
    TDecodeContext ctx;
    std::vector<uint8_t> batch(256 * kBpr);
    auto t1 = Clock::now();
    decode += t1 - t0;
    for (size_t q = 0; q < kRecords; q += 256) {
        size_t k = std::min<size_t>(256, kRecords - q);
        auto a = Clock::now();
        std::memcpy(batch.data(), table.data() + q * kBpr, k * kBpr);
        auto b = Clock::now();
        s.ProcessRecordBatch(ctx, batch.data(), q, k, true);
        decode += Clock::now() - b;
        copy += b - a;
    }
    auto t2 = Clock::now();
    s.ProcessOutOfSequence(ctx);
    auto t3 = Clock::now();
    s.DeleteOrphans();
    s.TrimLists(); // as ProcessMFTRecords does at the end of every pass
    auto t4 = Clock::now();
    gPhase[0] = ms(decode);
    gPhase[1] = ms(t3 - t2);
    gPhase[2] = ms(t4 - t3);
    gPhase[3] = ms(copy);
    if (std::getenv("QZ_BENCH_VERBOSE"))
        std::fprintf(
            stderr,
            "pass: decode+store %.1f ms, late decodes %.1f ms, orphans %.1f ms, copies %.1f ms\n",
            gPhase[0], gPhase[1], gPhase[2], gPhase[3]);
}

// Manual time: the decode and store work of the pass (batches, late decodes, orphan removal),
// without the batch copies.
void BM_DecodeStore(benchmark::State& state) {
    const auto& table = Table();
    for (auto _ : state) {
        auto s = NewScan();
        Pass(*s, table);
        benchmark::DoNotOptimize(s->FFileList.data());
        state.SetIterationTime((gPhase[0] + gPhase[1] + gPhase[2]) / 1000.0);
    }
    state.SetItemsProcessed(int64_t(state.iterations() * kRecords));
    state.counters["decode_store_ms"] = gPhase[0];
    state.counters["orphans_ms"] = gPhase[2];
    state.counters["batch_copy_ms"] = gPhase[3];
}

void BM_CalculateDirSizes(benchmark::State& state) {
    const auto& table = Table();
    auto s = NewScan();
    Pass(*s, table);
    for (auto _ : state) s->CalculateDirSizes();
    state.counters["records"] = double(s->FFileList.size());
}

void BM_MemoryPerRecord(benchmark::State& state) {
    const auto& table = Table();
    for (auto _ : state) {
        size_t before = ResidentBytes();
        auto s = NewScan();
        Pass(*s, table);
        s->CalculateDirSizes();
        int32_t idx = 1;
        SetNameSortIndex(s->MFTRoot, idx);
        size_t after = ResidentBytes();
        size_t stored = 0;
        for (PMFT_RECORD r : s->FFileList) stored += r != nullptr;
        state.counters["records"] = double(stored);
        state.counters["resident_bytes_per_record"] = double(after - before) / double(stored);
        state.counters["held_bytes_per_record"] = double(s->MemoryBytes()) / double(stored);
        // Where the held bytes go: the record and index arrays, the rest being the arenas
        // (records, names, folder blocks) and the children lists.
        const double n = double(stored);
        const double lists =
            double((s->FFileList.capacity() + s->FDirList.capacity()) * sizeof(PMFT_RECORD));
        const double index =
            double((s->FFileListIndex.capacity() + s->FDirListIndex.capacity()) * sizeof(int32_t));
        state.counters["lists_per_record"] = lists / n;
        state.counters["index_per_record"] = index / n;
        state.counters["arenas_children_per_record"] =
            (double(s->MemoryBytes()) - lists - index) / n;
    }
}

} // namespace

BENCHMARK(BM_DecodeStore)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
BENCHMARK(BM_CalculateDirSizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryPerRecord)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
