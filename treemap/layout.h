// The squarified layout of one folder's children: a pure function over their sizes.
//
// The children (in display order, which the drawing makes a descending size order) fill the
// folder's area strip by strip. Each strip lies along the shorter side of the remaining area
// (a column at the left edge when the area is at least as wide as high, else a row at the
// top) and takes the longest run of the next items that does not make the worst aspect ratio
// of the strip worse. The rest of the area then shrinks by the strip's thickness.
#pragma once

#include "treemap/geometry.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace qz {

// Items from this index on are no longer laid out by strips.
inline constexpr size_t kLayoutItemLimit = 50000;
// Greatest number of strips per folder.
inline constexpr int kLayoutStripLimit = 1000;
// Least advance of a strip, and least remaining extent worth another strip (pixels).
inline constexpr double kLeastStripAdvance = 0.25;

// Lays out items[start..] of sizes into area (left, top, width, height), strip counter k0 being
// the number of the first strip made here (1 for a folder's first call). Item i's rectangle is
// written to rects[i] and placed[i] is set to 1; items beyond the item or strip limit are left
// as they are with placed[i] = 0 (their rectangles keep earlier values). rects and placed
// must be as long as sizes. Returns the number of items placed.
size_t SquarifyChildren(int k0, size_t start, std::span<const uint64_t> sizes, TMapRect area,
                        std::span<TMapRect> rects, std::span<uint8_t> placed);

} // namespace qz
