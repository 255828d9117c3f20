// The CSV/TSV export options, the settings the export keeps, and the file names it proposes
// and derives.
//
// The options are a value that each export is given: a headless run makes them from the
// command line (marking each value whose key was given), the window keeps its own copy that
// the options dialog edits. The dialog itself belongs to the window; the functions here give
// it its start state, check its OK and store its control states.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

// A value that remembers whether the command line gave it.
template <class T> struct TCmdValue {
    T Value{};
    bool Given = false; // the command-line key was present
    void SetFromCommandLine(T v) {
        Value = v;
        Given = true;
    }
    operator T() const { return Value; }
};

struct TExportOptions {
    TCmdValue<bool> ExportFiles{true};       // "exportfiles": rows of file records
    TCmdValue<bool> ExportFolders{true};     // "exportfolders": rows of folder records
    TCmdValue<bool> ExportMFTNo{false};      // "exportmftrecno": MFTRECNO, MFTPARENTRECNO
    TCmdValue<bool> ExportDates{false};      // "exportalldates": LASTACCESSDATE, CREATEDDATE
    TCmdValue<bool> ExportFolderSize{false}; // "exportallsizes": FOLDERSIZE, FOLDERALLOCATED
    TCmdValue<bool> SplitFileNames{false};   // "exportsplitfilename": ROOT ... FILEEXT
    TCmdValue<bool> ExportDriveSize{true};   // "exportdrivecapacity": DRIVECAPACITY ...
    TCmdValue<bool> PercentOfParent{false};  // "exportpercentofparent": PERCENTOFPARENT
    TCmdValue<int> MaxDepth{0};              // "exportmaxdepth": 0 = no limit
    TCmdValue<int64_t> Limit{0};             // "exportlimit": 0 = no limit (not in the dialog)
    // Headless runs only: the per-row filter ("filter", "filterexclude", "filterfullpath").
    std::u16string FilterInclude;
    std::u16string FilterExclude;
    bool FilterFullPath = false;
};

// ---------------------------------------------------------------- the options dialog

// The dialog's stored control states, under the dialog's name "frmExportOptions".
inline constexpr const char* kExportDialogName = "frmExportOptions";
struct TExportDialogState {
    bool cbExportFiles = true;
    bool cbExportFolders = true;
    bool cbExportDriveSize = true;
    bool cbExportDates = false;
    bool cbExportFolderSize = false;
    bool cbSplitFileNames = false;
    bool cbPercentageofParent = false;
    bool cbExportMFTNo = false;
    int seFolderDepth = 0;
};
// Property name ("cbExportDates.Checked", "seFolderDepth.Value", ...) and value text ("0",
// "1" or the number), in a fixed order.
std::vector<std::pair<std::string, std::string>> SaveExportDialogState(const TExportDialogState& s);
// Reads the stored properties through get (which returns false for a missing property); a
// missing or unreadable value keeps its default.
TExportDialogState LoadExportDialogState(
    const std::function<bool(const std::string& property, std::string& value)>& get);
// FormShow: every option whose command-line key was given replaces the stored state.
void ApplyCommandLineToDialog(const TExportOptions& options, TExportDialogState& s);
// seFolderDepthChange: a negative depth becomes 0.
int ValidFolderDepth(int value);
// btnOKClick: empty when the dialog may close, else the error text (translated) to show.
std::u16string CheckExportDialog(const TExportDialogState& s);
// btnOKClick, accepted: the check boxes and the depth become the export options.
void ApplyDialogToOptions(const TExportDialogState& s, TExportOptions& options);

// ---------------------------------------------------------------- settings and names

// "export_extension" (default ".csv") and "export_folder" (default: the user's documents
// folder, empty when it cannot be named).
struct TExportSettings {
    std::u16string export_extension = u".csv";
    std::u16string export_folder = DefaultExportFolder();
    static std::u16string DefaultExportFolder();
};

// "Quarzel_" + local time "yyyymmddhhnnss" in export_folder (no trailing separator) with
// export_extension.
std::u16string ProposedExportFileName(const TExportSettings& settings, TDateTime nowLocal);
// "Quarzel_FT_" + local time "yyyymmddhhnnss" + ".csv".
std::u16string ProposedFileTypesFileName(TDateTime nowLocal);
// After the dialog: the chosen name's extension and folder (with a trailing separator).
void RememberExportFileName(TExportSettings& settings, const std::u16string& fileName);
// The browse filter's start entry: 2 for ".tsv", otherwise 1 (".csv").
int ExportFilterIndexFor(std::u16string_view extension);
// Headless names: every "%d" becomes startLocal as "yyyymmdd", every "%t" as "HHnnss"
// (case-sensitive).
std::u16string ExpandExportFileName(std::u16string_view name, TDateTime startLocal);
// The file of the i-th further top-level node (i = 1, 2, ...): folder + name without
// extension + "_" + i + extension. "-" (standard output) stays "-".
std::u16string NumberedExportFileName(const std::u16string& fileName, int i);
// Creates the folder of fileName with all missing parents; failures are ignored (the file
// creation that follows reports them).
void CreateFolderOf(const std::u16string& fileName);

} // namespace qz
