// Scan control: the window's way from a picked source to a shown result.
//
// actScanExecute resolves the selected source-list entry (opening the folder or file dialog
// when the Scan button asks for it), captures what the user had expanded and selected, locks
// the controls, empties the views, frees the previous scans and starts the new ones on their
// threads (TScanRunner). Progress and the end arrive as messages; the tree is then built and,
// when the same source was scanned again, the captured expansion and selection come back.
// Errors go to the status line with the source they belong to.
//
// The source list follows the system: a watcher thread (TSourceWatcher) rebuilds its entries
// when file systems are mounted or unmounted and when devices come and go, and the list keeps
// the user's entry. An NTFS volume that only root may read raw offers, when it is scanned, to
// restart the program as root or to walk its folders instead. "<Select Multiple...>" opens
// the multiple-selection dialog and scans the ticked sources together.
//
// The widget itself is the row with the source list and the Scan / Cancel buttons.
#pragma once

#include "app/settings.h"
#include "app/sourceresolve.h"
#include "fsops/sourcewatch.h"
#include "gui/scanrunner.h"
#include "gui/sourcepicker.h"
#include "views/summary.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QPushButton;

namespace qz {

class TElevatedRestart;
class TScanStatus;
class TSpaceSummaryPanel;
class TfrmSelectMultiple;
class TTreeView;

// Where a scan start comes from: it decides where a path comes from.
enum class TScanTrigger : uint8_t {
    ScanButton,  // dialogs for the entries that need a path
    ScanAction,  // the menu or F5: the current source again
    Drop,        // a file dropped on the window
    CommandLine, // the path of the command line
};

// What the user chose for a volume only root may read raw.
enum class TElevationChoice : uint8_t { RestartAsRoot, ReadFolder, Cancel };

class TScanControl : public QWidget {
    Q_OBJECT
public:
    TScanControl(TTreeView& tree, TScanStatus& status, TSpaceSummaryPanel& summary,
                 QWidget* parent = nullptr);
    ~TScanControl() override; // the watcher thread and the scans end first

    TSourcePicker* cbDrive;
    QPushButton* btnScan;
    QPushButton* btnCancel;

    // ---- what the window provides
    // The settings (user folders) and where they are stored, the folder that picks the
    // default entry, and the option arguments a restart as root passes on.
    void SetSettings(TMainSettings& settings, TSettingsStore& store, std::string homeFolder);
    std::vector<std::string> OptionArguments;
    // The mount table the list was last built from.
    std::vector<TMountInfo> Mounts;
    // Filters, the modified-date choice: copied into every scan's options.
    TScanOptions BaseOptions;
    bool FullScanNTFSIfPossible = false; // setting "FullScanNTFSIfPossible"
    bool AutoScan = false;               // "Auto scan after making selection"
    int FileNodeMinGroupSize = 4;        // setting "FileNodeMinGroupSize"
    // Dialogs and messages (tests replace them): a folder to scan, a file of a kind
    // (DT_MFTFILE, DT_CSVFILE); empty means the user cancelled.
    std::function<QString()> AskFolder;
    std::function<QString(TSourceKind)> AskFile;
    std::function<void(const QString&)> ShowMessage;
    // The offer for a volume only root may read raw (the entry's text).
    std::function<TElevationChoice(const QString&)> AskElevation;
    // Shows the multiple-selection dialog (loaded already); true when it was closed with OK.
    std::function<bool(TfrmSelectMultiple&)> RunMultipleDialog;

    // ---- the source list
    // Builds the list from a mount table now (at start, before the watcher has reported).
    void InitSources(std::vector<TMountInfo> mounts);
    // The portable devices of the source list, placed after the drives on every rebuild.
    // arrived: listed after a USB event; a device new in the list is then selected (without a
    // scan) unless the user has picked an entry since the window opened or the last scan
    // ended, or a scan runs.
    void SetDeviceEntries(std::vector<TSourceEntry> devices, bool arrived = false);
    // The watcher: add entry providers (portable devices) before StartWatchingSources.
    TSourceWatcher& SourceWatcher() { return *FWatcher; }
    void StartWatchingSources();
    // Ends the watcher's thread; the list stays as it is (the window closes, or a test wants
    // a list that does not change).
    void StopWatchingSources();
    // A rebuild of the watcher, on the window's thread: the list is rebuilt keeping the
    // selected entry; with none selected a drive that has just appeared is selected.
    void ApplySources(TSourceSnapshot snapshot);
    // The multiple-selection dialog (made when first needed; its ticks stay).
    TfrmSelectMultiple& MultipleDialog();
    // The restart as root.
    TElevatedRestart& ElevatedRestart() { return *FRestart; }

    // ---- state
    bool ScanInProgress() const { return FScanInProgress; }
    TScanSession& Session() { return FRunner.Session(); }
    const QString& CurrentDrive() const { return FCurrentDrive; }

    // The one scan entry.
    void actScanExecute(TScanTrigger sender, bool fullVolume = false);
    // Scans path as the command line does: the matching entry is selected and the path read.
    void ScanPath(const QString& path);
    // Scans resolved sources (several at once: one thread each). False when the start was
    // refused (a scan runs).
    bool StartScan(std::vector<TScanSource> sources);
    // DoDragDropFilename: a dropped ".mft", ".csv" or ".tsv" file is scanned shortly after.
    void DoDragDropFilename(const QString& file);
    void btnCancelClick();
    // Refreshes the space summary and the window caption from the current sources.
    void UpdateSpaceSummary();
    // The sources' space figures read again (items were removed on disk), then the summary.
    void RefreshDiskSizes();
    // Sets the texts made from pieces again after a language switch (the fixed source
    // entries, the completed scan's status line, the summary).
    void Retranslate();

signals:
    void scanStarted();
    // The scan ended: ok when no source failed (the tree then shows the result).
    void scanFinished(bool ok);
    // The views were emptied (the panels that show a scan clear themselves).
    void viewsCleared();
    // The source list was rebuilt from a watcher's report.
    void sourcesChanged();
    // The program runs again as root: this window should close.
    void restartedAsRoot();

private:
    void btnScanClick();
    void OnPicked(int index);
    void OnProgress(const TScanProgress& p);
    void OnFinished(bool ok);
    void Lock(bool scanning);
    bool ResolveAndStart(const std::string& path, bool fullVolume);
    // The drive entry of a volume that only root may read raw, when scanning path (in
    // full-volume mode: any folder on it) would read it; nil otherwise.
    const TSourceEntry* RootOnlyVolume(const std::string& path, bool fullVolume) const;
    bool ScanSeveral(const std::vector<TSourceEntry>& entries);
    void RefreshList();
    std::vector<std::string> UserFolders() const;
    // The space figures known before a scan's threads report them: the drives' from the list.
    std::vector<TDiskSizeInfo> KnownSizes(const std::vector<TScanSource>& sources) const;
    void Fail(const QString& message);
    // The status line of a completed scan: its time, and what could not be read.
    void ShowCompletion();

    TTreeView& FTree;
    TScanStatus& FStatus;
    TSpaceSummaryPanel& FSummary;
    TScanRunner FRunner;
    bool FScanInProgress = false;
    bool FUserPicked = false; // an entry picked since the window opened or the last scan ended
    QString FCurrentDrive;
    QString FDragDropFilename;
    QString FCompletionStatus; // the status line set when the last scan completed
    std::string FCommandLinePath;
    TTreeViewState FCaptured;
    std::vector<TDiskSizeInfo> FDiskSizes; // one per source of the last scan
    TMainSettings* FSettings = nullptr;
    TSettingsStore* FStore = nullptr;
    std::string FHomeFolder;
    std::vector<TSourceEntry> FEntries;       // drives and providers' entries of the last rebuild
    std::vector<TSourceEntry> FDeviceEntries; // portable devices, as the device watcher lists them
    std::unique_ptr<TSourceWatcher> FWatcher;
    TfrmSelectMultiple* FMultiple = nullptr;
    TElevatedRestart* FRestart;
    // The control of this bar that had the focus when a scan locked it, and the widget Qt
    // handed the focus on to; when the focus still rests there at the end, it goes back.
    QPointer<QWidget> FFocusBeforeScan, FFocusHandedTo;
};

} // namespace qz
