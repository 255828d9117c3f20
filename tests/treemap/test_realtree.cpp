// A real folder tree on disk, scanned by the folder walk and drawn into a PNG file: the files'
// rectangles follow their sizes, and each file's cushion has the hue of its extension's colour.
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"
#include "tests/treemap/treemap_support.h"
#include "treemap/treemap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

// A file of the given size without writing its bytes (sparse: sizes, not allocated sizes).
void Sparse(const std::string& path, uint64_t size) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(ftruncate(fd, off_t(size)), 0);
    close(fd);
}

// The order of a colour's channels, largest first ("RGB", "GBR" ...).
std::string ChannelOrder(TColor c) {
    std::pair<int, char> ch[3] = {
        {int(c >> 16) & 0xFF, 'R'}, {int(c >> 8) & 0xFF, 'G'}, {int(c & 0xFF), 'B'}};
    std::sort(std::begin(ch), std::end(ch), [](auto a, auto b) { return a.first > b.first; });
    return {ch[0].second, ch[1].second, ch[2].second};
}

} // namespace

TEST(RealTree, FolderScanDrawnToPng) {
    TempDir dir;
    const std::string root = dir / "tree";
    const uint64_t GB = 1ull << 30;
    struct File {
        const char* rel;
        uint64_t size;
    };
    const File files[] = {{"music/song.mp3", 3 * GB}, {"video/film.mkv", 2 * GB},
                          {"docs/a.txt", GB / 2},     {"docs/b.txt", GB / 2},
                          {"docs/old/c.txt", GB / 4}, {"pics/p.jpg", GB / 8}};
    uint64_t total = 0;
    for (const File& f : files) {
        Sparse(root + "/" + f.rel, f.size);
        total += f.size;
    }
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(root), ScanSourcePasses());
    scan->ProcessMFTRecords();
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    scan->CalculateDirSizes();
    ASSERT_NE(scan->MFTRoot, nullptr);
    int32_t idx = 1;
    SetNameSortIndex(scan->MFTRoot, idx);
    ASSERT_EQ(scan->MFTRoot->SubFoldersTotSize, total);

    TDisplayTree tree;
    TNTFS_FILES* scans[] = {scan.get()};
    ASSERT_TRUE(tree.LoadTree(scans));
    TExtColors colors;
    TTreemap tm(tree, colors);
    tm.Scans = {scan.get()};
    tm.DiskSizes = {TDiskSizeInfo{}};
    tm.ShowAllocatedSize = false; // sparse files: sizes
    tm.ShowFileNames = false;
    const std::string png = dir / "out/tree.png";
    // The image with its layout (what the command line writes).
    TTreemapRequest rq;
    rq.Width = 800;
    rq.Height = 600;
    rq.ForFile = true;
    rq.Rebuild = true;
    FollowTree(rq, tree);
    TTreemapPicture picture;
    TDrawResult r = PaintTreemap(tm, rq, colors, picture);
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    r = SaveTreemapPicture(Utf8ToUtf16(png), picture.Image);
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    PngImage img;
    ASSERT_TRUE(ReadPng(png, img));
    ASSERT_EQ(img.Width, 800);
    ASSERT_EQ(img.Height, 600);
    EXPECT_EQ(colors.ExtSizesTop12[0], u".mp3");
    EXPECT_EQ(colors.ExtSizesTop12[1], u".mkv");
    EXPECT_EQ(colors.ExtSizesTop12[2], u".txt");

    const char sep = '/';
    for (const File& f : files) {
        SCOPED_TRACE(f.rel);
        std::string path = root + sep + f.rel;
        TTreeNode* n = tree.FindNodeByPath(nullptr, Utf8ToUtf16(path), root.size() + 1);
        ASSERT_NE(n, nullptr);
        const uint32_t item = picture.Layout.Find(n->Data.Rec, false);
        ASSERT_NE(item, kNoItem);
        const TMapRect& m = picture.Layout.Items[item].Rect;
        // Folders lay their children out in whole-pixel bounds: within a pixel per side.
        EXPECT_NEAR(double(m.Width) * m.Height, double(f.size) / double(total) * 800 * 600,
                    double(m.Width + m.Height));
        // The cushion's middle pixel carries the hue of the extension's palette colour.
        const TColor px = img.Pixel(int(m.Left + m.Width / 2), int(m.Top + m.Height / 2));
        const TColor want = colors.GetFileColor(n->Data.Rec->Name());
        EXPECT_EQ(ChannelOrder(px), ChannelOrder(want)) << std::hex << px << " vs " << want;
    }
}
