// The scan session: one thread per source, combined progress and its throttle, cancel,
// errors naming their source, one name order across scans, totals, the full-volume cut and
// the sorted display tree.
#include "app/outputs.h"
#include "base/text.h"
#include "engine/tree.h"
#include "sources/dirscan.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"
#include "views/scancontrol.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

void WriteSized(const std::string& path, size_t n) {
    std::string data(n, 'x');
    WriteFileBytes(path, data.data(), data.size());
}

TScanSource FolderSource(const std::string& path) {
    TScanSource s;
    s.Path = Utf8ToUtf16(path);
    return s;
}

// Every record of every scan, by full path.
std::set<std::string> Paths(const TScanSession& session) {
    std::set<std::string> out;
    for (TNTFS_FILES* s : session.Scans())
        for (PMFT_RECORD r : s->FFileList)
            if (r && r->HasName()) out.insert(Utf16ToUtf8(GetRecordPath(r)));
    return out;
}

} // namespace

TEST(ScanProgress, CombinedFigures) {
    struct Case {
        std::vector<TScanFigures> scans;
        int percent;
    } cases[] = {
        {{}, 0},
        {{{50, 10, 2, 0}}, 50},
        {{{100, 0, 0, 300}, {0, 0, 0, 100}}, 75}, // weighted by records
        {{{100, 0, 0, 300}, {10, 0, 0, 0}}, 55},  // one count unknown: the mean
        {{{100, 0, 0, 1}, {100, 0, 0, 2}}, 100},  // 33 + 67, rounded per scan, capped
        {{{99, 0, 0, 1}, {100, 0, 0, 1}}, 100},   // 49.5 -> 50, 50
    };
    for (const Case& c : cases) {
        TScanProgress p = CombineProgress(c.scans);
        EXPECT_EQ(p.Percent, c.percent);
    }
    TScanFigures two[2] = {{10, 5, 1, 0}, {20, 7, 2, 0}};
    TScanProgress p = CombineProgress(two);
    EXPECT_EQ(p.Files, 12);
    EXPECT_EQ(p.Folders, 3);
}

TEST(ScanProgress, ThrottleShowsRisesAndOncePerSecond) {
    using namespace std::chrono;
    TProgressThrottle t;
    const auto t0 = steady_clock::now();
    EXPECT_TRUE(t.ShouldShow(0, t0));                        // the first figures
    EXPECT_FALSE(t.ShouldShow(0, t0 + milliseconds(500)));   // nothing new, too soon
    EXPECT_TRUE(t.ShouldShow(1, t0 + milliseconds(600)));    // the percentage rose
    EXPECT_FALSE(t.ShouldShow(1, t0 + milliseconds(1500)));  // 0.9 s after the last display
    EXPECT_TRUE(t.ShouldShow(1, t0 + milliseconds(1600)));   // a second since the last one
    EXPECT_FALSE(t.ShouldShow(0, t0 + milliseconds(1700)));  // lower is no news
    EXPECT_TRUE(t.ShouldShow(100, t0 + milliseconds(1701))); // 100 always
    EXPECT_TRUE(t.ShouldShow(100, t0 + milliseconds(1702)));
}

TEST(ScanSession, TwoFoldersNumberedTogetherWithTotals) {
    TempDir tmp;
    fs::create_directories(tmp / "a/sub");
    fs::create_directories(tmp / "b");
    WriteSized(tmp / "a/zbig.bin", 30000);
    WriteSized(tmp / "a/sub/z.txt", 200);
    WriteSized(tmp / "a/sub/y.txt", 100);
    WriteSized(tmp / "b/only.dat", 5000);
    const TScanSource sources[] = {FolderSource(tmp / "a"), FolderSource(tmp / "b")};
    TScanSession session(ScanSourcePasses());
    TScanOptions options;
    options.TallyExtensions = true;
    std::atomic<int> calls{0}; // asked on the scan threads
    session.DiskSizeOf = [&](const TScanSource& s, const TNTFS_FILES&) {
        ++calls;
        TDiskSizeInfo i;
        i.itempath = s.Path;
        i.totalspace = 1;
        return i;
    };
    ASSERT_TRUE(session.Start(sources, options));
    TScanProgress last;
    int shown = 0;
    session.Wait([&](const TScanProgress& p) {
        last = p;
        ++shown;
    });
    ASSERT_TRUE(session.Finish()) << (session.Errors.empty() ? "" : session.Errors.front());
    EXPECT_EQ(calls, 2);
    EXPECT_GE(shown, 1);
    EXPECT_EQ(last.Files, 4);
    ASSERT_EQ(session.Scans().size(), 2u);
    PMFT_RECORD ra = session.ScanSlots[0]->MFTRoot, rb = session.ScanSlots[1]->MFTRoot;
    EXPECT_EQ(ra->SubFoldersTotSize, 30300u);
    EXPECT_EQ(ra->SubFoldersNumFiles(), 3);
    EXPECT_EQ(rb->SubFoldersTotSize, 5000u);
    EXPECT_EQ(session.RootMFTMulti.SubFoldersTotSize, 35300u);
    EXPECT_EQ(session.RootMFTMulti.SubFoldersTotSizeAlloc,
              ra->SubFoldersTotSizeAlloc + rb->SubFoldersTotSizeAlloc);
    EXPECT_EQ(session.DiskSizes[1].usedspace, rb->SubFoldersTotSizeAlloc);
    EXPECT_EQ(session.DiskSizes[1].totalspace, 1u);
    EXPECT_EQ(session.RootMFT, ra);

    // One counter over both scans: every record numbered once, the second scan after the first.
    std::set<int32_t> seen;
    int32_t maxA = 0;
    for (PMFT_RECORD r : session.ScanSlots[0]->FFileList) {
        EXPECT_TRUE(seen.insert(r->SortNameIndex).second);
        maxA = std::max(maxA, r->SortNameIndex);
    }
    for (PMFT_RECORD r : session.ScanSlots[1]->FFileList) {
        EXPECT_TRUE(seen.insert(r->SortNameIndex).second);
        EXPECT_GT(r->SortNameIndex, maxA);
    }
    EXPECT_EQ(*seen.begin(), 1);
    EXPECT_EQ(*seen.rbegin(), int32_t(seen.size()));

    // The threads' extension tallies rank the types as counting the records does.
    ASSERT_EQ(session.ExtTallies.size(), 2u);
    TExtColors fromTallies, fromRecords;
    fromTallies.BuildExtSizes(session.ExtTallies);
    fromRecords.BuildExtSizes(session.Scans());
    ASSERT_EQ(fromTallies.ExtSizes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fromTallies.ExtSizes[i].Key, fromRecords.ExtSizes[i].Key);
        EXPECT_EQ(fromTallies.ExtSizes[i].Totals.Size, fromRecords.ExtSizes[i].Totals.Size);
        EXPECT_EQ(fromTallies.ExtSizes[i].Totals.Count, fromRecords.ExtSizes[i].Totals.Count);
    }
    EXPECT_EQ(fromTallies.ExtSizes[0].Key, u".bin");

    // The tree in the "sortby" orders: two top-level nodes; below "a" by size or by name.
    TDisplayTree tree;
    ASSERT_TRUE(session.LoadTree(tree, 1));
    ASSERT_EQ(tree.Roots().size(), 2u);
    auto names = [&](TTreeNode* n) {
        std::vector<std::u16string> v;
        for (TTreeNode* k : tree.Children(n))
            if (!k->IsFileGroup) v.push_back(std::u16string(k->Data.Rec->Name()));
        return v;
    };
    using V = std::vector<std::u16string>;
    TTreeNode* a = tree.Roots()[0];
    EXPECT_EQ(names(a), (V{u"zbig.bin", u"sub"}));
    EXPECT_EQ(names(tree.Children(a)[1]), (V{u"z.txt", u"y.txt"}));
    ASSERT_TRUE(session.LoadTree(tree, 0)); // names, ascending
    a = tree.Roots()[0];
    EXPECT_EQ(names(a), (V{u"sub", u"zbig.bin"}));
    EXPECT_EQ(names(tree.Children(a)[0]), (V{u"y.txt", u"z.txt"}));
    tree.Clear();
}

TEST(ScanSession, AFailedSourceIsNamedAndItsSlotEmptied) {
    TempDir tmp;
    fs::create_directories(tmp / "ok");
    WriteSized(tmp / "ok/f", 10);
    WriteSized(tmp / "file.mft", 100); // not an MFT: the pass fails
    const TScanSource sources[] = {
        FolderSource(tmp / "ok"),
        FolderSource(tmp / "missing"),
        {DT_MFTFILE, TScanMethod::MFTDump, Utf8ToUtf16(tmp / "file.mft"), {}, {}, {}},
        {DT_MFTFILE, TScanMethod::MFTDump, Utf8ToUtf16(tmp / "nothere.mft"), {}, {}, {}}};
    TScanSession session(ScanSourcePasses());
    session.Start(sources, TScanOptions{});
    session.Wait({});
    EXPECT_FALSE(session.Finish());
    ASSERT_EQ(session.ScanSlots.size(), 4u);
    EXPECT_TRUE(session.ScanSlots[0]);
    EXPECT_FALSE(session.ScanSlots[1]);
    EXPECT_FALSE(session.ScanSlots[3]);
    ASSERT_GE(session.Errors.size(), 2u);
    std::string all;
    for (const std::string& e : session.Errors) {
        EXPECT_EQ(e.rfind("Error: ", 0), 0u) << e;
        all += e + "\n";
    }
    EXPECT_NE(all.find("[" + tmp / "missing" + "]"), std::string::npos) << all;
    EXPECT_NE(all.find("[" + tmp / "nothere.mft" + "]"), std::string::npos) << all;
    EXPECT_EQ(session.RootMFTMulti.SubFoldersTotSize,
              10u + (session.ScanSlots[2] ? session.ScanSlots[2]->MFTRoot->SubFoldersTotSize : 0));
}

TEST(ScanSession, DumpCsvAndFiltersThroughTheThreads) {
    TempDir tmp;
    const std::string dump = Gunzip(DataPath("ntfs/dfir_ntfs/unicode.mft.gz"), tmp.path());
    fs::create_directories(tmp / "t/d");
    WriteSized(tmp / "t/a.txt", 10);
    WriteSized(tmp / "t/d/b.txt", 20);
    WriteSized(tmp / "t/d/c.bin", 30);
    TScanSource src[] = {{DT_MFTFILE, TScanMethod::MFTDump, Utf8ToUtf16(dump), {}, {}, {}},
                         FolderSource(tmp / "t")};
    TScanOptions o;
    o.FilterInclude = u"*.txt";
    TScanSession session(ScanSourcePasses());
    session.Start(src, o);
    session.Wait({});
    ASSERT_TRUE(session.Finish()) << session.Errors.front();
    EXPECT_EQ(session.ScanSlots[0]->MFTRoot->Name(), u"C:");
    PMFT_RECORD t = session.ScanSlots[1]->MFTRoot;
    EXPECT_EQ(t->SubFoldersTotSize, 30u); // the .bin is filtered out of the totals
    for (PMFT_RECORD r : session.ScanSlots[1]->FFileList)
        EXPECT_EQ(r->Filtered, r->Name() == u"c.bin") << Utf16ToUtf8(r->Name());
    EXPECT_FALSE(session.FoldersOnly);

    // The same tree read back from a CSV written by hand in the export's format is a CSV scan.
    const std::string csv = tmp / "t.csv";
    const std::string text = "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n"
                             "\"/x/\",30,0,2020/01/01 00:00:00,16,2,1\r\n"
                             "\"/x/a.txt\",10,0,2020/01/01 00:00:00,32,0,0\r\n"
                             "\"/x/d/\",20,0,2020/01/01 00:00:00,16,1,0\r\n"
                             "\"/x/d/b.txt\",20,0,2020/01/01 00:00:00,32,0,0\r\n";
    WriteFileBytes(csv, text.data(), text.size());
    TScanSource c[] = {{DT_CSVFILE, TScanMethod::CSVImport, Utf8ToUtf16(csv), {}, {}, {}}};
    ASSERT_TRUE(session.Start(c, TScanOptions{}));
    session.Wait({});
    ASSERT_TRUE(session.Finish()) << session.Errors.front();
    EXPECT_TRUE(session.ScanSlots[0]->WasCSVFile);
    EXPECT_EQ(Paths(session), (std::set<std::string>{"/x", "/x/a.txt", "/x/d", "/x/d/b.txt"}));
    EXPECT_EQ(session.ScanSlots[0]->MFTRoot->SubFoldersTotSize, 30u);
}

TEST(ScanSession, CancelEndsTheScanWithoutAnError) {
    TempDir tmp;
    for (int d = 0; d < 20; ++d) {
        fs::create_directories(tmp / ("t/d" + std::to_string(d)));
        for (int f = 0; f < 25; ++f)
            WriteSized(tmp / ("t/d" + std::to_string(d) + "/f" + std::to_string(f)), 1);
    }
    const TScanSource src[] = {FolderSource(tmp / "t")};
    TScanSession session(ScanSourcePasses());
    // The walk holds after its first block until the cancel has reached the scan.
    struct Hook {
        Hook(std::function<void(const std::string&)> f) {
            SlowScanDefaults().AfterBlockListed = std::move(f);
        }
        ~Hook() { SlowScanDefaults().AfterBlockListed = nullptr; }
    } hook([&](const std::string&) {
        while (!session.RunningScan(0)->Cancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    ASSERT_TRUE(session.Start(src, TScanOptions{}));
    session.Wait({}, [] { return true; });
    EXPECT_TRUE(session.CancelRequested());
    EXPECT_TRUE(session.WasCancelled());
    EXPECT_TRUE(session.Finish()); // what was read is kept, without an error
    ASSERT_TRUE(session.ScanSlots[0]);
    EXPECT_LT(session.ScanSlots[0]->MFTRoot->SubFoldersNumFiles(), 500);
    EXPECT_EQ(ScanCompleteText(1.5, true, TNumberFormat{}),
              u"Scan complete 1.50 seconds (Cancelled)");
}

TEST(ScanSession, FullVolumeModeCutsTheFolderOut) {
    TempDir tmp;
    // A partitioned disk image: the NTFS volume starts at byte 65536.
    const std::string img = Gunzip(DataPath("ntfs/dfir_ntfs/ntfs_index.raw.gz"), tmp.path());
    TScanSource whole{DT_NTFS, TScanMethod::MFTVolume, Utf8ToUtf16(img), u"/mnt/w", {}, {}};
    TScanSource cut = whole;
    cut.Kind = DT_FOLDER;
    cut.SubtreePath = u"$Extend/$RmMetadata";
    cut.SubtreeRootName = u"/mnt/w/$Extend/$RmMetadata";
    TScanSession session(ScanSourcePasses());
    const TScanSource both[] = {whole, cut};
    TScanOptions options;
    options.TallyExtensions = true;
    ASSERT_TRUE(session.Start(both, options));
    session.Wait({});
    ASSERT_TRUE(session.Finish()) << session.Errors.front();
    PMFT_RECORD volRoot = session.ScanSlots[0]->MFTRoot;
    EXPECT_EQ(GetRecordPath(volRoot), u"/mnt/w");
    PMFT_RECORD inVolume = FindRecordByPath(volRoot, u"$Extend/$RmMetadata", u'/');
    ASSERT_NE(inVolume, nullptr);
    PMFT_RECORD cutRoot = session.ScanSlots[1]->MFTRoot;
    EXPECT_EQ(GetRecordPath(cutRoot), u"/mnt/w/$Extend/$RmMetadata");
    EXPECT_EQ(cutRoot->SubFoldersTotSize, inVolume->SubFoldersTotSize);
    EXPECT_EQ(cutRoot->SubFoldersNumFiles(), inVolume->SubFoldersNumFiles());
    EXPECT_EQ(cutRoot->SubFoldersNumDirs(), inVolume->SubFoldersNumDirs());
    EXPECT_NE(FindRecordByPath(cutRoot, u"$TxfLog/$Tops", u'/'), nullptr);
    // The cut scan's types are those of the folder alone; its names are in order again.
    uint64_t cutFiles = 0;
    for (const TExtEntry& e : session.ExtTallies[1].Entries) cutFiles += e.Totals.Count;
    EXPECT_EQ(cutFiles, uint64_t(cutRoot->SubFoldersNumFiles()));
    for (PMFT_RECORD r : session.ScanSlots[1]->FFileList) {
        auto kids = r->Children();
        for (size_t i = 1; i < kids.size(); ++i) EXPECT_LE(CompareByName(kids[i - 1], kids[i]), 0);
    }

    TScanSource wrong = cut;
    wrong.SubtreePath = u"no/such/folder";
    const TScanSource w[] = {wrong};
    session.Start(w, TScanOptions{});
    session.Wait({});
    EXPECT_FALSE(session.Finish());
    ASSERT_EQ(session.Errors.size(), 1u);
    EXPECT_NE(session.Errors[0].find("/mnt/w/$Extend/$RmMetadata"), std::string::npos);
}

TEST(HeadlessDump, AnInterruptLeavesNoDumpBehind) {
    TempDir tmp;
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkntfs -q -F -f '" + img +
                            "' >/dev/null 2>&1"),
              0);
    const TScanSource src{DT_NTFS, TScanMethod::MFTVolume, Utf8ToUtf16(img), {}, {}, {}};
    TProgressLine line(false);
    std::atomic<bool> interrupted{true};
    std::string error;
    EXPECT_FALSE(WriteMFTDump(src, tmp / "vol.mft", line, error, &interrupted));
    EXPECT_NE(error.find("interrupted"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(tmp / "vol.mft"));
    interrupted = false;
    ASSERT_TRUE(WriteMFTDump(src, tmp / "vol.mft", line, error, &interrupted)) << error;
    EXPECT_GT(fs::file_size(tmp / "vol.mft"), 16u * 1024);
}
