// Applying the filter panel's filters again to the scans on screen, without reading the disk:
// the window's "Apply Filter". Free of any toolkit, so the window runs it on a thread of its
// own (nothing else may read the scans meanwhile) and a benchmark can time it.
#pragma once

#include "filters/filters.h"
#include "views/scancontrol.h"

#include <functional>
#include <string>
#include <vector>

namespace qz {

struct TFilterApplyRequest {
    std::u16string Include, Exclude; // the boxes' texts
    bool MatchEntirePath = true;     // "Match entire path" (the starting full-path flag)
    bool PanelOn = true;             // the filter panel is shown; off: every filter is cleared
};

struct TFilterApplyResult {
    bool FoldersOnly = false;         // the include filter is folders-only
    std::vector<TFilterError> Errors; // mistakes in the texts, expressions given up
};

// For every scan of the session: the totals of all records, FilterResults with the request's
// texts (two empty texts when the panel is off, which shows every record), forced, then the
// totals again (with a folders-only include filter they still count the hidden files). Then
// the session's sums, used space and folders-only flag follow the new totals, and its file-type
// tallies (when it keeps them) the files now shown.
TFilterApplyResult ReapplyFilters(TScanSession& session, const TFilterApplyRequest& request);

} // namespace qz
