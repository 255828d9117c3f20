// Folder-walk throughput on a generated tree (warm cache): entries per second for the block
// method with one and two walkers and for the older method. The comparison with other tools
// on a 1,000,000-file tree is scripts/bench_dirscan.sh.
#include "base/text.h"
#include "engine/scan.h"
#include "sources/dirscan.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;

namespace {

// 40 folders of 20 subfolders of 30 files (24,000 files), sizes log-normal around 2 KiB.
class TBenchTree {
public:
    TBenchTree() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/qzbench.XXXXXX";
        if (!mkdtemp(tmpl.data())) std::abort();
        root_ = tmpl;
        std::mt19937 rng(42);
        std::lognormal_distribution<double> size(std::log(2048.0), 1.5);
        const std::string data(65536, 'd');
        for (int i = 0; i < 40; ++i) {
            std::string a = root_ + "/top" + std::to_string(i);
            ::mkdir(a.c_str(), 0755);
            for (int j = 0; j < 20; ++j) {
                std::string b = a + "/sub" + std::to_string(j);
                ::mkdir(b.c_str(), 0755);
                for (int k = 0; k < 30; ++k) {
                    std::string f = b + "/file_" + std::to_string(k) + ".dat";
                    int fd = ::open(f.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                    size_t n = std::min<size_t>(size_t(size(rng)), data.size());
                    if (fd >= 0) {
                        (void)!::write(fd, data.data(), n);
                        ::close(fd);
                    }
                    ++entries_;
                }
                ++entries_;
            }
            ++entries_;
        }
    }
    ~TBenchTree() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::string& root() const { return root_; }
    int64_t entries() const { return entries_; }

private:
    std::string root_;
    int64_t entries_ = 0;
};

TBenchTree& Tree() {
    static TBenchTree tree;
    return tree;
}

void BM_FolderWalk(benchmark::State& state) {
    TSlowScanOptions opt;
    opt.Threads = int(state.range(0));
    opt.ForceOlderMethod = state.range(1) != 0;
    const std::u16string root = Utf8ToUtf16(Tree().root());
    for (auto _ : state) {
        auto scan = TNTFS_FILES::CreateSlow(root);
        DoSlowMode(*scan, {.FullPath = true}, opt, nullptr);
        scan->CalculateDirSizes();
        benchmark::DoNotOptimize(scan->MFTRoot->SubFoldersTotSize);
        state.PauseTiming();
        scan.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Tree().entries());
}

BENCHMARK(BM_FolderWalk)
    ->ArgNames({"walkers", "older"})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
