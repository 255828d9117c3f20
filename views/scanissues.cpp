#include "views/scanissues.h"

#include "base/text.h"
#include "base/translate.h"

namespace qz {

TScanIssues SumScanIssues(const std::vector<TNTFS_FILES*>& scans) {
    TScanIssues sum;
    for (const TNTFS_FILES* s : scans) {
        if (!s) continue;
        TScanWarnings& w = sum.Warnings;
        w.UnreadableFolders += s->Warnings.UnreadableFolders;
        w.UnexaminedEntries += s->Warnings.UnexaminedEntries;
        w.SkippedLines += s->Warnings.SkippedLines;
        w.RowsWithBadNumbers += s->Warnings.RowsWithBadNumbers;
        w.MergedRows += s->Warnings.MergedRows;
        TScanAnomalies& a = sum.Anomalies;
        a.OrphanItems += s->Anomalies.OrphanItems;
        a.OrphanBytes += s->Anomalies.OrphanBytes;
        a.DamagedSizes += s->Anomalies.DamagedSizes;
        a.SaturatedTotals += s->Anomalies.SaturatedTotals;
        if (s->Anomalies.TrailerRecordSize) a.TrailerRecordSize = s->Anomalies.TrailerRecordSize;
    }
    return sum;
}

std::u16string ScanIssuesText(const TScanIssues& issues, const TNumberFormat& nf) {
    std::u16string out;
    auto add = [&](int64_t n, const char* text) {
        if (n <= 0) return;
        if (!out.empty()) out += u", ";
        out += FormatCount(n, nf) + u" " + Utf8ToUtf16(text);
    };
    const TScanWarnings& w = issues.Warnings;
    const TScanAnomalies& a = issues.Anomalies;
    auto count = [](int64_t n) { return uint64_t(n > 0 ? n : 0); };
    add(w.UnreadableFolders,
        ntr("folder could not be read", "folders could not be read", count(w.UnreadableFolders)));
    add(w.UnexaminedEntries, ntr("entry could not be examined", "entries could not be examined",
                                 count(w.UnexaminedEntries)));
    add(w.SkippedLines, ntr("line skipped", "lines skipped", count(w.SkippedLines)));
    add(w.RowsWithBadNumbers,
        ntr("row with an unreadable number read as 0", "rows with unreadable numbers read as 0",
            count(w.RowsWithBadNumbers)));
    add(w.MergedRows, ntr("row repeated an item", "rows repeated items", count(w.MergedRows)));
    add(a.OrphanItems, ntr("orphaned item", "orphaned items", count(a.OrphanItems)));
    add(a.DamagedSizes, ntr("record with impossible sizes (clamped)",
                            "records with impossible sizes (clamped)", count(a.DamagedSizes)));
    add(a.SaturatedTotals, ntr("folder total at the counting limit",
                               "folder totals at the counting limit", count(a.SaturatedTotals)));
    if (a.TrailerRecordSize) {
        if (!out.empty()) out += u", ";
        out += Utf8ToUtf16(tr("dump record size corrected"));
    }
    return out;
}

} // namespace qz
