#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/statuspanel.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>

namespace qz::test {

namespace fs = std::filesystem;

double ContrastRatio(const QColor& a, const QColor& b) {
    const auto lum = [](const QColor& c) {
        const auto ch = [](double v) {
            v /= 255.0;
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.red()) + 0.7152 * ch(c.green()) + 0.0722 * ch(c.blue());
    };
    const double la = lum(a), lb = lum(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

void WriteSized(const std::string& path, size_t n) {
    fs::create_directories(fs::path(path).parent_path());
    std::string data(n, 'q');
    WriteFileBytes(path, data.data(), data.size());
}

void MakeSampleTree(const std::string& root) {
    WriteSized(root + "/docs/a.txt", 1000);
    WriteSized(root + "/docs/b.txt", 3000);
    for (int i = 0; i < 5; ++i)
        WriteSized(root + "/media/clip" + std::to_string(i) + ".mkv", 10240);
    WriteSized(root + "/media/deep/x.bin", 100);
    WriteSized(root + "/top.bin", 50000);
}

void WindowFixture::SetUp() {
    Data = Dir / "data";
    fs::create_directories(Data);
    fs::create_directories(Dir / "cfg");
    FCommandLine = std::make_unique<TCommandLine>(std::vector<std::string>{});
    FOptions = std::make_unique<TStartupOptions>(ReadStartupOptions(*FCommandLine));
    FStore = std::make_unique<TSettingsStore>(Dir / "cfg/Quarzel3.ini", true, false);
    FStart = std::make_unique<TWindowStart>(TWindowStart{FArgc, FArgv, *FCommandLine, *FOptions,
                                                         *FStore, FStore->Load(), Dir.path(), 0});
    FWindow = std::make_unique<TfrmQuarzelMain>(*FStart);
    TScanControl& sc = SC();
    sc.ShowMessage = [this](const QString& m) { Messages << m; };
    sc.AskFolder = [this] {
        ++FolderDialogs;
        return FoldersAsked.isEmpty() ? QString() : FoldersAsked.takeFirst();
    };
    sc.AskFile = [this](TSourceKind) {
        ++FileDialogs;
        return FilesAsked.isEmpty() ? QString() : FilesAsked.takeFirst();
    };
    QObject::connect(&sc, &TScanControl::scanFinished, [this](bool ok) { FEnds.push_back(ok); });
    QSignalSpy rebuilt(&sc, &TScanControl::sourcesChanged);
    FWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(FWindow.get()));
    // The watcher's first report rebuilds the list once the window shows: tests start after it.
    ASSERT_TRUE(rebuilt.count() > 0 || rebuilt.wait(5000));
    QApplication::setActiveWindow(FWindow.get());
}

void WindowFixture::TearDown() {
    // A scan still running is cancelled and waited for by the window's destruction.
    FWindow.reset();
}

bool WindowFixture::WaitForEnd(int ms) {
    if (FEnds.empty() && !QTest::qWaitFor([this] { return !FEnds.empty(); }, ms)) return false;
    const bool ok = FEnds.front();
    FEnds.erase(FEnds.begin());
    return ok;
}

bool WindowFixture::ScanAndWait(const std::string& path) {
    SC().ScanPath(QString::fromStdString(path));
    if (!SC().ScanInProgress() && FEnds.empty()) return false; // refused before it started
    return WaitForEnd();
}

TTreeNode* WindowFixture::Node(const std::string& relative) {
    if (Tree().Roots().empty()) return nullptr;
    TTreeNode* root = Tree().Roots()[0];
    if (relative.empty()) return root;
    return Tree().FindNodeByPath(root, Utf8ToUtf16(relative));
}

void WindowFixture::ClickRow(TTreeNode* n, Qt::KeyboardModifiers mods) {
    ASSERT_NE(n, nullptr);
    for (TTreeNode* p = n->Parent; p; p = p->Parent) View().expand(Model().IndexOf(p));
    const QModelIndex i = Model().IndexOf(n);
    View().scrollTo(i);
    const QRect r = View().visualRect(i);
    ASSERT_TRUE(r.isValid());
    QTest::mouseClick(View().viewport(), Qt::LeftButton, mods, r.center());
}

QString WindowFixture::Status() const {
    return FWindow->ScanStatus()->Status();
}

} // namespace qz::test
