#include "treemap/bitmap.h"

#include "base/text.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qz {

namespace {

std::string SizeText(int width, int height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

} // namespace

std::string TTreemapBitmap::CheckSize(int width, int height) {
    if (width < 1 || height < 1)
        return std::string(tr("Invalid treemap image size")) + " " + SizeText(width, height) +
               ": " + tr("width and height must be at least 1 pixel");
    if (width > kMaxSide || height > kMaxSide || int64_t(width) * height > kMaxPixels)
        return std::string(tr("Treemap image size")) + " " + SizeText(width, height) + " " +
               tr("is too large") + ": " + tr("at most") + " " + std::to_string(kMaxSide) + " " +
               tr("pixels per side and") + " " + std::to_string(kMaxPixels) + " " +
               tr("pixels in all");
    return {};
}

bool TTreemapBitmap::Create(int width, int height, std::string& error) {
    Release();
    error = CheckSize(width, height);
    if (!error.empty()) return false;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    const size_t bytes = stride * size_t(height);
    FBits.reset(new (std::nothrow) uint8_t[bytes]);
    if (!FBits) {
        error = std::string(tr("Not enough memory for a treemap image of")) + " " +
                SizeText(width, height) + " (" + std::to_string(bytes >> 20) + " MiB)";
        return false;
    }
    FWidth = width;
    FHeight = height;
    FStride = stride;
    return true;
}

void TTreemapBitmap::Release() {
    FBits.reset();
    FWidth = FHeight = 0;
    FStride = 0;
}

void TTreemapBitmap::FillRect(int x0, int y0, int x1, int y1, TColor c) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, FWidth);
    y1 = std::min(y1, FHeight);
    if (x0 >= x1 || y0 >= y1) return;
    const uint8_t b = uint8_t(c), g = uint8_t(c >> 8), r = uint8_t(c >> 16);
    // Build the first row, then copy it to the others.
    uint8_t* first = Row(y0) + size_t(x0) * 3;
    for (int x = x0; x < x1; ++x, first += 3) {
        first[0] = b;
        first[1] = g;
        first[2] = r;
    }
    const size_t n = size_t(x1 - x0) * 3;
    for (int y = y0 + 1; y < y1; ++y)
        std::memcpy(Row(y) + size_t(x0) * 3, Row(y0) + size_t(x0) * 3, n);
}

TColor TTreemapBitmap::Pixel(int x, int y) const {
    const uint8_t* p = Row(y) + size_t(x) * 3;
    return TColor(p[2]) << 16 | TColor(p[1]) << 8 | p[0];
}

} // namespace qz
