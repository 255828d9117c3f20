// The squarified layout as a function over sizes: the worked example, the strip rules and
// limits, and the geometry over generated size lists (areas proportional to sizes, drawn
// rectangles disjoint and inside the area, the area covered).
#include "treemap/layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace qz;

namespace {

struct Laid {
    std::vector<TMapRect> rects;
    std::vector<uint8_t> placed;
    size_t count = 0;
};

Laid Layout(const std::vector<uint64_t>& sizes, TMapRect area, int k0 = 1) {
    Laid l;
    l.rects.assign(sizes.size(), TMapRect{-7, -7, -7, -7}); // "earlier" rectangles
    l.placed.assign(sizes.size(), 9);
    l.count = SquarifyChildren(k0, 0, sizes, area, l.rects, l.placed);
    return l;
}

void ExpectRect(const TMapRect& r, float l, float t, float w, float h) {
    EXPECT_NEAR(r.Left, l, 1e-3);
    EXPECT_NEAR(r.Top, t, 1e-3);
    EXPECT_NEAR(r.Width, w, 1e-3);
    EXPECT_NEAR(r.Height, h, 1e-3);
}

// Pixel bounds as the drawing derives them (round to nearest, halves to even).
struct PixRect {
    long x0, x1, y0, y1;
};
PixRect Pixels(const TMapRect& r) {
    return {std::lrint(r.Left), std::lrint(r.Left + r.Width), std::lrint(r.Top),
            std::lrint(r.Top + r.Height)};
}

} // namespace

TEST(Layout, WorkedExampleThreeAndOne) {
    // {3}: a column of thickness 75 (worst 1.5); {3, 1} would be worse (8), so 3 stands
    // alone; the rest (75, 0, 25, 50) is taller than wide, so 1 becomes a row at its top.
    Laid l = Layout({3, 1}, {0, 0, 100, 50});
    EXPECT_EQ(l.count, 2u);
    ExpectRect(l.rects[0], 0, 0, 75, 50);
    ExpectRect(l.rects[1], 75, 0, 25, 50);
}

TEST(Layout, OneChildTakesTheWholeArea) {
    Laid l = Layout({12345}, {10, 20, 300, 40});
    ExpectRect(l.rects[0], 10, 20, 300, 40);
    EXPECT_EQ(l.placed[0], 1);
}

TEST(Layout, TiesExtendTheRowAndSquaresComeOut) {
    // Four equal items in a square: two columns of two squares each.
    Laid l = Layout({5, 5, 5, 5}, {0, 0, 100, 100});
    ExpectRect(l.rects[0], 0, 0, 50, 50);
    ExpectRect(l.rects[1], 0, 50, 50, 50);
    ExpectRect(l.rects[2], 50, 0, 50, 50);
    ExpectRect(l.rects[3], 50, 50, 50, 50);
}

TEST(Layout, ThinStripStillAdvancesAQuarterPixel) {
    // A tiny first item makes a row 1e-6 high; the rest starts 0.25 lower.
    Laid l = Layout({1, 1000000000}, {0, 0, 100, 1000});
    ExpectRect(l.rects[0], 0, 0, 100, 1e-6f);
    ExpectRect(l.rects[1], 0, 0.25f, 100, 999.75f);
}

TEST(Layout, RemainderThinnerThanAQuarterIsSharedByTheRest) {
    // Wide and 1 px high: every strip is one column; once the rest is no more than 0.25 wide,
    // all remaining items get that rest.
    std::vector<uint64_t> sizes{1000, 1000, 1000, 1000, 1};
    Laid l = Layout(sizes, {0, 0, 4.2f, 1});
    EXPECT_EQ(l.count, 5u);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(l.rects[size_t(i)].Width, 4.2f * 1000 / 4001, 1e-4);
    EXPECT_NEAR(l.rects[4].Width, 4.2f - 4 * (4.2f * 1000 / 4001), 1e-4);
}

TEST(Layout, ItemLimitStopsAtFiftyThousand) {
    // 60000 equal items: the strip that crosses index 50000 is finished, no strip starts after.
    std::vector<uint64_t> sizes(60000, 7);
    Laid l = Layout(sizes, {0, 0, 1000, 1000});
    size_t firstUnplaced = 0;
    while (firstUnplaced < sizes.size() && l.placed[firstUnplaced]) ++firstUnplaced;
    EXPECT_GE(firstUnplaced, 50000u);
    EXPECT_LT(firstUnplaced, 51000u);
    EXPECT_EQ(l.count, firstUnplaced);
    for (size_t i = firstUnplaced; i < sizes.size(); ++i) {
        ASSERT_EQ(l.placed[i], 0) << i;
        ASSERT_EQ(l.rects[i].Left, -7) << "an item beyond the limit keeps its rectangle";
    }
}

TEST(Layout, StripLimitStopsAtOneThousandStrips) {
    // In a 1 px high band each strip holds one item, so items 0..998 get strips 1..999.
    std::vector<uint64_t> sizes(2000, 1);
    Laid l = Layout(sizes, {0, 0, 1e6f, 1});
    EXPECT_EQ(l.count, 999u);
    EXPECT_EQ(l.placed[998], 1);
    EXPECT_EQ(l.placed[999], 0);
    // A later call that starts at strip 1000 places nothing.
    Laid none = Layout({1, 2, 3}, {0, 0, 10, 10}, kLayoutStripLimit);
    EXPECT_EQ(none.count, 0u);
}

TEST(Layout, DegenerateInputsStayFinite) {
    // All sizes zero, an empty area, a negative area: no crash, nothing infinite or NaN.
    for (TMapRect area : {TMapRect{0, 0, 100, 100}, TMapRect{0, 0, 0, 0}, TMapRect{5, 5, -3, 2}}) {
        for (auto sizes : {std::vector<uint64_t>{0, 0, 0}, std::vector<uint64_t>{0, 5},
                           std::vector<uint64_t>{UINT64_MAX / 4, UINT64_MAX / 4, 1}}) {
            Laid l = Layout(sizes, area);
            for (size_t i = 0; i < sizes.size(); ++i) {
                if (!l.placed[i]) continue;
                EXPECT_TRUE(std::isfinite(l.rects[i].Left) && std::isfinite(l.rects[i].Width) &&
                            std::isfinite(l.rects[i].Top) && std::isfinite(l.rects[i].Height));
            }
        }
    }
}

// Generated size lists: areas follow sizes, drawn rectangles are disjoint, inside the area,
// and together cover it.
struct GeometryCase {
    const char* name;
    std::vector<uint64_t> sizes;
    TMapRect area;
};

std::vector<GeometryCase> GeometryCases() {
    std::vector<GeometryCase> v;
    std::mt19937_64 rng(7);
    v.push_back({"one child", {42}, {0, 0, 640, 480}});
    v.push_back(
        {"thousands of equal children", std::vector<uint64_t>(5000, 4096), {0, 0, 1920, 1080}});
    {
        std::vector<uint64_t> s(3000);
        for (auto& x : s) x = 1 + rng() % 1000;
        s[0] = 1ull << 40; // one giant, many tiny
        v.push_back({"one giant and many tiny", s, {3, 7, 1000, 700}});
    }
    {
        std::vector<uint64_t> s(2000);
        for (auto& x : s) x = rng() % 100 == 0 ? rng() % 5000000000ull : rng() % 300000 + 1;
        std::sort(s.rbegin(), s.rend());
        v.push_back({"long tail, descending", s, {0, 0, 1917, 1077}});
    }
    {
        std::vector<uint64_t> s(500);
        for (auto& x : s) x = rng() % 1000000 + 1;
        v.push_back(
            {"unsorted (size order differs from display order)", s, {0.5f, 0.25f, 333, 999}});
    }
    v.push_back({"tall and narrow", {9, 8, 7, 6, 5, 4, 3, 2, 1}, {0, 0, 20, 900}});
    return v;
}

TEST(Layout, GeometryOverGeneratedSizes) {
    for (const GeometryCase& c : GeometryCases()) {
        SCOPED_TRACE(c.name);
        Laid l = Layout(c.sizes, c.area);
        ASSERT_EQ(l.count, c.sizes.size());
        long double total = 0;
        for (uint64_t s : c.sizes) total += s;
        const double areaPx = double(c.area.Width) * c.area.Height;
        // Items that share the last sliver (no more than 0.25 px across) are not laid out
        // by strips: they all get that sliver, which is never drawn.
        size_t tail = c.sizes.size() - 1;
        auto same = [](const TMapRect& a, const TMapRect& b) {
            return a.Left == b.Left && a.Top == b.Top && a.Width == b.Width && a.Height == b.Height;
        };
        while (tail > 0 && same(l.rects[tail - 1], l.rects.back())) --tail;
        if (tail + 1 < c.sizes.size())
            EXPECT_LE(std::min(l.rects.back().Width, l.rects.back().Height), 0.25f);
        else
            tail = c.sizes.size();
        double covered =
            tail < c.sizes.size() ? double(l.rects.back().Width) * l.rects.back().Height : 0;
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            const TMapRect& r = l.rects[i];
            ASSERT_EQ(l.placed[i], 1);
            // Inside the area (fractions of float rounding allowed).
            EXPECT_GE(r.Left, c.area.Left - 1e-3);
            EXPECT_GE(r.Top, c.area.Top - 1e-3);
            EXPECT_LE(r.Left + r.Width, c.area.Left + c.area.Width + 1e-2);
            EXPECT_LE(r.Top + r.Height, c.area.Top + c.area.Height + 1e-2);
            if (i >= tail) continue;
            const double want = double(c.sizes[i] / total) * areaPx;
            const double got = double(r.Width) * r.Height;
            EXPECT_NEAR(got, want, 1e-3 * want + 1e-3) << "item " << i;
            covered += got;
        }
        EXPECT_NEAR(covered, areaPx, 1e-3 * areaPx);
        // Drawn pixel rectangles of siblings never overlap.
        std::vector<PixRect> px;
        for (const TMapRect& r : l.rects) {
            PixRect p = Pixels(r);
            if (p.x1 - p.x0 >= 1 && p.y1 - p.y0 >= 1) px.push_back(p);
        }
        std::sort(px.begin(), px.end(),
                  [](const PixRect& a, const PixRect& b) { return a.x0 < b.x0; });
        for (size_t i = 0; i < px.size(); ++i)
            for (size_t j = i + 1; j < px.size() && px[j].x0 < px[i].x1; ++j)
                ASSERT_FALSE(px[i].y0 < px[j].y1 && px[j].y0 < px[i].y1)
                    << "pixel rectangles " << i << " and " << j << " overlap";
    }
}

TEST(Layout, StripsAreNotMoreElongatedThanNeeded) {
    // Equal items in a square come out as near-squares: no rectangle worse than 2:1.
    std::vector<uint64_t> sizes(100, 1);
    Laid l = Layout(sizes, {0, 0, 1000, 1000});
    for (const TMapRect& r : l.rects)
        EXPECT_LE(std::max(r.Width / r.Height, r.Height / r.Width), 2.0f);
}

// The row search written out naively, step by step as the layout is defined (every item's
// ratio computed for every candidate), to check the fast search against it.
namespace {

void ReferenceSquarify(int k0, size_t start, const std::vector<uint64_t>& sizes, double x, double y,
                       double w, double h, std::vector<TMapRect>& rects) {
    const size_t count = sizes.size();
    if (start >= count) return;
    if (start >= kLayoutItemLimit) k0 = kLayoutStripLimit;
    if (k0 >= kLayoutStripLimit) return;
    uint64_t R = 0;
    for (size_t i = start; i < count; ++i) R += sizes[i];
    const bool column = w >= h;
    const double L = column ? h : w, B = column ? w : h;
    double best = 0;
    size_t n = count - start;
    uint64_t G = 0;
    for (size_t k = start; k < count; ++k) {
        G += sizes[k];
        const double t = R ? double(G) / double(R) * B : 0;
        const double scale = G ? L / double(G) : 0;
        double worst = 1;
        for (size_t j = start; j <= k; ++j) {
            const double s = double(sizes[j]) * scale;
            double ratio = (t > s && s > 0.00001) ? t / s : (t > 0.00001 ? s / t : 0);
            if (std::isinf(ratio)) ratio = 0;
            worst = std::max(worst, ratio);
        }
        if (k == start) best = worst;
        if (worst > best) {
            n = k - start;
            G -= sizes[k];
            break;
        }
        best = worst;
    }
    const double t = R ? double(G) / double(R) * B : 0;
    const double scale = G ? L / double(G) : 0;
    double p = column ? y : x;
    for (size_t j = start; j < start + n; ++j) {
        const double len = double(sizes[j]) * scale;
        rects[j] = column ? TMapRect{float(x), float(p), float(t), float(len)}
                          : TMapRect{float(p), float(y), float(len), float(t)};
        p += len;
    }
    const double a = t > 0.25 ? t : 0.25;
    if (column) {
        x += a;
        w -= a;
    } else {
        y += a;
        h -= a;
    }
    if ((column ? w : h) > 0.25) {
        ReferenceSquarify(k0 + 1, start + n, sizes, x, y, w, h, rects);
        return;
    }
    for (size_t j = start + n; j < count; ++j) rects[j] = {float(x), float(y), float(w), float(h)};
}

} // namespace

TEST(Layout, SameAsTheNaiveRowSearch) {
    std::mt19937_64 rng(11);
    for (int round = 0; round < 300; ++round) {
        const size_t n = 1 + rng() % 400;
        std::vector<uint64_t> sizes(n);
        const int kind = round % 4;
        for (auto& s : sizes) {
            if (kind == 0) s = 1 + rng() % 1000;                              // similar sizes
            if (kind == 1) s = uint64_t(1) << (rng() % 50);                   // wildly mixed
            if (kind == 2) s = rng() % 3 == 0 ? 1 : 1 + rng() % (1ull << 45); // negligible sides
            if (kind == 3) s = 4096;                                          // equal: ties
        }
        if (round % 2) std::sort(sizes.rbegin(), sizes.rend());
        const TMapRect area{float(rng() % 10), float(rng() % 10), float(1 + rng() % 2000),
                            float(1 + rng() % 1200)};
        std::vector<TMapRect> want(n, TMapRect{-1, -1, -1, -1});
        ReferenceSquarify(1, 0, sizes, area.Left, area.Top, area.Width, area.Height, want);
        Laid got = Layout(sizes, area);
        for (size_t i = 0; i < n; ++i) {
            ASSERT_EQ(got.rects[i].Left, want[i].Left) << "round " << round << " item " << i;
            ASSERT_EQ(got.rects[i].Top, want[i].Top) << "round " << round << " item " << i;
            ASSERT_EQ(got.rects[i].Width, want[i].Width) << "round " << round << " item " << i;
            ASSERT_EQ(got.rects[i].Height, want[i].Height) << "round " << round << " item " << i;
        }
    }
}
