// The file list: a flat list of the files (optionally folders) of all scans in the order of
// one column, limited to the first N matches of a search written in the filter language, with
// duplicate files marked and each file's copies listed beneath it.
//
// Each scan's records are sorted per ordering into a list kept by the file list (the scans'
// own FFileList and its record-number index are left untouched), only as far as the rows
// shown need, and the scans are merged as TSortedMulti merges them: only the rows shown are
// materialised. Rows are TTreeNodes of
// depth 0 whose Data.Rec is the record; a duplicate's copies are its children (depth 0 too).
#pragma once

#include "engine/duplicates.h"
#include "engine/scan.h"
#include "filters/filters.h"
#include "views/displaytree.h"
#include "views/viewnodes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qz {

class TFileSearch;
class TSortedFileLists;

// Columns of the file list.
enum TFileColumn : int {
    fcName = 0,
    fcPercent = 1,
    fcSize = 2,
    fcModified = 3,
    fcAttributes = 4,
    fcAllocated = 5,
    fcPath = 6,
    fcDupCount = 7,
    fcDupSize = 8,
    fcCount = 9
};

using TRecordCompare = int (*)(PMFT_RECORD, PMFT_RECORD);

// The record ordering and the reversed flag for a column and the header's direction
// (columns 0, 4 and 6 are reversed when the header says descending, the others when it says
// ascending).
struct TFileListOrder {
    TRecordCompare Compare = nullptr;
    bool Reversed = false;
};
TFileListOrder FileListOrder(int column, TSortDirection headerDirection);

// Merge cursor over several sorted record lists (one per scan): each GetTopRecord returns the
// smallest current record (the largest when reversed; ties go to the earlier list) and moves
// past it.
class TSortedMulti {
public:
    TSortedMulti(std::vector<std::span<const PMFT_RECORD>> lists, bool reversed,
                 TRecordCompare compare);
    // False when every list is exhausted.
    bool GetTopRecord(int& listIndex, int64_t& position);

private:
    std::vector<std::span<const PMFT_RECORD>> FLists;
    std::vector<int64_t> CurrentIndex;
    TRecordCompare FSortFunction;
    bool FReversed;
};

// A run of characters to highlight (in UTF-16 units of the text given).
struct TMatchRange {
    size_t Start = 0;
    size_t Length = 0;
};

// The search bar's settings.
struct TFileListOptions {
    int MaxFiles = 1000;          // 0 = no limit ("ALL"); setting "maxfiles"
    bool MatchEntirePath = false; // "Match entire path" (else "Match file name only")
    bool IncludeFolders = false;  // "Folders"
    int DupMethod = 0;            // 0 none, 1 name and size, 2 name, size and date
    bool DuplicatesOnly = false;  // applies only with a duplicate method
    std::u16string SearchText;
};

// The entries of "Max files to display" and the fall-back for a stored value.
std::span<const int> MaxFilesChoices(); // 0 (ALL), 100, 1000, 10000, 100000
int ValidMaxFiles(int stored);          // not one of the choices: 1000
int ValidDupMethod(int stored);         // out of 0..2: 0

class TFileList : public TViewNodes {
public:
    TFileList();
    ~TFileList() override;

    TFileListOptions Options;
    // How the cell and status texts format sizes, numbers and dates.
    TFormatSettings Format;

    // Rebuilds the rows from the scans: locates duplicates when the method changed, parses
    // the search, merges the scans' sorted lists and keeps the first MaxFiles matches.
    // cancel is polled every 10000 records (a partial list stays) and by the duplicate pass;
    // dupProgress reports the duplicate pass. Returns false when cancelled.
    //
    // Reads the records only, apart from the duplicate pass (which writes their groups), so a
    // load may run on another thread into a list of its own while this thread shows another
    // list; a load that regroups must not run while anything else shows the groups.
    bool LoadFileList(std::span<TNTFS_FILES* const> scans, const std::function<bool()>& cancel = {},
                      const TDupProgress& dupProgress = {});
    // Takes over other's options, sort and cell settings and its sorted lists (which other
    // then no longer has): a list loaded in the background continues where the shown one is.
    void TakeSettingsFrom(TFileList& other);
    // True when loading with the current options regroups the duplicates of scans.
    bool WillRegroup(std::span<TNTFS_FILES* const> scans) const;
    // Removes the rows and forgets the sorted lists (which point into the scans): call it,
    // or Invalidate, before the scans are freed or replaced.
    void Clear() override;
    // (Re)builds the duplicate groups of all scans when method (1 name and size, 2 also date)
    // differs from the one the first scan records (nil and failed scans passed over); records
    // it there. That scan's cancel flag, or cancel, stops the pass; a stopped pass records
    // no method, so the next call groups again. Returns true when it regrouped.
    static bool LocateDuplicates(std::span<TNTFS_FILES* const> scans, int method,
                                 const TDupProgress& progress = {},
                                 const std::function<bool()>& cancel = {});
    // The list was loaded since the last Invalidate.
    bool Loaded() const { return FLoaded; }
    // A new scan or a filter application: the list must be loaded again, and the sorted
    // lists kept between loads (record pointers, orders by totals) are dropped.
    void Invalidate();

    // What is wrong in the search text, or the expressions the load gave up on (empty when
    // nothing): the filter language's message, and the error itself for its position.
    const std::string& SearchError() const { return FSearchError; }
    const std::vector<TFilterError>& SearchErrors() const { return FSearchErrors; }

    // ---- sorting (initially "Allocated", descending)
    int SortColumn() const { return FSortColumn; }
    TSortDirection SortDirection() const { return FSortDirection; }
    // Header click: toggles or starts the column ("File Name", "Attributes", "Path" start
    // ascending). With a limit the caller reloads (returns true); with no limit the rows are
    // re-sorted in place (returns false).
    bool HeaderClick(int column);
    void SetSort(int column, TSortDirection direction);

    // ---- totals of the rows (copies beneath rows excluded)
    int64_t TotFilesNum = 0;
    uint64_t TotFilesSize = 0;
    uint64_t TotFilesAlloc = 0;
    // "(1,000 files  Total Size: 1.2 GB  Allocated: 1.3 GB)"; empty when the list is empty.
    std::u16string TotalsText() const;
    // Selection status: count = selected rows, sums of their subtree totals; rows of deleted
    // records are left out.
    std::u16string SelectionStatusText() const;

    // ---- cells
    // Totals of all scans ("Percent of Drive" divides by these; rootmftmulti).
    void SetDriveTotals(uint64_t size, uint64_t alloc) {
        FDriveSize = size;
        FDriveAlloc = alloc;
    }
    double PercentOfDrive(const TTreeNode* n) const;
    std::u16string CellText(const TTreeNode* n, int column) const;
    static bool CellDisabled(const TTreeNode* n, int column);
    bool DuplicateColumnsShown() const { return Options.DupMethod != 0; }

    // The parts of text (a name or a path) that the search matched: regular-expression
    // terms' first match, then every occurrence of the literal fragments (case-folded).
    std::vector<TMatchRange> HighlightMatches(std::u16string_view text) const;
    // The ranges to highlight in a row's cell text (CellText): column 0 its name; column 6
    // its path, all of it when paths were matched, else only the name at its end.
    std::vector<TMatchRange> HighlightCell(const TTreeNode* n, int column) const;

protected:
    void MakeChildren(TTreeNode* n) override;
    bool MayHaveChildren(const TTreeNode* n) const override;

private:
    void ResortInPlace();
    void ClearRows();

    int FSortColumn = fcAllocated;
    TSortDirection FSortDirection = TSortDirection::Descending;
    bool FLoaded = false;
    bool FShowCopies = false;
    bool FMatchedPaths = false; // the last load matched full paths
    uint64_t FDriveSize = 0, FDriveAlloc = 0;
    std::string FSearchError;
    std::vector<TFilterError> FSearchErrors;
    std::unique_ptr<TFileSearch> FSearch;
    std::unique_ptr<TSortedFileLists> FSorted;
};

// The history of a search or filter box: at most 20 texts, newest first.
class TSearchHistory {
public:
    static constexpr size_t kMaxEntries = 20;
    // Texts that differ only in ASCII case are the same entry (the filter boxes); otherwise
    // (the search box) only equal texts are.
    bool IgnoreCase = false;
    // Leaving the search edit: the text is normalised and trimmed; a new non-empty text goes
    // to the top (the oldest falls off past 20), a known one moves to the top.
    void Add(std::u16string_view text);
    // Picking an entry moves it to the top and returns its text.
    std::u16string Pick(size_t index);
    void Clear() { FItems.clear(); }
    const std::vector<std::u16string>& Items() const { return FItems; }
    void SetItems(std::vector<std::u16string> items); // from the settings (cut to 20)

private:
    std::vector<std::u16string> FItems;
};

} // namespace qz
