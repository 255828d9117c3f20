// The canvas through which the treemap draws its text and frame lines onto the bitmap.
// Cushions never go through it: they are shaded straight into the bitmap's rows.
#pragma once

#include "base/color.h"

#include <string_view>

namespace qz {

// An integer rectangle: the pixels [Left, Right) x [Top, Bottom).
struct TIntRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TIntRect&) const = default;
};

class TTreemapCanvas {
public:
    virtual ~TTreemapCanvas() = default;

    // Width in pixels of text in the label font.
    virtual int TextWidth(std::u16string_view text) = 0;
    // Height of one line of text in the label font.
    virtual int LineHeight() = 0;
    // Draws one line of text in the label colour with a transparent background, its top left
    // corner at (x, y), clipped to clip.
    virtual void DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) = 0;
    // A one-pixel line from (x0, y0) towards (x1, y1), the end point not drawn (as a pen
    // moving from point to point draws it). Lines are horizontal or vertical.
    virtual void DrawLine(int x0, int y0, int x1, int y1, TColor color) = 0;
};

} // namespace qz
