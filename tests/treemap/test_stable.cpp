// Pictures of fixed scenes keep their exact bytes: every pixel and every label and frame line
// (through a recording canvas, so the check does not depend on the fonts installed) of
// drawings with names, free space, gray, size order, zoom into a folder and into a file
// group, full shading, several scans, hard links, zero sizes and a folder beyond the layout's
// item limit. The fingerprints were taken from the drawing as it first shipped; a change
// here changes what users' saved images look like.
#include "base/text.h"
#include "tests/support/testsupport.h"
#include "tests/treemap/treemap_support.h"
#include "tests/views/scanbuilder.h"
#include "treemap/treemap.h"
#include "treemap/walk.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <random>

using namespace qz;
using namespace qz::test;

namespace {

struct Fnv {
    uint64_t h = 1469598103934665603ull;
    void Add(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    }
    void Add(int v) { Add(&v, sizeof v); }
};

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

void Grow(ScanBuilder& b, PMFT_RECORD parent, std::mt19937_64& rng, int depth) {
    const int files = int(rng() % 25);
    const int folders = depth == 0 ? 4 : depth < 4 ? int(rng() % 5) : 0;
    static const char16_t* exts[] = {u".txt", u".jpg", u".mp3", u".iso", u"", u".log", u".gz"};
    for (int i = 0; i < files; ++i) {
        uint64_t size = rng() % 10 == 0 ? 0 : rng() % 200000;
        if (rng() % 50 == 0) size = 1ull << (30 + rng() % 8);
        PMFT_RECORD f = b.File(parent, u"f " + AsciiToUtf16(std::to_string(i)) + exts[rng() % 7],
                               size, size / 3 * 4);
        if (rng() % 40 == 0) f->DoNotCountFlag = true; // a later name of a hard link
    }
    for (int i = 0; i < folders; ++i)
        Grow(b, b.Folder(parent, u"dir" + AsciiToUtf16(std::to_string(i))), rng, depth + 1);
}

struct Scene {
    ScanBuilder a{u"/data"}, c{u"C:"};
    std::vector<TNTFS_FILES*> scans;
    TDisplayTree tree;
    TExtColors colors;
    TTreemap Treemap{tree, colors};
    std::vector<std::unique_ptr<RecordingCanvas>> canvases;
    TempDir dir;

    Scene() {
        std::mt19937_64 rng(11);
        Grow(a, a.root, rng, 0);
        PMFT_RECORD many = a.Folder(a.root, u"many");
        for (int i = 0; i < 60000; ++i)
            a.File(many, u"m" + AsciiToUtf16(std::to_string(i)) + u".dat", 700 + i % 50);
        PMFT_RECORD pair = a.Folder(a.root, u"pair");
        a.File(pair, u"one.txt", 900000);
        a.File(pair, u"two.jpg", 300000);
        Grow(c, c.root, rng, 2);
        int32_t index = 1;
        a.Finish(index);
        c.Finish(index);
        scans = {a.scan.get(), c.scan.get()};
        EXPECT_TRUE(tree.LoadTree(scans));
        colors.BuildExtSizes(scans);
        Treemap.Scans = scans;
        const uint64_t used = a.root->SubFoldersTotSizeAlloc;
        Treemap.DiskSizes = {TDiskSizeInfo{u"/data", true, used * 3, used, 0, used * 2},
                             TDiskSizeInfo{}};
        Treemap.CanvasFactory = [this](TTreemapBitmap&, int) {
            canvases.push_back(std::make_unique<RecordingCanvas>());
            return std::unique_ptr<TTreemapCanvas>(
                std::make_unique<Forwarding>(canvases.back().get()));
        };
        const std::u16string entries[] = {u"[C:] System"};
        Treemap.RootDisplayName = [entries](std::u16string_view t) {
            return PickerEntryFor(t, entries);
        };
    }

    // The fingerprint of one image drawing: its pixels and everything drawn on the canvas.
    uint64_t Draw(int w, int h, bool freeSpace, bool gray) {
        canvases.clear();
        const std::string path = dir / "p.png";
        const TDrawResult r = Treemap.DrawTreemap(
            w, h, {.WithFreeSpace = freeSpace, .Gray = gray, .FileName = Utf8ToUtf16(path)});
        EXPECT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
        PngImage img;
        EXPECT_TRUE(ReadPng(path, img));
        Fnv f;
        f.Add(img.Width);
        f.Add(img.Height);
        f.Add(img.Rgb.data(), img.Rgb.size());
        for (const auto& cv : canvases) {
            for (const auto& t : cv->Texts) {
                f.Add(t.X);
                f.Add(t.Y);
                f.Add(t.S.data(), t.S.size() * 2);
                f.Add(&t.Clip, sizeof t.Clip);
            }
            for (const auto& l : cv->Lines) f.Add(&l, sizeof l);
        }
        return f.h;
    }
    TTreeNode* Node(std::u16string_view rel) {
        return tree.FindNodeByPath(tree.RootNodeOf(a.root), rel);
    }
};

} // namespace

TEST(StablePictures, FixedScenesKeepTheirBytes) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> set;
        int w, h;
        bool freeSpace, gray;
        uint64_t want;
    };
    const Case cases[] = {
        {"names, allocated, free space", [](Scene&) {}, 1000, 700, true, false,
         0x797548e110f95ea7ull},
        {"gray", [](Scene&) {}, 1000, 700, true, true, 0x724887cc34547879ull},
        {"sizes in size order, no names",
         [](Scene& s) {
             s.Treemap.ShowAllocatedSize = false;
             s.Treemap.ShowFileNames = false;
             s.tree.Sort(tcSize, TSortDirection::Descending);
         },
         640, 480, false, false, 0xdd09abbdbfa6e635ull},
        {"name order in the tree, names",
         [](Scene& s) { s.tree.Sort(tcFolder, TSortDirection::Ascending); }, 900, 600, false, false,
         0x57f8f3b0170d848dull},
        {"zoom into a folder",
         [](Scene& s) {
             for (TTreeNode* k : s.tree.Children(s.tree.RootNodeOf(s.a.root)))
                 if (!s.Treemap.TreemapRoot && k->Data.Rec->Name().starts_with(u"dir"))
                     s.Treemap.TreemapRoot = k;
         },
         800, 600, true, false, 0x6a766ed3bd9a0c35ull},
        {"zoom into a file group",
         [](Scene& s) {
             for (TTreeNode* k : s.tree.Children(s.Node(u"many")))
                 if (k->IsFileGroup) s.Treemap.TreemapRoot = k;
         },
         500, 400, false, false, 0x46c2291c66e74865ull},
        {"full shading", [](Scene& s) { s.Treemap.Shading.tm_FastDraw = false; }, 700, 500, false,
         false, 0x0ac919886c673d32ull},
        {"gradients off", [](Scene& s) { s.Treemap.Shading.GradientEnabled = false; }, 700, 500,
         true, false, 0x0461b4ae20b62b01ull},
        {"high dpi", [](Scene& s) { s.Treemap.Dpi = 144; }, 1200, 800, true, false,
         0x418d252347ecb703ull},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene fresh;
        c.set(fresh);
        ASSERT_TRUE(!std::string(c.name).starts_with("zoom") || fresh.Treemap.TreemapRoot);
        const uint64_t got = fresh.Draw(c.w, c.h, c.freeSpace, c.gray);
        if (got != c.want) std::printf("%-32s now 0x%016" PRIx64 "\n", c.name, got);
        EXPECT_EQ(got, c.want) << c.name;
        // The layout made on two threads draws the same bytes and calls.
        fresh.Treemap.WalkThreads = 2;
        EXPECT_EQ(fresh.Draw(c.w, c.h, c.freeSpace, c.gray), c.want) << c.name << ", 2 threads";
    }
}

// A picture whose pixels are made by several threads, each a band of rows, has the bytes of
// the one made at once: cushions, name strips, labels cut by a band's edge (real text through
// the Qt canvas) and the frame lines that later cushions overwrite. Band counts that split
// the rows evenly and unevenly; screen pictures with their margin and image pictures.
TEST(StablePictures, BandsOfRowsDrawTheSameBytes) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> set;
        int w, h;
        bool forFile, freeSpace;
    };
    const Case cases[] = {
        {"screen, names, free space", [](Scene&) {}, 1000, 700, false, true},
        {"image, names, high dpi", [](Scene& s) { s.Treemap.Dpi = 144; }, 1201, 803, true, false},
        {"screen, gray, zoom",
         [](Scene& s) {
             s.Treemap.Shading.tm_FastDraw = false;
             for (TTreeNode* k : s.tree.Children(s.tree.RootNodeOf(s.a.root)))
                 if (!s.Treemap.TreemapRoot && k->Data.Rec->Name().starts_with(u"dir"))
                     s.Treemap.TreemapRoot = k;
         },
         777, 555, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene scene;
        c.set(scene);
        scene.Treemap.CanvasFactory = nullptr; // the real text
        TTreemapRequest rq;
        rq.Width = c.w;
        rq.Height = c.h;
        rq.ForFile = c.forFile;
        rq.WithFreeSpace = c.freeSpace;
        rq.Gray = std::string(c.name).find("gray") != std::string::npos;
        rq.Zoom = MapNodeOf(scene.Treemap.TreemapRoot);
        FollowTree(rq, scene.tree);
        std::vector<uint8_t> once;
        for (int threads : {1, 2, 3, 7}) {
            SCOPED_TRACE(threads);
            TTreemapSettings settings = scene.Treemap;
            settings.PixelThreads = threads;
            TTreemapPicture picture;
            ASSERT_EQ(PaintTreemap(settings, rq, scene.colors, picture).Outcome,
                      TDrawOutcome::Drawn);
            std::vector<uint8_t> bytes; // the pixels, without the rows' padding
            for (int y = 0; y < c.h; ++y)
                bytes.insert(bytes.end(), picture.Image.Row(y), picture.Image.Row(y) + 3 * c.w);
            if (threads == 1) {
                once = std::move(bytes);
                continue;
            }
            ASSERT_EQ(bytes.size(), once.size());
            size_t differ = 0;
            for (size_t i = 0; i < bytes.size(); ++i) differ += bytes[i] != once[i];
            EXPECT_EQ(differ, 0u);
        }
    }
}

// The folders' sorted children kept from one drawing to the next give the pictures and
// layouts a drawing that sorts afresh gives: after a resize, into and out of a zoom, with the
// tree's order and the size kind changed (the kept orders are for other choices then), and
// after the records changed (a rebuild drops them).
namespace {
void KeptOrdersAgainstFreshSorts(int walkThreads);
} // namespace

TEST(StablePictures, KeptChildOrdersDrawWhatAFreshSortDraws) {
    // The kept drawings lay out on one thread, then on two (each keeping the orders of its
    // part); the fresh ones always on one.
    for (int walkThreads : {1, 2}) {
        SCOPED_TRACE(walkThreads);
        KeptOrdersAgainstFreshSorts(walkThreads);
    }
}

// Two layout threads make the layout one thread makes, and the second thread does part of it.
TEST(StablePictures, TwoLayoutThreadsShareTheWalk) {
    Scene scene;
    TTreemapLayout layouts[2];
    TPaintList paints[2];
    TTreemapWalk::Counters stats[2];
    for (int t = 0; t < 2; ++t) {
        TWalkSettings ws;
        ws.Threads = t + 1;
        ws.Groups = scene.tree.GroupRule();
        TExtColors colors = scene.colors;
        TTreemapWalk walk(layouts[t], colors, paints[t], ws);
        TMapItem top;
        top.Rect = TMapRect{0, 0, 1000, 700};
        top.Rec = scene.a.root;
        layouts[t].Tops.push_back(layouts[t].Add(top));
        walk.Draw(layouts[t].Tops.back(), TctRectangle(0, 1000, 0, 700));
        ASSERT_FALSE(walk.Cancelled());
        stats[t] = walk.Stats();
    }
    EXPECT_EQ(stats[0].Shared, 0u);
    EXPECT_GT(stats[1].Shared, stats[1].Visited / 10);
    EXPECT_LT(stats[1].Shared, stats[1].Visited);
    EXPECT_EQ(stats[0].Visited, stats[1].Visited);
    EXPECT_EQ(paints[0].Size(), paints[1].Size());
    ASSERT_EQ(layouts[0].Items.size(), layouts[1].Items.size());
    size_t differ = 0;
    for (size_t i = 0; i < layouts[0].Items.size(); ++i) {
        const TMapItem &a = layouts[0].Items[i], &b = layouts[1].Items[i];
        differ += a.Rec != b.Rec || a.Flags != b.Flags || a.Parent != b.Parent ||
                  a.FirstChild != b.FirstChild || a.ChildCount != b.ChildCount ||
                  std::memcmp(&a.Rect, &b.Rect, sizeof a.Rect) != 0;
    }
    EXPECT_EQ(differ, 0u);
}

namespace {

void KeptOrdersAgainstFreshSorts(int walkThreads) {
    Scene scene;
    scene.Treemap.CanvasFactory = nullptr;
    TChildOrders orders;
    TTreeNode* dir = nullptr;
    for (TTreeNode* k : scene.tree.Children(scene.tree.RootNodeOf(scene.a.root)))
        if (!dir && k->Data.Rec->Name().starts_with(u"dir")) dir = k;
    ASSERT_TRUE(dir);
    PMFT_RECORD big = nullptr; // the largest file of the scan's top folder
    for (PMFT_RECORD r : scene.a.root->Children())
        if (!r->IsFolder() && (!big || r->AllocSize > big->AllocSize)) big = r;
    ASSERT_TRUE(big && big->AllocSize > 0);
    struct Step {
        const char* name;
        std::function<void()> change;
        int w, h;
        bool rebuild;
    };
    TTreeNode* zoom = nullptr;
    const Step steps[] = {
        {"first", [] {}, 1000, 700, true},
        {"resized", [] {}, 1280, 640, false},
        {"zoomed", [&] { zoom = dir; }, 900, 600, false},
        {"unzoomed", [&] { zoom = nullptr; }, 900, 600, false},
        {"size order", [&] { scene.tree.Sort(tcSize, TSortDirection::Descending); }, 900, 600,
         false},
        {"a hard link's later name", [&] { big->DoNotCountFlag = true; }, 900, 600, true},
        {"sizes, not allocated", [&] { scene.Treemap.ShowAllocatedSize = false; }, 900, 600, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.change();
        TTreemapRequest rq;
        rq.Width = s.w;
        rq.Height = s.h;
        rq.Rebuild = s.rebuild;
        rq.Zoom = MapNodeOf(zoom);
        FollowTree(rq, scene.tree);
        TTreemapPicture kept, fresh;
        TExtColors colors = scene.colors;
        TTreemapSettings shared = scene.Treemap;
        shared.WalkThreads = walkThreads;
        ASSERT_EQ(PaintTreemap(shared, rq, colors, kept, nullptr, &orders).Outcome,
                  TDrawOutcome::Drawn);
        colors = scene.colors;
        ASSERT_EQ(PaintTreemap(scene.Treemap, rq, colors, fresh).Outcome, TDrawOutcome::Drawn);
        EXPECT_GT(orders.Folders(), 0u);
        ASSERT_EQ(kept.Layout.Items.size(), fresh.Layout.Items.size());
        size_t differ = 0;
        for (size_t i = 0; i < kept.Layout.Items.size(); ++i) {
            const TMapItem &a = kept.Layout.Items[i], &b = fresh.Layout.Items[i];
            differ += a.Rec != b.Rec || a.Flags != b.Flags || a.Parent != b.Parent ||
                      a.FirstChild != b.FirstChild || a.ChildCount != b.ChildCount ||
                      std::memcmp(&a.Rect, &b.Rect, sizeof a.Rect) != 0;
        }
        EXPECT_EQ(differ, 0u);
        if (big->DoNotCountFlag && scene.Treemap.ShowAllocatedSize) { // it takes no area now
            EXPECT_EQ(kept.Layout.Find(big, false), kNoItem);
        }
        for (int y = 0; y < s.h; ++y)
            ASSERT_EQ(std::memcmp(kept.Image.Row(y), fresh.Image.Row(y), size_t(3 * s.w)), 0)
                << "row " << y;
    }
}

} // namespace
