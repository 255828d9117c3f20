// The treemap's 24-bit bitmap: rows top-down, three bytes per pixel in the order B, G, R, each
// row padded to a multiple of four bytes. Cushions are shaded straight into the rows; labels
// and frame lines are drawn through a canvas over the same memory (canvas.h).
#pragma once

#include "base/color.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

namespace qz {

class TTreemapBitmap {
public:
    // Size limits: a side of at most 65535 pixels and at most 2^28 pixels (768 MiB) in all.
    static constexpr int kMaxSide = 65535;
    static constexpr int64_t kMaxPixels = int64_t(1) << 28;

    TTreemapBitmap() = default;
    // Moving hands the memory over; the source becomes empty.
    TTreemapBitmap(TTreemapBitmap&& o) noexcept { *this = std::move(o); }
    TTreemapBitmap& operator=(TTreemapBitmap&& o) noexcept {
        if (this != &o) {
            FBits = std::move(o.FBits);
            FWidth = o.FWidth;
            FHeight = o.FHeight;
            FStride = o.FStride;
            o.FWidth = o.FHeight = 0;
            o.FStride = 0;
        }
        return *this;
    }

    // Allocates a width x height bitmap (contents undefined). On failure (a side below 1,
    // a size beyond the limits, not enough memory) the bitmap is empty, error receives a
    // message naming the size and false is returned.
    bool Create(int width, int height, std::string& error);
    // Frees the memory; the bitmap becomes empty.
    void Release();
    // Checks a requested size against the limits without allocating; "" when acceptable.
    static std::string CheckSize(int width, int height);

    bool Empty() const { return !FBits; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    size_t Stride() const { return FStride; }
    uint8_t* Bits() { return FBits.get(); }
    const uint8_t* Bits() const { return FBits.get(); }
    uint8_t* Row(int y) { return FBits.get() + size_t(y) * FStride; }
    const uint8_t* Row(int y) const { return FBits.get() + size_t(y) * FStride; }

    // Fills the pixels [x0, x1) x [y0, y1), clipped to the bitmap, with c (0xRRGGBB).
    void FillRect(int x0, int y0, int x1, int y1, TColor c);
    void Fill(TColor c) { FillRect(0, 0, FWidth, FHeight, c); }
    // The pixel at (x, y) as 0xRRGGBB (for checks and tests).
    TColor Pixel(int x, int y) const;

private:
    std::unique_ptr<uint8_t[]> FBits;
    int FWidth = 0, FHeight = 0;
    size_t FStride = 0;
};

} // namespace qz
