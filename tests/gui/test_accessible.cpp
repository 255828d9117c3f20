// What assistive technology reads of the folder tree, through QAccessible as the AT-SPI bridge
// asks it: the rows shown with their cells, which rows are selected (the display tree's own
// selection, not Qt's selection model), the focused cell, and rows selected, unselected,
// expanded and collapsed through the interface.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/statuspanel.h"

#include <QAccessible>
#include <QHeaderView>
#include <QTest>
#include <set>

using namespace qz;
using namespace qz::test;

namespace {

class AccessibleTreeFixture : public WindowFixture {
protected:
    QAccessibleInterface* Table() {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(&View());
        EXPECT_NE(i, nullptr);
        return i;
    }
    QAccessibleTableInterface* Rows() { return Table()->tableInterface(); }
    // The name cells of the rows, as a screen reader reads them top down.
    std::vector<std::string> RowNames() {
        std::vector<std::string> names;
        for (int r = 0; r < Rows()->rowCount(); ++r)
            names.push_back(Rows()->cellAt(r, tcFolder)->text(QAccessible::Name).toStdString());
        return names;
    }
    // The rows whose cells say "selected", by name.
    std::vector<std::string> SelectedByState() {
        std::vector<std::string> names;
        for (int r = 0; r < Rows()->rowCount(); ++r)
            for (int c = 0; c < Rows()->columnCount(); ++c) {
                QAccessibleInterface* cell = Rows()->cellAt(r, c);
                EXPECT_EQ(cell->state().selected, cell->tableCellInterface()->isSelected());
                if (c == tcFolder && cell->state().selected) {
                    names.push_back(cell->text(QAccessible::Name).toStdString());
                } else if (c != tcFolder) {
                    EXPECT_EQ(cell->state().selected, Rows()->cellAt(r, tcFolder)->state().selected)
                        << "row " << r << " column " << c;
                }
            }
        return names;
    }
    std::vector<std::string> SelectedByTable() {
        std::vector<std::string> names;
        for (QAccessibleInterface* cell : Rows()->selectedCells())
            names.push_back(cell->text(QAccessible::Name).toStdString());
        return names;
    }
    int RowOf(const std::string& name) {
        const std::vector<std::string> names = RowNames();
        for (size_t r = 0; r < names.size(); ++r)
            if (names[r] == name) return int(r);
        return -1;
    }
};

std::vector<std::string> Names(std::initializer_list<const char*> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

} // namespace

TEST_F(AccessibleTreeFixture, RowsCellsAndTheSelectionAreReadFromTheDisplayTree) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    ASSERT_NE(Rows(), nullptr);
    EXPECT_EQ(Table()->role(), QAccessible::Tree);
    EXPECT_EQ(Table()->text(QAccessible::Name), QStringLiteral("Folder tree"));
    EXPECT_TRUE(Table()->state().multiSelectable);
    const std::string root = Utf16ToUtf8(Node("")->Data.Rec->Name());

    // The rows shown: the root and its children, largest first; folders say they unfold.
    ClickRow(Node("docs"));
    ASSERT_EQ(RowNames(), Names({root.c_str(), "media", "top.bin", "docs"}));
    QAccessibleInterface* docs = Rows()->cellAt(RowOf("docs"), tcFolder);
    EXPECT_EQ(docs->role(), QAccessible::TreeItem);
    EXPECT_TRUE(docs->state().expandable);
    EXPECT_TRUE(docs->state().collapsed);
    EXPECT_FALSE(Rows()->cellAt(RowOf("top.bin"), tcFolder)->state().expandable);
    // Each cell reads as the column shows it; the header row names the columns.
    for (int c = 0; c < Rows()->columnCount(); ++c) {
        SCOPED_TRACE(c);
        QAccessibleInterface* cell = Rows()->cellAt(RowOf("docs"), c);
        EXPECT_EQ(cell->text(QAccessible::Name),
                  Model().data(Model().IndexOf(Node("docs"), c)).toString());
        EXPECT_EQ(cell->tableCellInterface()->rowIndex(), RowOf("docs"));
        EXPECT_EQ(cell->tableCellInterface()->columnIndex(), c);
        ASSERT_EQ(cell->tableCellInterface()->columnHeaderCells().size(), 1);
        EXPECT_EQ(cell->tableCellInterface()->columnHeaderCells()[0]->text(QAccessible::Name),
                  Model().headerData(c, Qt::Horizontal).toString());
        // A child's index leads back to it.
        EXPECT_EQ(Table()->child(Table()->indexOfChild(cell)), cell);
    }
    EXPECT_EQ(Rows()->cellAt(RowOf("top.bin"), tcSize)->text(QAccessible::Name).toStdString(),
              Utf16ToUtf8(Model().CellText(Node("top.bin"), tcSize)));

    // The selection made with the mouse and keys, read three ways.
    ClickRow(Node("top.bin"), Qt::ControlModifier);
    EXPECT_EQ(SelectedByState(), Names({"top.bin", "docs"}));
    EXPECT_EQ(SelectedByTable(), Names({"top.bin", "docs"}));
    EXPECT_EQ(Rows()->selectedRowCount(), 2);
    EXPECT_TRUE(Rows()->isRowSelected(RowOf("top.bin")));
    EXPECT_FALSE(Rows()->isRowSelected(RowOf("media")));

    // Unfolding adds rows below the folder; the selection stays with its nodes.
    ClickRow(Node("docs"));
    QTest::keyClick(&View(), Qt::Key_Right);
    ASSERT_TRUE(Node("docs")->Expanded());
    EXPECT_EQ(RowNames(), Names({root.c_str(), "media", "top.bin", "docs", "b.txt", "a.txt"}));
    EXPECT_TRUE(Rows()->cellAt(RowOf("docs"), tcFolder)->state().expanded);
    QTest::keyClick(&View(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(SelectedByState(), Names({"docs", "b.txt"}));
    // The focused cell is the current row's.
    View().setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return View().hasFocus(); }));
    QAccessibleInterface* focus = Table()->focusChild();
    ASSERT_NE(focus, nullptr);
    EXPECT_EQ(focus->text(QAccessible::Name), QStringLiteral("b.txt"));
    EXPECT_TRUE(focus->state().focused);
    EXPECT_FALSE(Rows()->cellAt(RowOf("docs"), tcFolder)->state().focused);
}

TEST_F(AccessibleTreeFixture, RowsSelectedAndUnfoldedThroughTheInterfaceChangeTheTree) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    ClickRow(Node("media"));
    // Selecting rows adds them to the display tree's selection, as Ctrl+click does: the status
    // line counts media's six files and top.bin.
    ASSERT_TRUE(Rows()->selectRow(RowOf("top.bin")));
    EXPECT_TRUE(Node("top.bin")->Selected());
    EXPECT_TRUE(Node("media")->Selected());
    EXPECT_EQ(SelectedByTable(), Names({"media", "top.bin"}));
    EXPECT_TRUE(W().TreeStatus()->SelectionText().contains(QStringLiteral("Selected Files: 7")))
        << W().TreeStatus()->SelectionText().toStdString();
    ASSERT_TRUE(Rows()->unselectRow(RowOf("media")));
    EXPECT_FALSE(Node("media")->Selected());
    EXPECT_EQ(SelectedByState(), Names({"top.bin"}));
    EXPECT_FALSE(Rows()->selectRow(Rows()->rowCount())); // no such row
    EXPECT_FALSE(Rows()->selectRow(-1));

    // The name cell's actions: press selects only that row; toggle unfolds and folds.
    QAccessibleInterface* media = Rows()->cellAt(RowOf("media"), tcFolder);
    QAccessibleActionInterface* act = media->actionInterface();
    ASSERT_NE(act, nullptr);
    ASSERT_TRUE(act->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    EXPECT_FALSE(Rows()
                     ->cellAt(RowOf("top.bin"), tcFolder)
                     ->actionInterface()
                     ->actionNames()
                     .contains(QAccessibleActionInterface::toggleAction()));
    act->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tree().SelectedNodes(), std::vector<TTreeNode*>{Node("media")});
    const int before = Rows()->rowCount();
    act->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("media"))));
    EXPECT_TRUE(Node("media")->Expanded());
    const int after = Rows()->rowCount();
    EXPECT_GT(after, before);
    // The rows below the folder follow: the row after media is its first child now.
    EXPECT_EQ(Rows()->cellAt(RowOf("media") + 1, tcFolder)->text(QAccessible::Name).toStdString(),
              Utf16ToUtf8(Model().CellText(Tree().Children(Node("media"))[0], tcFolder)));
    act->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(Rows()->rowCount(), before);

    // Sorting by another column reorders the rows read.
    const std::vector<std::string> bySize = RowNames();
    QTest::mouseClick(View().header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(View().header()->sectionViewportPosition(tcFolder) + 5, 5));
    const std::vector<std::string> byName = RowNames();
    EXPECT_NE(byName, bySize);
    EXPECT_EQ(std::set<std::string>(byName.begin(), byName.end()),
              std::set<std::string>(bySize.begin(), bySize.end()));

    // A new scan: the old cells go, the new rows are read.
    MakeSampleTree(Data + "/other");
    WriteSized(Data + "/other/extra.bin", 5);
    ASSERT_TRUE(ScanAndWait(Data + "/other"));
    ClickRow(Node("extra.bin"));
    EXPECT_NE(RowOf("extra.bin"), -1);
    EXPECT_EQ(SelectedByTable(), Names({"extra.bin"}));
}
