#include "views/filelist.h"

#include "base/text.h"
#include "engine/collation.h"
#include "engine/tree.h"
#include "views/filesearch.h"
#include "views/format.h"
#include "views/recordsort.h"

#include <algorithm>
#include <cmath>

namespace qz {

namespace {

std::u16string Tr(const char* english) {
    return Utf8ToUtf16(tr(english));
}

bool IsDirLike(PMFT_RECORD r) {
    return r->IsFolder() || !r->Children().empty();
}

uint64_t SaturatingMul(uint64_t a, uint64_t b) {
    unsigned __int128 p = (unsigned __int128)a * b;
    return p > UINT64_MAX ? UINT64_MAX : uint64_t(p);
}

} // namespace

// ---------------------------------------------------------------- orderings

TFileListOrder FileListOrder(int column, TSortDirection dir) {
    TFileListOrder o;
    switch (column) {
    case fcName:
        o.Compare = &CompareByName;
        break;
    case fcModified:
        o.Compare = &CompareByModified;
        break;
    case fcAttributes:
        o.Compare = &CompareByAttributes;
        break;
    case fcAllocated:
        o.Compare = &CompareByAllocated;
        break;
    case fcPath:
        o.Compare = &CompareBySortIndex;
        break;
    case fcDupCount:
        o.Compare = &CompareByDupCount;
        break;
    case fcDupSize:
        o.Compare = &CompareByDupSize;
        break;
    default:
        o.Compare = &CompareBySize;
        break;
    }
    const bool ascNatural = column == fcName || column == fcAttributes || column == fcPath;
    o.Reversed = ascNatural ? dir == TSortDirection::Descending : dir == TSortDirection::Ascending;
    return o;
}

TSortedMulti::TSortedMulti(std::vector<std::span<const PMFT_RECORD>> lists, bool reversed,
                           TRecordCompare compare)
    : FLists(std::move(lists)), CurrentIndex(FLists.size()), FSortFunction(compare),
      FReversed(reversed) {
    for (size_t i = 0; i < FLists.size(); ++i)
        CurrentIndex[i] = reversed ? int64_t(FLists[i].size()) - 1 : 0;
}

bool TSortedMulti::GetTopRecord(int& listIndex, int64_t& position) {
    int best = -1;
    PMFT_RECORD bestRec = nullptr;
    for (size_t i = 0; i < FLists.size(); ++i) {
        const int64_t p = CurrentIndex[i];
        if (p < 0 || p >= int64_t(FLists[i].size())) continue;
        PMFT_RECORD r = FLists[i][size_t(p)];
        if (best < 0) {
            best = int(i);
            bestRec = r;
            continue;
        }
        const int c = FSortFunction(r, bestRec);
        if (FReversed ? c > 0 : c < 0) {
            best = int(i);
            bestRec = r;
        }
    }
    if (best < 0) return false;
    listIndex = best;
    position = CurrentIndex[size_t(best)];
    CurrentIndex[size_t(best)] += FReversed ? -1 : 1;
    return true;
}

// Per-scan lists in reading order for the current ordering, kept until the scans or the
// ordering change.
class TSortedFileLists {
public:
    void SortFileLists(std::span<TNTFS_FILES* const> scans, TRecordCompare compare, bool reversed) {
        bool same = compare == FLast && reversed == FReversed && scans.size() == FScans.size();
        for (size_t i = 0; same && i < scans.size(); ++i)
            same = scans[i] == FScans[i] && (!scans[i] || scans[i]->FFileList.size() == FSizes[i]);
        if (same) return;
        FScans.assign(scans.begin(), scans.end());
        FSizes.assign(scans.size(), 0);
        FLists.clear();
        FLists.resize(scans.size());
        std::vector<PMFT_RECORD> recs;
        for (size_t i = 0; i < scans.size(); ++i) {
            recs.clear();
            if (scans[i] && !scans[i]->WasError) { // a failed scan shows nothing
                FSizes[i] = scans[i]->FFileList.size();
                recs.reserve(FSizes[i]);
                for (PMFT_RECORD r : scans[i]->FFileList)
                    if (r) recs.push_back(r);
            }
            FLists[i].Reset(recs, compare, reversed);
        }
        FLast = compare;
        FReversed = reversed;
    }
    std::vector<TLazySortedRecords>& Lists() { return FLists; }
    // Lists were sorted for some ordering (and not cleared since).
    bool Valid() const { return FLast != nullptr; }
    void Clear() {
        FScans.clear();
        FSizes.clear();
        FLists.clear();
        FLast = nullptr;
    }

private:
    std::vector<const TNTFS_FILES*> FScans;
    std::vector<size_t> FSizes;
    std::vector<TLazySortedRecords> FLists;
    TRecordCompare FLast = nullptr;
    bool FReversed = false;
};

// ---------------------------------------------------------------- options

std::span<const int> MaxFilesChoices() {
    static const int kChoices[] = {0, 100, 1000, 10000, 100000};
    return kChoices;
}

int ValidMaxFiles(int stored) {
    for (int c : MaxFilesChoices())
        if (c == stored) return stored;
    return 1000;
}

int ValidDupMethod(int stored) {
    return stored >= 0 && stored <= 2 ? stored : 0;
}

// ---------------------------------------------------------------- the list

TFileList::TFileList()
    : FSearch(std::make_unique<TFileSearch>()), FSorted(std::make_unique<TSortedFileLists>()) {}
TFileList::~TFileList() = default;

void TFileList::ClearRows() {
    TViewNodes::Clear();
    TotFilesNum = 0;
    TotFilesSize = 0;
    TotFilesAlloc = 0;
}

void TFileList::Clear() {
    ClearRows();
    FSorted->Clear();
    FLoaded = false;
}

void TFileList::Invalidate() {
    FLoaded = false;
    FSorted->Clear();
}

bool TFileList::MayHaveChildren(const TTreeNode* n) const {
    if (!FShowCopies || n->Parent) return false;
    const TDUPFILES* g = DupGroupOf(n->Data.Rec);
    return g && g->dupcount > 0;
}

void TFileList::MakeChildren(TTreeNode* n) {
    if (!MayHaveChildren(n)) return;
    PMFT_RECORD r = n->Data.Rec;
    const TDUPFILES* g = DupGroupOf(r);
    // The group's vector keeps members that left it since (their records may be gone); only
    // current members count.
    size_t count = 0;
    for (PMFT_RECORD m : g->dupfiles) count += m && m != r && DupGroupOf(m) == g && !m->Filtered;
    n->Kids = NewKidArray(count);
    for (PMFT_RECORD m : g->dupfiles) {
        if (!m || m == r || DupGroupOf(m) != g || m->Filtered) continue;
        TTreeNode* c = NewNode(n);
        c->Data.Rec = m;
        n->Kids[n->KidCount++] = c;
    }
}

namespace {
// The first scan on screen: it records the method its groups were built with.
TNTFS_FILES* FirstScan(std::span<TNTFS_FILES* const> scans) {
    for (auto* s : scans)
        if (s && !s->WasError) return s;
    return nullptr;
}
} // namespace

// All records of all scans in the duplicate order (ties: the earlier scan first), then the
// engine's grouping pass.
bool TFileList::LocateDuplicates(std::span<TNTFS_FILES* const> scans, int method,
                                 const TDupProgress& progress,
                                 const std::function<bool()>& cancel) {
    TNTFS_FILES* first = FirstScan(scans);
    if (!first || method == 0 || first->DuplicatesLocatedMethod == method) return false;
    // Until the pass is complete no method is recorded: a stopped pass leaves groups of mixed
    // origin, which the next call rebuilds.
    first->DuplicatesLocatedMethod = 0;
    std::vector<PMFT_RECORD> all;
    size_t total = 0;
    for (auto* s : scans)
        if (s && !s->WasError) total += s->FFileList.size();
    all.reserve(total);
    for (auto* s : scans)
        if (s && !s->WasError)
            for (PMFT_RECORD r : s->FFileList)
                if (r) all.push_back(r);
    auto stopped = [first, &cancel] { return first->Cancelled() || (cancel && cancel()); };
    if (stopped()) return false;
    SortRecordsFast(all, &CompareForDuplicates);
    if (stopped()) return false;
    GroupDuplicatesSorted(*first, all, method, stopped, progress);
    if (stopped()) return false;
    first->DuplicatesLocatedMethod = uint8_t(method);
    return true;
}

bool TFileList::WillRegroup(std::span<TNTFS_FILES* const> scans) const {
    const int method = ValidDupMethod(Options.DupMethod);
    TNTFS_FILES* first = FirstScan(scans);
    return first && method != 0 && first->DuplicatesLocatedMethod != method;
}

void TFileList::TakeSettingsFrom(TFileList& other) {
    if (&other == this) return;
    Options = other.Options;
    Format = other.Format;
    FSortColumn = other.FSortColumn;
    FSortDirection = other.FSortDirection;
    FDriveSize = other.FDriveSize;
    FDriveAlloc = other.FDriveAlloc;
    if (other.FSorted->Valid()) {
        std::swap(FSorted, other.FSorted);
        other.FSorted->Clear();
    }
}

namespace {
// One line for the user about what is wrong in a search text: an expression that does not
// compile, or one that the search gave up on.
std::string SearchErrorText(const TFilterError& e, bool givenUp) {
    if (e.kind == TFilterErrorKind::UnclosedQuote || e.kind == TFilterErrorKind::EmptyNegation)
        return FilterErrorText(e); // not an expression: the filter parser's own words
    std::string s = tr(givenUp ? "Regular expression given up" : "Invalid regular expression");
    if (!e.term.empty()) s += " " + Utf16ToUtf8(e.term);
    if (!e.message.empty()) s += ": " + e.message;
    return s;
}
} // namespace

bool TFileList::LoadFileList(std::span<TNTFS_FILES* const> scans,
                             const std::function<bool()>& cancel, const TDupProgress& dupProgress) {
    ClearRows();
    FLoaded = false;
    const int dupMethod = ValidDupMethod(Options.DupMethod);
    FSearchError.clear();
    FSearchErrors.clear();
    if (dupMethod != 0) {
        LocateDuplicates(scans, dupMethod, dupProgress, cancel);
        if (cancel && cancel()) return false;
    }
    FShowCopies = dupMethod != 0;

    std::u16string text = Options.SearchText;
    if (Options.DuplicatesOnly && dupMethod != 0) text += u" =dup";
    FSearch->Parse(text, Options.MatchEntirePath, FSearchErrors);
    const bool listFolders = Options.IncludeFolders || FSearch->HasFoldersOnlyTerm();
    const bool fullPath = Options.MatchEntirePath || FSearch->ForcesFullPath();
    FMatchedPaths = fullPath;

    const TFileListOrder order = FileListOrder(FSortColumn, FSortDirection);
    FSorted->SortFileLists(scans, order.Compare, order.Reversed);
    auto& lists = FSorted->Lists();
    const int64_t limit = Options.MaxFiles > 0 ? Options.MaxFiles : 0;
    if (limit == 0)
        for (auto& l : lists) l.SortAll();
    bool cancelled = false;
    std::u16string scratch;
    // A name search is matched first over each scan's records in their stored order, which
    // reads memory in sequence; the merge below then skips what does not match by its list
    // position without touching the record. (Walking a million records in sorted order and
    // reading each one costs a cache miss per record, most of them for records that do not
    // match.) Path searches build a path per record and stay in the merge, where a limit
    // stops them early.
    std::vector<std::vector<uint8_t>> accepted;
    if (!FSearch->Empty() && !fullPath) {
        accepted.resize(lists.size());
        for (size_t i = 0; i < lists.size() && !cancelled; ++i) {
            if (lists[i].Size() == 0) continue;
            std::vector<uint8_t>& ok = accepted[i];
            ok.reserve(lists[i].Size());
            for (PMFT_RECORD r : scans[i]->FFileList) {
                if (!r) continue; // the sorted lists leave out the empty slots too
                if (ok.size() % 10000 == 0 && cancel && cancel()) {
                    cancelled = true;
                    break;
                }
                ok.push_back(!r->Filtered && (listFolders || !IsDirLike(r)) &&
                             FSearch->Matches(r, fullPath, scratch));
            }
        }
        // Positions that do not line up with a sorted list (its records changed since it was
        // built) leave the matching to the merge.
        for (size_t i = 0; i < lists.size() && !cancelled; ++i)
            if (accepted[i].size() != lists[i].Size()) {
                accepted.clear();
                break;
            }
    }
    // The merge: the scan whose next record reads first; ties go to the earlier scan.
    std::vector<size_t> next(lists.size(), 0);
    while (!cancelled) {
        int best = -1;
        const TLazySortedRecords::Item* bestItem = nullptr;
        for (size_t i = 0; i < lists.size(); ++i) {
            if (next[i] >= lists[i].Size()) continue;
            const TLazySortedRecords::Item& it = lists[i].ItemAt(next[i]);
            if (best < 0 || lists[i].Compare(it, *bestItem) < 0) {
                best = int(i);
                bestItem = &it;
            }
        }
        if (best < 0) break;
        const size_t pos = next[size_t(best)]++;
        if (pos % 10000 == 0 && cancel && cancel()) {
            cancelled = true;
            break;
        }
        if (!accepted.empty()) {
            if (!accepted[size_t(best)][bestItem->pos]) continue;
        } else {
            PMFT_RECORD r = bestItem->rec;
            if (r->Filtered) continue;
            if (!listFolders && IsDirLike(r)) continue;
            if (!FSearch->Matches(r, fullPath, scratch)) continue;
        }
        PMFT_RECORD r = bestItem->rec;
        TTreeNode* n = NewNode(nullptr);
        n->Data.Rec = r;
        n->Index = uint32_t(FRoots.size());
        FRoots.push_back(n);
        ++TotFilesNum;
        TotFilesSize += r->FileSize;
        TotFilesAlloc += r->AllocSize;
        if (limit > 0 && TotFilesNum >= limit) break;
    }
    const size_t parseErrors = FSearchErrors.size();
    FSearch->CollectGivenUp(FSearchErrors);
    if (!FSearchErrors.empty())
        FSearchError = SearchErrorText(FSearchErrors.front(), parseErrors == 0);
    FLoaded = true;
    return !cancelled;
}

// ---------------------------------------------------------------- sorting

void TFileList::SetSort(int column, TSortDirection direction) {
    if (column < 0 || column >= fcCount) return;
    FSortColumn = column;
    FSortDirection = direction;
}

bool TFileList::HeaderClick(int column) {
    if (column < 0 || column >= fcCount) return false;
    if (column == FSortColumn) {
        FSortDirection = FSortDirection == TSortDirection::Ascending ? TSortDirection::Descending
                                                                     : TSortDirection::Ascending;
    } else {
        FSortColumn = column;
        const bool asc = column == fcName || column == fcAttributes || column == fcPath;
        FSortDirection = asc ? TSortDirection::Ascending : TSortDirection::Descending;
    }
    if (Options.MaxFiles > 0) return true;
    ResortInPlace();
    return false;
}

void TFileList::ResortInPlace() {
    const int col = FSortColumn;
    const bool desc = FSortDirection == TSortDirection::Descending;
    auto byIndex = [](PMFT_RECORD a, PMFT_RECORD b) {
        return a->SortNameIndex < b->SortNameIndex ? -1 : a->SortNameIndex > b->SortNameIndex;
    };
    auto num = [](uint64_t a, uint64_t b) { return a < b ? -1 : a > b; };
    auto dupCount = [](PMFT_RECORD r) -> uint64_t {
        const TDUPFILES* g = DupGroupOf(r);
        return g ? uint64_t(g->dupcount) : 0;
    };
    auto cmp = [&](PMFT_RECORD a, PMFT_RECORD b) -> int {
        int c = 0;
        switch (col) {
        case fcName:
            c = CompareNames(a->Name(), b->Name());
            break;
        case fcPercent:
        case fcAllocated:
            c = num(a->SubFoldersTotSizeAlloc, b->SubFoldersTotSizeAlloc);
            break;
        case fcSize:
            c = num(a->SubFoldersTotSize, b->SubFoldersTotSize);
            break;
        case fcModified:
            c = a->ModifiedDate < b->ModifiedDate ? -1 : a->ModifiedDate > b->ModifiedDate;
            if (c == 0) c = CompareNames(a->Name(), b->Name());
            break;
        case fcAttributes:
            c = num(a->DOSAttrib, b->DOSAttrib);
            break;
        case fcDupCount:
            c = num(dupCount(a), dupCount(b));
            break;
        case fcDupSize:
            c = num(SaturatingMul(dupCount(a), a->SubFoldersTotSize),
                    SaturatingMul(dupCount(b), b->SubFoldersTotSize));
            break;
        default:
            break;
        }
        return c != 0 ? c : byIndex(a, b);
    };
    std::stable_sort(FRoots.begin(), FRoots.end(), [&](const TTreeNode* a, const TTreeNode* b) {
        return desc ? cmp(b->Data.Rec, a->Data.Rec) < 0 : cmp(a->Data.Rec, b->Data.Rec) < 0;
    });
    Renumber(FRoots.data(), FRoots.size());
}

// ---------------------------------------------------------------- texts

std::u16string TFileList::TotalsText() const {
    if (FRoots.empty()) return {};
    return u"(" + FormatCount(TotFilesNum, Format.Numbers) + u" " + Tr("files") + u"  " +
           Tr("Total Size") + u": " + FormatSize(TotFilesSize, Format) + u"  " + Tr("Allocated") +
           u": " + FormatSize(TotFilesAlloc, Format) + u")";
}

std::u16string TFileList::SelectionStatusText() const {
    if (SelectedCount() == 0) return {};
    int64_t count = 0;
    uint64_t size = 0, alloc = 0;
    for (const TTreeNode* n : FSelected) {
        if (!n->Selected()) continue;
        // Deleted items are gone from the disk: they count no more, as in the folder tree.
        if (n->Data.Rec->Deleted) continue;
        ++count;
        size += n->Data.Rec->SubFoldersTotSize;
        alloc += n->Data.Rec->SubFoldersTotSizeAlloc;
    }
    return Tr("Selected Files") + u": " + FormatCount(count, Format.Numbers) + u"  " +
           Tr("Total Size") + u": " + FormatSize(size, Format) + u"  " + Tr("Allocated") + u": " +
           FormatSize(alloc, Format);
}

double TFileList::PercentOfDrive(const TTreeNode* n) const {
    if (n->Data.Rec->Deleted) return 0;
    if (FSortColumn == fcSize) return Percentage(TDisplayTree::NodeSize(n), FDriveSize);
    return Percentage(TDisplayTree::NodeAlloc(n), FDriveAlloc);
}

bool TFileList::CellDisabled(const TTreeNode* n, int column) {
    return column == fcAllocated && n->Data.Rec->DoNotCountFlag;
}

std::u16string TFileList::CellText(const TTreeNode* n, int column) const {
    PMFT_RECORD r = n->Data.Rec;
    switch (column) {
    case fcName:
        return std::u16string(r->Name());
    case fcPercent:
        return FormatPercentCell(PercentOfDrive(n), Format);
    case fcSize:
        return FormatSize(TDisplayTree::NodeSize(n), Format);
    case fcModified:
        return FormatLocalDateTime(r->ModifiedDate, Format.Numbers);
    case fcAttributes:
        return AttributeLetters(r->DOSAttrib);
    case fcAllocated:
        if (r->DoNotCountFlag) return u"(" + FormatSize(TDisplayTree::NodeAlloc(n), Format) + u")";
        return FormatSize(TDisplayTree::NodeAlloc(n), Format);
    case fcPath:
        return GetRecordPath(r);
    case fcDupCount: {
        const TDUPFILES* g = DupGroupOf(r);
        return g ? AsciiToUtf16(std::to_string(g->dupcount)) : std::u16string();
    }
    case fcDupSize: {
        const TDUPFILES* g = DupGroupOf(r);
        return g ? FormatSize(SaturatingMul(uint64_t(g->dupcount), r->SubFoldersTotSize), Format)
                 : std::u16string();
    }
    default:
        return {};
    }
}

std::vector<TMatchRange> TFileList::HighlightMatches(std::u16string_view text) const {
    return FSearch->Highlight(text);
}

std::vector<TMatchRange> TFileList::HighlightCell(const TTreeNode* n, int column) const {
    PMFT_RECORD r = n->Data.Rec;
    if (column == fcName) return HighlightMatches(r->Name());
    if (column != fcPath) return {};
    const std::u16string path = GetRecordPath(r);
    if (FMatchedPaths) return HighlightMatches(path);
    const size_t nameLen = r->Name().size();
    const size_t offset = path.size() >= nameLen ? path.size() - nameLen : 0;
    std::vector<TMatchRange> ranges = HighlightMatches(std::u16string_view(path).substr(offset));
    for (auto& m : ranges) m.Start += offset;
    return ranges;
}

// ---------------------------------------------------------------- search history

void TSearchHistory::Add(std::u16string_view text) {
    std::u16string t = TFileSearch::NormalizeHistoryText(text);
    if (t.empty()) return;
    auto it = std::find_if(FItems.begin(), FItems.end(), [&](const std::u16string& item) {
        return IgnoreCase ? EqualsIgnoreAsciiCase(item, t) : item == t;
    });
    if (it != FItems.end()) FItems.erase(it);
    FItems.insert(FItems.begin(), std::move(t));
    if (FItems.size() > kMaxEntries) FItems.resize(kMaxEntries);
}

std::u16string TSearchHistory::Pick(size_t index) {
    if (index >= FItems.size()) return {};
    std::u16string t = FItems[index];
    FItems.erase(FItems.begin() + std::ptrdiff_t(index));
    FItems.insert(FItems.begin(), t);
    return t;
}

void TSearchHistory::SetItems(std::vector<std::u16string> items) {
    FItems.clear();
    for (auto& s : items) {
        if (s.empty() || std::find(FItems.begin(), FItems.end(), s) != FItems.end()) continue;
        FItems.push_back(std::move(s));
        if (FItems.size() == kMaxEntries) break;
    }
}

} // namespace qz
