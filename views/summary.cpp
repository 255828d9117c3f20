#include "views/summary.h"

#include "base/text.h"
#include "views/format.h"

namespace qz {

namespace {

std::u16string Tr(const char* english) {
    return Utf8ToUtf16(tr(english));
}

std::u16string Trim(std::u16string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && s[b] <= u' ') ++b;
    while (e > b && s[e - 1] <= u' ') --e;
    return std::u16string(s.substr(b, e - b));
}

// The bracketed part of a drive entry's text ("[X:]" of "[X:] name", "[/home]" of
// "[/home] sda2 (ext4)") and the description after it.
std::u16string DriveLabel(const std::u16string& entry) {
    const size_t close = entry.find(u"] ");
    if (entry.empty() || entry[0] != u'[' || close == std::u16string::npos) return entry;
    return entry.substr(0, close + 1);
}
std::u16string DriveDescription(const std::u16string& entry) {
    const size_t close = entry.find(u"] ");
    if (entry.empty() || entry[0] != u'[' || close == std::u16string::npos) return {};
    return entry.substr(close + 2);
}

} // namespace

TSpaceSummary UpdateSpaceSummary(const TSpaceSummaryInput& in) {
    TSpaceSummary out;
    if (!in.HasEntry) {
        out.ClearViews = true;
        out.lblDriveSerial = in.PreviousDriveSerial;
        return out;
    }
    const std::u16string na = u"n/a";
    bool complete = true;
    std::u16string joined;
    for (const TDiskSizeInfo& d : in.DiskSizes) {
        out.totalspaceused += d.usedspace;
        joined += u"[" + d.itempath + u"] ";
        if (!d.hastotalandfreespace) {
            complete = false;
            continue;
        }
        out.totalspace += d.totalspace;
        out.freespace += d.freespace;
        out.totalreserved += d.reservedspace;
    }
    if (Trim(joined) == u"[]") joined = u"[" + in.PreviousDriveSerial + u"]";
    out.lblDriveSerial = joined;
    out.Caption = joined + u" - Quarzel";

    if (complete) {
        // Reserved space counts as used. Free space above the capacity (inconsistent figures)
        // must not wrap around.
        out.totalspaceused = out.totalspace >= out.freespace ? out.totalspace - out.freespace : 0;
        out.lblTotalSpace = FormatSize(out.totalspace, in.Format);
        out.lblSpaceUsed = FormatSize(out.totalspaceused, in.Format);
        out.lblSpaceFree = FormatSize(out.freespace, in.Format);
        if (out.totalspace == 0) {
            out.lblSpaceUsedPerc = na;
            out.lblSpaceFreePerc = na;
            out.lblReservedSpace = na;
        } else {
            out.lblSpaceUsedPerc =
                FormatPercentSummary(Percentage(out.totalspaceused, out.totalspace), in.Format);
            out.lblSpaceFreePerc =
                FormatPercentSummary(Percentage(out.freespace, out.totalspace), in.Format);
            out.lblReservedSpace =
                out.totalreserved == 0 ? na : FormatSize(out.totalreserved, in.Format);
        }
    } else {
        out.lblTotalSpace = na;
        out.lblSpaceUsed = FormatSize(out.totalspaceused, in.Format);
        out.lblSpaceFree = na;
        out.lblSpaceUsedPerc.clear();
        out.lblSpaceFreePerc.clear();
        out.lblReservedSpace = na;
        out.totalspace = out.freespace = out.totalreserved = 0;
    }

    auto asNoCapacity = [&] {
        out.lblTotalSpace = na;
        out.lblSpaceUsed = na;
        out.lblSpaceFree = na;
        out.lblSpaceUsedPerc.clear();
        out.lblSpaceFreePerc.clear();
        if (in.rootmft)
            out.lblSpaceUsed = FormatSize(in.rootmft->SubFoldersTotSizeAlloc, in.Format);
    };
    switch (in.Kind) {
    case TSummaryKind::Folder:
        out.lblDriveSerial = in.CurrentDrive;
        out.lblDrive = u"<" + Tr("Folder") + u">";
        break;
    case TSummaryKind::MFTFile:
        out.lblDriveSerial = in.CurrentDrive;
        out.lblDrive = u"<" + Tr("MFT File") + u">";
        asNoCapacity();
        break;
    case TSummaryKind::CSVFile:
        out.lblDriveSerial = in.CurrentDrive;
        out.lblDrive = u"<" + Tr("CSV File") + u">";
        if (!in.FirstScanCSVHasSpace) asNoCapacity();
        break;
    case TSummaryKind::Subst:
    case TSummaryKind::Network:
        out.lblDrive = DriveLabel(in.EntryText);
        if (!in.SubstOrNetworkTarget.empty()) out.lblDriveSerial = in.SubstOrNetworkTarget;
        break;
    case TSummaryKind::Multiple:
        out.lblDrive = u"<" + Tr("Multiple") + u">";
        break;
    case TSummaryKind::Drive:
        out.lblDrive = DriveLabel(in.EntryText);
        out.lblDriveSerial = DriveDescription(in.EntryText);
        break;
    }
    return out;
}

std::u16string DumpProgressText(int percent, int64_t written, int64_t total,
                                const TNumberFormat& nf) {
    std::u16string s = Tr("Dumping MFT file");
    s += u" " + AsciiToUtf16(std::to_string(percent)) + u"% (";
    s += FormatNumber(double(written) / 1048576.0, 1, nf) + u"/" +
         FormatNumber(double(total) / 1048576.0, 1, nf);
    s += u" " + Tr("MB") + u")";
    return s;
}

bool TDumpProgress::Update(int percent, int64_t written, int64_t total, TDateTime now,
                           std::u16string& text) {
    const double oneSecond = 1.0 / 86400.0;
    if (percent != 100 && percent <= FLastPercent && now - FLastUpdate < oneSecond) return false;
    FLastPercent = percent;
    FLastUpdate = now;
    text = DumpProgressText(percent, written, total, Numbers);
    return true;
}

} // namespace qz
