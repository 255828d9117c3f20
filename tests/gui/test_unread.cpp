// What a scan could not read is shown, not dropped: a folder that could not be read gets a
// mark on its row (drawn over its icon, said by its tool tip and to screen readers) and a
// count on the status line; CSV lines passed over and records of an NTFS image that lie
// outside the folder tree are named there too, with the full wording and the source in the
// line's tool tip. A source that fails on the way in (a dump cut short, an image cut short
// after the list was made) ends with a message and the window unlocked.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/mft_volume.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// The effective user is "nobody" for the life of the object when asked (root reads every
// folder); the process keeps root as its saved user and takes it back at the end.
class AsNobody {
public:
    explicit AsNobody(bool wanted = true) {
        Changed = wanted && ::geteuid() == 0;
        Ok = !Changed || ::seteuid(65534) == 0;
    }
    ~AsNobody() {
        if (Changed && Ok) (void)::seteuid(0);
    }
    bool Changed, Ok;
};

// testfs1 (an NTFS image) unpacked, with the signature of folder record 68 (many_subdirs,
// 512 subfolders) spoiled: what lies below it has no way to the root any more.
std::string DamagedImage(const std::string& dir) {
    const std::string img = dir + "/testfs1.img";
    if (Run("gzip -dc '" QZ_TESTDATA_DIR "/ntfs/ColinFinck-ntfs/testfs1.gz' > '" + img + "'") != 0)
        return {};
    uint64_t position = 0;
    {
        TNTFS_FILES volume(Utf8ToUtf16(img));
        const TRunPos p = GetMFTRecordPos2(volume, 68);
        if (!p.Found()) return {};
        position = uint64_t(p.Position);
    }
    std::fstream f(img, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(position));
    f.write("X", 1);
    return f ? img : std::string();
}

} // namespace

TEST_F(WindowFixture, WhatCouldNotBeReadIsCountedOnTheStatusLineWithItsSource) {
    // A folder only root may read, scanned as another user.
    ::chmod(Dir.path().c_str(), 0755);
    ::chmod(Data.c_str(), 0755);
    WriteSized(Data + "/tree/ok/f", 10);
    WriteSized(Data + "/tree/locked/f", 10);
    ::chmod((Data + "/tree/locked").c_str(), 0);
    // A CSV export with a row outside the first row's folder.
    {
        std::ofstream f(Data + "/skip.csv", std::ios::binary);
        f << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n"
             "\"/r/\",0,0,2024/01/01 00:00:00,16,0,0\r\n"
             "\"/r/a\",1,4096,2024/01/01 00:00:00,32,0,0\r\n"
             "\"/elsewhere/b\",1,4096,2024/01/01 00:00:00,32,0,0\r\n";
    }
    const std::string image = DamagedImage(Data);
    ASSERT_FALSE(image.empty());

    struct Case {
        std::string path;
        bool asNobody;
        const char* says;    // on the status line
        const char* details; // in its tool tip
    } cases[] = {
        {Data + "/tree", true, "1 folder could not be read",
         "1 folder could not be read; what it holds is missing from the scan"},
        {Data + "/skip.csv", false, "1 line skipped", "1 line was skipped"},
        {image, false, "orphaned items", "could not be placed in the folder tree"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        {
            AsNobody user(c.asNobody);
            ASSERT_TRUE(user.Ok);
            ASSERT_TRUE(ScanAndWait(c.path)) << Status().toStdString();
        }
        EXPECT_TRUE(Status().startsWith(QStringLiteral("Scan complete"))) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QString::fromUtf8(c.says))) << Status().toStdString();
        const QString tip = W().ScanStatus()->lblStatus->toolTip();
        EXPECT_TRUE(tip.contains(QString::fromUtf8(c.details))) << tip.toStdString();
        EXPECT_TRUE(tip.contains(QStringLiteral("[%1]").arg(QString::fromStdString(c.path))))
            << tip.toStdString();
        // The screen reader hears the same on the status line.
        EXPECT_TRUE(W().ScanStatus()->lblStatus->accessibleDescription().contains(
            QString::fromUtf8(c.details)));
        EXPECT_TRUE(SC().btnScan->isVisible());
    }
    // The orphans are in the tree, under their own folder, and nothing was dropped from it.
    TTreeNode* orphans = Node(Utf16ToUtf8(kOrphanFolderName));
    ASSERT_NE(orphans, nullptr);
    EXPECT_GE(Tree().Children(orphans).size(), 1u);

    // A healthy source: the line says nothing more, and the tool tip goes.
    MakeSampleTree(Data + "/fine");
    ASSERT_TRUE(ScanAndWait(Data + "/fine"));
    EXPECT_FALSE(Status().contains(QStringLiteral(" - "))) << Status().toStdString();
    EXPECT_TRUE(W().ScanStatus()->lblStatus->toolTip().isEmpty());
}

TEST_F(WindowFixture, AFolderThatCouldNotBeReadIsMarkedOnItsRow) {
    ::chmod(Dir.path().c_str(), 0755);
    ::chmod(Data.c_str(), 0755);
    WriteSized(Data + "/tree/ok/f", 10);
    WriteSized(Data + "/tree/locked/f", 10);
    ::chmod((Data + "/tree/locked").c_str(), 0);
    {
        AsNobody user;
        ASSERT_TRUE(user.Ok);
        ASSERT_TRUE(ScanAndWait(Data + "/tree")) << Status().toStdString();
    }
    ::chmod((Data + "/tree/locked").c_str(), 0700); // so that the folder can be removed
    TTreeNode* locked = Node("locked");
    TTreeNode* ok = Node("ok");
    ASSERT_NE(locked, nullptr);
    ASSERT_NE(ok, nullptr);
    ClickRow(Node("")); // neither folder selected or focused: their rows differ only by the mark

    // The row says so to the mouse and to screen readers; the readable folder says nothing.
    const QModelIndex lockedIndex = Model().IndexOf(locked, tcFolder);
    const QModelIndex okIndex = Model().IndexOf(ok, tcFolder);
    const QString note = Model().data(lockedIndex, Qt::ToolTipRole).toString();
    EXPECT_TRUE(note.contains(QStringLiteral("could not be read"))) << note.toStdString();
    EXPECT_TRUE(Model().data(okIndex, Qt::ToolTipRole).toString().isEmpty());
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&View());
    ASSERT_NE(table, nullptr);
    QAccessibleTableInterface* rows = table->tableInterface();
    ASSERT_NE(rows, nullptr);
    int lockedRow = -1, okRow = -1;
    for (int r = 0; r < rows->rowCount(); ++r) {
        const QString name = rows->cellAt(r, tcFolder)->text(QAccessible::Name);
        if (name == QStringLiteral("locked")) lockedRow = r;
        if (name == QStringLiteral("ok")) okRow = r;
    }
    ASSERT_GE(lockedRow, 0);
    ASSERT_GE(okRow, 0);
    EXPECT_EQ(rows->cellAt(lockedRow, tcFolder)->text(QAccessible::Description), note);
    EXPECT_TRUE(rows->cellAt(okRow, tcFolder)->text(QAccessible::Description).isEmpty());

    // The icons of the two folders are drawn differently: the mark is over the locked one's.
    View().resize(800, 400);
    QTest::qWait(1);
    auto iconOf = [&](const QModelIndex& i) {
        const QRect r = View().visualRect(i);
        return View().viewport()->grab(QRect(r.left(), r.top(), r.height(), r.height())).toImage();
    };
    ASSERT_FALSE(View().visualRect(lockedIndex).isEmpty());
    EXPECT_NE(iconOf(lockedIndex), iconOf(okIndex));
    // For a person to look at (under Xvfb): the tree with the marked row.
    if (const char* shots = std::getenv("QZ_SHOTS"))
        View().grab().save(QString::fromUtf8(shots) + QStringLiteral("/unreadable_row.png"));
}

TEST_F(WindowFixture, SourcesCutShortEndWithAMessageAndTheWindowUnlocked) {
    // A dump cut inside its records, and an NTFS image cut short after it was picked (a
    // device that went away while the list still showed it reads the same way).
    ASSERT_EQ(qz::test::Run("gzip -dc '" QZ_TESTDATA_DIR
                            "/ntfs/dfir_ntfs/4k-large.mft.gz' | head -c 100000 > '" +
                            Data + "/cut.mft'"),
              0);
    ASSERT_EQ(qz::test::Run("gzip -dc '" QZ_TESTDATA_DIR "/ntfs/ColinFinck-ntfs/testfs1.gz' > '" +
                            Data + "/cut.img'"),
              0);
    ASSERT_EQ(::truncate((Data + "/cut.img").c_str(), 1 << 20), 0);
    MakeSampleTree(Data + "/tree");
    for (const std::string& path : {Data + "/cut.mft", Data + "/cut.img"}) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(ScanAndWait(Data + "/tree"));
        Messages.clear();
        SC().ScanPath(QString::fromStdString(path));
        if (SC().ScanInProgress()) {
            EXPECT_FALSE(WaitForEnd());
        }
        EXPECT_TRUE(Status().startsWith(QStringLiteral("Error"))) << Status().toStdString();
        EXPECT_TRUE(Status().contains(QString::fromStdString(path))) << Status().toStdString();
        EXPECT_EQ(Model().rowCount(), 0); // no half-read tree
        EXPECT_FALSE(SC().ScanInProgress());
        EXPECT_TRUE(SC().btnScan->isVisible());
        EXPECT_TRUE(SC().cbDrive->isEnabled());
    }
}
