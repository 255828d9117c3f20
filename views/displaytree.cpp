#include "views/displaytree.h"

#include "base/text.h"
#include "engine/collation.h"
#include "engine/tree.h"
#include "views/extstats.h"
#include "views/format.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>
#include <unordered_set>

namespace qz {

namespace {

std::u16string Tr(const char* english) {
    return Utf8ToUtf16(tr(english));
}

bool IsDirLike(PMFT_RECORD r) {
    return TDisplayTree::IsFolderLike(r);
}

bool Shown(PMFT_RECORD r) {
    return TDisplayTree::ShowsRecord(r);
}

TDateTime NodeDate(const TTreeNode* n) {
    return n->Data.Rec->ModifiedDate; // a group's record holds the newest date of its files
}

// Doubles in an unsigned order (for sort keys): negative values flipped entirely, positive
// ones with the sign bit set.
uint64_t OrderedBits(double d) {
    if (std::isnan(d)) d = 0;
    uint64_t b = std::bit_cast<uint64_t>(d);
    return (b & 0x8000000000000000ull) ? ~b : b | 0x8000000000000000ull;
}

uint64_t NumericKey(const TTreeNode* n, int column) {
    PMFT_RECORD r = n->Data.Rec;
    switch (column) {
    case tcPercent:
    case tcAllocated:
        return r->SubFoldersTotSizeAlloc;
    case tcSize:
        return r->SubFoldersTotSize;
    case tcFiles:
        return uint64_t(uint32_t(r->SubFoldersNumFiles()));
    case tcModified:
        return OrderedBits(NodeDate(n));
    case tcAttributes:
        return r->DOSAttrib;
    case tcFolders:
        return uint64_t(uint32_t(r->SubFoldersNumDirs()));
    case tcItems:
        return uint64_t(uint32_t(r->SubFoldersNumFiles())) +
               uint64_t(uint32_t(r->SubFoldersNumDirs()));
    default:
        return 0;
    }
}

int NameTie(const TTreeNode* a, const TTreeNode* b) {
    return TDisplayTree::CompareRecordNames(a->Data.Rec, b->Data.Rec);
}

} // namespace

int TDisplayTree::CompareRecordNames(PMFT_RECORD ra, PMFT_RECORD rb) {
    if (int c = CompareNames(ra->Name(), rb->Name())) return c < 0 ? -1 : 1;
    if (ra->SortNameIndex != rb->SortNameIndex)
        return ra->SortNameIndex < rb->SortNameIndex ? -1 : 1;
    if (ra->RecNo != rb->RecNo) return ra->RecNo < rb->RecNo ? -1 : 1;
    return 0;
}

TDisplayTree::TDisplayTree() = default;
TDisplayTree::~TDisplayTree() = default;

void TDisplayTree::Clear() {
    TViewNodes::Clear();
    FLastChildNode = nullptr;
    FFileNodes.clear();
    FFileGroupFolders.clear();
    FGroupArena.Reset();
    FLoadedScans.clear();
}

TTreeNode* TDisplayTree::AddNode(TTreeNode* parent, PMFT_RECORD rec) {
    TTreeNode* n = NewNode(parent);
    n->Data.Rec = rec;
    n->InFolderTree = true;
    NoteMayHaveChildren(n, !rec->Children().empty());
    return n;
}

void TDisplayTree::SetGroupTotals(TMFT_RECORD& g, const TMFT_RECORD& folder) {
    g.SubFoldersTotSize = folder.ThisFolderTotSize();
    g.SubFoldersTotSizeAlloc = folder.ThisFolderTotSizeAlloc();
    g.Folder->SubFoldersNumFiles = folder.ThisFolderNumFiles();
    g.Folder->ThisFolderNumFiles = folder.ThisFolderNumFiles();
    g.Folder->SubFoldersNumDirs = folder.ThisFolderNumDirs();
    g.Folder->ThisFolderNumDirs = folder.ThisFolderNumDirs();
    g.Folder->ThisFolderTotSize = folder.ThisFolderTotSize();
    g.Folder->ThisFolderTotSizeAlloc = folder.ThisFolderTotSizeAlloc();
    g.Deleted = folder.Deleted;
}

void TDisplayTree::RefreshFileGroups() {
    for (size_t i = 0; i < FFileNodes.size(); ++i)
        SetGroupTotals(*FFileNodes[i], *FFileGroupFolders[i]);
}

TTreeNode* TDisplayTree::AddGroupNode(TTreeNode* parent, PMFT_RECORD folder) {
    // The group's record: the folder's record whose subtree totals are replaced by the folder's
    // own-level figures (its files' sizes and count, and the number of its direct subfolders),
    // the same figures a live update copies into it.
    PMFT_RECORD g = FGroupArena.NewRecord();
    CopyRecord(*folder, *g);
    g->Folder = FGroupArena.NewFolder();
    SetGroupTotals(*g, *folder);
    FFileNodes.push_back(g);
    FFileGroupFolders.push_back(folder);

    TTreeNode* n = NewNode(parent);
    n->IsFileGroup = true;
    n->InFolderTree = true;
    n->Data.Rec = g;
    TDateTime newest = 0;
    for (PMFT_RECORD c : folder->Children())
        if (Shown(c) && !IsDirLike(c) && c->ModifiedDate > newest) newest = c->ModifiedDate;
    g->ModifiedDate = newest;
    NoteMayHaveChildren(n, folder->ThisFolderNumFiles() > 0);
    return n;
}

bool TDisplayTree::LoadTree(std::span<TNTFS_FILES* const> scans, std::string* error) {
    Clear();
    FGroupsOn = FileNodesEnabled && FILENODE_MIN_GROUP_SIZE > 0;
    FMinGroup = FILENODE_MIN_GROUP_SIZE;
    bool ok = true;
    for (TNTFS_FILES* scan : scans) {
        if (!scan || scan->WasError) continue;
        PMFT_RECORD root = scan->MFTRoot;
        if (!root) {
            const int k = scan->SearchDirRec(5);
            if (k >= 0 && size_t(k) < scan->FDirList.size()) root = scan->FDirList[size_t(k)];
        }
        if (!root) {
            if (error) *error = tr("MFT root was not found");
            ok = false;
            break;
        }
        if (root->Filtered) continue;
        TTreeNode* n = AddNode(nullptr, root);
        FRoots.push_back(n);
        FLoadedScans.push_back({scan, root});
    }
    SortKids(nullptr, FRoots.data(), FRoots.size());
    Renumber(FRoots.data(), FRoots.size());
    if (FRoots.size() == 1) SetExpanded(FRoots[0], true);
    FileNodesEnabled = true;
    return ok;
}

bool TDisplayTree::MayHaveChildren(const TTreeNode* n) const {
    if (n->IsFileGroup) return n->FolderRec() && n->FolderRec()->ThisFolderNumFiles() > 0;
    return !n->Data.Rec->Children().empty();
}

void TDisplayTree::MakeChildren(TTreeNode* n) {
    if (n->IsFileGroup) {
        PMFT_RECORD folder = n->FolderRec();
        if (!folder) return;
        size_t files = 0;
        for (PMFT_RECORD c : folder->Children()) files += Shown(c) && !IsDirLike(c);
        n->Kids = NewKidArray(files);
        for (PMFT_RECORD c : folder->Children())
            if (Shown(c) && !IsDirLike(c)) n->Kids[n->KidCount++] = AddNode(n, c);
        SortKids(n, n->Kids, n->KidCount);
        return;
    }
    PMFT_RECORD r = n->Data.Rec;
    size_t folders = 0, files = 0;
    for (PMFT_RECORD c : r->Children()) {
        if (!Shown(c)) continue;
        if (IsDirLike(c))
            ++folders;
        else
            ++files;
    }
    const bool grouped = GroupRule().Groups(r, files);
    n->Kids = NewKidArray(folders + (grouped ? 1 : files));
    for (PMFT_RECORD c : r->Children())
        if (Shown(c) && IsDirLike(c)) n->Kids[n->KidCount++] = AddNode(n, c);
    if (grouped) {
        n->Kids[n->KidCount++] = AddGroupNode(n, r);
    } else {
        for (PMFT_RECORD c : r->Children())
            if (Shown(c) && !IsDirLike(c)) n->Kids[n->KidCount++] = AddNode(n, c);
    }
    SortKids(n, n->Kids, n->KidCount);
}

// ---------------------------------------------------------------- sorting

int TDisplayTree::CompareNodes(const TTreeNode* a, const TTreeNode* b, int column) {
    if (column == tcFolder) {
        if (a->IsFileGroup != b->IsFileGroup) return a->IsFileGroup ? 1 : -1;
        return NameTie(a, b);
    }
    const uint64_t ka = NumericKey(a, column), kb = NumericKey(b, column);
    if (ka != kb) return ka < kb ? -1 : 1;
    return NameTie(a, b);
}

void TDisplayTree::RankNames(TTreeNode** kids, size_t count) const {
    // The records' SortNameIndex numbers siblings in name order when the session numbered
    // the scans after their last change: sort by it, and check the order with one name
    // comparison per neighbour pair. Only when that fails are the names sorted. A file
    // group (its folder's name, numbered before the folder's children) is placed by a
    // binary search.
    auto& order = FNodeScratch;
    order.clear();
    TTreeNode* group = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (kids[i]->IsFileGroup && !group)
            group = kids[i];
        else
            order.push_back(kids[i]);
    }
    auto less = [](const TTreeNode* a, const TTreeNode* b) { return NameTie(a, b) < 0; };
    std::sort(order.begin(), order.end(), [](const TTreeNode* a, const TTreeNode* b) {
        return a->Data.Rec->SortNameIndex < b->Data.Rec->SortNameIndex;
    });
    for (size_t i = 1; i < order.size(); ++i)
        if (!less(order[i - 1], order[i])) {
            std::sort(order.begin(), order.end(), less);
            break;
        }
    if (group) order.insert(std::upper_bound(order.begin(), order.end(), group, less), group);
    for (size_t i = 0; i < order.size(); ++i) order[i]->NameRank = uint32_t(i);
}

void TDisplayTree::SortKids(TTreeNode* parent, TTreeNode** kids, size_t count) const {
    if (count < 2) return;
    const int col = FSortColumn >= 0 && FSortColumn < tcCount ? FSortColumn : int(tcFolder);
    const bool desc = FSortDirection == TSortDirection::Descending;
    // Items of (key, rank, position) sorted as integers; the direction turns key and rank,
    // never the position, so full ties keep the list order either way. "Folder" sorts by
    // the names alone, file groups last.
    auto keyOf = [&](const TTreeNode* n) {
        const uint64_t k = col == tcFolder ? uint64_t(n->IsFileGroup) : NumericKey(n, col);
        return desc ? ~k : k;
    };
    auto tieOf = [&](const TTreeNode* n, uint32_t pos) {
        const uint32_t rank = desc ? ~n->NameRank : n->NameRank;
        return uint64_t(rank) << 32 | pos;
    };
    auto byKeyTie = [](const TSortItem& a, const TSortItem& b) {
        return a.key != b.key ? a.key < b.key : a.tie < b.tie;
    };
    auto& v = FSortScratch;
    v.resize(count);
    bool ranked = parent ? (parent->Flags & TTreeNode::kKidsRanked) != 0 : false;
    if (!ranked && col != tcFolder) {
        // Not ranked yet: sort by the key alone, then order the runs of equal keys by name.
        // When those runs are long (a column most rows share), rank the list instead: the
        // ranks serve every later sort of it.
        for (size_t i = 0; i < count; ++i) v[i] = {keyOf(kids[i]), uint32_t(i)};
        std::sort(v.begin(), v.end(), byKeyTie);
        size_t tiedCost = 0;
        for (size_t b = 0, e; b < count; b = e) {
            for (e = b + 1; e < count && v[e].key == v[b].key;) ++e;
            if (e - b > 1) tiedCost += (e - b) * size_t(std::bit_width(e - b));
        }
        if (tiedCost <= count) {
            for (size_t b = 0, e; b < count; b = e) {
                for (e = b + 1; e < count && v[e].key == v[b].key;) ++e;
                if (e - b < 2) continue;
                std::sort(v.begin() + ptrdiff_t(b), v.begin() + ptrdiff_t(e),
                          [&](const TSortItem& a, const TSortItem& b) {
                              const int c = NameTie(kids[a.tie], kids[b.tie]);
                              if (c != 0) return desc ? c > 0 : c < 0;
                              return a.tie < b.tie;
                          });
            }
            FNodeScratch.assign(kids, kids + count);
            for (size_t i = 0; i < count; ++i) kids[i] = FNodeScratch[v[i].tie];
            return;
        }
    }
    if (!ranked) {
        RankNames(kids, count);
        if (parent) parent->Flags |= TTreeNode::kKidsRanked;
    }
    for (size_t i = 0; i < count; ++i) v[i] = {keyOf(kids[i]), tieOf(kids[i], uint32_t(i))};
    std::sort(v.begin(), v.end(), byKeyTie);
    FNodeScratch.assign(kids, kids + count);
    for (size_t i = 0; i < count; ++i) kids[i] = FNodeScratch[uint32_t(v[i].tie)];
}

void TDisplayTree::Sort(int column, TSortDirection direction) {
    if (column < 0 || column >= tcCount) return;
    FSortColumn = column;
    FSortDirection = direction;
    SortKids(nullptr, FRoots.data(), FRoots.size());
    Renumber(FRoots.data(), FRoots.size());
    // Every list made so far; lists made later are sorted when they are made.
    std::vector<TTreeNode*> stack(FRoots.begin(), FRoots.end());
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        if (!n->ChildrenMade() || n->KidCount == 0) continue;
        SortKids(n, n->Kids, n->KidCount);
        Renumber(n->Kids, n->KidCount);
        stack.insert(stack.end(), n->Kids, n->Kids + n->KidCount);
    }
}

void TDisplayTree::HeaderClick(int column) {
    if (column < 0 || column >= tcCount) return;
    if (column == FSortColumn) {
        Sort(column, FSortDirection == TSortDirection::Ascending ? TSortDirection::Descending
                                                                 : TSortDirection::Ascending);
        return;
    }
    const bool asc = column == tcFolder || column == tcAttributes;
    Sort(column, asc ? TSortDirection::Ascending : TSortDirection::Descending);
}

// ---------------------------------------------------------------- values and texts

uint64_t TDisplayTree::NodeSize(const TTreeNode* n) {
    PMFT_RECORD r = n->Data.Rec;
    return r->DoNotCountFlag ? r->FileSize : r->SubFoldersTotSize;
}

uint64_t TDisplayTree::NodeAlloc(const TTreeNode* n) {
    PMFT_RECORD r = n->Data.Rec;
    return r->DoNotCountFlag ? r->AllocSize : r->SubFoldersTotSizeAlloc;
}

double TDisplayTree::PercentOfParent(const TTreeNode* n) const {
    return PercentOfParent(n, FSortColumn == tcSize);
}

double TDisplayTree::PercentOfParent(const TTreeNode* n, bool bySize) {
    PMFT_RECORD r = n->Data.Rec;
    if (r->Deleted) return 0;
    PMFT_RECORD f = n->FolderRec();
    if (!f) return 100;
    const uint64_t value = bySize ? NodeSize(n) : NodeAlloc(n);
    const bool inGroup = n->Parent && n->Parent->IsFileGroup;
    uint64_t total;
    if (inGroup)
        total = bySize ? f->ThisFolderTotSize() : f->ThisFolderTotSizeAlloc();
    else
        total = bySize ? f->SubFoldersTotSize : f->SubFoldersTotSizeAlloc;
    return Percentage(value, total);
}

TDisplayTree::TNodeLook TDisplayTree::NodeLook(const TTreeNode* n) {
    const uint32_t a = n->Data.Rec->DOSAttrib;
    if (a & 0x2) return TNodeLook::Hidden;
    if (a & 0x800) return TNodeLook::Compressed;
    return TNodeLook::Normal;
}

bool TDisplayTree::CellDisabled(const TTreeNode* n, int column) {
    return column == tcAllocated && n->Data.Rec->DoNotCountFlag;
}

std::u16string TDisplayTree::CellText(const TTreeNode* n, int column) const {
    PMFT_RECORD r = n->Data.Rec;
    const bool group = n->IsFileGroup;
    const bool root = !n->Parent;
    const bool folderLike = group || IsDirLike(r);
    switch (column) {
    case tcFolder:
        if (group) {
            const int32_t files = r->SubFoldersNumFiles();
            return u"[" + FormatCount(files, Format.Numbers) + u" " +
                   Utf8ToUtf16(ntr("file in", "files in", uint64_t(files))) + u" " +
                   GetRecordPath(n->FolderRec()) + u"]";
        }
        if (root) return GetRecordPath(r);
        return std::u16string(r->Name());
    case tcPercent:
        return FormatPercentCell(PercentOfParent(n), Format);
    case tcSize:
        return FormatSize(NodeSize(n), Format);
    case tcFiles:
        return folderLike ? FormatCount(r->SubFoldersNumFiles(), Format.Numbers) : std::u16string();
    case tcFolders:
        return folderLike ? FormatCount(r->SubFoldersNumDirs(), Format.Numbers) : std::u16string();
    case tcItems:
        return folderLike ? FormatCount(int64_t(r->SubFoldersNumFiles()) + r->SubFoldersNumDirs(),
                                        Format.Numbers)
                          : std::u16string();
    case tcModified:
        return FormatLocalDateTime(NodeDate(n), Format.Numbers);
    case tcAttributes:
        return group || root ? std::u16string() : AttributeLetters(r->DOSAttrib);
    case tcAllocated:
        if (r->DoNotCountFlag) return u"(" + FormatSize(NodeAlloc(n), Format) + u")";
        return FormatSize(NodeAlloc(n), Format);
    default:
        return {};
    }
}

// ---------------------------------------------------------------- navigation

TTreeNode* TDisplayTree::ParentForSelect(TTreeNode* n) {
    if (!n) return nullptr;
    TTreeNode* p = n->Parent;
    if (p && p->IsFileGroup) p = p->Parent;
    return p;
}

bool TDisplayTree::SelectParent() {
    TTreeNode* n = FFocused;
    TTreeNode* p = ParentForSelect(n);
    if (!p) return false;
    FLastChildNode = n;
    ClearSelection();
    Select(p);
    FFocused = p;
    return true;
}

bool TDisplayTree::ReselectChild() {
    TTreeNode* n = FLastChildNode;
    if (!n) return false;
    ClearSelection();
    Select(n);
    FFocused = n;
    MakeVisible(n);
    FLastChildNode = nullptr;
    return true;
}

TTreeNode* TDisplayTree::RootNodeOf(PMFT_RECORD root) const {
    for (TTreeNode* n : FRoots)
        if (n->Data.Rec == root) return n;
    return nullptr;
}

namespace {
// The child of a list whose record is named name: an exact match first, else one equal under
// the name collation.
TTreeNode* MatchName(std::span<TTreeNode* const> kids, std::u16string_view name) {
    TTreeNode* folded = nullptr;
    for (TTreeNode* c : kids) {
        if (c->IsFileGroup) continue;
        std::u16string_view cn = c->Data.Rec->Name();
        if (cn == name) return c;
        if (!folded && CompareNames(cn, name) == 0) folded = c;
    }
    return folded;
}
} // namespace

// Children found by their exact name through a hash table per folder, for the folders with
// many children a restore of many paths visits (a selection of 100,000 files in one folder
// would otherwise compare names 100,000 times per file). A name not found there is looked for
// as MatchName does.
class TChildNameIndex {
public:
    TTreeNode* Find(std::span<TTreeNode* const> kids, const TTreeNode* parent,
                    std::u16string_view name) {
        if (kids.size() < kMinIndexed) return MatchName(kids, name);
        auto [slot, made] = FByParent.try_emplace(parent);
        if (made) {
            slot->second.reserve(kids.size());
            for (TTreeNode* c : kids) // the first of equal names wins, as in MatchName
                if (!c->IsFileGroup) slot->second.try_emplace(c->Data.Rec->Name(), c);
        }
        const auto hit = slot->second.find(name);
        return hit != slot->second.end() ? hit->second : MatchName(kids, name);
    }

private:
    static constexpr size_t kMinIndexed = 32;
    std::unordered_map<const TTreeNode*, std::unordered_map<std::u16string_view, TTreeNode*>>
        FByParent;
};

TTreeNode* TDisplayTree::FindNodeByPath(TTreeNode* start, std::u16string_view path,
                                        size_t firstOffset) {
    return FindNodeByPath(start, path, firstOffset, nullptr);
}

TTreeNode* TDisplayTree::FindNodeByPath(TTreeNode* start, std::u16string_view path,
                                        size_t firstOffset, TChildNameIndex* index) {
    auto match = [index](std::span<TTreeNode* const> kids, const TTreeNode* parent,
                         std::u16string_view name) {
        return index ? index->Find(kids, parent, name) : MatchName(kids, name);
    };
    const char16_t sep = start ? PathSeparatorOf(start->Data.Rec)
                               : (!path.empty() && path[0] == u'/' ? u'/' : u'\\');
    size_t from = firstOffset > 0 ? firstOffset - 1 : 0;
    TTreeNode* node = start;
    while (true) {
        const size_t cut = from < path.size() ? path.find(sep, from) : std::u16string_view::npos;
        const std::u16string_view comp = path.substr(0, cut);
        const std::u16string_view rest =
            cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
        auto kids = Children(node);
        TTreeNode* found = match(kids, node, comp);
        if (!found && rest.empty()) {
            // The last component may be a file inside a file-group node.
            for (TTreeNode* c : kids)
                if (c->IsFileGroup && (found = match(Children(c), c, comp))) break;
        }
        if (!found) return nullptr;
        if (rest.empty()) return found;
        node = found;
        path = rest;
        from = 0;
    }
}

TTreeViewState TDisplayTree::CaptureViewState() {
    TTreeViewState st = CaptureViewRecords();
    FillPaths(st);
    return st;
}

TTreeViewState TDisplayTree::CaptureViewRecords() {
    TTreeViewState st;
    // The record a node stands for: its own (a group: its folder's).
    auto entryOf = [](const TTreeNode* n) -> TTreeViewState::Entry {
        if (n->IsFileGroup) return {{}, true, n->FolderRec()};
        return {{}, false, n->Data.Rec};
    };
    // From the list of expanded nodes: a walk over every node made would take milliseconds
    // with hundreds of thousands of rows shown, on the window's thread as a scan starts.
    for (TTreeNode* n : ExpandedNodes()) st.Expanded.push_back(entryOf(n));
    for (TTreeNode* n : SelectedNodes()) st.Selected.push_back(entryOf(n));
    if (!FRoots.empty()) st.TopPath = GetRecordPath(FRoots[0]->Data.Rec);
    return st;
}

void TDisplayTree::FillPaths(TTreeViewState& state) {
    // Selections can hold every file of a type: the path of a folder is made once for its
    // items listed one after another.
    PMFT_RECORD folder = nullptr;
    std::u16string folderPath;
    for (std::vector<TTreeViewState::Entry>* list : {&state.Expanded, &state.Selected})
        for (TTreeViewState::Entry& e : *list) {
            const PMFT_RECORD rec = e.Rec;
            if (!rec) continue;
            e.Rec = nullptr;
            if (!rec->ParentMFTRec) {
                e.Path = GetRecordPath(rec);
                continue;
            }
            if (rec->ParentMFTRec != folder) {
                folder = rec->ParentMFTRec;
                folderPath.clear();
                AppendRecordPath(rec, folderPath, true, false); // ends with the separator
            }
            e.Path.reserve(folderPath.size() + rec->NameLength());
            e.Path.append(folderPath).append(rec->Name());
        }
}

bool TDisplayTree::SameSourceAs(const TTreeViewState& state) const {
    return !FRoots.empty() && !state.TopPath.empty() &&
           GetRecordPath(FRoots[0]->Data.Rec) == state.TopPath;
}

void TDisplayTree::RestoreViewState(const TTreeViewState& state) {
    TChildNameIndex index;
    std::vector<std::u16string> rootPaths;
    for (TTreeNode* root : FRoots) rootPaths.push_back(GetRecordPath(root->Data.Rec));
    auto find = [&](const TTreeViewState::Entry& e) -> TTreeNode* {
        TTreeNode* hit = nullptr;
        for (size_t k = 0; k < FRoots.size(); ++k) {
            TTreeNode* root = FRoots[k];
            const std::u16string& rp = rootPaths[k];
            if (e.Path == rp) {
                hit = root;
                break;
            }
            if (e.Path.size() <= rp.size() || e.Path.compare(0, rp.size(), rp) != 0) continue;
            const char16_t sep = PathSeparatorOf(root->Data.Rec);
            size_t skip = rp.size();
            if (rp.back() != sep) {
                if (e.Path[skip] != sep) continue;
                ++skip;
            }
            hit = FindNodeByPath(root, std::u16string_view(e.Path).substr(skip), 0, &index);
            if (hit) break;
        }
        if (hit && e.FileGroup) {
            TTreeNode* g = nullptr;
            for (TTreeNode* c : Children(hit))
                if (c->IsFileGroup) g = c;
            hit = g;
        }
        return hit;
    };
    for (const auto& e : state.Expanded)
        if (TTreeNode* n = find(e)) {
            MakeVisible(n);
            SetExpanded(n, true);
        }
    for (const auto& e : state.Selected)
        if (TTreeNode* n = find(e)) Select(n);
}

// ---------------------------------------------------------------- status

std::u16string TDisplayTree::SelectionStatusText() const {
    TTreeNode* focused = FFocused;
    const bool focusExtra = focused && !focused->Selected();
    if (SelectedCount() == 0 && !focusExtra) return {};
    auto counted = [focused](const TTreeNode* n) {
        return (n->Selected() || n == focused) && !n->Data.Rec->Deleted;
    };
    int64_t count = 0;
    uint64_t size = 0, alloc = 0;
    auto add = [&](PMFT_RECORD r) {
        count += IsDirLike(r) ? int64_t(r->SubFoldersNumFiles()) : 1;
        size += r->SubFoldersTotSize;
        alloc += r->SubFoldersTotSizeAlloc;
    };
    auto visit = [&](const TTreeNode* n) {
        if (!counted(n)) return;
        for (const TTreeNode* p = n->Parent; p; p = p->Parent)
            if (counted(p)) return; // counted with its ancestor
        if (!n->IsFileGroup) {
            add(n->Data.Rec);
            return;
        }
        // A file group counts its files: the folder's shown files that are not deleted.
        if (PMFT_RECORD folder = n->FolderRec())
            for (PMFT_RECORD c : folder->Children())
                if (Shown(c) && !IsDirLike(c) && !c->Deleted) add(c);
    };
    for (const TTreeNode* n : FSelected)
        if (n->Selected()) visit(n);
    if (focusExtra) visit(focused);
    return Tr("Selected Files") + u": " + FormatCount(count, Format.Numbers) + u"  " +
           Tr("Total Size") + u": " + FormatSize(size, Format) + u"  " + Tr("Allocated") + u": " +
           FormatSize(alloc, Format);
}

namespace {

char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// name's extension key (from its last dot) equals key, ASCII case ignored; key is a valid key
// (a dot, then no further dot).
bool HasExtensionKey(std::u16string_view name, std::u16string_view key) {
    if (name.size() < key.size()) return false;
    const char16_t* tail = name.data() + (name.size() - key.size());
    for (size_t i = key.size(); i-- > 0;)
        if (AsciiLower(tail[i]) != key[i]) return false;
    return true;
}

} // namespace

size_t TDisplayTree::SelectFilesOfExtension(std::u16string_view key, TTreeNode** first) {
    ClearSelection();
    if (first) *first = nullptr;
    if (key.empty() || key.size() > 15 || key[0] != u'.') return 0;
    std::u16string lowerKey(key);
    for (auto& c : lowerKey) c = AsciiLower(c);
    if (lowerKey.find(u'.', 1) != std::u16string::npos) return 0; // no name has such a key
    // First the records, in the scans' stored order (a walk through memory, not the tree):
    // every shown folder that holds a matching file directly, and its ancestors up to the
    // root, is noted. Then only the nodes of noted folders are made and their matching files
    // selected, so a selection spread over a few folders of a large tree makes few nodes.
    std::vector<PMFT_RECORD> holding;
    for (const TLoadedScan& loaded : FLoadedScans) {
        PMFT_RECORD lastFolder = nullptr;
        for (PMFT_RECORD r : loaded.Scan->FFileList) {
            if (!r || !Shown(r) || IsDirLike(r)) continue;
            PMFT_RECORD folder = r->ParentMFTRec;
            if (!folder || folder == lastFolder || !HasExtensionKey(r->Name(), lowerKey)) continue;
            lastFolder = folder;
            const size_t mark = holding.size();
            PMFT_RECORD p = folder;
            for (; p && Shown(p); p = p->ParentMFTRec) {
                holding.push_back(p);
                if (p == loaded.Root) break;
            }
            if (p != loaded.Root) holding.resize(mark); // not below the shown root
        }
    }
    std::sort(holding.begin(), holding.end());
    holding.erase(std::unique(holding.begin(), holding.end()), holding.end());
    auto holds = [&](PMFT_RECORD r) {
        return std::binary_search(holding.begin(), holding.end(), r);
    };
    // Then the nodes depth first in view order, so the first file selected is the first one
    // the view shows.
    size_t count = 0;
    std::vector<TTreeNode*> nodes;
    for (size_t i = FRoots.size(); i-- > 0;)
        if (holds(FRoots[i]->Data.Rec)) nodes.push_back(FRoots[i]);
    while (!nodes.empty()) {
        TTreeNode* n = nodes.back();
        nodes.pop_back();
        PMFT_RECORD r = n->Data.Rec;
        if (n->Parent && !n->IsFileGroup && !IsDirLike(r)) {
            if (!HasExtensionKey(r->Name(), lowerKey)) continue;
            Select(n);
            if (first && !*first) *first = n;
            ++count;
            continue;
        }
        const std::span<TTreeNode* const> kids = Children(n);
        for (size_t i = kids.size(); i-- > 0;) {
            TTreeNode* c = kids[i];
            if (c->IsFileGroup || !IsDirLike(c->Data.Rec) || holds(c->Data.Rec)) nodes.push_back(c);
        }
    }
    return count;
}

} // namespace qz
