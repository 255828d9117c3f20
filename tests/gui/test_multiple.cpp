// The multiple-selection dialog driven for real (shown, clicked, keys pressed): its list,
// ticking by a click anywhere on an item, Select All / Select None, adding and removing
// folders, the refusal of nested sources (with mount boundaries respected), the folders kept
// in the settings file, and the scan of the ticked sources together.
#include "tests/gui/window_fixture.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "base/text.h"
#include "gui/qtext.h"
#include "gui/selectmultiple.h"
#include "gui/spacesummary.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <filesystem>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

QListWidgetItem* Item(TfrmSelectMultiple& d, const std::string& text) {
    const auto found = d.clbDrives->findItems(QString::fromStdString(text), Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
}

void ClickItem(TfrmSelectMultiple& d, QListWidgetItem* item) {
    ASSERT_NE(item, nullptr);
    const QRect r = d.clbDrives->visualItemRect(item);
    // Anywhere on the item: its right end, far from the check box.
    QTest::mouseClick(d.clbDrives->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(r.right() - 5, r.center().y()));
}

std::vector<std::string> TickedTexts(TfrmSelectMultiple& d) {
    std::vector<std::string> out;
    for (const TSourceEntry& e : d.TickedEntries()) out.push_back(Utf16ToUtf8(e.Text));
    return out;
}

} // namespace

TEST_F(WindowFixture, MultipleSelectionTicksRefusesNestedSourcesAndScansTheRest) {
    MakeSampleTree(Data + "/a");
    MakeSampleTree(Data + "/b");
    WriteSized(Data + "/b/only-in-b.bin", 123);
    const std::string a = Data + "/a", b = Data + "/b", docs = Data + "/a/docs";
    QStringList added = {QString::fromStdString(a), QString::fromStdString(docs),
                         QString::fromStdString(b)};
    QStringList refusals;
    int shown = 0;
    SC().RunMultipleDialog = [&](TfrmSelectMultiple& d) -> bool {
        ++shown;
        d.AskFolder = [&] { return added.isEmpty() ? QString() : added.takeFirst(); };
        d.ShowMessage = [&](const QString& m) { refusals << m; };
        d.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
        // The drives of the source list are there; nothing is ticked yet.
        const int drives = d.clbDrives->count();
        EXPECT_GE(drives, 1);
        EXPECT_TRUE(TickedTexts(d).empty());
        for (QWidget* w : {static_cast<QWidget*>(d.clbDrives), static_cast<QWidget*>(d.btnOK),
                           static_cast<QWidget*>(d.btnAddFolder)})
            EXPECT_FALSE(w->accessibleName().isEmpty());

        // Two folders, one inside the other: refused, naming both; the inner one is current.
        QTest::mouseClick(d.btnAddFolder, Qt::LeftButton);
        QTest::mouseClick(d.btnAddFolder, Qt::LeftButton);
        EXPECT_EQ(TickedTexts(d), (std::vector<std::string>{a, docs}));
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(refusals.size(), 1);
        if (!refusals.isEmpty()) {
            EXPECT_TRUE(refusals[0].startsWith(
                QStringLiteral("\"%1\"\nis contained in\n\"%2\"")
                    .arg(QString::fromStdString(docs), QString::fromStdString(a))))
                << refusals[0].toStdString();
        }
        EXPECT_EQ(d.clbDrives->currentItem(), Item(d, docs));

        // The inner one goes; only the user's folders can be removed.
        QTest::mouseClick(d.btnRemoveFolder, Qt::LeftButton);
        EXPECT_EQ(Item(d, docs), nullptr);
        d.clbDrives->setCurrentRow(0); // a drive
        QTest::mouseClick(d.btnRemoveFolder, Qt::LeftButton);
        EXPECT_EQ(d.clbDrives->count(), drives + 1);
        QTest::mouseClick(d.btnAddFolder, Qt::LeftButton); // b, ticked as it comes

        // Ctrl+A ticks all: the drive holding the folders is refused with them.
        d.clbDrives->setFocus();
        QTest::keyClick(d.clbDrives, Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(TickedTexts(d).size(), size_t(d.clbDrives->count()));
        refusals.clear();
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(refusals.size(), 1);
        // Ctrl+D clears the ticks; a click anywhere on an item ticks it, a second one unticks.
        QTest::keyClick(d.clbDrives, Qt::Key_D, Qt::ControlModifier);
        EXPECT_TRUE(TickedTexts(d).empty());
        ClickItem(d, Item(d, a));
        ClickItem(d, Item(d, b));
        ClickItem(d, Item(d, b));
        ClickItem(d, Item(d, b));
        d.clbDrives->setCurrentItem(Item(d, a));
        QTest::keyClick(d.clbDrives, Qt::Key_Space); // Space toggles too
        QTest::keyClick(d.clbDrives, Qt::Key_Space);
        EXPECT_EQ(TickedTexts(d), (std::vector<std::string>{a, b}));
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
        return d.result() == QDialog::Accepted;
    };
    const int multiple = SC().cbDrive->EntryOfKind(DT_MULTIPLE);
    SC().cbDrive->setCurrentIndex(multiple);
    emit SC().cbDrive->activated(multiple); // its entry acts at once
    EXPECT_EQ(shown, 1);
    ASSERT_TRUE(WaitForEnd()) << Status().toStdString();

    // Two roots (in the tree's order: b holds more), both collapsed, each with its own files.
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_EQ(Model().index(0, 0).data().toString(), QString::fromStdString(b));
    EXPECT_EQ(Model().index(1, 0).data().toString(), QString::fromStdString(a));
    EXPECT_FALSE(View().isExpanded(Model().index(0, 0)));
    EXPECT_FALSE(View().isExpanded(Model().index(1, 0)));
    EXPECT_NE(Tree().FindNodeByPath(nullptr, Utf8ToUtf16(b + "/only-in-b.bin"), b.size() + 1),
              nullptr);
    EXPECT_EQ(W().SpaceSummary()->lblDrive->text(), QStringLiteral("<Multiple>"));
    EXPECT_EQ(SC().cbDrive->currentText(), QStringLiteral("<Select Multiple...>"));

    // The user's folders are in the settings file and in the source list.
    TIniFile ini(Dir / "cfg/Quarzel3.ini");
    EXPECT_EQ(LoadCustomFolders(ini), (std::vector<std::string>{a, b}));
    EXPECT_GE(SC().cbDrive->findText(QString::fromStdString(a)), 0);
    EXPECT_GE(SC().cbDrive->findText(QString::fromStdString(b)), 0);

    // F5 scans the same sources again without asking.
    WriteSized(a + "/new.bin", 10);
    QApplication::setActiveWindow(&W());
    QTest::keyClick(&W(), Qt::Key_F5);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(shown, 1);
    ASSERT_EQ(Model().rowCount(), 2);
    EXPECT_NE(Tree().FindNodeByPath(nullptr, Utf8ToUtf16(a + "/new.bin"), a.size() + 1), nullptr);
}

TEST_F(WindowFixture, SourcesOnOtherMountsAreNotInsideTheFolderAbove) {
    std::string why;
    if (!PrivateMountNamespace(&why)) GTEST_SKIP() << why;
    const std::string at = Data + "/disk", img = Dir / "disk.img";
    fs::create_directories(at);
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkfs.ext4 -q -F '" + img +
                            "' 2>&1 && mount -o loop '" + img + "' '" + at + "'"),
              0);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return FindDriveEntry(SC().cbDrive->List(), at) >= 0; }, 5000));
    fs::create_directories(at + "/inner");
    struct Case {
        std::vector<std::string> paths;
        bool accepted;
    } cases[] = {
        {{Data, at}, true},           // the walk of Data does not enter the mount
        {{Data, Data + "/x"}, false}, // the same file system
        {{at, at + "/inner"}, false},
        {{at, at}, false}, // the same folder twice
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paths[0] + " + " + c.paths[1]);
        fs::create_directories(c.paths[1]);
        TfrmSelectMultiple d(&W());
        TSourceList list;
        for (const std::string& p : c.paths) {
            TSourceEntry e;
            e.Kind = DT_USERFOLDER;
            e.Path = p;
            e.Text = Utf8ToUtf16(p) + (list.Entries.empty() ? u"" : u" ");
            list.Entries.push_back(e);
        }
        d.LoadList(list, {}, SC().Mounts);
        d.SelectAll(true);
        QStringList refusals;
        d.ShowMessage = [&](const QString& m) { refusals << m; };
        d.show();
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        EXPECT_EQ(d.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(refusals.isEmpty(), c.accepted);
    }
    qz::test::Run("umount '" + at + "'");
}
