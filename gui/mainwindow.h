// The main window (TfrmQuarzelMain): creates the panels, places them and wires the menus.
// Each concern is a class of its own: scan control with the source list (TScanControl), the
// folder tree (TTreeView), the status labels (TScanStatus, TTreeStatus) and the space summary
// (TSpaceSummaryPanel). The panels other parts of the window add later have an empty
// placeholder where they go.
#pragma once

#include "app/windowstart.h"
#include "gui/windowsettings.h"
#include "views/displaytree.h"
#include "views/extstats.h"
#include "views/filetypes.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QActionGroup;
class QMenu;
class QSplitter;
class QTabWidget;

namespace qz {

class TChangeMonitor;
class TDeviceSourceWatcher;
class TExportActions;
class TExtView;
class TFileActions;
class TFileListPanel;
class TFileTypeCache;
class TFileTypesModel;
class TFilterApplier;
class TFilterPanel;
class TScanControl;
class TShell;
class TScanStatus;
class TSpaceSummaryPanel;
class TTreeModel;
class TTreeStatus;
class TTreeView;
class TTreemapPanel;

class TfrmQuarzelMain : public QMainWindow {
    Q_OBJECT
public:
    // start: the command line and settings (kept by reference: they outlive the window).
    explicit TfrmQuarzelMain(TWindowStart& start, QWidget* parent = nullptr);
    ~TfrmQuarzelMain() override;

    // ---- the parts
    TScanControl* ScanControl() { return FScanControl; }
    TTreeView* Tree() { return FTreeView; }
    TScanStatus* ScanStatus() { return FScanStatus; }
    TTreeStatus* TreeStatus() { return FTreeStatus; }
    TDeviceSourceWatcher* DeviceWatch() { return FDeviceWatch; }
    TSpaceSummaryPanel* SpaceSummary() { return FSummary; }
    // File operations on the selected items, and the monitor that follows removals on disk.
    TFileActions* FileActions() { return FFileActions; }
    TChangeMonitor* ChangeMonitor() { return FChangeMonitor; }
    TFileListPanel* Files() { return FFilesPanel; }
    TFileTypeCache* FileTypeCache() { return FTypeCache; }
    TExtView* FileTypes() { return FExtView; }
    TFilterPanel* Filters() { return FFilterPanel; }
    TFilterApplier* FilterApplier() { return FApplier; }
    TExportActions* Exports() { return FExports; }
    // The extension statistics and treemap colours of the scans on screen.
    TExtColors& ExtColors() { return FExtColors; }
    // The settings dialogs, look, language, update check and desktop integration.
    TShell* Shell() { return FShell; }
    // The stored settings: parts that keep state of their own register a restorer and a saver.
    TWindowSettings& Settings() { return FWindowSettings; }
    TTreemapPanel* Treemap() { return FTreemapPanel; }

    // ---- menus (other parts add their actions)
    QMenu* mnuFile;
    QMenu* mnuTree;
    QMenu* mnuOptions;
    QAction* actScan;
    QAction* actNewInstance;
    QAction* actExit;
    QAction* actAutoScan;
    QAction* actShowFileTypes; // "Show File Types" (F8)
    // The display units, in menu order: Dynamic, Bytes, KB, MB, GB, TB.
    QAction* actDisplayUnit[6];

    // ---- layout (placeholders for the panels other parts fill)
    QTabWidget* pcMain;
    QWidget* tsTree;
    QWidget* tsFiles;     // the "File View" tab (file list)
    QWidget* panFilter;   // the filter panel (Ctrl+Shift+F), hidden until it exists
    QSplitter* spTreemap; // tree above, treemap below
    QSplitter* spExt;     // tree left, file types right
    QWidget* panExt;      // the file-types view beside the tree
    QWidget* panTreemap;  // the treemap panel below the tree

    // The formatting all views use now (display unit, decimals, separators).
    const TFormatSettings& Format() const { return FFormat; }
    // actDisplayBytesExecute: the display unit changed.
    void SetDisplayUnit(TDisplayUnit unit);
    // The decimals of sizes and percentages changed (0..4).
    void SetDecimalPlaces(int decimals);
    // Scans path as the command line asks (50 ms after the window first shows).
    void ProcessCommandLinePath(const QString& path);
    // Refreshes the tree's selection status text.
    void RefreshSelectionStatus();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateLayout();
    void CreateMenus();
    void OnScanStarted();
    void OnScanFinished(bool ok);
    // The scans on screen changed (a scan ended, filters were applied): the views that are
    // not rebuilt by the scan control take them.
    void ShowResults();
    // Settings changed by a view are stored now.
    void SaveViewSettings();
    // Ranks the extensions of the scans and fills the file-types view.
    // Ranks the file types from the tallies given, else by counting the scans' records.
    void RankExtensions(std::span<const TExtTally> tallies = {});
    // "Select" in the file-types view: every file of key in the tree.
    void SelectFilesOfExtension(const QString& key);
    // actApplyFilterExecute, and the two ends of the pass.
    void actApplyFilterExecute();
    void OnFilterPassStarted();
    void OnFilterPassEnded();
    void NewInstance1Click();
    void OnTotalsChanged();

    TWindowStart& FStart;
    TMainSettings FSettings;
    TWindowSettings FWindowSettings{FStart.Store, FSettings};
    TShell* FShell = nullptr;
    TFormatSettings FFormat;
    TDisplayTree FDisplayTree;
    TExtColors FExtColors;
    TTreemapPanel* FTreemapPanel = nullptr;
    TTreeModel* FTreeModel = nullptr;
    TTreeView* FTreeView = nullptr;
    TScanControl* FScanControl = nullptr;
    TScanStatus* FScanStatus = nullptr;
    TTreeStatus* FTreeStatus = nullptr;
    TSpaceSummaryPanel* FSummary = nullptr;
    TChangeMonitor* FChangeMonitor = nullptr;
    TFileActions* FFileActions = nullptr;
    QAction* FFileMenuEnd = nullptr;              // the item commands go before it in the File menu
    TDeviceSourceWatcher* FDeviceWatch = nullptr; // the portable devices of the source list
    TFileTypeCache* FTypeCache = nullptr;
    TFileListPanel* FFilesPanel = nullptr;
    TFileTypesView FExtRows;
    TFileTypesModel* FExtModel = nullptr;
    TExtView* FExtView = nullptr;
    TFilterPanel* FFilterPanel = nullptr;
    TFilterApplier* FApplier = nullptr;
    TExportActions* FExports = nullptr;
    bool FClosePending = false; // the window closes once the cancelled scan has ended
    bool FShown = false;
};

} // namespace qz
