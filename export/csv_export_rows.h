// The lines of a CSV/TSV export: the header and one row per record, in the file format the
// CSV/TSV reader (sources/csv_import.h) reads back.
//
// A row is: the quoted full path (a folder's ends with the separator, a file whose name has no
// "." gets one, see CsvFileNameGetsDot; a "\\" inside a name of a "\\" path is written "/", see
// CsvPathName), size, allocated size (a "0" in front marks an additional hard-link name),
// modified date in local time (empty when unknown), attributes, files, folders, then
// the enabled option groups in fixed order: record numbers, extra dates, own folder sizes,
// split names, percent of parent, drive capacity (only on a source root's row, when its
// figures are known). Numbers are plain decimals, percentages use "." whatever the locale.
#pragma once

#include "engine/types.h"
#include "export/export_options.h"
#include "sources/csv_import_format.h"

#include <string>
#include <vector>

namespace qz {

class TCsvRowFormatter {
public:
    // sep: ',' or '\t'. percentByAlloc: the percentage compares allocated sizes (the tree view
    // is sorted by its Allocated column), else sizes. decimals: digits of the percentage.
    TCsvRowFormatter(const TExportOptions& options, char sep, bool percentByAlloc, int decimals);

    void AppendHeader(std::string& out) const;
    // One row, CR LF included. folderRec: the folder that contains the item in the view (nil
    // for a root). capacity: the source's figures for a root row, else nil.
    void AppendRow(std::string& out, PMFT_RECORD rec, PMFT_RECORD folderRec,
                   const TDiskSizeInfo* capacity);

    // The split-name fields of a path (without the suffix); noSuffix: the path column got none.
    struct TSplitName {
        std::u16string Root, FolderName, FileName, FileExt;
    };
    static TSplitName SplitName(std::u16string_view path, char16_t sep, bool noSuffix);
    // A record's share of its containing folder, as the export computes it.
    static double PercentOfParent(PMFT_RECORD rec, PMFT_RECORD folderRec, bool byAlloc);

private:
    void AppendNumber(std::string& out, uint64_t v) const;
    void AppendDate(std::string& out, TDateTime utc);
    // The path of a folder with a trailing separator (FPrefixSep is set to it), names written
    // as the path column holds them.
    void AppendFolderPath(PMFT_RECORD folder, std::u16string& out);

    bool FRecNo, FDates, FFolderSizes, FSplit, FPercent, FCapacity;
    char FSep;
    bool FByAlloc;
    int FDecimals;
    TLocalTimeCache FTime;
    // The path of the last parent seen: rows of one folder follow each other.
    PMFT_RECORD FPrefixParent = nullptr;
    std::u16string FPrefix16; // its path with the separator
    std::string FPrefix;      // the same, escaped UTF-8
    char16_t FPrefixSep = u'\\';
    std::u16string FPath16;
    std::u16string FName16;          // a name with its separators replaced
    std::vector<PMFT_RECORD> FChain; // a folder and its ancestors
};

// Records shown as folders: folder records and anything that has children.
inline bool IsFolderLike(PMFT_RECORD r) {
    return r->IsFolder() || !r->Children().empty();
}

} // namespace qz
