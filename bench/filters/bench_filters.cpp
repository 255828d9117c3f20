// Filter matching over a generated scan of 1,000,000 records (about 10 % folders up to ten
// levels deep, 2 % of the folders named "cache", names of 4-24 characters with common
// extensions, a fifth of the files named with a date, sizes with a long tail): records per
// second for an extension list, a size comparison, a full-path pattern, a regular expression,
// and FilterResults with an include and an exclude filter.
#include "tests/filters/filter_fixture.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace qz;

namespace {

constexpr size_t kRecords = 1000000;

std::u16string RandomName(std::mt19937_64& rng, bool folder) {
    static const char16_t chars[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-";
    static const char16_t* exts[] = {u".txt", u".jpg", u".dll", u".exe", u".log",
                                     u".mp3", u".png", u".h",   u".cpp", u".gz",
                                     u".mp4", u".dat", u".xml", u".JPG", u""};
    std::u16string s;
    if (!folder && rng() % 5 == 0) { // IMG_2023-05-12_1234 style
        char buf[32];
        snprintf(buf, sizeof buf, "IMG_%04d-%02d-%02d_%04d", int(2000 + rng() % 25),
                 int(1 + rng() % 12), int(1 + rng() % 28), int(rng() % 10000));
        for (const char* p = buf; *p; ++p) s.push_back(char16_t(*p));
    } else {
        s.assign(4 + rng() % 20, u'a');
        for (auto& c : s) c = chars[rng() % (sizeof(chars) / 2 - 1)];
    }
    if (!folder) s += exts[rng() % (sizeof(exts) / sizeof(exts[0]))];
    return s;
}

struct Generated {
    test::FilterScan s{u"C:"};
    Generated() {
        std::mt19937_64 rng(42);
        struct F {
            PMFT_RECORD rec;
            int depth;
        };
        std::vector<F> folders{{s.root, 0}};
        F current = folders[0];
        while (s.scan->FFileList.size() < kRecords) {
            if (rng() % 8 == 0) current = folders[rng() % folders.size()];
            if (rng() % 10 == 0 && current.depth < 10) {
                std::u16string name = rng() % 50 == 0 ? u"cache" : RandomName(rng, true);
                folders.push_back({s.Folder(current.rec, name), current.depth + 1});
                continue;
            }
            uint64_t size = rng() % 100 == 0 ? rng() % 2000000000ull : rng() % 200000;
            s.File(current.rec, RandomName(rng, false), size, 44000.0 + double(rng() % 2000));
        }
        s.Totals();
    }
};

Generated& Scan() {
    static Generated g;
    return g;
}

void Match(benchmark::State& state, std::u16string_view text, bool applySizeTerms) {
    TNTFS_FILES& scan = *Scan().s.scan;
    bool fp = false;
    TFilters_AND f;
    ParseFilters(text, f, fp);
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        for (PMFT_RECORD r : scan.FFileList) hits += MatchFilters(r, f, fp, applySizeTerms);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(scan.FFileList.size()));
    state.counters["matches"] = double(hits);
}

void BM_Extensions(benchmark::State& st) {
    Match(st, u"*.jpg|*.png|*.mp4", true);
}
void BM_Size(benchmark::State& st) {
    Match(st, u">1M", true);
}
void BM_FullPath(benchmark::State& st) {
    Match(st, u"\\cache\\", true);
}
void BM_FullPathWildcard(benchmark::State& st) {
    Match(st, u"*\\cache\\*.log", true);
}
void BM_Regex(benchmark::State& st) {
    Match(st, u"/\\d{4}-\\d{2}/", true);
}
void BM_RegexName(benchmark::State& st) {
    Match(st, u"/^img_20[01]/", true);
}

void BM_FilterResults(benchmark::State& state) {
    TNTFS_FILES& scan = *Scan().s.scan;
    for (auto _ : state)
        FilterResults(scan, u"*.jpg|*.png|*.mp4 >100K", u"\\cache\\", true, false, false);
    size_t visible = 0;
    for (PMFT_RECORD r : scan.FFileList) visible += !r->Filtered;
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(scan.FFileList.size()));
    state.counters["visible"] = double(visible);
}

BENCHMARK(BM_Extensions)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Size)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullPath)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullPathWildcard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Regex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegexName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterResults)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
