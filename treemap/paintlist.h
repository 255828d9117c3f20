// What a drawing puts on its bitmap, in drawing order: fills, cushions, fitted and wrapped
// labels and frame lines. The walk lays out and records; the pixels are made afterwards by
// replaying the list, either at once or split into bands of rows that threads of their own
// replay side by side.
//
// A band replays every operation that touches its rows, in the recorded order, clipped to its
// rows: each pixel then sees the same writes in the same order as in one replay of the whole
// list, so a picture drawn in bands has the same bytes as one drawn at once (cushions are
// shaded row by row from their whole rectangle; texts and lines are drawn through a canvas
// whose clip is narrowed to the band).
#pragma once

#include "base/color.h"
#include "treemap/bitmap.h"
#include "treemap/canvas.h"
#include "treemap/geometry.h"
#include "treemap/shading.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class TPaintList {
public:
    void Clear();
    bool Empty() const { return FOps.empty(); }
    size_t Size() const { return FOps.size(); }

    // ---- recording (the arguments of the drawing functions they stand for)
    // Pixels [x0, x1) x [y0, y1) in colour c (TTreemapBitmap::FillRect).
    void Fill(int x0, int y0, int x1, int y1, TColor c);
    // RenderCushion with the replay's shading.
    void Cushion(const TctRectangle& bounds, TColor c, const TCushionSurface& surface);
    // DrawFittedLine and DrawWrappedLabel (labels.h).
    void FittedLine(const TIntRect& rect, std::u16string_view head, std::u16string_view suffix);
    void WrappedLabel(const TIntRect& rect, std::u16string_view text, std::u16string_view suffix);
    // TTreemapCanvas::DrawLine.
    void Line(int x0, int y0, int x1, int y1, TColor c);
    // Appends other's operations after these (as if they had been recorded here).
    void Append(const TPaintList& other);

    // Replays the operations that touch rows [top, bottom) into bitmap, clipped to them; INT_MIN
    // and INT_MAX leave an end open (the first and the last band, so that texts and lines
    // beyond the bitmap's edge reach the canvas as they would in one replay). canvas is asked
    // for once, when the first text or line of the band comes; it may return nil (no text
    // available) and then texts and lines are left out. Stops early when cancel becomes set.
    void Replay(TTreemapBitmap& bitmap, int top, int bottom, const TTreemapShading& shading,
                const std::function<TTreemapCanvas*()>& canvas,
                const std::atomic<bool>* cancel = nullptr) const;

private:
    enum class TKind : uint8_t { Fill, Cushion, FittedLine, WrappedLabel, Line };
    struct TOp {
        TKind Kind;
        TColor Color;
        // Fill, texts: the pixels; Line: the two points (x0, y0) -> (x1, y1) in Left, Top,
        // Right, Bottom.
        TIntRect Rect;
        TctRectangle Bounds;                                             // Cushion
        TCushionSurface Surface;                                         // Cushion
        uint32_t Text = 0, TextLength = 0, Suffix = 0, SuffixLength = 0; // into FText
    };
    // An operation drawing text (with suffix) in rect; the texts go to the shared buffer.
    void AddText(TKind kind, const TIntRect& rect, std::u16string_view text,
                 std::u16string_view suffix);
    // The rows [first, last] an operation may write to (the widest: text may be clipped to less).
    static void RowsOf(const TOp& op, int& first, int& last);

    std::vector<TOp> FOps;
    std::u16string FText; // every text recorded, one after another
};

// A canvas that passes everything on to another one with its drawing kept inside rows
// [top, bottom): a text's clip is narrowed to them, a line is cut to them. Measuring is
// passed on as it is.
class TBandCanvas : public TTreemapCanvas {
public:
    TBandCanvas(TTreemapCanvas& inner, int top, int bottom)
        : FInner(inner), FTop(top), FBottom(bottom) {}
    int TextWidth(std::u16string_view text) override { return FInner.TextWidth(text); }
    int LineHeight() override { return FInner.LineHeight(); }
    void DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) override;
    void DrawLine(int x0, int y0, int x1, int y1, TColor color) override;

private:
    TTreemapCanvas& FInner;
    int FTop, FBottom;
};

} // namespace qz
