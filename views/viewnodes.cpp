#include "views/viewnodes.h"

#include "engine/tree.h"

#include <algorithm>
#include <unordered_set>

namespace qz {

// Chunked storage: nodes and children arrays never move once handed out.
struct TViewNodes::Pools {
    static constexpr size_t kNodeChunk = 4096;
    static constexpr size_t kKidChunk = 65536;

    std::vector<std::unique_ptr<TTreeNode[]>> nodeChunks;
    size_t nodeUsed = kNodeChunk; // in the last chunk

    std::vector<std::unique_ptr<TTreeNode*[]>> kidChunks;
    std::vector<size_t> kidSizes; // entries of each kid chunk
    TTreeNode** kidCur = nullptr;
    size_t kidLeft = 0;

    template <class F> void ForEachNode(size_t total, F&& f) {
        for (size_t c = 0; c < nodeChunks.size(); ++c) {
            const size_t n = c + 1 < nodeChunks.size() ? kNodeChunk : nodeUsed;
            TTreeNode* chunk = nodeChunks[c].get();
            for (size_t i = 0; i < n && total > 0; ++i, --total) f(&chunk[i]);
        }
    }
};

TViewNodes::TViewNodes() : FPools(std::make_unique<Pools>()) {}
TViewNodes::~TViewNodes() = default;

void TViewNodes::Clear() {
    FRoots.clear();
    FSelected.clear();
    FSelectedCount = 0;
    FExpanded.clear();
    FFocused = nullptr;
    FPools = std::make_unique<Pools>();
    FNodeCount = 0;
}

size_t TViewNodes::NodeBytes() const {
    const Pools& p = *FPools;
    size_t bytes = p.nodeChunks.size() * Pools::kNodeChunk * sizeof(TTreeNode);
    for (size_t k = 0; k < p.kidChunks.size(); ++k) bytes += p.kidSizes[k] * sizeof(TTreeNode*);
    return bytes;
}

TTreeNode* TViewNodes::NewNode(TTreeNode* parent) {
    Pools& p = *FPools;
    if (p.nodeUsed == Pools::kNodeChunk) {
        p.nodeChunks.push_back(std::make_unique<TTreeNode[]>(Pools::kNodeChunk));
        p.nodeUsed = 0;
    }
    TTreeNode* n = &p.nodeChunks.back()[p.nodeUsed++];
    n->Parent = parent;
    ++FNodeCount;
    return n;
}

TTreeNode** TViewNodes::NewKidArray(size_t count) {
    if (count == 0) return nullptr;
    Pools& p = *FPools;
    if (count > p.kidLeft) {
        // A list larger than a chunk gets a block of its own; the current chunk stays in use.
        if (count >= Pools::kKidChunk / 4) {
            p.kidChunks.push_back(std::make_unique<TTreeNode*[]>(count));
            p.kidSizes.push_back(count);
            return p.kidChunks.back().get();
        }
        p.kidChunks.push_back(std::make_unique<TTreeNode*[]>(Pools::kKidChunk));
        p.kidSizes.push_back(Pools::kKidChunk);
        p.kidCur = p.kidChunks.back().get();
        p.kidLeft = Pools::kKidChunk;
    }
    TTreeNode** a = p.kidCur;
    p.kidCur += count;
    p.kidLeft -= count;
    return a;
}

void TViewNodes::Renumber(TTreeNode** kids, size_t count) {
    for (size_t i = 0; i < count; ++i) kids[i]->Index = uint32_t(i);
}

std::span<TTreeNode* const> TViewNodes::Children(TTreeNode* n) {
    if (!n) return FRoots;
    if (!n->ChildrenMade()) {
        n->Flags |= TTreeNode::kChildrenMade;
        MakeChildren(n);
        Renumber(n->Kids, n->KidCount);
    }
    return {n->Kids, n->KidCount};
}

bool TViewNodes::HasChildren(const TTreeNode* n) const {
    if (!n) return !FRoots.empty();
    if (n->ChildrenMade()) return n->KidCount > 0;
    if (n->Flags & TTreeNode::kKidsNoted) return n->Flags & TTreeNode::kMayHaveKids;
    return MayHaveChildren(n);
}

TTreeNode* TViewNodes::FirstChild(TTreeNode* n) {
    auto kids = Children(n);
    return kids.empty() ? nullptr : kids[0];
}

TTreeNode* TViewNodes::NextSibling(const TTreeNode* n) const {
    if (!n) return nullptr;
    const size_t next = size_t(n->Index) + 1;
    if (n->Parent) return next < n->Parent->KidCount ? n->Parent->Kids[next] : nullptr;
    return next < FRoots.size() ? FRoots[next] : nullptr;
}

TTreeNode* TViewNodes::PrevSibling(const TTreeNode* n) const {
    if (!n || n->Index == 0) return nullptr;
    return n->Parent ? n->Parent->Kids[n->Index - 1] : FRoots[n->Index - 1];
}

bool TViewNodes::IsSelfOrAncestor(const TTreeNode* a, const TTreeNode* b) {
    for (const TTreeNode* p = b; p; p = p->Parent)
        if (p == a) return true;
    return false;
}

namespace {
// The nodes from n up to its top-level node, n included.
uint32_t LevelOf(const TTreeNode* n) {
    uint32_t level = 0;
    for (; n; n = n->Parent) ++level;
    return level;
}

// View order without building paths: the two nodes are lifted to the same level, then together
// until they are siblings; an ancestor comes before what is below it.
bool ViewOrderLess(const TTreeNode* a, const TTreeNode* b) {
    if (a == b) return false;
    uint32_t levelA = LevelOf(a), levelB = LevelOf(b);
    const bool aDeeper = levelA > levelB;
    for (; levelA > levelB; --levelA) a = a->Parent;
    for (; levelB > levelA; --levelB) b = b->Parent;
    if (a == b) return !aDeeper; // one was below the other
    while (a->Parent != b->Parent) {
        a = a->Parent;
        b = b->Parent;
    }
    return a->Index < b->Index;
}
} // namespace

bool TViewNodes::IsBefore(const TTreeNode* a, const TTreeNode* b) const {
    return ViewOrderLess(a, b);
}

TTreeNode* TViewNodes::NextVisible(TTreeNode* n) {
    if (!n) return nullptr;
    if (n->Expanded()) {
        auto kids = Children(n);
        if (!kids.empty()) return kids[0];
    }
    for (const TTreeNode* p = n; p; p = p->Parent)
        if (TTreeNode* s = NextSibling(p)) return s;
    return nullptr;
}

TTreeNode* TViewNodes::PrevVisible(TTreeNode* n) {
    if (!n) return nullptr;
    TTreeNode* p = PrevSibling(n);
    if (!p) return n->Parent;
    // The last shown row below the previous sibling.
    while (p->Expanded()) {
        auto kids = Children(p);
        if (kids.empty()) break;
        p = kids.back();
    }
    return p;
}

bool TViewNodes::IsVisible(const TTreeNode* n) {
    for (const TTreeNode* p = n ? n->Parent : nullptr; p; p = p->Parent)
        if (!p->Expanded()) return false;
    return n != nullptr;
}

void TViewNodes::SelectVisibleRange(TTreeNode* a, TTreeNode* b) {
    if (!a || !b) return;
    if (IsBefore(b, a)) std::swap(a, b);
    for (TTreeNode* n = a; n; n = NextVisible(n)) {
        Select(n);
        if (n == b) break;
    }
}

void TViewNodes::SetExpanded(TTreeNode* n, bool expanded) {
    if (!n || n->Expanded() == expanded) return;
    if (expanded) {
        n->Flags |= TTreeNode::kExpanded;
        FExpanded.push_back(n);
    } else {
        n->Flags &= uint8_t(~TTreeNode::kExpanded);
        // Collapsed rows are most often the ones expanded last: search from the end.
        auto it = std::find(FExpanded.rbegin(), FExpanded.rend(), n);
        if (it != FExpanded.rend()) FExpanded.erase(std::next(it).base());
    }
}

std::vector<TTreeNode*> TViewNodes::ExpandedNodes() const {
    return InViewOrder(FExpanded);
}

void TViewNodes::MakeVisible(TTreeNode* n) {
    for (TTreeNode* p = n ? n->Parent : nullptr; p; p = p->Parent) SetExpanded(p, true);
}

void TViewNodes::ExpandAll(TTreeNode* n) {
    ForEach(n, [this](TTreeNode* c) {
        if (HasChildren(c)) SetExpanded(c, true);
    });
}

void TViewNodes::CollapseAll() {
    for (TTreeNode* n : FExpanded) n->Flags &= uint8_t(~TTreeNode::kExpanded);
    FExpanded.clear();
}

void TViewNodes::Select(TTreeNode* n, bool selected) {
    if (!n || n->Selected() == selected) return;
    if (selected) {
        n->Flags |= TTreeNode::kSelected;
        FSelected.push_back(n);
        ++FSelectedCount;
    } else {
        n->Flags &= uint8_t(~TTreeNode::kSelected);
        auto it = std::find(FSelected.begin(), FSelected.end(), n);
        if (it != FSelected.end()) FSelected.erase(it);
        --FSelectedCount;
    }
}

void TViewNodes::ClearSelection() {
    for (TTreeNode* n : FSelected) n->Flags &= uint8_t(~TTreeNode::kSelected);
    FSelected.clear();
    FSelectedCount = 0;
}

std::vector<TTreeNode*> TViewNodes::SelectedNodes() const {
    return InViewOrder(FSelected);
}

std::vector<TTreeNode*> TViewNodes::InViewOrder(std::span<TTreeNode* const> nodes) {
    std::vector<TTreeNode*> out(nodes.begin(), nodes.end());
    // Nodes are often listed in view order already (a range, the files of a type, rows
    // expanded top to bottom): one pass tells.
    if (std::is_sorted(out.begin(), out.end(), ViewOrderLess)) return out;
    // Else sort by each node's sibling positions from the top, all kept in one buffer.
    std::vector<uint32_t> positions;
    std::vector<uint32_t> start(out.size() + 1);
    for (size_t i = 0; i < out.size(); ++i) {
        start[i] = uint32_t(positions.size());
        for (const TTreeNode* p = out[i]; p; p = p->Parent) positions.push_back(p->Index);
        std::reverse(positions.begin() + start[i], positions.end());
    }
    start[out.size()] = uint32_t(positions.size());
    std::vector<uint32_t> order(out.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    const uint32_t* pos = positions.data();
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
        return std::lexicographical_compare(pos + start[x], pos + start[x + 1], pos + start[y],
                                            pos + start[y + 1]);
    });
    std::vector<TTreeNode*> sorted(out.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = out[order[i]];
    return sorted;
}

void GetSelectedItems(std::vector<TSelectedItem>& list, TViewNodes& view,
                      const TSelectionListing& how) {
    const bool containingFolders = how.ContainingFolders;
    const bool includeGroups = how.IncludeGroups;
    const bool skipNested = how.SkipNested;
    list.clear();
    std::unordered_set<const TTreeNode*> listed;
    std::u16string lastPath;
    bool haveLast = false;
    auto nested = [&](const TTreeNode* n) {
        for (const TTreeNode* p = n; p; p = p->Parent)
            if (listed.count(p)) return true;
        return false;
    };
    auto add = [&](std::u16string path, TTreeNode* node) {
        lastPath = path;
        haveLast = true;
        listed.insert(node);
        list.push_back({std::move(path), node});
    };
    for (TTreeNode* n : view.SelectedNodes()) {
        PMFT_RECORD rec = n->Data.Rec;
        if (!rec || rec->Deleted) continue;
        std::u16string path;
        TTreeNode* entryNode = n;
        if (containingFolders && !rec->IsFolder()) {
            // The folder's own path (no trailing separator); a file without parent: its own.
            path = GetRecordPath(rec->ParentMFTRec ? rec->ParentMFTRec : rec);
            if (n->Parent) entryNode = n->Parent;
            if (haveLast && path == lastPath) continue;
        } else {
            path = GetRecordPath(rec);
        }
        if (skipNested && nested(n)) continue;
        if (!n->IsFileGroup || includeGroups) {
            add(std::move(path), entryNode);
        } else if (containingFolders) {
            add(GetRecordPath(n->FolderRec() ? n->FolderRec() : rec), n);
        } else {
            for (TTreeNode* c : view.Children(n)) {
                PMFT_RECORD cr = c->Data.Rec;
                if (!cr || cr->Deleted) continue;
                add(GetRecordPath(cr), c);
            }
        }
    }
}

} // namespace qz
