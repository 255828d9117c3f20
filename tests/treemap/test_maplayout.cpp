// The layout of a drawn picture answers the window's questions: the item under a point
// (through the grids of large folders exactly as a plain walk of the rectangles would), the
// item of a record, deleted items passed over, and the display node of an item.
#include "base/text.h"
#include "tests/views/scanbuilder.h"
#include "treemap/treemap.h"

#include <gtest/gtest.h>

#include <random>

using namespace qz;
using namespace qz::test;

namespace {

struct Scene {
    ScanBuilder b{u"/data"};
    std::vector<TNTFS_FILES*> scans;
    TDisplayTree tree;
    TExtColors colors;
    TTreemap tm{tree, colors};
    PMFT_RECORD wide = nullptr;

    Scene() {
        std::mt19937_64 rng(21);
        // A folder with thousands of files of very different sizes (a grid), small folders
        // beside it (plain lists), and files directly in the root.
        wide = b.Folder(b.root, u"wide");
        for (int i = 0; i < 2500; ++i)
            b.File(wide, u"w" + AsciiToUtf16(std::to_string(i)), 1000 + rng() % 100000);
        for (int d = 0; d < 6; ++d) {
            PMFT_RECORD f = b.Folder(b.root, u"d" + AsciiToUtf16(std::to_string(d)));
            for (int i = 0; i < 3; ++i)
                b.File(f, u"x" + AsciiToUtf16(std::to_string(i)), 200000 + rng() % 900000);
        }
        b.File(b.root, u"big.iso", 90000000);
        b.Finish();
        scans = {b.scan.get()};
        tree.FILENODE_MIN_GROUP_SIZE = 0; // the wide folder's files are its own children
        EXPECT_TRUE(tree.LoadTree(scans));
        colors.BuildExtSizes(scans);
        tm.Scans = scans;
        tm.DiskSizes = {TDiskSizeInfo{}};
        tm.ShowFileNames = false;
        EXPECT_EQ(tm.RedrawTreemap(false, true, 800, 600).Outcome, TDrawOutcome::Drawn);
    }
};

// The item under a point by the plain rule: from each top, the first child (in layout order)
// whose rectangle holds the point, as deep as it goes.
uint32_t PlainHit(const TTreemapLayout& l, int x, int y) {
    for (uint32_t top : l.Tops) {
        if (!MapRectHolds(l.Items[top].Rect, x, y)) continue;
        uint32_t cur = top;
        for (bool deeper = true; deeper;) {
            deeper = false;
            const TMapItem& it = l.Items[cur];
            for (uint32_t c = it.FirstChild; c < it.FirstChild + it.ChildCount; ++c)
                if (MapRectHolds(l.Items[c].Rect, x, y) && !l.Items[c].Rec->Deleted) {
                    cur = c;
                    deeper = true;
                    break;
                }
        }
        return cur;
    }
    return kNoItem;
}

} // namespace

TEST(MapLayout, GridsAnswerAsThePlainWalkDoes) {
    Scene s;
    const TTreemapLayout& l = s.tm.Layout();
    ASSERT_GE(l.GridCount(), 1u) << "the wide folder has a grid";
    const uint32_t wideItem = l.Find(s.wide, false);
    ASSERT_NE(wideItem, kNoItem);
    ASSERT_GT(l.Items[wideItem].ChildCount, 1000u);
    // Every pixel of every other row, margins and edges included.
    int inWide = 0;
    for (int y = 0; y < 600; y += 2)
        for (int x = 0; x < 800; ++x) {
            const TMapHit hit = l.HitTest(x, y, false);
            ASSERT_EQ(hit.Item, PlainHit(l, x, y)) << x << "," << y;
            inWide += hit.Item != kNoItem && l.Items[hit.Item].Parent == wideItem;
        }
    EXPECT_GT(inWide, 20000);
}

TEST(MapLayout, EveryItemIsFoundByItsRecordAndItsDisplayNode) {
    Scene s;
    const TTreemapLayout& l = s.tm.Layout();
    for (uint32_t i = 0; i < l.Items.size(); ++i) {
        ASSERT_EQ(l.Find(l.Items[i].Rec, l.Items[i].IsFileGroup()), i);
        TTreeNode* n = s.tm.DisplayNodeOf(i);
        ASSERT_NE(n, nullptr) << i;
        EXPECT_EQ(MapNodeOf(n), (TMapNodeRef{l.Items[i].Rec, l.Items[i].IsFileGroup()}));
        EXPECT_EQ(s.tm.ItemOf(n), i);
    }
    EXPECT_EQ(l.Find(s.b.root, true), kNoItem) << "the root's files are not grouped here";
    EXPECT_EQ(l.Find(nullptr, false), kNoItem);
}

TEST(MapLayout, DeletedItemsFallToTheirFolder) {
    Scene s;
    const TTreemapLayout& l = s.tm.Layout();
    const uint32_t wideItem = l.Find(s.wide, false);
    const uint32_t file = l.Items[wideItem].FirstChild; // the largest file of the folder
    const TMapRect r = l.Items[file].Rect;
    const int x = int(r.Left + r.Width / 2), y = int(r.Top + r.Height / 2);
    ASSERT_EQ(l.HitTest(x, y, false).Item, file);
    l.Items[file].Rec->Deleted = true;
    EXPECT_EQ(l.HitTest(x, y, false).Item, wideItem);
    s.wide->Deleted = true;
    EXPECT_EQ(l.Items[l.HitTest(x, y, false).Item].Rec, s.b.root);
}

TEST(MapLayout, ZoomedLayoutsStartAtTheZoomItem) {
    Scene s;
    s.tm.TreemapRoot = s.tree.FindNodeByPath(s.tree.Roots()[0], u"wide");
    ASSERT_NE(s.tm.TreemapRoot, nullptr);
    ASSERT_EQ(s.tm.RedrawTreemap(false, true, 600, 400).Outcome, TDrawOutcome::Drawn);
    const TTreemapLayout& l = s.tm.Layout();
    ASSERT_TRUE(l.Zoomed);
    ASSERT_EQ(l.Tops.size(), 1u);
    EXPECT_EQ(l.Items[l.Tops[0]].Rec, s.wide);
    EXPECT_EQ(l.Items[l.Tops[0]].Rect, (TMapRect{4, 4, 592, 392}));
    const TMapHit hit = s.tm.NodeAt(300, 200);
    ASSERT_NE(hit.Item, kNoItem);
    TTreeNode* n = s.tm.DisplayNodeOf(hit.Item);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->Parent, s.tm.TreemapRoot);
    EXPECT_EQ(s.tm.NodeAt(2, 2), TMapHit{}) << "the margin";
}
