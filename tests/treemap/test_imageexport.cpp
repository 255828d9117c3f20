// Saving the treemap as an image: presets, the size edits, the command line's file names, the
// dialog's full-shading save with the screen redrawn after it, and the command line's call.
#include "base/datetime.h"
#include "base/text.h"
#include "tests/support/testsupport.h"
#include "tests/treemap/treemap_support.h"
#include "tests/views/scanbuilder.h"
#include "treemap/imageexport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qz;
using namespace qz::test;

TEST(ImageExport, PresetsFillTheSizeEdits) {
    EXPECT_EQ(kTreemapSizePresets.front(), u"1024x768");
    EXPECT_EQ(kTreemapSizePresets.back(), u"7680x4320");
    struct Case {
        std::u16string_view caption;
        std::u16string width, height;
    };
    const Case cases[] = {
        {u"3840x2160", u"3840", u"2160"},
        {u"&1280x72&0", u"1280", u"720"}, // accelerator marks are dropped
        {u"abcx720", u"1920", u"720"},    // a part that is not a number leaves its edit
        {u"1024", u"1920", u"1080"},      // no "x": nothing changes
        {u"800x600x2", u"800", u"1080"},  // split at the first "x"
    };
    for (const Case& c : cases) {
        std::u16string w = u"1920", h = u"1080";
        ApplySizePreset(c.caption, w, h);
        EXPECT_EQ(w, c.width) << Utf16ToUtf8(c.caption);
        EXPECT_EQ(h, c.height) << Utf16ToUtf8(c.caption);
    }
    for (std::u16string_view p : kTreemapSizePresets) {
        std::u16string w, h;
        ApplySizePreset(p, w, h);
        EXPECT_EQ(w + u"x" + h, p);
    }
}

TEST(ImageExport, SizeEditsAcceptIntegersOnly) {
    const std::pair<std::u16string_view, int> good[] = {
        {u"1920", 1920}, {u" 42 ", 42}, {u"-5", -5},
        {u"+7", 7},      {u"0", 0},     {u"2147483647", 2147483647}};
    for (auto [text, want] : good) {
        int v = 12345;
        EXPECT_TRUE(ParseImageDimension(text, v)) << Utf16ToUtf8(text);
        EXPECT_EQ(v, want);
    }
    for (std::u16string_view bad :
         {u"", u" ", u"12a", u"1 2", u"0x10", u"-", u"2147483648", u"99999999999999999999"}) {
        int v = 12345;
        EXPECT_FALSE(ParseImageDimension(bad, v)) << Utf16ToUtf8(bad);
        EXPECT_EQ(v, 12345);
    }
}

TEST(ImageExport, CommandLineFileNames) {
    TDateTime start;
    ASSERT_TRUE(TryEncodeDateTime(TDateParts{2025, 1, 31, 14, 5, 9, 0}, start));
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"/out/%d_%t.png", u"/out/20250131_140509.png"},
        {u"/out/map.jpg", u"/out/map.png"},
        {u"/out/map.PNG", u"/out/map.PNG"},
        {u"/out/map", u"/out/map.png"},
        {u"/out.d/map", u"/out.d/map.png"}, // a dot in a folder name is no extension
        {u"/out/.hidden", u"/out/.hidden.png"},
        {u"/out/%D-%T-%d%d.png", u"/out/%D-%T-2025013120250131.png"}, // case-sensitive
        {u"trail%", u"trail%.png"},
    };
    for (auto [value, want] : cases) EXPECT_EQ(TreemapImageFileName(value, start), want);
}

namespace {

struct Scene {
    ScanBuilder b{u"/data"};
    TDisplayTree tree;
    TExtColors colors;
    TTreemap tm{tree, colors};
    std::vector<TNTFS_FILES*> scans;
    Scene() {
        PMFT_RECORD d = b.Folder(b.root, u"music");
        for (int i = 0; i < 30; ++i)
            b.File(d, u"song" + AsciiToUtf16(std::to_string(i)) + u".mp3", 3000000 + i * 50000);
        b.File(b.root, u"disk.iso", 40000000);
        b.Finish();
        scans = {b.scan.get()};
        tree.LoadTree(scans);
        tm.Scans = scans;
        tm.DiskSizes = {TDiskSizeInfo{u"/data", true, 400000000, 200000000, 0, 200000000}};
        tm.ShowFileNames = false;
    }
};

bool SamePixels(const PngImage& a, const PngImage& b) {
    return a.Width == b.Width && a.Height == b.Height && a.Rgb == b.Rgb;
}

} // namespace

TEST(ImageExport, DialogSaveComputesEveryPixelAndLeavesTheScreenPicture) {
    Scene s;
    s.colors.BuildExtSizes(s.scans);
    TempDir dir;
    // References: the same picture drawn with fast mode on and off.
    PngImage fast, full;
    for (bool f : {true, false}) {
        s.tm.Shading.tm_FastDraw = f;
        const std::string p = dir / (f ? "fast.png" : "full.png");
        ASSERT_EQ(
            s.tm.DrawTreemap(640, 360, {.WithFreeSpace = true, .FileName = Utf8ToUtf16(p)}).Outcome,
            TDrawOutcome::Drawn);
        ASSERT_TRUE(ReadPng(p, f ? fast : full));
    }
    ASSERT_FALSE(SamePixels(fast, full));

    s.tm.Shading.tm_FastDraw = true;
    ASSERT_EQ(s.tm.RedrawTreemap(false, true, 200, 100).Outcome, TDrawOutcome::Drawn);
    const std::vector<TMapItem> screenItems = s.tm.Layout().Items;
    const TMapHit screenHit = s.tm.NodeAt(50, 50);
    ASSERT_NE(screenHit.Item, kNoItem);
    TExportTreemapChoices choices;
    choices.edWidth = u"640";
    choices.edHeight = u"360";
    choices.cbShowFreeSpace = true; // the dialog's choice, whatever the window shows
    s.tm.ShowFreeSpace = false;
    const std::string path = dir / "saved.png";
    TDrawResult r = SaveTreemapImage(s.tm, Utf8ToUtf16(path), choices);
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    PngImage saved;
    ASSERT_TRUE(ReadPng(path, saved));
    EXPECT_TRUE(SamePixels(saved, full)) << "the dialog's image is fully shaded";
    EXPECT_TRUE(s.tm.Shading.tm_FastDraw) << "fast mode back on for the screen";
    EXPECT_EQ(s.tm.Image().Width(), 200) << "the screen picture stays";
    EXPECT_TRUE(s.tm.FreeSpaceRect().empty()) << "the screen shows no free space";
    EXPECT_EQ(s.tm.Layout().Items.size(), screenItems.size()) << "nor its layout";
    EXPECT_EQ(s.tm.NodeAt(50, 50), screenHit) << "the screen's hit answers are the same";

    // Gray from the dialog.
    choices.cbShadesofGray = true;
    ASSERT_EQ(SaveTreemapImage(s.tm, Utf8ToUtf16(path), choices).Outcome, TDrawOutcome::Drawn);
    ASSERT_TRUE(ReadPng(path, saved));
    const TColor p = saved.Pixel(100, 100);
    EXPECT_EQ(p >> 16, p & 0xFF);

    // A size that is not a number: a message, no file.
    choices.edWidth = u"wide";
    const std::string never = dir / "never.png";
    r = SaveTreemapImage(s.tm, Utf8ToUtf16(never), choices);
    EXPECT_EQ(r.Outcome, TDrawOutcome::Failed);
    EXPECT_NE(r.Error.find("'wide'"), std::string::npos) << r.Error;
    EXPECT_FALSE(std::filesystem::exists(never));
    // Sizes the bitmap cannot take: a message, no file.
    const std::pair<std::u16string, std::string> sizes[] = {{u"0", "at least 1 pixel"},
                                                            {u"100000", "too large"}};
    for (const auto& [edit, fragment] : sizes) {
        choices.edWidth = choices.edHeight = edit;
        r = SaveTreemapImage(s.tm, Utf8ToUtf16(never), choices);
        EXPECT_EQ(r.Outcome, TDrawOutcome::Failed);
        EXPECT_NE(r.Error.find(fragment), std::string::npos) << r.Error;
        EXPECT_FALSE(std::filesystem::exists(never));
    }
}

TEST(ImageExport, CommandLineBuildsColoursAndWritesTheImage) {
    Scene s; // statistics not built yet: the command line builds them
    TempDir dir;
    TDateTime start;
    ASSERT_TRUE(TryEncodeDateTime(TDateParts{2025, 1, 31, 14, 5, 9, 0}, start));
    const std::u16string name = TreemapImageFileName(Utf8ToUtf16(dir / "out/map_%d.jpg"), start);
    TDrawResult r = ExportTreemapImage(s.tm, name, 300, 200, false, false, false);
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    EXPECT_FALSE(s.tm.ShowAllocatedSize);
    PngImage img;
    ASSERT_TRUE(ReadPng(dir / "out/map_20250131.png", img));
    EXPECT_EQ(img.Width, 300);
    EXPECT_EQ(img.Height, 200);
    EXPECT_EQ(s.colors.ExtSizesTop12[0], u".mp3");
    // The mp3 files take slot 0's colour family (red above green and blue).
    int warm = 0;
    for (int y = 0; y < 200; y += 5)
        for (int x = 0; x < 300; x += 5) {
            const TColor c = img.Pixel(x, y);
            warm += (c >> 16) > ((c >> 8) & 0xFF) + 20 && (c >> 16) > (c & 0xFF) + 40;
        }
    EXPECT_GT(warm, 100);

    // The command line's filters decide which files the statistics count.
    s.tm.ExtSizesFilter = [](PMFT_RECORD r) { return r->Name() == u"disk.iso"; };
    ASSERT_EQ(ExportTreemapImage(s.tm, name, 300, 200, false, false, true).Outcome,
              TDrawOutcome::Drawn);
    EXPECT_EQ(s.colors.ExtSizesTop12[0], u".iso");
    EXPECT_EQ(s.colors.ExtSizesTop12[1], u"*");
}
