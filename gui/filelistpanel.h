// The "File View" page: the search bar (match mode, the entry limit, "Folders", the duplicate
// mode, "Duplicates only", the search box with its history, "Clear"), the file list and its
// three status panels (the selection, the path under the mouse, the totals).
//
// The list is loaded in the background: a load builds a second list (TFileList) while the
// shown one stays on screen, and replaces it when done. A change of the search or the options
// restarts a 500 ms timer; when it fires a running load is abandoned for the newer one. The
// sorted lists of the scans pass from one list to the next, so a new search does not sort
// again. A load that regroups the duplicates first empties the list shown (the groups are
// rewritten), and every load is stopped before the scans are freed or filtered again.
#pragma once

#include "app/settings.h"
#include "gui/backgroundjob.h"
#include "views/filelist.h"

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace qz {

class TFileListModel;
class TFileListView;
class TFileTypeCache;
class THistoryCombo;
class TWindowSettings;

class TFileListPanel : public QWidget {
    Q_OBJECT
public:
    TFileListPanel(TFileTypeCache& types, QWidget* parent = nullptr);
    ~TFileListPanel() override;

    // ---- controls
    QRadioButton* rbMatchName;   // "Match file name only"
    QRadioButton* rbMatchPath;   // "Match entire path"
    QComboBox* cbMaxFiles;       // "Max files to display:"
    QCheckBox* cbShowFolders;    // "Folders"
    QComboBox* cbDupMethod;      // "Duplicate Files:"
    QCheckBox* cbDupsOnly;       // "Duplicates only"
    THistoryCombo* cbFileSearch; // the search box and its history
    QPushButton* btnClearSearch; // "Clear"
    QLabel* lblSearchError;      // what is wrong in the search text
    TFileListView* vstFiles;
    QLabel* pnlFilesSelection;
    QLabel* pnlFilesHot;
    QLabel* pnlFilesTotals;

    TFileList& List() { return *FShown; }
    TFileListModel& Model() { return *FModel; }
    QTimer& SearchTimer() { return FTimer; }

    // ---- settings ("maxfiles", "dupmethod", "rbMatchPath_Checked", "cbShowFolders_Checked",
    // the file-list sort column, the search history)
    void LoadSettings(const TMainSettings& s);
    void StoreSettings(TMainSettings& s) const;
    // Called when a choice or the history changed (the owner writes the settings now).
    std::function<void()> SaveSettings;
    // Every save of the window's settings stores the choices and the history, and the columns
    // ("filescol_v2": widths, positions, visibility); the restore sets the columns again.
    void AttachSettings(TWindowSettings& settings);

    // The scans on screen and the totals "Percent of Drive" divides by. The list is loaded
    // when its page shows (now, when it shows already).
    void SetScans(std::vector<TNTFS_FILES*> scans, uint64_t totalSize, uint64_t totalAlloc);
    // Stops a load and empties the lists: call before the scans are freed or filtered.
    void ClearScans();
    bool HasScans() const { return !FScans.empty(); }
    // The display unit or decimals changed.
    void SetFormat(const TFormatSettings& format);
    // The font height of the grids (the tree's setting).
    void SetFontHeight(int height);

    // LoadFileList: loads now (a running load is abandoned for this one).
    void LoadFileList();
    // A load is running (or waiting for the running one to stop).
    bool Loading() const;
    // The page was shown: loads when not loaded since the last scan or filter change, and
    // focuses the search box.
    void PageShown();
    // While frozen the list shown stays as it is (an export reads it): a load asked for, or
    // one that ends meanwhile, is shown when the list is thawed.
    void Freeze(bool frozen);
    bool Frozen() const { return FFrozen; }
    // Items were marked deleted and the totals summed again (no load runs meanwhile): the
    // rows, the totals and the selection's figures are shown again.
    void RecordsChanged(uint64_t totalSize, uint64_t totalAlloc);

signals:
    // A load started or ended (the window disables "Scan" meanwhile).
    void loadingChanged(bool loading);
    // The selection of the list changed (its status text is in pnlFilesSelection).
    void selectionChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void CreateControls();
    void SearchChanged();
    void TimerFired();
    void StartLoad();
    void LoadDone();
    void DupMethodChanged();
    void HeaderClicked(int column);
    void ShowTotals();
    void RefreshSelection();
    TFileListOptions ReadOptions() const;

    TFileTypeCache& FTypes;
    std::unique_ptr<TFileList> FShown, FBuilding;
    TFileListModel* FModel = nullptr;
    std::vector<TNTFS_FILES*> FScans;
    TBackgroundJob FJob;
    QTimer FTimer;         // timFileSearch: 500 ms after the last change of the search
    bool FPending = false; // a load waits for the running one to stop
    bool FLoadedOnce = false;
    bool FFrozen = false;
    bool FLoadWhenThawed = false; // a load was asked for while frozen
    bool FShowWhenThawed = false; // a load ended while frozen
};

} // namespace qz
