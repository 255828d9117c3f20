// Texts of the window's top panel and status line that do not belong to one view: the space
// summary with the window caption, and the progress line of the MFT dump command.
#pragma once

#include "engine/types.h"
#include "views/format.h"

#include <cstdint>
#include <span>
#include <string>

namespace qz {

// What the selected source-list entry is, as far as the summary cares.
enum class TSummaryKind : uint8_t {
    Drive,    // a drive entry ("[X:] name")
    Folder,   // a folder, a user folder or a device
    MFTFile,  // an MFT dump file
    CSVFile,  // a CSV/TSV file
    Subst,    // a substituted drive
    Network,  // a network drive
    Multiple, // several sources
};

struct TSpaceSummaryInput {
    bool HasEntry = false;    // an entry is selected in the source list
    std::u16string EntryText; // its text
    TSummaryKind Kind = TSummaryKind::Folder;
    std::span<const TDiskSizeInfo>
        DiskSizes;                       // one per scan (the caller fills a picked drive's figures)
    std::u16string CurrentDrive;         // text of the source last scanned
    PMFT_RECORD rootmft = nullptr;       // root record shown, if any
    bool FirstScanCSVHasSpace = false;   // the first scan is a CSV import that carried capacities
    std::u16string SubstOrNetworkTarget; // the relaunch list's target for Subst/Network, if found
    std::u16string PreviousDriveSerial;  // the serial label's text before this update
    TFormatSettings Format;              // how sizes and percentages are written
};

struct TSpaceSummary {
    bool ClearViews = false; // no entry selected: views, treemap and zoom are cleared
    std::u16string lblDrive, lblDriveSerial;
    std::u16string lblTotalSpace = u"n/a", lblSpaceUsed = u"n/a", lblSpaceUsedPerc = u"n/a";
    std::u16string lblSpaceFree = u"n/a", lblSpaceFreePerc = u"n/a", lblReservedSpace = u"n/a";
    std::u16string Caption = u"Quarzel";
    uint64_t totalspace = 0, freespace = 0, totalspaceused = 0, totalreserved = 0;
};

// The labels and the caption for the current sources (sizes through FormatSize).
TSpaceSummary UpdateSpaceSummary(const TSpaceSummaryInput& in);

// The dump command's progress line with its once-a-second throttle.
class TDumpProgress {
public:
    TNumberFormat Numbers; // separators of the MiB figures

    // Returns true and sets text when the line should be shown now: at 100 %, when the
    // percentage rose above the last shown one, or when the last update is a second old.
    // written and total are bytes; now is any date-time clock (NowUtc()).
    bool Update(int percent, int64_t written, int64_t total, TDateTime now, std::u16string& text);
    int LastPercent() const { return FLastPercent; }

private:
    int FLastPercent = -1;
    TDateTime FLastUpdate = 0;
};

// "Dumping MFT file 42% (1,234.5/2,939.0 MB)": always one decimal for the MiB figures.
std::u16string DumpProgressText(int percent, int64_t written, int64_t total,
                                const TNumberFormat& nf);

} // namespace qz
