// Change monitoring in the window: what is removed on disk while a scan is shown is marked
// deleted, the totals, file groups and cell texts follow, a burst of removals is one update,
// and with monitoring off the program's own deletes stay in the views; at the system's watch
// limit the status line says so once.
#include "tests/gui/fileops_fixture.h"

#include "base/text.h"
#include "gui/statuspanel.h"
#include "views/displaytree.h"

#include <QSignalSpy>
#include <QTest>
#include <fstream>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

TEST_F(FileOpsFixture, RemovalsOnDiskAreMarkedAndTheTreeFollowsWithoutARescan) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    WaitForWatches();
    PMFT_RECORD root = Rec(""), top = Rec("top.bin"), docs = Rec("docs"), a = Rec("docs/a.txt");
    TTreeNode* mediaGroup = nullptr;
    for (TTreeNode* c : Tree().Children(Node("media")))
        if (c->IsFileGroup) mediaGroup = c;
    ASSERT_NE(mediaGroup, nullptr);
    const uint64_t before = root->SubFoldersTotSize;
    const std::u16string sizeBefore = Tree().CellText(Node(""), tcSize);

    ASSERT_EQ(::unlink((Data + "/tree/top.bin").c_str()), 0);
    ASSERT_EQ(qz::test::Run("rm -r '" + Data + "/tree/docs'"), 0);
    ASSERT_EQ(::unlink((Data + "/tree/media/clip0.mkv").c_str()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return top->Deleted && a->Deleted; }, 10000));
    EXPECT_TRUE(docs->Deleted);
    EXPECT_EQ(root->SubFoldersTotSize, before - 50000 - 1000 - 3000 - 10240);
    EXPECT_EQ(root->SubFoldersNumFiles(), 5);
    // The file group of media counts four files now; the cells show the new figures.
    EXPECT_EQ(mediaGroup->Data.Rec->SubFoldersNumFiles(), 4);
    EXPECT_EQ(mediaGroup->Data.Rec->SubFoldersTotSize, 4u * 10240u);
    EXPECT_NE(Tree().CellText(Node(""), tcSize), sizeBefore);
    EXPECT_EQ(SC().Session().DiskSizes[0].usedspace, root->SubFoldersTotSizeAlloc);
}

TEST_F(FileOpsFixture, ABurstOfTwoHundredRemovalsIsOneUpdate) {
    for (int i = 0; i < 200; ++i) WriteText(Data + "/tree/many/f" + std::to_string(i), "x");
    WriteText(Data + "/tree/other.txt", "stays");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    WaitForWatches();
    PMFT_RECORD last = Rec("many/f199");
    const int updates = Monitor().RefreshCount();
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(::unlink((Data + "/tree/many/f" + std::to_string(i)).c_str()), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return last->Deleted; }, 10000));
    QTest::qWait(600); // nothing further comes
    EXPECT_EQ(Monitor().RefreshCount(), updates + 1);
    EXPECT_EQ(Monitor().MarkedCount(), 200u);
    EXPECT_EQ(Rec("")->SubFoldersNumFiles(), 1);
    EXPECT_FALSE(Rec("other.txt")->Deleted);
}

TEST_F(FileOpsFixture, WithMonitoringOffTheProgramsOwnDeletesStayInTheViews) {
    MakeSampleTree(Data + "/tree");
    Monitor().SetEnabled(false);
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    EXPECT_FALSE(Monitor().Active());
    PMFT_RECORD top = Rec("top.bin");
    SelectRows({"top.bin"});
    TDialogAnswers answers({QStringLiteral("btnDeleteConfirm")});
    Press(Qt::Key_Delete, Qt::ShiftModifier);
    ASSERT_TRUE(WaitForDeletes(1));
    EXPECT_FALSE(Exists(Data + "/tree/top.bin"));
    QTest::qWait(400);
    EXPECT_FALSE(top->Deleted);
    // Switched on again, the scan shown is watched.
    Monitor().SetEnabled(true);
    WaitForWatches();
    PMFT_RECORD a = Rec("docs/a.txt");
    ASSERT_EQ(::unlink((Data + "/tree/docs/a.txt").c_str()), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return a->Deleted; }, 10000));
}

// Runs under a lowered watch limit (see tests/gui/CMakeLists.txt); skipped otherwise.
TEST_F(FileOpsFixture, AtTheWatchLimitTheStatusLineSaysSoOnceAndNothingFails) {
    std::ifstream limitFile("/proc/sys/user/max_inotify_watches");
    long limit = 0;
    limitFile >> limit;
    if (limit <= 0 || limit > 100) GTEST_SKIP() << "runs with a watch limit of at most 100";
    for (int i = 0; i < 150; ++i) WriteText(Data + "/tree/d" + std::to_string(i) + "/f", "x");
    WriteText(Data + "/tree/top.txt", "t");
    WriteText(Data + "/tree/d0/g", "g");
    QSignalSpy messages(&Monitor(), &TChangeMonitor::statusMessage);
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    WaitForWatches();
    EXPECT_TRUE(Monitor().Watcher()->LimitReached());
    ASSERT_TRUE(QTest::qWaitFor([&] { return messages.count() > 0; }));
    EXPECT_TRUE(Status().contains(QStringLiteral("limit of watched folders")))
        << Status().toStdString();
    // The root is watched (shallow folders come first): a removal there still shows. One
    // more removal, in a folder that may be beyond the limit, brings no further word.
    PMFT_RECORD top = Rec("top.txt");
    ASSERT_EQ(::unlink((Data + "/tree/top.txt").c_str()), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return top->Deleted; }, 10000));
    ASSERT_EQ(::unlink((Data + "/tree/d0/g").c_str()), 0);
    QTest::qWait(500);
    EXPECT_EQ(messages.count(), 1);
}
