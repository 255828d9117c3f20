// Cushion shading into the bitmap's rows: exact bytes for probe pixels of level, flat, gray and
// ridged cushions, the darker edge, fast mode's copied columns, the light's direction, and
// clipping at the bitmap's edges.
#include "treemap/shading.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qz;

namespace {

constexpr TColor kMarker = 0x123456;

TTreemapBitmap Bitmap(int w, int h) {
    TTreemapBitmap b;
    std::string err;
    EXPECT_TRUE(b.Create(w, h, err)) << err;
    b.Fill(kMarker);
    return b;
}

TColor Rgb(int r, int g, int b) {
    return TColor(r) << 16 | TColor(g) << 8 | TColor(b);
}

// The shading of one pixel, written from its definition: single-precision intermediates, the
// inverse square root from the bit pattern with one Newton step.
TColor Expected(const TCushionSurface& sf, const TTreemapShading& sh, TColor c, int x, int y,
                bool edge, float E) {
    const float* s = sf.s;
    float lum = 0.85f;
    if (sh.GradientEnabled) {
        const float ny = -((y + 0.5f) * 2 * s[3] + s[2]);
        const float ly = ny * sh.tm_Ly + sh.tm_Lz;
        const float q = ny * ny + 1;
        const float nx = -((x + 0.5f) * 2 * s[1] + s[0]);
        const float d = q + nx * nx;
        uint32_t bits;
        std::memcpy(&bits, &d, 4);
        bits = 0x5F3759DF - (bits >> 1);
        float r0;
        std::memcpy(&r0, &bits, 4);
        const float r = r0 * (1.5f - 0.5f * d * r0 * r0);
        lum = (ly + nx * sh.tm_Lx) * r;
        if (lum > 1) lum = 1;
    }
    if (edge) lum = lum * E;
    const float v = sh.tm_Brightness / sh.tm_BrightnessRef * (sh.tm_Is * lum + sh.tm_Ia);
    auto ch = [&](int shift) {
        const float x = float((c >> shift) & 0xFF) * v;
        return x >= 255 ? 255 : int(x);
    };
    return Rgb(ch(16), ch(8), ch(0));
}

} // namespace

TEST(Cushion, LevelSurfaceGivesTheWorkedNumbers) {
    // nx = ny = 0: d = 1, r ~ 0.99831, lum ~ 0.98847, v ~ 1.45196.
    TTreemapBitmap b = Bitmap(20, 20);
    TTreemapShading sh;
    RenderCushion(b, TctRectangle(2, 12, 3, 13), Rgb(100, 200, 50), TCushionSurface{}, sh);
    EXPECT_EQ(b.Pixel(5, 5), Rgb(145, 255, 72));
    EXPECT_EQ(b.Pixel(2, 3), Rgb(145, 255, 72)); // the first pixel is not an edge
    // The right column and the bottom row are darker (lum * 0.8, v ~ 1.19970).
    EXPECT_EQ(b.Pixel(11, 5), Rgb(119, 239, 59));
    EXPECT_EQ(b.Pixel(5, 12), Rgb(119, 239, 59));
    EXPECT_EQ(b.Pixel(11, 12), Rgb(119, 239, 59)); // the corner is darkened once
    // Nothing outside [2, 12) x [3, 13).
    for (auto [x, y] : {std::pair{1, 5}, {12, 5}, {5, 2}, {5, 13}, {12, 13}})
        EXPECT_EQ(b.Pixel(x, y), kMarker) << x << "," << y;
}

TEST(Cushion, FlatAndGrayShading) {
    struct Case {
        const char* name;
        bool gray;
        TColor color, inner, edge;
    };
    const Case cases[] = {
        // lum 0.85: v ~ 1.27527; edge lum 0.68: v ~ 1.05835.
        {"flat", false, Rgb(100, 200, 50), Rgb(127, 255, 63), Rgb(105, 211, 52)},
        // Gray: trunc(224 * 0.85) = 190, edge trunc(224 * 0.68) = 152.
        {"gray", true, kGrayCushionColor, Rgb(190, 190, 190), Rgb(152, 152, 152)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TTreemapShading sh = c.gray ? TTreemapShading().Gray() : TTreemapShading();
        sh.GradientEnabled = false;
        TTreemapBitmap b = Bitmap(16, 16);
        TCushionSurface ridged;
        AddRidge(ridged, TctRectangle(0, 8, 0, 8), 0.3f); // flat shading ignores the surface
        RenderCushion(b, TctRectangle(0, 8, 0, 8), c.color, ridged, sh);
        EXPECT_EQ(b.Pixel(3, 3), c.inner);
        EXPECT_EQ(b.Pixel(7, 3), c.edge);
        EXPECT_EQ(b.Pixel(3, 7), c.edge);
    }
}

TEST(Cushion, NoDarkerEdgeBelowSixPixels) {
    TTreemapShading sh;
    sh.GradientEnabled = false;
    TTreemapBitmap b = Bitmap(16, 16);
    // 5 wide (px2 - px1 = 4), 10 high: the right column is not darkened, nor the bottom row.
    RenderCushion(b, TctRectangle(0, 5, 0, 10), Rgb(100, 200, 50), TCushionSurface{}, sh);
    EXPECT_EQ(b.Pixel(4, 3), b.Pixel(0, 3));
    EXPECT_EQ(b.Pixel(2, 9), b.Pixel(2, 0));
    EXPECT_EQ(b.Pixel(2, 0), Rgb(127, 255, 63));
}

TEST(Cushion, RidgedProbesMatchTheFormulaInAllModes) {
    const TctRectangle outer(10, 110, 20, 80), inner(30, 70, 25, 61);
    TCushionSurface sf;
    const TTreemapShading normal;
    AddRidge(sf, outer, normal.tm_H * normal.tm_F);
    AddRidge(sf, inner, normal.tm_H * normal.tm_F * normal.tm_F);
    for (int mode = 0; mode < 4; ++mode) {
        const bool fast = mode & 1, gray = mode & 2;
        SCOPED_TRACE(std::string(fast ? "fast" : "full") + (gray ? " gray" : ""));
        TTreemapShading sh = gray ? normal.Gray() : normal;
        sh.tm_FastDraw = fast;
        const TColor c = gray ? kGrayCushionColor : Rgb(0x0F, 0x70, 0xC6);
        TTreemapBitmap b = Bitmap(120, 90);
        RenderCushion(b, inner, c, sf, sh);
        const int px1 = 30, px2 = 69, py1 = 25, py2 = 60;
        for (int y : {py1, 33, 42, py2}) {
            for (int x = px1; x <= px2; ++x) {
                // Fast mode computes every second column from the left and copies it to the
                // next; the last column is always computed.
                const int from = fast && (x - px1) % 2 == 1 && x < px2 ? x - 1 : x;
                const TColor want = Expected(sf, sh, c, from, y, from == px2 || y == py2, 0.8f);
                ASSERT_EQ(b.Pixel(x, y), want) << "pixel " << x << "," << y;
            }
        }
        EXPECT_EQ(b.Pixel(px1 - 1, 40), kMarker);
        EXPECT_EQ(b.Pixel(px2 + 1, 40), kMarker);
    }
}

TEST(Cushion, RidgedProbesGiveKnownBytes) {
    // Bytes worked out apart from this code (every operation rounded to single precision in
    // the formula's order), for a cushion two levels below a top node: inner (30, 70, 25, 61)
    // inside outer (10, 110, 20, 80). Fast mode copies columns 30, 44 and 50 to the next.
    const TctRectangle outer(10, 110, 20, 80), inner(30, 70, 25, 61);
    const TTreemapShading normal;
    TCushionSurface sf;
    AddRidge(sf, outer, normal.tm_H * normal.tm_F);
    AddRidge(sf, inner, normal.tm_H * normal.tm_F * normal.tm_F);
    struct Probe {
        int x, y;
        TColor colour, gray; // full computation
        TColor colourFast, grayFast;
    };
    const Probe probes[] = {
        {30, 25, 0x0F75CF, 0x969696, 0x0F75CF, 0x969696}, // first pixel
        {31, 26, 0x1077D3, 0x999999, 0x0F76D1, 0x989898}, // copied from (30, 26) when fast
        {50, 43, 0x15A4FF, 0xDFDFDF, 0x15A4FF, 0xDFDFDF}, // facing the light: blue capped
        {51, 43, 0x15A3FF, 0xDFDFDF, 0x15A4FF, 0xDFDFDF},
        {69, 42, 0x0E6BBE, 0x878787, 0x0E6BBE, 0x878787}, // right column, darker
        {45, 60, 0x0D66B5, 0x7F7F7F, 0x0D66B4, 0x7E7E7E}, // bottom row, darker; from 44
        {69, 60, 0x0B5699, 0x666666, 0x0B5699, 0x666666}, // corner
    };
    for (int mode = 0; mode < 4; ++mode) {
        const bool fast = mode & 1, gray = mode & 2;
        TTreemapShading sh = gray ? normal.Gray() : normal;
        sh.tm_FastDraw = fast;
        TTreemapBitmap b = Bitmap(120, 90);
        RenderCushion(b, inner, gray ? kGrayCushionColor : Rgb(0x0F, 0x70, 0xC6), sf, sh);
        for (const Probe& p : probes) {
            const TColor want =
                gray ? (fast ? p.grayFast : p.gray) : (fast ? p.colourFast : p.colour);
            EXPECT_EQ(b.Pixel(p.x, p.y), want)
                << "pixel " << p.x << "," << p.y << (fast ? " fast" : "") << (gray ? " gray" : "");
        }
    }
}

TEST(Cushion, FastModeOnThreeColumns) {
    TTreemapShading sh;
    TCushionSurface sf;
    AddRidge(sf, TctRectangle(0, 3, 0, 10), 0.5f);
    for (bool fast : {false, true}) {
        sh.tm_FastDraw = fast;
        TTreemapBitmap b = Bitmap(8, 12);
        RenderCushion(b, TctRectangle(0, 3, 0, 10), Rgb(200, 100, 50), sf, sh);
        const TColor c0 = Expected(sf, sh, Rgb(200, 100, 50), 0, 4, false, 1);
        const TColor c1 = Expected(sf, sh, Rgb(200, 100, 50), 1, 4, false, 1);
        const TColor c2 = Expected(sf, sh, Rgb(200, 100, 50), 2, 4, false, 1);
        ASSERT_NE(c0, c1); // the ridge makes the columns differ
        EXPECT_EQ(b.Pixel(0, 4), c0);
        EXPECT_EQ(b.Pixel(1, 4), fast ? c0 : c1);
        EXPECT_EQ(b.Pixel(2, 4), c2);
    }
}

TEST(Cushion, LightComesFromTheUpperLeft) {
    TTreemapShading sh;
    TCushionSurface sf;
    const TctRectangle r(0, 100, 0, 100);
    AddRidge(sf, r, sh.tm_H * sh.tm_F);
    TTreemapBitmap b = Bitmap(100, 100);
    RenderCushion(b, r, Rgb(120, 120, 120), sf, sh);
    auto lum = [&](int x, int y) { return int(b.Pixel(x, y) & 0xFF); };
    EXPECT_GT(lum(25, 25), lum(75, 75) + 10);
    // The brightest pixel faces the light: above and left of the middle.
    int bx = 0, by = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            if (lum(x, y) > lum(bx, by)) bx = x, by = y;
    EXPECT_LT(bx, 50);
    EXPECT_LT(by, 50);
    EXPECT_GT(bx, 25);
    EXPECT_GT(by, 25);
    EXPECT_NEAR(lum(25, 75), lum(75, 25), 1); // symmetric across the light's diagonal
}

TEST(Cushion, RidgeAddsPerAxisOnlyWhenAPixelWide) {
    TCushionSurface sf;
    AddRidge(sf, TctRectangle(10, 20, 0, 0.5f), 0.5f); // x: 10 px; y: less than one
    EXPECT_FLOAT_EQ(sf.s[1], -0.2f);                   // -4h/w
    EXPECT_FLOAT_EQ(sf.s[0], 30 * 0.2f);               // (x-min + x-max) * 4h/w
    EXPECT_EQ(sf.s[2], 0);
    EXPECT_EQ(sf.s[3], 0);
    TCushionSurface none;
    AddRidge(none, TctRectangle(5, 5, 3, 3), 0.5f); // zero width: no ridge at all
    EXPECT_EQ(none.s[0], 0);
    EXPECT_EQ(none.s[1], 0);
}

TEST(Cushion, ClippedAtTheBitmapAndNothingForEmptyBounds) {
    TTreemapShading sh;
    // 21 pixels = 63 bytes per row, padded to 64: the padding byte must stay untouched.
    TTreemapBitmap b = Bitmap(21, 10);
    for (int y = 0; y < 10; ++y) b.Row(y)[63] = 0xAB;
    RenderCushion(b, TctRectangle(-5, 40, -3, 25), Rgb(90, 90, 90), TCushionSurface{}, sh);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(b.Row(y)[63], 0xAB) << y;
    EXPECT_NE(b.Pixel(0, 0), kMarker);
    EXPECT_NE(b.Pixel(20, 9), kMarker);
    // Zero width, inverted, NaN and infinite bounds draw nothing and do not crash.
    TTreemapBitmap c = Bitmap(10, 10);
    const float inf = INFINITY, nan = NAN;
    for (TctRectangle r : {TctRectangle(4, 4, 0, 10), TctRectangle(8, 2, 0, 10),
                           TctRectangle(nan, 5, 0, 10), TctRectangle(-inf, inf, nan, nan)})
        RenderCushion(c, r, Rgb(200, 200, 200), TCushionSurface{}, sh);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(c.Pixel(x, y), kMarker);
}

TEST(Bitmap, SizeLimitsGiveMessages) {
    struct Case {
        int w, h;
        const char* fragment; // nullptr: accepted
    };
    const Case cases[] = {
        {0, 1080, "at least 1 pixel"}, {1920, -1, "at least 1 pixel"},
        {100000, 100000, "too large"}, {65536, 1, "too large"},
        {30000, 30000, "too large"},   {1, 1, nullptr},
        {7680, 4320, nullptr},         {65535, 1, nullptr},
    };
    for (const Case& c : cases) {
        TTreemapBitmap b;
        std::string err;
        const bool ok = b.Create(c.w, c.h, err);
        if (!c.fragment) {
            EXPECT_TRUE(ok) << c.w << "x" << c.h << ": " << err;
            EXPECT_EQ(b.Width(), c.w);
            EXPECT_EQ(b.Height(), c.h);
            EXPECT_GE(b.Stride(), size_t(c.w) * 3);
            EXPECT_EQ(b.Stride() % 4, 0u);
        } else {
            EXPECT_FALSE(ok) << c.w << "x" << c.h;
            EXPECT_TRUE(b.Empty());
            EXPECT_NE(err.find(c.fragment), std::string::npos) << err;
            EXPECT_NE(err.find(std::to_string(c.w) + " x " + std::to_string(c.h)),
                      std::string::npos)
                << err;
        }
    }
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QZ_ASAN 1
#endif

TEST(Bitmap, OutOfMemoryIsAMessage) {
#ifdef QZ_ASAN
    GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#else
    // In a child process whose address space is capped, a bitmap within the size limits but
    // beyond the memory left fails with a message instead of ending the process.
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        long pages = 0;
        if (FILE* f = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
            std::fclose(f);
        }
        const rlim_t cap = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (256u << 20);
        rlimit lim{cap, cap};
        if (pages == 0 || setrlimit(RLIMIT_AS, &lim) != 0) _exit(3);
        TTreemapBitmap b;
        std::string err;
        const bool ok = b.Create(16384, 16384, err); // 768 MiB
        _exit(!ok && b.Empty() && err.find("Not enough memory") != std::string::npos &&
                      err.find("16384 x 16384") != std::string::npos
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}
