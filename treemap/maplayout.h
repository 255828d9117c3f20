// The layout of one treemap picture: every item the drawing laid out with its rectangle, kept
// apart from the views (the folder tree never holds treemap geometry), and the questions the
// window asks of it: which item lies under a point, where an item is.
//
// Items are the display tree's nodes as the drawing met them: a folder, a file, or the
// file-group node of a folder (then Rec is the folder's record and the item is flagged); items
// whose rectangle rounds to less than a pixel either way are left out. The
// children of an item lie next to each other in layout order (largest first), so the whole
// layout is one array without per-item allocations. A layout is made by one drawing on the
// drawing's thread, then only read; Finish builds the lookup structures.
#pragma once

#include "engine/types.h"
#include "treemap/geometry.h"

#include <cstdint>
#include <span>
#include <vector>

namespace qz {

inline constexpr uint32_t kNoItem = UINT32_MAX;

struct TMapItem {
    TMapRect Rect;
    PMFT_RECORD Rec = nullptr; // the record shown; a file group: its folder's record
    uint32_t Parent = kNoItem;
    uint32_t FirstChild = 0; // the children laid out, in layout order
    uint32_t ChildCount = 0;
    uint8_t Flags = 0;

    static constexpr uint8_t kFileGroup = 1;
    bool IsFileGroup() const { return Flags & kFileGroup; }
};

// What lies under a point: an item, a drive's free space, or nothing.
struct TMapHit {
    uint32_t Item = kNoItem;
    int FreeIndex = -1; // the scan whose free-space strip holds the point
    bool operator==(const TMapHit&) const = default;
};

class TTreemapLayout {
public:
    std::vector<TMapItem> Items;
    // The top items in hit-testing order: one per scan drawn (its root), or the zoom item.
    std::vector<uint32_t> Tops;
    // Per scan; empty when the drawing showed no free space.
    std::vector<TctRectangle> FreeSpaceRect;
    bool Zoomed = false;

    void Clear();
    uint32_t Add(const TMapItem& item) {
        Items.push_back(item);
        return uint32_t(Items.size() - 1);
    }
    std::span<const TMapItem> Children(uint32_t item) const {
        const TMapItem& i = Items[item];
        return {Items.data() + i.FirstChild, i.ChildCount};
    }

    // Builds the record lookup and the hit-testing grids of large folders. Call once, after
    // the drawing.
    void Finish();

    // The item under (x, y): a point in a free-space strip (when testFreeSpace) gives that
    // strip; otherwise each top item in turn is searched: the first child (in layout order)
    // whose rectangle holds the point is entered, down to the deepest such item; where no
    // child holds the point, the item itself when its own rectangle does. Rectangles include
    // their edges (trunc of each side, sums in floating point first), so a point on an edge
    // two siblings share belongs to the first. Items whose record is marked Deleted are passed
    // over (a point on one falls to its folder).
    TMapHit HitTest(int x, int y, bool testFreeSpace) const;
    // The item that shows rec (group: the file group of folder rec); kNoItem when the drawing
    // did not lay it out.
    uint32_t Find(PMFT_RECORD rec, bool group) const;
    // Number of hit-testing grids built (for tests and benchmarks).
    size_t GridCount() const { return FGrids.size(); }

private:
    // Children of large folders indexed by cell: each cell lists, in layout order, the children
    // whose rectangle touches it.
    struct TGrid {
        int X0 = 0, Y0 = 0;            // the pixel at the top-left corner of cell 0
        int64_t Width = 1, Height = 1; // pixels covered (the children's bounding box)
        int64_t Cols = 1, Rows = 1;
        std::vector<uint32_t> Start;   // Cols * Rows + 1 offsets into Entries
        std::vector<uint32_t> Entries; // child item indexes
    };
    void BuildGrid(uint32_t item);
    // The deepest item below top (top included) under the point, as HitTest describes.
    uint32_t Descend(uint32_t top, int x, int y) const;
    // The first child of item that holds the point and is not deleted; kNoItem when none.
    uint32_t ChildAt(uint32_t item, int x, int y) const;
    const TGrid* GridOf(uint32_t item) const;

    std::vector<uint32_t> FSlots;                       // record lookup: item + 1, 0 = free
    std::vector<std::pair<uint32_t, uint32_t>> FGridOf; // (item, grid), sorted by item
    std::vector<TGrid> FGrids;
};

// True when the point lies in the rectangle, edges included, as the hit test counts it.
bool MapRectHolds(const TMapRect& r, int x, int y);

} // namespace qz
