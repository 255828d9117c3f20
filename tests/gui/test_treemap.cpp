// The treemap in the window over real scans: hovering names the item (status text, hint,
// gray outline), a click selects in the tree, a double-click zooms in and steps out, the
// keypad keys zoom, the tree's selection is outlined, the context menus, resizing draws once
// after the last size, the option toggles and the Colors dialog, a deleted zoom folder is
// left, and images saved from the dialog (byte for byte what a run without a window writes,
// the screen's answers untouched, bad sizes and folders refused with a message).
#include "tests/gui/window_fixture.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "base/text.h"
#include "engine/tree.h"
#include "gui/colorsdialog.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"
#include "gui/treemapexport.h"
#include "gui/treemappanel.h"
#include "gui/treemapview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <fstream>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

class TreemapFixture : public WindowFixture {
protected:
    TTreemapPanel& P() { return *W().Treemap(); }
    TTreemapView& Surface() { return *P().pbTreemap; }
    // Waits until a picture newer than the before-th is on screen at the surface's size (the
    // window may still grow after a scan, as the figures around it fill in) and nothing is
    // being drawn.
    bool WaitForPicture(int before, int ms = 30000) {
        return QTest::qWaitFor(
            [&] {
                return P().PicturesShown() > before && !P().Drawing() && !Surface().Stretched();
            },
            ms);
    }
    bool ScanAndDraw(const std::string& path) {
        const int before = P().PicturesShown();
        return ScanAndWait(path) && WaitForPicture(before);
    }
    // The point of the surface over the middle of a node's rectangle.
    QPoint At(const TTreeNode* n) {
        QPoint p(-1, -1);
        EXPECT_TRUE(P().CentreOf(n, p)) << (n ? "node not in the picture" : "no node");
        return Surface().FromPicture(p).toPoint();
    }
    QString HotPath() { return W().TreeStatus()->pnlHotPath->text(); }
    // A double-click as the platform delivers it: a press (which selects), a release, then the
    // double-click in place of the second press.
    void DoubleClick(QPoint p) {
        QTest::mouseClick(&Surface(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseDClick(&Surface(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(&Surface(), Qt::LeftButton, Qt::NoModifier, p);
    }
    void Click(QPoint p, Qt::KeyboardModifiers mods = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(&Surface(), button, mods, p);
        QApplication::processEvents(); // the outlines follow the selection
    }
    // The record of the hovered item (nil: none).
    PMFT_RECORD HoveredRecord() {
        const TMapHit h = P().Hovered();
        return h.Item == kNoItem ? nullptr : P().Picture()->Layout.Items[h.Item].Rec;
    }
    int Outlines(QColor c) {
        int n = 0;
        for (const TMapOutline& o : Surface().Outlines()) n += o.Color == c;
        return n;
    }
    std::string Path(const std::string& rel) {
        return Data + "/tree" + (rel.empty() ? "" : "/" + rel);
    }
};

const QColor kWhite(0xFF, 0xFF, 0xFF), kGray(0xB0, 0xB0, 0xB0), kRed(0xFF, 0, 0);

} // namespace

TEST_F(TreemapFixture, HoverNamesTheItemWithStatusHintAndOutline) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    EXPECT_EQ(P().Caption(), QString::fromStdString("[" + Path("") + "]"));
    TTreeNode* top = Node("top.bin");
    QTest::mouseMove(&Surface(), At(top));
    EXPECT_EQ(HotPath(), QString::fromStdString(Path("top.bin")));
    EXPECT_EQ(HoveredRecord(), top->Data.Rec);
    EXPECT_EQ(Outlines(kGray), 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().HintText().isEmpty(); }, 2000));
    EXPECT_EQ(P().HintText(), QString::fromStdString(Path("top.bin")) +
                                  QStringLiteral("\nSize: 48.8 KB\nAllocated: 52.0 KB"));
    // A folder (hovered through its name strip or a gap) shows its totals; the margin holds
    // nothing.
    QTest::mouseMove(&Surface(), QPoint(1, 1));
    EXPECT_EQ(HotPath(), QString());
    EXPECT_EQ(HoveredRecord(), nullptr);
    EXPECT_EQ(Outlines(kGray), 0);
    // A grouped file: its own path.
    TTreeNode* clip = Node("media/clip3.mkv");
    ASSERT_NE(clip, nullptr);
    ASSERT_TRUE(clip->Parent->IsFileGroup);
    QTest::mouseMove(&Surface(), At(clip));
    EXPECT_EQ(HotPath(), QString::fromStdString(Path("media/clip3.mkv")));
}

TEST_F(TreemapFixture, ClicksSelectInTheTreeAndTheSelectionIsOutlined) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    TTreeNode* b = Node("docs/b.txt");
    TTreeNode* x = Node("media/deep/x.bin");
    Click(At(b));
    ASSERT_EQ(Tree().SelectedNodes(), std::vector<TTreeNode*>{b});
    EXPECT_EQ(Tree().FocusedNode(), b);
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("docs"))));
    EXPECT_EQ(Outlines(kWhite), 1);
    // Ctrl adds, a plain click replaces, the middle button changes nothing.
    Click(At(x), Qt::ControlModifier);
    EXPECT_EQ(Tree().SelectedCount(), 2u);
    EXPECT_EQ(Outlines(kWhite), 2);
    EXPECT_FALSE(View().isExpanded(Model().IndexOf(Node("docs")))) << "the first scan folded up";
    EXPECT_TRUE(View().isExpanded(Model().IndexOf(Node("media/deep"))));
    Click(At(b), Qt::NoModifier, Qt::MiddleButton);
    EXPECT_EQ(Tree().SelectedCount(), 2u);
    Click(At(x));
    EXPECT_EQ(Tree().SelectedNodes(), std::vector<TTreeNode*>{x});
    // Selecting in the tree outlines on the picture.
    ClickRow(Node("docs"));
    QApplication::processEvents();
    ASSERT_EQ(Outlines(kWhite), 1);
    QPoint centre;
    ASSERT_TRUE(P().CentreOf(Node("docs"), centre));
    const QRectF& r = Surface().Outlines().front().Rect;
    EXPECT_TRUE(r.contains(centre)) << "the outline is the folder's";
}

TEST_F(TreemapFixture, DoubleClickZoomsInAndOutAndTheKeypadToo) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    TTreeNode* docs = Node("docs");
    int before = P().PicturesShown();
    DoubleClick(At(Node("docs/a.txt")));
    EXPECT_EQ(P().TreemapRoot(), docs);
    ASSERT_TRUE(WaitForPicture(before));
    EXPECT_TRUE(P().Picture()->Layout.Zoomed);
    EXPECT_EQ(P().Caption(), QString::fromStdString("[" + Path("docs") + "]"));
    EXPECT_TRUE(P().sbUnzoom->isVisible());
    EXPECT_TRUE(P().sbResetTreeExpansion->isVisible());
    EXPECT_EQ(Tree().SelectedNodes(), std::vector<TTreeNode*>{docs});
    // Again on a file of the zoom folder: one level out, to the scan.
    before = P().PicturesShown();
    DoubleClick(At(Node("docs/b.txt")));
    EXPECT_EQ(P().TreemapRoot(), Node(""));
    ASSERT_TRUE(WaitForPicture(before));
    // The keypad: minus leaves the zoom, plus zooms into the selection's folder.
    QTest::keyClick(&W(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(P().TreemapRoot(), nullptr);
    EXPECT_FALSE(P().sbUnzoom->isVisible());
    EXPECT_FALSE(P().actUnzoom->isEnabled());
    ClickRow(Node("media/deep/x.bin"));
    before = P().PicturesShown();
    QTest::keyClick(&W(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(P().TreemapRoot(), Node("media/deep"));
    ASSERT_TRUE(WaitForPicture(before));
    EXPECT_EQ(P().Caption(), QString::fromStdString("[" + Path("media/deep") + "]"));
    // A grouped file zooms into its file group; the caption is the group's row text.
    before = P().PicturesShown();
    for (int i = 0; i < 3; ++i) QTest::keyClick(&W(), Qt::Key_Minus, Qt::KeypadModifier);
    ASSERT_EQ(P().TreemapRoot(), nullptr);
    ASSERT_TRUE(WaitForPicture(before));
    before = P().PicturesShown();
    DoubleClick(At(Node("media/clip1.mkv")));
    ASSERT_NE(P().TreemapRoot(), nullptr);
    EXPECT_TRUE(P().TreemapRoot()->IsFileGroup);
    ASSERT_TRUE(WaitForPicture(before));
    EXPECT_EQ(P().Caption(), QString::fromStdString("[5 files in " + Path("media") + "]"));
    // Reset tree expansion (F4, or the caption bar's button) leaves the zoom.
    before = P().PicturesShown();
    QTest::mouseClick(P().sbResetTreeExpansion, Qt::LeftButton);
    EXPECT_EQ(P().TreemapRoot(), nullptr);
    ASSERT_TRUE(WaitForPicture(before));
    EXPECT_FALSE(P().Picture()->Layout.Zoomed);
}

TEST_F(TreemapFixture, ContextMenusForItemsAndForTheRest) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    TTreeNode* hooked = nullptr;
    P().FillContextMenu = [&](QMenu& menu, TTreeNode* node) {
        hooked = node;
        menu.addAction(QStringLiteral("Delete"));
    };
    TTreeNode* a = Node("docs/a.txt");
    const QPoint p = At(a);
    QContextMenuEvent item(QContextMenuEvent::Mouse, p, Surface().mapToGlobal(p));
    QApplication::sendEvent(&Surface(), &item);
    EXPECT_EQ(hooked, a);
    EXPECT_EQ(Tree().SelectedNodes(), std::vector<TTreeNode*>{a}) << "the item is selected";
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* act : menu->actions())
        if (!act->isSeparator()) texts << act->text();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Delete"), QStringLiteral("Zoom Treemap"),
                                  QStringLiteral("Unzoom Treemap")}));
    menu->close();
    // Off the items: the treemap's options.
    QContextMenuEvent off(QContextMenuEvent::Mouse, QPoint(1, 1),
                          Surface().mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&Surface(), &off);
    ASSERT_EQ(QApplication::activePopupWidget(), P().puTreeOptions);
    EXPECT_EQ(P().puTreeOptions->actions().size(), 4);
    P().puTreeOptions->close();
}

TEST_F(TreemapFixture, ResizingDrawsOnceAfterTheLastSize) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    // Resizes closer together than this count as one drag; long enough that a busy machine
    // does not split the drag below.
    P().ResizeSettleMs = 400;
    const int before = P().PicturesShown();
    // A drag: many sizes in a row, faster than a drawing settles.
    for (int i = 1; i <= 12; ++i) {
        W().resize(1100 + 15 * i, 720 + 9 * i);
        QTest::qWait(5);
    }
    EXPECT_TRUE(Surface().Stretched() || P().PicturesShown() == before)
        << "meanwhile the old picture is shown";
    ASSERT_TRUE(WaitForPicture(before));
    QTest::qWait(600);
    EXPECT_EQ(P().PicturesShown(), before + 1);
    EXPECT_EQ(P().Picture()->Image.Width(), Surface().PictureSize().width());
    EXPECT_EQ(P().Picture()->Image.Height(), Surface().PictureSize().height());
    EXPECT_FALSE(Surface().Stretched());
    // A size that does not change the panel draws nothing.
    P().RedrawTreemap(false, false);
    QTest::qWait(100);
    EXPECT_EQ(P().PicturesShown(), before + 1);
}

TEST_F(TreemapFixture, OptionTogglesRedrawAndAreKept) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    int before = P().PicturesShown();
    P().actShowTreemapFilenames->trigger();
    ASSERT_TRUE(WaitForPicture(before));
    before = P().PicturesShown();
    P().actShowAllocatedSize->trigger();
    ASSERT_TRUE(WaitForPicture(before));
    TIniFile ini(Dir / "cfg/Quarzel3.ini");
    EXPECT_FALSE(ini.ReadBool(kMainSection, "actShowTreemapFilenames_Checked", true));
    EXPECT_TRUE(ini.ReadBool(kMainSection, "actShowAllocatedSize_Checked", false));
    // Hiding the treemap (F9) forgets the zoom; showing it again draws.
    ClickRow(Node("docs"));
    P().actZoomExecute();
    ASSERT_NE(P().TreemapRoot(), nullptr);
    QTest::keyClick(&W(), Qt::Key_F9);
    EXPECT_FALSE(P().isVisible());
    EXPECT_EQ(P().TreemapRoot(), nullptr);
    QTest::keyClick(&W(), Qt::Key_F9);
    EXPECT_TRUE(P().isVisible());

    // The Colors dialog: the colour-blind preset and colouring by extension.
    P().RunColorsDialog = [](TfrmSetColors& d) {
        QTest::mouseClick(d.btnColorBlind, Qt::LeftButton);
        d.rbExtension->setChecked(true);
        EXPECT_TRUE(d.edExt[0]->isEnabled());
        d.edExt[0]->setText(QStringLiteral("bin"));
        return true;
    };
    before = P().PicturesShown();
    P().actSetColorsExecute();
    ASSERT_TRUE(WaitForPicture(before));
    EXPECT_EQ(W().ExtColors().tm_palette, ColorBlindPalette());
    EXPECT_FALSE(W().ExtColors().bColorBySize);
    EXPECT_EQ(W().ExtColors().GetFileColor(u"top.bin"), ColorBlindPalette()[0]);
    TIniFile kept(Dir / "cfg/Quarzel3.ini");
    EXPECT_FALSE(kept.ReadBool(kMainSection, "treemapcolorbysize", true));
    EXPECT_EQ(kept.ReadString(kMainSection, "tmfileextensions1"), "bin");
    // The picture follows: top.bin's cushion in the first colour-blind colour's hue.
    QPoint c;
    ASSERT_TRUE(P().CentreOf(Node("top.bin"), c));
    const QImage img = Surface().grab().toImage();
    const QColor px = img.pixelColor(Surface().FromPicture(c).toPoint());
    EXPECT_GT(px.blue(), px.red()) << "#88CCEE is blue-green";
}

TEST_F(TreemapFixture, ADeletedZoomFolderIsLeft) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    ClickRow(Node("media/deep/x.bin"));
    P().actZoomExecute();
    ASSERT_EQ(P().TreemapRoot(), Node("media/deep"));
    ASSERT_TRUE(WaitForPicture(P().PicturesShown() - 1));
    // The folder is removed from the disk and marked so (as the change monitor does).
    P().StopDrawing();
    Node("media/deep")->Data.Rec->Deleted = true;
    Node("media/deep/x.bin")->Data.Rec->Deleted = true;
    const int before = P().PicturesShown();
    P().RecordsChanged();
    EXPECT_EQ(P().TreemapRoot(), Node("media"));
    ASSERT_TRUE(WaitForPicture(before));
    // The deleted folder is outlined in red and no longer answers the pointer.
    EXPECT_EQ(Outlines(kRed), 1);
    QPoint c;
    ASSERT_TRUE(P().CentreOf(Node("media/deep"), c));
    QTest::mouseMove(&Surface(), Surface().FromPicture(c).toPoint());
    EXPECT_NE(HoveredRecord(), Node("media/deep")->Data.Rec);
}

TEST_F(TreemapFixture, DialogImageEqualsTheHeadlessImageAndLeavesTheScreen) {
    MakeSampleTree(Data + "/tree");
    for (int i = 0; i < 9; ++i)
        WriteSized(Data + "/tree/more/f" + std::to_string(i) + ".dat", 7000 * (i + 1));
    // Gradients off: the dialog computes every pixel and a run without a window every
    // second one, which only flat shading makes the same.
    P().SetGradientEnabled(false);
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    const QPoint p = At(Node("top.bin"));
    QTest::mouseMove(&Surface(), p);
    const PMFT_RECORD hovered = HoveredRecord();
    ASSERT_NE(hovered, nullptr);
    const TTreemapPicture* shown = P().Picture();
    const int pictures = P().PicturesShown();

    const std::string file = Dir / "out/dialog.png";
    P().RunExportDialog = [](TfrmExportTreemap& d) {
        d.PresetClick(QStringLiteral("1280x720"));
        EXPECT_EQ(d.edWidth->text(), QStringLiteral("1280"));
        d.edWidth->setText(QStringLiteral("640"));
        d.edHeight->setText(QStringLiteral("400"));
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
        return d.result() == QDialog::Accepted;
    };
    P().AskImageFile = [&] { return QString::fromStdString(file); };
    QStringList errors;
    P().ShowError = [&](const QString& m) { errors << m; };
    QSignalSpy finished(&P(), &TTreemapPanel::exportFinished);
    P().actExportTreemapExecute();
    ASSERT_TRUE(finished.wait(30000) || finished.count() == 1);
    EXPECT_TRUE(finished.front().front().toBool());
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QStringLiteral("; ")).toStdString();

    // The same image from a run without a window, with the same choices.
    fs::create_directories(Dir / "hcfg");
    {
        std::ofstream ini(Dir / "hcfg/Quarzel3.ini");
        ini << "[" << kMainSection << "]\nGradientEnabled=0\n";
    }
    const std::string headless = Dir / "out/headless.png";
    const std::string cmd = "'" + std::string(QZ_BINARY_DIR) + "/app/quarzel' '" + Data +
                            "/tree' --configfolder='" + Dir / "hcfg" + "' --treemapimagefile='" +
                            headless + "' --treemapimagewidth=640 --treemapimageheight=400 2>&1";
    std::string out;
    ASSERT_EQ(qz::test::Run("env -u DISPLAY -u WAYLAND_DISPLAY " + cmd, &out), 0) << out;
    const std::string a = Slurp(file), b = Slurp(headless);
    ASSERT_GT(a.size(), 1000u);
    EXPECT_TRUE(a == b) << "the dialog's image differs from the headless one";

    // The screen kept its picture and its answers.
    EXPECT_EQ(P().Picture(), shown);
    EXPECT_EQ(P().PicturesShown(), pictures);
    QTest::mouseMove(&Surface(), QPoint(1, 1));
    QTest::mouseMove(&Surface(), p);
    EXPECT_EQ(HoveredRecord(), hovered);
    // The dialog remembers its size.
    EXPECT_EQ(TIniFile(Dir / "cfg/Quarzel3.ini").ReadString("frmExportTreemap", "edWidth_Text"),
              "640");
}

TEST_F(TreemapFixture, BadImageSizesAndFoldersAreRefusedWithAMessage) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndDraw(Data + "/tree"));
    int asked = 0;
    P().AskImageFile = [&] {
        ++asked;
        return QString::fromStdString(Dir / "plain/sub/map.png");
    };
    QStringList errors;
    P().ShowError = [&](const QString& m) { errors << m; };
    // Sizes the dialog refuses: it names the problem and stays open.
    struct Case {
        const char *w, *h, *fragment;
    };
    for (const Case c :
         {Case{"0", "1080", "at least 1 pixel"}, Case{"100000", "100000", "too large"},
          Case{"12a", "10", "not a valid integer"}}) {
        P().RunExportDialog = [&](TfrmExportTreemap& d) {
            d.edWidth->setText(QString::fromLatin1(c.w));
            d.edHeight->setText(QString::fromLatin1(c.h));
            QTest::mouseClick(d.btnSave, Qt::LeftButton);
            EXPECT_NE(d.result(), QDialog::Accepted) << c.w;
            EXPECT_TRUE(d.lblError->isVisibleTo(&d));
            EXPECT_TRUE(d.lblError->text().contains(QString::fromLatin1(c.fragment)))
                << d.lblError->text().toStdString();
            d.reject();
            return false;
        };
        P().actExportTreemapExecute();
    }
    EXPECT_EQ(asked, 0) << "no file is asked for";
    // A folder that cannot be made: the write fails with a message, nothing is written.
    WriteFileBytes(Dir / "plain", "x", 1);
    P().RunExportDialog = [](TfrmExportTreemap& d) {
        d.edWidth->setText(QStringLiteral("300"));
        d.edHeight->setText(QStringLiteral("200"));
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
        return d.result() == QDialog::Accepted;
    };
    P().actExportTreemapExecute();
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().Exporting(); }, 30000));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Error: "))) << errors[0].toStdString();
    EXPECT_FALSE(fs::exists(Dir / "plain/sub"));
    // The window goes on.
    QTest::mouseMove(&Surface(), At(Node("top.bin")));
    EXPECT_EQ(HoveredRecord(), Node("top.bin")->Data.Rec);
    EXPECT_TRUE(P().actExportTreemap->isEnabled());
}

// Under Xvfb (see tests/gui/CMakeLists.txt) this leaves a picture of the window with the
// treemap, a hover outline and a selection outline for a person to look at.
TEST_F(TreemapFixture, TreemapScreenshot) {
    const std::string root = Data + "/Projects";
    MakeSampleTree(root + "/quarzel");
    for (int i = 0; i < 12; ++i)
        WriteSized(root + "/photos/2023/img" + std::to_string(i) + ".jpg", 40000 + 5000 * i);
    WriteSized(root + "/photos/.thumbs/t.db", 20000);
    WriteSized(root + "/music/album/track1.flac", 300000);
    WriteSized(root + "/music/album/track2.flac", 250000);
    WriteSized(root + "/music/album/cover.png", 90000);
    WriteSized(root + "/notes.md", 1200);
    WriteSized(root + "/backup.tar.gz", 420000);
    const int before = P().PicturesShown();
    ASSERT_TRUE(ScanAndWait(root));
    ASSERT_TRUE(WaitForPicture(before));
    TTreeNode* base = Tree().Roots()[0];
    ClickRow(Tree().FindNodeByPath(base, u"music/album/track1.flac"));
    QTest::mouseMove(&Surface(), At(Tree().FindNodeByPath(base, u"backup.tar.gz")));
    // On a real X server the pointer's move comes back as an event from the server, which
    // can take a while on a busy machine.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return Outlines(kGray) == 1 && Outlines(kWhite) == 1; }, 5000));
    EXPECT_EQ(Outlines(kWhite), 1);
    EXPECT_EQ(Outlines(kGray), 1);
    const QImage shot = W().grab().toImage();
    if (const char* path = std::getenv("QZ_TREEMAP_SCREENSHOT")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
        std::printf("screenshot: %s (%s)\n", path, qPrintable(QGuiApplication::platformName()));
    }
}
