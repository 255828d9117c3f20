// The file-types CSV (quoting, descriptions, the share that follows the sort column, commas
// whatever the name) and the clipboard text (sizes aligned, indentation by depth, names,
// what a selection or the unfolded tree gives, file groups).
#include "base/text.h"
#include "export/clipboard_text.h"
#include "export/export_headless.h"
#include "export/filetypes_export.h"
#include "tests/export/export_test_util.h"
#include "tests/views/scanbuilder.h"
#include "views/extstats.h"
#include "views/filelist.h"
#include "views/filetypes.h"
#include "views/format.h"

#include <gtest/gtest.h>

using namespace qz;
using namespace qz::test;

namespace {

struct Fixture : ::testing::Test {};

// Descriptions as a desktop's MIME database might give them; unknown types get none.
TFileAssociationDetails Cache() {
    return TFileAssociationDetails([](std::u16string_view ext) -> std::u16string {
        if (ext == u".TXT") return u"Plain \"text\" document";
        return {};
    });
}

struct Types {
    ScanBuilder b;
    TExtColors stats;
    TFileTypesView view;
    Types() {
        b.File(b.root, u"a.txt", 100, 4096);
        b.File(b.root, u"b.TXT", 50, 4096);
        b.File(b.root, u"c.jpg", 1000, 1024);
        b.File(b.root, u"README", 10, 4096);
        b.File(b.root, u"odd.q\"x", 7, 0);
        b.Finish();
        std::vector<TNTFS_FILES*> scans = {b.scan.get()};
        stats.BuildExtSizes(scans);
        const TExtTotals t = stats.Total();
        view.Fill(stats, t.Size, t.Alloc);
    }
};

std::string Pct(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

using FileTypesCsv = Fixture;

TEST_F(FileTypesCsv, RowsInViewOrderWithDescriptionsAndShares) {
    Types t;
    auto cache = Cache();
    TempDir dir;
    // A ".tsv" name changes nothing: the file is comma-separated.
    auto r = ExportFileTypesCSV(Utf8ToUtf16(dir / "types.tsv"), t.view, cache);
    ASSERT_TRUE(r.Ok) << r.Error;
    auto lines = Lines(ReadText(dir / "types.tsv"));
    ASSERT_EQ(lines.size(), 1 + t.view.Rows.size());
    EXPECT_EQ(lines[0], "\xEF\xBB\xBF"
                        "Extension,File Type,Percent,Size,Allocated,Files");
    for (size_t i = 0; i < t.view.Rows.size(); ++i) {
        const TExtNodeData& row = t.view.Rows[i];
        std::string ext = Utf16ToUtf8(row.ExtKey), desc;
        if (row.ExtKey == u".txt") desc = "Plain \"\"text\"\" document";
        if (row.ExtKey.empty()) desc = "(no extension)";
        if (row.ExtKey == u".q\"x") ext = ".q\"\"x";
        EXPECT_EQ(lines[i + 1], "\"" + ext + "\",\"" + desc + "\"," + Pct(row.SizePercent) + "," +
                                    std::to_string(row.Size) + "," + std::to_string(row.Alloc) +
                                    "," + std::to_string(row.Count))
            << i;
    }
    // Sorted by "Allocated", the share is the allocated one.
    t.view.HeaderClick(ecAllocated, cache);
    std::string text;
    AppendFileTypesCSV(text, t.view, cache);
    auto sorted = Lines(text);
    const TExtNodeData& first = t.view.Rows[0];
    EXPECT_EQ(sorted[1], "\"" + Utf16ToUtf8(first.ExtKey) + "\",\"" +
                             (first.ExtKey == u".txt" ? "Plain \"\"text\"\" document" : "") +
                             "\"," + Pct(first.AllocPercent) + "," + std::to_string(first.Size) +
                             "," + std::to_string(first.Alloc) + "," + std::to_string(first.Count));
}

TEST_F(FileTypesCsv, HeadlessNameAndUnwritableTarget) {
    Types t;
    auto cache = Cache();
    TempDir dir;
    TDateTime start = 0;
    ASSERT_TRUE(TryEncodeDateTime({2025, 1, 31, 8, 0, 0, 0}, start));
    auto r = HeadlessExportFileTypes(Utf8ToUtf16(dir / "out/types_%d.csv"), start, t.view, cache);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(Lines(ReadText(dir / "out/types_20250131.csv")).size(), 1 + t.view.Rows.size());
    auto bad = ExportFileTypesCSV(Utf8ToUtf16(dir / "none/types.csv"), t.view, cache);
    EXPECT_FALSE(bad.Ok);
    EXPECT_NE(bad.Error.find("Cannot create"), std::string::npos);
}

// ---------------------------------------------------------------- clipboard text

std::string Pad(uint64_t size) {
    std::u16string s = FormatSize(size, TFormatSettings{});
    if (s.size() < 20) s.insert(0, 20 - s.size(), u' ');
    return Utf16ToUtf8(s);
}

using ClipboardTextTest = Fixture;

TEST_F(ClipboardTextTest, UnfoldedTreeSelectionsAndFileList) {
    ScanBuilder b;
    PMFT_RECORD docs = b.Folder(b.root, u"Docs");
    PMFT_RECORD sub = b.Folder(docs, u"Sub");
    b.File(sub, u"deep.bin", 1000);
    PMFT_RECORD top = b.File(b.root, u"top.sys", 1234567);
    b.Finish();
    std::vector<TNTFS_FILES*> scans = {b.scan.get()};
    TDisplayTree tree;
    ASSERT_TRUE(tree.LoadTree(scans));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    // The only root is expanded: its line, then its children (a folder by its path, a file
    // by its name), one level deeper.
    EXPECT_EQ(ClipboardText(tree, true, TFormatSettings{}),
              Pad(b.root->SubFoldersTotSize) + "    C:\\\r\n" + Pad(docs->SubFoldersTotSize) +
                  "      C:\\Docs\r\n" + Pad(top->FileSize) + "      top.sys\r\n");
    // "1.2 MB" is six characters: fourteen spaces in front.
    EXPECT_EQ(Pad(1234567), std::string(14, ' ') + "1.2 MB");

    // A selected collapsed folder gives one line; unfolding it lists its children too.
    TTreeNode* docsNode = tree.FindNodeByPath(tree.Roots()[0], u"Docs");
    tree.Select(docsNode);
    EXPECT_EQ(ClipboardText(tree, true, TFormatSettings{}),
              Pad(docs->SubFoldersTotSize) + "      C:\\Docs\r\n");
    tree.SetExpanded(docsNode, true);
    EXPECT_EQ(ClipboardText(tree, true, TFormatSettings{}),
              Pad(docs->SubFoldersTotSize) + "      C:\\Docs\r\n" + Pad(sub->SubFoldersTotSize) +
                  "        C:\\Docs\\Sub\r\n");
    // A selected file: its name only in the tree, its full path in the file list.
    tree.ClearSelection();
    tree.Select(tree.FindNodeByPath(tree.Roots()[0], u"top.sys"));
    EXPECT_EQ(ClipboardText(tree, true, TFormatSettings{}), Pad(1234567) + "      top.sys\r\n");
    TFileList list;
    list.Options.MaxFiles = 0;
    ASSERT_TRUE(list.LoadFileList(scans));
    for (TTreeNode* n : list.Roots())
        if (n->Data.Rec == top) list.Select(n);
    EXPECT_EQ(ClipboardText(list, false, TFormatSettings{}), Pad(1234567) + "  C:\\top.sys\r\n");
    list.ClearSelection();
    EXPECT_EQ(Lines(ClipboardText(list, false, TFormatSettings{})).size(), list.Roots().size());
}

TEST_F(ClipboardTextTest, FileGroupsSingularPluralAndWhatFollowsThem) {
    ScanBuilder b;
    PMFT_RECORD one = b.Folder(b.root, u"One");
    b.File(one, u"only.txt", 5);
    PMFT_RECORD many = b.Folder(b.root, u"Many");
    PMFT_RECORD inner = b.Folder(many, u"Inner");
    for (int i = 0; i < 2; ++i) b.File(many, u"m" + AsciiToUtf16(std::to_string(i)), 10);
    b.Finish();
    std::vector<TNTFS_FILES*> scans = {b.scan.get()};
    TDisplayTree tree;
    tree.FILENODE_MIN_GROUP_SIZE = 1;
    ASSERT_TRUE(tree.LoadTree(scans));
    tree.Sort(tcFolder, TSortDirection::Ascending);
    TTreeNode* oneNode = tree.FindNodeByPath(tree.Roots()[0], u"One");
    TTreeNode* manyNode = tree.FindNodeByPath(tree.Roots()[0], u"Many");
    tree.SetExpanded(oneNode, true);
    tree.SetExpanded(manyNode, true);
    TTreeNode* oneGroup = tree.Children(oneNode)[0];
    ASSERT_TRUE(oneGroup->IsFileGroup);
    tree.SetExpanded(oneGroup, true);
    const std::string text = ClipboardText(tree, true, TFormatSettings{});
    // One: the group first (and only), unfolded: its line, then its file.
    EXPECT_NE(text.find("[1 file in C:\\One]\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("only.txt\r\n"), std::string::npos) << text;
    // Many: the subfolder, then the group of two files (folded: no file lines).
    const size_t innerAt = text.find("C:\\Many\\Inner\r\n");
    const size_t groupAt = text.find("[2 files in C:\\Many]\r\n");
    EXPECT_NE(innerAt, std::string::npos) << text;
    EXPECT_NE(groupAt, std::string::npos) << text;
    EXPECT_LT(innerAt, groupAt);
    EXPECT_EQ(text.find("m0"), std::string::npos);
    (void)inner;
}

} // namespace
