// The views' data over a generated scan of 1,000,000 records (about 10 % folders, names of
// 4-24 characters, files spread over the folders with a long tail of large ones, 1 % copies
// with equal names and sizes): name numbering and the tree load, whole-tree walks and
// re-sorts, the file list's top 1,000 and 100,000, duplicate grouping and the extension
// statistics.
#include "base/text.h"
#include "engine/duplicates.h"
#include "engine/tree.h"
#include "tests/views/scanbuilder.h"
#include "views/displaytree.h"
#include "views/extstats.h"
#include "views/filelist.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

constexpr size_t kRecords = 1000000;

std::u16string RandomName(std::mt19937_64& rng, bool folder) {
    static const char16_t chars[] =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 _-";
    static const char16_t* exts[] = {u".txt", u".jpg", u".dll", u".exe", u".log", u".mp3", u".png",
                                     u".h",   u".cpp", u".gz",  u".iso", u".dat", u".xml", u""};
    size_t len = 4 + rng() % 20;
    std::u16string s(len, u'a');
    for (auto& c : s) c = chars[rng() % (sizeof(chars) / 2 - 1)];
    if (!folder) s += exts[rng() % (sizeof(exts) / sizeof(exts[0]))];
    return s;
}

struct Generated {
    ScanBuilder b{u"/bench"};
    std::vector<TNTFS_FILES*> scans;
    Generated() {
        std::mt19937_64 rng(42);
        std::vector<PMFT_RECORD> folders{b.root};
        PMFT_RECORD current = b.root;
        std::vector<PMFT_RECORD> files;
        while (b.scan->FFileList.size() < kRecords) {
            if (rng() % 8 == 0) current = folders[rng() % folders.size()];
            if (rng() % 10 == 0) {
                folders.push_back(
                    b.Folder(current, RandomName(rng, true), 44000.0 + double(rng() % 2000)));
                continue;
            }
            uint64_t size = rng() % 100 == 0 ? rng() % 2000000000ull : rng() % 200000;
            if (rng() % 100 == 0 && !files.empty()) { // a copy of an earlier file
                PMFT_RECORD o = files[rng() % files.size()];
                files.push_back(
                    b.File(current, o->Name(), o->FileSize, o->AllocSize, o->ModifiedDate));
                continue;
            }
            files.push_back(b.File(current, RandomName(rng, false), size, UINT64_MAX,
                                   44000.0 + double(rng() % 2000) + double(rng() % 86400) / 86400.0,
                                   rng() % 5 == 0 ? 0x21 : 0x20));
        }
        b.scan->CalculateDirSizes();
        scans = {b.scan.get()};
    }
};

Generated& Data() {
    static Generated g;
    return g;
}

using Clock = std::chrono::steady_clock;
double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// Name numbering of the whole scan, then the tree load (lazy: the top node).
void BM_SetNameSortIndex_LoadTree(benchmark::State& state) {
    Generated& g = Data();
    for (auto _ : state) {
        state.PauseTiming();
        g.b.scan->CalculateDirSizes(); // children in list order again
        state.ResumeTiming();
        TDisplayTree t;
        int32_t index = 1;
        SetNameSortIndex(g.b.root, index);
        t.LoadTree(g.scans);
        benchmark::DoNotOptimize(t.Roots().data());
    }
}

// A walk that makes every node (what the first treemap drawing or "Expand All" does).
void BM_LoadTree_WalkAll(benchmark::State& state) {
    Generated& g = Data();
    size_t nodes = 0;
    for (auto _ : state) {
        TDisplayTree t;
        t.LoadTree(g.scans);
        size_t n = 0;
        t.ForEach(nullptr, [&](TTreeNode*) { ++n; });
        nodes = n;
    }
    state.counters["nodes"] = double(nodes);
}

// Re-sorts of a tree whose every node exists (manual time: the sort only).
template <int Column, TSortDirection Dir> void BM_Resort(benchmark::State& state) {
    Generated& g = Data();
    TDisplayTree t;
    t.LoadTree(g.scans);
    t.ForEach(nullptr, [](TTreeNode*) {});
    bool flip = false;
    for (auto _ : state) {
        // Alternate with another order so every run really reorders.
        t.Sort(flip ? tcItems : tcModified, TSortDirection::Ascending);
        auto a = Clock::now();
        t.Sort(Column, Dir);
        state.SetIterationTime(Ms(a, Clock::now()) / 1000.0);
        flip = !flip;
    }
}

// Load + every node made + re-sort by size: the whole tree in a new order.
void BM_LoadTree_WalkAll_ResortBySize(benchmark::State& state) {
    Generated& g = Data();
    for (auto _ : state) {
        TDisplayTree t;
        t.LoadTree(g.scans);
        t.ForEach(nullptr, [](TTreeNode*) {});
        t.Sort(tcSize, TSortDirection::Descending);
        benchmark::DoNotOptimize(t.Roots().data());
    }
}

// The file list's top N by allocated size: cold = the scan's records sorted first (the first
// load after a scan or a new order), warm = the sorted lists reused (a new search).
void BM_FileListTop(benchmark::State& state) {
    Generated& g = Data();
    const bool cold = state.range(1) != 0;
    TFileList warm;
    warm.Options.MaxFiles = int(state.range(0));
    warm.LoadFileList(g.scans);
    for (auto _ : state) {
        if (cold) {
            TFileList l;
            l.Options.MaxFiles = int(state.range(0));
            l.LoadFileList(g.scans);
            benchmark::DoNotOptimize(l.Roots().data());
        } else {
            warm.LoadFileList(g.scans);
            benchmark::DoNotOptimize(warm.Roots().data());
        }
    }
}

void BM_DuplicateGrouping(benchmark::State& state) {
    Generated& g = Data();
    size_t groups = 0;
    for (auto _ : state) {
        g.scans[0]->DuplicatesLocatedMethod = 0;
        TFileList::LocateDuplicates(g.scans, 1);
        state.PauseTiming();
        groups = 0;
        for (PMFT_RECORD r : g.scans[0]->FFileList)
            groups += r && DupGroupOf(r) && DupGroupOf(r)->dupfiles[0] == r;
        state.ResumeTiming();
    }
    state.counters["groups"] = double(groups);
}

void BM_ExtSizes(benchmark::State& state) {
    Generated& g = Data();
    TExtColors c;
    for (auto _ : state) {
        c.BuildExtSizes(g.scans);
        benchmark::DoNotOptimize(c.ExtSizes.data());
    }
    state.counters["keys"] = double(c.ExtSizes.size());
}

} // namespace

BENCHMARK(BM_SetNameSortIndex_LoadTree)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadTree_WalkAll)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(BM_Resort, tcSize, TSortDirection::Descending)
    ->Name("BM_Resort/size")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseManualTime();
BENCHMARK_TEMPLATE(BM_Resort, tcFolder, TSortDirection::Ascending)
    ->Name("BM_Resort/name")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseManualTime();
BENCHMARK(BM_LoadTree_WalkAll_ResortBySize)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FileListTop)
    ->ArgNames({"top", "cold"})
    ->Args({1000, 1})
    ->Args({1000, 0})
    ->Args({100000, 1})
    ->Args({100000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK(BM_DuplicateGrouping)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ExtSizes)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
