#include "treemap/paintlist.h"

#include "treemap/labels.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace qz {

namespace {

// trunc(v) as a row, far values and NaN held at the ends (a cushion with such bounds draws
// nothing; it is still handed to RenderCushionRows, which decides).
int RowOf(float v, int nanRow) {
    if (v != v) return nanRow;
    if (v < -1.0e9f) return -1000000000;
    if (v > 1.0e9f) return 1000000000;
    return int(v);
}

} // namespace

void TPaintList::Clear() {
    FOps.clear();
    FText.clear();
}

void TPaintList::Fill(int x0, int y0, int x1, int y1, TColor c) {
    TOp op{};
    op.Kind = TKind::Fill;
    op.Color = c;
    op.Rect = TIntRect{x0, y0, x1, y1};
    FOps.push_back(op);
}

void TPaintList::Cushion(const TctRectangle& bounds, TColor c, const TCushionSurface& surface) {
    TOp op{};
    op.Kind = TKind::Cushion;
    op.Color = c;
    op.Bounds = bounds;
    op.Surface = surface;
    FOps.push_back(op);
}

void TPaintList::AddText(TKind kind, const TIntRect& rect, std::u16string_view text,
                         std::u16string_view suffix) {
    TOp op{};
    op.Kind = kind;
    op.Rect = rect;
    op.Text = uint32_t(FText.size());
    op.TextLength = uint32_t(text.size());
    FText.append(text);
    op.Suffix = uint32_t(FText.size());
    op.SuffixLength = uint32_t(suffix.size());
    FText.append(suffix);
    FOps.push_back(op);
}

void TPaintList::FittedLine(const TIntRect& rect, std::u16string_view head,
                            std::u16string_view suffix) {
    AddText(TKind::FittedLine, rect, head, suffix);
}

void TPaintList::WrappedLabel(const TIntRect& rect, std::u16string_view text,
                              std::u16string_view suffix) {
    AddText(TKind::WrappedLabel, rect, text, suffix);
}

void TPaintList::Line(int x0, int y0, int x1, int y1, TColor c) {
    TOp op{};
    op.Kind = TKind::Line;
    op.Color = c;
    op.Rect = TIntRect{x0, y0, x1, y1};
    FOps.push_back(op);
}

void TPaintList::Append(const TPaintList& other) {
    const uint32_t base = uint32_t(FText.size());
    FText.append(other.FText);
    FOps.reserve(FOps.size() + other.FOps.size());
    for (TOp op : other.FOps) {
        op.Text += base;
        op.Suffix += base;
        FOps.push_back(op);
    }
}

void TPaintList::RowsOf(const TOp& op, int& first, int& last) {
    switch (op.Kind) {
    case TKind::Fill:
    case TKind::FittedLine:
    case TKind::WrappedLabel:
        first = op.Rect.Top;
        last = op.Rect.Bottom - 1;
        return;
    case TKind::Line:
        first = std::min(op.Rect.Top, op.Rect.Bottom);
        last = std::max(op.Rect.Top, op.Rect.Bottom);
        return;
    case TKind::Cushion:
        first = RowOf(op.Bounds.YMin() + 0.5f, INT_MIN);
        last = RowOf(op.Bounds.YMax() - 0.5f, INT_MAX);
        return;
    }
}

void TPaintList::Replay(TTreemapBitmap& bitmap, int top, int bottom, const TTreemapShading& shading,
                        const std::function<TTreemapCanvas*()>& canvasSource,
                        const std::atomic<bool>* cancel) const {
    if (top >= bottom) return;
    // The whole list: every operation as recorded, through the canvas as it is.
    const bool whole = top == INT_MIN && bottom == INT_MAX;
    TTreemapCanvas* inner = nullptr;
    bool asked = false;
    std::optional<TBandCanvas> band;
    auto canvas = [&]() -> TTreemapCanvas* {
        if (!asked) {
            asked = true;
            inner = canvasSource ? canvasSource() : nullptr;
            if (inner && !whole) band.emplace(*inner, top, bottom);
        }
        if (band) return &*band;
        return inner;
    };
    size_t sinceCheck = 0;
    for (const TOp& op : FOps) {
        if (cancel && ++sinceCheck == 256) {
            sinceCheck = 0;
            if (cancel->load(std::memory_order_relaxed)) return;
        }
        int first, last;
        RowsOf(op, first, last);
        if (last < top || first >= bottom) continue;
        const std::u16string_view text(FText.data() + op.Text, op.TextLength);
        const std::u16string_view suffix(FText.data() + op.Suffix, op.SuffixLength);
        switch (op.Kind) {
        case TKind::Fill:
            bitmap.FillRect(op.Rect.Left, std::max(op.Rect.Top, top), op.Rect.Right,
                            std::min(op.Rect.Bottom, bottom), op.Color);
            break;
        case TKind::Cushion:
            RenderCushionRows(bitmap, op.Bounds, op.Color, op.Surface, shading, top, bottom,
                              cancel);
            break;
        case TKind::FittedLine:
            if (TTreemapCanvas* c = canvas()) DrawFittedLine(*c, op.Rect, text, suffix);
            break;
        case TKind::WrappedLabel:
            if (TTreemapCanvas* c = canvas()) DrawWrappedLabel(*c, op.Rect, text, suffix);
            break;
        case TKind::Line:
            if (TTreemapCanvas* c = canvas())
                c->DrawLine(op.Rect.Left, op.Rect.Top, op.Rect.Right, op.Rect.Bottom, op.Color);
            break;
        }
    }
}

void TBandCanvas::DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) {
    TIntRect narrowed = clip;
    narrowed.Top = std::max(clip.Top, FTop);
    narrowed.Bottom = std::min(clip.Bottom, FBottom);
    if (narrowed.Height() <= 0 || narrowed.Width() <= 0) return;
    FInner.DrawText(x, y, text, narrowed);
}

void TBandCanvas::DrawLine(int x0, int y0, int x1, int y1, TColor color) {
    if (y0 == y1) { // horizontal (or a point, which draws nothing)
        if (y0 >= FTop && y0 < FBottom) FInner.DrawLine(x0, y0, x1, y1, color);
        return;
    }
    if (x0 == x1) {
        // The rows drawn (the end point left out), cut to the band, drawn downwards.
        const int first = y0 < y1 ? y0 : y1 + 1, last = y0 < y1 ? y1 - 1 : y0;
        const int a = std::max(first, FTop), b = std::min(last, FBottom - 1);
        if (a <= b) FInner.DrawLine(x0, a, x0, b + 1, color);
        return;
    }
    // The treemap draws no slanted lines; one that lies wholly in the band is passed on.
    if (std::min(y0, y1) >= FTop && std::max(y0, y1) < FBottom)
        FInner.DrawLine(x0, y0, x1, y1, color);
}

} // namespace qz
