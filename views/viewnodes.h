// Nodes of a view (the folder tree or the file list) and what both views share: children made
// on demand, expansion, selection and focus.
//
// Nodes are allocated in chunks owned by the view and never move until the view is cleared,
// so a Qt item model may keep TTreeNode pointers as internal pointers. A node's children are
// made the first time they are asked for (Children, FirstChild, ChildCount) and are then kept
// in the view's current order; HasChildren answers without making them.
//
// Records shown by nodes belong to the scans: clear the views before the scans are freed.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qz {

// The data of one display node.
struct TTreeNodeData {
    PMFT_RECORD Rec = nullptr; // record shown (a group: the view's file-group record, whose
                               // date is the newest of the folder's shown files)
};

// Fields ordered for size: a node is made per shown row.
struct TTreeNode {
    TTreeNodeData Data;
    TTreeNode* Parent = nullptr; // nil for top-level nodes
    TTreeNode** Kids = nullptr;  // children in view order, valid once ChildrenMade()
    uint32_t KidCount = 0;
    uint32_t Index = 0; // position among its siblings (or among the top-level nodes)
    uint8_t Flags = 0;
    bool IsFileGroup = false;  // the file-group pseudo-node of a folder
    bool InFolderTree = false; // a node of the folder tree (not a file-list row)
    // Position in the name order of its list, once the view ranked the list (kKidsRanked on
    // the parent): sorts then break ties without comparing names.
    uint32_t NameRank = 0;

    // The level in the folder tree: 1 for a scan's root, +1 per level; a file group: its
    // folder's level (its files are one below the folder's other children). File-list rows:
    // 0. Counted from the parents, not stored: only painting asks, for the rows on screen.
    int32_t Depth() const {
        if (!InFolderTree) return 0;
        int32_t depth = 1;
        for (const TTreeNode* p = Parent; p; p = p->Parent) ++depth;
        return IsFileGroup ? depth - 1 : depth;
    }

    // The folder holding the item: nil for a scan's root in the folder tree; a group: the
    // folder itself (its parent node's record). Found from the node, not stored in it.
    PMFT_RECORD FolderRec() const {
        if (IsFileGroup) return Parent ? Parent->Data.Rec : nullptr;
        if (!Parent && InFolderTree) return nullptr;
        return Data.Rec->ParentMFTRec;
    }

    static constexpr uint8_t kChildrenMade = 1, kExpanded = 2, kSelected = 4;
    // Whether the node may have children, noted by the view when it makes the node
    // (kKidsNoted set): HasChildren then answers from the node without reading its record,
    // which the tree view asks of every row it lays out.
    static constexpr uint8_t kKidsNoted = 8, kMayHaveKids = 16;
    static constexpr uint8_t kKidsRanked = 32;
    bool ChildrenMade() const { return Flags & kChildrenMade; }
    bool Expanded() const { return Flags & kExpanded; }
    bool Selected() const { return Flags & kSelected; }
};

static_assert(sizeof(TTreeNode) <= 40, "a node is made per shown row: keep it small");

class TViewNodes {
public:
    TViewNodes();
    virtual ~TViewNodes();
    TViewNodes(const TViewNodes&) = delete;
    TViewNodes& operator=(const TViewNodes&) = delete;

    // Removes every node (selection and focus included).
    virtual void Clear();

    // ---- structure
    std::span<TTreeNode* const> Roots() const { return FRoots; }
    // The children of n in view order, made now when needed. n nil: the top-level nodes.
    std::span<TTreeNode* const> Children(TTreeNode* n);
    uint32_t ChildCount(TTreeNode* n) { return uint32_t(Children(n).size()); }
    // True when n has or may have children, without making them.
    bool HasChildren(const TTreeNode* n) const;
    TTreeNode* FirstChild(TTreeNode* n);
    TTreeNode* NextSibling(const TTreeNode* n) const;
    TTreeNode* PrevSibling(const TTreeNode* n) const;
    // Number of nodes made so far.
    size_t NodeCount() const { return FNodeCount; }
    // Heap bytes the nodes and their children lists take (whole chunks, as allocated).
    size_t NodeBytes() const;
    // Calls f for n (when not nil) and every node below it, depth-first in view order, making
    // children as needed. n nil: every node of the view.
    template <class F> void ForEach(TTreeNode* n, F&& f);

    // True when a comes before b in view order (depth-first, children after their parent).
    bool IsBefore(const TTreeNode* a, const TTreeNode* b) const;
    // The rows as shown: the node after n (before n) when only expanded nodes show their
    // children; nil past the last (first) row. Children of expanded nodes are made as needed.
    TTreeNode* NextVisible(TTreeNode* n);
    TTreeNode* PrevVisible(TTreeNode* n);
    // True when every ancestor of n is expanded (n is a row of the view).
    static bool IsVisible(const TTreeNode* n);
    // True when a is b or one of b's ancestors.
    static bool IsSelfOrAncestor(const TTreeNode* a, const TTreeNode* b);

    // ---- expansion
    void SetExpanded(TTreeNode* n, bool expanded);
    // The expanded nodes in view order (hidden ones under a collapsed node included), from a
    // list kept as nodes are expanded: no pass over the nodes.
    std::vector<TTreeNode*> ExpandedNodes() const;
    // Expands n and all its ancestors.
    void MakeVisible(TTreeNode* n);
    // Expands every node below n (every node when n is nil): "Expand All".
    void ExpandAll(TTreeNode* n = nullptr);
    void CollapseAll();

    // ---- selection and focus
    void Select(TTreeNode* n, bool selected = true);
    void ClearSelection();
    // Selects the shown rows from a to b (either order, both included); a and b must be rows.
    void SelectVisibleRange(TTreeNode* a, TTreeNode* b);
    size_t SelectedCount() const { return FSelectedCount; }
    // The selected nodes in view order.
    std::vector<TTreeNode*> SelectedNodes() const;
    // Calls f for every selected node, in no particular order (no sorting, no allocation).
    template <class F> void ForEachSelected(F&& f) const {
        for (TTreeNode* n : FSelected)
            if (n->Selected()) f(n);
    }
    TTreeNode* FocusedNode() const { return FFocused; }
    void SetFocusedNode(TTreeNode* n) { FFocused = n; }

protected:
    // Fill n's children (n->Kids / KidCount) in view order; called once per node.
    virtual void MakeChildren(TTreeNode* n) = 0;
    virtual bool MayHaveChildren(const TTreeNode* n) const = 0;

    TTreeNode* NewNode(TTreeNode* parent);
    // Notes on a new node whether it may have children (what MayHaveChildren would answer).
    static void NoteMayHaveChildren(TTreeNode* n, bool may) {
        n->Flags |= may ? TTreeNode::kKidsNoted | TTreeNode::kMayHaveKids : TTreeNode::kKidsNoted;
    }
    TTreeNode** NewKidArray(size_t count);
    // Renumber Index of the list's nodes after a reorder.
    static void Renumber(TTreeNode** kids, size_t count);

    std::vector<TTreeNode*> FRoots;
    std::vector<TTreeNode*> FSelected; // may hold deselected nodes; compacted on demand
    size_t FSelectedCount = 0;
    std::vector<TTreeNode*> FExpanded; // every expanded node, in the order expanded
    TTreeNode* FFocused = nullptr;

private:
    // nodes sorted into view order.
    static std::vector<TTreeNode*> InViewOrder(std::span<TTreeNode* const> nodes);

    struct Pools;
    std::unique_ptr<Pools> FPools;
    size_t FNodeCount = 0;
};

template <class F> void TViewNodes::ForEach(TTreeNode* n, F&& f) {
    std::vector<TTreeNode*> stack;
    if (n) {
        stack.push_back(n);
    } else {
        for (size_t i = FRoots.size(); i-- > 0;) stack.push_back(FRoots[i]);
    }
    while (!stack.empty()) {
        TTreeNode* c = stack.back();
        stack.pop_back();
        f(c);
        auto kids = Children(c);
        for (size_t i = kids.size(); i-- > 0;) stack.push_back(kids[i]);
    }
}

// One entry of a selection listing.
struct TSelectedItem {
    std::u16string Path;
    TTreeNode* Node = nullptr;
};

// How GetSelectedItems lists a selection.
struct TSelectionListing {
    // A file gives its parent folder's path (node: its parent display node, the file group
    // for a grouped file); repeated paths in a row are listed once.
    bool ContainingFolders = false;
    // A file-group node is listed itself; otherwise it gives its files (or, with
    // ContainingFolders, its folder's path once).
    bool IncludeGroups = false;
    // A node below an already listed node is left out.
    bool SkipNested = true;
};

// The selected nodes of view as (path, node) pairs, in view order; records marked Deleted are
// left out. Paths are used as they are (Linux paths need no long-path conversion).
void GetSelectedItems(std::vector<TSelectedItem>& list, TViewNodes& view,
                      const TSelectionListing& how = {});

} // namespace qz
