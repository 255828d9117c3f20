// A process without a Qt application (a headless run that made none): the picture is drawn
// without labels instead of failing.
#include "base/text.h"
#include "tests/support/testsupport.h"
#include "tests/views/scanbuilder.h"
#include "treemap/qtcanvas.h"
#include "treemap/treemap.h"

#include <gtest/gtest.h>

using namespace qz;
using qz::test::ScanBuilder;

TEST(NoGui, LabelsAreLeftOut) {
    ASSERT_FALSE(GuiAvailable());
    ScanBuilder b(u"/data");
    PMFT_RECORD d = b.Folder(b.root, u"docs");
    b.File(d, u"a long name.txt", 300000);
    b.File(b.root, u"b.iso", 500000);
    b.Finish();
    TDisplayTree tree;
    TNTFS_FILES* scans[] = {b.scan.get()};
    tree.LoadTree(scans);
    TExtColors colors;
    TTreemap tm(tree, colors);
    tm.Scans = {b.scan.get()};
    tm.ShowFileNames = true;
    qz::test::TempDir dir;
    TDrawResult r =
        tm.DrawTreemap(400, 300, {.Rebuild = true, .FileName = Utf8ToUtf16(dir / "x.png")});
    EXPECT_EQ(r.Outcome, TDrawOutcome::Drawn) << r.Error;
    // Without text the name strips show the background.
    r = tm.RedrawTreemap(false, true, 400, 300);
    ASSERT_EQ(r.Outcome, TDrawOutcome::Drawn);
    EXPECT_EQ(tm.Image().Pixel(100, 8), colors.BackgroundColor());
}
