#include "export/csv_export_rows.h"

#include "base/text.h"
#include "engine/tree.h"

#include <charconv>
#include <cmath>

namespace qz {

namespace {
// The drive's used bytes: what is neither free nor (where it is counted apart) reserved.
uint64_t DriveUsedSpace(const TDiskSizeInfo& d) {
    uint64_t notUsed = d.freespace;
    if (d.reservedoutsidefree) notUsed += d.reservedspace;
    return d.totalspace >= notUsed ? d.totalspace - notUsed : 0;
}
} // namespace

TCsvRowFormatter::TCsvRowFormatter(const TExportOptions& o, char sep, bool percentByAlloc,
                                   int decimals)
    : FRecNo(o.ExportMFTNo), FDates(o.ExportDates), FFolderSizes(o.ExportFolderSize),
      FSplit(o.SplitFileNames), FPercent(o.PercentOfParent), FCapacity(o.ExportDriveSize),
      FSep(sep), FByAlloc(percentByAlloc), FDecimals(decimals < 0    ? 0
                                                     : decimals > 20 ? 20
                                                                     : decimals) {}

void TCsvRowFormatter::AppendHeader(std::string& out) const {
    bool first = true;
    auto title = [&](const char* t) {
        if (!first) out.push_back(FSep);
        first = false;
        out.append(t);
    };
    for (const char* t : kCsvBaseTitles) title(tr(t));
    if (FRecNo) title(kTitleRecNo), title(kTitleParentRecNo);
    if (FDates) title(kTitleLastAccess), title(kTitleCreated);
    if (FFolderSizes) title(kTitleFolderSize), title(kTitleFolderAlloc);
    if (FSplit)
        title(kTitleRoot), title(kTitleFolderName), title(kTitleFileName), title(kTitleFileExt);
    if (FPercent) title(kTitlePercent);
    if (FCapacity)
        title(kTitleDriveCapacity), title(kTitleFreeSpace), title(kTitleUsedSpace),
            title(kTitleReservedSpace);
    out.append("\r\n");
}

void TCsvRowFormatter::AppendNumber(std::string& out, uint64_t v) const {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.push_back(FSep);
    out.append(buf, size_t(r.ptr - buf));
}

void TCsvRowFormatter::AppendDate(std::string& out, TDateTime utc) {
    out.push_back(FSep);
    const size_t at = out.size();
    out.resize(at + kCsvDateLength);
    out.resize(at + FormatCsvDate(utc, FTime, out.data() + at));
}

void TCsvRowFormatter::AppendFolderPath(PMFT_RECORD folder, std::u16string& out) {
    FChain.clear();
    for (PMFT_RECORD p = folder; p; p = p->ParentMFTRec) FChain.push_back(p);
    PMFT_RECORD top = FChain.back();
    FPrefixSep = top->Filename && top->Filename[0] == u'/' ? u'/' : u'\\';
    for (size_t i = FChain.size(); i-- > 0;) {
        // The root is named by its path; the names below it are written as the separator
        // needs.
        const std::u16string_view n = i + 1 == FChain.size()
                                          ? FChain[i]->Name()
                                          : CsvPathName(FChain[i]->Name(), FPrefixSep, FName16);
        out.append(n);
        if (n.empty() || n.back() != FPrefixSep) out.push_back(FPrefixSep);
    }
}

double TCsvRowFormatter::PercentOfParent(PMFT_RECORD rec, PMFT_RECORD folderRec, bool byAlloc) {
    if (!folderRec) return 100;
    const uint64_t own = rec->DoNotCountFlag
                             ? (byAlloc ? rec->AllocSize : rec->FileSize)
                             : (byAlloc ? rec->SubFoldersTotSizeAlloc : rec->SubFoldersTotSize);
    const uint64_t parent =
        byAlloc ? folderRec->SubFoldersTotSizeAlloc : folderRec->SubFoldersTotSize;
    if (parent == 0) return 0;
    return double(own) / double(parent) * 100.0;
}

TCsvRowFormatter::TSplitName TCsvRowFormatter::SplitName(std::u16string_view p, char16_t sep,
                                                         bool noSuffix) {
    TSplitName s;
    std::u16string_view rest = p;
    if (p.size() >= 2 && p[1] == u':') {
        // A drive path: the root is the letter, the colon and the first backslash.
        const size_t k = p.find(u'\\', 2);
        if (k != std::u16string_view::npos) {
            s.Root = p.substr(0, k + 1);
            rest = p.substr(k + 1);
        }
    } else if (sep == u'/' && !p.empty() && p[0] == u'/') {
        s.Root = u"/";
        rest = p.substr(1);
    } else if (p.size() > 2 && p[0] == u'\\' && p[1] == u'\\') {
        // A network path: the root is \\server\share\ .
        const size_t k1 = p.find(u'\\', 2);
        const size_t k2 = k1 == std::u16string_view::npos ? k1 : p.find(u'\\', k1 + 1);
        if (k2 != std::u16string_view::npos) {
            s.Root = p.substr(0, k2 + 1);
            rest = p.substr(k2 + 1);
        } else {
            s.Root = p;
            rest = {};
        }
    }
    const size_t cut = rest.rfind(sep);
    if (cut == std::u16string_view::npos) {
        s.FileName = rest;
    } else {
        s.FolderName = rest.substr(0, cut);
        s.FileName = rest.substr(cut + 1);
    }
    if (noSuffix) {
        const size_t dot = s.FileName.rfind(u'.');
        if (dot != std::u16string::npos) {
            s.FileExt = s.FileName.substr(dot + 1);
            s.FileName.resize(dot);
        }
    }
    return s;
}

void TCsvRowFormatter::AppendRow(std::string& out, PMFT_RECORD rec, PMFT_RECORD folderRec,
                                 const TDiskSizeInfo* capacity) {
    const bool folder = IsFolderLike(rec);
    const std::u16string_view name = rec->Name();

    // Path column.
    char16_t sep;
    char16_t suffix = 0;
    out.push_back('"');
    std::u16string_view pathName = name; // the name as the path column holds it
    if (PMFT_RECORD parent = rec->ParentMFTRec) {
        if (parent != FPrefixParent) {
            FPrefixParent = parent;
            FPrefix16.clear();
            AppendFolderPath(parent, FPrefix16);
            FPrefix.clear();
            AppendCsvEscaped(FPrefix, FPrefix16);
        }
        sep = FPrefixSep;
        pathName = CsvPathName(name, sep, FName16);
        out.append(FPrefix);
        AppendCsvEscaped(out, pathName);
        if (folder) {
            if (pathName.empty() || pathName.back() != sep) suffix = sep;
        } else if (CsvFileNameGetsDot(name)) {
            suffix = u'.';
        }
    } else {
        FPath16.clear();
        AppendRecordPath(rec, FPath16);
        sep = PathSeparatorOf(rec);
        AppendCsvEscaped(out, FPath16);
        if (folder) {
            if (FPath16.empty() || FPath16.back() != sep) suffix = sep;
        } else if (CsvFileNameGetsDot(name)) {
            suffix = u'.';
        }
    }
    if (suffix) out.push_back(char(suffix));
    out.push_back('"');

    // Base fields.
    AppendNumber(out, rec->SubFoldersTotSize);
    out.push_back(FSep);
    if (rec->DoNotCountFlag) out.push_back('0');
    {
        char buf[24];
        auto r = std::to_chars(buf, buf + sizeof buf, rec->SubFoldersTotSizeAlloc);
        out.append(buf, size_t(r.ptr - buf));
    }
    AppendDate(out, rec->ModifiedDate);
    AppendNumber(out, rec->DOSAttrib);
    AppendNumber(out, uint64_t(uint32_t(std::max(rec->SubFoldersNumFiles(), 0))));
    AppendNumber(out, uint64_t(uint32_t(std::max(rec->SubFoldersNumDirs(), 0))));

    // Option groups.
    if (FRecNo) {
        AppendNumber(out, rec->RecNo);
        AppendNumber(out, rec->ParentMFTRec ? uint64_t(rec->ParentMFTRec->RecNo) : 0);
    }
    if (FDates) {
        AppendDate(out, rec->LastAccessDate);
        AppendDate(out, rec->CreatedDate);
    }
    if (FFolderSizes) {
        AppendNumber(out, rec->ThisFolderTotSize());
        AppendNumber(out, rec->ThisFolderTotSizeAlloc());
    }
    if (FSplit) {
        std::u16string_view path;
        if (rec->ParentMFTRec) {
            FPath16.assign(FPrefix16);
            FPath16.append(pathName);
        }
        path = FPath16;
        const TSplitName s = SplitName(path, sep, suffix == 0);
        for (const std::u16string* f : {&s.Root, &s.FolderName, &s.FileName, &s.FileExt}) {
            out.push_back(FSep);
            AppendCsvQuoted(out, *f);
        }
    }
    if (FPercent) {
        double v = PercentOfParent(rec, folderRec, FByAlloc);
        if (!std::isfinite(v)) v = 0;
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, FDecimals);
        out.push_back(FSep);
        out.append(buf, size_t(r.ptr - buf));
    }
    if (FCapacity && capacity) {
        AppendNumber(out, capacity->totalspace);
        AppendNumber(out, capacity->freespace);
        AppendNumber(out, DriveUsedSpace(*capacity));
        AppendNumber(out, capacity->reservedspace);
    }
    out.append("\r\n");
}

} // namespace qz
