// Applying filters to a scan: FilterResults, the scan thread's filter steps, and the exclude
// test of a folder walk.
#include "engine/scan.h"
#include "filters/filters.h"

#include <algorithm>
#include <cstdint>

namespace qz {

namespace {

bool IsBlankText(std::u16string_view s) {
    for (char16_t c : s)
        if (c > 0x20) return false;
    return true;
}

// Records matched between two questions to cancel: a few thousand, fewer when every record
// is tested against many terms one by one, so that the questions come about as often in time.
size_t CancelInterval(const TFilterPair& f) {
    size_t terms = 0;
    for (const TFilters_AND* filter : {&f.include, &f.exclude})
        for (const TFilters_OR& group : *filter)
            for (const TFilterItem& it : group) terms += it.indexed ? 0 : 1;
    return std::clamp<size_t>((size_t(1) << 18) / (terms + 1), 1, 4096);
}

} // namespace

bool FilterResults(TNTFS_FILES& scan, std::u16string_view FilterInclude,
                   std::u16string_view FilterExclude, bool ForceFilterFlag, bool FilterFullPath,
                   bool FoldersOnlyFlag, std::vector<TFilterError>* errors,
                   const TFilterCancel& cancel) {
    (void)FoldersOnlyFlag; // the totals' business (ApplyScanFilters), not the flags'
    if (!ForceFilterFlag && IsBlankText(FilterInclude) && IsBlankText(FilterExclude)) return true;

    // Both texts share one full-path flag; a separator in either one switches both, and both
    // are parsed with the final flag.
    TFilterPair f;
    ParseFilterPair(FilterInclude, FilterExclude, FilterFullPath, f);
    if (errors) errors->insert(errors->end(), f.errors.begin(), f.errors.end());

    const bool exclude = !f.exclude.empty();
    const bool asks = bool(cancel);
    const size_t interval = asks ? CancelInterval(f) : 0;
    size_t untilAsked = 1; // asked before the first record too
    bool cancelled = false;
    {
        TFilterBatch batch; // the records keep their names and folders during the pass
        for (PMFT_RECORD r : scan.FFileList) {
            if (asks && --untilAsked == 0) {
                if (cancel()) {
                    cancelled = true;
                    break;
                }
                untilAsked = interval;
            }
            if (!r) continue;
            bool hidden = !MatchFilters(r, f.include, f.fullPath, true);
            if (!hidden && exclude) hidden = MatchFilters(r, f.exclude, f.fullPath, false);
            r->Filtered = hidden;
        }
    }
    if (cancelled) {
        // Half a pass would hide an arbitrary part of the scan: show it all instead.
        for (PMFT_RECORD r : scan.FFileList)
            if (r) r->Filtered = false;
        return false;
    }
    // Folders above a visible record stay visible. Every visible record clears its hidden
    // ancestors up to the first visible one, whose own ancestors it clears itself (every
    // record is listed), so each ancestor chain is walked once and a looping chain ends.
    for (PMFT_RECORD r : scan.FFileList) {
        if (!r || r->Filtered) continue;
        for (PMFT_RECORD p = r->ParentMFTRec; p && p->Filtered; p = p->ParentMFTRec)
            p->Filtered = false;
    }
    if (errors) {
        CollectGivenUpExpressions(f.include, *errors);
        const size_t firstExclude = errors->size();
        CollectGivenUpExpressions(f.exclude, *errors);
        for (size_t i = firstExclude; i < errors->size(); ++i) (*errors)[i].exclude = true;
    }
    FreeFilters(f.include);
    FreeFilters(f.exclude);
    return true;
}

bool ApplyScanFilters(TNTFS_FILES& scan, std::u16string_view FilterInclude,
                      std::u16string_view FilterExclude, bool FilterFullPath,
                      std::vector<TFilterError>* errors) {
    const bool fo = FoldersOnlyFilterActive(FilterInclude, FilterFullPath);
    if (fo) scan.CalculateDirSizes({.FoldersOnlyFilter = true, .IgnoreFilter = true});
    FilterResults(scan, FilterInclude, FilterExclude, false, FilterFullPath, fo, errors,
                  [&scan] { return scan.Cancelled(); });
    scan.CalculateDirSizes({.FoldersOnlyFilter = fo, .IgnoreFilter = fo});
    return fo;
}

void TWalkExcludeFilter::Parse(std::u16string_view filterExclude, bool filterFullPath) {
    FErrors.clear();
    FFullPath = filterFullPath;
    ParseFilters(filterExclude, FFilter, FFullPath, &FErrors);
}

bool TWalkExcludeFilter::Excludes(PMFT_RECORD entry) const {
    return !FFilter.empty() && MatchFilters(entry, FFilter, FFullPath, false);
}

bool TWalkExcludeFilter::Excludes(const TFilterEntry& entry) const {
    return !FFilter.empty() && MatchFilters(entry, FFilter, FFullPath, false);
}

} // namespace qz
