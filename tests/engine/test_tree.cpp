// Storing decoded records, placeholders, orphans, totals, orderings, paths and duplicates,
// over small MFTs composed record by record.
#include "base/datetime.h"
#include "base/text.h"
#include "engine/collation.h"
#include "engine/duplicates.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "tests/engine/record_builder.h"

#include <gtest/gtest.h>

#include <map>

using namespace qz;
using qz::test::EncodeRuns;
using qz::test::RecordBuilder;

namespace {

constexpr uint16_t kDir = 3; // in use + folder

uint64_t Ft(int64_t unixSec) {
    return uint64_t(unixSec + 11644473600ll) * 10000000ull;
}

// A table of FILE records by number, passed through the scan as one MFT pass would.
struct MiniMft {
    std::map<uint64_t, std::vector<uint8_t>> recs;
    void Add(uint64_t n, RecordBuilder& b) { recs[n] = b.Build(); }

    std::unique_ptr<TNTFS_FILES> Pass(uint32_t bpc = 4096, bool totals = true) {
        auto s = TNTFS_FILES::CreateSlow(u"unused");
        s->FVolData.BytesPerFileRecordSegment = 1024;
        s->FVolData.BytesPerCluster = bpc;
        uint64_t n = recs.empty() ? 0 : recs.rbegin()->first + 1;
        std::vector<uint8_t> table(n * 1024, 0);
        for (auto& [k, v] : recs) std::memcpy(&table[k * 1024], v.data(), 1024);
        s->NumMFTRecords = int64_t(n);
        s->PresizeForRecords(n);
        TDecodeContext ctx;
        s->ProcessRecordBatch(ctx, table.data(), 0, n, true);
        s->ProcessOutOfSequence(ctx);
        s->DeleteOrphans(); // also names MFTRoot
        if (totals) s->CalculateDirSizes();
        return s;
    }
};

// Root (5, named "."), with the metadata record 0 so the root is stored after its placeholder.
MiniMft BaseVolume() {
    MiniMft m;
    RecordBuilder mft;
    mft.FileName(5, u"$MFT").NonResidentData(65536, EncodeRuns({{16, 4}}));
    m.Add(0, mft);
    RecordBuilder root(1024, kDir);
    root.StdInfo(Ft(1600000000), Ft(1600000000), Ft(1600000000), 0x16).FileName(5, u".");
    m.Add(5, root);
    return m;
}

PMFT_RECORD ByPath(TNTFS_FILES& s, const std::u16string& rel) {
    return FindRecordByPath(s.MFTRoot, rel);
}

} // namespace

TEST(Tree, RootPlaceholdersAndPaths) {
    MiniMft m = BaseVolume();
    // A file stored before its folder: the folder (40) arrives later and fills the placeholder.
    RecordBuilder f;
    f.StdInfo(Ft(1700000000), Ft(1700000000), Ft(1700000000), 0x20)
        .FileName(40, u"a.txt")
        .ResidentData(300);
    m.Add(30, f);
    RecordBuilder d(1024, kDir);
    d.FileName(5, u"Users");
    m.Add(40, d);
    RecordBuilder d2(1024, kDir);
    d2.FileName(40, u"Public");
    m.Add(41, d2);
    auto s = m.Pass();

    ASSERT_NE(s->MFTRoot, nullptr);
    EXPECT_EQ(s->MFTRoot->Name(), u"C:");
    EXPECT_EQ(GetRecordPath(s->MFTRoot), u"C:\\");
    PMFT_RECORD users = ByPath(*s, u"users");
    ASSERT_NE(users, nullptr);
    // the placeholder was filled in place: one entry for 40 in each list
    int count = 0;
    for (PMFT_RECORD r : s->FFileList) count += r && r->RecNo == 40;
    EXPECT_EQ(count, 1);
    EXPECT_EQ(s->FDirList[size_t(s->SearchDirRec(40))], users);
    PMFT_RECORD a = ByPath(*s, u"USERS\\A.TXT");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetRecordPath(a), u"C:\\Users\\a.txt");
    EXPECT_EQ(GetRecordPath(a, true), u"C:\\Users\\");
    EXPECT_EQ(GetRecordPath(users, false, true), u"C:\\Users\\");
    EXPECT_EQ(ByPath(*s, u"users\\public"), ByPath(*s, u"Users\\Public"));
    EXPECT_EQ(ByPath(*s, u"Users\\missing"), nullptr);
    EXPECT_EQ(s->MFTRoot->SubFoldersNumFiles(), 2); // $MFT and a.txt
    EXPECT_EQ(s->MFTRoot->SubFoldersNumDirs(), 2);
    EXPECT_EQ(s->MFTRoot->SubFoldersTotSize, 65536u + 300u);
    EXPECT_EQ(s->MFTRoot->SubFoldersTotSizeAlloc, 16u * 4096);
    EXPECT_EQ(users->ThisFolderNumFiles(), 1);
    EXPECT_EQ(users->ThisFolderNumDirs(), 1);
}

TEST(Tree, SecondRecordForANamedFolderIsIgnored) {
    MiniMft m = BaseVolume();
    RecordBuilder d(1024, kDir);
    d.FileName(5, u"Docs");
    m.Add(40, d);
    auto s = m.Pass();
    TDecodeContext ctx;
    auto again = RecordBuilder(1024, kDir).FileName(5, u"Other").Build();
    ASSERT_TRUE(s->DecodeFileRecord(again.data(), ctx, 40, false, false, true));
    bool later;
    EXPECT_FALSE(s->StoreDecodedRecord(ctx.rec, ctx.BaseFileRec, false, later));
    EXPECT_EQ(s->FDirList[size_t(s->SearchDirRec(40))]->Name(), u"Docs");
}

TEST(Tree, OrphansAreGatheredBelowTheirOwnFolder) {
    MiniMft m = BaseVolume();
    // File 50 lives in folder 60, whose record is not in use: 60 stays a placeholder without
    // parent.
    RecordBuilder f;
    f.FileName(60, u"lost.txt").ResidentData(10);
    m.Add(50, f);
    RecordBuilder gone(1024, 2); // a folder record not in use
    gone.FileName(5, u"Deleted");
    m.Add(60, gone);
    // A parent cycle: 70 <-> 71, with a file in it; a folder that is its own parent.
    RecordBuilder c1(1024, kDir), c2(1024, kDir), inLoop, self(1024, kDir);
    c1.FileName(71, u"c1");
    c2.FileName(70, u"c2");
    inLoop.FileName(71, u"in-loop.bin").ResidentData(7);
    self.FileName(80, u"self");
    m.Add(70, c1);
    m.Add(71, c2);
    m.Add(72, inLoop);
    m.Add(80, self);
    // 300 nested folders: all of them stay, however deep.
    for (uint64_t k = 0; k < 300; ++k) {
        RecordBuilder d(1024, kDir);
        d.FileName(k == 0 ? 5 : 100 + k - 1, u"n");
        m.Add(100 + k, d);
    }
    auto s = m.Pass();
    ASSERT_NE(s->MFTRoot, nullptr);
    EXPECT_EQ(s->MFTRoot->Name(), u"C:");
    PMFT_RECORD orphans = s->OrphanFolder;
    ASSERT_NE(orphans, nullptr);
    EXPECT_EQ(orphans->ParentMFTRec, s->MFTRoot);
    EXPECT_EQ(ByPath(*s, u"<Orphaned items>"), orphans);
    EXPECT_NE(ByPath(*s, u"<Orphaned items>\\<MFT record 60>\\lost.txt"), nullptr);
    // Stored before its own number was listed, it hangs below a placeholder of that number.
    EXPECT_NE(ByPath(*s, u"<Orphaned items>\\<MFT record 80>\\self"), nullptr);
    // The loop is cut once, below one of its folders.
    PMFT_RECORD loopFile = ByPath(*s, u"<Orphaned items>\\c1\\c2\\in-loop.bin");
    if (!loopFile) loopFile = ByPath(*s, u"<Orphaned items>\\c2\\in-loop.bin");
    EXPECT_NE(loopFile, nullptr);
    for (PMFT_RECORD r : s->FFileList) {
        ASSERT_NE(r, nullptr);
        EXPECT_TRUE(r == s->MFTRoot || IsAncestor(s->MFTRoot, r)) << Utf16ToUtf8(GetRecordPath(r));
    }
    // lost.txt, placeholder 60, c1, c2, in-loop.bin, self, placeholder 80
    EXPECT_EQ(s->Anomalies.OrphanItems, 7);
    EXPECT_EQ(s->Anomalies.OrphanBytes, 17u);
    EXPECT_EQ(orphans->SubFoldersNumFiles(), 2);
    EXPECT_EQ(orphans->SubFoldersNumDirs(), 5);
    EXPECT_EQ(orphans->SubFoldersTotSize, 17u);
    EXPECT_EQ(s->MFTRoot->SubFoldersNumFiles(), 3);
    EXPECT_EQ(s->MFTRoot->SubFoldersNumDirs(), 300 + 1 + 5);
    ASSERT_EQ(s->AnomalyTexts().size(), 1u);
    EXPECT_NE(s->AnomalyTexts()[0].find("7 items (17 bytes)"), std::string::npos)
        << s->AnomalyTexts()[0];
}

TEST(Tree, RootWithoutItsOwnRecordStillNamesTheTree) {
    for (bool referenced : {true, false}) {
        SCOPED_TRACE(referenced ? "root named as a parent" : "no record names the root");
        MiniMft m;
        RecordBuilder d(1024, kDir), f;
        d.FileName(referenced ? 5 : 7, u"Docs");
        f.FileName(40, u"a.txt").ResidentData(5);
        m.Add(40, d);
        m.Add(41, f);
        auto s = m.Pass();
        ASSERT_NE(s->MFTRoot, nullptr);
        EXPECT_EQ(s->MFTRoot->RecNo, 5u);
        EXPECT_EQ(s->MFTRoot->Name(), u"C:");
        EXPECT_EQ(s->MFTRoot->SubFoldersTotSize, 5u);
        EXPECT_EQ(s->Anomalies.OrphanItems, referenced ? 0 : 3); // Docs, a.txt, placeholder 7
        PMFT_RECORD a = referenced ? ByPath(*s, u"Docs\\a.txt")
                                   : ByPath(*s, u"<Orphaned items>\\<MFT record 7>\\Docs\\a.txt");
        EXPECT_NE(a, nullptr);
    }
}

TEST(Tree, RootNamingAnotherParentStaysTheTop) {
    MiniMft m;
    RecordBuilder mft;
    mft.FileName(5, u"$MFT").ResidentData(10);
    m.Add(0, mft);
    RecordBuilder root(1024, kDir), x(1024, kDir);
    x.FileName(5, u"X");
    root.FileName(3, u"."); // damaged: the root claims folder 3, its own child, as its parent
    m.Add(3, x);
    m.Add(5, root);
    auto s = m.Pass();
    ASSERT_NE(s->MFTRoot, nullptr);
    EXPECT_EQ(s->MFTRoot->ParentMFTRec, nullptr);
    PMFT_RECORD X = ByPath(*s, u"X");
    ASSERT_NE(X, nullptr);
    EXPECT_EQ(GetRecordPath(X), u".\\X");
    int32_t idx = 1;
    SetNameSortIndex(s->MFTRoot, idx);
    EXPECT_EQ(idx, 4);
}

TEST(Tree, HardLinksCountAllocationOnce) {
    MiniMft m = BaseVolume();
    RecordBuilder a(1024, kDir), b(1024, kDir);
    a.FileName(5, u"A");
    b.FileName(5, u"B");
    m.Add(40, a);
    m.Add(41, b);
    RecordBuilder f;
    f.StdInfo(Ft(1700000000), Ft(1700000000), Ft(1700000000), 0x20)
        .FileName(40, u"one.bin")
        .FileName(41, u"two.bin")
        .NonResidentData(8000, EncodeRuns({{2, 500}}));
    m.Add(50, f);
    auto s = m.Pass();
    PMFT_RECORD A = ByPath(*s, u"A"), B = ByPath(*s, u"B");
    ASSERT_TRUE(A && B);
    EXPECT_EQ(A->SubFoldersTotSize, 8000u);
    EXPECT_EQ(B->SubFoldersTotSize, 8000u);
    EXPECT_EQ(A->SubFoldersTotSizeAlloc, 8192u);
    EXPECT_EQ(B->SubFoldersTotSizeAlloc, 0u);
    PMFT_RECORD two = ByPath(*s, u"B\\two.bin");
    ASSERT_NE(two, nullptr);
    EXPECT_TRUE(two->DoNotCountFlag);
    EXPECT_EQ(two->AllocSize, 8192u);
    EXPECT_EQ(s->MFTRoot->SubFoldersTotSizeAlloc, 16u * 4096 + 8192u);
}

TEST(Tree, ExtensionRecordsBeforeAndAfterTheirBase) {
    MiniMft m = BaseVolume();
    // File 60 keeps its data in extension 70 (after it) and file 80 in extension 45 (before
    // it, so 45 is deferred to the end of the pass).
    RecordBuilder b1, e1, b2, e2;
    b1.FileName(5, u"late.bin").AttrList({{0x30, 60}, {0x80, 70}});
    e1.Base(60).NonResidentData(40000, EncodeRuns({{10, 900}}));
    b2.FileName(5, u"early.bin").AttrList({{0x30, 80}, {0x80, 45}});
    e2.Base(80).NonResidentData(50000, EncodeRuns({{13, 1900}}));
    m.Add(60, b1);
    m.Add(70, e1);
    m.Add(80, b2);
    m.Add(45, e2);
    auto s = m.Pass();
    PMFT_RECORD late = ByPath(*s, u"late.bin"), early = ByPath(*s, u"early.bin");
    ASSERT_TRUE(late && early);
    EXPECT_EQ(late->FileSize, 40000u);
    EXPECT_EQ(late->AllocSize, 10u * 4096);
    EXPECT_EQ(early->FileSize, 50000u);
    EXPECT_EQ(early->AllocSize, 13u * 4096);
    EXPECT_EQ(s->MFTRoot->SubFoldersNumFiles(), 3);
}

TEST(Tree, TotalsHonourFilterDeletedAndNewestDate) {
    MiniMft m = BaseVolume();
    RecordBuilder d(1024, kDir);
    d.StdInfo(Ft(1600000000), Ft(1600000000), Ft(1600000000), 0x10).FileName(5, u"D");
    m.Add(40, d);
    const int64_t newest = 1714521600; // 2024-05-01
    RecordBuilder f1, f2, f3;
    f1.StdInfo(Ft(newest), Ft(newest), Ft(newest), 0x20).FileName(40, u"new.txt").ResidentData(100);
    f2.StdInfo(Ft(1500000000), Ft(1500000000), Ft(1500000000), 0x20)
        .FileName(40, u"old.txt")
        .ResidentData(200);
    f3.StdInfo(Ft(1500000000), Ft(1500000000), Ft(1500000000), 0x20)
        .FileName(40, u"x.txt")
        .ResidentData(400);
    m.Add(50, f1);
    m.Add(51, f2);
    m.Add(52, f3);
    auto s = m.Pass(4096, false);
    PMFT_RECORD D = s->FDirList[size_t(s->SearchDirRec(40))];
    s->FShowMaxModifiedDate = true;
    s->CalculateDirSizes();
    EXPECT_EQ(DateTimeToUnix(D->ModifiedDate), newest);
    EXPECT_EQ(D->SubFoldersTotSize, 700u);
    // filtered and deleted records contribute nothing and are not children
    PMFT_RECORD oldf = ByPath(*s, u"D\\old.txt"), x = ByPath(*s, u"D\\x.txt");
    oldf->Filtered = true;
    x->Deleted = true;
    s->CalculateDirSizes();
    EXPECT_EQ(D->SubFoldersTotSize, 100u);
    EXPECT_EQ(D->Children().size(), 1u);
    EXPECT_EQ(D->ThisFolderNumFiles(), 1);
    // ignorefilter counts the filtered one again, never the deleted one
    s->CalculateDirSizes({.IgnoreFilter = true});
    EXPECT_EQ(D->SubFoldersTotSize, 300u);
    EXPECT_EQ(D->Children().size(), 2u);
}

TEST(Tree, UpcaseCalibratesAllocationOfDumpsWithWrongClusterSize) {
    MiniMft m;
    // Records 0..10 with parent 5, so that FFileList[10] is $UpCase.
    const char16_t* names[] = {u"$MFT",    u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef", u"",
                               u"$Bitmap", u"$Boot",    u"$BadClus", u"$Secure", u"$UpCase"};
    for (uint64_t i = 0; i <= 10; ++i) {
        if (i == 5) {
            RecordBuilder root(1024, kDir);
            root.FileName(5, u".");
            m.Add(5, root);
            continue;
        }
        RecordBuilder r;
        // Read with 4096-byte clusters, a volume with 65536-byte clusters: $UpCase's 2 clusters
        // read as 8192 bytes.
        r.FileName(5, names[i])
            .NonResidentData(i == 10 ? 131072 : 1000,
                             EncodeRuns({{i == 10 ? 2u : 1u, 100 + int64_t(i)}}));
        m.Add(i, r);
    }
    auto s = m.Pass(4096);
    ASSERT_EQ(s->FFileList[10]->Name(), u"$UpCase");
    EXPECT_EQ(s->FFileList[10]->AllocSize, 131072u);
    EXPECT_EQ(s->FFileList[1]->AllocSize, 65536u);
    // Once corrected, another calculation finds a ratio of 1.
    s->CalculateDirSizes();
    EXPECT_EQ(s->FFileList[1]->AllocSize, 65536u);
    EXPECT_EQ(s->Anomalies.DamagedSizes, 0);
    // On a volume of known size (24 clusters: 98304 bytes) no allocation is scaled past it.
    auto small = m.Pass(4096, false);
    small->FVolData.TotalClusters = 24;
    small->CalculateDirSizes();
    EXPECT_EQ(small->FFileList[1]->AllocSize, 65536u);
    EXPECT_EQ(small->FFileList[10]->AllocSize, 98304u);
    EXPECT_TRUE(small->FFileList[10]->SizeDamaged);
    EXPECT_EQ(small->Anomalies.DamagedSizes, 1);
}

TEST(ScanLists, IndexArraysAndHelpers) {
    auto s = TNTFS_FILES::CreateSlow(u"unused");
    for (uint64_t n : {0, 4, 6, 23}) EXPECT_FALSE(TNTFS_FILES::ValidMFTRecNo(n)) << n;
    for (uint64_t n : {5, 24, 1000000}) EXPECT_TRUE(TNTFS_FILES::ValidMFTRecNo(n)) << n;

    PMFT_RECORD a = s->Arena().NewRecord();
    a->RecNo = 50000;
    EXPECT_TRUE(s->AddToFileList(a));
    EXPECT_EQ(s->FFileListIndex.size(), 60000u);
    PMFT_RECORD b = s->Arena().NewRecord();
    b->RecNo = 50000;
    EXPECT_FALSE(s->AddToFileList(b)); // an extra name: appended, not primary
    EXPECT_EQ(s->FileListIndexOf(50000), 0);
    EXPECT_EQ(s->SearchDirRec(70000), -1);
    EXPECT_EQ(s->FDirListIndex.size(), 0u);

    s->SetError(std::string(300, 'x'));
    EXPECT_TRUE(s->WasError);
    EXPECT_EQ(s->ErrorMessage.size(), 255u);
    s->SetError(std::string(300, 'x') + "\xC3\xA9");
    EXPECT_EQ(s->ErrorMessage.size(), 255u);

    // A group of three counts its members down as they leave (the scan that grouped owns it).
    TMFT_RECORD r[3]{};
    TDUPFILES group{2, {&r[0], &r[1], &r[2]}};
    for (auto& x : r) SetDupGroup(*s, &x, &group);
    TNTFS_FILES::ReleaseDupGroup(r[0]);
    EXPECT_EQ(group.dupcount, 1);
    EXPECT_EQ(DupGroupOf(&r[0]), nullptr);
    EXPECT_EQ(DupGroupOf(&r[1]), &group);
    TNTFS_FILES::ReleaseDupGroup(r[1]);
    EXPECT_EQ(group.dupcount, 0);
    TNTFS_FILES::ReleaseDupGroup(r[2]);
    EXPECT_EQ(DupGroupOf(&r[2]), nullptr);

    // A pass over an empty source leaves no root.
    s->ProcessMFTRecords();
    EXPECT_EQ(s->MFTRoot, nullptr);
}

TEST(Orderings, NameNumberingAndTieBreaks) {
    MiniMft m = BaseVolume();
    const char16_t* names[] = {u"b.txt", u"A.txt", u"c.txt", u"a.TXT"};
    uint64_t n = 40;
    for (auto* nm : names) {
        RecordBuilder f;
        f.FileName(5, nm).ResidentData(100);
        m.Add(n++, f);
    }
    auto s = m.Pass();
    int32_t idx = 1;
    SetNameSortIndex(s->MFTRoot, idx);
    auto ch = s->MFTRoot->Children();
    std::vector<std::u16string> order;
    for (PMFT_RECORD c : ch) order.emplace_back(c->Name());
    // names that tie under the collation keep their record order
    std::vector<std::u16string> want = {u"$MFT", u"A.txt", u"a.TXT", u"b.txt", u"c.txt"};
    EXPECT_EQ(order, want);
    EXPECT_EQ(s->MFTRoot->SortNameIndex, 1);
    for (size_t i = 0; i < ch.size(); ++i) EXPECT_EQ(ch[i]->SortNameIndex, int32_t(i + 2));
    // equal sizes order by name number; nil sorts last
    EXPECT_LT(CompareBySize(ch[1], ch[2]), 0);
    EXPECT_LT(CompareBySize(ch[0], ch[1]), 0); // $MFT is larger
    EXPECT_LT(CompareByName(ch[1], nullptr), 0);
    EXPECT_GT(CompareByName(nullptr, ch[1]), 0);
    EXPECT_EQ(CompareBySize(nullptr, nullptr), 0);

    TDUPFILES g3{3, {}}, g1{1, {}};
    TMFT_RECORD x{}, y{}, z{};
    SetDupGroup(*s, &x, &g3);
    SetDupGroup(*s, &y, &g1);
    x.SortNameIndex = 5, y.SortNameIndex = 9, z.SortNameIndex = 1;
    EXPECT_LT(CompareByDupCount(&x, &y), 0);
    EXPECT_LT(CompareByDupCount(&y, &z), 0); // a group before none
    SetDupGroup(*s, &y, &g3);
    EXPECT_GT(CompareByDupCount(&x, &y), 0); // equal counts: descending name number
}

TEST(Duplicates, NormalisationAndGrouping) {
    const std::pair<const char16_t*, const char16_t*> names[] = {
        {u"Report (2).DOC", u"report.doc"},
        {u"report - Copy.doc", u"report.doc"},
        {u"report - Copy (3).doc", u"report.doc"},
        {u"a (0).txt", u"a (0).txt"},
        {u"a(2).txt", u"a(2).txt"},
        {u"noext (12)", u"noext"},
        {u"Élan.TXT", u"elan.txt"}};
    for (auto [in, want] : names)
        EXPECT_EQ(NormalizeDupName(in), want) << std::string(in, in + 3).size();

    MiniMft m = BaseVolume();
    RecordBuilder d1(1024, kDir), d2(1024, kDir);
    d1.FileName(5, u"X");
    d2.FileName(5, u"Y");
    m.Add(40, d1);
    m.Add(41, d2);
    struct F {
        uint64_t parent;
        const char16_t* name;
        uint32_t size;
        int64_t t;
    } files[] = {{40, u"photo.jpg", 300, 1500000000},
                 {41, u"photo.jpg", 300, 1600000000},
                 {41, u"PHOTO.JPG", 301, 1500000000},
                 {40, u"empty", 0, 0},
                 {41, u"empty", 0, 0}};
    uint64_t n = 50;
    for (auto& f : files) {
        RecordBuilder r;
        r.StdInfo(Ft(f.t), Ft(f.t), Ft(f.t), 0x20).FileName(f.parent, f.name).ResidentData(f.size);
        m.Add(n++, r);
    }
    auto s = m.Pass();
    TNTFS_FILES* scans[] = {s.get()};
    ASSERT_TRUE(LocateDuplicates(scans, 1));
    EXPECT_FALSE(LocateDuplicates(scans, 1)); // same method: nothing to do
    PMFT_RECORD p1 = ByPath(*s, u"X\\photo.jpg"),
                p2 = FindRecordByPath(ByPath(*s, u"Y"), u"photo.jpg");
    ASSERT_TRUE(p1 && p2);
    ASSERT_NE(DupGroupOf(p1), nullptr);
    EXPECT_EQ(DupGroupOf(p1), DupGroupOf(p2));
    EXPECT_EQ(DupGroupOf(p1)->dupcount, 1);
    EXPECT_EQ(DupGroupOf(ByPath(*s, u"X\\empty")), nullptr); // size 0 never groups
    // method 2 also wants the same date
    ASSERT_TRUE(LocateDuplicates(scans, 2));
    EXPECT_EQ(DupGroupOf(p1), nullptr);
    EXPECT_EQ(DupGroupOf(p2), nullptr);

    // Another scan's pass takes over: this scan's records are in no group any longer, and
    // this scan groups again when it is asked to, even by the method it recorded.
    ASSERT_TRUE(LocateDuplicates(scans, 1));
    auto other = m.Pass();
    TNTFS_FILES* others[] = {other.get()};
    ASSERT_TRUE(LocateDuplicates(others, 1));
    EXPECT_NE(DupGroupOf(ByPath(*other, u"X\\photo.jpg")), nullptr);
    EXPECT_EQ(DupGroupOf(p1), nullptr);
    ASSERT_TRUE(LocateDuplicates(scans, 1));
    EXPECT_EQ(DupGroupOf(p1), DupGroupOf(p2));
    EXPECT_NE(DupGroupOf(p1), nullptr);
    EXPECT_EQ(DupGroupOf(ByPath(*other, u"X\\photo.jpg")), nullptr);

    // Scans handed over to be freed leave the groups first: their records are in none, and
    // their end leaves the groups of a later pass alone.
    TNTFS_FILES* leaving[] = {other.get(), s.get()};
    LeaveDupGroups(leaving);
    EXPECT_EQ(DupGroupOf(p1), nullptr);
    auto next = m.Pass();
    TNTFS_FILES* nexts[] = {next.get()};
    ASSERT_TRUE(LocateDuplicates(nexts, 1));
    PMFT_RECORD n1 = ByPath(*next, u"X\\photo.jpg");
    TDUPFILES* group = DupGroupOf(n1);
    ASSERT_NE(group, nullptr);
    s.reset();
    other.reset();
    EXPECT_EQ(DupGroupOf(n1), group);
    EXPECT_EQ(group->dupcount, 1);
}

TEST(Tree, IsAncestorAtAnyDepthAndAcrossLoops) {
    // A chain of 5,000 records, then a parent loop of three above a second chain.
    std::vector<TMFT_RECORD> chain(5000), looped(10);
    for (auto* v : {&chain, &looped})
        for (TMFT_RECORD& r : *v) ZeroRecord(r);
    for (size_t i = 1; i < chain.size(); ++i) chain[i].ParentMFTRec = &chain[i - 1];
    EXPECT_TRUE(IsAncestor(&chain[0], &chain.back()));
    EXPECT_TRUE(IsAncestor(nullptr, &chain.back()));
    EXPECT_FALSE(IsAncestor(&chain.back(), &chain[0]));
    for (size_t i = 1; i < looped.size(); ++i) looped[i].ParentMFTRec = &looped[i - 1];
    looped[0].ParentMFTRec = &looped[2]; // 0 -> 2 -> 1 -> 0
    EXPECT_TRUE(IsAncestor(&looped[1], &looped.back()));
    EXPECT_FALSE(IsAncestor(&chain[0], &looped.back()));
    EXPECT_FALSE(IsAncestor(nullptr, &looped.back()));
}

TEST(Totals, SumsStopAtTheLargestValueAndSayWhere) {
    // A tree as a folder walk or an import builds it: root / dir / files, and root / small.
    constexpr uint64_t kMax = UINT64_MAX, kHalf = uint64_t(INT64_MAX);
    struct Case {
        const char* what;
        std::vector<uint64_t> sizes, allocs; // the files in dir
        uint64_t wantDir, wantDirAlloc;
        bool saturated;
    };
    const Case cases[] = {
        {"three sparse files of 2^63 - 1 bytes", {kHalf, kHalf, kHalf}, {0, 0, 0}, kMax, 0, true},
        {"a size of 2^64 - 1 and one byte more", {kMax, 1}, {4096, 4096}, kMax, 8192, true},
        {"allocations past the largest value", {10, 20, 30}, {kHalf, kHalf, 2}, 60, kMax, true},
        {"sums that fit", {kHalf, kHalf / 2}, {1, 2}, kHalf + kHalf / 2, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto s = TNTFS_FILES::CreateSlow(u"unused");
        auto folder = [&](PMFT_RECORD parent, uint64_t recno) {
            PMFT_RECORD r = s->Arena().NewRecord();
            r->RecNo = recno;
            r->FileRecFlags = 2;
            r->Folder = s->Arena().NewFolder();
            r->ParentMFTRec = parent;
            s->AddToFileList(r);
            s->AddToDirList(r);
            return r;
        };
        auto file = [&](PMFT_RECORD parent, uint64_t size, uint64_t alloc) {
            PMFT_RECORD r = s->Arena().NewRecord();
            r->RecNo = s->FFileList.size() + 5;
            r->FileSize = size;
            r->AllocSize = alloc;
            r->ParentMFTRec = parent;
            s->AddToFileList(r);
            return r;
        };
        PMFT_RECORD root = folder(nullptr, 5), dir = folder(root, 6);
        std::vector<PMFT_RECORD> files;
        for (size_t i = 0; i < c.sizes.size(); ++i)
            files.push_back(file(dir, c.sizes[i], c.allocs[i]));
        file(root, 100, 4096);
        s->CalculateDirSizes();
        EXPECT_EQ(dir->SubFoldersTotSize, c.wantDir);
        EXPECT_EQ(dir->SubFoldersTotSizeAlloc, c.wantDirAlloc);
        EXPECT_EQ(dir->TotalSaturated, c.saturated);
        EXPECT_EQ(root->TotalSaturated, c.saturated);
        EXPECT_GE(root->SubFoldersTotSize, dir->SubFoldersTotSize) << "no wrapping round";
        EXPECT_EQ(root->SubFoldersTotSize,
                  c.saturated && c.wantDir == kMax ? kMax : c.wantDir + 100);
        EXPECT_EQ(s->Anomalies.SaturatedTotals, c.saturated ? 2 : 0);
        EXPECT_EQ(s->AnomalyTexts().size(), c.saturated ? 1u : 0u);
        // Filtered out, the big files no longer count and the flags go.
        for (PMFT_RECORD f : files) f->Filtered = true;
        s->CalculateDirSizes();
        EXPECT_EQ(root->SubFoldersTotSize, 100u);
        EXPECT_FALSE(dir->TotalSaturated);
        EXPECT_EQ(s->Anomalies.SaturatedTotals, 0);
        // Folders seeded with their own sizes (a folders-only filter) stop at the top too.
        dir->FileSize = kMax;
        root->FileSize = 1;
        s->CalculateDirSizes({.FoldersOnlyFilter = true});
        EXPECT_EQ(dir->SubFoldersTotSize, kMax);
        EXPECT_EQ(root->SubFoldersTotSize, kMax);
        EXPECT_TRUE(root->TotalSaturated);
    }
}
