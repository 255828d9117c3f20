// The folder tree in the window: what a rescan of the same source keeps, sorting by a header
// click as a layout change that keeps expansion, selection and the current row, keyboard
// navigation with Select Parent and Reselect Child, selection by mouse with its status text,
// and the display unit rewriting every cell.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"
#include "gui/treedelegate.h"
#include "gui/treemodel.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <cstring>
#include <fstream>

using namespace qz;
using namespace qz::test;

namespace {

std::vector<TTreeNode*> Selected(TDisplayTree& t) {
    return t.SelectedNodes();
}

std::string NameOf(const TTreeNode* n) {
    return n ? Utf16ToUtf8(n->Data.Rec->Name()) : std::string("(none)");
}

} // namespace

TEST_F(WindowFixture, RescanOfTheSameSourceKeepsExpansionAndSelection) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    // The user unfolds docs and media/deep, and picks a.txt and media/deep/x.bin.
    ClickRow(Node("docs/a.txt"));
    ClickRow(Node("media/deep/x.bin"), Qt::ControlModifier);
    ASSERT_EQ(Selected(Tree()).size(), 2u);
    WriteSized(Data + "/tree/docs/new.txt", 10); // the disk changed meanwhile

    QTest::keyClick(&W(), Qt::Key_F5); // the same source again
    ASSERT_TRUE(WaitForEnd());
    ASSERT_NE(Node("docs"), nullptr);
    for (const char* folder : {"docs", "media", "media/deep"}) {
        SCOPED_TRACE(folder);
        EXPECT_TRUE(Node(folder)->Expanded());
        EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node(folder))));
    }
    const auto sel = Selected(Tree());
    ASSERT_EQ(sel.size(), 2u);
    EXPECT_EQ(NameOf(sel[0]) + " " + NameOf(sel[1]) == "a.txt x.bin" ||
                  NameOf(sel[0]) + " " + NameOf(sel[1]) == "x.bin a.txt",
              true);
    EXPECT_NE(Node("docs/new.txt"), nullptr); // the new scan is shown, not the old one
    EXPECT_TRUE(W().TreeStatus()->SelectionText().startsWith(QStringLiteral("Selected Files: 2")))
        << W().TreeStatus()->SelectionText().toStdString();

    // Another source: nothing is carried over.
    MakeSampleTree(Data + "/other");
    ASSERT_TRUE(ScanAndWait(Data + "/other"));
    EXPECT_TRUE(Selected(Tree()).empty());
    EXPECT_FALSE(Node("docs")->Expanded());
}

TEST_F(WindowFixture, HeaderClickSortsAsALayoutChangeKeepingExpansionSelectionAndFocus) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    ClickRow(Node("docs/b.txt"));
    ClickRow(Node("media/deep/x.bin"), Qt::ControlModifier);
    TTreeNode* focused = Tree().FocusedNode();
    ASSERT_EQ(NameOf(focused), "x.bin");
    QSignalSpy resets(&Model(), &QAbstractItemModel::modelReset);
    QSignalSpy layouts(&Model(), &QAbstractItemModel::layoutChanged);

    struct Case {
        int column;
        TSortDirection direction;
    } clicks[] = {
        {tcFolder, TSortDirection::Ascending},  // another column: "Folder" starts ascending
        {tcFolder, TSortDirection::Descending}, // the same column toggles
        {tcSize, TSortDirection::Descending},   // the others start descending
    };
    QHeaderView* h = View().header();
    for (const Case& c : clicks) {
        SCOPED_TRACE(c.column);
        const QPoint at(h->sectionViewportPosition(c.column) + h->sectionSize(c.column) / 2,
                        h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        EXPECT_EQ(Tree().SortColumn(), c.column);
        EXPECT_EQ(Tree().SortDirection(), c.direction);
        EXPECT_EQ(h->sortIndicatorSection(), c.column);
        for (const char* folder : {"docs", "media", "media/deep"})
            EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node(folder)))) << folder;
        ASSERT_EQ(Selected(Tree()).size(), 2u);
        EXPECT_EQ(TTreeModel::NodeOf(View().currentIndex()), focused);
        EXPECT_EQ(Tree().FocusedNode(), focused);
    }
    EXPECT_EQ(resets.count(), 0);
    EXPECT_EQ(layouts.count(), 3);
    // Sorted by size, descending, and the view shows the rows in the model's new order.
    const QModelIndex root = Model().index(0, 0);
    uint64_t last = UINT64_MAX;
    for (int r = 0; r < Model().rowCount(root); ++r) {
        const QModelIndex i = Model().index(r, 0, root);
        EXPECT_LE(TDisplayTree::NodeSize(TTreeModel::NodeOf(i)), last);
        last = TDisplayTree::NodeSize(TTreeModel::NodeOf(i));
    }
    EXPECT_EQ(View().indexBelow(root), Model().index(0, 0, root));
}

TEST_F(WindowFixture, KeyboardMovesSelectsAndStepsToTheParentAndBack) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    View().setFocus();
    ClickRow(Node("")); // the root
    // Rows under the root by allocated size: media, top.bin, docs (sizes make the order).
    QTest::keyClick(&View(), Qt::Key_Down);
    TTreeNode* first = Tree().FocusedNode();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Parent, Node(""));
    EXPECT_EQ(Selected(Tree()), std::vector<TTreeNode*>{first});
    // Shift+Down extends, Ctrl+Down only moves the focus.
    QTest::keyClick(&View(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(Selected(Tree()).size(), 2u);
    QTest::keyClick(&View(), Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(Selected(Tree()).size(), 2u);
    EXPECT_FALSE(Tree().FocusedNode()->Selected());
    QTest::keyClick(&View(), Qt::Key_Space); // selects the focused row too
    EXPECT_EQ(Selected(Tree()).size(), 3u);

    // Into docs with Right (unfolds) and Down; then keypad "/" and "*".
    ClickRow(Node("docs"));
    QTest::keyClick(&View(), Qt::Key_Right);
    EXPECT_TRUE(Node("docs")->Expanded());
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("docs"))));
    QTest::keyClick(&View(), Qt::Key_Down);
    TTreeNode* child = Tree().FocusedNode();
    ASSERT_EQ(child->Parent, Node("docs"));
    EXPECT_FALSE(W().Tree()->actReselectChild->isEnabled());
    QTest::keyClick(&View(), Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_EQ(Selected(Tree()), std::vector<TTreeNode*>{Node("docs")});
    EXPECT_EQ(TTreeModel::NodeOf(View().currentIndex()), Node("docs"));
    EXPECT_TRUE(W().Tree()->actReselectChild->isEnabled());
    QTest::keyClick(&View(), Qt::Key_Asterisk, Qt::KeypadModifier);
    EXPECT_EQ(Selected(Tree()), std::vector<TTreeNode*>{child});
    EXPECT_EQ(TTreeModel::NodeOf(View().currentIndex()), child);
    EXPECT_FALSE(W().Tree()->actReselectChild->isEnabled());

    // A parent step from a file in a file group lands on the folder, not the group.
    ClickRow(Node("media/clip3.mkv"));
    QTest::keyClick(&View(), Qt::Key_Slash, Qt::KeypadModifier);
    EXPECT_EQ(Selected(Tree()), std::vector<TTreeNode*>{Node("media")});
    // A user's own pick forgets the remembered child.
    ClickRow(Node("top.bin"));
    EXPECT_FALSE(W().Tree()->actReselectChild->isEnabled());
    // Left folds docs again (from its row).
    ClickRow(Node("docs"));
    QTest::keyClick(&View(), Qt::Key_Left);
    EXPECT_FALSE(Node("docs")->Expanded());
    EXPECT_FALSE(View().isExpanded(Model().IndexOf(Node("docs"))));
}

TEST_F(WindowFixture, SelectionStatusExpandAllResetAndDisplayUnit) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    // A folder counts its files once, even with a file inside it picked too.
    ClickRow(Node("docs"));
    ClickRow(Node("docs/a.txt"), Qt::ControlModifier);
    EXPECT_TRUE(W().TreeStatus()->SelectionText().startsWith(
        QStringLiteral("Selected Files: 2  Total Size: 3.9 KB")))
        << W().TreeStatus()->SelectionText().toStdString();
    // Shift+click: the shown rows from the anchor to the row clicked.
    ClickRow(Node("docs"));
    const QModelIndex docs = Model().IndexOf(Node("docs"));
    ClickRow(TTreeModel::NodeOf(Model().index(1, 0, docs)), Qt::ShiftModifier);
    EXPECT_EQ(Selected(Tree()).size(), 3u);

    // The row under the mouse shows its path in the second panel.
    for (const char* path : {"", "docs/a.txt"}) {
        const QRect row = View().visualRect(Model().IndexOf(Node(path)));
        QTest::mouseMove(View().viewport(), row.center() + QPoint(std::strlen(path), 0));
        EXPECT_EQ(W().TreeStatus()->pnlHotPath->text(),
                  QString::fromStdString(Data + "/tree" + (*path ? "/" : "") + path));
    }

    W().Tree()->actExpandAll->trigger();
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("media/deep"))));
    EXPECT_TRUE(Node("media/deep")->Expanded());
    W().Tree()->actResetTreeExpansion->trigger();
    EXPECT_TRUE(Selected(Tree()).empty());
    EXPECT_FALSE(View().isExpanded(Model().IndexOf(Node("docs"))));
    EXPECT_TRUE(View().isExpanded(Model().index(0, 0))); // one scan: its root stays open

    // Display unit: every cell and the settings file follow at once.
    ClickRow(Node("top.bin"));
    W().actDisplayUnit[int(TDisplayUnit::KB)]->trigger();
    EXPECT_EQ(Model().IndexOf(Node("top.bin")).siblingAtColumn(tcSize).data().toString(),
              QStringLiteral("48.8 KB"));
    EXPECT_TRUE(W().TreeStatus()->SelectionText().contains(QStringLiteral("48.8 KB")));
    W().actDisplayUnit[int(TDisplayUnit::Bytes)]->trigger();
    EXPECT_EQ(Model().IndexOf(Node("top.bin")).siblingAtColumn(tcSize).data().toString(),
              QStringLiteral("50,000"));
    std::ifstream ini(Dir / "cfg/Quarzel3.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("actDisplayBytes_Checked=TRUE"), std::string::npos) << text;
    EXPECT_NE(text.find("actDisplayKB_Checked=FALSE"), std::string::npos);
}

TEST_F(WindowFixture, ShareBarTextReadsOverTheFillInEveryLook) {
    MakeSampleTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    TTreeNode* root = Tree().Roots()[0];
    // The root's share is 100 %: its text lies wholly over the fill.
    const QColor bar = TTreeDelegate::BarColor(root->Depth());
    struct Case {
        const char* what;
        QColor text, base;
        bool selected;
    } cases[] = {
        {"dark look", QColor(0xF0, 0xF0, 0xF0), QColor(0x20, 0x20, 0x20), false},
        {"light look, selected row", QColor(Qt::black), QColor(Qt::white), true},
        {"light look", QColor(Qt::black), QColor(Qt::white), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QPalette pal = View().palette();
        pal.setColor(QPalette::Text, c.text);
        pal.setColor(QPalette::Base, c.base);
        pal.setColor(QPalette::HighlightedText, QColor(Qt::white));
        View().setPalette(pal);
        ClickRow(c.selected ? root : Node("docs"));
        ASSERT_EQ(root->Selected(), c.selected);
        QCoreApplication::processEvents();
        const QRect cell = View().visualRect(Model().IndexOf(root, tcPercent));
        ASSERT_FALSE(cell.isEmpty());
        const QImage img = View().viewport()->grab(cell).toImage();
        // The glyph pixels are those farthest from the fill's colour inside the bar (the frame
        // and the focus rectangle left out).
        double best = 1;
        int glyphs = 0;
        for (int y = 3; y < img.height() - 3; ++y)
            for (int x = 3; x < img.width() - 3; ++x) {
                const QColor px = img.pixelColor(x, y);
                if (ContrastRatio(px, bar) > 1.5) ++glyphs;
                best = std::max(best, ContrastRatio(px, bar));
            }
        EXPECT_GT(glyphs, 10) << "no text over the bar";
        EXPECT_GE(best, 4.5) << "the text does not stand out from the bar";
    }
}
