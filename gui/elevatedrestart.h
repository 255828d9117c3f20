// Restarts the program with root rights through pkexec, so that NTFS devices can be read raw.
//
// pkexec asks the desktop's authentication agent and then becomes the program (it executes it
// in its own process). The restart is started detached and watched: while that process still
// runs pkexec the user is being asked; once it runs the program, the restart has succeeded
// (started: this window should close); when it ends before that, the request was refused or
// dismissed, or pkexec could not ask (failed: this window stays, with the reason). The scan
// control offers the restart for a device only root may read; other parts of the window may
// offer it too.
#pragma once

#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

namespace qz {

class TElevatedRestart : public QObject {
    Q_OBJECT
public:
    explicit TElevatedRestart(QObject* parent = nullptr);

    // The launcher (searched on PATH; tests put a stand-in there) and the program it starts
    // (this program unless set).
    QString Launcher = QStringLiteral("pkexec");
    QString Program;

    // Starts the program as root to scan path, with this process's option arguments. False
    // when the launcher is missing or could not be started (failed is emitted too).
    bool Start(const std::string& path, const std::vector<std::string>& optionArgs);
    // A restart was started and has not yet succeeded or failed.
    bool Pending() const { return FTimer.isActive(); }
    // How often the started process is looked at.
    static constexpr int kPollMilliseconds = 100;

signals:
    void started();
    void failed(const QString& why);

private:
    void Poll();
    void Fail(const QString& why);

    QTimer FTimer;
    qint64 FPid = 0;
    QByteArray FLauncherName; // as the kernel names the process (at most 15 bytes)
};

} // namespace qz
