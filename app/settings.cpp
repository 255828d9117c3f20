#include "app/settings.h"

#include "base/text.h"

namespace qz {

namespace {

constexpr const char* M = kMainSection;

// The display-unit check marks, one of which is set.
constexpr std::pair<const char*, TDisplayUnit> kUnitKeys[] = {
    {"actDisplayDynamic_Checked", TDisplayUnit::Dynamic},
    {"actDisplayBytes_Checked", TDisplayUnit::Bytes},
    {"actDisplayKB_Checked", TDisplayUnit::KB},
    {"actDisplayMB_Checked", TDisplayUnit::MB},
    {"actDisplayGB_Checked", TDisplayUnit::GB},
    {"actDisplayTB_Checked", TDisplayUnit::TB}};

std::vector<std::string> ReadHistory(const TIniFile& ini, const std::string& countKey,
                                     const std::string& itemKey) {
    std::vector<std::string> items;
    int n = ini.ReadInteger(kHistorySection, countKey, 0);
    for (int i = 1; i <= n && i <= 1000; ++i) {
        std::string v = DecodeIniText(ini.ReadString(kHistorySection, itemKey + std::to_string(i)));
        items.push_back(std::move(v));
    }
    return items;
}

void WriteHistory(TIniFile& ini, const std::string& countKey, const std::string& itemKey,
                  const std::vector<std::string>& items) {
    ini.WriteInteger(kHistorySection, countKey, int64_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i)
        ini.WriteString(kHistorySection, itemKey + std::to_string(i + 1), EncodeIniText(items[i]));
}

int KeptColumn(const TIniFile& ini, const char* key, int a, int b) {
    int v = -1;
    if (!ini.TryReadInteger(M, key, v)) return -1;
    return v == a || v == b ? v : -1;
}

void WriteKeptColumn(TIniFile& ini, const char* key, int v, int a, int b) {
    if (v == a || v == b)
        ini.WriteInteger(M, key, v);
    else
        ini.DeleteKey(M, key);
}

// An integer key that must lie in lo..hi: a missing key gives def silently, a value that is no
// number or lies outside gives def and a warning.
int ReadRanged(const TIniFile& ini, const std::string& key, int def, int lo, int hi,
               std::vector<std::string>* warnings) {
    if (!ini.ValueExists(M, key)) return def;
    int v = 0;
    if (ini.TryReadInteger(M, key, v) && v >= lo && v <= hi) return v;
    if (warnings)
        warnings->push_back(Format(tr("%s=%s is not a value between %d and %d; %d is used"),
                                   key.c_str(), ini.ReadString(M, key).substr(0, 40).c_str(), lo,
                                   hi, def));
    return def;
}

} // namespace

std::vector<std::string> LoadCustomFolders(const TIniFile& ini) {
    std::vector<std::string> folders;
    int n = ini.ReadInteger(kCustomFoldersSection, "NumCustomFolders", 0);
    for (int i = 1; i <= n && i <= 10000; ++i) {
        std::string f = ini.ReadString(kCustomFoldersSection, "CustomFolder" + std::to_string(i));
        if (!f.empty()) folders.push_back(std::move(f));
    }
    return folders;
}

void SaveCustomFolders(TIniFile& ini, const std::vector<std::string>& folders) {
    ini.EraseSection(kCustomFoldersSection);
    for (size_t i = 0; i < folders.size(); ++i)
        ini.WriteString(kCustomFoldersSection, "CustomFolder" + std::to_string(i + 1), folders[i]);
    ini.WriteInteger(kCustomFoldersSection, "NumCustomFolders", int64_t(folders.size()));
}

TMainSettings LoadMainSettings(const TIniFile& ini, bool portable,
                               std::vector<std::string>* warnings) {
    TMainSettings s;
    if (warnings && ini.LoadState() == TIniFile::TLoadState::Damaged)
        // "line(s)": one English form for any count; translations give their own forms.
        warnings->push_back(Format(ntr("%d damaged line(s) left out, the first is line %d",
                                       "%d damaged line(s) left out, the first is line %d",
                                       uint64_t(ini.BadLines())),
                                   ini.BadLines(), ini.FirstBadLine()));
    s.FilterIncludeText = DecodeIniText(ini.ReadString(M, "edFilterInclude_Text"));
    s.FilterExcludeText = DecodeIniText(ini.ReadString(M, "edFilterExclude_Text"));

    int v = 0;
    if (!ini.ValueExists(M, "maxfiles"))
        s.MaxFiles = 1000;
    else if (!ini.TryReadInteger(M, "maxfiles", v))
        s.MaxFiles = 0; // an unreadable value is the choice "ALL"
    else
        s.MaxFiles = (v == 0 || v == 100 || v == 1000 || v == 10000 || v == 100000) ? v : 1000;
    if (!ini.ValueExists(M, "dupmethod"))
        s.DupMethod = 2;
    else
        s.DupMethod = ini.TryReadInteger(M, "dupmethod", v) && v >= 0 && v <= 2 ? v : 0;
    s.PageIndex = ini.ReadInteger(M, "pageindex", 0);
    if (s.PageIndex < 0 || s.PageIndex > 2) s.PageIndex = 0;
    s.Language = ini.ReadString(M, "language");
    s.ShowTreemap = ini.ReadBool(M, "showtreemap", true);
    s.ShowFileTypes = ini.ReadBool(M, "showfiletypes", true);
    s.FilterScanResults = ini.ReadBool(M, "filterscanresults", false);
    s.FormWidth = ReadRanged(ini, "FormWidth", 0, 1, kMaxWindowSide, warnings);
    s.FormHeight = ReadRanged(ini, "FormHeight", 0, 1, kMaxWindowSide, warnings);

    for (int i = 0; i < kPaletteSlots; ++i) {
        const std::string key = "color" + std::to_string(i);
        if (ini.ValueExists(M, key))
            s.Palette[size_t(i)] = FromSettingsColor(uint32_t(ReadRanged(
                ini, key, int(ToSettingsColor(s.Palette[size_t(i)])), 0, 0xFFFFFF, warnings)));
    }
    for (int i = 0; i < 12; ++i) {
        std::string key = "tmfileextensions" + std::to_string(i + 1);
        if (ini.ValueExists(M, key)) {
            s.FileExtensions[size_t(i)] = Utf8ToUtf16(ini.ReadString(M, key));
        }
    }
    s.ColorBySize = ini.ReadBool(M, "treemapcolorbysize", true);
    s.GradientEnabled = ini.ReadInteger(M, "GradientEnabled", 1) == 1;

    s.RunAsAdmin = ini.ReadBool(M, "actRunAsAdmin_Checked", !portable);
    s.WindowsContextMenu = ini.ReadBool(M, "actWindowsContextMenu_Checked", !portable);
    s.MatchPathFilter = ini.ReadBool(M, "rbMatchPathFilter_Checked", true);
    s.MatchPath = ini.ReadBool(M, "rbMatchPath_Checked", true);
    s.TreeSortColumn = KeptColumn(ini, "vst_header_SortColumn", 2, 8);
    s.FilesSortColumn = KeptColumn(ini, "vstfiles_header_SortColumn", 2, 5);
    s.ExtSortColumn = KeptColumn(ini, "vstext_header_SortColumn", 1, 6);
    s.FontHeight = ReadRanged(ini, "fontheight4", 12, kMinFontHeight, kMaxFontHeight, warnings);
    s.RowHeight = ini.ReadInteger(M, "rowheight4", 0);
    s.EnableDragDrop = ini.ReadInteger(M, "enabledragdrop", 1) == 1;
    s.EnableDoubleClickOpen = ini.ReadInteger(M, "enabledoubleclickopen", 1) == 1;
    s.MonitorFileSystemForChanges = ini.ReadInteger(M, "MonitorFileSystemForChanges", 1) != 0;
    s.ShowMaxModifiedDate = ini.ReadInteger(M, "ShowMaxModifiedDate", 1) != 0;
    s.ShowHorizontalLines = ini.ReadInteger(M, "showhorizontallines", 0);
    s.AltRowColors = ini.ReadInteger(M, "altrowcolors", 0);
    s.DecimalPlaces = ReadRanged(ini, "decimalplaces", 1, 0, 4, warnings);
    s.FullScanNTFSIfPossible = ini.ReadInteger(M, "FullScanNTFSIfPossible", 0) == 1;
    s.FileNodeMinGroupSize = ini.ReadInteger(M, "FileNodeMinGroupSize", 4);
    if (s.FileNodeMinGroupSize < 0) s.FileNodeMinGroupSize = 0;
    s.UseClassicTheme = ini.ReadInteger(M, "UseQuarzelClassicTheme", 0) == 1;
    s.UITheme = ini.ReadInteger(M, "uitheme", 0); // another value behaves as automatic
    if (s.UITheme < 0 || s.UITheme > 2) s.UITheme = 0;
    s.LastUpdateCheck = ini.ReadInteger(M, "LastUpdateCheck", 0);
    s.UpdateUrl = ini.ReadString(M, "UpdateURL");
    s.ExportExtension = ini.ReadString(M, "export_extension", ".csv");
    s.ExportFolder = ini.ReadString(M, "export_folder");

    for (auto [key, unit] : kUnitKeys)
        if (ini.ReadBool(M, key, false)) s.DisplayUnit = unit;
    s.DontShowWarning = ini.ReadBool(M, "cbDontShowWarning_Checked", false);
    s.CheckForUpdates = ini.ReadBool(M, "actCheckForUpdates_Checked", true);
    s.ShowAllocatedSize = ini.ReadBool(M, "actShowAllocatedSize_Checked", false);
    s.AutoScan = ini.ReadBool(M, "actAutoScan_Checked", false);
    s.ShowFreeSpace = ini.ReadBool(M, "actShowFreeSpace_Checked", false);
    s.ShowFolders = ini.ReadBool(M, "cbShowFolders_Checked", false);
    s.ShowTreemapFilenames = ini.ReadBool(M, "actShowTreemapFilenames_Checked", true);
    s.TreemapPanelHeight = ReadRanged(ini, "panTreemap_Height", 0, 0, kMaxWindowSide, warnings);
    s.ExtPanelWidth = ReadRanged(ini, "panExt_Width", 0, 0, kMaxWindowSide, warnings);
    s.ExportInitialDir = ini.ReadString(M, "sdExportCSV_InitialDir");

    s.SearchHistory = ReadHistory(ini, "numitems", "search");
    s.IncludeHistory = ReadHistory(ini, "numitemsFI", "searchFI");
    s.ExcludeHistory = ReadHistory(ini, "numitemsFE", "searchFE");
    s.CustomFolders = LoadCustomFolders(ini);
    return s;
}

void SaveMainSettings(TIniFile& ini, const TMainSettings& s) {
    ini.WriteString(M, "edFilterExclude_Text", EncodeIniText(s.FilterExcludeText));
    ini.WriteString(M, "edFilterInclude_Text", EncodeIniText(s.FilterIncludeText));
    ini.WriteInteger(M, "maxfiles", s.MaxFiles);
    ini.WriteInteger(M, "dupmethod", s.DupMethod);
    if (s.PageIndex >= 0 && s.PageIndex <= 2) ini.WriteInteger(M, "pageindex", s.PageIndex);
    ini.WriteString(M, "language", s.Language);
    ini.WriteBool(M, "showtreemap", s.ShowTreemap);
    ini.WriteBool(M, "showfiletypes", s.ShowFileTypes);
    ini.WriteBool(M, "filterscanresults", s.FilterScanResults);
    if (s.FormWidth > 0) ini.WriteInteger(M, "FormWidth", s.FormWidth);
    if (s.FormHeight > 0) ini.WriteInteger(M, "FormHeight", s.FormHeight);
    for (int i = 0; i < 12; ++i)
        ini.WriteInteger(M, "color" + std::to_string(i), ToSettingsColor(s.Palette[size_t(i)]));
    ini.WriteBool(M, "actWindowsContextMenu_Checked", s.WindowsContextMenu);
    ini.WriteBool(M, "rbMatchPathFilter_Checked", s.MatchPathFilter);
    ini.WriteBool(M, "rbMatchPath_Checked", s.MatchPath);
    WriteKeptColumn(ini, "vst_header_SortColumn", s.TreeSortColumn, 2, 8);
    WriteKeptColumn(ini, "vstfiles_header_SortColumn", s.FilesSortColumn, 2, 5);
    WriteKeptColumn(ini, "vstext_header_SortColumn", s.ExtSortColumn, 1, 6);
    // The normalising writes of a restore.
    ini.WriteInteger(M, "enabledragdrop", s.EnableDragDrop ? 1 : 0);
    ini.WriteInteger(M, "enabledoubleclickopen", s.EnableDoubleClickOpen ? 1 : 0);
    ini.WriteInteger(M, "fontheight4", s.FontHeight);
    if (s.RowHeight > 0) ini.WriteInteger(M, "rowheight4", s.RowHeight);
    ini.WriteInteger(M, "ShowMaxModifiedDate", s.ShowMaxModifiedDate ? 1 : 0);
    ini.WriteInteger(M, "MonitorFileSystemForChanges", s.MonitorFileSystemForChanges ? 1 : 0);
    ini.WriteInteger(M, "showhorizontallines", s.ShowHorizontalLines);
    ini.WriteInteger(M, "altrowcolors", s.AltRowColors);
    ini.WriteInteger(M, "decimalplaces", s.DecimalPlaces);
    ini.WriteInteger(M, "gradientenabled", s.GradientEnabled ? 1 : 0);
    ini.WriteInteger(M, "FullScanNTFSIfPossible", s.FullScanNTFSIfPossible ? 1 : 0);
    ini.WriteInteger(M, "FileNodeMinGroupSize", s.FileNodeMinGroupSize);
    ini.WriteInteger(M, "UseQuarzelClassicTheme", s.UseClassicTheme ? 1 : 0);
    ini.WriteInteger(M, "uitheme", s.UITheme);
    ini.WriteInteger(M, "LastUpdateCheck", s.LastUpdateCheck);
    if (!s.UpdateUrl.empty()) ini.WriteString(M, "UpdateURL", s.UpdateUrl);
    ini.DeleteKey(M, "fontsize");
    // Stored properties.
    for (auto [key, unit] : kUnitKeys) ini.WriteBool(M, key, s.DisplayUnit == unit);
    ini.WriteBool(M, "actRunAsAdmin_Checked", s.RunAsAdmin);
    ini.WriteBool(M, "cbDontShowWarning_Checked", s.DontShowWarning);
    ini.WriteBool(M, "actCheckForUpdates_Checked", s.CheckForUpdates);
    if (s.TreemapPanelHeight > 0) ini.WriteInteger(M, "panTreemap_Height", s.TreemapPanelHeight);
    if (s.ExtPanelWidth > 0) ini.WriteInteger(M, "panExt_Width", s.ExtPanelWidth);
    ini.WriteBool(M, "actShowAllocatedSize_Checked", s.ShowAllocatedSize);
    ini.WriteBool(M, "actAutoScan_Checked", s.AutoScan);
    ini.WriteBool(M, "actShowFreeSpace_Checked", s.ShowFreeSpace);
    ini.WriteBool(M, "cbShowFolders_Checked", s.ShowFolders);
    ini.WriteBool(M, "actShowTreemapFilenames_Checked", s.ShowTreemapFilenames);
    ini.WriteString(M, "sdExportCSV_InitialDir", s.ExportInitialDir);
    ini.WriteString(M, "export_extension", s.ExportExtension);
    ini.WriteString(M, "export_folder", s.ExportFolder);

    ini.EraseSection(kHistorySection);
    WriteHistory(ini, "numitems", "search", s.SearchHistory);
    WriteHistory(ini, "numitemsFI", "searchFI", s.IncludeHistory);
    WriteHistory(ini, "numitemsFE", "searchFE", s.ExcludeHistory);
}

TSettingsStore::TSettingsStore(const std::string& path, bool portable, bool headless)
    : FIni(path), FPortable(portable), FHeadless(headless) {
    if (headless) FIni.SetReadOnly(true);
}

bool TSettingsStore::Save(const TMainSettings& s) {
    if (FHeadless) return true;
    SaveMainSettings(FIni, s);
    return SaveSettingsNow();
}

bool TSettingsStore::SaveSettingsNow() {
    if (FHeadless) return true;
    return FIni.UpdateFile();
}

} // namespace qz
