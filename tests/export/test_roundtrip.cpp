// Export, then import: the same tree comes back -- every path, size, allocated size,
// hard-link mark, attribute, count and date to the second -- for real Windows MFT tables and
// an NTFS image, for a Linux folder tree full of awkward names, for folders-only and files-only
// exports, with every combination of option groups, as CSV and as TSV.
#include "engine/scan.h"
#include "export/csv_export.h"
#include "sources/sources.h"
#include "tests/export/export_test_util.h"
#include "tests/views/scanbuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

std::unique_ptr<TNTFS_FILES> ScanDump(const std::string& path) {
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    s->ProcessMFTRecords();
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    return s;
}

std::unique_ptr<TNTFS_FILES> ScanSlow(const std::string& path) {
    auto s = TNTFS_FILES::CreateSlow(Utf8ToUtf16(path), ScanSourcePasses());
    s->ProcessMFTRecords();
    s->CalculateDirSizes();
    return s;
}

// Exports scan's tree to path, imports it, and compares. Returns the imported scan.
std::unique_ptr<TNTFS_FILES> RoundTrip(TNTFS_FILES& scan, const TExportOptions& o,
                                       const std::string& path) {
    auto r = ExportTree({&scan}, o, path);
    EXPECT_TRUE(r.Ok) << r.Error;
    auto back = ScanSlow(path);
    EXPECT_FALSE(back->WasError) << back->ErrorMessage;
    EXPECT_TRUE(back->WasCSVFile);
    return back;
}

// The full comparison: same records, same facts.
void ExpectSameTree(TNTFS_FILES& a, TNTFS_FILES& b, bool withDates) {
    ASSERT_NE(b.MFTRoot, nullptr);
    size_t na = 0, nb = 0;
    auto fa = Facts(a.MFTRoot, withDates, &na);
    auto fb = Facts(b.MFTRoot, withDates, &nb);
    EXPECT_EQ(na, fa.size()) << "paths repeat in the scanned tree";
    EXPECT_EQ(nb, na);
    EXPECT_EQ(b.FFileList.size(), na) << "the import made records of its own";
    for (auto& [p, f] : fa) {
        auto it = fb.find(p);
        if (it == fb.end()) {
            ADD_FAILURE() << "missing after import: " << Utf16ToUtf8(p);
            continue;
        }
        EXPECT_EQ(it->second, f) << Utf16ToUtf8(p);
    }
    EXPECT_EQ(b.MFTRoot->Name(), a.MFTRoot->Name());
}

// A folder tree with the names Linux allows and Windows does not, hard links, an empty
// folder and a deep chain; every entry dated in summer or winter.
void MakeAwkwardTree(const std::string& r) {
    auto dir = [&](const std::string& rel) {
        ASSERT_EQ(::mkdir((r + "/" + rel).c_str(), 0755), 0) << rel;
    };
    auto file = [&](const std::string& rel, size_t n) {
        std::string data(n, 'x');
        WriteFileBytes(r + "/" + rel, data.data(), data.size());
    };
    dir("a,b");
    dir("a,b/tab\there");
    dir("quo\"te dir");
    dir("empty");
    dir("line\nbreak\r\ndir");
    dir("\xe2\x28\xa1 bad");
    dir("deep");
    std::string deep = "deep";
    for (int i = 0; i < 40; ++i) {
        deep += "/level" + std::to_string(i);
        dir(deep);
    }
    file(deep + "/bottom.txt", 77);
    for (const char* n :
         {"README", "README.", "README..", "a..", "...", ".hidden", "x.tar.gz", "back\\slash",
          "back\\slash\\", "comma,name.csv", "\"quoted\"", "ends with space ", "\xff\xfe raw",
          "lone\xc3", "caf\xc3\xa9.txt", "\xf0\x9f\x98\x80 emoji.png"})
        file(std::string("a,b/") + n, 1 + std::strlen(n));
    file("a,b/tab\there/in tab", 5000);
    file("quo\"te dir/q\"\"q", 9000);
    file("line\nbreak\r\ndir/cr\rlf\n", 12);
    file("\xe2\x28\xa1 bad/inside", 33);
    file("big.bin", 200000);
    ASSERT_EQ(::link((r + "/big.bin").c_str(), (r + "/a,b/hard link.bin").c_str()), 0);
    ASSERT_EQ(::symlink("big.bin", (r + "/sym").c_str()), 0);
    // Fixed dates: the awkward hour when clocks go back would not read back unambiguously.
    ASSERT_EQ(Run("find '" + r + "' -depth -exec touch -h -d '2023-07-15 10:20:30' {} +"), 0);
    ASSERT_EQ(
        Run("find '" + r + "' -depth -name '*a*' -exec touch -h -m -d '2022-12-24 18:00:01' {} +"),
        0);
}

class RoundTripTest : public ::testing::Test {
protected:
    TempDir tmp;
};

TEST_F(RoundTripTest, WindowsMftTables) {
    ZoneGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Dump {
        std::string gz;
        bool image;
    };
    for (const std::string gz : {"libfsntfs/mft_metadata_file.1.gz", "dfir_ntfs/unicode.mft.gz",
                                 "dfir_ntfs/4k-large.mft.gz", "dfir_ntfs/ntfs3_attrlist.raw.gz"}) {
        SCOPED_TRACE(gz);
        const std::string path = Gunzip(DataPath("ntfs/" + gz), tmp.path());
        auto scan = ScanDump(path);
        ASSERT_GT(scan->FFileList.size(), 20u);
        TExportOptions all;
        all.ExportDates.Value = all.ExportMFTNo.Value = true;
        auto back = RoundTrip(*scan, all, tmp / "mft.csv");
        ExpectSameTree(*scan, *back, true);
        ::unlink(path.c_str());
    }
}

TEST_F(RoundTripTest, LinuxFolderTreeWithAwkwardNames) {
    ZoneGuard tz("UTC0");
    const std::string root = tmp / "tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeAwkwardTree(root);
    auto scan = ScanSlow(root);
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    ASSERT_GT(scan->FFileList.size(), 60u);
    TExportOptions o;
    o.ExportDates.Value = true;
    for (const char* name : {"tree.csv", "tree.tsv"}) {
        SCOPED_TRACE(name);
        auto back = RoundTrip(*scan, o, tmp / name);
        ExpectSameTree(*scan, *back, true);
        EXPECT_EQ(back->MFTRoot->Name(), Utf8ToUtf16(root));
    }
}

TEST_F(RoundTripTest, EveryCombinationOfOptionGroups) {
    ZoneGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::string root = tmp / "tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeAwkwardTree(root);
    auto scan = ScanSlow(root);
    TDiskSizeInfo cap;
    cap.hastotalandfreespace = true;
    cap.totalspace = 1 << 30;
    cap.freespace = 1 << 20;
    cap.reservedspace = 4096;
    for (int mask = 0; mask < 64; ++mask) {
        SCOPED_TRACE(mask);
        TExportOptions o;
        o.ExportMFTNo.Value = mask & 1;
        o.ExportDates.Value = mask & 2;
        o.ExportFolderSize.Value = mask & 4;
        o.SplitFileNames.Value = mask & 8;
        o.PercentOfParent.Value = mask & 16;
        o.ExportDriveSize.Value = mask & 32;
        const std::string path = tmp / (mask % 3 ? "combo.csv" : "combo.tsv");
        auto r = ExportTree({scan.get()}, o, path, nullptr, {cap});
        ASSERT_TRUE(r.Ok);
        auto back = ScanSlow(path);
        ASSERT_FALSE(back->WasError) << back->ErrorMessage;
        ExpectSameTree(*scan, *back, o.ExportDates);
        EXPECT_EQ(back->CSVDinfo.hastotalandfreespace, bool(o.ExportDriveSize));
        if (o.ExportDriveSize) {
            EXPECT_EQ(back->CSVDinfo.totalspace, cap.totalspace);
            EXPECT_EQ(back->CSVDinfo.usedspace, cap.totalspace - cap.freespace);
            // The capacity travels on: a second export of the import carries it again.
            auto again = ExportTree({back.get()}, o, tmp / "again.csv");
            ASSERT_TRUE(again.Ok);
            auto third = ScanSlow(tmp / "again.csv");
            EXPECT_EQ(third->CSVDinfo.freespace, cap.freespace);
            ExpectSameTree(*scan, *third, o.ExportDates);
        }
    }
}

TEST_F(RoundTripTest, FoldersOnlyAndFilesOnly) {
    ZoneGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    const std::string path = Gunzip(DataPath("ntfs/libfsntfs/mft_metadata_file.1.gz"), tmp.path());
    auto scan = ScanDump(path);
    auto all = Facts(scan->MFTRoot, false);

    // Folders only: the folder rows carry the totals and counts.
    TExportOptions folders;
    folders.ExportFiles.Value = false;
    auto fb = RoundTrip(*scan, folders, tmp / "folders.csv");
    EXPECT_FALSE(fb->CSVHasFilesFlag);
    auto ff = Facts(fb->MFTRoot, false);
    size_t folderCount = 0;
    for (auto& [p, f] : all) {
        if (!f.folder) continue;
        ++folderCount;
        auto it = ff.find(p);
        ASSERT_NE(it, ff.end()) << Utf16ToUtf8(p);
        EXPECT_EQ(it->second, f) << Utf16ToUtf8(p);
    }
    EXPECT_EQ(ff.size(), folderCount);

    // Files only: the folders are made again from the paths and their totals add up again.
    TExportOptions files;
    files.ExportFolders.Value = false;
    auto fi = RoundTrip(*scan, files, tmp / "files.csv");
    EXPECT_TRUE(fi->CSVHasFilesFlag);
    auto fif = Facts(fi->MFTRoot, false);
    for (auto& [p, f] : all) {
        auto it = fif.find(p);
        if (!f.folder) {
            ASSERT_NE(it, fif.end()) << Utf16ToUtf8(p);
            EXPECT_EQ(it->second, f) << Utf16ToUtf8(p);
        } else if (f.files > 0) {
            ASSERT_NE(it, fif.end()) << Utf16ToUtf8(p);
            EXPECT_EQ(it->second.size, f.size) << Utf16ToUtf8(p);
            EXPECT_EQ(it->second.alloc, f.alloc) << Utf16ToUtf8(p);
            EXPECT_EQ(it->second.files, f.files) << Utf16ToUtf8(p);
        }
    }
}

TEST_F(RoundTripTest, SeveralSourcesEachReadBackFromItsOwnFile) {
    ZoneGuard tz("UTC0");
    std::vector<std::unique_ptr<TNTFS_FILES>> scans;
    for (const char* gz : {"dfir_ntfs/unicode.mft.gz", "dfir_ntfs/orphan.mft.gz"})
        scans.push_back(ScanDump(Gunzip(DataPath(std::string("ntfs/") + gz), tmp.path())));
    const std::string root = tmp / "tree";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeAwkwardTree(root);
    scans.push_back(ScanSlow(root));
    std::vector<TNTFS_FILES*> raw;
    for (auto& s : scans) raw.push_back(s.get());
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(raw));
    auto r = ExportTree(raw, TExportOptions{}, tmp / "multi.csv", &tree);
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.FilesWritten.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        auto back = ScanSlow(Utf16ToUtf8(r.FilesWritten[i]));
        PMFT_RECORD root = tree.Roots()[i]->Data.Rec;
        TNTFS_FILES* orig = nullptr;
        for (auto* s : raw)
            if (s->MFTRoot == root) orig = s;
        ASSERT_NE(orig, nullptr);
        ExpectSameTree(*orig, *back, false);
    }
}

TEST_F(RoundTripTest, NtfsNamesHoldingABackslashReadBack) {
    // NTFS volumes written by Linux may hold "\" inside names; in a "\" path the export writes
    // it as "/" (which no NTFS name holds) and the import turns it back.
    ZoneGuard tz("UTC0");
    ScanBuilder b;
    PMFT_RECORD dir = b.Folder(b.root, u"dir\\with\\");
    b.File(dir, u"in\\side", 10);
    b.File(dir, u"plain.txt", 11);
    b.File(b.root, u"back\\slash", 12);
    b.File(b.root, u"back\\slash.txt", 13);
    b.File(b.root, u"\\lead", 14);
    b.File(b.root, u"\\", 15);
    b.Folder(b.root, u"back"); // must stay apart from "back\slash"
    b.Finish();
    auto back = RoundTrip(*b.scan, TExportOptions{}, tmp / "bs.csv");
    ExpectSameTree(*b.scan, *back, true);
    const std::string text = ReadText(tmp / "bs.csv");
    EXPECT_NE(text.find("\"C:\\back/slash.\","), std::string::npos) << text;
    EXPECT_NE(text.find("\"C:\\dir/with/\\in/side.\","), std::string::npos) << text;
    EXPECT_NE(text.find("\"C:\\/.\","), std::string::npos) << text;
    std::u16string names;
    for (PMFT_RECORD r : back->MFTRoot->Children()) names += std::u16string(r->Name()) + u"|";
    for (const char16_t* n :
         {u"back\\slash|", u"back\\slash.txt|", u"\\lead|", u"\\|", u"dir\\with\\|", u"back|"})
        EXPECT_NE(names.find(n), std::u16string::npos) << Utf16ToUtf8(n);
}

TEST_F(RoundTripTest, FileWrittenWithoutTheExtraDotReadsBackTheSame) {
    // Files written by the rule that only adds a "." to names without one (names ending in "."
    // do not occur on volumes written by Windows) read back to the same names, and are written
    // again byte for byte.
    ZoneGuard tz("UTC0");
    const std::string rows = "\"C:\\\",6000,28672,2024/01/01 00:00:00,16,6,1\r\n"
                             "\"C:\\docs\\\",6000,28672,2024/01/01 00:00:00,16,6,0\r\n"
                             "\"C:\\docs\\.profile\",1000,4096,2024/01/01 00:00:00,32,0,0\r\n"
                             "\"C:\\docs\\archive.tar.gz\",1000,8192,2024/01/01 00:00:00,32,0,0\r\n"
                             "\"C:\\docs\\Makefile.\",1000,4096,2024/01/01 00:00:00,32,0,0\r\n"
                             "\"C:\\docs\\notes.txt\",1000,4096,2024/01/01 00:00:00,32,0,0\r\n"
                             "\"C:\\docs\\README.\",1000,4096,2024/01/01 00:00:00,32,0,0\r\n"
                             "\"C:\\docs\\v1.2.final\",1000,4096,2024/01/01 00:00:00,32,0,0\r\n";
    const std::string header = "\xEF\xBB\xBF"
                               "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n";
    const std::string text = header + rows;
    WriteFileBytes(tmp / "old.csv", text.data(), text.size());
    auto scan = ScanSlow(tmp / "old.csv");
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    std::u16string names;
    for (PMFT_RECORD r : scan->FFileList) names += std::u16string(r->Name()) + u"|";
    EXPECT_EQ(names, u"C:|docs|.profile|archive.tar.gz|Makefile|notes.txt|README|v1.2.final|");
    TExportOptions o;
    o.ExportDriveSize.Value = false;
    TDisplayTree tree;
    std::vector<TNTFS_FILES*> scans = {scan.get()};
    ASSERT_TRUE(tree.LoadTree(scans));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    ASSERT_TRUE(ExportTree(scans, o, tmp / "new.csv", &tree).Ok);
    EXPECT_EQ(ReadText(tmp / "new.csv"), text);
}

TEST_F(RoundTripTest, RowsInAnyOrderAndListedTwiceGiveTheSameTree) {
    // A file list sorted by size, or an edited file, lists a folder's files in many runs; every
    // row may even come twice. The tree read back is the same, with one record per item.
    ZoneGuard tz("UTC0");
    auto scan = ScanDump(Gunzip(DataPath("ntfs/libfsntfs/mft_metadata_file.1.gz"), tmp.path()));
    TExportOptions o;
    o.ExportDriveSize.Value = false;
    o.ExportDates.Value = true;
    ASSERT_TRUE(ExportTree({scan.get()}, o, tmp / "tree.csv").Ok);
    std::vector<std::string> lines = Lines(ReadText(tmp / "tree.csv"));
    ASSERT_GT(lines.size(), 30u);
    const std::string header = lines[0], root = lines[1];
    std::vector<std::string> rows(lines.begin() + 2, lines.end());
    std::mt19937 rng(7);
    for (int copies : {1, 2}) {
        SCOPED_TRACE(copies);
        std::vector<std::string> all;
        for (int c = 0; c < copies; ++c) all.insert(all.end(), rows.begin(), rows.end());
        std::shuffle(all.begin(), all.end(), rng);
        std::string text = header + "\r\n" + root + "\r\n";
        for (const std::string& r : all) text += r + "\r\n";
        WriteFileBytes(tmp / "mixed.csv", text.data(), text.size());
        auto back = ScanSlow(tmp / "mixed.csv");
        ASSERT_FALSE(back->WasError) << back->ErrorMessage;
        ExpectSameTree(*scan, *back, true);
        EXPECT_EQ(back->Warnings.MergedRows, int64_t(rows.size()) * (copies - 1));
        EXPECT_EQ(back->Warnings.SkippedLines, 0);
    }
}

} // namespace
