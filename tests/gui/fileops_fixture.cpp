#include "tests/gui/fileops_fixture.h"

#include "base/text.h"
#include "engine/tree.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimerEvent>
#include <cstdlib>
#include <sys/stat.h>

namespace qz::test {

void WriteScript(const std::string& path, const std::string& body) {
    WriteText(path, "#!/bin/sh\n" + body + "\n");
    ::chmod(path.c_str(), 0755);
}

TDialogAnswers::TDialogAnswers(QStringList buttons) : Pending(std::move(buttons)) {
    FTimer = startTimer(10);
}

TDialogAnswers::~TDialogAnswers() {
    killTimer(FTimer);
}

void TDialogAnswers::Look() {
    if (Pending.isEmpty()) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible()) return;
    for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
        if (b->objectName() != Pending.front() || !b->isVisible()) continue;
        QString text;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            text = box->text() + QStringLiteral("\n") + box->informativeText();
        Texts << text;
        Pending.removeFirst();
        b->click();
        return;
    }
}

void FileOpsFixture::SetUp() {
    WindowFixture::SetUp();
    Xdg = Dir / "xdg";
    Bin = Dir / "bin";
    const char* path = std::getenv("PATH");
    FOldPath = path ? path : "";
    const char* xdg = std::getenv("XDG_DATA_HOME");
    FHadXdg = xdg != nullptr;
    FOldXdg = xdg ? xdg : "";
    const char* term = std::getenv("TERMINAL");
    FHadTerminal = term != nullptr;
    FOldTerminal = term ? term : "";
    setenv("XDG_DATA_HOME", Xdg.c_str(), 1);
    setenv("PATH", (Bin + ":" + FOldPath).c_str(), 1);
    unsetenv("TERMINAL");
    // The file opener: its arguments and folder go to opened.txt; its exit code comes from
    // xdg-open.rc (0 when missing).
    WriteScript(Bin + "/xdg-open", "printf '%s|%s\\n' \"$1\" \"$(pwd)\" >> '" + Dir / "opened.txt" +
                                       "'\n"
                                       "rc=0; [ -f '" +
                                       Dir / "xdg-open.rc" + "' ] && rc=$(cat '" +
                                       Dir / "xdg-open.rc" + "')\nexit $rc");
    FA().ShowMessage = [this](const QString& m) { FileMessages << m; };
    QObject::connect(&FA(), &TFileActions::deleteFinished, [this](int gone, int skipped) {
        ++Deletes;
        DeleteGone = gone;
        DeleteSkipped = skipped;
    });
}

void FileOpsFixture::TearDown() {
    WindowFixture::TearDown();
    setenv("PATH", FOldPath.c_str(), 1);
    if (FHadXdg)
        setenv("XDG_DATA_HOME", FOldXdg.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    if (FHadTerminal)
        setenv("TERMINAL", FOldTerminal.c_str(), 1);
    else
        unsetenv("TERMINAL");
}

void FileOpsFixture::WaitForWatches() {
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return Monitor().Watcher() && Monitor().Watcher()->SetupDone(); }, 30000));
}

PMFT_RECORD FileOpsFixture::Rec(const std::string& rel) {
    TTreeNode* n = Node(rel);
    return n ? n->Data.Rec : nullptr;
}

void FileOpsFixture::SelectRows(const std::vector<std::string>& rels) {
    for (size_t i = 0; i < rels.size(); ++i) {
        TTreeNode* n = Node(rels[i]);
        ASSERT_NE(n, nullptr) << rels[i];
        ClickRow(n, i == 0 ? Qt::NoModifier : Qt::ControlModifier);
    }
}

void FileOpsFixture::Press(int key, Qt::KeyboardModifiers mods) {
    // A dialog that just closed may leave the window inactive for a moment: shortcuts act in
    // the active window only.
    QApplication::setActiveWindow(&W());
    View().setFocus();
    ASSERT_TRUE(QTest::qWaitFor(
        [this] { return QApplication::activeWindow() == &W() && View().hasFocus(); }));
    QTest::keyClick(&View(), Qt::Key(key), mods);
}

bool FileOpsFixture::WaitForDeletes(int count) {
    return QTest::qWaitFor([&] { return Deletes >= count; }, 60000);
}

} // namespace qz::test
