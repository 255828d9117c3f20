// The "File View" page driven for real over real scans: a search typed into the box lists the
// matching files with their matches highlighted, in name and in path mode; the entry limit;
// duplicates with their copies beneath them and "Duplicates only"; header clicks; the history
// of the box; bad search texts marked in the box and nothing lost; and a load that runs in the
// background while the window goes on.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/filelistmodel.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/filteredit.h"
#include "gui/historycombo.h"
#include "gui/qtext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <fstream>
#include <set>

using namespace qz;
using namespace qz::test;

namespace {

class FileListFixture : public WindowFixture {
protected:
    TFileListPanel& P() { return *W().Files(); }
    TFileList& L() { return P().List(); }

    // Scans root and shows the "File View" page; waits until the list is loaded.
    void ScanAndShowFiles(const std::string& root) {
        ASSERT_TRUE(ScanAndWait(root));
        W().pcMain->setCurrentWidget(W().tsFiles);
        WaitLoaded();
    }
    void WaitLoaded() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !P().Loading() && L().Loaded(); }, 30000));
    }
    // Types text into the search box as a user does and waits for the reload.
    void Search(const QString& text) {
        TFilterEdit* e = P().cbFileSearch->Edit();
        e->setFocus();
        e->selectAll();
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Delete);
        else
            QTest::keyClicks(e, text);
        ASSERT_TRUE(P().SearchTimer().isActive()); // typing restarts the 500 ms timer
        ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
        WaitLoaded();
    }
    std::set<std::string> RowNames() {
        std::set<std::string> names;
        for (TTreeNode* n : L().Roots()) names.insert(Utf16ToUtf8(n->Data.Rec->Name()));
        return names;
    }
    TTreeNode* Row(const std::string& name) {
        for (TTreeNode* n : L().Roots())
            if (Utf16ToUtf8(n->Data.Rec->Name()) == name) return n;
        return nullptr;
    }
    // The highlighted parts of a row's cell, as the text they cover.
    std::vector<std::string> Highlighted(TTreeNode* n, int column) {
        std::vector<std::string> out;
        const std::u16string text = L().CellText(n, column);
        for (const TMatchRange& m : L().HighlightCell(n, column))
            out.push_back(Utf16ToUtf8(text.substr(m.Start, m.Length)));
        return out;
    }
};

void MakeSearchTree(const std::string& root) {
    WriteSized(root + "/docs/report.txt", 3000);
    WriteSized(root + "/docs/Report-old.TXT", 2000);
    WriteSized(root + "/docs/notes.md", 1500);
    for (int i = 0; i < 5; ++i)
        WriteSized(root + "/media/clip" + std::to_string(i) + ".mkv", 10240 * (i + 1));
    WriteSized(root + "/media/reports/summary.pdf", 700);
    WriteSized(root + "/top.bin", 50000);
}

} // namespace

TEST_F(FileListFixture, SearchListsTheMatchingFilesAndHighlightsTheMatches) {
    MakeSearchTree(Data + "/t");
    ScanAndShowFiles(Data + "/t");
    // Every file, largest allocated first; folders only with "Folders".
    EXPECT_EQ(L().Roots().size(), 10u);
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[0]->Data.Rec->Name()), "clip4.mkv");
    EXPECT_TRUE(P().cbFileSearch->Edit()->hasFocus()); // the page focuses the search box

    struct Case {
        const char* text;
        bool fullPath;
        std::set<std::string> rows;
        const char* row;                 // a row to check the highlights of
        std::vector<std::string> name;   // highlighted in its name
        std::vector<std::string> inPath; // highlighted in its path
    } cases[] = {
        {"report",
         false,
         {"report.txt", "Report-old.TXT"},
         "Report-old.TXT",
         {"Report"},
         {"Report"}},
        {"*.mkv >20k",
         false,
         {"clip2.mkv", "clip3.mkv", "clip4.mkv"},
         "clip3.mkv",
         {".mkv"},
         {".mkv"}},
        {"/clip[0-1]/", false, {"clip0.mkv", "clip1.mkv"}, "clip1.mkv", {"clip1"}, {"clip1"}},
        {"!*.mkv !*.txt", false, {"notes.md", "summary.pdf", "top.bin"}, "notes.md", {}, {}},
        // Path mode: a folder name matches everything below it, and is marked in the path.
        {"reports", true, {"summary.pdf"}, "summary.pdf", {}, {"reports"}},
        // A separator forces path matching in name mode too.
        {"docs/*.md", false, {"notes.md"}, "notes.md", {".md"}, {"docs/", ".md"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        (c.fullPath ? P().rbMatchPath : P().rbMatchName)->setChecked(true);
        Search(QString::fromUtf8(c.text));
        EXPECT_EQ(RowNames(), c.rows);
        TTreeNode* n = Row(c.row);
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(Highlighted(n, fcName), c.name);
        EXPECT_EQ(Highlighted(n, fcPath), c.inPath);
        EXPECT_FALSE(P().lblSearchError->isVisible());
    }
    // The totals under the list follow the rows.
    Search(QStringLiteral("*.mkv"));
    EXPECT_EQ(P().pnlFilesTotals->text().toStdString(),
              "(5 files  Total Size: 150.0 KB  Allocated: 156.0 KB)");
    // The model shows the rows in place and with their texts.
    ASSERT_EQ(P().Model().rowCount(), 5);
    EXPECT_EQ(P().Model().index(0, fcName).data().toString(), QStringLiteral("clip4.mkv"));
    EXPECT_EQ(P().Model().index(0, fcPath).data().toString(),
              QString::fromStdString(Data + "/t/media/clip4.mkv"));
    // "Clear" empties the box and lists everything again.
    QTest::mouseClick(P().btnClearSearch, Qt::LeftButton);
    EXPECT_TRUE(P().cbFileSearch->Text().isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    EXPECT_EQ(L().Roots().size(), 10u);
}

TEST_F(FileListFixture, EntryLimitFoldersAndHeaderClicks) {
    for (int i = 0; i < 150; ++i)
        WriteSized(Data + "/many/sub" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat",
                   size_t(100 + 4096 * i));
    ScanAndShowFiles(Data + "/many");
    ASSERT_EQ(L().Roots().size(), 150u); // the default limit is 1,000
    // "100": the 100 largest.
    P().cbMaxFiles->setCurrentIndex(P().cbMaxFiles->findData(100));
    emit P().cbMaxFiles->activated(P().cbMaxFiles->currentIndex());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    ASSERT_EQ(L().Roots().size(), 100u);
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[0]->Data.Rec->Name()), "f149.dat");
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[99]->Data.Rec->Name()), "f50.dat");
    EXPECT_TRUE(P().pnlFilesTotals->text().startsWith(QStringLiteral("(100 files")));
    // "Folders" lists the folders too (the root and its three subfolders are the largest).
    P().cbShowFolders->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[0]->Data.Rec->Name()), Data + "/many");
    P().cbShowFolders->setChecked(false);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();

    // "File Name" starts ascending; with a limit the list is loaded again in the new order.
    QHeaderView* h = P().vstFiles->header();
    const QPoint at(h->sectionViewportPosition(fcName) + 5, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(L().SortColumn(), fcName);
    EXPECT_EQ(h->sortIndicatorSection(), int(fcName));
    EXPECT_EQ(h->sortIndicatorOrder(), Qt::AscendingOrder);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    ASSERT_EQ(L().Roots().size(), 100u);
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[0]->Data.Rec->Name()), "f0.dat");
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[1]->Data.Rec->Name()), "f1.dat");
    // With "ALL" a click re-sorts the rows in place: no load, the same rows.
    P().cbMaxFiles->setCurrentIndex(P().cbMaxFiles->findData(0));
    emit P().cbMaxFiles->activated(P().cbMaxFiles->currentIndex());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    ASSERT_EQ(L().Roots().size(), 150u);
    TTreeNode* first = L().Roots()[0];
    QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_FALSE(P().SearchTimer().isActive());
    EXPECT_EQ(L().SortDirection(), TSortDirection::Descending);
    EXPECT_EQ(L().Roots().back(), first);
    EXPECT_EQ(Utf16ToUtf8(L().Roots()[0]->Data.Rec->Name()), "f99.dat");
    // The choices are kept in the settings file.
    std::ifstream ini(Dir / "cfg/Quarzel3.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("maxfiles=0"), std::string::npos) << text;
}

TEST_F(FileListFixture, DuplicatesListTheirCopiesBeneathThem) {
    WriteSized(Data + "/d/a/photo.jpg", 5000);
    WriteSized(Data + "/d/b/photo (2).jpg", 5000);
    WriteSized(Data + "/d/c/Photo - Copy.JPG", 5000);
    WriteSized(Data + "/d/c/other.jpg", 5000);
    WriteSized(Data + "/d/a/empty.txt", 0);
    WriteSized(Data + "/d/b/empty.txt", 0); // empty files are never duplicates
    WriteSized(Data + "/d/b/unique.bin", 100);
    // The first run locates duplicates by name, size and date; the user switches it off.
    EXPECT_EQ(P().cbDupMethod->currentIndex(), 2);
    P().cbDupMethod->setCurrentIndex(0);
    emit P().cbDupMethod->activated(0);
    ScanAndShowFiles(Data + "/d");
    EXPECT_TRUE(P().vstFiles->isColumnHidden(fcDupCount));
    EXPECT_FALSE(P().cbDupsOnly->isEnabled());
    EXPECT_FALSE(P().Model().hasChildren(P().Model().IndexOf(Row("photo.jpg"))));

    P().cbDupMethod->setCurrentIndex(1); // "Locate by Name, Size"
    emit P().cbDupMethod->activated(1);
    EXPECT_FALSE(P().vstFiles->isColumnHidden(fcDupCount));
    EXPECT_TRUE(P().cbDupsOnly->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    // Each member of the group is a row with the two other copies beneath it.
    TTreeNode* photo = Row("photo.jpg");
    ASSERT_NE(photo, nullptr);
    const QModelIndex i = P().Model().IndexOf(photo);
    EXPECT_TRUE(P().Model().hasChildren(i));
    ASSERT_EQ(P().Model().rowCount(i), 2);
    std::set<std::string> copies;
    for (int r = 0; r < 2; ++r)
        copies.insert(P().Model().index(r, fcPath, i).data().toString().toStdString());
    EXPECT_EQ(copies,
              (std::set<std::string>{Data + "/d/b/photo (2).jpg", Data + "/d/c/Photo - Copy.JPG"}));
    EXPECT_EQ(i.siblingAtColumn(fcDupCount).data().toString(), QStringLiteral("2"));
    EXPECT_EQ(i.siblingAtColumn(fcDupSize).data().toString(), QStringLiteral("9.8 KB"));
    P().vstFiles->expand(i);
    EXPECT_TRUE(P().vstFiles->isExpanded(i));
    TTreeNode* empty = Row("empty.txt");
    ASSERT_NE(empty, nullptr);
    EXPECT_FALSE(P().Model().hasChildren(P().Model().IndexOf(empty)));

    // "Duplicates only": the three copies, nothing else.
    P().cbDupsOnly->setChecked(true);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    EXPECT_EQ(RowNames(),
              (std::set<std::string>{"photo.jpg", "photo (2).jpg", "Photo - Copy.JPG"}));
    // Back to no duplicates: the columns go, the checkbox is disabled and adds nothing.
    P().cbDupMethod->setCurrentIndex(0);
    emit P().cbDupMethod->activated(0);
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    EXPECT_TRUE(P().vstFiles->isColumnHidden(fcDupSize));
    EXPECT_EQ(L().Roots().size(), 7u);
}

TEST_F(FileListFixture, SelectionStatusHistoryAndTypingIntoTheList) {
    MakeSearchTree(Data + "/t");
    ScanAndShowFiles(Data + "/t");
    TFileListView* v = P().vstFiles;
    auto click = [&](int row, Qt::KeyboardModifiers mods) {
        const QRect r = v->visualRect(P().Model().index(row, fcSize));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, mods, r.center());
    };
    click(0, Qt::NoModifier);
    click(2, Qt::ShiftModifier);
    EXPECT_EQ(L().SelectedCount(), 3u);
    EXPECT_TRUE(P().pnlFilesSelection->text().startsWith(QStringLiteral("Selected Files: 3")))
        << P().pnlFilesSelection->text().toStdString();
    click(1, Qt::ControlModifier);
    EXPECT_EQ(L().SelectedCount(), 2u);

    // A printable key typed in the list goes to the search box.
    v->setFocus();
    QTest::keyClicks(v, QStringLiteral("clip"));
    EXPECT_EQ(P().cbFileSearch->Text(), QStringLiteral("clip"));
    EXPECT_TRUE(P().cbFileSearch->Edit()->hasFocus());
    ASSERT_TRUE(QTest::qWaitFor([this] { return !P().SearchTimer().isActive(); }, 2000));
    WaitLoaded();
    EXPECT_EQ(L().Roots().size(), 5u);
    EXPECT_TRUE(P().pnlFilesSelection->text().isEmpty()); // a new list has no selection

    // Leaving the box remembers the text (normalised), once, newest first; the special last
    // item empties the history and the file keeps that at once.
    for (const char* t : {"a | b", "clip", "a|b"}) {
        P().cbFileSearch->SetText(QString::fromUtf8(t));
        P().cbFileSearch->Edit()->setFocus();
        v->setFocus();
    }
    EXPECT_EQ(P().cbFileSearch->Items(), (std::vector<std::string>{"a|b", "clip"}));
    ASSERT_EQ(P().cbFileSearch->count(), 3);
    EXPECT_EQ(P().cbFileSearch->itemText(2), THistoryCombo::ClearItemText());
    // Down in the box opens the list; picking an entry puts its text in the box.
    P().cbFileSearch->Edit()->setFocus();
    QTest::keyClick(P().cbFileSearch->Edit(), Qt::Key_Down);
    EXPECT_TRUE(P().cbFileSearch->view()->isVisible());
    P().cbFileSearch->hidePopup();
    emit P().cbFileSearch->activated(1);
    EXPECT_EQ(P().cbFileSearch->Text(), QStringLiteral("clip"));
    EXPECT_EQ(P().cbFileSearch->Items(), (std::vector<std::string>{"clip", "a|b"}));
    P().cbFileSearch->showPopup();
    P().cbFileSearch->hidePopup();
    emit P().cbFileSearch->activated(2);
    EXPECT_TRUE(P().cbFileSearch->Items().empty());
    EXPECT_EQ(P().cbFileSearch->Text(), QStringLiteral("clip"));
    std::ifstream ini(Dir / "cfg/Quarzel3.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("numitems=0"), std::string::npos) << text;
}

TEST_F(FileListFixture, BadSearchTextsAreMarkedAndTheWindowGoesOn) {
    MakeSearchTree(Data + "/t");
    // Names on which a nested repetition backtracks without end.
    for (int i = 0; i < 200; ++i)
        WriteSized(Data + "/t/slow/" + std::string(40, 'a') + std::to_string(i) + "!", 10);
    ScanAndShowFiles(Data + "/t");
    struct Case {
        QString text;
        bool marked; // a message in the box and beside it
    } cases[] = {
        {QStringLiteral("/(/"), true},      // does not compile
        {QStringLiteral("/(a+)+$/"), true}, // backtracks catastrophically: given up
        {QStringLiteral("\"abc"), true},    // an unclosed quote: one term, no match
        {QStringLiteral("!"), true},        // a lone "!": nothing to negate
        {QString(10000, QLatin1Char('x')), false},
        {QStringLiteral("*.mkv"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(20).toStdString());
        P().cbFileSearch->SetText(c.text);
        P().LoadFileList();
        // The load runs in the background: the call returns at once.
        EXPECT_TRUE(P().Loading());
        WaitLoaded();
        EXPECT_EQ(P().lblSearchError->isVisible(), c.marked)
            << P().lblSearchError->text().toStdString();
        EXPECT_EQ(!P().cbFileSearch->Edit()->Error().isEmpty(), c.marked);
    }
    EXPECT_EQ(L().Roots().size(), 5u); // the last, good text lists its files
    // A new scan while the list loads stops the load first.
    P().cbFileSearch->SetText(QStringLiteral("/(a+)+$/"));
    P().LoadFileList();
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    WaitLoaded(); // the new scan's list, loaded because its page shows
    EXPECT_TRUE(P().lblSearchError->isVisible());
}
