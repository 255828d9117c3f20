// Fuzzes the squarified layout and the cushion shading with arbitrary sizes, areas and
// surfaces: no crash, no write outside the bitmap, finite rectangles for finite areas, items
// either placed or left as they were, and the cushions shaded in two bands of rows (split at
// any row) give the bytes of the cushions shaded at once.
#include "treemap/layout.h"
#include "treemap/paintlist.h"
#include "treemap/shading.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace qz;

namespace {

float TakeFloat(const uint8_t*& p, size_t& n) {
    float f = 0;
    if (n >= 4) {
        std::memcpy(&f, p, 4);
        p += 4;
        n -= 4;
    }
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* p = data;
    size_t n = size;
    TMapRect area{TakeFloat(p, n), TakeFloat(p, n), TakeFloat(p, n), TakeFloat(p, n)};
    TCushionSurface surface;
    for (float& s : surface.s) s = TakeFloat(p, n);
    const int k0 = n ? int(*p++ % 4 == 0 ? 999 : 1) : 1;
    if (n) --n;
    std::vector<uint64_t> sizes;
    while (n >= 8 && sizes.size() < 3000) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        p += 8;
        n -= 8;
        // Keep the sum within 64 bits, as folder totals are.
        sizes.push_back(v >> 12);
    }
    std::vector<TMapRect> rects(sizes.size(), TMapRect{1, 2, 3, 4});
    std::vector<uint8_t> placed(sizes.size(), 7);
    const size_t count = SquarifyChildren(k0, 0, sizes, area, rects, placed);
    size_t seen = 0;
    const bool finite = std::isfinite(area.Left) && std::isfinite(area.Top) &&
                        std::isfinite(area.Width) && std::isfinite(area.Height) &&
                        std::fabs(area.Width) < 1e30f && std::fabs(area.Height) < 1e30f;
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (placed[i] > 1) __builtin_trap();
        if (!placed[i]) {
            if (rects[i].Left != 1 || rects[i].Height != 4) __builtin_trap(); // left untouched
            continue;
        }
        ++seen;
        if (finite && !(std::isfinite(rects[i].Left) && std::isfinite(rects[i].Top) &&
                        std::isfinite(rects[i].Width) && std::isfinite(rects[i].Height)))
            __builtin_trap();
    }
    if (seen != count) __builtin_trap();

    // Shade what was laid out (and the area itself) into a small bitmap, through a paint list
    // replayed at once and in two bands.
    static TTreemapBitmap once, banded;
    if (once.Empty()) {
        std::string err;
        once.Create(37, 23, err);
        banded.Create(37, 23, err);
    }
    TTreemapShading sh;
    sh.tm_FastDraw = size % 2 == 0;
    sh.GradientEnabled = size % 3 != 0;
    TPaintList paint;
    paint.Fill(0, 0, 37, 23, 0x102030);
    paint.Cushion(TctRectangle(area.Left, area.Left + area.Width, area.Top, area.Top + area.Height),
                  0x808080, surface);
    for (size_t i = 0; i < sizes.size() && i < 200; ++i) {
        if (!placed[i]) continue;
        const TMapRect& r = rects[i];
        TCushionSurface s = surface;
        const TctRectangle b(r.Left, r.Left + r.Width, r.Top, r.Top + r.Height);
        AddRidge(s, b, 0.16f);
        paint.Cushion(b, TColor(sizes[i] & 0xFFFFFF), s);
    }
    paint.Replay(once, INT_MIN, INT_MAX, sh, nullptr);
    const int split = int(size % 27) - 2; // below 0 and from 23 on: one band holds every row
    paint.Replay(banded, split, INT_MAX, sh, nullptr);
    paint.Replay(banded, INT_MIN, split, sh, nullptr);
    for (int y = 0; y < once.Height(); ++y)
        if (std::memcmp(once.Row(y), banded.Row(y), size_t(once.Width()) * 3) != 0)
            __builtin_trap();
    return 0;
}
