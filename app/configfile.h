// Where the settings file lives.
//
// In order: the folder given by the "configfolder" option; the folder named by "configfolder"
// in the machine-wide file /etc/quarzel.conf (an INI file; the key may stand before any
// section or in the section "Quarzel"); beside the program when a marker there says it is a
// portable copy (a Quarzel3.ini, or a file Quarzel3.portable, beside it); else the per-user
// folder $XDG_CONFIG_HOME/Quarzel3. The first three make the settings portable. A program
// that is merely not installed under /usr (in /opt, in a build folder) uses the per-user
// folder, where its settings can be written.
#pragma once

#include <string>

namespace qz {

inline constexpr const char* kMachineConfigFile = "/etc/quarzel.conf";
inline constexpr const char* kPortableMarkerName = "Quarzel3.portable";

struct TConfigEnvironment {
    std::string ConfigFolderOption; // the "configfolder" option, empty when not given
    std::string MachineConfigFile = kMachineConfigFile;
    std::string ProgramPath;    // the running program's full path
    std::string UserDataFolder; // per-user folder (created when used)
};

struct TConfigLocation {
    std::string FileName; // the settings file
    bool Portable = false;
    std::string LogLine; // how the folder was chosen, for the debug log (may be empty)
};

// GetConfigFileName: the settings file for env. Creates the folder it picks when missing
// (errors ignored: a configured folder that cannot be made is passed over).
TConfigLocation GetConfigFileName(const TConfigEnvironment& env);

} // namespace qz
