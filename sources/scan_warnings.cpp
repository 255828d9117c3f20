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
    Add(out, w.SkippedObjects,
        ntr("%s object on the device could not be read or has no name; it is missing from the "
            "scan",
            "%s objects on the device could not be read or have no name; they are missing from "
            "the scan",
            n(w.SkippedObjects)));
    Add(out, w.UnknownSizes,
        ntr("%s file on the device did not give its size; it counts as 0 bytes",
            "%s files on the device did not give their sizes; they count as 0 bytes",
            n(w.UnknownSizes)));
    Add(out, w.RenamedObjects,
        ntr("%s name on the device holds \"\\\" or \"/\"; it is shown with \u29F5 or \u2215 in "
            "their place",
            "%s names on the device hold \"\\\" or \"/\"; they are shown with \u29F5 or \u2215 "
            "in their place",
            n(w.RenamedObjects)));
    if (w.DeviceDisconnected)
        out.push_back(tr("The device was disconnected during the scan; what was not read yet is "
                         "missing from the scan"));
    if (!w.ReadThrough.empty())
        out.push_back(std::string(tr("The desktop holds the device; it was read through its "
                                     "mount")) +
                      " " + w.ReadThrough);
    return out;
}

} // namespace qz
