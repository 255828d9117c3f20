#include "gui/elevatedrestart.h"

#include "app/volumeaccess.h"
#include "base/debuglog.h"
#include "gui/elevation.h"
#include "gui/qtext.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>

namespace qz {

TElevatedRestart::TElevatedRestart(QObject* parent) : QObject(parent) {
    FTimer.setInterval(kPollMilliseconds);
    connect(&FTimer, &QTimer::timeout, this, &TElevatedRestart::Poll);
}

bool TElevatedRestart::Start(const std::string& path, const std::vector<std::string>& optionArgs) {
    if (Pending()) return false;
    DebugLog("RestartElevated");
    const std::string launcher = FindProgram(ToLocalPath(Launcher), std::getenv("PATH"));
    if (launcher.empty()) {
        Fail(Tr("pkexec is not installed: it asks for root rights. Install it (package "
                "pkexec or policykit-1), or start the program as root."));
        return false;
    }
    const QString program = Program.isEmpty() ? QCoreApplication::applicationFilePath() : Program;
    // The display variables go along through "env" unless the program's polkit policy lets
    // pkexec start a window for it.
    QStringList args =
        ElevationCommand(program, QFile::decodeName(QByteArray::fromStdString(path)), optionArgs,
                         PolkitPolicyAllowsWindow(program, PolkitActionFolders(program)),
                         [](const char* name) { return qgetenv(name); });
    args.removeFirst(); // the launcher found above stands for "pkexec"
    qint64 pid = 0;
    if (!QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(launcher)), args,
                                 QString(), &pid) ||
        pid <= 0) {
        Fail(Tr("The restart as root could not be started."));
        return false;
    }
    FPid = pid;
    FLauncherName = QFile::encodeName(QFileInfo(QString::fromStdString(launcher)).fileName());
    FLauncherName.truncate(15);
    FTimer.start();
    return true;
}

void TElevatedRestart::Poll() {
    // "pid (name) state ...": the name may hold blanks and parentheses; the last ")" ends it.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(FPid));
    QByteArray text;
    if (stat.open(QIODevice::ReadOnly)) text = stat.readAll();
    const qsizetype open = text.indexOf('('), close = text.lastIndexOf(')');
    const bool ended =
        open < 0 || close < open || close + 2 >= text.size() || text.at(close + 2) == 'Z';
    if (ended) {
        Fail(Tr("The restart as root was refused or cancelled."));
        return;
    }
    if (text.mid(open + 1, close - open - 1) != FLauncherName) {
        FTimer.stop();
        DebugLog("Restarted as root");
        emit started();
    }
}

void TElevatedRestart::Fail(const QString& why) {
    FTimer.stop();
    DebugLog(ToLocalPath(why));
    emit failed(why);
}

} // namespace qz
