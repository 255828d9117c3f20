#include "sources/scan_warnings.h"

#include "base/text.h"

namespace qz {

namespace {
void Add(std::vector<std::string>& out, int64_t count, const char* one, const char* many) {
    if (count <= 0) return;
    out.push_back(std::to_string(count) + " " + tr(count == 1 ? one : many));
}
} // namespace

std::vector<std::string> ScanWarningTexts(const TScanWarnings& w) {
    std::vector<std::string> out;
    Add(out, w.UnreadableFolders,
        "folder could not be read; what it holds is missing from the scan",
        "folders could not be read; what they hold is missing from the scan");
    Add(out, w.UnexaminedEntries, "entry could not be examined; its size and date are unknown",
        "entries could not be examined; their sizes and dates are unknown");
    Add(out, w.SkippedLines,
        "line was skipped: not a data row, or a path outside the first row's tree",
        "lines were skipped: not data rows, or paths outside the first row's tree");
    Add(out, w.RowsWithBadNumbers, "row had a number that could not be read; it was read as 0",
        "rows had numbers that could not be read; they were read as 0");
    Add(out, w.MergedRows, "row named an item listed before; the later row counts",
        "rows named items listed before; the later rows count");
    Add(out, w.SkippedObjects,
        "object on the device could not be read or has no name; it is missing from the scan",
        "objects on the device could not be read or have no name; they are missing from the scan");
    Add(out, w.UnknownSizes, "file on the device did not give its size; it counts as 0 bytes",
        "files on the device did not give their sizes; they count as 0 bytes");
    Add(out, w.RenamedObjects,
        "name on the device holds \"\\\" or \"/\"; it is shown with \u29F5 or \u2215 in their "
        "place",
        "names on the device hold \"\\\" or \"/\"; they are shown with \u29F5 or \u2215 in their "
        "place");
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
