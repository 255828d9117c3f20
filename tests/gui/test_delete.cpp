// Deleting from the window: only the selected items go (among siblings with similar names,
// hard links, links to folders elsewhere, names with line breaks and bytes that are not
// UTF-8), to the trash with their .trashinfo or permanently; a refused confirmation changes
// nothing; the trash's refusals and the failures of items are asked in dialogs; a delete of
// many files runs beside the window, with progress and a Cancel. The dialogs are answered by
// clicking their buttons.
#include "tests/gui/fileops_fixture.h"

#include "base/text.h"
#include "fsops/fileuri.h"
#include "gui/filelistmodel.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/mainwindow.h"
#include "gui/statuspanel.h"
#include "views/filelist.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

// The crowded tree of the file-operation tests: close relatives of the items to delete.
void MakeCrowdedTree(const std::string& data) {
    const std::string t = data + "/tree";
    WriteText(data + "/outside/keep.txt", "outside");
    WriteText(t + "/sel/a.txt", std::string(1000, 'a'));
    WriteText(t + "/sel/deep/b.txt", std::string(2000, 'b'));
    WriteText(t + "/sel2/x", "sibling");
    WriteText(t + "/sel.bak/x", "sibling");
    WriteText(t + "/sel /x", "sibling with a blank");
    WriteText(t + "/line\nbreak.txt", std::string(300, 'n'));
    WriteText(t + "/line.txt", "similar name");
    WriteText(t + "/bad\xff.bin", std::string(400, 'x'));
    WriteText(t + "/bad.bin", "similar name");
    WriteText(t + "/shared.dat", std::string(5000, 's'));
    ::link((t + "/shared.dat").c_str(), (t + "/sel2/shared-link.dat").c_str());
    ::symlink((data + "/outside").c_str(), (t + "/to-outside").c_str());
}

} // namespace

TEST_F(FileOpsFixture, DeleteToTrashTouchesOnlyTheSelectedItemsAndTheTreeFollows) {
    MakeCrowdedTree(Data);
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    WaitForWatches();
    const std::vector<std::string> chosen = {"sel", "line\nbreak.txt", "bad\xff.bin", "to-outside"};
    std::vector<PMFT_RECORD> recs;
    for (const std::string& c : chosen) recs.push_back(Rec(c));
    PMFT_RECORD root = Rec("");
    const uint64_t before = root->SubFoldersTotSize;
    const TTreePicture picture = PictureOf(Data);
    SelectRows(chosen);
    TDialogAnswers answers({QStringLiteral("btnDeleteConfirm")});
    Press(Qt::Key_Delete);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_EQ(answers.Texts.size(), 1);
    // The question names the number of items and their size.
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("4 items")))
        << answers.Texts[0].toStdString();
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("3.6 KB")))
        << answers.Texts[0].toStdString();
    EXPECT_EQ(DeleteGone, 4);

    std::vector<std::string> removed;
    for (const std::string& c : chosen) removed.push_back("tree/" + c);
    TTreePicture after = PictureOf(Data);
    EXPECT_EQ(Difference(Without(picture, removed), after), "");
    EXPECT_EQ(ReadText(Data + "/outside/keep.txt"), "outside");
    // In the trash, with information that leads back.
    for (const std::string& c : chosen) {
        SCOPED_TRACE(c);
        EXPECT_TRUE(Exists(Xdg + "/Trash/files/" + c));
        const std::string info = ReadText(Xdg + "/Trash/info/" + c + ".trashinfo");
        EXPECT_NE(info.find("Path=" + PercentEncodePath(Data + "/tree/" + c) + "\n"),
                  std::string::npos)
            << info;
    }
    // The scan follows at once: the items are marked and the totals dropped.
    for (PMFT_RECORD r : recs) EXPECT_TRUE(r->Deleted);
    EXPECT_EQ(root->SubFoldersTotSize, before - 1000 - 2000 - 300 - 400 - recs[3]->FileSize);
    EXPECT_TRUE(Status().contains(QStringLiteral("4 items moved to the trash")))
        << Status().toStdString();
}

TEST_F(FileOpsFixture, ARefusedConfirmationChangesNothing) {
    MakeCrowdedTree(Data);
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    const TTreePicture picture = PictureOf(Dir.path());
    SelectRows({"sel", "shared.dat"});
    for (bool permanent : {false, true}) {
        SCOPED_TRACE(permanent);
        TDialogAnswers answers({QStringLiteral("btnDeleteCancel")});
        Press(Qt::Key_Delete, permanent ? Qt::ShiftModifier : Qt::NoModifier);
        ASSERT_TRUE(QTest::qWaitFor([&] { return answers.Pending.isEmpty(); }));
        EXPECT_TRUE(answers.Texts[0].contains(permanent ? QStringLiteral("permanently")
                                                        : QStringLiteral("trash")));
    }
    QTest::qWait(300);
    EXPECT_EQ(Difference(picture, PictureOf(Dir.path())), "");
    EXPECT_FALSE(Rec("sel")->Deleted);
    EXPECT_EQ(Deletes, 0);
    EXPECT_EQ(Status(), QStringLiteral("Nothing was deleted"));
}

TEST_F(FileOpsFixture,
       TheTrashRefusesAFolderHoldingAMountAndTheSameQuestionOffersAPermanentDelete) {
    TMounts mounts;
    WriteText(Data + "/src/precious", "bind source");
    WriteText(Data + "/tree/holder/mnt/.keep", "");
    WriteText(Data + "/tree/holder/file", std::string(100, 'h'));
    WriteText(Data + "/tree/plain.txt", std::string(50, 'p'));
    WriteText(Data + "/tree/other.txt", "stays");
    if (!mounts.Bind(Data + "/src", Data + "/tree/holder/mnt")) GTEST_SKIP() << "cannot mount";
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    SelectRows({"holder", "plain.txt"});
    // The question lists the refusal; the answer trashes plain.txt and deletes holder for
    // good; the mount inside is reported and skipped.
    TDialogAnswers answers({QStringLiteral("btnTrashAndDelete"), QStringLiteral("btnFailSkip")});
    Press(Qt::Key_Delete);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_EQ(answers.Texts.size(), 2);
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("cannot be moved to the trash")));
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("mounted inside it")));
    EXPECT_TRUE(answers.Texts[1].contains(QString::fromStdString(Data + "/tree/holder/mnt")));
    EXPECT_TRUE(Exists(Xdg + "/Trash/files/plain.txt"));
    EXPECT_FALSE(Exists(Data + "/tree/holder/file"));
    EXPECT_EQ(ReadText(Data + "/src/precious"), "bind source");
    EXPECT_EQ(ReadText(Data + "/tree/holder/mnt/precious"), "bind source");
    EXPECT_EQ(ReadText(Data + "/tree/other.txt"), "stays");
    EXPECT_EQ(DeleteSkipped, 1);
}

TEST_F(FileOpsFixture, FailuresAreAskedWithTheirPathAndTheUserChoosesWhatFollows) {
    TMounts mounts;
    if (!mounts.Tmpfs(Data + "/ro")) GTEST_SKIP() << "cannot mount";
    for (int i = 0; i < 4; ++i) WriteText(Data + "/ro/f" + std::to_string(i), std::string(10, 'f'));
    ASSERT_TRUE(mounts.ReadOnly(Data + "/ro"));
    ASSERT_TRUE(ScanAndWait(Data + "/ro"));
    const TTreePicture picture = PictureOf(Data);
    SelectRows({"f0", "f1", "f2", "f3"});
    // Skip the first failure, stop at the second: two items are never tried.
    TDialogAnswers answers({QStringLiteral("btnDeleteConfirm"), QStringLiteral("btnFailSkip"),
                            QStringLiteral("btnFailStop")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_EQ(answers.Texts.size(), 3);
    EXPECT_TRUE(answers.Texts[1].contains(QString::fromStdString(Data + "/ro/f")));
    EXPECT_TRUE(answers.Texts[1].contains(QStringLiteral("Read-only")));
    EXPECT_EQ(Difference(picture, PictureOf(Data)), "");
    EXPECT_TRUE(Status().contains(QStringLiteral("0 of 4 items are gone")))
        << Status().toStdString();
    EXPECT_FALSE(Rec("f0")->Deleted);
}

TEST_F(FileOpsFixture, AManyFileDeleteRunsBesideTheWindowAndCancelStopsIt) {
    // Enough files that the delete is still running when the progress dialog's Cancel is
    // pressed, also in the slower sanitizer build.
    const int kFiles = 20000;
    for (int d = 0; d < 10; ++d)
        for (int i = 0; i < kFiles / 10; ++i)
            WriteText(Data + "/big/d" + std::to_string(d) + "/f" + std::to_string(i), "");
    WriteText(Data + "/beside.txt", "stays");
    ASSERT_TRUE(ScanAndWait(Data));
    SelectRows({"big"});
    // Confirmed, then cancelled in the progress dialog as soon as it shows: the window answers
    // while the files go, and the delete stops.
    TDialogAnswers answers(
        {QStringLiteral("btnDeleteConfirm"), QStringLiteral("btnDeleteProgressCancel")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    ASSERT_TRUE(answers.Pending.isEmpty());
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("20,000 files")))
        << answers.Texts[0].toStdString();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Deleting was cancelled")))
        << Status().toStdString();
    EXPECT_EQ(ReadText(Data + "/beside.txt"), "stays");
    size_t left = 0;
    for (const auto& [path, what] : PictureOf(Data + "/big")) left += what == "F:" ? 1 : 0;
    EXPECT_GT(left, 0u);
    EXPECT_FALSE(Rec("big")->Deleted);
}

// While the file list has the focus, its selection is the one deleted; the tree's own
// selection is left alone.
TEST_F(FileOpsFixture, DeleteActsOnTheSelectionOfTheViewWithTheFocus) {
    MakeCrowdedTree(Data);
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    SelectRows({"sel"});
    W().pcMain->setCurrentWidget(W().tsFiles);
    TFileListPanel& panel = *W().Files();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.Loading() && panel.List().Loaded(); }, 30000));
    TTreeNode* row = nullptr;
    for (TTreeNode* n : panel.List().Roots())
        if (Utf16ToUtf8(n->Data.Rec->Name()) == "line.txt") row = n;
    ASSERT_NE(row, nullptr);
    TFileListView* list = panel.vstFiles;
    const QModelIndex index = list->Model().IndexOf(row);
    list->scrollTo(index);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(index).center());
    const TTreePicture picture = PictureOf(Data);
    TDialogAnswers answers({QStringLiteral("btnDeleteConfirm")});
    QApplication::setActiveWindow(&W());
    list->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->hasFocus(); }));
    QTest::keyClick(list, Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    EXPECT_TRUE(answers.Texts[0].contains(QStringLiteral("1 item")))
        << answers.Texts[0].toStdString();
    EXPECT_EQ(DeleteGone, 1);
    EXPECT_EQ(Difference(Without(picture, {"tree/line.txt"}), PictureOf(Data)), "");
}
