// The drawing over display trees of built scans: rectangles tile their parents in both size
// modes, zero-size and hard-link children take no area, scans and free space share the width,
// zoom fills the picture, totals of zero draw the background only, gray pictures, name strips
// and leaf labels, size order without touching the tree, hit-testing, progress, and bad
// requests.
#include "base/text.h"
#include "tests/support/testsupport.h"
#include "tests/treemap/treemap_support.h"
#include "tests/views/scanbuilder.h"
#include "treemap/treemap.h"
#include "views/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace qz;
using namespace qz::test;

namespace {

constexpr TColor kBackground = 0x393939;

// Forwards to a recording canvas that outlives the drawing.
struct Forwarding : TTreemapCanvas {
    RecordingCanvas* to;
    explicit Forwarding(RecordingCanvas* t) : to(t) {}
    int TextWidth(std::u16string_view s) override { return to->TextWidth(s); }
    int LineHeight() override { return to->LineHeight(); }
    void DrawText(int x, int y, std::u16string_view s, const TIntRect& c) override {
        to->DrawText(x, y, s, c);
    }
    void DrawLine(int x0, int y0, int x1, int y1, TColor c) override {
        to->DrawLine(x0, y0, x1, y1, c);
    }
};

struct World {
    std::vector<std::unique_ptr<ScanBuilder>> builders;
    std::vector<TNTFS_FILES*> scans;
    TDisplayTree tree;
    TExtColors colors;
    TTreemap Treemap{tree, colors};
    RecordingCanvas* canvas = nullptr; // the last drawing's recording canvas, if it made one
    std::vector<std::unique_ptr<RecordingCanvas>> recorded;

    ScanBuilder& Add(std::u16string_view root) {
        builders.push_back(std::make_unique<ScanBuilder>(root));
        return *builders.back();
    }
    // Totals, names, the display tree, colours; the drawing records its labels.
    void Finish() {
        int32_t idx = 1;
        for (auto& b : builders) {
            b->Finish(idx);
            scans.push_back(b->scan.get());
        }
        std::string err;
        EXPECT_TRUE(tree.LoadTree(scans, &err)) << err;
        colors.BuildExtSizes(scans);
        Treemap.Scans = scans;
        Treemap.DiskSizes.assign(scans.size(), TDiskSizeInfo{});
        Treemap.ShowFileNames = false;
        Treemap.CanvasFactory = [this](TTreemapBitmap&, int) {
            recorded.push_back(std::make_unique<RecordingCanvas>());
            canvas = recorded.back().get();
            return std::unique_ptr<TTreemapCanvas>(std::make_unique<Forwarding>(canvas));
        };
    }
    // A screen drawing (4-pixel margin) of w x h.
    void Draw(int w, int h, bool freeSpace = false) {
        canvas = nullptr;
        TDrawResult r = Treemap.DrawTreemap(w, h, {.WithFreeSpace = freeSpace, .Force = true});
        ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    }
    TTreeNode* Node(std::u16string_view path) {
        return tree.FindNodeByPath(nullptr, path, builders[0]->root->NameLength() + 1);
    }
    // An image drawing (no margin) written to path; the picture keeps its layout.
    TTreemapPicture Image(const std::string& path, int w, int h, bool freeSpace) {
        canvas = nullptr;
        TTreemapRequest rq;
        rq.Width = w;
        rq.Height = h;
        rq.ForFile = true;
        rq.WithFreeSpace = freeSpace;
        FollowTree(rq, tree);
        TTreemapPicture p;
        TDrawResult r = PaintTreemap(Treemap, rq, colors, p);
        EXPECT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
        r = SaveTreemapPicture(Utf8ToUtf16(path), p.Image);
        EXPECT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
        return p;
    }
    // The node's rectangle in the last screen picture; nil when it was not laid out.
    const TMapRect* Rect(const TTreeNode* n) const {
        const uint32_t i = Treemap.ItemOf(n);
        return i == kNoItem ? nullptr : &Treemap.Layout().Items[i].Rect;
    }
};

TctRectangle Rounded(const TMapRect& r) {
    return TctRectangle(std::nearbyint(r.Left), std::nearbyint(r.Left + r.Width),
                        std::nearbyint(r.Top), std::nearbyint(r.Top + r.Height));
}

// Checks the children of every drawn folder below n: each child that takes area has a
// rectangle inside the folder's layout area, with an area that follows its size, or no
// rectangle when its share rounds to less than a pixel across (then its share is at most a
// pixel and a half times the area's longer side); the areas add up to the layout area, and the
// drawn pixel rectangles of siblings are disjoint. Returns the number of folders checked.
int CheckTiling(World& w, TTreeNode* n, const TctRectangle& b, bool allocated, bool names) {
    auto kids = w.tree.Children(n);
    if (kids.empty() || b.Width() < 1 || b.Height() < 1) return 0;
    TMapRect area{b.XMin(), b.YMin(), b.Width(), b.Height()};
    if (names && !n->IsFileGroup && area.Height > 12 && area.Width >= 80) {
        area.Top += 13;
        area.Height -= 14;
        area.Left += 2;
        area.Width -= 4;
    }
    std::vector<TTreeNode*> laid;
    long double total = 0;
    for (TTreeNode* c : kids) {
        const uint64_t s =
            allocated ? c->Data.Rec->SubFoldersTotSizeAlloc : c->Data.Rec->SubFoldersTotSize;
        if (s == 0 || (allocated && c->Data.Rec->DoNotCountFlag)) continue;
        laid.push_back(c);
        total += s;
    }
    if (laid.empty() || area.Width <= 0 || area.Height <= 0) return 0;
    // Children that share the last sliver (at most 0.25 px across) are left out of the sums.
    auto same = [](const TMapRect* a, const TMapRect* b) {
        return a->Left == b->Left && a->Top == b->Top && a->Width == b->Width &&
               a->Height == b->Height;
    };
    size_t tail = laid.size() - 1;
    while (tail > 0 && w.Rect(laid.back()) && w.Rect(laid[tail - 1]) &&
           same(w.Rect(laid[tail - 1]), w.Rect(laid.back())))
        --tail;
    if (tail + 1 == laid.size()) tail = laid.size();
    const double areaPx = double(area.Width) * area.Height;
    double covered =
        tail < laid.size() ? double(w.Rect(laid.back())->Width) * w.Rect(laid.back())->Height : 0;
    const double sliver = 1.5 * std::max(area.Width, area.Height) + 0.05;
    std::vector<TctRectangle> drawn;
    int folders = 1;
    for (size_t i = 0; i < laid.size(); ++i) {
        TTreeNode* c = laid[i];
        const TMapRect* r = w.Rect(c);
        const uint64_t size =
            allocated ? c->Data.Rec->SubFoldersTotSizeAlloc : c->Data.Rec->SubFoldersTotSize;
        if (!r) { // less than a pixel across: left out
            const double want = double(size / total) * areaPx;
            EXPECT_LE(want, sliver) << "a child that takes area has no rectangle";
            covered += want;
            continue;
        }
        EXPECT_GE(r->Left, area.Left - 0.01f);
        EXPECT_GE(r->Top, area.Top - 0.01f);
        EXPECT_LE(r->Left + r->Width, area.Left + area.Width + 0.05f);
        EXPECT_LE(r->Top + r->Height, area.Top + area.Height + 0.05f);
        if (i < tail) {
            const double want = double(size / total) * areaPx, got = double(r->Width) * r->Height;
            EXPECT_NEAR(got, want, 2e-3 * want + 0.02);
            covered += got;
        }
        const TctRectangle cb = Rounded(*r);
        if (cb.Width() >= 1 && cb.Height() >= 1) {
            for (const TctRectangle& o : drawn)
                EXPECT_FALSE(cb.XMin() < o.XMax() && o.XMin() < cb.XMax() && cb.YMin() < o.YMax() &&
                             o.YMin() < cb.YMax())
                    << "siblings overlap";
            drawn.push_back(cb);
            folders += CheckTiling(w, c, cb, allocated, names);
        }
    }
    EXPECT_NEAR(covered, areaPx, 2e-3 * areaPx + 0.05);
    return folders;
}

// A random tree below parent: folders, files of mixed sizes (zeros, a giant now and then).
void Grow(ScanBuilder& b, PMFT_RECORD parent, std::mt19937_64& rng, int depth) {
    const int files = int(rng() % 25), folders = depth < 4 ? int(rng() % 5) : 0;
    for (int i = 0; i < files; ++i) {
        uint64_t size = rng() % 10 == 0 ? 0 : rng() % 200000;
        if (rng() % 50 == 0) size = 1ull << (30 + rng() % 8);
        b.File(parent, u"f" + AsciiToUtf16(std::to_string(i)) + (i % 3 ? u".txt" : u".jpg"), size);
    }
    for (int i = 0; i < folders; ++i)
        Grow(b, b.Folder(parent, u"d" + AsciiToUtf16(std::to_string(i))), rng, depth + 1);
}

} // namespace

class Drawing : public ::testing::Test {
protected:
};

TEST_F(Drawing, RectanglesTileTheirParents) {
    struct Case {
        const char* name;
        std::function<void(ScanBuilder&)> grow;
    };
    const Case cases[] = {
        {"one child", [](ScanBuilder& b) { b.File(b.Folder(b.root, u"only"), u"x.bin", 5000); }},
        {"thousands of equal children",
         [](ScanBuilder& b) {
             PMFT_RECORD d = b.Folder(b.root, u"many");
             for (int i = 0; i < 4000; ++i) b.File(d, u"e" + AsciiToUtf16(std::to_string(i)), 8192);
         }},
        {"a child of size 0",
         [](ScanBuilder& b) {
             b.File(b.root, u"a.txt", 10000);
             b.File(b.root, u"zero.txt", 0);
             b.File(b.root, u"b.txt", 30000);
         }},
        {"one giant and many tiny",
         [](ScanBuilder& b) {
             b.File(b.root, u"giant.iso", 1ull << 40);
             PMFT_RECORD d = b.Folder(b.root, u"tiny");
             for (int i = 0; i < 3000; ++i)
                 b.File(d, u"t" + AsciiToUtf16(std::to_string(i)), 1 + i % 7);
         }},
        {"random tree",
         [](ScanBuilder& b) {
             std::mt19937_64 rng(5);
             Grow(b, b.root, rng, 0);
         }},
    };
    for (const Case& c : cases) {
        for (bool allocated : {true, false}) {
            for (bool names : {false, true}) {
                SCOPED_TRACE(std::string(c.name) + (allocated ? " allocated" : " sizes") +
                             (names ? " names" : ""));
                World w;
                c.grow(w.Add(u"/data"));
                w.Finish();
                w.Treemap.ShowAllocatedSize = allocated;
                w.Treemap.ShowFileNames = names;
                w.Draw(800, 600);
                TTreeNode* top = w.tree.Roots()[0];
                ASSERT_NE(w.Rect(top), nullptr);
                const TctRectangle strip(4, 796, 4, 596);
                EXPECT_EQ(Rounded(*w.Rect(top)), strip);
                EXPECT_GE(CheckTiling(w, top, strip, allocated, names), 1);
            }
        }
    }
}

TEST_F(Drawing, ZeroSizeAndHardLinkChildrenTakeNoArea) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    PMFT_RECORD a = b.File(b.root, u"a.bin", 50000);
    PMFT_RECORD link = b.File(b.root, u"link.bin", 40000);
    link->DoNotCountFlag = true; // a later name of a hard-linked file
    b.File(b.root, u"c.bin", 30000);
    w.Finish();
    auto rectOf = [&](PMFT_RECORD r) -> const TMapRect* {
        for (TTreeNode* c : w.tree.Children(w.tree.Roots()[0]))
            if (c->Data.Rec == r) return w.Rect(c);
        return nullptr;
    };
    w.Treemap.ShowAllocatedSize = false; // sizes: the link's size counts
    w.Draw(400, 300);
    ASSERT_NE(rectOf(link), nullptr);
    const TMapRect before = *rectOf(link);
    EXPECT_GT(before.Width * before.Height, 1000);

    w.Treemap.ShowAllocatedSize = true; // allocated: the link takes no area and is not laid out
    w.Draw(500, 200);
    EXPECT_EQ(rectOf(link), nullptr);
    // a (first by size) starts at the area's corner.
    EXPECT_EQ(rectOf(a)->Left, 4);
    EXPECT_EQ(rectOf(a)->Top, 4);
    // Where the link was, the picture names another item: the link is not found.
    const TMapHit hit =
        w.Treemap.NodeAt(int(before.Left + before.Width / 2), int(before.Top + before.Height / 2));
    ASSERT_NE(hit.Item, kNoItem);
    EXPECT_NE(w.Treemap.Layout().Items[hit.Item].Rec, link);

    // A child whose size drops to 0 has no rectangle in the next picture.
    a->FileSize = a->AllocSize = 0;
    b.scan->CalculateDirSizes();
    w.Draw(300, 300);
    EXPECT_EQ(rectOf(a), nullptr);
}

TEST_F(Drawing, ScansShareTheWidthWithGapsAndFreeSpace) {
    World w;
    for (const char16_t* root : {u"/one", u"/two"}) {
        ScanBuilder& b = w.Add(root);
        b.File(b.root, u"x.dat", 1 << 20);
    }
    w.Finish();
    // Two equal scans, no free space: trunc(W / 2) each, 1 pixel between.
    w.Draw(1000, 100);
    auto topRect = [&](size_t i) { return *w.Rect(w.tree.RootNodeOf(w.builders[i]->root)); };
    const float W = 1000 - 8;
    EXPECT_EQ(topRect(0).Left, 4);
    EXPECT_EQ(topRect(0).Width, std::trunc(W / 2));
    EXPECT_EQ(topRect(1).Left, 4 + std::trunc(W / 2) + 1);
    EXPECT_EQ(topRect(1).Width, std::trunc(W / 2));
    EXPECT_TRUE(w.Treemap.FreeSpaceRect().empty());
    // In an image (no margin) the gaps push the last strip one pixel past the right edge:
    // it is clipped there.
    {
        TempDir tmp;
        const std::string two = tmp / "two.png";
        const TTreemapPicture p = w.Image(two, 100, 50, false);
        ASSERT_EQ(p.Layout.Tops.size(), 2u);
        const TMapRect& second = p.Layout.Items[p.Layout.Tops[1]].Rect;
        EXPECT_EQ(second.Left + second.Width, 101);
        PngImage img;
        ASSERT_TRUE(ReadPng(two, img));
        EXPECT_EQ(img.Pixel(50, 25), kBackground) << "the gap";
        EXPECT_NE(img.Pixel(99, 25), kBackground) << "the second scan up to the last column";
    }

    // One scan on a 100 GB drive with 40 GB free, in an image (no margin): the scan takes
    // trunc(0.6 W), the free space the rest up to the last column.
    World f;
    ScanBuilder& b = f.Add(u"/data");
    b.File(b.root, u"x.dat", 1 << 20);
    f.Finish();
    f.Treemap.DiskSizes[0] =
        TDiskSizeInfo{u"/data", true, 100ull << 30, 40ull << 30, 0, 60ull << 30};
    f.Treemap.ShowFileNames = true;
    TempDir dir;
    const std::string path = dir / "free.png";
    const TTreemapPicture p = f.Image(path, 1000, 200, true);
    const TMapRect& s = p.Layout.Items[p.Layout.Tops.at(0)].Rect;
    EXPECT_EQ(s.Left, 0);
    EXPECT_EQ(s.Width, 600);
    ASSERT_EQ(p.Layout.FreeSpaceRect.size(), 1u);
    EXPECT_EQ(p.Layout.FreeSpaceRect[0], TctRectangle(601, 999, 0, 200)); // 601 + 400, limited
    PngImage img;
    ASSERT_TRUE(ReadPng(path, img));
    const TColor freePx = img.Pixel(800, 100);
    EXPECT_EQ(freePx >> 16, freePx & 0xFF) << "free space is gray";
    EXPECT_GT(freePx & 0xFF, 0x90u) << "and lighter than the background";
    EXPECT_EQ(img.Pixel(600, 100), kBackground) << "the gap after the scan";
    EXPECT_EQ(img.Pixel(999, 100), kBackground) << "the last column stays background";
    ASSERT_NE(f.canvas, nullptr);
    bool labelled = false;
    for (const auto& t : f.canvas->Texts) labelled |= t.S == u"Free Space: [/data] 40.0 GB";
    EXPECT_TRUE(labelled);

    // Free space is not shown for a scan without drive figures.
    World g;
    ScanBuilder& gb = g.Add(u"/data");
    gb.File(gb.root, u"x.dat", 1 << 20);
    g.Finish();
    g.Draw(300, 100, true);
    ASSERT_EQ(g.Treemap.FreeSpaceRect().size(), 1u);
    EXPECT_EQ(g.Treemap.FreeSpaceRect()[0], TctRectangle());
    EXPECT_EQ(g.Rect(g.tree.Roots()[0])->Width, 292);
}

TEST_F(Drawing, ZeroTotalsDrawTheBackgroundOnly) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    b.File(b.Folder(b.root, u"d"), u"empty.txt", 0);
    b.File(b.root, u"empty2.txt", 0);
    w.Finish();
    w.Treemap.ShowFileNames = true;
    // A screen drawing reuses the memory of the picture before it when the size is the same,
    // so every pixel must be written: the black frame (all there is of a tiny picture) and
    // the background inside it. The old picture is a marker colour.
    const std::pair<int, int> sizes[] = {{64, 48}, {9, 9}, {10, 30}, {1, 1},
                                         {7, 7},   {9, 5}, {5, 12}};
    for (auto [W, H] : sizes) {
        SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H));
        TTreemapBitmap old;
        std::string err;
        ASSERT_TRUE(old.Create(W, H, err)) << err;
        old.Fill(0x123456);
        w.Treemap.Screen.Image = std::move(old);
        w.Draw(W, H);
        const TTreemapBitmap& img = w.Treemap.Image();
        ASSERT_EQ(img.Width(), W);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const bool margin = x < 4 || y < 4 || x >= W - 4 || y >= H - 4;
                ASSERT_EQ(img.Pixel(x, y), margin ? 0u : kBackground) << x << "," << y;
            }
    }
}

TEST_F(Drawing, ZoomFillsThePictureWithoutFreeSpace) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    PMFT_RECORD d = b.Folder(b.root, u"docs");
    b.File(d, u"a.txt", 3000);
    b.File(d, u"b.txt", 1000);
    b.File(b.root, u"big.iso", 1 << 30);
    w.Finish();
    w.Treemap.DiskSizes[0] = TDiskSizeInfo{u"/data", true, 4ull << 30, 1ull << 30, 0, 3ull << 30};
    w.Treemap.TreemapRoot = w.Node(u"/data/docs");
    ASSERT_NE(w.Treemap.TreemapRoot, nullptr);
    w.Draw(404, 204, true);
    EXPECT_TRUE(w.Treemap.FreeSpaceRect().empty());
    const TMapRect& z = *w.Rect(w.Treemap.TreemapRoot);
    EXPECT_EQ(z.Left, 4);
    EXPECT_EQ(z.Top, 4);
    EXPECT_EQ(z.Width, 396);
    EXPECT_EQ(z.Height, 196);
    EXPECT_EQ(CheckTiling(w, w.Treemap.TreemapRoot, TctRectangle(4, 400, 4, 200), true, false), 1);
    // The two files fill the whole picture: no background inside the margin.
    for (int y = 4; y < 200; y += 7)
        for (int x = 4; x < 400; x += 7) ASSERT_NE(w.Treemap.Image().Pixel(x, y), kBackground);
}

TEST_F(Drawing, GrayPicturesAreGrayOnTheSameBackground) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    std::mt19937_64 rng(3);
    Grow(b, b.root, rng, 1);
    w.Finish();
    w.Treemap.ShowFileNames = true; // name strips and folder borders show the background
    const uint64_t used = b.root->SubFoldersTotSizeAlloc;
    w.Treemap.DiskSizes[0] = TDiskSizeInfo{u"/data", true, used * 4, used, 0, 0}; // a quarter free
    TempDir dir;
    PngImage images[2];
    TTreemapPicture drawn;
    for (bool gray : {false, true}) {
        const std::string path = dir / (gray ? "gray.png" : "colour.png");
        ASSERT_EQ(
            w.Treemap
                .DrawTreemap(300, 200,
                             {.WithFreeSpace = true, .Gray = gray, .FileName = Utf8ToUtf16(path)})
                .Outcome,
            TDrawOutcome::Drawn);
        ASSERT_TRUE(ReadPng(path, images[gray]));
    }
    // The free space: #909090 shaded in colour, white shaded (so lighter) in gray.
    drawn = w.Image(dir / "layout.png", 300, 200, true);
    ASSERT_EQ(drawn.Layout.FreeSpaceRect.size(), 1u);
    const TctRectangle& fr = drawn.Layout.FreeSpaceRect[0];
    EXPECT_GT(fr.Width(), 50);
    const int fx = int(fr.XMin() + fr.Width() / 2), fy = 100;
    EXPECT_GT(images[1].Pixel(fx, fy) & 0xFF, (images[0].Pixel(fx, fy) & 0xFF) + 20);
    int coloured[2] = {0, 0}, background = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x) {
            for (int g = 0; g < 2; ++g) {
                const TColor p = images[g].Pixel(x, y);
                coloured[g] += (p >> 16) != (p & 0xFF) || ((p >> 8) & 0xFF) != (p & 0xFF);
            }
            // Where the colour picture shows the background, so does the gray one.
            if (images[0].Pixel(x, y) == kBackground) {
                ++background;
                ASSERT_EQ(images[1].Pixel(x, y), kBackground) << x << "," << y;
            }
        }
    EXPECT_GT(coloured[0], 1000);
    EXPECT_EQ(coloured[1], 0);
    EXPECT_GT(background, 1000);
}

TEST_F(Drawing, NameStripsLeafLabelsAndFrames) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    PMFT_RECORD d = b.Folder(b.root, u"docs");
    b.File(d, u"report final.pdf", 3000, 8192);
    w.Finish();
    w.Treemap.ShowFileNames = true;
    w.Treemap.ShowAllocatedSize = true;

    // Tall enough: the root's strip, the folder's strip and the file's label.
    w.Draw(308, 208);
    ASSERT_NE(w.canvas, nullptr);
    std::vector<std::u16string> texts;
    for (const auto& t : w.canvas->Texts) texts.push_back(t.S);
    EXPECT_EQ(texts, (std::vector<std::u16string>{u"/data/ (8.0 KB)", u"docs/ (8.0 KB)",
                                                  u"report final.pdf (8.0 KB)"}));
    // The root's strip: 12 px high from the top of its strip, 4 px in; its frame lines.
    EXPECT_EQ(w.canvas->Texts[0].Clip, (TIntRect{8, 4, 304 - 2, 16}));
    EXPECT_EQ(w.canvas->Lines.size(), 8u);
    EXPECT_EQ(w.canvas->Lines[0].Color, 0x303030u);
    EXPECT_EQ(w.canvas->Lines[2].Color, 0x404040u);

    // Sizes instead of allocated sizes.
    w.Treemap.ShowAllocatedSize = false;
    w.Draw(308, 208);
    EXPECT_EQ(w.canvas->Texts.back().S, u"report final.pdf (2.9 KB)");

    // The root's area 12 px high (26 - 14): the folder gets no strip, the file no label.
    w.Draw(208, 26 + 8);
    ASSERT_NE(w.canvas, nullptr);
    ASSERT_EQ(w.canvas->Texts.size(), 1u);
    EXPECT_EQ(w.canvas->Texts[0].S, u"/data/ (2.9 KB)");
    // One pixel more: the folder's strip appears.
    w.Draw(208, 27 + 8);
    ASSERT_EQ(w.canvas->Texts.size(), 2u);

    // Names off: nothing through the canvas.
    w.Treemap.ShowFileNames = false;
    w.Draw(308, 208);
    EXPECT_EQ(w.canvas, nullptr);
}

TEST_F(Drawing, SizesFollowTheMonitorsScaling) {
    // n * dpi / 96 rounded to nearest; the label font is 80 % of the reference label's height.
    struct Case {
        int dpi, strip, minWidth, font;
    };
    const Case cases[] = {{96, 12, 80, 9},
                          {100, 13, 83, 10},
                          {120, 15, 100, 12},
                          {144, 18, 120, 14},
                          {192, 24, 160, 19}};
    for (const Case& c : cases) {
        World w;
        w.Treemap.Dpi = c.dpi;
        EXPECT_EQ(w.Treemap.iTREEMAPTEXTHEIGHT(), c.strip) << c.dpi;
        EXPECT_EQ(w.Treemap.iTREEMAPTEXTMINWIDTH(), c.minWidth) << c.dpi;
        EXPECT_EQ(w.Treemap.FontPixelSize(), c.font) << c.dpi;
    }
    World w;
    w.Treemap.LabelFontHeight = 20; // the window's own label font
    EXPECT_EQ(w.Treemap.FontPixelSize(), 16);
}

TEST_F(Drawing, RootNamesFromTheSourcePicker) {
    const std::u16string entries[] = {u"[D:] Backup", u"[C:] System"};
    EXPECT_EQ(PickerEntryFor(u"C:\\", entries), u"[C:] System");
    EXPECT_EQ(PickerEntryFor(u"c:\\", entries), u"[C:] System");
    EXPECT_EQ(PickerEntryFor(u"Windows\\", entries), u"");
    EXPECT_EQ(PickerEntryFor(u"", entries), u"");

    World w;
    ScanBuilder& b = w.Add(u"C:");
    b.File(b.root, u"pagefile.sys", 4096);
    w.Finish();
    w.Treemap.ShowFileNames = true;
    w.Treemap.RootDisplayName = [&](std::u16string_view t) { return PickerEntryFor(t, entries); };
    w.Draw(308, 208);
    ASSERT_NE(w.canvas, nullptr);
    EXPECT_EQ(w.canvas->Texts[0].S, u"[C:] System (4.0 KB)");
}

TEST_F(Drawing, DrawsInSizeOrderWithoutTouchingTheTree) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    b.File(b.root, u"a-small.txt", 1000);
    PMFT_RECORD big = b.File(b.root, u"z-big.txt", 900000);
    b.File(b.root, u"m-mid.txt", 50000);
    w.Finish();
    w.tree.Sort(tcFolder, TSortDirection::Ascending);
    auto kids = w.tree.Children(w.tree.Roots()[0]);
    const std::vector<TTreeNode*> before(kids.begin(), kids.end());
    w.Draw(300, 200);
    EXPECT_EQ(w.tree.SortColumn(), tcFolder);
    EXPECT_EQ(w.tree.SortDirection(), TSortDirection::Ascending);
    kids = w.tree.Children(w.tree.Roots()[0]);
    EXPECT_EQ(std::vector<TTreeNode*>(kids.begin(), kids.end()), before) << "never re-sorted";
    EXPECT_EQ(kids[0]->Data.Rec->Name(), u"a-small.txt");
    TTreeNode* bigNode = kids[2];
    ASSERT_EQ(bigNode->Data.Rec, big);
    EXPECT_EQ(w.Rect(bigNode)->Left, 4) << "the largest was laid out first";
    EXPECT_EQ(w.Rect(bigNode)->Top, 4);
    // The layout lists a folder's children largest first.
    const TTreemapLayout& l = w.Treemap.Layout();
    const auto laid = l.Children(l.Tops[0]);
    ASSERT_EQ(laid.size(), 3u);
    EXPECT_EQ(laid[0].Rec, big);
    EXPECT_EQ(laid[2].Rec->Name(), u"a-small.txt");
}

TEST_F(Drawing, HitTestFindsEveryDrawnLeaf) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    std::mt19937_64 rng(9);
    Grow(b, b.root, rng, 1);
    w.Finish();
    w.Treemap.DiskSizes[0] = TDiskSizeInfo{
        u"/data", true, b.root->SubFoldersTotSizeAlloc * 2, b.root->SubFoldersTotSizeAlloc, 0, 0};
    w.Treemap.ShowFreeSpace = true;
    w.Draw(640, 480, true);
    int checked = 0;
    w.tree.ForEach(w.tree.Roots()[0], [&](TTreeNode* n) {
        const TMapRect* rect = w.Rect(n);
        if (!rect || w.tree.HasChildren(n)) return;
        const TctRectangle r = Rounded(*rect);
        if (r.Width() < 3 || r.Height() < 3) return;
        const TMapHit hit =
            w.Treemap.NodeAt(int(r.XMin() + r.Width() / 2), int(r.YMin() + r.Height() / 2));
        EXPECT_EQ(hit.Item, w.Treemap.ItemOf(n)) << Utf16ToUtf8(n->Data.Rec->Name());
        EXPECT_EQ(hit.FreeIndex, -1);
        EXPECT_EQ(w.Treemap.DisplayNodeOf(hit.Item), n) << "and back to the tree's node";
        ++checked;
    });
    EXPECT_GT(checked, 20);
    const TMapHit free = w.Treemap.NodeAt(600, 200);
    EXPECT_EQ(free.Item, kNoItem);
    EXPECT_EQ(free.FreeIndex, 0) << "a point in the free space";
    EXPECT_EQ(w.Treemap.NodeAt(1, 1), TMapHit{}) << "the margin holds nothing";
}

TEST_F(Drawing, ProgressForLargeScans) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    for (int f = 0; f < 40; ++f) {
        PMFT_RECORD d = b.Folder(b.root, u"d" + AsciiToUtf16(std::to_string(f)));
        for (int i = 0; i < 50; ++i) b.File(d, u"x" + AsciiToUtf16(std::to_string(i)), 1000 + f);
    }
    w.Finish();
    std::vector<int> steps;
    int begins = 0, ends = 0;
    w.Treemap.Progress = {[&] { ++begins; }, [&](int p) { steps.push_back(p); }, [&] { ++ends; }};
    w.Draw(20, 12); // tiny: most folders are smaller than a pixel
    EXPECT_EQ(begins, 0) << "small scans draw without progress";
    w.Treemap.ProgressRecordThreshold = 1000;
    w.Draw(20, 12);
    EXPECT_EQ(begins, 1);
    EXPECT_EQ(ends, 1);
    ASSERT_FALSE(steps.empty());
    for (size_t i = 0; i < steps.size(); ++i) {
        EXPECT_LE(steps[i], 100);
        EXPECT_GE(steps[i] - (i ? steps[i - 1] : 0), 20);
    }
}

TEST_F(Drawing, ScreenRedrawsOnlyWhenNeeded) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    b.File(b.root, u"a.txt", 100);
    w.Finish();
    EXPECT_EQ(w.Treemap.RedrawTreemap(false, false, 100, 80).Outcome, TDrawOutcome::Drawn);
    EXPECT_EQ(w.Treemap.RedrawTreemap(false, false, 100, 80).Outcome, TDrawOutcome::Skipped);
    EXPECT_EQ(w.Treemap.RedrawTreemap(false, true, 100, 80).Outcome, TDrawOutcome::Drawn);
    EXPECT_EQ(w.Treemap.RedrawTreemap(true, false, 100, 80).Outcome, TDrawOutcome::Drawn);
    EXPECT_EQ(w.Treemap.Image().Width(), 100);
    EXPECT_EQ(w.Treemap.Image().Pixel(0, 0), 0u) << "black margin on screen";
    // A panel of no height: nothing drawn, no message.
    TDrawResult r = w.Treemap.RedrawTreemap(false, false, 100, 0);
    EXPECT_EQ(r.Outcome, TDrawOutcome::Skipped);
    EXPECT_TRUE(w.Treemap.Image().Empty());
    // No scans: nothing, also for a file.
    World none;
    none.Finish();
    EXPECT_EQ(
        none.Treemap.DrawTreemap(10, 10, {.Rebuild = true, .FileName = u"/tmp/never.png"}).Outcome,
        TDrawOutcome::Skipped);
}

TEST_F(Drawing, BadImageRequestsFailWithMessages) {
    World w;
    ScanBuilder& b = w.Add(u"/data");
    b.File(b.root, u"a.txt", 100);
    w.Finish();
    TempDir dir;
    WriteFileBytes(dir / "plain", "x", 1);
    struct Case {
        int width, height;
        std::string file, fragment;
    };
    const Case cases[] = {
        {0, 1080, dir / "a.png", "at least 1 pixel"},
        {1920, -5, dir / "a.png", "at least 1 pixel"},
        {100000, 100000, dir / "a.png", "too large"},
        {64, 64, dir / "plain/sub/a.png", "Cannot write"},
    };
    for (const Case& c : cases) {
        TDrawResult r = w.Treemap.DrawTreemap(c.width, c.height, {.FileName = Utf8ToUtf16(c.file)});
        EXPECT_EQ(r.Outcome, TDrawOutcome::Failed) << c.width << "x" << c.height << " " << c.file;
        EXPECT_EQ(r.Error.rfind("Error: ", 0), 0u) << r.Error;
        EXPECT_NE(r.Error.find(c.fragment), std::string::npos) << r.Error;
    }
    // A folder that does not exist yet is made; the image has exactly the requested size.
    const std::string deep = dir / "new/folder/map.png";
    TDrawResult r = w.Treemap.DrawTreemap(123, 45, {.FileName = Utf8ToUtf16(deep)});
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    PngImage img;
    ASSERT_TRUE(ReadPng(deep, img));
    EXPECT_EQ(img.Width, 123);
    EXPECT_EQ(img.Height, 45);
    EXPECT_NE(img.Pixel(0, 0), 0u) << "no margin in an image";
}
