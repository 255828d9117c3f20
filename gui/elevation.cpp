#include "gui/elevation.h"

#include "app/environment.h"
#include "app/volumeaccess.h"
#include "base/debuglog.h"
#include "gui/qtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>

namespace qz {

QStringList PolkitActionFolders(const QString& program) {
    // <prefix>/bin/quarzel -> <prefix>/share/polkit-1/actions
    const QString prefix = QFileInfo(QFileInfo(program).absolutePath()).absolutePath();
    QStringList folders{prefix + QStringLiteral("/share/polkit-1/actions"),
                        QStringLiteral("/usr/share/polkit-1/actions")};
    folders.removeDuplicates();
    return folders;
}

bool PolkitPolicyAllowsWindow(const QString& program, const QStringList& actionFolders) {
    const QString wanted =
        QStringLiteral("<annotate key=\"org.freedesktop.policykit.exec.path\">") + program +
        QStringLiteral("</annotate>");
    for (const QString& folder : actionFolders) {
        QFile f(folder + QStringLiteral("/") + QLatin1String(QZ_POLKIT_ACTION) +
                QStringLiteral(".policy"));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QString text = QString::fromUtf8(f.read(64 * 1024));
        if (text.contains(wanted) &&
            text.contains(QStringLiteral("org.freedesktop.policykit.exec.allow_gui")))
            return true;
    }
    return false;
}

QStringList ElevationCommand(const QString& program, const QString& path,
                             const std::vector<std::string>& optionArgs, bool policyAllowsWindow,
                             const std::function<QByteArray(const char*)>& env) {
    const std::vector<std::string> argv =
        ElevatedArguments(program.toStdString(), path.toStdString(), optionArgs);
    QStringList command;
    command << QString::fromStdString(argv.front()); // pkexec
    if (!policyAllowsWindow) {
        command << QStringLiteral("env");
        for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
            const QByteArray value = env(name);
            if (!value.isEmpty())
                command << QString::fromLatin1(name) + QStringLiteral("=") +
                               QString::fromLocal8Bit(value);
        }
    }
    for (size_t i = 1; i < argv.size(); ++i) command << QString::fromStdString(argv[i]);
    return command;
}

bool RestartElevatedDetached(const QString& path, const std::vector<std::string>& optionArgs,
                             QString& error) {
    DebugLog("RestartElevated (window)");
    const std::string pkexec = FindProgram("pkexec", std::getenv("PATH"));
    if (pkexec.empty()) {
        error = Tr("pkexec is not installed: install it, or start Quarzel as root");
        return false;
    }
    const QString program = QString::fromStdString(ProgramPath());
    QStringList command = ElevationCommand(
        program, path, optionArgs, PolkitPolicyAllowsWindow(program, PolkitActionFolders(program)),
        [](const char* name) { return qgetenv(name); });
    command.removeFirst();
    if (!QProcess::startDetached(QString::fromStdString(pkexec), command)) {
        error = Tr("pkexec could not be started");
        return false;
    }
    return true;
}

} // namespace qz
