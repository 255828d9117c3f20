// The settings of the main window and the headless runs, as stored in the settings file.
//
// TMainSettings holds every key of the section "frmQuarzelMain" that the program reads, the
// three histories (section "history") and the user's folders (section "CustomFolders"), with
// the defaults that apply when a key is missing and the fall-backs for values that cannot be
// read. TSettingsStore owns the file; in headless mode it never writes it.
#pragma once

#include "app/inifile.h"
#include "views/extstats.h"
#include "views/format.h"

#include <string>
#include <vector>

namespace qz {

inline constexpr const char* kMainSection = "frmQuarzelMain";
inline constexpr const char* kHistorySection = "history";
inline constexpr const char* kCustomFoldersSection = "CustomFolders";
inline constexpr const char* kSettingsFileName = "Quarzel3.ini";

struct TMainSettings {
    // Filter boxes (stored encoded).
    std::string FilterIncludeText, FilterExcludeText;
    // File list and pages.
    int MaxFiles = 1000;  // 0 (all), 100, 1000, 10000 or 100000
    int DupMethod = 2;    // 0..2
    int PageIndex = 0;    // 0..2
    std::string Language; // empty: the locale's default
    bool ShowTreemap = true, ShowFileTypes = true, FilterScanResults = false;
    int FormWidth = 0, FormHeight = 0; // at 96 dpi; 0 = not stored
    // Treemap colours.
    TTM_PALETTE Palette = DefaultPalette();
    TTM_FILEEXTENSIONS FileExtensions = DefaultFileExtensions();
    bool ColorBySize = true;
    bool GradientEnabled = true;
    // Options.
    bool RunAsAdmin = true;         // default: not portable
    bool WindowsContextMenu = true; // default: not portable
    bool MatchPathFilter = true, MatchPath = true;
    int TreeSortColumn = -1;  // 2 or 8, else -1 (not stored)
    int FilesSortColumn = -1; // 2 or 5
    int ExtSortColumn = -1;   // 1 or 6
    int FontHeight = 12, RowHeight = 0;
    bool EnableDragDrop = true, EnableDoubleClickOpen = true;
    bool MonitorFileSystemForChanges = true, ShowMaxModifiedDate = true;
    int ShowHorizontalLines = 0, AltRowColors = 0;
    int DecimalPlaces = 1; // 0..4
    bool FullScanNTFSIfPossible = false;
    int FileNodeMinGroupSize = 4;
    bool UseClassicTheme = false;
    int UITheme = 0;         // 0 auto, 1 light, 2 dark
    int LastUpdateCheck = 0; // day of the last update check (0: never)
    std::string UpdateUrl;   // the update endpoint; empty: the one the build names
    std::string ExportExtension = ".csv", ExportFolder;
    // Stored properties of the window's controls.
    TDisplayUnit DisplayUnit = TDisplayUnit::Dynamic;
    bool DontShowWarning = false, CheckForUpdates = true, ShowAllocatedSize = false;
    bool AutoScan = false, ShowFreeSpace = false, ShowFolders = false, ShowTreemapFilenames = true;
    int TreemapPanelHeight = 0, ExtPanelWidth = 0; // 0 = not stored
    std::string ExportInitialDir;
    // Histories, entry 1 first (without the lists' trailing clear entry), and user folders.
    std::vector<std::string> SearchHistory, IncludeHistory, ExcludeHistory;
    std::vector<std::string> CustomFolders;
};

// Bounds of stored sizes: a window side or panel size in pixels at 96 dpi, the grid font in
// points.
inline constexpr int kMaxWindowSide = 16384;
inline constexpr int kMinFontHeight = 11, kMaxFontHeight = 50;

// Reads every setting; missing or unreadable values take their defaults. portable: the
// settings file is a portable one (changes two defaults). warnings (when given) receives one
// line for each stored value that was unusable and replaced by its default.
TMainSettings LoadMainSettings(const TIniFile& ini, bool portable,
                               std::vector<std::string>* warnings = nullptr);
// Writes every setting (histories: the section is erased first; sort-column keys that are
// not kept values are deleted; "fontsize" is deleted).
void SaveMainSettings(TIniFile& ini, const TMainSettings& s);

// The user folders alone (the multiple-selection dialog saves them on its own).
std::vector<std::string> LoadCustomFolders(const TIniFile& ini);
void SaveCustomFolders(TIniFile& ini, const std::vector<std::string>& folders);

// The settings file of this process.
class TSettingsStore {
public:
    TSettingsStore() = default;
    // headless: the file is read but never written.
    TSettingsStore(const std::string& path, bool portable, bool headless);

    TIniFile& Ini() { return FIni; }
    const TIniFile& Ini() const { return FIni; }
    bool Portable() const { return FPortable; }
    bool Headless() const { return FHeadless; }
    TMainSettings Load(std::vector<std::string>* warnings = nullptr) const {
        return LoadMainSettings(FIni, FPortable, warnings);
    }
    // Stores s and flushes (nothing happens in headless mode). False when the file could not
    // be written; the program goes on with its settings in memory.
    bool Save(const TMainSettings& s);
    // Flushes pending writes (nothing in headless mode).
    bool SaveSettingsNow();

private:
    TIniFile FIni;
    bool FPortable = false;
    bool FHeadless = false;
};

} // namespace qz
