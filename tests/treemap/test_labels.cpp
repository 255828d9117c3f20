// Label fitting and wrapping (measured by a fixed-width canvas), and the Qt canvas drawing
// into the bitmap's memory.
#include "tests/treemap/treemap_support.h"
#include "treemap/labels.h"
#include "treemap/qtcanvas.h"

#include <gtest/gtest.h>

#include <QImage>

using namespace qz;
using namespace qz::test;

namespace {

constexpr int C = RecordingCanvas::kCharWidth;

bool HasLoneSurrogate(std::u16string_view s) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return true;
            ++i;
        } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

std::vector<std::u16string> Lines(const RecordingCanvas& c) {
    std::vector<std::u16string> v;
    for (const auto& t : c.Texts) v.push_back(t.S);
    return v;
}

} // namespace

TEST(Labels, FitMiddleKeepsTheSizeWhole) {
    RecordingCanvas c;
    struct Case {
        std::u16string head, suffix;
        int chars; // width in characters
        std::u16string want;
    };
    const Case cases[] = {
        {u"Windows\\", u" (12.5 GB)", 30, u"Windows\\ (12.5 GB)"},         // fits
        {u"Program Files\\", u" (1.2 GB)", 16, u"Pro\u2026es\\ (1.2 GB)"}, // middle of the name
        {u"abcdefghij", u" (1 MB)", 10, u"a\u2026j (1 MB)"},
        {u"abcdefghij", u" (1 MB)", 3, u"\u2026 (1 MB)"}, // the size alone is already too wide
        {u"", u" (1 MB)", 3, u" (1 MB)"},
    };
    for (const Case& k : cases) {
        const std::u16string got = FitMiddle(c, k.head, k.suffix, k.chars * C);
        EXPECT_EQ(got, k.want);
        if (got.size() > k.suffix.size() + 1) {
            EXPECT_LE(int(got.size()) * C, k.chars * C);
        }
        EXPECT_EQ(got.substr(got.size() - k.suffix.size()), k.suffix);
    }
    // Surrogate pairs are never split, whatever the width.
    const std::u16string head = u"a\U0001F600\U0001F600b\U0001F600c\U0001F600\U0001F600d";
    for (int chars = 0; chars < 20; ++chars)
        EXPECT_FALSE(HasLoneSurrogate(FitMiddle(c, head, u" (1 KB)", chars * C))) << chars;
}

TEST(Labels, WrappedAtBlanksWithTheSizeUnbroken) {
    struct Case {
        const char* name;
        std::u16string text, suffix;
        TIntRect rect;
        std::vector<std::u16string> want;
    };
    const Case cases[] = {
        {"wraps",
         u"my holiday photo.jpg",
         u"(1.2 MB)",
         {0, 0, 10 * C, 40},
         {u"my holiday", u"photo.jpg", u"(1.2 MB)"}},
        {"joins while it fits", u"a b c", u"(1 KB)", {0, 0, 14 * C, 40}, {u"a b c (1 KB)"}},
        {"a long word is shortened in its middle",
         u"averyveryverylongname.txt",
         u"(3 KB)",
         {0, 0, 10 * C, 40},
         {u"avery\u2026.txt", u"(3 KB)"}},
        {"only lines that fit, but always the first",
         u"one two three",
         u"(1 KB)",
         {0, 0, 5 * C, 25},
         {u"one", u"two"}},
        {"first line even when nothing fits", u"one two", u"(1 KB)", {0, 0, 5 * C, 4}, {u"one"}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        RecordingCanvas c;
        DrawWrappedLabel(c, k.rect, k.text, k.suffix);
        EXPECT_EQ(Lines(c), k.want);
        for (size_t i = 0; i < c.Texts.size(); ++i) {
            EXPECT_EQ(c.Texts[i].Y, k.rect.Top + int(i) * RecordingCanvas::kLineHeight);
            EXPECT_EQ(c.Texts[i].Clip, k.rect);
        }
    }
}

TEST(Labels, FittedLineIsCentredAndClipped) {
    RecordingCanvas c;
    const TIntRect r{10, 20, 10 + 12 * C, 32};
    DrawFittedLine(c, r, u"Documents/", u" (3.0 GB)");
    ASSERT_EQ(c.Texts.size(), 1u);
    EXPECT_EQ(c.Texts[0].S, u"D\u2026/ (3.0 GB)");
    EXPECT_EQ(c.Texts[0].X, 10);
    EXPECT_EQ(c.Texts[0].Y, 21); // (12 - 10) / 2 below the top
    EXPECT_EQ(c.Texts[0].Clip, r);
    RecordingCanvas none;
    DrawFittedLine(none, TIntRect{5, 5, 5, 20}, u"x", u" (1)");
    EXPECT_TRUE(none.Texts.empty()) << "an empty rectangle draws nothing";
}

TEST(QtCanvas, BitmapAsQImageSharesThePixels) {
    TTreemapBitmap b;
    std::string err;
    ASSERT_TRUE(b.Create(7, 3, err)) << err;
    b.Fill(0x102030);
    b.FillRect(6, 2, 7, 3, 0xA0B0C0);
    const QImage img = TreemapQImage(b);
    ASSERT_EQ(img.width(), 7);
    ASSERT_EQ(img.height(), 3);
    EXPECT_EQ(img.constBits(), b.Bits());
    EXPECT_EQ(img.pixel(0, 0), qRgb(0x10, 0x20, 0x30));
    EXPECT_EQ(img.pixel(6, 2), qRgb(0xA0, 0xB0, 0xC0));
    EXPECT_TRUE(TreemapQImage(TTreemapBitmap()).isNull());
}

TEST(QtCanvas, TextAndLinesLandInTheBitmap) {
    ASSERT_TRUE(GuiAvailable());
    TTreemapBitmap b;
    std::string err;
    ASSERT_TRUE(b.Create(120, 40, err)) << err;
    b.Fill(0x000000);
    {
        TQtCanvas canvas(b, 9);
        EXPECT_GT(canvas.LineHeight(), 5);
        EXPECT_LT(canvas.LineHeight(), 20);
        EXPECT_GT(canvas.TextWidth(u"WWWW"), canvas.TextWidth(u"WW"));
        EXPECT_EQ(canvas.TextWidth(u""), 0);
        // Text clipped to x < 40: nothing lit at or right of it.
        canvas.DrawText(2, 2, u"WWWWWWWWWWWWWWWWWWWW", TIntRect{0, 0, 40, 20});
        // Lines without their end points.
        canvas.DrawLine(50, 30, 60, 30, 0x303030);
        canvas.DrawLine(70, 35, 70, 25, 0x404040);
    }
    int lit = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 120; ++x) {
            if (b.Pixel(x, y) == 0) continue;
            if (x >= 40) ADD_FAILURE() << "text outside its clip at " << x << "," << y;
            ++lit;
            // Anti-aliased text is gray towards the text colour #DDDDDD.
            const TColor p = b.Pixel(x, y);
            EXPECT_EQ(p >> 16, (p >> 8) & 0xFF);
            EXPECT_LE(p >> 16, 0xDDu);
        }
    EXPECT_GT(lit, 20);
    EXPECT_EQ(b.Pixel(50, 30), 0x303030u);
    EXPECT_EQ(b.Pixel(59, 30), 0x303030u);
    EXPECT_EQ(b.Pixel(60, 30), 0u);
    EXPECT_EQ(b.Pixel(70, 35), 0x404040u);
    EXPECT_EQ(b.Pixel(70, 26), 0x404040u);
    EXPECT_EQ(b.Pixel(70, 25), 0u);
}
