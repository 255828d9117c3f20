// The CSV/TSV reader as a scan source: trees rebuilt from hand-written files, folder chains for
// rows without folder rows, hard-link marks, folders-only totals, drive capacity, separators,
// odd names, local-time dates, progress and cancel, and every kind of bad input ending with the
// line that failed (and the file left as it was).
#include "base/datetime.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "sources/csv_import.h"
#include "sources/csv_import_format.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

const std::string kHeader = "\xEF\xBB\xBF"
                            "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n";

struct Imported {
    std::unique_ptr<TNTFS_FILES> scan;
    std::map<std::u16string, PMFT_RECORD> byPath;
    PMFT_RECORD operator[](const std::u16string& p) const {
        auto it = byPath.find(p);
        return it == byPath.end() ? nullptr : it->second;
    }
};

// Scans path as a CSV/TSV source the way the window does: ProcessMFTRecords, then totals.
Imported ImportPath(const std::string& path) {
    Imported r;
    r.scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(path), ScanSourcePasses());
    r.scan->ProcessMFTRecords();
    r.scan->CalculateDirSizes();
    for (PMFT_RECORD p : r.scan->FFileList) r.byPath[GetRecordPath(p)] = p;
    return r;
}

Imported ImportText(const TempDir& dir, const std::string& text,
                    const std::string& name = "t.csv") {
    WriteFileBytes(dir / name, text.data(), text.size());
    return ImportPath(dir / name);
}

TDateTime Utc(int y, int mo, int d, int h, int mi, int s) {
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDateTime({y, mo, d, h, mi, s, 0}, t));
    return t;
}

// Sets the process time zone for one test.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (hadOld_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

TEST(CsvImport, RebuildsTreeWithSizesDatesAttributesAndHardLinkMarks) {
    ZoneGuard tz("UTC0");
    TempDir dir;
    const std::string text = kHeader +
                             "\"C:\\\",9000,12288,2024/05/01 10:00:00,16,3,1\r\n"
                             "\"C:\\Users\\\",9000,12288,2024/05/02 11:30:15,16,3,0\r\n"
                             "\"C:\\Users\\a.txt\",5000,8192,2024/05/03 12:00:01,32,0,0\r\n"
                             "\"C:\\Users\\link.txt\",4000,04096,2024/05/03 12:00:01,32,0,0\r\n"
                             "\"C:\\Users\\README.\",0,00,2024/05/04 00:00:00,33,0,0\r\n";
    Imported im = ImportText(dir, text);
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError) << s.ErrorMessage;
    EXPECT_TRUE(s.WasCSVFile);
    EXPECT_TRUE(s.CSVHasFilesFlag);
    ASSERT_NE(s.MFTRoot, nullptr);
    EXPECT_EQ(s.MFTRoot->Name(), u"C:");
    EXPECT_EQ(s.MFTRoot->RecNo, 5u);
    EXPECT_EQ(s.MFTRoot->ParentMFTRec, nullptr);
    ASSERT_EQ(s.FFileList.size(), 5u);

    PMFT_RECORD users = im[u"C:\\Users"];
    ASSERT_NE(users, nullptr);
    EXPECT_TRUE(users->IsFolder());
    EXPECT_EQ(users->ParentMFTRec, s.MFTRoot);
    EXPECT_EQ(users->DOSAttrib, 16u);
    EXPECT_EQ(users->ModifiedDate, Utc(2024, 5, 2, 11, 30, 15));

    PMFT_RECORD link = im[u"C:\\Users\\link.txt"];
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->DoNotCountFlag);
    EXPECT_EQ(link->AllocSize, 4096u);
    PMFT_RECORD readme = im[u"C:\\Users\\README"]; // the added dot is gone
    ASSERT_NE(readme, nullptr);
    EXPECT_TRUE(readme->DoNotCountFlag);
    EXPECT_EQ(readme->AllocSize, 0u);
    EXPECT_EQ(readme->DOSAttrib, 33u);
    PMFT_RECORD a = im[u"C:\\Users\\a.txt"];
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->DoNotCountFlag);
    EXPECT_EQ(a->FileSize, 5000u);

    // Totals come from the files; the hard-link name's allocation is counted elsewhere.
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSize, 9000u);
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSizeAlloc, 8192u);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumFiles(), 3);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumDirs(), 1);
}

TEST(CsvImport, FileRowsWithoutFolderRowsGetTheirFolderChain) {
    TempDir dir;
    Imported im = ImportText(
        dir, kHeader + "\"C:\\Users\\me\\x.bin\",10,4096,2024/01/01 00:00:00,32,0,0\r\n"
                       "\"C:\\Users\\me\\y.bin\",20,4096,2024/01/01 00:00:00,32,0,0\r\n"
                       "\"C:\\Users\\you\\z.bin\",30,4096,2024/01/01 00:00:00,32,0,0\r\n");
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError) << s.ErrorMessage;
    PMFT_RECORD c = im[u"C:\\"], users = im[u"C:\\Users"], me = im[u"C:\\Users\\me"];
    ASSERT_TRUE(c && users && me);
    EXPECT_EQ(c->Name(), u"C:");
    EXPECT_EQ(s.MFTRoot, c);
    // Parents first, with increasing numbers, then the row's own record.
    EXPECT_EQ(c->RecNo, 5u);
    EXPECT_EQ(users->RecNo, 6u);
    EXPECT_EQ(me->RecNo, 7u);
    EXPECT_EQ(im[u"C:\\Users\\me\\x.bin"]->RecNo, 8u);
    EXPECT_EQ(im[u"C:\\Users\\you"]->ParentMFTRec, users);
    EXPECT_EQ(s.FFileList.size(), 7u);
    EXPECT_EQ(c->SubFoldersTotSize, 60u);
    EXPECT_EQ(c->SubFoldersNumFiles(), 3);
    EXPECT_EQ(c->SubFoldersNumDirs(), 3);
}

TEST(CsvImport, FolderRowAfterItsFilesFillsThePlaceholder) {
    // A file list exported with folders lists them in size order: files may come first.
    TempDir dir;
    Imported im =
        ImportText(dir, kHeader + "\"C:\\d\\big.iso\",900,1024,2024/01/01 00:00:00,32,0,0\r\n"
                                  "\"C:\\d\\\",900,1024,2023/06/01 08:00:00,17,1,0\r\n");
    ASSERT_FALSE(im.scan->WasError);
    EXPECT_EQ(im.scan->FFileList.size(), 3u); // C:, d, big.iso: no second "d"
    EXPECT_EQ(im[u"C:\\d"]->DOSAttrib, 17u);
}

TEST(CsvImport, FoldersOnlyFileKeepsTheExportedTotals) {
    TempDir dir;
    Imported im =
        ImportText(dir, kHeader + "\"C:\\\",5000,8192,2024/01/01 00:00:00,16,42,7\r\n"
                                  "\"C:\\a\\\",3000,4096,2024/01/01 00:00:00,16,40,2\r\n"
                                  "\"C:\\a\\b\\\",100,4096,2024/01/01 00:00:00,16,1,0\r\n");
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError);
    EXPECT_FALSE(s.CSVHasFilesFlag);
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSize, 5000u);
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSizeAlloc, 8192u);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumFiles(), 42);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumDirs(), 7);
    EXPECT_EQ(im[u"C:\\a"]->SubFoldersTotSize, 3000u);
    EXPECT_EQ(im[u"C:\\a"]->SubFoldersNumFiles(), 40);
}

TEST(CsvImport, DriveCapacityAndTabSeparatedFiles) {
    TempDir dir;
    for (const char* name : {"cap.csv", "data.TSV"}) {
        const bool tsv = std::string(name).ends_with("TSV");
        std::string text =
            "\xEF\xBB\xBF"
            "File Name,Size,Allocated,Modified,Attributes,Files,Folders,MFTRECNO,MFTPARENTRECNO,"
            "DRIVECAPACITY,FREESPACE,USEDSPACE,RESERVEDSPACE\r\n"
            "\"C:\\\",10,4096,2024/01/01 00:00:00,16,1,0,5,0,1000000,250000,750000,4096\r\n"
            "\"C:\\a,b.txt\",10,4096,2024/01/01 00:00:00,32,0,0,40,5\r\n";
        if (tsv)
            for (char& ch : text)
                if (ch == ',') ch = '\t';
        if (tsv) // the comma inside the quoted name stays a comma
            text.replace(text.find("a\tb.txt"), 7, "a,b.txt");
        Imported im = ImportText(dir, text, name);
        TNTFS_FILES& s = *im.scan;
        ASSERT_FALSE(s.WasError) << name << ": " << s.ErrorMessage;
        ASSERT_NE(im[u"C:\\a,b.txt"], nullptr) << name;
        EXPECT_TRUE(s.CSVDinfo.hastotalandfreespace) << name;
        EXPECT_EQ(s.CSVDinfo.totalspace, 1000000u);
        EXPECT_EQ(s.CSVDinfo.freespace, 250000u);
        EXPECT_EQ(s.CSVDinfo.usedspace, 750000u);
        EXPECT_EQ(s.CSVDinfo.reservedspace, 4096u);
    }
}

TEST(CsvImport, LinuxPathsAndOddNamesReadBackExactly) {
    TempDir dir;
    // Quoted names with doubled quotes, separators, line breaks, backslashes and raw bytes.
    const std::string text =
        kHeader + "\"/srv/data/\",0,0,2024/01/01 00:00:00,16,0,0\r\n" +
        "\"/srv/data/q\"\"uote, and\ttab\",1,4096,2024/01/01 00:00:00,32,0,0\r\n" +
        "\"/srv/data/two\r\nlines\",2,4096,2024/01/01 00:00:00,32,0,0\r\n" +
        "\"/srv/data/back\\slash\\\",0,0,2024/01/01 00:00:00,16,0,0\r\n" +
        "\"/srv/data/raw\xff\xfe.bin\",3,4096,2024/01/01 00:00:00,32,0,0\r\n" +
        "\"/srv/data/dot..\",4,4096,2024/01/01 00:00:00,32,0,0\r\n" +
        "\"/srv/data/sub/deeper/file.\",5,4096,2024/01/01 00:00:00,32,0,0\r\n";
    Imported im = ImportText(dir, text);
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError) << s.ErrorMessage;
    EXPECT_EQ(s.MFTRoot->Name(), u"/srv/data"); // the first folder row is the source root
    EXPECT_NE(im[u"/srv/data/q\"uote, and\ttab"], nullptr);
    EXPECT_NE(im[u"/srv/data/two\r\nlines"], nullptr);
    PMFT_RECORD bs = im[u"/srv/data/back\\slash\\"];
    ASSERT_NE(bs, nullptr); // "\" is part of the name, the row is a file
    EXPECT_FALSE(bs->IsFolder());
    std::u16string raw = u"/srv/data/raw";
    raw += char16_t(0xDCFF);
    raw += char16_t(0xDCFE);
    raw += u".bin";
    EXPECT_NE(im[raw], nullptr);
    EXPECT_NE(im[u"/srv/data/dot."], nullptr);
    EXPECT_NE(im[u"/srv/data/sub/deeper/file"], nullptr);
    EXPECT_EQ(im[u"/srv/data/sub"]->ParentMFTRec, s.MFTRoot);
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSize, 15u);
}

TEST(CsvImport, FileSystemRootAndFilesOnlyLinuxExport) {
    TempDir dir;
    Imported a = ImportText(dir, kHeader + "\"/\",5,4096,2024/01/01 00:00:00,16,1,1\r\n"
                                           "\"/etc/\",5,4096,2024/01/01 00:00:00,16,1,0\r\n"
                                           "\"/etc/hosts\",5,4096,2024/01/01 00:00:00,32,0,0\r\n");
    ASSERT_FALSE(a.scan->WasError);
    EXPECT_EQ(a.scan->MFTRoot->Name(), u"/");
    EXPECT_EQ(a[u"/etc/hosts"]->ParentMFTRec, a[u"/etc"]);
    EXPECT_EQ(a[u"/etc"]->ParentMFTRec, a.scan->MFTRoot);

    Imported b = ImportText(dir, kHeader + "\"/home/me/x\",5,4096,2024/01/01 00:00:00,32,0,0\r\n");
    ASSERT_FALSE(b.scan->WasError);
    EXPECT_EQ(b.scan->MFTRoot->Name(), u"/");
    EXPECT_NE(b[u"/home/me/x"], nullptr);
}

TEST(CsvImport, DatesAreLocalTimeOfTheirOwnDate) {
    // Summer and winter dates each convert with the offset in force on that date.
    ZoneGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    TempDir dir;
    Imported im = ImportText(dir, kHeader + "\"C:\\\",0,0,2024/07/01 12:00:00,16,0,0\r\n"
                                            "\"C:\\w.txt\",1,0,2024/01/15 12:00:00,32,0,0\r\n");
    ASSERT_FALSE(im.scan->WasError);
    EXPECT_NEAR(im.scan->MFTRoot->ModifiedDate, Utc(2024, 7, 1, 10, 0, 0), 1e-7);
    EXPECT_NEAR(im[u"C:\\w.txt"]->ModifiedDate, Utc(2024, 1, 15, 11, 0, 0), 1e-7);
}

TEST(CsvImport, ProgressEveryFiveHundredLinesAndCancel) {
    TempDir dir;
    std::string text = kHeader + "\"C:\\\",0,0,2024/01/01 00:00:00,16,0,0\r\n";
    for (int i = 0; i < 2000; ++i)
        text += "\"C:\\f" + std::to_string(i) + ".txt\",1,4096,2024/01/01 00:00:00,32,0,0\r\n";
    WriteFileBytes(dir / "p.csv", text.data(), text.size());

    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(dir / "p.csv"), ScanSourcePasses());
    std::vector<std::pair<int, int64_t>> reports;
    scan->OnProgress = [&](int, int pct, int64_t files, int64_t) {
        reports.push_back({pct, files});
    };
    int64_t line = -1;
    ASSERT_TRUE(LoadCSVFile(*scan, scan->FSource, line));
    // Start, lines 500..2000 (four), and the final report.
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[1].second, 498); // line 500 is the 498th file row
    EXPECT_EQ(reports.back().first, 100);
    EXPECT_EQ(reports.back().second, 2000);
    for (size_t i = 1; i < reports.size(); ++i) EXPECT_GE(reports[i].first, reports[i - 1].first);

    auto cancelled = TNTFS_FILES::CreateSlow(Utf8ToUtf16(dir / "p.csv"), ScanSourcePasses());
    cancelled->OnProgress = [&](int, int, int64_t files, int64_t) {
        if (files >= 498) cancelled->CancelProcess();
    };
    ASSERT_TRUE(LoadCSVFile(*cancelled, cancelled->FSource, line));
    EXPECT_EQ(cancelled->FFileList.size(), 499u); // the root and 498 files
}

// ---------------------------------------------------------------- bad input

struct BadCase {
    const char* what;
    std::string text;
    int64_t line;
};

std::string Row(const std::string& path,
                const std::string& rest = "1,4096,2024/01/01 00:00:00,32,0,0") {
    return "\"" + path + "\"," + rest + "\r\n";
}

TEST(CsvImport, BadInputStopsAtTheFailingLineAndLeavesTheFileAlone) {
    // What cannot be a scan's export: no header, a file cut short, binary data, an impossible
    // date.
    const std::string root = Row("C:\\", "0,0,2024/01/01 00:00:00,16,0,0");
    std::string binary;
    for (int i = 0; i < 3000; ++i) binary.push_back(char((i * 7919 + 13) % 256));
    const std::vector<BadCase> cases = {
        {"empty file", "", 1},
        {"byte-order mark only", "\xEF\xBB\xBF", 1},
        {"header only: no folder at all", kHeader, 0},
        {"missing header", root + Row("C:\\a.txt"), 1},
        {"header with too few titles", "File Name,Size\r\n" + root, 1},
        {"30 February", kHeader + root + Row("C:\\a", "1,0,2024/02/30 00:00:00,32,0,0"), 3},
        {"hour 24", kHeader + root + Row("C:\\a", "1,0,2024/02/03 24:00:00,32,0,0"), 3},
        {"date in another form", kHeader + root + Row("C:\\a", "1,0,2024-2-3 10:00,32,0,0"), 3},
        {"date with letters", kHeader + root + Row("C:\\a", "1,0,2024/0x/03 10:00:00,32,0,0"), 3},
        {"truncated inside a row", kHeader + root + Row("C:\\a") + "\"C:\\b\",1,40", 4},
        {"truncated after a field",
         kHeader + root + Row("C:\\a") + "\"C:\\b\",1,4096,2024/01/01 00:00:00,32", 4},
        {"truncated inside the path", kHeader + root + Row("C:\\a") + "\"C:\\b", 4},
        {"quote never closed",
         kHeader + root + Row("C:\\a") + "\"C:\\x,1,4096,2024/01/01 00:00:00,32,0,0\r\n" +
             "C:\\y\r\n",
         4},
        {"line numbers count lines inside quotes",
         kHeader + root + Row("C:\\two\r\nlines") + Row("C:\\three\nline\nname") +
             Row("C:\\bad", "0,0,2024/01/01 00:00:0x,32,0,0"),
         8},
        {"a NUL byte",
         kHeader + root + "\"C:\\a\",1,4096,2024/01/01 00:00:00,32,0,0" + std::string(1, '\0') +
             "\r\n",
         3},
        {"control bytes in a line that is no data row",
         kHeader + root + Row("C:\\a") + "\x01\x02\x7f\x03,x\r\n", 4},
        {"not a text file", binary, 1},
        {"not a text file after a header", kHeader + binary, 2},
    };
    TempDir dir;
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir / "bad.csv";
        WriteFileBytes(path, c.text.data(), c.text.size());
        struct stat before {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        Imported im = ImportPath(path);
        EXPECT_TRUE(im.scan->WasError);
        EXPECT_EQ(im.scan->ErrorMessage,
                  "Failed to import CSV file (line " + std::to_string(c.line) + ")");
        ASSERT_NE(im.scan->MFTRoot, nullptr); // there is always a root to show
        struct stat after {};
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        EXPECT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(ReadFileBytes(path), std::vector<uint8_t>(c.text.begin(), c.text.end()));
    }
}

TEST(CsvImport, HandEditedFileOpensAndCountsWhatItCouldNotRead) {
    // Lines a spreadsheet or an editor leaves behind are passed over, numbers that do not read
    // are 0; both are counted for the warning. Everything else is read.
    TempDir dir;
    const std::string text =
        kHeader + Row("C:\\", "0,0,2024/01/01 00:00:00,16,0,0") +
        "Exported by hand,,,,,,\r\n" +                               // a note: skipped
        "\r\n" +                                                     // blank: nothing
        "C:\\unquoted.txt,1,4096,2024/01/01 00:00:00,32,0,0\r\n" +   // skipped
        "\"C:\\after\"quote,1,4096,2024/01/01 00:00:00,32,0,0\r\n" + // skipped
        "\"\",1,4096,2024/01/01 00:00:00,32,0,0\r\n" +               // empty path: skipped
        Row("C:\\k.txt", "12k,4096,2024/01/01 00:00:00,32,0,0") +    // size 0
        Row("C:\\neg.txt", "-1,,2024/01/01 00:00:00,32,0,0") +       // size and alloc 0
        Row("C:\\big.txt", "18446744073709551616,8,2024/01/01 00:00:00,4294967296,0,0") +
        Row("C:\\nodate.txt", "5,4096,,32,0,0") + // unknown date
        Row("C:\\wide.txt", "6,4096,2024/01/01 00:00:00,32,0,0,extra,fields") +
        Row("C:\\short\\", "0,0,2024/01/01 00:00:00,16,3") +  // folders count missing
        "Total,21,,,,,\r\n" +                                 // skipped
        "\"C:\\last.txt\",7,4096,2024/01/01 00:00:00,32,0,0"; // no final line end
    Imported im = ImportText(dir, text);
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError) << s.ErrorMessage;
    EXPECT_EQ(s.Warnings.SkippedLines, 5);
    EXPECT_EQ(s.Warnings.RowsWithBadNumbers, 4);
    EXPECT_EQ(s.Warnings.MergedRows, 0);
    EXPECT_EQ(s.FFileList.size(), 8u);
    EXPECT_EQ(im[u"C:\\k.txt"]->FileSize, 0u);
    EXPECT_EQ(im[u"C:\\k.txt"]->AllocSize, 4096u);
    EXPECT_EQ(im[u"C:\\neg.txt"]->AllocSize, 0u);
    EXPECT_EQ(im[u"C:\\big.txt"]->FileSize, 0u);
    EXPECT_EQ(im[u"C:\\big.txt"]->DOSAttrib, 0u);
    EXPECT_EQ(im[u"C:\\nodate.txt"]->ModifiedDate, 0);
    EXPECT_EQ(im[u"C:\\nodate.txt"]->FileSize, 5u);
    EXPECT_EQ(im[u"C:\\wide.txt"]->FileSize, 6u);
    EXPECT_EQ(im[u"C:\\short"]->SubFoldersNumFiles(), 0); // a folder without files: totals
    EXPECT_EQ(im[u"C:\\last.txt"]->FileSize, 7u);
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSize, 18u);
}

TEST(CsvImport, ItemsListedTwiceAreOneAndOtherRootsAreCounted) {
    // The later row of an item listed twice counts; rows outside the first row's tree (another
    // drive, a Linux path in a Windows-path file) are passed over and counted.
    TempDir dir;
    const std::string text =
        kHeader + Row("C:\\", "0,0,2024/01/01 00:00:00,16,0,0") +
        Row("C:\\a.txt", "100,4096,2024/01/01 00:00:00,32,0,0") +
        Row("C:\\d\\", "0,0,2024/01/01 00:00:00,16,0,0") +
        Row("C:\\d\\x.bin", "200,4096,2024/01/01 00:00:00,32,0,0") +
        Row("C:\\d\\x.bin", "250,4096,2024/01/01 00:00:00,32,0,0") +
        Row("C:\\a.txt", "300,8192,2024/02/01 00:00:00,33,0,0") +
        Row("C:\\d\\", "0,0,2024/03/01 00:00:00,17,0,0") +
        Row("D:\\", "0,0,2024/01/01 00:00:00,16,0,0") +
        Row("D:\\y.txt", "50,4096,2024/01/01 00:00:00,32,0,0") +
        Row("/home/me/z", "70,4096,2024/01/01 00:00:00,32,0,0") +
        Row("C:", "1,0,2024/01/01 00:00:00,32,0,0") + // a file named like the root
        Row("C:\\", "0,0,2024/04/01 00:00:00,18,0,0");
    Imported im = ImportText(dir, text);
    TNTFS_FILES& s = *im.scan;
    ASSERT_FALSE(s.WasError) << s.ErrorMessage;
    EXPECT_EQ(s.FFileList.size(), 4u); // C:, a.txt, d, x.bin
    EXPECT_EQ(s.MFTRoot->SubFoldersTotSize, 550u);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumFiles(), 2);
    EXPECT_EQ(s.MFTRoot->DOSAttrib, 18u);
    EXPECT_EQ(im[u"C:\\a.txt"]->AllocSize, 8192u);
    EXPECT_EQ(im[u"C:\\a.txt"]->DOSAttrib, 33u);
    EXPECT_EQ(im[u"C:\\d"]->DOSAttrib, 17u);
    EXPECT_EQ(s.Warnings.MergedRows, 4);
    EXPECT_EQ(s.Warnings.SkippedLines, 4);
    EXPECT_EQ(s.Warnings.RowsWithBadNumbers, 0);
}

TEST(CsvImport, RowsBeforeTheFailingOneStay) {
    TempDir dir;
    Imported im =
        ImportText(dir, kHeader + Row("C:\\", "0,0,2024/01/01 00:00:00,16,0,0") + Row("C:\\a") +
                            Row("C:\\b", "1,0,2024/13/01 00:00:00,32,0,0") + Row("C:\\c"));
    EXPECT_EQ(im.scan->ErrorMessage, "Failed to import CSV file (line 4)");
    EXPECT_NE(im[u"C:\\a"], nullptr);
    EXPECT_EQ(im[u"C:\\b"], nullptr);
    EXPECT_EQ(im[u"C:\\c"], nullptr);
}

TEST(CsvImport, HeaderOnlyGivesALoneRootNamedBlank) {
    TempDir dir;
    Imported im = ImportText(dir, kHeader);
    ASSERT_EQ(im.scan->FFileList.size(), 1u);
    EXPECT_EQ(im.scan->MFTRoot->Name(), u" ");
    EXPECT_EQ(im.scan->MFTRoot->RecNo, 5u);
    EXPECT_TRUE(im.scan->MFTRoot->IsFolder());
}

TEST(CsvImport, MissingFileOrFolderIsReportedByName) {
    TempDir dir;
    Imported missing = ImportPath(dir / "nothere.csv");
    EXPECT_TRUE(missing.scan->WasError);
    EXPECT_NE(missing.scan->ErrorMessage.find("nothere.csv"), std::string::npos);
    ASSERT_EQ(::mkdir((dir / "folder.csv").c_str(), 0755), 0);
    Imported folder = ImportPath(dir / "folder.csv");
    EXPECT_TRUE(folder.scan->WasError);
    EXPECT_NE(folder.scan->ErrorMessage.find("directory"), std::string::npos);
}

TEST(CsvImport, TwoGiBSingleLineEndsQuicklyInBoundedMemory) {
    // A FIFO stands in for the huge file: the writer offers 2 GiB of one line and learns from
    // the broken pipe how much the reader took before giving up.
    TempDir dir;
    const std::string path = dir / "huge.csv";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    std::signal(SIGPIPE, SIG_IGN);
    std::atomic<int64_t> written{0};
    std::thread writer([&] {
        int fd = ::open(path.c_str(), O_WRONLY);
        if (fd < 0) return;
        std::string chunk(1 << 16, 'a');
        chunk[0] = '"';
        const std::string head = kHeader;
        if (::write(fd, head.data(), head.size()) < 0) {
            ::close(fd);
            return;
        }
        const int64_t total = int64_t(2) << 30;
        while (written < total) {
            ssize_t n = ::write(fd, chunk.data(), chunk.size());
            if (n <= 0) break;
            written += n;
            chunk[0] = 'a';
        }
        ::close(fd);
    });
    Imported im = ImportPath(path);
    writer.join();
    EXPECT_EQ(im.scan->ErrorMessage, "Failed to import CSV file (line 2)");
    EXPECT_LT(written.load(), int64_t(64) << 20);
}

} // namespace
