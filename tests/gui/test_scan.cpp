// Scan control in the window: a folder picked through the Scan button's dialog, a CSV file
// dropped on the window, cancel with Escape, sources that fail (a missing folder, a CSV file
// with a bad line, one of two sources), and closing the window while a scan runs.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"

#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <fstream>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// A CSV export of one folder holding rows files (what the import reads back as a scan).
void WriteBigCsv(const std::string& path, int rows) {
    std::ofstream f(path, std::ios::binary);
    f << "\xEF\xBB\xBF"
         "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n";
    f << "\"/big/\",0,0,2024/01/01 00:00:00,16,0,0\r\n";
    for (int i = 0; i < rows; ++i)
        f << "\"/big/file" << i << ".dat\"," << 1000 + i << ",4096,2024/01/01 00:00:00,32,0,0\r\n";
}

int Entry(TScanControl& sc, TSourceKind kind) {
    return sc.cbDrive->EntryOfKind(kind);
}

} // namespace

TEST_F(WindowFixture, FolderPickedWithTheScanButtonIsScannedAndShown) {
    MakeSampleTree(Data);
    // The user picks "<Select Folder...>" and presses Scan: the folder dialog answers.
    SC().cbDrive->setCurrentIndex(Entry(SC(), DT_FOLDER));
    FoldersAsked << QString::fromStdString(Data);
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    EXPECT_EQ(FolderDialogs, 1);
    ASSERT_TRUE(SC().ScanInProgress());
    EXPECT_FALSE(SC().btnScan->isVisible()); // Cancel takes its place while the scan runs
    EXPECT_TRUE(SC().btnCancel->isVisible());
    EXPECT_FALSE(SC().cbDrive->isEnabled());
    ASSERT_TRUE(WaitForEnd());

    EXPECT_TRUE(SC().btnScan->isVisible());
    EXPECT_FALSE(SC().btnCancel->isVisible());
    EXPECT_TRUE(SC().cbDrive->isEnabled());
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Scan complete"))) << Status().toStdString();
    EXPECT_EQ(W().ScanStatus()->Progress(), 100);
    // The joined source text ends with a blank, so two blanks come before the dash.
    EXPECT_EQ(W().windowTitle(),
              QStringLiteral("[%1]  - Quarzel").arg(QString::fromStdString(Data)));
    EXPECT_EQ(W().SpaceSummary()->lblDrive->text(), QStringLiteral("<Folder>"));
    EXPECT_EQ(W().SpaceSummary()->lblDriveSerial->text(), QString::fromStdString(Data));

    // The model: one root (the folder, expanded), its children by allocated size.
    ASSERT_EQ(Model().rowCount(), 1);
    const QModelIndex root = Model().index(0, tcFolder);
    EXPECT_EQ(root.data().toString(), QString::fromStdString(Data));
    EXPECT_TRUE(View().isExpanded(root));
    ASSERT_EQ(Model().rowCount(root), 3);
    QStringList names;
    uint64_t last = UINT64_MAX;
    for (int r = 0; r < 3; ++r) {
        const QModelIndex i = Model().index(r, tcFolder, root);
        names << i.data().toString();
        const uint64_t alloc = TDisplayTree::NodeAlloc(TTreeModel::NodeOf(i));
        EXPECT_LE(alloc, last) << "row " << r;
        last = alloc;
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"docs", "media", "top.bin"}));
    const QModelIndex docs = Model().IndexOf(Node("docs"));
    EXPECT_EQ(docs.siblingAtColumn(tcSize).data().toString(), QStringLiteral("3.9 KB"));
    EXPECT_EQ(docs.siblingAtColumn(tcFiles).data().toString(), QStringLiteral("2"));
    EXPECT_EQ(docs.siblingAtColumn(tcPercent).data().toString().right(2), QStringLiteral(" %"));
    // Five files make a file group beside the subfolder (larger, so first by allocated size).
    const QModelIndex media = Model().IndexOf(Node("media"));
    ASSERT_EQ(Model().rowCount(media), 2);
    EXPECT_EQ(Model().index(0, tcFolder, media).data().toString(),
              QStringLiteral("[5 files in %1/media]").arg(QString::fromStdString(Data)));
    EXPECT_EQ(Model().index(1, tcFolder, media).data().toString(), QStringLiteral("deep"));
    EXPECT_EQ(Model().headerData(tcPercent, Qt::Horizontal).toString(),
              QStringLiteral("% of Parent"));
}

TEST_F(WindowFixture, PickingAnEntryScansOnlyWhenItNeedsAPathOrAutoScanIsOn) {
    auto pick = [this](int index) {
        SC().cbDrive->setCurrentIndex(index);
        emit SC().cbDrive->activated(index); // as the user's choice in the drop-down
    };
    // An entry that needs a file opens its dialog at once (cancelled here: nothing happens).
    pick(Entry(SC(), DT_CSVFILE));
    EXPECT_EQ(FileDialogs, 1);
    EXPECT_FALSE(SC().ScanInProgress());
    // A file that does not exist is refused with a message.
    FilesAsked << QString::fromStdString(Data + "/nowhere.csv");
    pick(Entry(SC(), DT_CSVFILE));
    EXPECT_FALSE(SC().ScanInProgress());
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(QStringLiteral("nowhere.csv")));
    // A mounted file system is only picked, unless auto scan is on.
    const int drive = Entry(SC(), DT_DRIVE) >= 0 ? Entry(SC(), DT_DRIVE) : Entry(SC(), DT_NTFS);
    if (drive >= 0) {
        pick(drive);
        EXPECT_FALSE(SC().ScanInProgress());
        EXPECT_EQ(FileDialogs + FolderDialogs, 2);
    }
    W().actAutoScan->trigger();
    EXPECT_TRUE(SC().AutoScan);
    SC().cbDrive->SelectQuietly(Entry(SC(), DT_FOLDER));
    MakeSampleTree(Data + "/tree");
    FoldersAsked << QString::fromStdString(Data + "/tree");
    pick(Entry(SC(), DT_FOLDER));
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(Model().rowCount(), 1);
}

TEST_F(WindowFixture, DroppedCsvFileIsScannedAsCsv) {
    WriteBigCsv(Data + "/small.TSV.csv", 10);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(Data + "/small.TSV.csv"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &drop);
    ASSERT_TRUE(WaitForEnd(5000)) << Status().toStdString();
    EXPECT_EQ(SC().cbDrive->currentIndex(), Entry(SC(), DT_CSVFILE));
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_EQ(Model().rowCount(Model().index(0, 0)), 1); // the file group of ten files
    EXPECT_EQ(W().SpaceSummary()->lblDrive->text(), QStringLiteral("<CSV File>"));

    // A folder dropped on the window does nothing.
    QMimeData folder;
    folder.setUrls({QUrl::fromLocalFile(QString::fromStdString(Data))});
    QDropEvent drop2(QPointF(20, 20), Qt::CopyAction, &folder, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&W(), &drop2);
    QTest::qWait(50);
    EXPECT_FALSE(SC().ScanInProgress());
}

TEST_F(WindowFixture, EscapeCancelsAScanWhichEndsWithTheCancelledNote) {
    const int rows = 400000;
    WriteBigCsv(Data + "/big.csv", rows);
    SC().ScanPath(QString::fromStdString(Data + "/big.csv"));
    ASSERT_TRUE(SC().ScanInProgress());
    ASSERT_TRUE(SC().btnCancel->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([this] { return SC().btnCancel->isEnabled(); }));
    QTest::keyClick(&W(), Qt::Key_Escape);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(Status().endsWith(QStringLiteral("(Cancelled)"))) << Status().toStdString();
    EXPECT_TRUE(SC().btnScan->isVisible());
    // What was read before the cancel is shown; the rest was never read.
    ASSERT_EQ(SC().Session().Scans().size(), 1u);
    EXPECT_LT(SC().Session().Scans()[0]->FFileList.size(), size_t(rows));

    // The window goes on working: the next scan runs to its end.
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Scan complete"))) << Status().toStdString();
    EXPECT_FALSE(Status().contains(QStringLiteral("Cancelled")));
}

TEST_F(WindowFixture, FailingSourcesSayWhatFailedAndLeaveTheViewsEmpty) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    ASSERT_EQ(Model().rowCount(), 1);
    {
        std::ofstream f(Data + "/bad.csv", std::ios::binary);
        f << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n"
             "\"/r/\",0,0,2024/01/01 00:00:00,16,0,0\r\n"
             "\"/r/a\",1,4096,2024/02/30 00:00:00,32,0,0\r\n"; // no such day
    }
    struct Case {
        std::string path;
        const char* says;
        bool scanned; // the scan started (and failed in its thread)
    } cases[] = {
        {Data + "/missing", "No such file or directory", false},
        {Data + "/bad.csv", "line 3", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Messages.clear();
        SC().ScanPath(QString::fromStdString(c.path));
        if (c.scanned) {
            EXPECT_FALSE(WaitForEnd());
            EXPECT_EQ(Model().rowCount(), 0); // the views stay empty
        } else {
            EXPECT_FALSE(SC().ScanInProgress());
            ASSERT_EQ(Messages.size(), 1);
        }
        EXPECT_TRUE(Status().startsWith(QStringLiteral("Error: "))) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QString::fromUtf8(c.says))) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QString::fromStdString(c.path))) << Status().toStdString();
        EXPECT_TRUE(SC().btnScan->isVisible());
        EXPECT_TRUE(SC().cbDrive->isEnabled());
    }
}

TEST_F(WindowFixture, TwoSourcesWithOneFailingShowTheFailureAndNoTree) {
    MakeSampleTree(Data + "/good");
    std::vector<TScanSource> sources(2);
    sources[0].Path = Utf8ToUtf16(Data + "/good");
    sources[1].Path = Utf8ToUtf16(Data + "/gone");
    ASSERT_TRUE(SC().StartScan(sources));
    EXPECT_FALSE(WaitForEnd());
    EXPECT_TRUE(Status().contains(QStringLiteral("Error")));
    EXPECT_TRUE(Status().contains(QStringLiteral("[%1/gone]").arg(QString::fromStdString(Data))))
        << Status().toStdString();
    EXPECT_FALSE(Status().contains(QStringLiteral("/good]")));
    EXPECT_EQ(Model().rowCount(), 0);
    ASSERT_EQ(SC().Session().ScanSlots.size(), 2u);
    EXPECT_NE(SC().Session().ScanSlots[0], nullptr); // the good source was read
    EXPECT_EQ(SC().Session().ScanSlots[1], nullptr);
}

TEST_F(WindowFixture, ClosingDuringAScanCancelsItAndClosesWhenItHasEnded) {
    WriteBigCsv(Data + "/big.csv", 400000);
    SC().ScanPath(QString::fromStdString(Data + "/big.csv"));
    ASSERT_TRUE(SC().ScanInProgress());
    EXPECT_FALSE(W().close()); // refused for now: the scan is asked to stop first
    EXPECT_TRUE(W().isVisible());
    ASSERT_TRUE(WaitForEnd()) << Status().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([this] { return !W().isVisible(); }));
    EXPECT_FALSE(SC().Session().Running());
    EXPECT_TRUE(Status().endsWith(QStringLiteral("(Cancelled)"))) << Status().toStdString();
}
