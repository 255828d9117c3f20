// Cushion shading: the light, the ridges that give each nesting level its relief, and
// RenderCushion, which shades one rectangle pixel by pixel into the bitmap's rows.
//
// The arithmetic is single precision throughout (every stored intermediate is a float) and the
// inverse square root is the bit-pattern approximation with one Newton step, so the bytes of
// a picture are reproducible.
#pragma once

#include "treemap/bitmap.h"
#include "treemap/geometry.h"

#include "base/color.h"
#include <atomic>

namespace qz {

// The shading state of a drawing.
struct TTreemapShading {
    float tm_Lx = 0, tm_Ly = 0, tm_Lz = 0; // unit vector towards the light
    float tm_Ia = 0.13f;                   // ambient light
    float tm_Is = 0.87f;                   // diffuse light, 1 - tm_Ia
    float tm_Brightness = 0.88f;           // brightness factor numerator
    float tm_BrightnessRef = 0.6f;         // brightness factor denominator
    float tm_H = 0.18f;                    // ridge height of the first level below the top
    float tm_F = 0.91f;                    // ridge height factor per deeper level
    bool GradientEnabled = true;           // false: flat shading (lum 0.85 everywhere)
    bool tm_FastDraw = true;               // compute every second pixel of a row and copy it

    // Light (-1, -1, 10) / sqrt(102), the constants above, gradients on, fast mode on.
    TTreemapShading();
    // The same light with the gray-mode values: no ambient light, full diffuse light and a
    // brightness factor of 1.
    TTreemapShading Gray() const;
};

// Every gray-mode cushion's base colour, and the gray-mode free-space colour.
inline constexpr TColor kGrayCushionColor = 0xE0E0E0;
inline constexpr TColor kGrayFreeSpaceColor = 0xFFFFFF;

// A cushion surface z = s1*x^2 + s0*x + s3*y^2 + s2*y in bitmap pixel coordinates; only its
// slopes matter.
struct TCushionSurface {
    float s[4] = {0, 0, 0, 0};
};

// Adds the ridge of height h over bounds: for each axis whose extent truncates to a non-zero
// number of pixels, a parabola that is level in the middle and equally high at both bounds.
void AddRidge(TCushionSurface& surface, const TctRectangle& bounds, float h);

// Shades the pixels of bounds (columns trunc(x-min + 0.5) .. trunc(x-max - 0.5), rows likewise,
// both inclusive, clipped to the bitmap) with base colour c (0xRRGGBB) over surface. When
// cancel is given and becomes set, the shading stops after the current rows.
void RenderCushion(TTreemapBitmap& bitmap, const TctRectangle& bounds, TColor c,
                   const TCushionSurface& surface, const TTreemapShading& shading,
                   const std::atomic<bool>* cancel = nullptr);
// RenderCushion limited to the bitmap rows [rowTop, rowBottom): those rows get exactly the bytes
// the whole cushion gives them (the darker last row and column stay those of bounds).
void RenderCushionRows(TTreemapBitmap& bitmap, const TctRectangle& bounds, TColor c,
                       const TCushionSurface& surface, const TTreemapShading& shading, int rowTop,
                       int rowBottom, const std::atomic<bool>* cancel = nullptr);

} // namespace qz
