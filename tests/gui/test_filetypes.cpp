// The file-types view beside the tree over real scans: one row per extension with its shares,
// the row of files without an extension, descriptions from the MIME database, header sorting,
// the colour swatches in the treemap colours, "Show File Types", and "Select", which selects
// every file of the extension in the tree (collapsed folders too) and updates the tree's
// status text.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "gui/extview.h"
#include "gui/filetypecache.h"
#include "gui/filetypesdelegate.h"
#include "gui/filetypesmodel.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"

#include <QAction>
#include <QHeaderView>
#include <QTest>
#include <algorithm>
#include <map>
#include <set>

using namespace qz;
using namespace qz::test;

namespace {

class FileTypesFixture : public WindowFixture {
protected:
    TExtView& V() { return *W().FileTypes(); }
    TFileTypesModel& M() { return V().Model(); }
    int RowOf(const std::u16string& key) {
        const auto& rows = M().Rows().Rows;
        for (size_t i = 0; i < rows.size(); ++i)
            if (rows[i].ExtKey == key) return int(i);
        return -1;
    }
    QString Cell(const std::u16string& key, int column) {
        return M().index(RowOf(key), column).data().toString();
    }
    void ClickHeader(int column) {
        QHeaderView* h = V().header();
        const QPoint at(h->sectionViewportPosition(column) + h->sectionSize(column) / 2,
                        h->height() / 2);
        QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }
};

} // namespace

TEST_F(FileTypesFixture, RowsSharesDescriptionsAndSorting) {
    // Sizes in whole blocks: size and allocated size agree. 60 %, 30 %, 10 % by size.
    WriteSized(Data + "/t/a/one.aaa", 60 * 4096);
    WriteSized(Data + "/t/b/two.bbb", 20 * 4096);
    WriteSized(Data + "/t/b/three.BBB", 10 * 4096);
    WriteSized(Data + "/t/README", 4 * 4096);
    WriteSized(Data + "/t/notes.txt", 6 * 4096);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ASSERT_EQ(M().rowCount(), 4); // .aaa, .bbb (both spellings), .txt, and no extension
    EXPECT_EQ(Cell(u".bbb", ecFiles), QStringLiteral("2"));
    EXPECT_EQ(Cell(u".aaa", ecSize), QStringLiteral("240.0 KB"));
    EXPECT_EQ(Cell(u"", ecFileType), QStringLiteral("(no extension)"));
    EXPECT_EQ(Cell(u"", ecExtension), QString());

    // Sorted by "Size" (descending first): the size shares, largest first.
    ClickHeader(ecSize);
    EXPECT_EQ(M().Rows().SortColumn(), int(ecSize));
    EXPECT_EQ(M().Rows().SortDirection(), TSortDirection::Descending);
    EXPECT_EQ(V().header()->sortIndicatorSection(), int(ecSize));
    QStringList order, percents;
    for (int r = 0; r < M().rowCount(); ++r) {
        order << M().index(r, ecExtension).data().toString();
        percents << M().index(r, ecPercent).data().toString();
    }
    EXPECT_EQ(order, (QStringList{".aaa", ".bbb", ".txt", ""}));
    EXPECT_EQ(percents, (QStringList{"60.0 %", "30.0 %", "6.0 %", "4.0 %"}));
    ClickHeader(ecSize); // toggles
    EXPECT_EQ(M().index(0, ecExtension).data().toString(), QString());

    // "Extension" starts ascending; the swatch column does nothing.
    ClickHeader(ecExtension);
    EXPECT_EQ(M().index(0, ecExtension).data().toString(), QString());
    EXPECT_EQ(M().index(1, ecExtension).data().toString(), QStringLiteral(".aaa"));
    ClickHeader(ecSwatch);
    EXPECT_EQ(M().Rows().SortColumn(), int(ecExtension));
    // "File Type" sorts by the descriptions, fetched first; an unknown type by its extension.
    ClickHeader(ecFileType);
    const QString txt = Cell(u".txt", ecFileType);
    EXPECT_FALSE(txt.isEmpty()); // the MIME database names plain text
    EXPECT_TRUE(Cell(u".aaa", ecFileType).isEmpty());
    for (int r = 1; r < M().rowCount(); ++r) {
        const TExtNodeData& a = M().Rows().Rows[size_t(r - 1)];
        const TExtNodeData& b = M().Rows().Rows[size_t(r)];
        const std::u16string ka = a.ExtDescription.empty() ? a.ExtKey : a.ExtDescription;
        const std::u16string kb = b.ExtDescription.empty() ? b.ExtKey : b.ExtDescription;
        EXPECT_LE(QString::compare(ToQString(ka), ToQString(kb), Qt::CaseInsensitive), 0);
    }
    // The swatch column keeps its width when another column is dragged before it.
    QHeaderView* h = V().header();
    const int width = h->sectionSize(ecSwatch);
    h->moveSection(h->visualIndex(ecSize), 0);
    EXPECT_EQ(h->visualIndex(ecSwatch), 0);
    EXPECT_EQ(h->sectionSize(ecSwatch), width);
    EXPECT_EQ(h->sectionResizeMode(ecSwatch), QHeaderView::Fixed);
}

TEST_F(FileTypesFixture, SwatchesAreCushionsInTheExtensionsColours) {
    WriteSized(Data + "/t/a.jpg", 90000);
    WriteSized(Data + "/t/b.txt", 9000);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    TFileTypesDelegate& d = V().Delegate();
    for (const std::u16string key : {u".jpg", u".txt"}) {
        SCOPED_TRACE(Utf16ToUtf8(key));
        const TColor c = W().ExtColors().GetKeyColor(key);
        const QImage img = d.Swatch(c, 19, 20).toImage();
        ASSERT_EQ(img.width(), 19);
        const QColor centre = img.pixelColor(9, 10);
        const QColor want(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
        // Shading changes the lightness, not the hue.
        if (want.hsvSaturation() > 40) {
            EXPECT_NEAR(centre.hsvHue(), want.hsvHue(), 12);
        }
        // A cushion: lit towards the top left, darker towards the bottom right.
        EXPECT_GT(img.pixelColor(2, 2).lightness(), img.pixelColor(17, 18).lightness());
    }
    EXPECT_NE(W().ExtColors().GetKeyColor(u".jpg"), W().ExtColors().GetKeyColor(u".txt"));
    // F8 hides and shows the view; the choice is kept.
    QTest::keyClick(&W(), Qt::Key_F8);
    EXPECT_FALSE(V().isVisible());
    QTest::keyClick(&W(), Qt::Key_F8);
    EXPECT_TRUE(V().isVisible());
}

TEST_F(FileTypesFixture, SelectSelectsEveryFileOfTheExtensionInTheTree) {
    WriteSized(Data + "/t/pics/a.jpg", 3000);
    WriteSized(Data + "/t/pics/deep/er/b.JpG", 4000);
    WriteSized(Data + "/t/top.JPG", 5000);
    for (int i = 0; i < 6; ++i) WriteSized(Data + "/t/many/x" + std::to_string(i) + ".jpg", 100);
    WriteSized(Data + "/t/pics/c.jpeg", 1000);
    WriteSized(Data + "/t/pics/not.jpg.bak", 1000);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ClickRow(Tree().Roots()[0]); // the focused folder does not count after Select
    ASSERT_GE(RowOf(u".jpg"), 0);
    ASSERT_TRUE(V().SelectRowOf(u".jpg"));
    V().actSelectExt->trigger();
    std::set<std::string> names;
    for (TTreeNode* n : Tree().SelectedNodes()) names.insert(Utf16ToUtf8(n->Data.Rec->Name()));
    std::set<std::string> want{"a.jpg", "b.JpG", "top.JPG"};
    for (int i = 0; i < 6; ++i) want.insert("x" + std::to_string(i) + ".jpg");
    EXPECT_EQ(names, want);
    // The folders stay as they were: selected files in collapsed folders are not unfolded.
    EXPECT_FALSE(View().isExpanded(Model().IndexOf(Node("pics"))));
    EXPECT_TRUE(W().TreeStatus()->SelectionText().startsWith(
        QStringLiteral("Selected Files: 9  Total Size: 12.3 KB")))
        << W().TreeStatus()->SelectionText().toStdString();
    // Unfolding shows them selected.
    View().expand(Model().IndexOf(Node("pics")));
    EXPECT_TRUE(Node("pics/a.jpg")->Selected());
    // The row of files without an extension cannot select.
    WriteSized(Data + "/t/README", 10);
    QTest::keyClick(&W(), Qt::Key_F5);
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(V().SelectRowOf(u""));
    V().actSelectExt->trigger();
    EXPECT_EQ(Tree().SelectedCount(), 0u);
}

TEST_F(FileTypesFixture, PercentTextReadsOverTheBarInEveryLook) {
    // One extension: its share is 100 %, so its text lies wholly over the bar's fill.
    WriteSized(Data + "/t/one.aaa", 8 * 4096);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ASSERT_EQ(M().rowCount(), 1);
    V().header()->resizeSection(ecPercent, 90);
    struct Case {
        const char* what;
        QColor text, base;
    } cases[] = {
        {"dark look", QColor(0xF0, 0xF0, 0xF0), QColor(0x20, 0x20, 0x20)},
        {"light look", QColor(Qt::black), QColor(Qt::white)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QPalette pal = V().palette();
        pal.setColor(QPalette::Text, c.text);
        pal.setColor(QPalette::Base, c.base);
        V().setPalette(pal);
        V().clearSelection();
        QCoreApplication::processEvents();
        const QRect cell = V().visualRect(M().index(0, ecPercent));
        ASSERT_FALSE(cell.isEmpty());
        const QImage img = V().viewport()->grab(cell).toImage();
        // The bar's colour is the cell's commonest; the glyphs are the pixels farthest from it
        // (the frame left out).
        std::map<QRgb, int> counts;
        for (int y = 2; y < img.height() - 2; ++y)
            for (int x = 2; x < img.width() - 2; ++x) ++counts[img.pixel(x, y)];
        const QColor bar(std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) {
                             return a.second < b.second;
                         })->first);
        double best = 1;
        int glyphs = 0;
        for (int y = 2; y < img.height() - 2; ++y)
            for (int x = 2; x < img.width() - 2; ++x) {
                const double contrast = ContrastRatio(img.pixelColor(x, y), bar);
                glyphs += contrast > 1.5;
                best = std::max(best, contrast);
            }
        EXPECT_GT(glyphs, 10) << "no text over the bar";
        EXPECT_GE(best, 4.5) << "the text does not stand out from the bar";
    }
}
