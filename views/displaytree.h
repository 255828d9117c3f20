// The display tree: the folder tree view's nodes, built from all scans on screen.
//
// One top-level node per scan (its root record), below it the folders and files of the scan
// as they are expanded or walked. A folder with at least FILENODE_MIN_GROUP_SIZE files gets a
// file-group node after its subfolders that holds its files; the group shows a record of its
// own (a copy of the folder's record carrying the folder's own-files totals), owned by the
// tree until the next load. Children are made on demand in the current sort order, so a tree
// of millions of records costs only what is walked.
//
// The exports walk this tree (Roots, Children / FirstChild / NextSibling) in view order. The
// treemap lays out the same children (ShowsRecord, IsFolderLike, GroupRule) straight from the
// records on a thread of its own and keeps its rectangles to itself.
#pragma once

#include "engine/arena.h"
#include "engine/scan.h"
#include "views/format.h"
#include "views/viewnodes.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qz {

// Columns of the folder tree.
enum TTreeColumn : int {
    tcFolder = 0,
    tcPercent = 1,
    tcSize = 2,
    tcFiles = 3,
    tcModified = 4,
    tcAttributes = 5,
    tcFolders = 6,
    tcItems = 7,
    tcAllocated = 8,
    tcCount = 9
};

enum class TSortDirection : uint8_t { Ascending, Descending };

// Expanded and selected paths, captured before a rescan and restored after it.
struct TTreeViewState {
    struct Entry {
        std::u16string Path;
        bool FileGroup = false; // the file-group node under the folder at Path
        // The record whose path this is, until FillPaths made Path from it.
        PMFT_RECORD Rec = nullptr;
    };
    std::vector<Entry> Expanded; // in view order
    std::vector<Entry> Selected; // in view order
    std::u16string TopPath;      // path of the first top-level node (empty: no tree)
};

class TChildNameIndex; // children by name, for many path lookups at once (displaytree.cpp)

class TDisplayTree : public TViewNodes {
public:
    TDisplayTree();
    ~TDisplayTree() override;

    // Grouping settings ("FileNodeMinGroupSize", default 4; 0 switches grouping off).
    int FILENODE_MIN_GROUP_SIZE = 4;
    // False while the folders-only filter is active: no file-group nodes are made.
    bool FileNodesEnabled = true;
    // How the cell and status texts format sizes, numbers and dates (the owner replaces it
    // when the user changes the display unit).
    TFormatSettings Format;

    // Rebuilds the tree from the scans, one top-level node per scan in order. A nil or failed
    // scan is skipped. A scan whose root is found neither as MFTRoot nor as folder record 5
    // stops the load: the tree keeps the scans before it, error receives "MFT root was not
    // found" and false is returned. With exactly one top-level node it is expanded.
    bool LoadTree(std::span<TNTFS_FILES* const> scans, std::string* error = nullptr);
    void Clear() override;

    // ---- what the tree shows below a folder (the treemap lays out the same children)
    // A record the tree shows: one that no filter took out.
    static bool ShowsRecord(PMFT_RECORD r) { return r && !r->Filtered; }
    // A record shown as a folder: a folder, or anything that has children.
    static bool IsFolderLike(PMFT_RECORD r) { return r->IsFolder() || !r->Children().empty(); }
    // Whether a folder's shown files go into one file-group node (after its shown subfolders)
    // instead of being listed one by one. Fixed by each load.
    struct TGroupRule {
        bool On = true;
        int MinSize = 4;
        bool Groups(PMFT_RECORD folder, size_t shownFiles) const {
            return On && shownFiles > 0 && folder->ThisFolderNumFiles() >= MinSize;
        }
    };
    TGroupRule GroupRule() const { return {FGroupsOn, FMinGroup}; }

    // ---- sorting (initially "Allocated", descending)
    int SortColumn() const { return FSortColumn; }
    TSortDirection SortDirection() const { return FSortDirection; }
    // Sorts the whole tree (children made later follow the same order).
    void Sort(int column, TSortDirection direction);
    // Header click: the sorted column toggles its direction; another column starts
    // descending, except "Folder" and "Attributes", which start ascending.
    void HeaderClick(int column);
    // Ascending comparison of two nodes by column (negative: a first); ties by name, then by
    // the records' name order. A file group is greater than any node for column 0.
    static int CompareNodes(const TTreeNode* a, const TTreeNode* b, int column);
    // The ties of every column: names under the collation, then the name numbering, then
    // record numbers (negative: a first).
    static int CompareRecordNames(PMFT_RECORD a, PMFT_RECORD b);

    // ---- column values
    // Size and allocated size shown: the record's own figures for a hard-link duplicate
    // (DoNotCountFlag), else the subtree totals.
    static uint64_t NodeSize(const TTreeNode* n);
    static uint64_t NodeAlloc(const TTreeNode* n);
    // "% of Parent": sizes while sorted by "Size", allocated sizes otherwise; 0 for a deleted
    // record or a zero parent total; 100 for a scan's root.
    double PercentOfParent(const TTreeNode* n) const;
    static double PercentOfParent(const TTreeNode* n, bool bySize);
    // The cell text of a column (column 0 of a root: the root's full path; a file group:
    // "[N files in <folder path>]"; column 8 of a hard-link duplicate in brackets).
    std::u16string CellText(const TTreeNode* n, int column) const;
    // The cell is drawn in the disabled colour (the bracketed allocated size).
    static bool CellDisabled(const TTreeNode* n, int column);
    // How a row's name and path are drawn: hidden items (attribute 0x2) in the gray-text
    // colour, else compressed ones (0x800) in the highlight colour; deleted records struck out
    // in red (DeletedLook).
    enum class TNodeLook : uint8_t { Normal, Compressed, Hidden };
    static TNodeLook NodeLook(const TTreeNode* n);
    static bool DeletedLook(const TTreeNode* n) { return n->Data.Rec->Deleted; }

    // ---- navigation
    // The node "Select Parent" moves to: the parent, skipping a file-group node to its folder.
    static TTreeNode* ParentForSelect(TTreeNode* n);
    // The node of a full path below start (start nil: the top-level nodes), components
    // compared by name (an exact match first, else equal under the name collation). The first
    // component ends at the first separator at or after position firstOffset - 1, so passing
    // the length of a root's path ("C:\", "/home/me") keeps that root one component; with 0
    // or 1 the first separator ends it. The last component is also searched for inside
    // file-group nodes. Children are made as needed.
    TTreeNode* FindNodeByPath(TTreeNode* start, std::u16string_view path, size_t firstOffset = 0);
    // "Select Parent": selects the focused node's parent (passing over a file group) and
    // remembers the node for "Reselect Child". False when there is no such parent.
    bool SelectParent();
    // "Reselect Child": selects the remembered node again and forgets it.
    bool ReselectChild();
    TTreeNode* LastChildNode() const { return FLastChildNode; }
    // A selection change made by the user forgets the remembered node.
    void ForgetLastChild() { FLastChildNode = nullptr; }

    // The top-level node of the scan whose root record is root.
    TTreeNode* RootNodeOf(PMFT_RECORD root) const;

    // ---- state kept across a rescan
    TTreeViewState CaptureViewState();
    // The same with the entries' records instead of their paths, which FillPaths makes later
    // (on another thread, while the records stay as they are): the window's thread only lists
    // the nodes.
    TTreeViewState CaptureViewRecords();
    static void FillPaths(TTreeViewState& state);
    // Expands and selects the captured paths that still exist.
    void RestoreViewState(const TTreeViewState& state);
    // True when the tree shows the source state was captured from (its first top-level node
    // has the same path): only then is the state restored after a scan.
    bool SameSourceAs(const TTreeViewState& state) const;

    // ---- status texts
    // "Selected Files: 3  Total Size: 1.2 MB  Allocated: 1.5 MB"; empty without selection.
    // The focused node counts as selected (without being marked). Deleted records are left
    // out, a node below a counted one is not counted again, and a file group counts its
    // files. Reads the tree only.
    std::u16string SelectionStatusText() const;
    // Selects (only) the file nodes whose extension key equals key (".jpg", ASCII case
    // ignored), collapsed ones too; nothing for a key that is empty or longer than 15
    // characters. Returns the number selected; first (when given) receives the first of them
    // in view order, or nil.
    size_t SelectFilesOfExtension(std::u16string_view key, TTreeNode** first = nullptr);

    // The file-group records made by the last load.
    size_t FileGroupCount() const { return FFileNodes.size(); }
    // After the scans' totals were summed again (items removed on disk): each file group's
    // record takes its folder's own figures again, and is deleted when its folder is.
    void RefreshFileGroups();

protected:
    void MakeChildren(TTreeNode* n) override;
    bool MayHaveChildren(const TTreeNode* n) const override;

private:
    // FindNodeByPath, looking children up through index when given (many paths at once).
    TTreeNode* FindNodeByPath(TTreeNode* start, std::u16string_view path, size_t firstOffset,
                              TChildNameIndex* index);
    TTreeNode* AddNode(TTreeNode* parent, PMFT_RECORD rec);
    TTreeNode* AddGroupNode(TTreeNode* parent, PMFT_RECORD folder);
    // The group record's figures: the folder's own-level totals.
    static void SetGroupTotals(TMFT_RECORD& group, const TMFT_RECORD& folder);
    // Sorts a list of children (parent nil: the top-level nodes) by the sort column and
    // direction, ties by name.
    void SortKids(TTreeNode* parent, TTreeNode** kids, size_t count) const;
    // Gives each node of the list its NameRank (the order of CompareRecordNames).
    void RankNames(TTreeNode** kids, size_t count) const;

    TTreeNode* FLastChildNode = nullptr;
    int FSortColumn = tcAllocated;
    TSortDirection FSortDirection = TSortDirection::Descending;
    bool FGroupsOn = true; // grouping in force for the current load
    int FMinGroup = 4;
    // A node's sort key (already turned for the direction) and its tie: the name rank (also
    // turned) above its list position.
    struct TSortItem {
        uint64_t key;
        uint64_t tie;
    };
    mutable std::vector<TSortItem> FSortScratch;
    mutable std::vector<TTreeNode*> FNodeScratch;
    TRecordArena FGroupArena;                   // file-group records and their folder blocks
    std::vector<PMFT_RECORD> FFileNodes;        // the file-group records
    std::vector<PMFT_RECORD> FFileGroupFolders; // the folder of each file-group record
    // The scans the last load shows, each with the record of its top-level node.
    struct TLoadedScan {
        TNTFS_FILES* Scan;
        PMFT_RECORD Root;
    };
    std::vector<TLoadedScan> FLoadedScans;
};

} // namespace qz
