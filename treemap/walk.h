// The drawing walk (DrawTreemapNode): for one top item and its bounds, every node below is
// laid out, given its ridge, and shaded (leaves) or labelled (folders' name strips),
// depth-first in layout order from an explicit stack. The layout is written into a
// TTreemapLayout (maplayout.h), never into the views; the shading and labels are recorded in
// drawing order into a TPaintList (paintlist.h), which makes the pixels afterwards.
//
// The walk reads the scans' records directly: a folder's children are the ones the folder tree
// shows (TDisplayTree::ShowsRecord, IsFolderLike and its file-group rule), taken in descending
// size order from a sorted copy of the list; the records are only read, so the walk may run on
// a thread of its own while the window goes on. TTreemap (treemap.h) runs it for each scan or
// for the zoom item; benchmarks and tests may run it directly.
#pragma once

#include "treemap/bitmap.h"
#include "treemap/canvas.h"
#include "treemap/childorder.h"
#include "treemap/geometry.h"
#include "treemap/maplayout.h"
#include "treemap/paintlist.h"
#include "treemap/shading.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qz {

struct TTreemapProgress;

// One leaf's shading job (recorded on request, for benchmarks).
struct TCushionJob {
    TctRectangle Bounds;
    TColor Color = 0;
    TCushionSurface Surface;
};

struct TWalkSettings {
    bool Allocated = true; // sizes are allocated sizes; hard-link duplicates take no area
    bool Names = true;     // folder name strips and leaf labels
    bool Gray = false;     // every leaf in the gray cushion colour
    int TextHeight = 12;   // iTREEMAPTEXTHEIGHT
    int TextMinWidth = 80; // iTREEMAPTEXTMINWIDTH
    TTreemapShading Shading;
    bool Shade = true; // false: layout only (rectangles are stored, nothing is recorded)
    std::vector<TCushionJob>* RecordCushions = nullptr; // when set, every leaf's job is appended
    const std::function<std::u16string(std::u16string_view)>* RootDisplayName = nullptr;
    TFormatSettings Format; // the sizes in the labels
    // Which folders show their files as one file-group node (the folder tree's rule).
    TDisplayTree::TGroupRule Groups;
    // Children in descending order of their sizes; otherwise of their allocated sizes.
    bool OrderBySize = false;
    // Where the folders' sorted children are kept from one walk to the next (nil: each walk
    // sorts afresh). The caller has made it valid for these settings (TChildOrders::Use).
    TChildOrders* Orders = nullptr;
    // Set by another thread to stop the walk early (the picture is then incomplete).
    const std::atomic<bool>* Cancel = nullptr;
    // 2: Draw shares the nodes below the top item with a second thread once they split into
    // two parts of similar area (the layout and the paint list are the same as from one
    // thread). Ignored while RecordCushions is set.
    int Threads = 1;
};

class TTreemapWalk {
public:
    // The cushions, labels and frames are appended to paint.
    TTreemapWalk(TTreemapLayout& layout, TExtColors& colors, TPaintList& paint,
                 const TWalkSettings& settings);

    // Progress for the next Draw: records is the size of the scan being drawn.
    void SetProgress(const TTreemapProgress* progress, size_t records);

    // DrawTreemapNode with the top flag for item (already in the layout; its rectangle is the
    // caller's): its own surface is flat and gets no ridge, its children get ridges of height
    // tm_H * tm_F, theirs tm_H * tm_F^2 and so on. Bounds smaller than one pixel in either
    // direction draw nothing; children whose rounded bounds are that small are not drawn and
    // not put into the layout.
    void Draw(uint32_t item, const TctRectangle& bounds);
    // True when the last Draw stopped because Cancel was set.
    bool Cancelled() const { return FCancelled; }

    // Number of nodes laid out, shaded and skipped by the last walks (for tests and benches).
    struct Counters {
        uint64_t Visited = 0, Leaves = 0, Skipped = 0, Layouts = 0, Children = 0;
        uint64_t Shared = 0; // of Visited, drawn by the second thread
    };
    const Counters& Stats() const { return FStats; }

private:
    struct Frame {
        uint32_t Item;
        TctRectangle Bounds;
        TCushionSurface Surface;
        float CushionHeight;
        bool Top;
    };
    // A child as the folder tree lists it: a record, or the folder's file group.
    struct Kid {
        uint64_t Key; // the order's size
        uint32_t Pos; // position in the tree's list (ties)
        PMFT_RECORD Rec;
        bool Group;
    };
    // Draws the frames on the stack, last first, until none is left or Cancel is set.
    void Run();
    // Draw on two threads (S.Threads == 2): the first nodes one by one until the frames waiting
    // split into two parts of similar area, then the later part (the bottom of the stack) on a
    // helper walk of its own thread, appended to this walk's layout and paint list after both
    // ended, as one thread would have made them.
    void DrawShared();
    // Appends what helper made after the split (its layout held this walk's first `shared`
    // items; frames: the ones it was handed).
    void Join(TTreemapWalk& helper, size_t shared, std::span<const Frame> frames);
    // One node: skipped below a pixel, else its ridge, then shaded as a leaf or laid out
    // with its children pushed in reverse order.
    void DrawTreemapNode(const Frame& f);
    // The children item shows in the folder tree, in the tree's list order; false for none.
    bool ListChildren(const TMapItem& item);
    // The children of item that take area, in layout order: kept in S.Orders, or listed and
    // sorted (and then kept). FListed: whether the folder tree lists any child at all.
    std::span<const TChildEntry> SortedChildren(const TMapItem& item);
    void Leaf(const TMapItem& item, const TctRectangle& b, const TCushionSurface& s);
    void NameStrip(const TMapItem& item, const TctRectangle& b);
    // Progress for a subtree left out (smaller than a pixel).
    void CountSkipped(PMFT_RECORD rec, bool group);

    TTreemapLayout& FLayout;
    TExtColors& FColors;
    TPaintList& FPaint;
    const TWalkSettings& S;
    bool FCancelled = false;

    const TTreemapProgress* FProgress = nullptr;
    uint64_t FProgressTotal = 0, FProgressCounter = 0;
    int FProgressShown = 0;

    std::vector<Frame> FStack;
    // Scratch of one folder's layout, reused from folder to folder.
    std::vector<Kid> FKids;
    std::vector<TChildEntry> FSorted;
    bool FListed = false;
    std::vector<uint64_t> FSizes;
    std::vector<TMapRect> FRects;
    std::vector<TctRectangle> FBounds; // the children kept, rounded to the pixel grid
    std::vector<uint8_t> FPlaced;
    std::u16string FText, FSuffix;
    Counters FStats;
};

// The size of a node on the treemap: its record's subtree total (allocated or not); for a
// file its own size; for a file group its folder's own files.
inline uint64_t TreemapSize(PMFT_RECORD rec, bool group, bool allocated) {
    if (group) return allocated ? rec->ThisFolderTotSizeAlloc() : rec->ThisFolderTotSize();
    return allocated ? rec->SubFoldersTotSizeAlloc : rec->SubFoldersTotSize;
}

} // namespace qz
