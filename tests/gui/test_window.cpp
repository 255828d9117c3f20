// The window as a whole: every control has an accessible name and the main ones are reached
// with Tab; an exception in an event handler is caught by the application and the program
// goes on; the program without a display; and, under Xvfb, a screenshot of the window after a
// scan.
#include "tests/gui/window_fixture.h"

#include "gui/application.h"
#include "gui/qtext.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <set>
#include <stdexcept>

using namespace qz;
using namespace qz::test;

TEST_F(WindowFixture, EveryControlHasANameAndTheMainOnesAreReachedWithTab) {
    MakeSampleTree(Data + "/tree");
    ASSERT_TRUE(ScanAndWait(Data + "/tree"));
    for (QWidget* w : W().findChildren<QWidget*>()) {
        if (!w->isVisible() || w->focusPolicy() == Qt::NoFocus) continue;
        if (qobject_cast<QMenuBar*>(w)) continue;
        QString name = w->accessibleName();
        if (name.isEmpty())
            if (auto* b = qobject_cast<QAbstractButton*>(w)) name = b->text();
        if (name.isEmpty() && qobject_cast<QTabBar*>(w)) continue; // its tabs carry the names
        if (name.isEmpty() && w->parentWidget() &&
            (w->parentWidget()->objectName() == QStringLiteral("vst")))
            continue; // the tree's viewport: the tree is named
        EXPECT_FALSE(name.isEmpty())
            << w->metaObject()->className() << " " << w->objectName().toStdString();
    }
    // Tab from the source list reaches the buttons, the tree and the status labels.
    SC().cbDrive->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([this] { return SC().cbDrive->hasFocus(); }));
    std::set<QString> reached;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QWidget* f = QApplication::focusWidget()) reached.insert(f->objectName());
    }
    std::string all;
    for (const QString& n : reached) all += n.toStdString() + " ";
    for (const char* name : {"btnScan", "vst", "lblStatus", "lblTotalSpace", "pnlSelection"})
        EXPECT_TRUE(reached.count(QString::fromLatin1(name))) << name << " of " << all;
}

TEST_F(WindowFixture, ExceptionsInEventHandlersAreCaughtAndTheWindowGoesOn) {
    auto* app = qobject_cast<TQuarzelApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    const int before = app->CaughtExceptions();
    QTimer::singleShot(0, &W(), [] { throw std::runtime_error("handler failed"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return app->CaughtExceptions() == before + 1; }));
    MakeSampleTree(Data + "/tree");
    EXPECT_TRUE(ScanAndWait(Data + "/tree"));
}

TEST(Program, WithoutADisplayTheWindowSaysHowToRunWithoutOneAndHeadlessRunsNeedNone) {
    TempDir tmp;
    MakeSampleTree(tmp / "tree");
    const std::string quarzel = std::string(QZ_BINARY_DIR) + "/app/quarzel";
    const std::string env = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ";
    const std::string cfg = " --configfolder='" + tmp / "cfg" + "'";
    std::string out;
    int code =
        qz::test::Run(env + "'" + quarzel + "' '" + tmp / "tree" + "'" + cfg + " 2>&1", &out);
    EXPECT_EQ(code, 2);
    EXPECT_NE(out.find("no display is available"), std::string::npos) << out;
    EXPECT_NE(out.find("--export="), std::string::npos) << out;
    code = qz::test::Run(env + "'" + quarzel + "' '" + tmp / "tree" + "' --export=-" + cfg, &out);
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("/tree/docs/a.txt\",1000,"), std::string::npos) << out;
}

// Under Xvfb (see tests/gui/CMakeLists.txt) this leaves a picture of the window after a scan
// for a person to look at; elsewhere it checks only that the grab works.
TEST_F(WindowFixture, ScreenshotAfterAScan) {
    const std::string root = Data + "/Projects";
    MakeSampleTree(root + "/quarzel");
    for (int i = 0; i < 12; ++i)
        WriteSized(root + "/photos/2023/img" + std::to_string(i) + ".jpg", 40000 + 5000 * i);
    WriteSized(root + "/photos/.thumbs/t.db", 20000);
    WriteSized(root + "/music/album/track1.flac", 300000);
    WriteSized(root + "/music/album/track2.flac", 250000);
    WriteSized(root + "/notes.md", 1200);
    ASSERT_TRUE(ScanAndWait(root));
    View().expand(Model().IndexOf(Node("photos")));
    View().expand(Model().IndexOf(Node("photos/2023")));
    ClickRow(Node("music"));
    ClickRow(Node("photos/2023"), Qt::ControlModifier);
    QTest::qWait(100);
    const QImage shot = W().grab().toImage();
    EXPECT_GT(shot.width(), 600);
    if (const char* path = std::getenv("QZ_SCREENSHOT")) {
        EXPECT_TRUE(shot.save(QString::fromLocal8Bit(path)));
        std::printf("screenshot: %s (%s)\n", path, qPrintable(QGuiApplication::platformName()));
    }
}
