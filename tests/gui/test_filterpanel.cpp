// The filter panel over real scans: Ctrl+Shift+F shows it, Enter applies, and Apply filters
// the scans on screen again without reading the disk: the rows the tree shows and their
// totals, with what was expanded and selected kept where it remains, the file list and the
// file types following; folders-only totals; a filter applied twice gives the same tree; the
// boxes' colours and mistakes; bad texts; Apply refused while a scan runs; the histories.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "gui/extview.h"
#include "gui/filelistpanel.h"
#include "gui/filetypesmodel.h"
#include "gui/filterapplier.h"
#include "gui/filteredit.h"
#include "gui/filterpanel.h"
#include "gui/historycombo.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <set>

using namespace qz;
using namespace qz::test;

namespace {

class FilterFixture : public WindowFixture {
protected:
    TFilterPanel& F() { return *W().Filters(); }
    void ShowPanel() {
        if (!F().isVisible())
            QTest::keyClick(&W(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
        ASSERT_TRUE(F().isVisible());
    }
    // Sets the boxes and presses Enter in the include box; waits for the pass to end.
    void Apply(const QString& include, const QString& exclude = {}) {
        ShowPanel();
        F().cbFilterInclude->SetText(include);
        F().cbFilterExclude->SetText(exclude);
        F().cbFilterInclude->Edit()->setFocus();
        QTest::keyClick(F().cbFilterInclude->Edit(), Qt::Key_Return);
        WaitApplied();
    }
    void WaitApplied() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !W().FilterApplier()->Busy(); }, 30000));
    }
    // The names shown below a node (children made as needed), sorted.
    std::set<std::string> Shown(const std::string& path) {
        std::set<std::string> names;
        TTreeNode* n = Node(path);
        if (!n) return names;
        for (TTreeNode* c : Tree().Children(n))
            names.insert(c->IsFileGroup ? "<group>" : Utf16ToUtf8(c->Data.Rec->Name()));
        return names;
    }
    uint64_t RootSize() { return Tree().Roots()[0]->Data.Rec->SubFoldersTotSize; }
};

} // namespace

TEST_F(FilterFixture, ApplyFiltersTheScansOnScreenKeepingExpansionAndSelection) {
    MakeSampleTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    EXPECT_FALSE(F().isVisible());
    const uint64_t all = RootSize();
    ClickRow(Node("docs/a.txt")); // unfolds docs
    ShowPanel();
    EXPECT_TRUE(F().cbFilterInclude->Edit()->hasFocus());
    EXPECT_TRUE(F().sbFilter->isChecked());

    Apply(QStringLiteral("*.txt"));
    EXPECT_EQ(Shown(""), (std::set<std::string>{"docs"}));
    EXPECT_EQ(RootSize(), 4000u); // only what is shown counts
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("docs"))));
    ASSERT_EQ(Tree().SelectedNodes().size(), 1u);
    EXPECT_EQ(Tree().SelectedNodes()[0], Node("docs/a.txt"));
    EXPECT_TRUE(W().TreeStatus()->SelectionText().startsWith(QStringLiteral("Selected Files: 1")));
    // The other views follow: one extension, and a file list of the two text files.
    EXPECT_EQ(W().FileTypes()->Model().rowCount(), 1);
    W().pcMain->setCurrentWidget(W().tsFiles);
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return !W().Files()->Loading() && W().Files()->List().Loaded(); }, 30000));
    EXPECT_EQ(W().Files()->List().Roots().size(), 2u);
    W().pcMain->setCurrentWidget(W().tsTree);

    // An exclude filter too. In name-only mode an excluded folder stays while anything below
    // it stays; a path term hides the folder with everything in it.
    Apply(QStringLiteral("*.txt"), QStringLiteral("b.txt"));
    EXPECT_EQ(Shown("docs"), (std::set<std::string>{"a.txt"}));
    EXPECT_EQ(RootSize(), 1000u);
    F().rbMatchFilenameFilter->setChecked(true);
    Apply(QString(), QStringLiteral("deep"));
    EXPECT_EQ(Shown("media"), (std::set<std::string>{"<group>", "deep"}));
    Apply(QString(), QStringLiteral("media/deep/"));
    EXPECT_EQ(Shown("media"), (std::set<std::string>{"<group>"}));
    EXPECT_EQ(RootSize(), all - 100);
    F().rbMatchPathFilter->setChecked(true);

    // Folders only: no file nodes, and the folders still count their files.
    Apply(QStringLiteral("=folders"));
    EXPECT_EQ(Shown(""), (std::set<std::string>{"docs", "media"}));
    EXPECT_EQ(Shown("media"), (std::set<std::string>{"deep"}));
    EXPECT_EQ(RootSize(), all);

    // Empty boxes clear the filtering; so does Apply with the panel hidden (Shift+F5).
    Apply(QStringLiteral("*.mkv"));
    EXPECT_EQ(Shown(""), (std::set<std::string>{"media"}));
    QTest::keyClick(&W(), Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_FALSE(F().isVisible());
    QTest::keyClick(&W(), Qt::Key_F5, Qt::ShiftModifier);
    WaitApplied();
    EXPECT_EQ(Shown(""), (std::set<std::string>{"docs", "media", "top.bin"}));
    EXPECT_EQ(RootSize(), all);
}

TEST_F(FilterFixture, AFilterAppliedTwiceGivesTheSameTree) {
    // "small" is larger than 2,000 bytes in all, though none of its files is.
    WriteSized(Data + "/t/small/a.dat", 1500);
    WriteSized(Data + "/t/small/b.dat", 1500);
    WriteSized(Data + "/t/big.dat", 5000);
    WriteSized(Data + "/t/tiny/c.dat", 10);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Apply(QStringLiteral(">2000"));
        EXPECT_EQ(Shown(""), (std::set<std::string>{"big.dat", "small"}));
    }
    // Another filter in between changes nothing either.
    Apply(QStringLiteral("*.dat"));
    EXPECT_EQ(Shown(""), (std::set<std::string>{"big.dat", "small", "tiny"}));
    Apply(QStringLiteral(">2000"));
    EXPECT_EQ(Shown(""), (std::set<std::string>{"big.dat", "small"}));
}

TEST_F(FilterFixture, TheBoxesColourTheirTermsAndShowMistakes) {
    MakeSampleTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ShowPanel();
    TFilterEdit* e = F().cbFilterInclude->Edit();
    using Runs = QList<QPair<int, int>>;
    struct Case {
        const char* text;
        Runs runs;
    } cases[] = {
        {"*.txt >10M", {{6, 4}}}, {"s>5 namelen>100", {{0, 3}, {4, 11}}},
        {"\"a>b\" !x", {{6, 2}}}, {"/^doc/ *.mkv", {{0, 6}}},
        {"plain words", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        e->setText(QString::fromUtf8(c.text));
        QCoreApplication::processEvents(); // the colours are given after the edit settles
        EXPECT_EQ(e->HighlightRuns(), c.runs);
    }
    // Drawn: the comparison in the highlight colour, right of the plain term.
    e->setText(QStringLiteral("*.txt >10M"));
    e->resize(300, e->height());
    View().setFocus(); // no cursor in the picture
    QCoreApplication::processEvents();
    const QImage img = e->grab().toImage();
    const QColor hc = TFilterEdit::HighlightColour();
    int lastText = -1, firstHighlight = img.width(), highlights = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 4; x < img.width() - 4; ++x) {
            const QColor c = img.pixelColor(x, y);
            const int d = std::abs(c.red() - hc.red()) + std::abs(c.green() - hc.green()) +
                          std::abs(c.blue() - hc.blue());
            if (d < 90 && c.saturation() > 80) {
                firstHighlight = std::min(firstHighlight, x);
                ++highlights;
            } else if (c.lightness() < 90) {
                lastText = std::max(lastText, x);
            }
        }
    EXPECT_GT(highlights, 10);
    EXPECT_GT(lastText, 0);
    EXPECT_LT(lastText, firstHighlight);

    // An expression that does not compile: a red frame, the message and its place.
    F().cbFilterInclude->SetText(QStringLiteral("*.txt /(abc/"));
    emit F().cbFilterInclude->textChangedByUser(F().cbFilterInclude->Text());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !e->Error().isEmpty(); }, 2000));
    EXPECT_TRUE(F().lblFilterError->isVisible());
    EXPECT_TRUE(F().lblFilterError->text().contains(QStringLiteral("/(abc/")));
    EXPECT_TRUE(F().lblFilterError->text().contains(QStringLiteral("character 12")))
        << F().lblFilterError->text().toStdString();
    EXPECT_EQ(e->ErrorPosition(), 11);
    F().cbFilterInclude->SetText(QStringLiteral("*.txt"));
    emit F().cbFilterInclude->textChangedByUser(F().cbFilterInclude->Text());
    ASSERT_TRUE(QTest::qWaitFor([&] { return e->Error().isEmpty(); }, 2000));
    EXPECT_FALSE(F().lblFilterError->isVisible());
}

TEST_F(FilterFixture, BadFilterTextsAreAppliedWithoutHarm) {
    MakeSampleTree(Data + "/t");
    for (int i = 0; i < 100; ++i)
        WriteSized(Data + "/t/slow/" + std::string(40, 'a') + std::to_string(i) + "!", 10);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    struct Case {
        QString text;
        bool marked; // a red frame on the box and the message under the boxes
    } cases[] = {
        {QStringLiteral("\"abc"), true},
        {QStringLiteral("!"), true},
        {QString(10000, QLatin1Char('y')), false},
        {QStringLiteral("/(a+)+$/"), true},
        {QStringLiteral("/(/"), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.left(12).toStdString());
        ShowPanel();
        F().cbFilterInclude->SetText(c.text);
        F().actApplyFilter->trigger();
        // The pass runs off the window's thread: the window goes on meanwhile.
        EXPECT_TRUE(W().FilterApplier()->Busy());
        WaitApplied();
        EXPECT_TRUE(F().btnApply->isEnabled());
        EXPECT_EQ(F().lblFilterError->isVisible(), c.marked)
            << F().lblFilterError->text().toStdString();
        EXPECT_EQ(!F().cbFilterInclude->Edit()->Error().isEmpty(), c.marked);
    }
    // The expression that kept exceeding the match limits is named as given up.
    Apply(QStringLiteral("/(a+)+$/"));
    EXPECT_TRUE(F().lblFilterError->text().contains(QStringLiteral("given up")))
        << F().lblFilterError->text().toStdString();
    Apply(QString());
    EXPECT_EQ(Shown("").size(), 4u);
}

TEST_F(FilterFixture, ApplyIsRefusedWhileAScanRunsAndTheHistoriesAreKept) {
    MakeSampleTree(Data + "/t");
    EXPECT_FALSE(F().btnApply->isEnabled()); // no scan yet
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ShowPanel();
    SC().ScanPath(QString::fromStdString(Data + "/t"));
    ASSERT_TRUE(SC().ScanInProgress());
    EXPECT_FALSE(F().btnApply->isEnabled());
    EXPECT_FALSE(F().cbFilterInclude->isEnabled());
    F().actApplyFilter->trigger();
    EXPECT_FALSE(W().FilterApplier()->Busy());
    ASSERT_TRUE(WaitForEnd());
    EXPECT_TRUE(F().btnApply->isEnabled());

    // Applying remembers both texts; one text once, newest first.
    Apply(QStringLiteral("*.txt"), QStringLiteral("b*"));
    Apply(QStringLiteral("*.mkv"));
    Apply(QStringLiteral("*.TXT"));
    EXPECT_EQ(F().cbFilterInclude->Items(), (std::vector<std::string>{"*.TXT", "*.mkv"}));
    EXPECT_EQ(F().cbFilterExclude->Items(), (std::vector<std::string>{"b*"}));
    // The special item empties a history and the settings file keeps that at once.
    F().cbFilterInclude->showPopup();
    F().cbFilterInclude->hidePopup();
    emit F().cbFilterInclude->activated(F().cbFilterInclude->count() - 1);
    EXPECT_TRUE(F().cbFilterInclude->Items().empty());
    EXPECT_EQ(F().cbFilterInclude->Text(), QStringLiteral("*.TXT"));
    std::ifstream ini(Dir / "cfg/Quarzel3.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("numitemsFI=0"), std::string::npos) << text;
    EXPECT_NE(text.find("searchFE1=b*"), std::string::npos) << text;
    EXPECT_NE(text.find("filterscanresults=TRUE"), std::string::npos) << text;
}
