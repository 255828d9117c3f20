// What the program learns about its surroundings at start-up: its own file, the user, the
// per-user folders it uses, and the language of the user's locale.
#pragma once

#include <string>

namespace qz {

// Full path of the running program (from /proc/self/exe); empty when unknown.
std::string ProgramPath();
// Folder of the running program.
std::string ProgramFolder();
// The user's login name; "Unknown" when it cannot be read.
std::string UserName();
// The user's home folder ($HOME, else the password database); empty when unknown.
std::string HomeFolder();
// The per-user application-data folder: $XDG_CONFIG_HOME/Quarzel3 (default
// ~/.config/Quarzel3). Not created here.
std::string UserDataFolder();
// Folder of the debug logs: "DebugLogs" in the folder of the settings file, so that the log
// is kept beside the settings the user chose.
std::string DebugLogFolder(const std::string& settingsFile);

// The folder of the message catalogues: "locale" beside the program when it is there (a build
// folder, a portable copy), else share/locale of the installation the program is in
// (<prefix>/bin/quarzel -> <prefix>/share/locale).
std::string LocaleFolder();
std::string LocaleFolderFor(const std::string& programFolder);

// The language code of the user's locale (LC_ALL, LC_MESSAGES, then LANG; the first two
// letters), replaced by the full name of the first subfolder of localeFolder (in directory
// order) whose name starts with it without regard to case and that holds the program's
// catalogue ("zh" -> "zh_CN"); "en" when no folder matches.
std::string DefaultLanguageCode(const std::string& localeFolder);

} // namespace qz
