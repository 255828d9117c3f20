#include "views/filterapply.h"

#include "engine/scan.h"
#include "views/extstats.h"

namespace qz {

TFilterApplyResult ReapplyFilters(TScanSession& session, const TFilterApplyRequest& request) {
    TFilterApplyResult result;
    const std::u16string include = request.PanelOn ? request.Include : std::u16string();
    const std::u16string exclude = request.PanelOn ? request.Exclude : std::u16string();
    result.FoldersOnly =
        request.PanelOn && FoldersOnlyFilterActive(include, request.MatchEntirePath);
    for (const auto& scan : session.ScanSlots) {
        if (!scan) continue;
        std::vector<TFilterError> errors;
        // The totals of every record first, as the scan had them before its own filter pass:
        // size terms test real folder sizes, not those left by the previous filter, so applying
        // a filter twice, or after another one, gives what a scan with it gives.
        scan->CalculateDirSizes({.FoldersOnlyFilter = result.FoldersOnly, .IgnoreFilter = true});
        FilterResults(*scan, include, exclude, true, request.MatchEntirePath, result.FoldersOnly,
                      &errors);
        scan->CalculateDirSizes(
            {.FoldersOnlyFilter = result.FoldersOnly, .IgnoreFilter = result.FoldersOnly});
        // Every scan reports the same mistakes of the texts: keep those of the first, and the
        // expressions any scan gave up on.
        for (TFilterError& e : errors) {
            bool known = false;
            for (const TFilterError& k : result.Errors)
                known |= k.term == e.term && k.message == e.message;
            if (!known) result.Errors.push_back(std::move(e));
        }
    }
    session.FoldersOnly = result.FoldersOnly;
    // The file types of what the filter now shows, counted on this thread so the window does
    // not walk every file again on its own (kept only where the scans kept tallies).
    if (session.ExtTallies.size() == session.ScanSlots.size())
        for (size_t k = 0; k < session.ScanSlots.size(); ++k)
            session.ExtTallies[k] =
                session.ScanSlots[k] ? TallyExtensions(*session.ScanSlots[k]) : TExtTally{};
    ZeroRecord(session.RootMFTMulti);
    for (size_t k = 0; k < session.ScanSlots.size(); ++k) {
        TNTFS_FILES* s = session.ScanSlots[k].get();
        if (!s || !s->MFTRoot) continue;
        if (k < session.DiskSizes.size())
            session.DiskSizes[k].usedspace = s->MFTRoot->SubFoldersTotSizeAlloc;
        session.RootMFTMulti.SubFoldersTotSize += s->MFTRoot->SubFoldersTotSize;
        session.RootMFTMulti.SubFoldersTotSizeAlloc += s->MFTRoot->SubFoldersTotSizeAlloc;
    }
    return result;
}

} // namespace qz
