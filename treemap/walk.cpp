#include "treemap/walk.h"

#include "engine/tree.h"
#include "treemap/labels.h"
#include "treemap/layout.h"
#include "treemap/treemap.h"
#include "views/format.h"

#include <cmath>

namespace qz {

namespace {

constexpr TColor kFrameDark = 0x303030;  // left and bottom edge of a folder's frame
constexpr TColor kFrameLight = 0x404040; // right and top edge
constexpr size_t kPrefetchAhead = 8;     // children whose records are fetched ahead

int Trunc(float v) {
    if (!(v > -1.0e9f)) return v != v ? 0 : -1000000000;
    if (v > 1.0e9f) return 1000000000;
    return int(v);
}

// Round to nearest, halves to even (the default rounding mode).
float RoundEven(float v) {
    return std::nearbyint(v);
}

} // namespace

TTreemapWalk::TTreemapWalk(TDisplayTree& tree, TExtColors& colors, TTreemapBitmap& bitmap,
                           const TWalkSettings& settings, std::function<TTreemapCanvas*()> canvas)
    : FTree(tree), FColors(colors), FBitmap(bitmap), S(settings), FCanvasSource(std::move(canvas)) {
}

void TTreemapWalk::SetProgress(TTreemapProgress* progress, size_t records) {
    FProgress = progress;
    FProgressTotal = records;
    FProgressCounter = 1;
    FProgressShown = 0;
}

TTreemapCanvas* TTreemapWalk::Canvas() {
    if (!FCanvasAsked) {
        FCanvasAsked = true;
        FCanvas = FCanvasSource ? FCanvasSource() : nullptr;
    }
    return FCanvas;
}

void TTreemapWalk::Draw(TTreeNode* node, const TctRectangle& bounds) {
    if (!node) return;
    FStack.clear();
    FStack.push_back(Frame{node, bounds, TCushionSurface{}, S.Shading.tm_H, true});
    while (!FStack.empty()) {
        const Frame f = FStack.back();
        FStack.pop_back();
        DrawTreemapNode(f);
    }
}

void TTreemapWalk::CountSkipped(TTreeNode* node) {
    if (!FProgress || node->Data.IsFileGroup || FProgressTotal == 0) return;
    const PMFT_RECORD r = node->Data.Rec;
    FProgressCounter += uint64_t(uint32_t(r->SubFoldersNumFiles())) +
                        uint64_t(uint32_t(r->SubFoldersNumDirs())) + 1;
    const int pct = int(FProgressCounter * 100 / FProgressTotal);
    if (std::abs(pct - FProgressShown) >= 20) {
        FProgressShown = pct;
        if (FProgress->Step) FProgress->Step(pct);
    }
}

void TTreemapWalk::DrawTreemapNode(const Frame& f) {
    TTreeNode* node = f.Node;
    const TctRectangle& b = f.Bounds;
    // A subtree smaller than a pixel is neither drawn nor laid out.
    if (!(b.Width() >= 1) || !(b.Height() >= 1)) {
        ++FStats.Skipped;
        if (!f.Top) CountSkipped(node);
        return;
    }
    ++FStats.Visited;
    TCushionSurface s = f.Surface;
    if (!f.Top) AddRidge(s, b, f.H);

    auto kids = FTree.Children(node);
    if (kids.empty()) {
        Leaf(node, b, s);
        return;
    }
    // The children that take area, in tree order.
    FKids.clear();
    FSizes.clear();
    FStats.Children += kids.size();
    const size_t m = kids.size();
    for (size_t i = 0; i < m; ++i) {
        // The children's records lie anywhere in memory: ask for them a few steps ahead.
        if (i + 2 * kPrefetchAhead < m) __builtin_prefetch(kids[i + 2 * kPrefetchAhead]);
        if (i + kPrefetchAhead < m)
            __builtin_prefetch(&kids[i + kPrefetchAhead]->Data.Rec->SubFoldersTotSize);
        TTreeNode* c = kids[i];
        const uint64_t size = TreemapSize(c, S.Allocated);
        if (size == 0 || (S.Allocated && c->Data.Rec->DoNotCountFlag)) continue;
        FKids.push_back(c);
        FSizes.push_back(size);
    }
    TMapRect area{b.XMin(), b.YMin(), b.Width(), b.Height()};
    if (S.Names && !node->Data.IsFileGroup && area.Height > float(S.TextHeight) &&
        area.Width >= float(S.TextMinWidth)) {
        if (S.Shade) NameStrip(node, b);
        area.Top += float(S.TextHeight + 1);
        area.Height -= float(S.TextHeight + 2);
        area.Left += 2;
        area.Width -= 4;
    }
    const size_t n = FKids.size();
    if (n == 0) return;
    FRects.resize(n);
    FPlaced.resize(n);
    SquarifyChildren(1, 0, FSizes, area, FRects, FPlaced);
    ++FStats.Layouts;

    // Children are drawn in tree order: push them last first.
    const float h = f.H * S.Shading.tm_F;
    for (size_t i = n; i-- > 0;) {
        TMapRect* r = FTree.EnsureMapRect(FKids[i]);
        // Items beyond the layout limits keep an earlier rectangle (or a zero one) but are
        // not drawn: that rectangle belongs to another drawing.
        if (!FPlaced[i]) continue;
        *r = FRects[i];
        const TctRectangle cb(RoundEven(r->Left), RoundEven(r->Left + r->Width), RoundEven(r->Top),
                              RoundEven(r->Top + r->Height));
        FStack.push_back(Frame{FKids[i], cb, s, h, false});
    }
}

void TTreemapWalk::Leaf(TTreeNode* node, const TctRectangle& b, const TCushionSurface& s) {
    ++FStats.Leaves;
    if (!S.Shade && !S.RecordCushions) return;
    const PMFT_RECORD rec = node->Data.Rec;
    const TColor color = S.Gray ? kGrayCushionColor : FColors.GetFileColor(rec->Name());
    if (S.RecordCushions) S.RecordCushions->push_back(TCushionJob{b, color, s});
    if (!S.Shade) return;
    RenderCushion(FBitmap, b, color, s, S.Shading);
    if (!S.Names || !(float(S.TextHeight) < b.Height()) || !(float(S.TextMinWidth) < b.Width()))
        return;
    TTreemapCanvas* canvas = Canvas();
    if (!canvas) return;
    const bool file = !rec->IsFolder() && !node->Data.IsFileGroup;
    uint64_t size;
    if (file)
        size = S.Allocated ? rec->AllocSize : rec->FileSize;
    else
        size = S.Allocated ? rec->SubFoldersTotSizeAlloc : rec->SubFoldersTotSize;
    FSuffix = u"(" + FormatSize(size, S.Format) + u")";
    const TIntRect rect{Trunc(b.XMin()) + 4, Trunc(b.YMin()), Trunc(b.XMax() - 2), Trunc(b.YMax())};
    DrawWrappedLabel(*canvas, rect, rec->Name(), FSuffix);
}

void TTreemapWalk::NameStrip(TTreeNode* node, const TctRectangle& b) {
    TTreemapCanvas* canvas = Canvas();
    if (!canvas) return;
    const PMFT_RECORD rec = node->Data.Rec;
    const char16_t sep = PathSeparatorOf(rec);
    FText.assign(rec->Name());
    if (FText.empty() || FText.back() != sep) FText.push_back(sep);
    if (S.RootDisplayName && *S.RootDisplayName) {
        std::u16string shown = (*S.RootDisplayName)(FText);
        if (!shown.empty()) FText.swap(shown);
    }
    const uint64_t size = S.Allocated ? rec->SubFoldersTotSizeAlloc : rec->SubFoldersTotSize;
    FSuffix = u" (" + FormatSize(size, S.Format) + u")";
    const float width = b.Width(), height = b.Height();
    const TIntRect rect{Trunc(b.XMin()) + 4, Trunc(b.YMin()), Trunc(b.XMin() + width - 2),
                        Trunc(b.YMin() + float(S.TextHeight))};
    DrawFittedLine(*canvas, rect, FText, FSuffix);
    // The frame around the folder: dark on the left and bottom, lighter on the right and top.
    const int x0 = Trunc(b.XMin()), y0 = Trunc(b.YMin());
    const int x1 = Trunc(b.XMin() + width), y1 = Trunc(b.YMin() + height);
    canvas->DrawLine(x0, y0, x0, y1, kFrameDark);
    canvas->DrawLine(x0, y1, x1, y1, kFrameDark);
    canvas->DrawLine(x1, y1, x1, y0, kFrameLight);
    canvas->DrawLine(x1, y0, x0, y0, kFrameLight);
}

} // namespace qz
