// CSV export and import over a generated scan of 1,000,000 records (about 10 % folders,
// names of 4-24 characters, some with commas, quotes or non-ASCII letters, dates spread over
// six years): the whole tree exported with the default columns and with every column (tree
// load and node creation included, as after a scan), and the default-columns file read back
// into a scan (with and without the totals that follow an import).
#include "base/text.h"
#include "engine/scan.h"
#include "export/csv_export.h"
#include "sources/sources.h"
#include "tests/views/scanbuilder.h"
#include "views/displaytree.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

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
    switch (rng() % 50) {
    case 0:
        s[len / 2] = u',';
        break;
    case 1:
        s[len / 2] = u'"';
        break;
    case 2:
        s[len / 2] = u'\u00e9';
        break;
    default:
        break;
    }
    if (!folder) s += exts[rng() % (sizeof(exts) / sizeof(exts[0]))];
    return s;
}

struct Generated {
    ScanBuilder b{u"/bench"};
    std::vector<TNTFS_FILES*> scans;
    std::string dir;
    Generated() {
        std::mt19937_64 rng(42);
        std::vector<PMFT_RECORD> folders{b.root};
        PMFT_RECORD current = b.root;
        while (b.scan->FFileList.size() < kRecords) {
            if (rng() % 8 == 0) current = folders[rng() % folders.size()];
            const TDateTime date = 43000.0 + double(rng() % 2200) + double(rng() % 86400) / 86400.0;
            if (rng() % 10 == 0) {
                folders.push_back(b.Folder(current, RandomName(rng, true), date));
                continue;
            }
            uint64_t size = rng() % 100 == 0 ? rng() % 2000000000ull : rng() % 200000;
            PMFT_RECORD f = b.File(current, RandomName(rng, false), size, UINT64_MAX, date,
                                   rng() % 5 == 0 ? 0x21 : 0x20);
            f->LastAccessDate = date + 10;
            f->CreatedDate = date - 100;
        }
        b.Finish();
        scans = {b.scan.get()};
        const char* tmp = std::getenv("TMPDIR");
        dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/qz_bench_export_" +
              std::to_string(::getpid());
        ::mkdir(dir.c_str(), 0755);
    }
    ~Generated() {
        ::unlink((dir + "/default.csv").c_str());
        ::unlink((dir + "/all.csv").c_str());
        ::rmdir(dir.c_str());
    }
};

Generated& Data() {
    static Generated g;
    return g;
}

void Export(benchmark::State& state, bool allColumns) {
    Generated& g = Data();
    TExportOptions o;
    if (allColumns) {
        o.ExportMFTNo.Value = o.ExportDates.Value = o.ExportFolderSize.Value = true;
        o.SplitFileNames.Value = o.PercentOfParent.Value = true;
    }
    const std::string path = g.dir + (allColumns ? "/all.csv" : "/default.csv");
    int64_t rows = 0, bytes = 0;
    for (auto _ : state) {
        TDisplayTree tree;
        tree.LoadTree(g.scans);
        TCsvExportJob job;
        job.FileName = Utf8ToUtf16(path);
        job.Tree = &tree;
        job.Scans = g.scans;
        auto r = ExportToCSV(job, o);
        if (!r.Ok) state.SkipWithError(r.Error.c_str());
        rows += r.Rows;
        struct stat st {};
        ::stat(path.c_str(), &st);
        bytes += st.st_size;
    }
    state.SetItemsProcessed(rows);
    state.SetBytesProcessed(bytes);
}

void BM_ExportDefaultColumns(benchmark::State& state) {
    Export(state, false);
}
void BM_ExportAllColumns(benchmark::State& state) {
    Export(state, true);
}

void Import(benchmark::State& state, bool totals) {
    Generated& g = Data();
    const std::string path = g.dir + "/default.csv";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        TDisplayTree tree;
        tree.LoadTree(g.scans);
        TCsvExportJob job;
        job.FileName = Utf8ToUtf16(path);
        job.Tree = &tree;
        ExportToCSV(job, TExportOptions{});
        ::stat(path.c_str(), &st);
    }
    int64_t rows = 0;
    for (auto _ : state) {
        auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(path), ScanSourcePasses());
        scan->ProcessMFTRecords();
        if (scan->WasError) state.SkipWithError(scan->ErrorMessage.c_str());
        if (totals) scan->CalculateDirSizes();
        rows += int64_t(scan->FFileList.size());
        state.PauseTiming();
        scan.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(rows);
    state.SetBytesProcessed(int64_t(state.iterations()) * st.st_size);
}

void BM_Import(benchmark::State& state) {
    Import(state, false);
}
void BM_ImportWithTotals(benchmark::State& state) {
    Import(state, true);
}

} // namespace

BENCHMARK(BM_ExportDefaultColumns)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportAllColumns)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ImportWithTotals)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
