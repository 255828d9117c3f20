// The display tree over scans built record by record: grouping, lazy children, sorting and
// its tie-breaks, the columns' values and texts, selection listings, paths and view state.
#include "base/text.h"
#include "engine/collation.h"
#include "tests/views/scanbuilder.h"
#include "views/displaytree.h"
#include "views/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

struct Fixture : ::testing::Test {};

std::vector<TNTFS_FILES*> One(TNTFS_FILES& s) {
    return {&s};
}

// Names of n's children in view order (a group shows as "<group>").
std::vector<std::u16string> KidNames(TDisplayTree& t, TTreeNode* n) {
    std::vector<std::u16string> v;
    for (TTreeNode* c : t.Children(n))
        v.push_back(c->IsFileGroup ? u"<group>" : std::u16string(c->Data.Rec->Name()));
    return v;
}

TTreeNode* Kid(TDisplayTree& t, TTreeNode* n, std::u16string_view name) {
    for (TTreeNode* c : t.Children(n))
        if (c->IsFileGroup ? name == u"<group>" : c->Data.Rec->Name() == name) return c;
    return nullptr;
}

// C:\ with Docs (a subfolder and `files` files of sizes 10, 20, ...) and a root file.
struct Sample {
    ScanBuilder b;
    PMFT_RECORD docs, sub, deep, rootFile;
    std::vector<PMFT_RECORD> files;
    explicit Sample(int files_ = 4) {
        docs = b.Folder(b.root, u"Docs");
        sub = b.Folder(docs, u"Sub");
        deep = b.File(sub, u"deep.bin", 1000, 4096);
        for (int i = 0; i < files_; ++i)
            files.push_back(b.File(docs, u"f" + std::u16string(1, char16_t(u'0' + i)) + u".txt",
                                   uint64_t(10 * (i + 1)), 4096, 45000.0 + i));
        rootFile = b.File(b.root, u"top.sys", 5, 4096);
        b.Finish();
    }
};

} // namespace

TEST_F(Fixture, FileGroupsFollowTheThreshold) {
    struct Case {
        int files, minGroup;
        bool enabled, grouped;
    };
    const Case cases[] = {
        {4, 4, true, true},   // exactly the threshold
        {3, 4, true, false},  // one fewer: files sit under the folder
        {40, 0, true, false}, // 0 switches grouping off
        {5, 4, false, false}, // folders-only filter active
        {2, 2, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.files * 100 + c.minGroup);
        Sample s(c.files);
        TDisplayTree t;
        t.FILENODE_MIN_GROUP_SIZE = c.minGroup;
        t.FileNodesEnabled = c.enabled;
        auto scans = One(*s.b.scan);
        ASSERT_TRUE(t.LoadTree(scans));
        EXPECT_TRUE(t.FileNodesEnabled); // set back after the load
        TTreeNode* docs = Kid(t, t.Roots()[0], u"Docs");
        ASSERT_NE(docs, nullptr);
        TTreeNode* g = Kid(t, docs, u"<group>");
        EXPECT_EQ(g != nullptr, c.grouped);
        EXPECT_EQ(t.FileGroupCount(), c.grouped ? 1u : 0u);
        if (g) {
            EXPECT_EQ(t.ChildCount(docs), 2u); // Sub and the group
            EXPECT_EQ(t.ChildCount(g), size_t(c.files));
            EXPECT_EQ(g->Depth(), docs->Depth());
            EXPECT_EQ(g->FolderRec(), s.docs);
            EXPECT_EQ(t.Children(g)[0]->Depth(), docs->Depth() + 2);
            EXPECT_EQ(t.Children(g)[0]->FolderRec(), s.docs);
            // The group's record: the folder's own level as totals (its files, and its one
            // direct subfolder as the folder count), no children of its own, newest file date.
            PMFT_RECORD gr = g->Data.Rec;
            EXPECT_EQ(gr->SubFoldersTotSize, s.docs->ThisFolderTotSize());
            EXPECT_EQ(gr->SubFoldersTotSizeAlloc, s.docs->ThisFolderTotSizeAlloc());
            EXPECT_EQ(gr->SubFoldersNumFiles(), c.files);
            EXPECT_EQ(gr->SubFoldersNumDirs(), 1);
            EXPECT_TRUE(gr->Children().empty());
            EXPECT_EQ(gr->Name(), u"Docs");
            EXPECT_EQ(g->Data.Rec->ModifiedDate, 45000.0 + c.files - 1);
        } else {
            EXPECT_EQ(t.ChildCount(docs), size_t(1 + c.files));
        }
    }
}

TEST_F(Fixture, ChildrenAreMadeOnlyWhenAsked) {
    Sample s;
    TDisplayTree t;
    auto scans = One(*s.b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    EXPECT_EQ(t.NodeCount(), 1u);
    TTreeNode* root = t.Roots()[0];
    EXPECT_TRUE(root->Expanded()); // the only scan's root is expanded
    EXPECT_TRUE(t.HasChildren(root));
    EXPECT_EQ(root->Depth(), 1);
    EXPECT_EQ(root->FolderRec(), nullptr);
    EXPECT_EQ(t.NodeCount(), 1u); // HasChildren made nothing
    size_t visited = 0;
    t.ForEach(nullptr, [&](TTreeNode*) { ++visited; });
    // root, Docs, Sub, deep.bin, group, 4 files, top.sys
    EXPECT_EQ(visited, 10u);
    EXPECT_EQ(t.NodeCount(), 10u);
    // The records keep their children lists (other users still need them).
    EXPECT_EQ(s.docs->Children().size(), 5u);
    // Walking by siblings gives the same order as the children spans.
    TTreeNode* first = t.FirstChild(root);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(t.NextSibling(first), t.Children(root)[1]);
    EXPECT_EQ(t.NextSibling(t.Children(root).back()), nullptr);
    EXPECT_EQ(t.PrevSibling(t.Children(root)[1]), first);
}

TEST_F(Fixture, ScanListWithHolesFailuresAndMissingRoot) {
    Sample a, c;
    auto empty = TNTFS_FILES::CreateSlow(u"empty");
    auto failed = TNTFS_FILES::CreateSlow(u"failed");
    failed->SetError("could not read");
    // A root found as folder record 5 when MFTRoot is not set.
    ScanBuilder byNumber(u"/srv");
    byNumber.File(byNumber.root, u"x", 1);
    byNumber.Finish();
    byNumber.scan->MFTRoot = nullptr;

    TDisplayTree t;
    std::vector<TNTFS_FILES*> scans{a.b.scan.get(),      nullptr,     failed.get(),
                                    byNumber.scan.get(), empty.get(), c.b.scan.get()};
    std::string error;
    EXPECT_FALSE(t.LoadTree(scans, &error));
    EXPECT_EQ(error, "MFT root was not found");
    // The scans before the one without root stay; later ones are not loaded.
    ASSERT_EQ(t.Roots().size(), 2u);
    EXPECT_NE(t.RootNodeOf(a.b.root), nullptr);
    EXPECT_NE(t.RootNodeOf(byNumber.root), nullptr);
    EXPECT_EQ(t.RootNodeOf(c.b.root), nullptr);
    EXPECT_FALSE(t.Roots()[0]->Expanded()); // two roots: both collapsed

    // A root without children.
    ScanBuilder bare(u"/empty");
    bare.Finish();
    auto one = One(*bare.scan);
    ASSERT_TRUE(t.LoadTree(one));
    EXPECT_FALSE(t.HasChildren(t.Roots()[0]));
    EXPECT_TRUE(t.Children(t.Roots()[0]).empty());
    EXPECT_EQ(t.CellText(t.Roots()[0], tcPercent), u"100.0 %");
    EXPECT_EQ(t.CellText(t.Roots()[0], tcSize), u"0");
}

TEST_F(Fixture, SortingByColumnsWithTieBreaks) {
    ScanBuilder b;
    PMFT_RECORD d = b.Folder(b.root, u"d");
    b.File(d, u"beta", 100, 8192, 45001, 0x21);
    b.File(d, u"Alpha", 100, 4096, 45003, 0x20);
    b.File(d, u"gamma", 300, 4096, 45002, 0x01);
    b.Folder(d, u"zeta");
    b.Folder(d, u"Eta");
    b.Finish();
    TDisplayTree t;
    t.FILENODE_MIN_GROUP_SIZE = 3;
    auto scans = One(*b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* dn = Kid(t, t.Roots()[0], u"d");
    ASSERT_NE(dn, nullptr);
    TTreeNode* g = Kid(t, dn, u"<group>");
    ASSERT_NE(g, nullptr);
    t.Children(g); // made before the re-sorts: they must follow them

    using V = std::vector<std::u16string>;
    // Initial: Allocated descending; ties by name, descending as well.
    EXPECT_EQ(KidNames(t, g), (V{u"beta", u"gamma", u"Alpha"}));
    t.HeaderClick(tcFolder); // a new column: "Folder" starts ascending
    EXPECT_EQ(t.SortDirection(), TSortDirection::Ascending);
    EXPECT_EQ(KidNames(t, dn), (V{u"Eta", u"zeta", u"<group>"})); // the group after all others
    EXPECT_EQ(KidNames(t, g), (V{u"Alpha", u"beta", u"gamma"}));
    t.HeaderClick(tcFolder); // the sorted column toggles
    EXPECT_EQ(KidNames(t, dn), (V{u"<group>", u"zeta", u"Eta"}));
    t.HeaderClick(tcSize);
    EXPECT_EQ(t.SortDirection(), TSortDirection::Descending);
    EXPECT_EQ(KidNames(t, g), (V{u"gamma", u"beta", u"Alpha"}));
    t.HeaderClick(tcAttributes); // starts ascending
    EXPECT_EQ(t.SortDirection(), TSortDirection::Ascending);
    EXPECT_EQ(KidNames(t, g), (V{u"gamma", u"Alpha", u"beta"}));
    t.HeaderClick(tcModified);
    EXPECT_EQ(KidNames(t, g), (V{u"Alpha", u"gamma", u"beta"}));
    t.Sort(tcItems, TSortDirection::Ascending);
    EXPECT_EQ(KidNames(t, dn), (V{u"Eta", u"zeta", u"<group>"})); // 0, 0, 3 + 2 items
    t.Sort(tcFiles, TSortDirection::Descending);
    EXPECT_EQ(KidNames(t, dn), (V{u"<group>", u"zeta", u"Eta"}));
    // Children made after a sort come in that sort's order.
    TDisplayTree t2;
    t2.FILENODE_MIN_GROUP_SIZE = 0;
    ASSERT_TRUE(t2.LoadTree(scans));
    t2.Sort(tcSize, TSortDirection::Ascending);
    EXPECT_EQ(KidNames(t2, Kid(t2, t2.Roots()[0], u"d")),
              (V{u"Eta", u"zeta", u"Alpha", u"beta", u"gamma"}));
}

TEST_F(Fixture, ResortAfterPartialWalkMatchesAFreshSort) {
    // A random tree: re-sorting lists already made must give the order a fresh tree gets.
    ScanBuilder b;
    std::mt19937 rng(7);
    std::vector<PMFT_RECORD> folders{b.root};
    for (int i = 0; i < 3000; ++i) {
        PMFT_RECORD parent = folders[rng() % folders.size()];
        std::u16string name =
            u"n" + std::u16string(1, char16_t(u'a' + rng() % 5)) + char16_t(u'0' + rng() % 3);
        if (rng() % 6 == 0)
            folders.push_back(b.Folder(parent, name, 45000 + rng() % 4, rng() % 2 ? 0x10 : 0x12));
        else
            b.File(parent, name, rng() % 4 * 1000, rng() % 3 * 4096, 45000 + rng() % 4,
                   rng() % 2 ? 0x20 : 0x21);
    }
    b.Finish();
    auto scans = One(*b.scan);
    auto order = [](TDisplayTree& t) {
        std::vector<const TMFT_RECORD*> v;
        t.ForEach(nullptr,
                  [&](TTreeNode* n) { v.push_back(n->IsFileGroup ? nullptr : n->Data.Rec); });
        return v;
    };
    for (int col = 0; col < tcCount; ++col) {
        for (auto dir : {TSortDirection::Ascending, TSortDirection::Descending}) {
            SCOPED_TRACE(col * 2 + int(dir));
            TDisplayTree walked, fresh;
            ASSERT_TRUE(walked.LoadTree(scans));
            int k = 0;
            walked.ForEach(nullptr, [&](TTreeNode* n) {
                if (++k % 3 == 0) walked.Children(n);
            });
            walked.Sort(col, dir);
            ASSERT_TRUE(fresh.LoadTree(scans));
            fresh.Sort(col, dir);
            EXPECT_EQ(order(walked), order(fresh));
            // Every sibling list is ordered by the column (its direction applied).
            fresh.ForEach(nullptr, [&](TTreeNode* n) {
                auto kids = fresh.Children(n);
                for (size_t i = 1; i < kids.size(); ++i) {
                    int c = TDisplayTree::CompareNodes(kids[i - 1], kids[i], col);
                    EXPECT_LT(dir == TSortDirection::Ascending ? c : -c, 0);
                }
            });
        }
    }
}

TEST_F(Fixture, OneTreeResortedThroughEveryColumnWithAnyNameNumbering) {
    // The same lists sorted again and again (name ranks kept from sort to sort), with the
    // records' name numbering as the session leaves it, stale (reversed) and missing (zero):
    // every list must follow the column and its name ties.
    enum class TNumbering { Session, Reversed, Zero };
    for (TNumbering numbering : {TNumbering::Session, TNumbering::Reversed, TNumbering::Zero}) {
        SCOPED_TRACE(int(numbering));
        ScanBuilder b;
        std::mt19937 rng(11);
        std::vector<PMFT_RECORD> folders{b.root}, all;
        for (int i = 0; i < 2000; ++i) {
            PMFT_RECORD parent = folders[rng() % folders.size()];
            std::u16string name =
                u"n" + std::u16string(1, char16_t(u'a' + rng() % 26)) + char16_t(u'0' + rng() % 10);
            if (rng() % 8 == 0)
                all.push_back(folders.emplace_back(b.Folder(parent, name, 45000 + rng() % 2)));
            else
                all.push_back(b.File(parent, name, rng() % 3 * 1000, rng() % 2 * 4096,
                                     45000 + rng() % 2, rng() % 2 ? 0x20 : 0x21));
        }
        b.Finish();
        for (size_t i = 0; i < all.size(); ++i)
            if (numbering == TNumbering::Reversed)
                all[i]->SortNameIndex = int32_t(all.size() - i);
            else if (numbering == TNumbering::Zero)
                all[i]->SortNameIndex = 0;
        auto scans = One(*b.scan);
        TDisplayTree t;
        t.FILENODE_MIN_GROUP_SIZE = 6;
        ASSERT_TRUE(t.LoadTree(scans));
        t.ForEach(nullptr, [](TTreeNode*) {}); // every list made
        for (int round = 0; round < 2; ++round)
            for (int col = 0; col < tcCount; ++col)
                for (auto dir : {TSortDirection::Descending, TSortDirection::Ascending}) {
                    SCOPED_TRACE(col * 2 + int(dir));
                    t.Sort(col, dir);
                    t.ForEach(nullptr, [&](TTreeNode* n) {
                        auto kids = t.Children(n);
                        for (size_t i = 1; i < kids.size(); ++i) {
                            const int c = TDisplayTree::CompareNodes(kids[i - 1], kids[i], col);
                            ASSERT_LT(dir == TSortDirection::Ascending ? c : -c, 0);
                            ASSERT_EQ(kids[i]->Index, i);
                        }
                    });
                }
    }
}

TEST_F(Fixture, PercentOfParentAndCellTexts) {
    ScanBuilder b;
    PMFT_RECORD d = b.Folder(b.root, u"Docs", 45000.5, 0x12);
    PMFT_RECORD sub = b.Folder(d, u"Sub");
    b.File(sub, u"big", 600, 8192);
    PMFT_RECORD f1 = b.File(d, u"a.txt", 100, 4096);
    b.File(d, u"b.txt", 300, 4096);
    PMFT_RECORD undated = b.File(d, u"c.txt", 0, 0, 0);
    PMFT_RECORD link = b.File(d, u"d.lnk", 40, 4096, ScanBuilder::kDefaultDate, 0x21);
    link->DoNotCountFlag = true;
    b.Finish();
    TDisplayTree t;
    auto scans = One(*b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* root = t.Roots()[0];
    TTreeNode* dn = Kid(t, root, u"Docs");
    TTreeNode* g = Kid(t, dn, u"<group>");
    ASSERT_NE(g, nullptr);
    TTreeNode* a = Kid(t, g, u"a.txt");
    TTreeNode* c = Kid(t, g, u"c.txt");
    TTreeNode* l = Kid(t, g, u"d.lnk");
    TTreeNode* sn = Kid(t, dn, u"Sub");

    // Docs: 1040 bytes, 5 counted files; allocated 8192 + 2 * 4096 (the link not counted).
    EXPECT_EQ(d->SubFoldersTotSize, 1040u);
    EXPECT_EQ(d->SubFoldersTotSizeAlloc, 16384u);
    // Sorted by allocated size: allocated shares.
    EXPECT_DOUBLE_EQ(t.PercentOfParent(root), 100);
    EXPECT_DOUBLE_EQ(t.PercentOfParent(sn), 50); // 8192 of 16384
    EXPECT_DOUBLE_EQ(t.PercentOfParent(g), 50);  // the folder's own files: 8192 of 16384
    EXPECT_DOUBLE_EQ(t.PercentOfParent(a), 50);  // of the folder's own files only: 4096 of 8192
    EXPECT_DOUBLE_EQ(t.PercentOfParent(l), 50);  // its own allocation, though not counted
    EXPECT_DOUBLE_EQ(t.PercentOfParent(c), 0);
    t.Sort(tcSize, TSortDirection::Descending); // sizes now
    EXPECT_DOUBLE_EQ(t.PercentOfParent(sn), 600.0 / 1040 * 100);
    EXPECT_DOUBLE_EQ(t.PercentOfParent(a), 100.0 / 440 * 100);
    EXPECT_EQ(t.CellText(a, tcPercent), u"22.7 %");
    f1->Deleted = true;
    EXPECT_EQ(t.PercentOfParent(a), 0);

    // Texts.
    EXPECT_EQ(t.CellText(root, tcFolder), u"C:\\");
    EXPECT_EQ(t.CellText(dn, tcFolder), u"Docs");
    EXPECT_EQ(t.CellText(g, tcFolder), u"[4 files in C:\\Docs]");
    EXPECT_EQ(t.CellText(dn, tcSize), u"1.0 KB");
    EXPECT_EQ(t.CellText(dn, tcFiles), u"5");
    EXPECT_EQ(t.CellText(dn, tcFolders), u"1");
    EXPECT_EQ(t.CellText(dn, tcItems), u"6");
    EXPECT_EQ(t.CellText(g, tcFiles), u"4");
    EXPECT_EQ(t.CellText(g, tcFolders), u"1"); // the folder's direct subfolders
    EXPECT_EQ(t.CellText(g, tcItems), u"5");
    EXPECT_EQ(t.CellText(a, tcFiles), u""); // counts are empty for files
    EXPECT_EQ(t.CellText(dn, tcAttributes), u"H");
    EXPECT_EQ(t.CellText(g, tcAttributes), u"");
    EXPECT_EQ(t.CellText(root, tcAttributes), u"");
    EXPECT_EQ(t.CellText(l, tcAttributes), u"RA");
    EXPECT_EQ(t.CellText(c, tcModified), u""); // date 0
    EXPECT_FALSE(t.CellText(a, tcModified).empty());
    // A hard-link duplicate shows its own figures, the allocated one bracketed and disabled.
    EXPECT_EQ(t.CellText(l, tcSize), u"40 bytes");
    EXPECT_EQ(t.CellText(l, tcAllocated), u"(4.0 KB)");
    EXPECT_TRUE(TDisplayTree::CellDisabled(l, tcAllocated));
    EXPECT_FALSE(TDisplayTree::CellDisabled(a, tcAllocated));
    EXPECT_EQ(t.CellText(a, tcAllocated), u"4.0 KB");
    // Hidden wins over compressed.
    EXPECT_EQ(TDisplayTree::NodeLook(dn), TDisplayTree::TNodeLook::Hidden);
    EXPECT_EQ(TDisplayTree::NodeLook(a), TDisplayTree::TNodeLook::Normal);
    f1->DOSAttrib = 0x800;
    EXPECT_EQ(TDisplayTree::NodeLook(a), TDisplayTree::TNodeLook::Compressed);
    f1->DOSAttrib = 0x802;
    EXPECT_EQ(TDisplayTree::NodeLook(a), TDisplayTree::TNodeLook::Hidden);
    EXPECT_TRUE(TDisplayTree::DeletedLook(a));
    (void)undated;
}

TEST_F(Fixture, ZeroTotalsGiveZeroPercent) {
    ScanBuilder b;
    PMFT_RECORD d = b.Folder(b.root, u"empty-files");
    for (int i = 0; i < 5; ++i) b.File(d, u"z" + std::u16string(1, char16_t(u'0' + i)), 0, 0);
    b.Finish();
    TDisplayTree t;
    auto scans = One(*b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    for (int col : {tcAllocated, tcSize}) {
        t.Sort(col, TSortDirection::Descending);
        t.ForEach(nullptr, [&](TTreeNode* n) {
            if (!n->Parent) return;
            EXPECT_EQ(t.PercentOfParent(n), 0);
            EXPECT_EQ(t.CellText(n, tcPercent), u"0.0 %");
        });
    }
}

TEST_F(Fixture, NamesThatTieUnderTheCollation) {
    ScanBuilder b(u"/data");
    b.File(b.root, u"readme", 5);
    b.File(b.root, u"README", 5);
    b.File(b.root, u"ReadMe", 5);
    b.Folder(b.root, u"Dir");
    b.Finish();
    TDisplayTree t;
    t.FILENODE_MIN_GROUP_SIZE = 0;
    auto scans = One(*b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* root = t.Roots()[0];
    t.Sort(tcFolder, TSortDirection::Ascending);
    auto asc = KidNames(t, root);
    t.Sort(tcFolder, TSortDirection::Descending);
    auto desc = KidNames(t, root);
    std::reverse(desc.begin(), desc.end());
    EXPECT_EQ(asc, desc); // a total order: descending is exactly the reverse
    t.Sort(tcSize, TSortDirection::Descending);
    auto bySize = KidNames(t, root);
    t.Sort(tcSize, TSortDirection::Descending);
    EXPECT_EQ(KidNames(t, root), bySize); // stable across re-sorts
    // Path lookup prefers the exact name among names equal under the collation.
    for (const char16_t* n : {u"readme", u"README", u"ReadMe"}) {
        TTreeNode* hit = t.FindNodeByPath(root, n);
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(hit->Data.Rec->Name(), n);
    }
    TTreeNode* folded = t.FindNodeByPath(root, u"rEADme");
    ASSERT_NE(folded, nullptr);
    EXPECT_EQ(CompareNames(folded->Data.Rec->Name(), u"readme"), 0);
    EXPECT_EQ(t.FindNodeByPath(root, u"dir")->Data.Rec->Name(), u"Dir");
}

TEST_F(Fixture, AFolderWithAMillionFiles) {
    ScanBuilder b(u"/big");
    PMFT_RECORD d = b.Folder(b.root, u"flat");
    const int n = 1000000;
    for (int i = 0; i < n; ++i)
        b.File(d, u"f" + AsciiToUtf16(std::to_string(i)), uint64_t(i % 1000) * 10, uint64_t(i));
    b.Finish();
    TDisplayTree t;
    auto scans = One(*b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* flat = t.Children(t.Roots()[0])[0];
    ASSERT_EQ(t.ChildCount(flat), 1u); // one group node
    EXPECT_LT(t.NodeCount(), 10u);     // nothing below it made yet
    TTreeNode* g = t.Children(flat)[0];
    auto files = t.Children(g);
    ASSERT_EQ(files.size(), size_t(n));
    EXPECT_EQ(files.front()->Data.Rec->AllocSize, uint64_t(n - 1)); // allocated, descending
    EXPECT_EQ(files.back()->Data.Rec->AllocSize, 0u);
    EXPECT_EQ(t.CellText(g, tcFolder), u"[1,000,000 files in /big/flat]");
    t.Sort(tcFolder, TSortDirection::Ascending);
    EXPECT_EQ(t.Children(g).front()->Data.Rec->Name(), u"f0");
    EXPECT_EQ(t.Children(g)[1]->Data.Rec->Name(), u"f1");
    EXPECT_EQ(t.Children(g)[2]->Data.Rec->Name(), u"f10");
    TTreeNode* hit = t.FindNodeByPath(nullptr, u"/big/flat/f999999", 4);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->Parent, g);
}

TEST_F(Fixture, SelectionListings) {
    Sample s;
    TDisplayTree t;
    auto scans = One(*s.b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    t.Sort(tcFolder, TSortDirection::Ascending);
    TTreeNode* root = t.Roots()[0];
    TTreeNode* docs = Kid(t, root, u"Docs");
    TTreeNode* sub = Kid(t, docs, u"Sub");
    TTreeNode* deep = Kid(t, sub, u"deep.bin");
    TTreeNode* g = Kid(t, docs, u"<group>");
    TTreeNode* f0 = Kid(t, g, u"f0.txt");
    TTreeNode* f1 = Kid(t, g, u"f1.txt");
    TTreeNode* f2 = Kid(t, g, u"f2.txt");
    ASSERT_TRUE(root && docs && sub && deep && g && f0 && f1 && f2);
    s.files[2]->Deleted = true;

    using L = std::vector<std::pair<std::u16string, TTreeNode*>>;
    auto list = [&](bool containing, bool groups, bool skipNested) {
        std::vector<TSelectedItem> items;
        GetSelectedItems(
            items, t,
            {.ContainingFolders = containing, .IncludeGroups = groups, .SkipNested = skipNested});
        L out;
        for (auto& i : items) out.emplace_back(i.Path, i.Node);
        return out;
    };

    // Selected in a different order than the view's: listings come in view order.
    t.Select(f1);
    t.Select(deep);
    t.Select(f0);
    t.Select(f2); // deleted: left out
    EXPECT_EQ(list(false, false, false), (L{{u"C:\\Docs\\Sub\\deep.bin", deep},
                                            {u"C:\\Docs\\f0.txt", f0},
                                            {u"C:\\Docs\\f1.txt", f1}}));
    // Containing folders: files give their folder once; a grouped file's node is the group.
    EXPECT_EQ(list(true, false, false), (L{{u"C:\\Docs\\Sub", sub}, {u"C:\\Docs", g}}));

    // A selected group: its files, or itself, or its folder.
    t.ClearSelection();
    t.Select(g);
    EXPECT_EQ(list(false, false, false), (L{{u"C:\\Docs\\f0.txt", f0},
                                            {u"C:\\Docs\\f1.txt", f1},
                                            {u"C:\\Docs\\f3.txt", Kid(t, g, u"f3.txt")}}));
    EXPECT_EQ(list(false, true, false), (L{{u"C:\\Docs", g}}));
    EXPECT_EQ(list(true, false, false), (L{{u"C:\\Docs", g}}));

    // Nested nodes: skipped only when asked.
    t.ClearSelection();
    t.Select(deep);
    t.Select(docs);
    t.Select(f0);
    EXPECT_EQ(list(false, false, true), (L{{u"C:\\Docs", docs}}));
    EXPECT_EQ(list(false, false, false).size(), 3u);

    // The status text counts a folder's files, a file as one; the focus counts as selected.
    t.ClearSelection();
    t.Select(g);
    t.SetFocusedNode(s.b.root ? Kid(t, root, u"top.sys") : nullptr);
    // group: f0, f1, f3 (f2 deleted) = 10 + 20 + 40 bytes; top.sys 5 bytes
    EXPECT_EQ(t.SelectionStatusText(),
              u"Selected Files: 4  Total Size: 75 bytes  Allocated: 16.0 KB");
    // Reading the status leaves the selection as it was: the focus is counted, not marked.
    EXPECT_EQ(t.SelectedNodes(), std::vector<TTreeNode*>{g});
    // A selected file inside a selected group is counted once, with the group.
    t.Select(f0);
    EXPECT_EQ(t.SelectionStatusText(),
              u"Selected Files: 4  Total Size: 75 bytes  Allocated: 16.0 KB");
    t.SetFocusedNode(nullptr);
    t.ClearSelection();
    EXPECT_EQ(t.SelectionStatusText(), u"");

    // "Select Parent" passes over the group to its folder; "Reselect Child" returns.
    EXPECT_EQ(TDisplayTree::ParentForSelect(deep), sub);
    t.SetFocusedNode(f0);
    ASSERT_TRUE(t.SelectParent());
    EXPECT_EQ(t.SelectedNodes(), std::vector<TTreeNode*>{docs});
    EXPECT_EQ(t.FocusedNode(), docs);
    EXPECT_EQ(t.LastChildNode(), f0);
    ASSERT_TRUE(t.ReselectChild());
    EXPECT_EQ(t.SelectedNodes(), std::vector<TTreeNode*>{f0});
    EXPECT_EQ(t.LastChildNode(), nullptr);
    EXPECT_FALSE(t.ReselectChild());
    t.SetFocusedNode(root);
    EXPECT_FALSE(t.SelectParent()); // a top-level node has no parent
    EXPECT_EQ(t.SelectedNodes(), std::vector<TTreeNode*>{f0});

    // The shown rows: only expanded nodes show their children.
    t.CollapseAll();
    t.SetExpanded(root, true);
    t.SetExpanded(docs, true);
    std::vector<TTreeNode*> rows;
    for (TTreeNode* n = root; n; n = t.NextVisible(n)) rows.push_back(n);
    EXPECT_EQ(rows, (std::vector<TTreeNode*>{root, docs, sub, g, Kid(t, root, u"top.sys")}));
    for (size_t i = rows.size(); i-- > 1;) EXPECT_EQ(t.PrevVisible(rows[i]), rows[i - 1]);
    EXPECT_EQ(t.PrevVisible(root), nullptr);
    EXPECT_FALSE(TViewNodes::IsVisible(f0));
    t.ClearSelection();
    t.SelectVisibleRange(rows[3], rows[1]); // either order
    EXPECT_EQ(t.SelectedNodes(), (std::vector<TTreeNode*>{docs, sub, g}));
}

TEST_F(Fixture, SelectFilesOfAnExtension) {
    ScanBuilder b(u"/pics");
    PMFT_RECORD d = b.Folder(b.root, u"album.JPG"); // a folder: never selected
    b.File(d, u"a.jpg", 1);
    b.File(d, u"b.JpG", 1);
    b.File(d, u"c.jpeg", 1);
    b.File(b.root, u"noext", 1);
    b.File(b.root, u"top.JPG", 5);
    PMFT_RECORD hidden = b.Folder(b.root, u"hidden"); // taken out by a filter, with its file
    b.File(hidden, u"h.jpg", 9);
    PMFT_RECORD deep = b.Folder(b.Folder(d, u"deep"), u"deeper");
    b.File(deep, u"d.jpg", 3);
    b.Finish();
    hidden->Filtered = true;
    // A second scan: its matches are selected too, after the first's.
    ScanBuilder b2(u"/more");
    b2.File(b2.Folder(b2.root, u"x"), u"e.JPG", 1);
    b2.Finish();
    TDisplayTree t;
    std::vector<TNTFS_FILES*> scans{b.scan.get(), b2.scan.get()};
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* first = nullptr;
    EXPECT_EQ(t.SelectFilesOfExtension(u".JPG", &first), 5u);
    const std::vector<TTreeNode*> selected = t.SelectedNodes();
    std::vector<std::u16string> names;
    for (TTreeNode* n : selected) names.emplace_back(n->Data.Rec->Name());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names,
              (std::vector<std::u16string>{u"a.jpg", u"b.JpG", u"d.jpg", u"e.JPG", u"top.JPG"}));
    ASSERT_FALSE(selected.empty());
    EXPECT_EQ(first, selected.front()); // the first in view order
    // The first follows the sort: by name ascending the scan "/more" comes first; descending,
    // "/pics" does, and in it "top.JPG" before the folder "album.JPG".
    for (auto [direction, name] : {std::pair{TSortDirection::Ascending, u"e.JPG"},
                                   std::pair{TSortDirection::Descending, u"top.JPG"}}) {
        t.Sort(tcFolder, direction);
        EXPECT_EQ(t.SelectFilesOfExtension(u".jpg", &first), 5u);
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, t.SelectedNodes().front());
        EXPECT_EQ(first->Data.Rec->Name(), std::u16string_view(name));
    }
    EXPECT_EQ(t.SelectFilesOfExtension(u"", &first), 0u);
    EXPECT_EQ(t.SelectedCount(), 0u);
    EXPECT_EQ(first, nullptr);
}

// The captured expansion follows every change of it: expanded in any order, collapsed,
// expanded again, everything collapsed, the view cleared; an expanded node under a collapsed
// one is kept (it shows again expanded when its parent does).
TEST_F(Fixture, CapturedExpansionFollowsEveryChange) {
    Sample s(6);
    TDisplayTree t;
    auto scans = One(*s.b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* root = t.Roots()[0];
    TTreeNode* docs = Kid(t, root, u"Docs");
    TTreeNode* sub = Kid(t, docs, u"Sub");
    TTreeNode* g = Kid(t, docs, u"<group>");
    auto captured = [&] {
        std::vector<std::u16string> v;
        for (const auto& e : t.CaptureViewState().Expanded)
            v.push_back(e.Path + (e.FileGroup ? u"|group" : u""));
        return v;
    };
    using V = std::vector<std::u16string>;
    // Expanded deepest first; captured in view order (the group before Sub: more allocated).
    t.SetExpanded(sub, true);
    t.SetExpanded(g, true);
    t.SetExpanded(docs, true);
    EXPECT_EQ(captured(), (V{u"C:\\", u"C:\\Docs", u"C:\\Docs|group", u"C:\\Docs\\Sub"}));
    // Collapsed, expanded again, expanded twice: once each.
    t.SetExpanded(g, false);
    t.SetExpanded(docs, false);
    EXPECT_EQ(captured(), (V{u"C:\\", u"C:\\Docs\\Sub"}));
    t.SetExpanded(docs, true);
    t.SetExpanded(docs, true);
    EXPECT_EQ(captured(), (V{u"C:\\", u"C:\\Docs", u"C:\\Docs\\Sub"}));
    // Everything collapsed; then one node again.
    t.CollapseAll();
    EXPECT_FALSE(sub->Expanded());
    EXPECT_EQ(captured(), V{});
    t.SetExpanded(sub, true);
    EXPECT_EQ(captured(), V{u"C:\\Docs\\Sub"});
    // "Expand All" expands every node with children, the group included.
    t.ExpandAll();
    EXPECT_EQ(captured(), (V{u"C:\\", u"C:\\Docs", u"C:\\Docs|group", u"C:\\Docs\\Sub"}));
    // A cleared view has none; the new tree's root is expanded as loaded.
    t.Clear();
    EXPECT_EQ(captured(), V{});
    ASSERT_TRUE(t.LoadTree(scans));
    EXPECT_EQ(captured(), V{u"C:\\"});
}

TEST_F(Fixture, ViewStateSurvivesARescan) {
    auto build = [] {
        auto s = std::make_unique<Sample>(6);
        return s;
    };
    auto first = build();
    TDisplayTree t;
    auto scans = One(*first->b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* docs = Kid(t, t.Roots()[0], u"Docs");
    TTreeNode* g = Kid(t, docs, u"<group>");
    t.SetExpanded(docs, true);
    t.SetExpanded(g, true);
    t.Select(Kid(t, g, u"f4.txt"));
    t.Select(Kid(t, docs, u"Sub"));
    TTreeViewState st = t.CaptureViewState();
    ASSERT_EQ(st.Expanded.size(), 3u); // root, Docs, the group
    EXPECT_EQ(st.Expanded[2].Path, u"C:\\Docs");
    EXPECT_TRUE(st.Expanded[2].FileGroup);

    // The same tree scanned again: new records, new nodes.
    auto second = build();
    t.Clear();
    scans = One(*second->b.scan);
    ASSERT_TRUE(t.LoadTree(scans));
    t.CollapseAll();
    t.RestoreViewState(st);
    TTreeNode* docs2 = Kid(t, t.Roots()[0], u"Docs");
    TTreeNode* g2 = Kid(t, docs2, u"<group>");
    EXPECT_TRUE(t.Roots()[0]->Expanded());
    EXPECT_TRUE(docs2->Expanded());
    EXPECT_TRUE(g2->Expanded());
    std::vector<std::u16string> sel;
    for (TTreeNode* n : t.SelectedNodes()) sel.push_back(GetRecordPath(n->Data.Rec));
    // View order: the group (more allocated) before Sub.
    EXPECT_EQ(sel, (std::vector<std::u16string>{u"C:\\Docs\\f4.txt", u"C:\\Docs\\Sub"}));

    // Paths that no longer exist are passed over.
    TTreeViewState gone;
    gone.Expanded.push_back({u"C:\\Nowhere", false});
    gone.Selected.push_back({u"D:\\Docs", false});
    t.ClearSelection();
    t.RestoreViewState(gone);
    EXPECT_EQ(t.SelectedCount(), 0u);

    // FindNodeByPath from the top: the root component ends at the separator after the offset.
    EXPECT_EQ(t.FindNodeByPath(nullptr, u"C:\\Docs\\f4.txt", 3), Kid(t, g2, u"f4.txt"));
    EXPECT_EQ(t.FindNodeByPath(nullptr, u"C:\\docs\\SUB", 3), Kid(t, docs2, u"Sub"));
    EXPECT_EQ(t.FindNodeByPath(nullptr, u"C:\\Docs\\missing", 3), nullptr);
}

// Many selected files in one wide folder and below it, selected in no particular order: the
// captured paths come in view order, and a rescan finds each again (names differing only in
// case included), also where the folder has many more children than a linear search would
// cope with quickly.
TEST_F(Fixture, ViewStateOfAWideFolderSelectedOutOfOrder) {
    auto build = [](bool upperCase) {
        auto b = std::make_unique<ScanBuilder>(u"/data");
        PMFT_RECORD wide = b->Folder(b->root, u"wide");
        PMFT_RECORD sub = b->Folder(wide, u"sub");
        for (int i = 0; i < 40; ++i) b->File(sub, u"s" + Utf8ToUtf16(std::to_string(i)), 7);
        for (int i = 0; i < 3000; ++i) {
            std::u16string name = u"file" + Utf8ToUtf16(std::to_string(i)) + u".dat";
            if (upperCase && i == 17) name = u"FILE17.DAT";
            b->File(wide, name, uint64_t(1 + i % 97));
        }
        b->Finish();
        return b;
    };
    auto first = build(false);
    TDisplayTree t;
    auto scans = One(*first->scan);
    ASSERT_TRUE(t.LoadTree(scans));
    TTreeNode* wide = Kid(t, t.Roots()[0], u"wide");
    TTreeNode* group = Kid(t, wide, u"<group>");
    TTreeNode* sub = Kid(t, wide, u"sub");
    ASSERT_NE(group, nullptr);
    t.SetExpanded(wide, true);
    t.SetExpanded(group, true);
    t.SetExpanded(sub, true);
    TTreeNode* subGroup = Kid(t, sub, u"<group>");
    ASSERT_NE(subGroup, nullptr);
    t.SetExpanded(subGroup, true);
    std::vector<TTreeNode*> picked;
    for (TTreeNode* c : t.Children(group)) picked.push_back(c);
    for (TTreeNode* c : t.Children(subGroup)) picked.push_back(c);
    picked.push_back(sub);
    std::shuffle(picked.begin(), picked.end(), std::mt19937(7));
    for (TTreeNode* n : picked) t.Select(n);

    std::vector<std::u16string> inViewOrder;
    for (TTreeNode* n = t.Roots()[0]; n; n = t.NextVisible(n))
        if (n->Selected()) inViewOrder.push_back(GetRecordPath(n->Data.Rec));
    ASSERT_EQ(inViewOrder.size(), 3041u);
    const TTreeViewState st = t.CaptureViewState();
    std::vector<std::u16string> captured;
    for (const auto& e : st.Selected) captured.push_back(e.Path);
    EXPECT_EQ(captured, inViewOrder);

    // Rescanned with one name in other case: every item is selected again.
    auto second = build(true);
    t.Clear();
    scans = One(*second->scan);
    ASSERT_TRUE(t.LoadTree(scans));
    t.RestoreViewState(st);
    EXPECT_EQ(t.SelectedCount(), 3041u);
    TTreeNode* wide2 = Kid(t, t.Roots()[0], u"wide");
    TTreeNode* renamed = Kid(t, Kid(t, wide2, u"<group>"), u"FILE17.DAT");
    ASSERT_NE(renamed, nullptr);
    EXPECT_TRUE(renamed->Selected());
    std::vector<std::u16string> restored;
    for (TTreeNode* n : t.SelectedNodes()) restored.push_back(GetRecordPath(n->Data.Rec));
    for (std::u16string& p : restored)
        if (p == u"/data/wide/FILE17.DAT") p = u"/data/wide/file17.dat";
    EXPECT_EQ(restored, inViewOrder);
}
