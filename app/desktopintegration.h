// The program's place in the desktop, for the current user: a desktop entry with its icon, the
// file type of MFT dumps (glob "*.mft", magic "FILE0") opened by the program, and an entry
// "Quarzel" in the context menu of folders in the common file managers:
//
//   $XDG_DATA_HOME/applications/quarzel.desktop
//   $XDG_DATA_HOME/icons/hicolor/scalable/apps/quarzel.svg
//   $XDG_DATA_HOME/mime/packages/quarzel-mft.xml           (then update-mime-database)
//   $XDG_DATA_HOME/nautilus/scripts/Quarzel                (GNOME Files)
//   $XDG_DATA_HOME/kio/servicemenus/quarzel.desktop        (Dolphin)
//   $XDG_DATA_HOME/nemo/actions/quarzel*.nemo_action       (Nemo: a folder, a folder's background)
//   $XDG_CONFIG_HOME/Thunar/uca.xml                        (Thunar: one action among the user's)
//
// Every command names the program by its current full path, so registering again after the
// program moved points everything at the new place. A menu caption the user changed in the
// Dolphin or Nemo file is kept. Removing deletes these files (Thunar: only our action; a
// uca.xml that this program created and that holds nothing else goes too) and refreshes the
// MIME database. The file writes are quick; the two database refreshes run external programs,
// so the window calls this off its user-interface thread.
#pragma once

#include <string>
#include <vector>

namespace qz {

struct TIntegrationPlaces {
    std::string DataHome;   // $XDG_DATA_HOME, default ~/.local/share
    std::string ConfigHome; // $XDG_CONFIG_HOME, default ~/.config
};

// The current user's folders.
TIntegrationPlaces UserIntegrationPlaces();

// The files (not folders) a registration writes under places, Thunar's uca.xml included.
std::vector<std::string> IntegrationFiles(const TIntegrationPlaces& places);

// on: writes every entry for programPath; off: removes them (a missing entry is no error).
// False when a file could not be written or removed; error then names it. Entries written
// before a failure stay.
bool RegisterExplorerIntegration(bool on, const std::string& programPath,
                                 const TIntegrationPlaces& places, std::string* error = nullptr);

// A desktop entry's Exec value for the program file: quoted by the desktop-entry rules when
// it holds characters that need it ('%' doubled), with the string escapes of the key file.
std::string DesktopExecProgram(const std::string& programPath);
// A word for a POSIX shell: path in single quotes.
std::string ShellQuote(const std::string& text);

} // namespace qz
