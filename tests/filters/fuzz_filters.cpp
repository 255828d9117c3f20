// Fuzzes the filter language: any text parses, matches records and walk entries, colours, and
// keeps the invariants below (among them: indexed terms answer as the terms one by one).
// Input: UTF-16LE code units; the filter text runs to the first NUL unit, the rest is the name
// of a walk entry.
#include "filter_fixture.h"
#include "filters/filter_index.h"

#include <cstdlib>

using namespace qz;

namespace {

struct Tree {
    test::FilterScan c{u"C:"};
    test::FilterScan lin{u"/home/me"};
    Tree() {
        for (test::FilterScan* s : {&c, &lin}) {
            PMFT_RECORD a = s->Folder(s->root, u"Cache");
            s->File(a, u"x.TMP", 5000);
            PMFT_RECORD b = s->Folder(a, u"\xE9t\xE9 2024-03-01");
            s->File(b, u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!", 1u << 20);
            s->File(s->root, u"noext", 0);
            s->File(s->root, std::u16string(300, u'q') + u".log", 10);
            s->Totals();
        }
    }
};

void Check(bool ok) {
    if (!ok) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Tree tree;
    static const bool init = [] {
        SetFilterLocalTimeOffset(0);
        return true;
    }();
    (void)init;
    std::u16string units(size / 2, u'\0');
    for (size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(data[2 * i] | (data[2 * i + 1] << 8));
    const size_t nul = units.find(u'\0');
    const std::u16string_view text = std::u16string_view(units).substr(0, nul);
    const std::u16string_view name = nul == std::u16string::npos
                                         ? std::u16string_view()
                                         : std::u16string_view(units).substr(nul + 1);

    const bool setsFull = FilterTextSetsFullPath(text);
    for (bool startFull : {false, true}) {
        bool fp = startFull;
        TFilters_AND f;
        std::vector<TFilterError> errors;
        ParseFilters(text, f, fp, &errors);
        Check(fp == (startFull || setsFull));
        for (const TFilters_OR& g : f) {
            Check(!g.empty());
            for (const TFilterItem& it : g) {
                Check(it.filtertextlength == int32_t(it.filtertext.size()));
                Check(it.sizeop >= 0 && it.sizeop <= 5 && it.sizeoptype >= 0 && it.sizeoptype <= 7);
                Check(!it.regex || it.isregex);
            }
        }
        for (const TFilterError& e : errors) Check(e.position <= text.size());
        // Every group with an indexable term indexed: the answers stay those of the terms.
        TFilters_AND indexed = f;
        for (TFilters_OR& g : indexed)
            for (TFilterItem& it : g) {
                it.termindex.reset();
                it.indexed = false;
                it.filterhasindex = false;
            }
        BuildFilterIndexes(indexed, fp, 1);
        for (test::FilterScan* s : {&tree.c, &tree.lin})
            for (PMFT_RECORD r : s->scan->FFileList)
                for (bool apply : {false, true}) {
                    const bool want = MatchFiltersTermByTerm(r, f, fp, apply);
                    Check(MatchFilters(r, f, fp, apply) == want);
                    Check(MatchFilters(r, indexed, fp, apply) == want);
                }
        TFilterEntry e;
        e.name = name;
        for (std::u16string_view parent : {u"/home/me/Cache", u"C:\\Cache", u""}) {
            e.parentPath = parent;
            for (bool folder : {false, true}) {
                e.folder = folder;
                (void)MatchFilters(e, f, fp, false);
            }
        }
        FreeFilters(f);
        Check(f.empty());
    }
    (void)FoldersOnlyFilterActive(text, true);
    (void)NormalizeFilterText(text);
    const std::vector<bool> mask = FilterHighlightMask(text);
    Check(mask.size() == text.size());
    size_t covered = 0;
    for (const TFilterColourRun& r : FilterColourRuns(text)) {
        Check(r.start == covered && r.length > 0);
        covered += r.length;
    }
    Check(covered == text.size());
    return 0;
}
