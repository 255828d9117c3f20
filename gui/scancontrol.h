// Scan control: the window's way from a picked source to a shown result.
//
// actScanExecute resolves the selected source-list entry (opening the folder or file dialog
// when the Scan button asks for it), captures what the user had expanded and selected, locks
// the controls, empties the views, frees the previous scans and starts the new ones on their
// threads (TScanRunner). Progress and the end arrive as messages; the tree is then built and,
// when the same source was scanned again, the captured expansion and selection come back.
// Errors go to the status line with the source they belong to.
//
// The widget itself is the row with the source list and the Scan / Cancel buttons.
#pragma once

#include "app/sourceresolve.h"
#include "gui/scanrunner.h"
#include "gui/sourcepicker.h"
#include "views/summary.h"

#include <QWidget>
#include <functional>

class QPushButton;

namespace qz {

class TScanStatus;
class TSpaceSummaryPanel;
class TTreeView;

// Where a scan start comes from: it decides where a path comes from.
enum class TScanTrigger : uint8_t {
    ScanButton,  // dialogs for the entries that need a path
    ScanAction,  // the menu or F5: the current source again
    Drop,        // a file dropped on the window
    CommandLine, // the path of the command line
};

class TScanControl : public QWidget {
    Q_OBJECT
public:
    TScanControl(TTreeView& tree, TScanStatus& status, TSpaceSummaryPanel& summary,
                 QWidget* parent = nullptr);

    TSourcePicker* cbDrive;
    QPushButton* btnScan;
    QPushButton* btnCancel;

    // ---- what the window provides
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
    // Sets the texts made from pieces again after a language switch (the fixed source
    // entries, the completed scan's status line, the summary).
    void Retranslate();

signals:
    void scanStarted();
    // The scan ended: ok when no source failed (the tree then shows the result).
    void scanFinished(bool ok);
    // The views were emptied (the panels that show a scan clear themselves).
    void viewsCleared();

private:
    void btnScanClick();
    void OnPicked(int index);
    void OnProgress(const TScanProgress& p);
    void OnFinished(bool ok);
    void Lock(bool scanning);
    bool ResolveAndStart(const std::string& path, bool fullVolume);
    void Fail(const QString& message);

    TTreeView& FTree;
    TScanStatus& FStatus;
    TSpaceSummaryPanel& FSummary;
    TScanRunner FRunner;
    bool FScanInProgress = false;
    QString FCurrentDrive;
    QString FDragDropFilename;
    QString FCompletionStatus; // the status line set when the last scan completed
    std::string FCommandLinePath;
    TTreeViewState FCaptured;
    std::vector<TDiskSizeInfo> FDiskSizes; // one per source of the last scan
};

} // namespace qz
