// The window's exports: "Export to CSV file..." (the options dialog, then the CSV/TSV file of
// the tree or the file list, or of their selection), "Export File Types to CSV file..." and
// "Copy file and size info to clipboard".
//
// A CSV/TSV export runs on a thread of its own behind a modal progress window with Cancel. It
// never walks the tree on screen: it walks a tree of its own built from the same scans in the
// same order (with the same selection when only the selection is exported), so the tree on
// screen is never changed under the user's eyes. The file list is walked as it stands; it is
// held (no reload replaces it) until the export ends. A failed or cancelled export leaves no
// file under the name, and an earlier file of that name stays as it was.
#pragma once

#include "app/settings.h"
#include "export/export_options.h"
#include "gui/backgroundjob.h"

#include <QMessageBox>
#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QProgressDialog;

namespace qz {

class TfrmExportOptions;
class TfrmQuarzelMain;
struct TCsvExportResult;

class TExportActions : public QObject {
    Q_OBJECT
public:
    // options: the command line's export options (they preset the dialog).
    TExportActions(TfrmQuarzelMain& window, TMainSettings& settings, TSettingsStore& store,
                   TExportOptions options, QObject* parent = nullptr);
    ~TExportActions() override;

    QAction* actExport;          // "Export to CSV file..." (Ctrl+Alt+E)
    QAction* actExportFileTypes; // "Export File Types to CSV file..." (Ctrl+Alt+F)
    QAction* actExportVisible;   // "Copy file and size info to clipboard" (Ctrl+Alt+C)

    // Enables the three actions (a scan has finished and nothing else holds the scans).
    void SetEnabled(bool enabled);
    bool Busy() const { return FJob.Busy(); }
    // Stops a running export (the window closes); nothing is written.
    void Stop();

    // ---- the dialogs and messages (tests replace them)
    // Runs the options dialog; returns its result (QDialog::Accepted to export).
    std::function<int(TfrmExportOptions&)> RunDialog;
    // The save dialog of the file-types export: the chosen name, empty when cancelled.
    std::function<QString(const QString& proposed)> AskFileTypesName;
    // "Overwrite?" with Yes and No: true for Yes.
    std::function<bool(const QString& file)> AskOverwrite;
    std::function<void(QMessageBox::Icon, const QString&)> ShowMessage;

    void actExportExecute();
    void actExportFileTypesExecute();
    void actExportVisibleExecute();

signals:
    // An export started or ended (the window holds the file list meanwhile).
    void busyChanged(bool busy);
    // A CSV/TSV export ended: ok, and the message shown.
    void exportFinished(bool ok, const QString& message);

private:
    bool TreeViewActive() const;
    void ExportDone(const std::shared_ptr<TCsvExportResult>& result);

    TfrmQuarzelMain& FWindow;
    TMainSettings& FSettings;
    TSettingsStore& FStore;
    TExportOptions FOptions;
    TBackgroundJob FJob;
    QProgressDialog* FProgress = nullptr;
    std::atomic<bool> FCancel{false};
};

} // namespace qz
