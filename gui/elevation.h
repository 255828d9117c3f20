// Restarting the window as root through pkexec, for reading NTFS devices through their MFT.
//
// pkexec clears the environment: the new window finds the display only when the program's
// polkit policy (installed with the program) allows a window for it; otherwise the display
// variables are handed over through "env". The relaunch is started detached and this process
// goes on (the caller closes its window, which saves the settings).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

namespace qz {

// True when a policy file in one of actionFolders names program as its pkexec program.
bool PolkitPolicyAllowsWindow(const QString& program, const QStringList& actionFolders);
// The folders where polkit looks for policies: <prefix>/share/polkit-1/actions of the program
// and /usr/share/polkit-1/actions.
QStringList PolkitActionFolders(const QString& program);

// The command line of the elevated window (program first: "pkexec").
QStringList ElevationCommand(const QString& program, const QString& path,
                             const std::vector<std::string>& optionArgs, bool policyAllowsWindow,
                             const std::function<QByteArray(const char*)>& env);

// RestartElevated for the window: starts the relaunch; false with error set when pkexec is not
// installed or could not be started.
bool RestartElevatedDetached(const QString& path, const std::vector<std::string>& optionArgs,
                             QString& error);

} // namespace qz
