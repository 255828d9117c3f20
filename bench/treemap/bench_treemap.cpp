// The treemap over a generated scan of 1,000,000 records (about 8 % folders in a tree up to 8
// levels deep, file sizes with a long tail, 14 extensions) at 1920x1080 and 7680x4320: layout
// alone, shading alone (the leaves' cushions of that layout, fast mode on and off), whole
// drawings with labels on and off and fast mode on and off, the first drawing of a freshly
// loaded tree (display nodes made on the way), and the PNG write.
#include "base/text.h"
#include "tests/views/scanbuilder.h"
#include "treemap/pngwriter.h"
#include "treemap/qtcanvas.h"
#include "treemap/treemap.h"
#include "treemap/walk.h"

#include <benchmark/benchmark.h>

#include <random>
#include <unistd.h>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

constexpr size_t kRecords = 1000000;

struct Generated {
    ScanBuilder b{u"/bench"};
    std::vector<TNTFS_FILES*> scans;
    Generated() {
        std::mt19937_64 rng(42);
        static const char16_t* exts[] = {u".txt", u".jpg", u".dll", u".exe", u".log",
                                         u".mp3", u".png", u".h",   u".cpp", u".gz",
                                         u".iso", u".dat", u".xml", u""};
        struct Open {
            PMFT_RECORD rec;
            int depth;
        };
        std::vector<Open> folders{{b.root, 0}};
        size_t n = 1;
        while (n < kRecords) {
            const Open where = folders[rng() % folders.size()];
            if (rng() % 12 == 0 && where.depth < 8) {
                folders.push_back({b.Folder(where.rec, u"dir" + AsciiToUtf16(std::to_string(n))),
                                   where.depth + 1});
                ++n;
                continue;
            }
            // A small batch of files in that folder.
            const int batch = 1 + int(rng() % 12);
            for (int i = 0; i < batch && n < kRecords; ++i, ++n) {
                uint64_t size = rng() % 100 == 0 ? rng() % 4000000000ull : rng() % 200000;
                b.File(where.rec, u"file" + AsciiToUtf16(std::to_string(n)) + exts[rng() % 14],
                       size);
            }
        }
        b.Finish();
        scans = {b.scan.get()};
    }
};

Generated& Data() {
    static Generated g;
    return g;
}

// A loaded tree with its statistics, and a treemap over it; drawn once so that the display
// nodes a drawing needs exist (warm).
struct Scene {
    TDisplayTree tree;
    TExtColors colors;
    TTreemap tm{tree, colors};
    explicit Scene(bool warm = true, int w = 1920, int h = 1080) {
        Generated& g = Data();
        tree.LoadTree(g.scans);
        colors.BuildExtSizes(g.scans);
        tm.Scans = g.scans;
        tm.DiskSizes = {TDiskSizeInfo{}};
        if (warm) tm.DrawTreemap(w, h, {.Force = true});
    }
};

// The scan's root as the layout's top item, inside the 4-pixel margin of a w x h picture.
uint32_t AddTop(TTreemapLayout& layout, int w, int h) {
    TMapItem top;
    top.Rect = TMapRect{4, 4, float(w - 8), float(h - 8)};
    top.Rec = Data().b.root;
    return layout.Add(top);
}

void BM_Layout(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    Scene s(true, w, h);
    TTreemapBitmap bmp;
    std::string err;
    bmp.Create(w, h, err);
    TWalkSettings ws;
    ws.Shade = false;
    uint64_t visited = 0, children = 0;
    for (auto _ : state) {
        TTreemapLayout layout;
        TTreemapWalk walk(layout, s.colors, bmp, ws, nullptr);
        walk.Draw(AddTop(layout, w, h), TctRectangle(4, float(w - 4), 4, float(h - 4)));
        visited = walk.Stats().Visited;
        children = walk.Stats().Children;
    }
    state.counters["nodes_drawn"] = double(visited);
    state.counters["children_read"] = double(children);
}

void BM_Shading(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    const bool fast = state.range(2) != 0;
    Scene s(true, w, h);
    TTreemapBitmap bmp;
    std::string err;
    bmp.Create(w, h, err);
    std::vector<TCushionJob> jobs;
    TWalkSettings ws;
    ws.Shade = false;
    ws.RecordCushions = &jobs;
    TTreemapLayout layout;
    TTreemapWalk walk(layout, s.colors, bmp, ws, nullptr);
    walk.Draw(AddTop(layout, w, h), TctRectangle(4, float(w - 4), 4, float(h - 4)));
    TTreemapShading sh;
    sh.tm_FastDraw = fast;
    for (auto _ : state) {
        for (const TCushionJob& j : jobs) RenderCushion(bmp, j.Bounds, j.Color, j.Surface, sh);
        benchmark::DoNotOptimize(bmp.Bits());
    }
    state.counters["cushions"] = double(jobs.size());
}

void BM_Draw(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    Scene s(true, w, h);
    s.tm.ShowFileNames = state.range(2) != 0;
    s.tm.Shading.tm_FastDraw = state.range(3) != 0;
    for (auto _ : state) s.tm.DrawTreemap(w, h, {.Force = true});
}

void BM_DrawFirst(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<Scene>(false);
        s->tm.ShowFileNames = true;
        state.ResumeTiming();
        s->tm.DrawTreemap(1920, 1080, {.Force = true});
        state.PauseTiming();
        s.reset();
        state.ResumeTiming();
    }
}

void BM_PngWrite(benchmark::State& state) {
    const int w = int(state.range(0)), h = int(state.range(1));
    Scene s(true, w, h);
    s.tm.ShowFileNames = true;
    s.tm.DrawTreemap(w, h, {.Force = true});
    const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    const std::string path = dir + "/quarzel-bench-treemap.png";
    std::string err;
    for (auto _ : state)
        if (!WriteTreemapPng(path, s.tm.Screen.Image, err)) state.SkipWithError(err.c_str());
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        std::fseek(f, 0, SEEK_END);
        state.counters["file_kib"] = double(std::ftell(f)) / 1024;
        std::fclose(f);
    }
    unlink(path.c_str());
}

} // namespace

BENCHMARK(BM_Layout)->Args({1920, 1080})->Args({7680, 4320})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Shading)
    ->ArgsProduct({{1920}, {1080}, {1, 0}})
    ->Args({7680, 4320, 1})
    ->Args({7680, 4320, 0})
    ->ArgNames({"w", "h", "fast"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw)
    ->Args({1920, 1080, 0, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({1920, 1080, 0, 0})
    ->Args({1920, 1080, 1, 0})
    ->Args({7680, 4320, 0, 1})
    ->Args({7680, 4320, 1, 1})
    ->Args({7680, 4320, 0, 0})
    ->Args({7680, 4320, 1, 0})
    ->ArgNames({"w", "h", "labels", "fast"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawFirst)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PngWrite)->Args({1920, 1080})->Args({7680, 4320})->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    TOffscreenGui gui; // fonts for the labels, no display
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
