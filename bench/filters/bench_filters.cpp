// Filter matching over a generated scan of 1,000,000 records (about 10 % folders up to ten
// levels deep, 2 % of the folders named "cache", names of 4-24 characters with common
// extensions, a fifth of the files named with a date, sizes with a long tail): records per
// second for an extension list, a size comparison, a full-path pattern, regular expressions,
// FilterResults with an include and an exclude filter, and filters of 10,000 terms (the first
// 2,000 records matched one by one, as a file list's search does) and of 100,000 characters
// (a pass over the first 50,000 records), both in full-path mode.
#include "tests/filters/filter_fixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>
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

// The tree is grown at random (each new folder or file goes to the folder last picked; a new
// folder is picked every eight or so items), then stored in the order a folder walk stores it:
// a folder's files together, then its subfolders. Benchmarks also match in a shuffled order,
// where each record's folder differs from the last one's.
struct Generated {
    test::FilterScan s{u"C:"};
    std::vector<PMFT_RECORD> shuffled;
    Generated() {
        struct FileSpec {
            std::u16string name;
            uint64_t size;
            TDateTime date;
        };
        struct FolderSpec {
            std::u16string name;
            int depth = 0;
            std::vector<size_t> subfolders;
            std::vector<FileSpec> files;
        };
        std::mt19937_64 rng(42);
        std::vector<FolderSpec> folders(1);
        size_t current = 0, items = 1;
        while (items < kRecords) {
            if (rng() % 8 == 0) current = rng() % folders.size();
            ++items;
            if (rng() % 10 == 0 && folders[current].depth < 10) {
                FolderSpec f;
                f.name = rng() % 50 == 0 ? u"cache" : RandomName(rng, true);
                f.depth = folders[current].depth + 1;
                folders.push_back(std::move(f));
                folders[current].subfolders.push_back(folders.size() - 1);
                continue;
            }
            uint64_t size = rng() % 100 == 0 ? rng() % 2000000000ull : rng() % 200000;
            folders[current].files.push_back(
                {RandomName(rng, false), size, 44000.0 + double(rng() % 2000)});
        }
        std::vector<std::pair<size_t, PMFT_RECORD>> stack{{0, s.root}};
        while (!stack.empty()) {
            auto [index, rec] = stack.back();
            stack.pop_back();
            for (const FileSpec& f : folders[index].files) s.File(rec, f.name, f.size, f.date);
            const auto& subs = folders[index].subfolders;
            for (size_t k = subs.size(); k-- > 0;)
                stack.push_back({subs[k], s.Folder(rec, folders[subs[k]].name)});
        }
        s.Totals();
        shuffled = s.scan->FFileList;
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
    }
};

Generated& Scan() {
    static Generated g;
    return g;
}

// One pass over the scan's list as a bulk caller makes it (inside a TFilterBatch), or with
// every record matched on its own; limit: only the first records of the list.
void Match(benchmark::State& state, std::u16string_view text, bool applySizeTerms,
           bool batch = true, bool shuffled = false, size_t limit = SIZE_MAX,
           bool fullPath = false) {
    const std::vector<PMFT_RECORD>& all = shuffled ? Scan().shuffled : Scan().s.scan->FFileList;
    const std::vector<PMFT_RECORD> list(all.begin(),
                                        all.begin() + ptrdiff_t(std::min(limit, all.size())));
    bool fp = fullPath;
    TFilters_AND f;
    ParseFilters(text, f, fp);
    size_t hits = 0;
    for (auto _ : state) {
        hits = 0;
        std::optional<TFilterBatch> pass;
        if (batch) pass.emplace();
        for (PMFT_RECORD r : list) hits += MatchFilters(r, f, fp, applySizeTerms);
        benchmark::DoNotOptimize(hits);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(list.size()));
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
void BM_FullPathAlone(benchmark::State& st) {
    Match(st, u"\\cache\\", true, false);
}
void BM_FullPathShuffled(benchmark::State& st) {
    Match(st, u"\\cache\\", true, true, true);
}
void BM_ExtensionsShuffled(benchmark::State& st) {
    Match(st, u"*.jpg|*.png|*.mp4", true, true, true);
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

// Filters pasted from a list: thousands of terms. Fragments of names are drawn from the
// same alphabet as the scan's names, so some of them match.
std::u16string Fragment(std::mt19937_64& rng, size_t n) {
    static const char16_t chars[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
    std::u16string s(n, u'a');
    for (auto& c : s) c = chars[rng() % (sizeof(chars) / 2 - 1)];
    return s;
}

// 10,000 alternatives in one group: extensions (most absent), name fragments and wildcard
// terms, then the three extensions of BM_Extensions.
const std::u16string& TenThousandTerms() {
    static const std::u16string text = [] {
        std::mt19937_64 rng(7);
        std::u16string t;
        for (int i = 0; i < 10000; ++i) {
            switch (i % 3) {
            case 0:
                t += u"*.e" + Fragment(rng, 3);
                break;
            case 1:
                t += Fragment(rng, 5);
                break;
            default:
                t += u"*" + Fragment(rng, 4) + u"*";
            }
            t += u"|";
        }
        return t + u"*.jpg|*.png|*.mp4";
    }();
    return text;
}

// 100,000 characters in full-path mode: one group of folder names, path fragments and wildcard
// paths, then negated single-term groups.
const std::u16string& HundredThousandCharacters() {
    static const std::u16string text = [] {
        std::mt19937_64 rng(11);
        std::u16string t = u"\\cache\\";
        int i = 0;
        while (t.size() < 80000) {
            switch (i++ % 4) {
            case 0:
                t += u"|\\" + Fragment(rng, 6) + u"\\";
                break;
            case 1:
                t += u"|" + Fragment(rng, 6);
                break;
            case 2:
                t += u"|*\\" + Fragment(rng, 4) + u"*.log";
                break;
            default:
                t += u"|*.x" + Fragment(rng, 3);
            }
        }
        while (t.size() < 100000) t += u" !" + Fragment(rng, 7);
        return t;
    }();
    return text;
}

// As a file list's search matches its rows: one by one, full paths.
void BM_TenThousandTerms(benchmark::State& st) {
    Match(st, TenThousandTerms(), true, false, false, 2000, true);
}
// As a filter pass over a scan of 50,000 records.
void BM_HundredThousandCharacters(benchmark::State& st) {
    Match(st, HundredThousandCharacters(), true, true, false, 50000, true);
}
void BM_ParseHundredThousandCharacters(benchmark::State& state) {
    const std::u16string& text = HundredThousandCharacters();
    for (auto _ : state) {
        bool fp = false;
        TFilters_AND f;
        ParseFilters(text, f, fp);
        benchmark::DoNotOptimize(f.data());
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(text.size()));
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
BENCHMARK(BM_FullPathAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullPathShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExtensionsShuffled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullPathWildcard)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Regex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegexName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterResults)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TenThousandTerms)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HundredThousandCharacters)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseHundredThousandCharacters)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
