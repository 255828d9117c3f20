// The main window (TfrmQuarzelMain): creates the panels, places them and wires the menus.
// Each concern is a class of its own: scan control with the source list (TScanControl), the
// folder tree (TTreeView), the status labels (TScanStatus, TTreeStatus) and the space summary
// (TSpaceSummaryPanel). The panels other parts of the window add later have an empty
// placeholder where they go.
#pragma once

#include "app/windowstart.h"
#include "views/displaytree.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QActionGroup;
class QMenu;
class QSplitter;
class QTabWidget;

namespace qz {

class TDeviceSourceWatcher;
class TScanControl;
class TScanStatus;
class TSpaceSummaryPanel;
class TTreeModel;
class TTreeStatus;
class TTreeView;

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

    // ---- menus (other parts add their actions)
    QMenu* mnuFile;
    QMenu* mnuTree;
    QMenu* mnuOptions;
    QAction* actScan;
    QAction* actNewInstance;
    QAction* actExit;
    QAction* actAutoScan;
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
    void NewInstance1Click();

    TWindowStart& FStart;
    TMainSettings FSettings;
    TFormatSettings FFormat;
    TDisplayTree FDisplayTree;
    TTreeModel* FTreeModel = nullptr;
    TTreeView* FTreeView = nullptr;
    TScanControl* FScanControl = nullptr;
    TScanStatus* FScanStatus = nullptr;
    TTreeStatus* FTreeStatus = nullptr;
    TSpaceSummaryPanel* FSummary = nullptr;
    TDeviceSourceWatcher* FDeviceWatch = nullptr; // the portable devices of the source list
    bool FClosePending = false; // the window closes once the cancelled scan has ended
    bool FShown = false;
};

} // namespace qz
