// The drawing walk over the display tree (DrawTreemapNode): for one top node and its bounds,
// every node below is laid out, given its ridge, and shaded (leaves) or labelled (folders'
// name strips), depth-first in tree order from an explicit stack. TTreemap (treemap.h) runs
// it for each scan or for the zoom node; benchmarks and tests may run it directly.
#pragma once

#include "treemap/bitmap.h"
#include "treemap/canvas.h"
#include "treemap/geometry.h"
#include "treemap/shading.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <cstdint>
#include <functional>
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
    bool Shade = true; // false: layout only (rectangles are stored, no pixels, no labels)
    std::vector<TCushionJob>* RecordCushions = nullptr; // when set, every leaf's job is appended
    const std::function<std::u16string(std::u16string_view)>* RootDisplayName = nullptr;
    TFormatSettings Format; // the sizes in the labels
};

class TTreemapWalk {
public:
    // canvas is asked for the first time a label or frame is drawn; it may return nil (no
    // text available), and then labels and frames are left out.
    TTreemapWalk(TDisplayTree& tree, TExtColors& colors, TTreemapBitmap& bitmap,
                 const TWalkSettings& settings, std::function<TTreemapCanvas*()> canvas);

    // Progress for the next Draw: records is the size of the scan being drawn.
    void SetProgress(TTreemapProgress* progress, size_t records);

    // DrawTreemapNode with the top flag: node's own surface is flat and gets no ridge, its
    // children get ridges of height tm_H * tm_F, theirs tm_H * tm_F^2 and so on. Bounds smaller
    // than one pixel in either direction draw nothing. A nil node draws nothing.
    void Draw(TTreeNode* node, const TctRectangle& bounds);

    // Number of nodes laid out, shaded and skipped by the last walks (for tests and benches).
    struct Counters {
        uint64_t Visited = 0, Leaves = 0, Skipped = 0, Layouts = 0, Children = 0;
    };
    const Counters& Stats() const { return FStats; }

private:
    struct Frame {
        TTreeNode* Node;
        TctRectangle Bounds;
        TCushionSurface Surface;
        float H;
        bool Top;
    };
    // One node: skipped below a pixel, else its ridge, then shaded as a leaf or laid out
    // with its children pushed in reverse order.
    void DrawTreemapNode(const Frame& f);
    void Leaf(TTreeNode* node, const TctRectangle& b, const TCushionSurface& s);
    void NameStrip(TTreeNode* node, const TctRectangle& b);
    TTreemapCanvas* Canvas();
    void CountSkipped(TTreeNode* node);

    TDisplayTree& FTree;
    TExtColors& FColors;
    TTreemapBitmap& FBitmap;
    const TWalkSettings& S;
    std::function<TTreemapCanvas*()> FCanvasSource;
    TTreemapCanvas* FCanvas = nullptr;
    bool FCanvasAsked = false;

    TTreemapProgress* FProgress = nullptr;
    uint64_t FProgressTotal = 0, FProgressCounter = 0;
    int FProgressShown = 0;

    std::vector<Frame> FStack;
    // Scratch of one folder's layout, reused from folder to folder.
    std::vector<TTreeNode*> FKids;
    std::vector<uint64_t> FSizes;
    std::vector<TMapRect> FRects;
    std::vector<uint8_t> FPlaced;
    std::u16string FText, FSuffix;
    Counters FStats;
};

// The size of a node on the treemap: its record's subtree total (allocated or not); for a
// file its own size.
inline uint64_t TreemapSize(const TTreeNode* n, bool allocated) {
    return allocated ? n->Data.Rec->SubFoldersTotSizeAlloc : n->Data.Rec->SubFoldersTotSize;
}

} // namespace qz
