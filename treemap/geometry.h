// Treemap geometry: the layout rectangle of an item, and the bounds that carry pixels down the
// drawing walk and describe the free-space strips.
#pragma once

namespace qz {

// An item's layout rectangle in pixels of the treemap bitmap (fractions kept).
struct TMapRect {
    float Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TMapRect&) const = default;
};

// Bounds in pixels of the treemap bitmap, single precision, indexed [axis][bound]: R[0] is
// x (min, max), R[1] is y (min, max). For whole-number bounds the pixels covered are the
// half-open ranges [x-min, x-max) and [y-min, y-max).
struct TctRectangle {
    float R[2][2] = {{0, 0}, {0, 0}};

    TctRectangle() = default;
    TctRectangle(float xmin, float xmax, float ymin, float ymax) : R{{xmin, xmax}, {ymin, ymax}} {}

    float XMin() const { return R[0][0]; }
    float XMax() const { return R[0][1]; }
    float YMin() const { return R[1][0]; }
    float YMax() const { return R[1][1]; }
    float Width() const { return R[0][1] - R[0][0]; }
    float Height() const { return R[1][1] - R[1][0]; }
    bool operator==(const TctRectangle&) const = default;
};

} // namespace qz
