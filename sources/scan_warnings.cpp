#include "sources/scan_warnings.h"

#include "base/text.h"

namespace qz {

namespace {
// one, many: ntr(...) of the count, with "%s" where the count goes.
void Add(std::vector<std::string>& out, int64_t count, const char* text) {
    if (count <= 0) return;
    out.push_back(Format(text, std::to_string(count).c_str()));
}
} // namespace

std::vector<std::string> ScanWarningTexts(const TScanWarnings& w) {
    std::vector<std::string> out;
    auto n = [](int64_t count) { return uint64_t(count < 0 ? 0 : count); };
    Add(out, w.UnreadableFolders,
        ntr("%s folder could not be read; what it holds is missing from the scan",
            "%s folders could not be read; what they hold is missing from the scan",
            n(w.UnreadableFolders)));
    Add(out, w.UnexaminedEntries,
        ntr("%s entry could not be examined; its size and date are unknown",
            "%s entries could not be examined; their sizes and dates are unknown",
            n(w.UnexaminedEntries)));
    Add(out, w.SkippedLines,
        ntr("%s line was skipped: not a data row, or a path outside the first row's tree",
            "%s lines were skipped: not data rows, or paths outside the first row's tree",
            n(w.SkippedLines)));
    Add(out, w.RowsWithBadNumbers,
        ntr("%s row had a number that could not be read; it was read as 0",
            "%s rows had numbers that could not be read; they were read as 0",
            n(w.RowsWithBadNumbers)));
    Add(out, w.MergedRows,
        ntr("%s row named an item listed before; the later row counts",
            "%s rows named items listed before; the later rows count", n(w.MergedRows)));
    return out;
}

} // namespace qz
