// The CSV/TSV export's file format and row choice: exact bytes of a small tree, every option
// group, split names, separators, depth and row limits, one file per source, selections, the
// file list, the headless filter and names, and output that cannot be written.
#include "export/csv_export.h"
#include "export/csv_export_rows.h"
#include "export/export_file.h"
#include "export/export_headless.h"
#include "tests/export/export_test_util.h"
#include "tests/views/scanbuilder.h"
#include "views/filelist.h"
#include "views/format.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

// C:\ with Windows\{link.txt (a second hard-link name), notes.txt, README} and zero.bin.
struct Sample {
    ScanBuilder b;
    PMFT_RECORD windows, notes, readme, link, zero;
    Sample() {
        windows = b.Folder(b.root, u"Windows");
        notes = b.File(windows, u"notes.txt", 5000, 8192);
        readme = b.File(windows, u"README", 10, 4096);
        link = b.File(windows, u"link.txt", 5000, 8192);
        link->DoNotCountFlag = true;
        zero = b.File(b.root, u"zero.bin", 0, 0);
        zero->DoNotCountFlag = true;
        b.Finish();
    }
    std::vector<TNTFS_FILES*> Scans() { return {b.scan.get()}; }
};

TExportOptions NoCapacity() {
    TExportOptions o;
    o.ExportDriveSize.Value = false;
    return o;
}

std::vector<TDiskSizeInfo> Capacity() {
    TDiskSizeInfo d;
    d.hastotalandfreespace = true;
    d.totalspace = 1000;
    d.freespace = 400;
    d.reservedspace = 8;
    return {d};
}

TEST(CsvExport, WritesTheExactFileFormat) {
    ZoneGuard tz("UTC0");
    Sample s;
    TempDir dir;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    auto r = ExportTree(s.Scans(), TExportOptions{}, dir / "out.csv", &tree, Capacity());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Rows, 6);
    const std::string d = ",2023/03/15 12:00:00,";
    EXPECT_EQ(ReadText(dir / "out.csv"),
              "\xEF\xBB\xBF"
              "File Name,Size,Allocated,Modified,Attributes,Files,Folders,DRIVECAPACITY,FREESPACE,"
              "USEDSPACE,RESERVEDSPACE\r\n"
              "\"C:\\\",10010,12288" +
                  d +
                  "0,4,1,1000,400,600,8\r\n"
                  "\"C:\\Windows\\\",10010,12288" +
                  d +
                  "16,3,0\r\n"
                  "\"C:\\Windows\\link.txt\",5000,08192" +
                  d +
                  "32,0,0\r\n"
                  "\"C:\\Windows\\notes.txt\",5000,8192" +
                  d +
                  "32,0,0\r\n"
                  "\"C:\\Windows\\README.\",10,4096" +
                  d +
                  "32,0,0\r\n"
                  "\"C:\\zero.bin\",0,00" +
                  d + "32,0,0\r\n");
}

TEST(CsvExport, DatesAreLocalTimeOfTheirOwnDate) {
    ZoneGuard tz("CET-1CEST,M3.5.0,M10.5.0/3");
    ScanBuilder b;
    TDateTime winter = 0, summer = 0;
    ASSERT_TRUE(TryEncodeDateTime({2024, 1, 15, 23, 30, 5, 400}, winter));
    ASSERT_TRUE(TryEncodeDateTime({2024, 7, 1, 22, 59, 59, 999}, summer));
    b.File(b.root, u"w.txt", 1, 0, winter);
    b.File(b.root, u"s.txt", 1, 0, summer);
    b.File(b.root, u"nodate.txt", 1, 0, 1e9); // beyond year 9999
    b.File(b.root, u"unknown.txt", 1, 0, 0);  // a date the source could not give
    b.Finish();
    TempDir dir;
    ASSERT_TRUE(ExportTree({b.scan.get()}, NoCapacity(), dir / "d.csv").Ok);
    const std::string text = ReadText(dir / "d.csv");
    EXPECT_NE(text.find("\"C:\\w.txt\",1,0,2024/01/16 00:30:05,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"C:\\s.txt\",1,0,2024/07/02 00:59:59,"), std::string::npos) << text;
    // Unknown and unconvertible dates are left empty, not written as the day-count epoch.
    EXPECT_NE(text.find("\"C:\\nodate.txt\",1,0,,32,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"C:\\unknown.txt\",1,0,,32,"), std::string::npos) << text;
    EXPECT_EQ(text.find("1899"), std::string::npos) << text;
}

TEST(CsvExport, EveryOptionGroupInItsPlace) {
    ZoneGuard tz("UTC0");
    Sample s;
    s.notes->LastAccessDate = 45001.25; // 2023-03-16 06:00
    s.notes->CreatedDate = 44000.0;     // 2020-06-18 00:00
    TempDir dir;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    TExportOptions o;
    o.ExportMFTNo.Value = o.ExportDates.Value = o.ExportFolderSize.Value = true;
    o.SplitFileNames.Value = o.PercentOfParent.Value = true;
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(dir / "all.csv");
    job.Tree = &tree;
    auto scans = s.Scans();
    job.Scans = scans;
    auto sizes = Capacity();
    job.DiskSizes = sizes;
    job.Decimals = 2;
    ASSERT_TRUE(ExportToCSV(job, o).Ok);
    auto lines = Lines(ReadText(dir / "all.csv"));
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "\xEF\xBB\xBF"
                        "File Name,Size,Allocated,Modified,Attributes,Files,Folders,MFTRECNO,"
                        "MFTPARENTRECNO,LASTACCESSDATE,CREATEDDATE,FOLDERSIZE,FOLDERALLOCATED,ROOT,"
                        "FOLDERNAME,FILENAME,FILEEXT,PERCENTOFPARENT,DRIVECAPACITY,FREESPACE,"
                        "USEDSPACE,RESERVEDSPACE");
    const std::string z = ""; // no date known
    EXPECT_EQ(lines[1], "\"C:\\\",10010,12288,2023/03/15 12:00:00,0,4,1,5,0," + z + "," + z +
                            ",0,0,\"C:\\\",\"\",\"\",\"\",100.00,1000,400,600,8");
    EXPECT_EQ(lines[2], "\"C:\\Windows\\\",10010,12288,2023/03/15 12:00:00,16,3,0,24,5," + z + "," +
                            z + ",10010,12288,\"C:\\\",\"\",\"Windows\",\"\",100.00");
    EXPECT_EQ(lines[4], "\"C:\\Windows\\notes.txt\",5000,8192,2023/03/15 12:00:00,32,0,0,25,24,"
                        "2023/03/16 06:00:00,2020/06/18 00:00:00,5000,8192,\"C:\\\",\"Windows\","
                        "\"notes\",\"txt\",49.95");
    EXPECT_EQ(lines[5], "\"C:\\Windows\\README.\",10,4096,2023/03/15 12:00:00,32,0,0,26,24," + z +
                            "," + z + ",10,4096,\"C:\\\",\"Windows\",\"README\",\"\",0.10");
    // A hard-link name's share is its own size.
    EXPECT_NE(lines[3].find(",\"link\",\"txt\",49.95"), std::string::npos) << lines[3];
}

TEST(CsvExport, PercentOfParentUsesAllocatedFiguresWhenSortedByAllocated) {
    ZoneGuard tz("UTC0");
    Sample s;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    ASSERT_EQ(tree.SortColumn(), tcAllocated);
    TExportOptions o = NoCapacity();
    o.PercentOfParent.Value = true;
    TempDir dir;
    ASSERT_TRUE(ExportTree(s.Scans(), o, dir / "p.csv", &tree).Ok);
    const std::string text = ReadText(dir / "p.csv");
    // notes.txt: 8192 of 12288 allocated bytes; the hard link counts its own 8192 too.
    EXPECT_NE(text.find("notes.txt\",5000,8192,2023/03/15 12:00:00,32,0,0,66.7\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"C:\\\",10010,12288,2023/03/15 12:00:00,0,4,1,100.0\r\n"),
              std::string::npos);
}

TEST(CsvExport, SplitNames) {
    struct Case {
        std::u16string path;
        char16_t sep;
        bool noSuffix;
        std::u16string root, folder, file, ext;
    };
    const std::vector<Case> cases = {
        {u"C:\\Users\\me\\notes.txt", u'\\', true, u"C:\\", u"Users\\me", u"notes", u"txt"},
        {u"C:\\Users\\me", u'\\', false, u"C:\\", u"Users", u"me", u""},
        {u"C:\\docs\\README", u'\\', false, u"C:\\", u"docs", u"README", u""},
        {u"C:\\", u'\\', true, u"C:\\", u"", u"", u""},
        {u"C:", u'\\', false, u"", u"", u"C:", u""},
        {u"\\\\srv\\share\\d\\a.b.c", u'\\', true, u"\\\\srv\\share\\", u"d", u"a.b", u"c"},
        {u"/home/me/x.tar.gz", u'/', true, u"/", u"home/me", u"x.tar", u"gz"},
        {u"/home/me", u'/', false, u"/", u"home", u"me", u""},
        {u"/", u'/', true, u"/", u"", u"", u""},
    };
    for (const Case& c : cases) {
        auto s = TCsvRowFormatter::SplitName(c.path, c.sep, c.noSuffix);
        EXPECT_EQ(s.Root, c.root) << Utf16ToUtf8(c.path);
        EXPECT_EQ(s.FolderName, c.folder) << Utf16ToUtf8(c.path);
        EXPECT_EQ(s.FileName, c.file) << Utf16ToUtf8(c.path);
        EXPECT_EQ(s.FileExt, c.ext) << Utf16ToUtf8(c.path);
    }
}

TEST(CsvExport, SeparatorFollowsTheExtension) {
    Sample s;
    TempDir dir;
    for (const char* name : {"report.TSV", "report.txt", "report.csv"}) {
        ASSERT_TRUE(ExportTree(s.Scans(), NoCapacity(), dir / name).Ok);
        auto lines = Lines(ReadText(dir / name));
        const bool tabs = std::string(name).ends_with("TSV");
        EXPECT_EQ(lines[0].find(tabs ? '\t' : ','), lines[0].find("File Name") + 9) << name;
        EXPECT_EQ(lines[1].find(tabs ? ',' : '\t'), std::string::npos) << name;
    }
}

TEST(CsvExport, MaximumDepthAndRowLimit) {
    Sample s;
    TempDir dir;
    TExportOptions o = NoCapacity();
    o.MaxDepth.Value = 1;
    ASSERT_TRUE(ExportTree(s.Scans(), o, dir / "d1.csv").Ok);
    EXPECT_EQ(Lines(ReadText(dir / "d1.csv")).size(), 1u + 3u); // root, Windows, zero.bin

    // Row limit 10 with folders off: the first ten files in tree order; the second source
    // gets its header only.
    ScanBuilder a, b;
    PMFT_RECORD sub = a.Folder(a.root, u"sub");
    for (int i = 0; i < 30; ++i)
        a.File(i % 2 ? sub : a.root, u"f" + AsciiToUtf16(std::to_string(100 + i)), 1000 + i);
    a.Finish();
    b.File(b.root, u"other.txt", 5);
    b.Finish();
    std::vector<TNTFS_FILES*> scans = {a.scan.get(), b.scan.get()};
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(scans));
    tree.Sort(tcSize, TSortDirection::Descending);
    o = NoCapacity();
    o.ExportFolders.Value = false;
    o.Limit.Value = 10;
    auto r = ExportTree(scans, o, dir / "lim.csv", &tree);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Rows, 10);
    ASSERT_EQ(r.FilesWritten.size(), 2u);
    std::vector<std::string> expected;
    for (TTreeNode* n : tree.Roots().subspan(0, 1))
        tree.ForEach(n, [&](TTreeNode* x) {
            if (!x->IsFileGroup && !x->Data.Rec->IsFolder() && expected.size() < 10)
                expected.push_back(Utf16ToUtf8(GetRecordPath(x->Data.Rec)));
        });
    auto lines = Lines(ReadText(dir / "lim.csv"));
    ASSERT_EQ(lines.size(), 11u);
    for (size_t i = 0; i < 10; ++i)
        EXPECT_EQ(lines[i + 1].substr(0, expected[i].size() + 3), "\"" + expected[i] + ".\"");
    EXPECT_EQ(Lines(ReadText(dir / "lim_1.csv")).size(), 1u);
}

TEST(CsvExport, OneFilePerSourceOrOneStreamOnStandardOutput) {
    ScanBuilder a(u"C:"), b(u"D:"), c(u"/srv/x");
    for (ScanBuilder* s : {&a, &b, &c}) {
        s->File(s->root, u"f.txt", 1);
        s->Finish();
    }
    std::vector<TNTFS_FILES*> scans = {a.scan.get(), b.scan.get(), c.scan.get()};
    TempDir dir;
    auto r = ExportTree(scans, NoCapacity(), dir / "name.csv");
    ASSERT_TRUE(r.Ok);
    ASSERT_EQ(r.FilesWritten.size(), 3u);
    EXPECT_EQ(Utf16ToUtf8(r.FilesWritten[2]), dir / "name_2.csv");
    std::vector<std::string> roots;
    for (const char* n : {"name.csv", "name_1.csv", "name_2.csv"}) {
        auto lines = Lines(ReadText(dir / n));
        ASSERT_EQ(lines.size(), 3u) << n;
        roots.push_back(lines[1].substr(0, lines[1].find(',')));
    }
    std::sort(roots.begin(), roots.end());
    EXPECT_EQ(roots, (std::vector<std::string>{"\"/srv/x/\"", "\"C:\\\"", "\"D:\\\""}));

    // "-": everything to standard output under one header.
    const std::string out = dir / "stdout.txt";
    fflush(stdout);
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(scans));
    TCsvExportJob job;
    job.FileName = u"-";
    job.Tree = &tree;
    auto rs = ExportToCSV(job, NoCapacity());
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ASSERT_TRUE(rs.Ok) << rs.Error;
    const std::string text = ReadText(out);
    EXPECT_EQ(Lines(text).size(), 7u);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF"), 0u);
}

TEST(CsvExport, SelectionWritesEachSelectedEntryOnce) {
    Sample s;
    TempDir dir;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    TTreeNode* root = tree.Roots()[0];
    TTreeNode* windows = tree.FindNodeByPath(nullptr, u"C:\\Windows", 3);
    TTreeNode* notes = tree.FindNodeByPath(nullptr, u"C:\\Windows\\notes.txt", 3);
    ASSERT_TRUE(windows && notes);
    tree.Select(notes);
    tree.Select(windows);
    auto r = ExportTree(s.Scans(), NoCapacity(), dir / "sel.csv", &tree);
    ASSERT_TRUE(r.Ok);
    auto lines = Lines(ReadText(dir / "sel.csv"));
    ASSERT_EQ(lines.size(), 5u); // header, Windows and its three files
    EXPECT_EQ(lines[1].substr(0, 13), "\"C:\\Windows\\\"");
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](auto& l) { return l.find("notes.txt") != std::string::npos; }),
              1);

    // A file group stands for its files.
    ScanBuilder g;
    for (int i = 0; i < 6; ++i)
        g.File(g.root, u"g" + AsciiToUtf16(std::to_string(i)) + u".dat", 10);
    g.Finish();
    TDisplayTree gt;
    ASSERT_TRUE(gt.LoadTree(std::vector<TNTFS_FILES*>{g.scan.get()}));
    TTreeNode* group = gt.Children(gt.Roots()[0]).back();
    ASSERT_TRUE(group->IsFileGroup);
    gt.Select(group);
    ASSERT_TRUE(ExportTree({g.scan.get()}, NoCapacity(), dir / "grp.csv", &gt).Ok);
    EXPECT_EQ(Lines(ReadText(dir / "grp.csv")).size(), 7u);
    (void)root;
}

TEST(CsvExport, FileListInItsOrder) {
    Sample s;
    TFileList list;
    list.Options.MaxFiles = 0;
    list.SetSort(fcSize, TSortDirection::Descending);
    ASSERT_TRUE(list.LoadFileList(s.Scans()));
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    TempDir dir;
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(dir / "files.csv");
    job.View = TExportView::FileList;
    job.Tree = &tree;
    job.Files = &list;
    auto r = ExportToCSV(job, NoCapacity());
    ASSERT_TRUE(r.Ok);
    auto lines = Lines(ReadText(dir / "files.csv"));
    ASSERT_EQ(lines.size(), 1 + list.Roots().size());
    for (size_t i = 0; i < list.Roots().size(); ++i) {
        const std::string p = Utf16ToUtf8(GetRecordPath(list.Roots()[i]->Data.Rec));
        EXPECT_EQ(lines[i + 1].substr(1, p.size()), p);
    }
}

TEST(CsvExport, HeadlessFilterAndFileName) {
    Sample s;
    TempDir dir;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    TExportOptions o = NoCapacity();
    o.FilterInclude = u"*.txt";
    o.FilterExclude = u"link*";
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(dir / "new/deeper/out_%d_%t.csv");
    job.Tree = &tree;
    TDateTime start = 0;
    ASSERT_TRUE(TryEncodeDateTime({2025, 1, 31, 14, 5, 9, 0}, start));
    auto r = HeadlessExportToCSV(job, o, start);
    ASSERT_TRUE(r.Ok) << r.Error;
    auto lines = Lines(ReadText(dir / "new/deeper/out_20250131_140509.csv"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(0, 23), "\"C:\\Windows\\notes.txt\",");
}

TEST(CsvExport, NamesDerivedFromTheSettings) {
    TDateTime t = 0;
    ASSERT_TRUE(TryEncodeDateTime({2025, 1, 31, 14, 5, 9, 0}, t));
    TExportSettings st;
    st.export_folder = u"/home/me/out/";
    st.export_extension = u".tsv";
    EXPECT_EQ(ProposedExportFileName(st, t), u"/home/me/out/Quarzel_20250131140509.tsv");
    EXPECT_EQ(ProposedFileTypesFileName(t), u"Quarzel_FT_20250131140509.csv");
    RememberExportFileName(st, u"/data/r.v2/report.CSV");
    EXPECT_EQ(st.export_extension, u".CSV");
    EXPECT_EQ(st.export_folder, u"/data/r.v2/");
    EXPECT_EQ(ExportFilterIndexFor(u".TSV"), 2);
    EXPECT_EQ(NumberedExportFileName(u"/a.b/report.csv", 2), u"/a.b/report_2.csv");
    EXPECT_EQ(NumberedExportFileName(u"/a.b/report", 1), u"/a.b/report_1");
    EXPECT_EQ(ExpandExportFileName(u"x%d%D%t%%t", t), u"x20250131%D140509%140509");
}

TEST(CsvExport, DialogStartStateAndCheck) {
    TExportOptions o;
    o.ExportDates.SetFromCommandLine(true);
    o.MaxDepth.SetFromCommandLine(3);
    std::map<std::string, std::string> stored = {{"cbExportDates.Checked", "0"},
                                                 {"cbExportMFTNo.Checked", "1"},
                                                 {"seFolderDepth.Value", "-4"}};
    TExportDialogState st = LoadExportDialogState([&](const std::string& k, std::string& v) {
        auto it = stored.find(k);
        if (it == stored.end()) return false;
        v = it->second;
        return true;
    });
    EXPECT_FALSE(st.cbExportDates);
    EXPECT_TRUE(st.cbExportMFTNo);
    EXPECT_EQ(st.seFolderDepth, 0);
    ApplyCommandLineToDialog(o, st);
    EXPECT_TRUE(st.cbExportDates);
    EXPECT_EQ(st.seFolderDepth, 3);
    EXPECT_TRUE(CheckExportDialog(st).empty());
    st.cbExportFiles = st.cbExportFolders = false;
    EXPECT_FALSE(CheckExportDialog(st).empty());
    auto saved = SaveExportDialogState(st);
    EXPECT_EQ(saved.size(), 9u);
    TExportOptions fromDialog;
    st.cbExportFiles = true;
    ApplyDialogToOptions(st, fromDialog);
    EXPECT_TRUE(fromDialog.ExportDates);
    EXPECT_FALSE(fromDialog.ExportFolders);
    EXPECT_EQ(int(fromDialog.MaxDepth), 3);
}

// ---------------------------------------------------------------- output that fails

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> v;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                v.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(v.begin(), v.end());
    return v;
}

TEST(CsvExport, UnwritableTargetsReportTheErrorAndLeaveNothingHalfWritten) {
    Sample s;
    TempDir dir;
    // No such folder.
    auto r = ExportTree(s.Scans(), NoCapacity(), dir / "missing/out.csv");
    EXPECT_FALSE(r.Ok);
    EXPECT_NE(r.Error.find("Cannot create"), std::string::npos) << r.Error;
    EXPECT_NE(r.Error.find("No such file or directory"), std::string::npos) << r.Error;
    EXPECT_TRUE(r.FilesWritten.empty());

    // A full device.
    if (::access("/dev/full", W_OK) == 0) {
        auto full = ExportTree(s.Scans(), NoCapacity(), "/dev/full");
        EXPECT_FALSE(full.Ok);
        EXPECT_NE(full.Error.find("No space left on device"), std::string::npos) << full.Error;
    }

    // The disk fills up in the middle of the file: the old file of that name survives and no
    // temporary file stays behind.
    ScanBuilder big;
    for (int i = 0; i < 5000; ++i)
        big.File(big.root, u"file" + AsciiToUtf16(std::to_string(i)) + u".bin", i);
    big.Finish();
    const std::string target = dir / "keep.csv";
    WriteFileBytes(target, "old", 3);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 100000; // the export needs far more
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto partial = ExportTree({big.scan.get()}, NoCapacity(), target);
    ::setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(partial.Ok);
    EXPECT_NE(partial.Error.find("Cannot write " + target), std::string::npos) << partial.Error;
    EXPECT_EQ(ReadText(target), "old");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"keep.csv"});

    // No permission (root is never refused).
    if (::geteuid() != 0) {
        ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0555), 0);
        auto denied = ExportTree(s.Scans(), NoCapacity(), dir / "ro/out.csv");
        EXPECT_FALSE(denied.Ok);
        EXPECT_NE(denied.Error.find("Permission denied"), std::string::npos) << denied.Error;
    }

    // A successful export replaces the old file completely.
    auto ok = ExportTree(s.Scans(), NoCapacity(), target);
    ASSERT_TRUE(ok.Ok) << ok.Error;
    EXPECT_EQ(Lines(ReadText(target)).size(), 7u);
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"keep.csv"});
}

} // namespace

TEST(CsvExport, SelectionCanBeSetAsideAndACancelledExportWritesNothing) {
    Sample s;
    TempDir dir;
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(s.Scans()));
    tree.Select(tree.FindNodeByPath(nullptr, u"C:\\Windows\\notes.txt", 3));
    std::vector<TNTFS_FILES*> scans = s.Scans();
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(dir / "all.csv");
    job.Tree = &tree;
    job.Scans = scans;
    job.UseSelection = false; // "Selected only" unchecked: the whole tree
    auto r = ExportToCSV(job, NoCapacity());
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Rows, 6);

    // Cancelled: the file keeps what it held.
    WriteFileBytes(dir / "old.csv", "OLD", 3);
    std::atomic<bool> cancel{true};
    job.FileName = Utf8ToUtf16(dir / "old.csv");
    job.Cancel = &cancel;
    r = ExportToCSV(job, NoCapacity());
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Cancelled);
    EXPECT_EQ(ReadText(dir / "old.csv"), "OLD");
    EXPECT_TRUE(r.FilesWritten.empty());
}
