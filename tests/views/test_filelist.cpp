// The file list: merged order over several scans, limits, sort keys and header clicks,
// duplicates with their copies, totals and the search history.
#include "base/text.h"
#include "engine/tree.h"
#include "tests/views/scanbuilder.h"
#include "views/extstats.h"
#include "views/filelist.h"
#include "views/format.h"
#include "views/recordsort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

struct Fixture : ::testing::Test {};

std::vector<PMFT_RECORD> Rows(const TFileList& l) {
    std::vector<PMFT_RECORD> v;
    for (TTreeNode* n : l.Roots()) v.push_back(n->Data.Rec);
    return v;
}

std::vector<std::u16string> RowNames(const TFileList& l) {
    std::vector<std::u16string> v;
    for (TTreeNode* n : l.Roots()) v.emplace_back(n->Data.Rec->Name());
    return v;
}

// Three scans of random files (numbered names in one counter, as after a scan).
struct ThreeScans {
    ScanBuilder s[3] = {ScanBuilder(u"/one"), ScanBuilder(u"/two"), ScanBuilder(u"/three")};
    std::vector<TNTFS_FILES*> scans;
    ThreeScans() {
        std::mt19937 rng(11);
        for (int k = 0; k < 3; ++k) {
            std::vector<PMFT_RECORD> dirs{s[k].root};
            for (int i = 0; i < 700; ++i) {
                PMFT_RECORD p = dirs[rng() % dirs.size()];
                std::u16string name = u"n" + AsciiToUtf16(std::to_string(rng() % 500));
                if (i % 9 == 0)
                    dirs.push_back(s[k].Folder(p, name));
                else {
                    // One draw per statement: the order of evaluation of function arguments
                    // differs between compilers, and the data must not.
                    const uint64_t size = rng() % 50 * 1000;
                    const uint64_t alloc = rng() % 40 * 4096;
                    const double modified = 45000 + rng() % 30;
                    const uint32_t attributes = rng() % 2 ? 0x20 : 0x21;
                    s[k].File(p, name + u".dat", size, alloc, modified, attributes);
                }
            }
            // Duplicate groups of two sizes besides whatever the random names make.
            for (size_t d = 0; d < 3; ++d) s[k].File(dirs[d], u"triple.bin", 7000);
            for (size_t d = 0; d < 2; ++d) s[k].File(dirs[d], u"pair.bin", 9000);
        }
        int32_t index = 1;
        for (auto& b : s) scans.push_back(&b.Finish(index));
    }
};

} // namespace

TEST_F(Fixture, OrderForEachColumnAndDirection) {
    struct Case {
        int column;
        TSortDirection dir;
        TRecordCompare cmp;
        bool reversed;
    };
    using D = TSortDirection;
    const Case cases[] = {
        {fcName, D::Ascending, &CompareByName, false},
        {fcName, D::Descending, &CompareByName, true},
        {fcPercent, D::Descending, &CompareBySize, false},
        {fcSize, D::Ascending, &CompareBySize, true},
        {fcModified, D::Descending, &CompareByModified, false},
        {fcAttributes, D::Ascending, &CompareByAttributes,
         false}, // natural order: descending values
        {fcAttributes, D::Descending, &CompareByAttributes, true},
        {fcAllocated, D::Descending, &CompareByAllocated, false},
        {fcPath, D::Ascending, &CompareBySortIndex, false},
        {fcDupCount, D::Descending, &CompareByDupCount, false},
        {fcDupSize, D::Ascending, &CompareByDupSize, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.column);
        TFileListOrder o = FileListOrder(c.column, c.dir);
        EXPECT_EQ(o.Compare, c.cmp);
        EXPECT_EQ(o.Reversed, c.reversed);
    }
}

TEST_F(Fixture, TopRowsAreMergedOverAllScans) {
    ThreeScans t;
    for (int column : {int(fcAllocated), int(fcSize), int(fcName), int(fcModified),
                       int(fcAttributes), int(fcPath), int(fcDupCount), int(fcDupSize)}) {
        for (auto dir : {TSortDirection::Ascending, TSortDirection::Descending}) {
            SCOPED_TRACE(column * 2 + int(dir));
            TFileList l;
            l.Options.MaxFiles = 100;
            l.Options.DupMethod = 1; // groups for the duplicate columns to order by
            l.SetSort(column, dir);
            ASSERT_TRUE(l.LoadFileList(t.scans));
            // The reference: every file of every scan in one sequence, sorted with the same
            // comparison (ties cannot occur: names are numbered over all scans).
            TFileListOrder o = FileListOrder(column, dir);
            std::vector<PMFT_RECORD> all;
            for (auto* s : t.scans)
                for (PMFT_RECORD r : s->FFileList)
                    if (r && !r->IsFolder()) all.push_back(r);
            std::sort(all.begin(), all.end(), [&](PMFT_RECORD a, PMFT_RECORD b) {
                return o.Reversed ? o.Compare(b, a) < 0 : o.Compare(a, b) < 0;
            });
            all.resize(100);
            EXPECT_EQ(Rows(l), all);
            EXPECT_EQ(l.TotFilesNum, 100);
        }
    }
    // The scans hold duplicate groups of several sizes, so the duplicate columns were ordered
    // by their keys and not only by the name order.
    std::set<int> counts;
    for (auto* s : t.scans)
        for (PMFT_RECORD r : s->FFileList)
            if (r && DupGroupOf(r)) counts.insert(DupGroupOf(r)->dupcount);
    EXPECT_GE(counts.size(), 2u);
}

TEST_F(Fixture, TiesGoToTheEarlierScan) {
    // Two lists whose records compare equal: the merge takes the earlier list's first.
    TMFT_RECORD a[2]{}, b[2]{};
    a[0].SubFoldersTotSize = b[0].SubFoldersTotSize = 10;
    a[1].SubFoldersTotSize = b[1].SubFoldersTotSize = 5;
    std::vector<PMFT_RECORD> la{&a[0], &a[1]}, lb{&b[0], &b[1]};
    for (bool reversed : {false, true}) {
        TSortedMulti m({la, lb}, reversed, &CompareBySize);
        std::vector<PMFT_RECORD> got;
        int li;
        int64_t pos;
        while (m.GetTopRecord(li, pos)) got.push_back((li == 0 ? la : lb)[size_t(pos)]);
        if (!reversed)
            EXPECT_EQ(got, (std::vector<PMFT_RECORD>{&a[0], &b[0], &a[1], &b[1]}));
        else
            EXPECT_EQ(got, (std::vector<PMFT_RECORD>{&a[1], &b[1], &a[0], &b[0]}));
    }
    TSortedMulti empty({}, false, &CompareBySize);
    int li;
    int64_t pos;
    EXPECT_FALSE(empty.GetTopRecord(li, pos));

    // The file list's own merge: two scans numbered on their own, so equal sizes also tie on
    // the name order; in either direction the earlier scan's record comes first.
    ScanBuilder x(u"/x"), y(u"/y");
    for (ScanBuilder* s : {&x, &y}) {
        s->File(s->root, u"big", 20, 4096);
        s->File(s->root, u"small", 10, 4096);
        s->Finish();
    }
    std::vector<TNTFS_FILES*> scans{x.scan.get(), y.scan.get()};
    for (auto dir : {TSortDirection::Descending, TSortDirection::Ascending}) {
        TFileList l;
        l.Options.MaxFiles = 100;
        l.SetSort(fcSize, dir);
        ASSERT_TRUE(l.LoadFileList(scans));
        std::vector<std::u16string> paths;
        for (TTreeNode* n : l.Roots()) paths.push_back(GetRecordPath(n->Data.Rec));
        if (dir == TSortDirection::Descending)
            EXPECT_EQ(paths, (std::vector<std::u16string>{u"/x/big", u"/y/big", u"/x/small",
                                                          u"/y/small"}));
        else
            EXPECT_EQ(paths, (std::vector<std::u16string>{u"/x/small", u"/y/small", u"/x/big",
                                                          u"/y/big"}));
    }
}

TEST_F(Fixture, HeaderClicksReloadOrResortInPlace) {
    ScanBuilder b(u"/h");
    b.File(b.root, u"r", 1, 4096, 45000, 0x21); // RA
    b.File(b.root, u"a", 2, 4096, 45000, 0x20); // A
    b.File(b.root, u"h", 3, 4096, 45000, 0x22); // HA
    b.Finish();
    std::vector<TNTFS_FILES*> scans{b.scan.get()};
    using V = std::vector<std::u16string>;

    TFileList limited;
    limited.Options.MaxFiles = 100;
    ASSERT_TRUE(limited.LoadFileList(scans));
    EXPECT_TRUE(limited.HeaderClick(fcAttributes)); // a reload is due
    EXPECT_EQ(limited.SortDirection(), TSortDirection::Ascending);
    ASSERT_TRUE(limited.LoadFileList(scans));
    EXPECT_EQ(RowNames(limited), (V{u"h", u"r", u"a"})); // descending attribute values

    TFileList all;
    all.Options.MaxFiles = 0;
    ASSERT_TRUE(all.LoadFileList(scans));
    EXPECT_FALSE(all.HeaderClick(fcAttributes));     // re-sorted in place
    EXPECT_EQ(RowNames(all), (V{u"a", u"r", u"h"})); // ascending values
    EXPECT_FALSE(all.HeaderClick(fcAttributes));
    EXPECT_EQ(RowNames(all), (V{u"h", u"r", u"a"}));
    EXPECT_FALSE(all.HeaderClick(fcSize)); // other columns start descending
    EXPECT_EQ(all.SortDirection(), TSortDirection::Descending);
    EXPECT_EQ(RowNames(all), (V{u"h", u"a", u"r"}));
    EXPECT_FALSE(all.HeaderClick(fcName));
    EXPECT_EQ(RowNames(all), (V{u"a", u"h", u"r"}));
    // Rows are renumbered: sibling walks follow the new order.
    EXPECT_EQ(all.NextSibling(all.Roots()[0]), all.Roots()[1]);
}

TEST_F(Fixture, RowsSkipFoldersFilteredRecordsAndHoles) {
    ScanBuilder b(u"/r");
    PMFT_RECORD d = b.Folder(b.root, u"dir");
    b.File(d, u"kept", 10, 4096);
    PMFT_RECORD f = b.File(d, u"filtered", 20, 8192);
    f->Filtered = true;
    PMFT_RECORD link = b.File(b.root, u"link", 30, 4096);
    link->DoNotCountFlag = true;
    b.Finish();
    b.scan->FFileList.push_back(nullptr); // a hole, as orphan removal leaves them
    const std::vector<PMFT_RECORD> before = b.scan->FFileList;
    std::vector<TNTFS_FILES*> scans{b.scan.get(), nullptr};

    TFileList l;
    l.Options.MaxFiles = 0;
    l.SetDriveTotals(b.root->SubFoldersTotSize, 0);
    ASSERT_TRUE(l.LoadFileList(scans));
    // Equal allocations: name order ("/r/dir/kept" before "/r/link").
    EXPECT_EQ(RowNames(l), (std::vector<std::u16string>{u"kept", u"link"}));
    EXPECT_EQ(l.TotFilesNum, 2);
    EXPECT_EQ(l.TotFilesSize, 40u);
    EXPECT_EQ(l.TotFilesAlloc, 8192u);
    EXPECT_EQ(l.TotalsText(), u"(2 files  Total Size: 40 bytes  Allocated: 8.0 KB)");
    // Cells.
    TTreeNode* linkRow = l.Roots()[1];
    EXPECT_EQ(l.CellText(linkRow, fcAllocated), u"(4.0 KB)");
    EXPECT_TRUE(TFileList::CellDisabled(linkRow, fcAllocated));
    EXPECT_EQ(l.CellText(linkRow, fcPath), u"/r/link");
    EXPECT_EQ(l.CellText(linkRow, fcPercent), u"0.0 %"); // a zero allocated total
    EXPECT_EQ(l.CellText(linkRow, fcDupCount), u"");
    EXPECT_EQ(l.CellText(linkRow, fcAttributes), u"A");
    EXPECT_EQ(linkRow->Depth(), 0);
    l.SetSort(fcSize, TSortDirection::Descending);
    EXPECT_EQ(l.CellText(l.Roots()[0], fcPercent), u"25.0 %"); // 10 of 40 bytes

    l.Options.IncludeFolders = true;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(l.TotFilesNum, 4); // the root and dir too

    // The scans' own lists and their record-number index are left as they were.
    EXPECT_EQ(b.scan->FFileList, before);
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] && !before[i]->FromExtension) {
            EXPECT_EQ(b.scan->FFileList[size_t(b.scan->FileListIndexOf(before[i]->RecNo))],
                      before[i]);
        }
    }

    // Selection status over the list's rows; a deleted row no longer counts.
    l.Select(l.Roots()[0]);
    l.Select(l.Roots()[1]);
    EXPECT_EQ(l.SelectionStatusText().substr(0, 17), u"Selected Files: 2");
    l.Options.IncludeFolders = false;
    ASSERT_TRUE(l.LoadFileList(scans));
    ASSERT_EQ(RowNames(l), (std::vector<std::u16string>{u"link", u"kept"})); // by size
    l.Select(l.Roots()[0]);
    l.Select(l.Roots()[1]);
    EXPECT_EQ(l.SelectionStatusText(),
              u"Selected Files: 2  Total Size: 40 bytes  Allocated: " +
                  FormatSize(4096 + link->SubFoldersTotSizeAlloc, TFormatSettings{}));
    l.Roots()[1]->Data.Rec->Deleted = true;
    EXPECT_EQ(l.SelectionStatusText(),
              u"Selected Files: 1  Total Size: 30 bytes  Allocated: " +
                  FormatSize(link->SubFoldersTotSizeAlloc, TFormatSettings{}));
    TFileList emptyList;
    EXPECT_EQ(emptyList.TotalsText(), u"");
}

TEST_F(Fixture, AFailedScanShowsNothing) {
    ScanBuilder ok(u"/ok"), bad(u"/bad");
    ok.File(ok.root, u"a.txt", 10);
    bad.File(bad.root, u"b.txt", 20);
    bad.File(bad.root, u"a.txt", 10);
    ok.Finish();
    bad.Finish();
    bad.scan->SetError("read error");
    std::vector<TNTFS_FILES*> scans{ok.scan.get(), bad.scan.get()};
    TFileList l;
    l.Options.DupMethod = 1;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(RowNames(l), (std::vector<std::u16string>{u"a.txt"}));
    EXPECT_EQ(DupGroupOf(l.Roots()[0]->Data.Rec), nullptr); // no copy in the failed scan
    TExtColors c;
    c.BuildExtSizes(scans);
    EXPECT_EQ(c.Total().Count, 1u);
    TDisplayTree t;
    ASSERT_TRUE(t.LoadTree(scans));
    EXPECT_EQ(t.Roots().size(), 1u);
}

TEST_F(Fixture, InvalidateDropsOrdersOfOldTotals) {
    // A filter application changes the totals a kept order was sorted by: after Invalidate
    // the next load sorts again.
    ScanBuilder b(u"/i");
    PMFT_RECORD x = b.File(b.root, u"x", 10, 4096);
    PMFT_RECORD y = b.File(b.root, u"y", 20, 8192);
    b.Finish();
    std::vector<TNTFS_FILES*> scans{b.scan.get()};
    TFileList l;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(Rows(l), (std::vector<PMFT_RECORD>{y, x}));
    x->AllocSize = 65536;
    b.scan->CalculateDirSizes();
    l.Invalidate();
    EXPECT_FALSE(l.Loaded());
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(Rows(l), (std::vector<PMFT_RECORD>{x, y}));
    l.Clear();
    EXPECT_TRUE(l.Roots().empty());
    EXPECT_FALSE(l.Loaded());
}

TEST_F(Fixture, CancelLeavesAPartialList) {
    ScanBuilder b(u"/c");
    for (int i = 0; i < 25000; ++i)
        b.File(b.root, u"f" + AsciiToUtf16(std::to_string(i)), uint64_t(i));
    b.Finish();
    std::vector<TNTFS_FILES*> scans{b.scan.get()};
    TFileList l;
    l.Options.MaxFiles = 0;
    int polls = 0;
    EXPECT_FALSE(l.LoadFileList(scans, [&] { return ++polls == 2; }));
    EXPECT_EQ(polls, 2);            // polled every 10000 records
    EXPECT_EQ(l.TotFilesNum, 9999); // the root folder was the first record, then stopped at 10000
    EXPECT_TRUE(l.Loaded());
    EXPECT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(l.TotFilesNum, 25000);
}

TEST_F(Fixture, DuplicatesAndTheirCopies) {
    ScanBuilder a(u"/a"), b(u"/b");
    PMFT_RECORD x = a.Folder(a.root, u"x");
    PMFT_RECORD orig = a.File(x, u"a.txt", 500, 4096, 45000.0);
    PMFT_RECORD copy = a.File(a.root, u"A (3).TXT", 500, 4096, 45001.0);
    PMFT_RECORD copy2 = b.File(b.root, u"a - Copy.txt", 500, 4096, 45000.0);
    a.File(a.root, u"a.txt", 499, 4096); // another size
    a.File(x, u"empty", 0, 0);           // empty files are never duplicates
    a.File(a.root, u"empty", 0, 0);
    b.File(b.root, u"single.bin", 10);
    // Folders take part too: equal name keys, sizes and counts, whatever their files' names.
    PMFT_RECORD pics = a.Folder(a.root, u"pics");
    a.File(pics, u"p.jpg", 70);
    PMFT_RECORD pics2 = b.Folder(b.root, u"Pics (2)");
    b.File(pics2, u"q.jpg", 70);
    PMFT_RECORD pics3 = b.Folder(b.root, u"pics - copy");
    b.File(pics3, u"r.jpg", 70);
    b.File(pics3, u"empty", 0); // one file more: not a copy
    int32_t index = 1;
    a.Finish(index);
    b.Finish(index);
    std::vector<TNTFS_FILES*> scans{nullptr, a.scan.get(), b.scan.get()}; // a hole first

    TFileList l;
    l.Options.MaxFiles = 0;
    l.Options.DupMethod = 1;
    l.SetSort(fcDupCount, TSortDirection::Descending);
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_TRUE(l.DuplicateColumnsShown());
    ASSERT_NE(DupGroupOf(orig), nullptr);
    EXPECT_EQ(DupGroupOf(orig), DupGroupOf(copy));
    EXPECT_EQ(DupGroupOf(orig), DupGroupOf(copy2));
    EXPECT_EQ(DupGroupOf(orig)->dupcount, 2);
    EXPECT_EQ(a.scan->DuplicatesLocatedMethod, 1);
    // The three members come first; each lists the other two beneath it.
    std::vector<PMFT_RECORD> rows = Rows(l);
    ASSERT_GE(rows.size(), 3u);
    std::vector<PMFT_RECORD> top(rows.begin(), rows.begin() + 3), members{orig, copy, copy2};
    std::sort(top.begin(), top.end());
    std::sort(members.begin(), members.end());
    EXPECT_EQ(top, members);
    TTreeNode* first = l.Roots()[0];
    EXPECT_TRUE(l.HasChildren(first));
    auto kids = l.Children(first);
    ASSERT_EQ(kids.size(), 2u);
    for (TTreeNode* k : kids) {
        EXPECT_NE(k->Data.Rec, first->Data.Rec);
        EXPECT_EQ(DupGroupOf(k->Data.Rec), DupGroupOf(first->Data.Rec));
        EXPECT_EQ(k->Depth(), 0);
    }
    ASSERT_NE(DupGroupOf(pics), nullptr);
    EXPECT_EQ(DupGroupOf(pics), DupGroupOf(pics2));
    EXPECT_EQ(DupGroupOf(pics)->dupcount, 1);
    EXPECT_EQ(DupGroupOf(pics3), nullptr);
    EXPECT_EQ(l.CellText(first, fcDupCount), u"2");
    EXPECT_EQ(l.CellText(first, fcDupSize), u"1,000 bytes");
    for (TTreeNode* n : l.Roots()) {
        std::u16string_view name = n->Data.Rec->Name();
        if (name == u"empty" || name == u"single.bin") {
            EXPECT_FALSE(l.HasChildren(n)) << Utf16ToUtf8(name);
        }
    }

    // Name, size and date: the copy with another date drops out.
    l.Options.DupMethod = 2;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(DupGroupOf(copy), nullptr);
    ASSERT_NE(DupGroupOf(orig), nullptr);
    EXPECT_EQ(DupGroupOf(orig)->dupcount, 1);
    // Without a method: no copies beneath rows, no duplicate columns.
    l.Options.DupMethod = 0;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_FALSE(l.DuplicateColumnsShown());
    for (TTreeNode* n : l.Roots()) EXPECT_FALSE(l.HasChildren(n));
}

TEST_F(Fixture, AScanEndedAfterGroupingLeavesItsGroups) {
    // A pass over two scans, then the second scan ends: its records are no members any
    // longer (their addresses may serve new records), and the copies beneath a row of the
    // first scan are the records still there.
    ScanBuilder a(u"/a");
    PMFT_RECORD orig = a.File(a.root, u"a.txt", 500);
    PMFT_RECORD copy = a.File(a.root, u"a (2).txt", 500);
    auto b = std::make_unique<ScanBuilder>(u"/b");
    const TMFT_RECORD* other = b->File(b->root, u"a - copy.txt", 500);
    int32_t index = 1;
    a.Finish(index);
    b->Finish(index);
    std::vector<TNTFS_FILES*> scans{a.scan.get(), b->scan.get()};
    TFileList l;
    l.Options.MaxFiles = 0;
    l.Options.DupMethod = 1;
    ASSERT_TRUE(l.LoadFileList(scans));
    ASSERT_NE(DupGroupOf(orig), nullptr);
    EXPECT_EQ(DupGroupOf(other), DupGroupOf(orig));
    l.Clear();
    b.reset();
    EXPECT_EQ(DupGroupOf(other), nullptr);
    EXPECT_EQ(DupGroupOf(copy), DupGroupOf(orig));

    scans = {a.scan.get()};
    ASSERT_TRUE(l.LoadFileList(scans));
    TTreeNode* row = nullptr;
    for (TTreeNode* n : l.Roots())
        if (n->Data.Rec == orig) row = n;
    ASSERT_NE(row, nullptr);
    auto kids = l.Children(row);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0]->Data.Rec, copy);

    // The owner's end leaves no record in a group.
    l.Clear();
    a.scan.reset();
    EXPECT_EQ(DupGroupOf(orig), nullptr);
}

TEST(RecordSort, FastOrdersAgreeWithTheComparisons) {
    // Names that share or differ in their first four units, in case and accents, of equal and
    // different sizes and dates: the fast sorts (prefix keys, number keys, partial reads)
    // must give exactly the comparison's order.
    ScanBuilder b(u"/s");
    std::mt19937 rng(3);
    const std::u16string stems[] = {u"abc",  u"abcd",          u"abcde",      u"ABCD",
                                    u"abce", u"\u00e9t\u00e9", u"ete",        u"\u00c9T\u00c9",
                                    u"a",    u"report",        u"Report (2)", u"zz"};
    std::vector<PMFT_RECORD> folders{b.root};
    for (int i = 0; i < 3000; ++i) {
        std::u16string name = stems[rng() % 12] + (rng() % 2 ? u".txt" : u"");
        PMFT_RECORD p = folders[rng() % folders.size()];
        if (rng() % 10 == 0)
            folders.push_back(b.Folder(p, name, 45000 + (rng() % 3) * 0.000001));
        else
            b.File(p, name, rng() % 4 * 100, rng() % 3 * 4096, 45000 + (rng() % 3) * 0.000001,
                   0x20 + rng() % 3);
    }
    b.Finish();
    std::vector<PMFT_RECORD> recs;
    for (PMFT_RECORD r : b.scan->FFileList)
        if (r) recs.push_back(r);
    const TRecordCompare cmps[] = {&CompareByName,     &CompareBySize,       &CompareByAllocated,
                                   &CompareByModified, &CompareByAttributes, &CompareBySortIndex,
                                   &CompareByDupCount, &CompareByDupSize,    &CompareForDuplicates};
    for (TRecordCompare cmp : cmps) {
        std::vector<PMFT_RECORD> want = recs, got = recs;
        std::stable_sort(want.begin(), want.end(),
                         [cmp](PMFT_RECORD x, PMFT_RECORD y) { return cmp(x, y) < 0; });
        SortRecordsFast(got, cmp);
        if (cmp == &CompareForDuplicates) {
            // Dates within the tolerance compare equal both ways: check that neighbours are in
            // order.
            for (size_t i = 1; i < got.size(); ++i) EXPECT_LE(cmp(got[i - 1], got[i]), 0);
            continue;
        }
        EXPECT_EQ(got, want);
        // Partial reads in the reversed direction.
        TLazySortedRecords lazy;
        lazy.Reset(recs, cmp, true);
        for (size_t i = 0; i < 50; ++i) EXPECT_EQ(cmp(lazy.At(i), want[want.size() - 1 - i]), 0);
    }
}

TEST(SearchHistory, TwentyEntriesNewestFirst) {
    TSearchHistory h;
    for (int i = 0; i < 25; ++i) h.Add(u"  term" + AsciiToUtf16(std::to_string(i)) + u" ");
    ASSERT_EQ(h.Items().size(), TSearchHistory::kMaxEntries);
    EXPECT_EQ(h.Items().front(), u"term24");
    EXPECT_EQ(h.Items().back(), u"term5");
    h.Add(u"term10"); // known: moves to the top
    EXPECT_EQ(h.Items().front(), u"term10");
    EXPECT_EQ(h.Items().size(), 20u);
    h.Add(u"   ");
    EXPECT_EQ(h.Items().size(), 20u);
    EXPECT_EQ(h.Pick(3), h.Items().front());
    EXPECT_EQ(h.Pick(99), u"");
    h.SetItems({u"a", u"a", u"", u"b"});
    EXPECT_EQ(h.Items(), (std::vector<std::u16string>{u"a", u"b"}));
    h.Clear();
    EXPECT_TRUE(h.Items().empty());
}

TEST(FileListOptions, StoredValuesFallBack) {
    EXPECT_EQ(ValidMaxFiles(0), 0);
    EXPECT_EQ(ValidMaxFiles(100000), 100000);
    EXPECT_EQ(ValidMaxFiles(5000), 1000);
    EXPECT_EQ(ValidDupMethod(2), 2);
    EXPECT_EQ(ValidDupMethod(3), 0);
    EXPECT_EQ(ValidDupMethod(-1), 0);
}
