// The window with the file operations' services in a temporary place: the home trash under
// the test's folder (XDG_DATA_HOME), a file opener and a terminal of our own first in PATH that
// write down how they were started, and dialogs answered by the test by clicking their buttons.
#pragma once

#include "gui/changemonitor.h"
#include "gui/fileactions.h"
#include "tests/fsops/fstree.h"
#include "tests/gui/window_fixture.h"

#include <QStringList>

class QAbstractButton;

namespace qz::test {

// Clicks buttons (by object name) in the modal dialogs as they open, in order; records what
// each dialog said.
class TDialogAnswers : public QObject {
public:
    explicit TDialogAnswers(QStringList buttons);
    ~TDialogAnswers() override;
    QStringList Texts;   // the text of each dialog answered
    QStringList Pending; // buttons not clicked yet
private:
    void Look();
    int FTimer = 0;
    void timerEvent(QTimerEvent*) override { Look(); }
};

class FileOpsFixture : public WindowFixture {
protected:
    void SetUp() override;
    void TearDown() override;

    TFileActions& FA() { return *W().FileActions(); }
    TChangeMonitor& Monitor() { return *W().ChangeMonitor(); }
    // Waits until the scan's folders are watched.
    void WaitForWatches();
    // The record shown at relative path (found before it is removed from its folder's list).
    PMFT_RECORD Rec(const std::string& rel);
    // Selects the given rows (relative paths) as the user does: click, then Ctrl+click.
    void SelectRows(const std::vector<std::string>& rels);
    // Presses a key in the tree (the actions' shortcuts act there).
    void Press(int key, Qt::KeyboardModifiers mods = Qt::NoModifier);
    // Waits until count deletes have ended (their dialogs closed); false after a minute.
    bool WaitForDeletes(int count);

    std::string Xdg;          // XDG_DATA_HOME of the test
    std::string Bin;          // first in PATH
    QStringList FileMessages; // what the file actions' message boxes would have shown
    int Deletes = 0, DeleteGone = 0, DeleteSkipped = 0;

private:
    std::string FOldPath, FOldXdg, FOldTerminal;
    bool FHadXdg = false, FHadTerminal = false;
};

// Writes an executable shell script.
void WriteScript(const std::string& path, const std::string& body);

} // namespace qz::test
