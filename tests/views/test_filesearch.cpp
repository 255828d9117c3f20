// The file list's search in the filter language: what it lists, when paths are matched, the
// folders and duplicates keywords, bad expressions, and the ranges to highlight.
#include "base/text.h"
#include "tests/views/scanbuilder.h"
#include "views/filelist.h"
#include "views/format.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qz;
using qz::test::ScanBuilder;

namespace {

std::vector<std::u16string> Names(const TFileList& l) {
    std::vector<std::u16string> v;
    for (TTreeNode* n : l.Roots()) v.emplace_back(n->Data.Rec->Name());
    std::sort(v.begin(), v.end());
    return v;
}

using V = std::vector<std::u16string>;

// C:\ with docs\ (report.txt, Report (2).txt, notes.md), music\docs.mp3, and an
// Arabic-named file; plus a Linux scan with a cache folder.
struct Search : ::testing::Test {
    ScanBuilder win{u"C:"}, lin{u"/home/me"};
    std::vector<TNTFS_FILES*> scans;
    void SetUp() override {
        PMFT_RECORD docs = win.Folder(win.root, u"docs");
        win.File(docs, u"report.txt", 100);
        win.File(docs, u"Report (2).txt", 100);
        win.File(docs, u"notes.md", 5000);
        PMFT_RECORD music = win.Folder(win.root, u"music");
        win.File(music, u"docs.mp3", 700);
        win.File(win.root, u"\u062a\u0642\u0631\u064a\u0631 report.txt", 1);
        PMFT_RECORD cache = lin.Folder(lin.root, u"cache");
        lin.File(cache, u"blob.bin", 10);
        lin.File(lin.root, u"cachefile", 10);
        int32_t index = 1;
        win.Finish(index);
        lin.Finish(index);
        scans = {win.scan.get(), lin.scan.get()};
    }
    std::unique_ptr<TFileList> Load(std::u16string text, bool entirePath = false) {
        auto l = std::make_unique<TFileList>();
        l->Options.MaxFiles = 0;
        l->Options.SearchText = std::move(text);
        l->Options.MatchEntirePath = entirePath;
        EXPECT_TRUE(l->LoadFileList(scans));
        return l;
    }
};

} // namespace

TEST_F(Search, NamesPathsAndKeywords) {
    EXPECT_EQ(Names(*Load(u"")).size(), 7u);
    EXPECT_EQ(Names(*Load(u"*.txt")),
              (V{u"Report (2).txt", u"report.txt", u"\u062a\u0642\u0631\u064a\u0631 report.txt"}));
    EXPECT_EQ(Names(*Load(u"REPORT >50")), (V{u"Report (2).txt", u"report.txt"}));
    EXPECT_EQ(Names(*Load(u"*.md | *.mp3")), (V{u"docs.mp3", u"notes.md"}));
    // Name only: "docs" is not in the files' own names except docs.mp3.
    EXPECT_EQ(Names(*Load(u"*docs*")), (V{u"docs.mp3"}));
    // A separator forces path matching even with "Match file name only".
    EXPECT_EQ(Names(*Load(u"\\docs\\")), (V{u"Report (2).txt", u"notes.md", u"report.txt"}));
    EXPECT_EQ(Names(*Load(u"cache/")), (V{u"blob.bin"}));
    // Match entire path: a plain word found anywhere in the path.
    EXPECT_EQ(Names(*Load(u"docs", true)),
              (V{u"Report (2).txt", u"docs.mp3", u"notes.md", u"report.txt"}));
    // Folders are listed when a term asks for them.
    auto folders = Load(u"=folders");
    EXPECT_EQ(Names(*folders), (V{u"/home/me", u"C:", u"cache", u"docs", u"music"}));
    EXPECT_EQ(Names(*Load(u"!*.txt !=folders")),
              (V{u"blob.bin", u"cachefile", u"docs.mp3", u"notes.md"}));
}

TEST_F(Search, DuplicatesOnlyNeedsAMethod) {
    TFileList l;
    l.Options.MaxFiles = 0;
    l.Options.DuplicatesOnly = true; // without a method: not applied
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(l.TotFilesNum, 7);
    l.Options.DupMethod = 1;
    ASSERT_TRUE(l.LoadFileList(scans));
    EXPECT_EQ(Names(l), (V{u"Report (2).txt", u"report.txt"}));
    // Each lists the other beneath it.
    for (TTreeNode* n : l.Roots()) ASSERT_EQ(l.ChildCount(n), 1u);
}

// A name search is matched over the records in their stored order first; the rows still
// come in the list's order across both scans, stop at the limit, and leave out filtered
// records, folders and what does not match.
TEST_F(Search, NameSearchWithALimitKeepsTheListOrderAcrossScans) {
    auto ordered = [](const TFileList& l) {
        std::vector<std::u16string> v;
        for (TTreeNode* n : l.Roots()) v.emplace_back(n->Data.Rec->Name());
        return v;
    };
    auto load = [&](std::u16string text, int max) {
        auto l = std::make_unique<TFileList>();
        l->Options.MaxFiles = max;
        l->Options.SearchText = std::move(text);
        EXPECT_TRUE(l->LoadFileList(scans));
        return l;
    };
    // Largest allocated first: notes.md (5000), docs.mp3 (700), then the 100-byte files.
    EXPECT_EQ(ordered(*load(u"*.md|*.mp3|*.bin", 2)), (V{u"notes.md", u"docs.mp3"}));
    EXPECT_EQ(ordered(*load(u"*.md|*.mp3|*.bin", 0)), (V{u"notes.md", u"docs.mp3", u"blob.bin"}));
    const auto notes = load(u"notes*", 0);
    for (TTreeNode* n : notes->Roots()) n->Data.Rec->Filtered = true;
    EXPECT_TRUE(ordered(*load(u"*.md|*.mp3", 0)) == (V{u"docs.mp3"}));
    EXPECT_TRUE(ordered(*load(u"doc*", 0)) == (V{u"docs.mp3"})); // not the folder docs
}

TEST_F(Search, BadExpressionMatchesNothingAndSaysWhy) {
    auto l = Load(u"/(unclosed/");
    EXPECT_FALSE(l->SearchError().empty());
    EXPECT_EQ(l->TotFilesNum, 0);
    auto ok = Load(u"/rep.rt/");
    EXPECT_TRUE(ok->SearchError().empty());
    EXPECT_EQ(ok->TotFilesNum, 3);
}

TEST_F(Search, HighlightRanges) {
    auto ranges = [](const std::unique_ptr<TFileList>& l, std::u16string_view text) {
        std::vector<std::pair<size_t, size_t>> v;
        for (auto& r : l->HighlightMatches(text)) v.emplace_back(r.Start, r.Length);
        return v;
    };
    using R = std::vector<std::pair<size_t, size_t>>;
    auto l = Load(u"report");
    EXPECT_EQ(ranges(l, u"My REPORT and report.txt"), (R{{3, 6}, {14, 6}}));
    EXPECT_EQ(ranges(l, u"nothing"), R{});
    // Occurrences with Arabic letters in them are not marked; others in the same text are.
    EXPECT_EQ(ranges(l, u"\u062a\u0642\u0631\u064a\u0631 report"), (R{{6, 6}}));
    // Wildcard pieces; overlapping runs joined; terms with "?" and comparisons give none.
    auto w = Load(u"*rep*.txt re?ort >5");
    EXPECT_EQ(ranges(w, u"report.txt"), (R{{0, 3}, {6, 4}}));
    auto o = Load(u"port|repo");
    EXPECT_EQ(ranges(o, u"report"), (R{{0, 6}}));
    // A regular expression marks its first match.
    auto re = Load(u"/r.p/");
    EXPECT_EQ(ranges(re, u"a rip and a rap"), (R{{2, 3}}));

    // Path cells: only the name part unless paths were matched.
    auto names = Load(u"docs");
    TTreeNode* mp3 = names->Roots()[0];
    ASSERT_EQ(mp3->Data.Rec->Name(), u"docs.mp3");
    ASSERT_EQ(names->CellText(mp3, fcPath), u"C:\\music\\docs.mp3");
    std::vector<std::pair<size_t, size_t>> cell;
    for (auto& r : names->HighlightCell(mp3, fcPath)) cell.emplace_back(r.Start, r.Length);
    EXPECT_EQ(cell, (R{{9, 4}}));
    auto paths = Load(u"docs", true);
    for (TTreeNode* n : paths->Roots()) {
        if (n->Data.Rec->Name() != u"notes.md") continue;
        cell.clear();
        for (auto& r : paths->HighlightCell(n, fcPath)) cell.emplace_back(r.Start, r.Length);
        EXPECT_EQ(cell, (R{{3, 4}})); // C:\docs\notes.md
    }
}

TEST(SearchHistoryText, NormalisedAndTrimmed) {
    TSearchHistory h;
    h.Add(u"  *.jpg | *.png  ");
    h.Add(u"*.jpg|*.png");
    ASSERT_EQ(h.Items().size(), 1u);
    EXPECT_EQ(h.Items()[0], u"*.jpg|*.png");
}
