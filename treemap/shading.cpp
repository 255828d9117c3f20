#include "treemap/shading.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace qz {

TTreemapShading::TTreemapShading() {
    const double len = std::sqrt(102.0);
    tm_Lx = float(-1.0 / len);
    tm_Ly = float(-1.0 / len);
    tm_Lz = float(10.0 / len);
}

TTreemapShading TTreemapShading::Gray() const {
    TTreemapShading g = *this;
    g.tm_Brightness = 1.0f;
    g.tm_BrightnessRef = 1.0f;
    g.tm_Ia = 0.0f;
    g.tm_Is = 1.0f;
    return g;
}

void AddRidge(TCushionSurface& surface, const TctRectangle& b, float h) {
    float* s = surface.s;
    const float w = b.XMax() - b.XMin();
    if (std::trunc(w) != 0) {
        const float f = 4.0f * h / w;
        s[0] += (b.XMin() + b.XMax()) * f;
        s[1] -= f;
    }
    const float hh = b.YMax() - b.YMin();
    if (std::trunc(hh) != 0) {
        const float g = 4.0f * h / hh;
        s[2] += (b.YMin() + b.YMax()) * g;
        s[3] -= g;
    }
}

namespace {

// trunc(v) as a pixel index, with values beyond the int range mapped to safe ends.
int PixelIndex(float v) {
    if (v < -1.0e9f) return int(-1.0e9f);
    if (v > 1.0e9f) return int(1.0e9f);
    return int(v); // truncates toward zero
}

// One channel: trunc(channel * v), limited to 0..255 (NaN gives 0).
inline uint8_t Channel(float channel, float v) {
    const float x = channel * v;
    if (!(x > 0.0f)) return 0;
    if (x >= 255.0f) return 255;
    return uint8_t(int(x));
}

// 1/sqrt(d): the bit-pattern estimate and one Newton step.
inline float InvSqrt(float d) {
    const float r0 = std::bit_cast<float>(0x5F3759DFu - (std::bit_cast<uint32_t>(d) >> 1));
    return r0 * (1.5f - 0.5f * d * r0 * r0);
}

} // namespace

void RenderCushion(TTreemapBitmap& bitmap, const TctRectangle& b, TColor c,
                   const TCushionSurface& surface, const TTreemapShading& sh,
                   const std::atomic<bool>* cancel) {
    RenderCushionRows(bitmap, b, c, surface, sh, 0, bitmap.Height(), cancel);
}

void RenderCushionRows(TTreemapBitmap& bitmap, const TctRectangle& b, TColor c,
                       const TCushionSurface& surface, const TTreemapShading& sh, int rowTop,
                       int rowBottom, const std::atomic<bool>* cancel) {
    if (bitmap.Empty()) return;
    if (std::isnan(b.XMin()) || std::isnan(b.XMax()) || std::isnan(b.YMin()) ||
        std::isnan(b.YMax()))
        return;
    const int px1 = PixelIndex(b.XMin() + 0.5f), px2 = PixelIndex(b.XMax() - 0.5f);
    const int py1 = PixelIndex(b.YMin() + 0.5f), py2 = PixelIndex(b.YMax() - 0.5f);
    if (px2 < px1 || py2 < py1) return;
    // The darker right column and bottom row are those of the whole rectangle, also where
    // the bitmap clips it.
    const float E = (py2 - py1 > 4 && px2 - px1 > 4) ? 0.8f : 1.0f;
    const int x0 = std::max(px1, 0), x1 = std::min(px2, bitmap.Width() - 1);
    const int y0 = std::max({py1, 0, rowTop});
    const int y1 = std::min({py2, bitmap.Height() - 1, rowBottom - 1});
    if (x1 < x0 || y1 < y0) return;

    const float R = float((c >> 16) & 0xFF), G = float((c >> 8) & 0xFF), B = float(c & 0xFF);
    const float s0 = surface.s[0], s1 = surface.s[1], s2 = surface.s[2], s3 = surface.s[3];
    const float Lx = sh.tm_Lx, Ly = sh.tm_Ly, Lz = sh.tm_Lz;
    const float Ia = sh.tm_Ia, Is = sh.tm_Is;
    const float K = sh.tm_Brightness / sh.tm_BrightnessRef;
    const bool gradient = sh.GradientEnabled, fast = sh.tm_FastDraw;

    for (int y = y0; y <= y1; ++y) {
        // A large cushion may take milliseconds: a newer request need not wait for all of it.
        if (cancel && ((y - y0) & 63) == 63 && cancel->load(std::memory_order_relaxed)) return;
        const float ny = -((float(y) + 0.5f) * 2.0f * s3 + s2);
        const float ly = ny * Ly + Lz;
        const float q = ny * ny + 1.0f;
        const bool lastRow = y == py2;
        uint8_t* p = bitmap.Row(y) + size_t(x0) * 3;
        for (int x = x0; x <= x1;) {
            float lum;
            if (gradient) {
                const float nx = -((float(x) + 0.5f) * 2.0f * s1 + s0);
                const float d = q + nx * nx;
                const float r = InvSqrt(d);
                lum = (ly + nx * Lx) * r;
                if (lum > 1.0f) lum = 1.0f;
            } else {
                lum = 0.85f;
            }
            if (x == px2 || lastRow) lum = lum * E;
            const float v = K * (Is * lum + Ia);
            const uint8_t cb = Channel(B, v), cg = Channel(G, v), cr = Channel(R, v);
            p[0] = cb;
            p[1] = cg;
            p[2] = cr;
            if (fast && x + 1 < px2 && x + 1 <= x1) {
                p[3] = cb;
                p[4] = cg;
                p[5] = cr;
                p += 6;
                x += 2;
            } else {
                p += 3;
                x += 1;
            }
        }
    }
}

} // namespace qz
