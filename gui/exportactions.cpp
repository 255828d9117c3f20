#include "gui/exportactions.h"

#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "export/clipboard_text.h"
#include "export/csv_export.h"
#include "export/filetypes_export.h"
#include "gui/exportdialog.h"
#include "gui/extview.h"
#include "gui/filelistpanel.h"
#include "gui/filetypecache.h"
#include "gui/filetypesmodel.h"
#include "gui/mainwindow.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/treeview.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTabWidget>

namespace qz {

namespace {

QAction* MakeAction(QObject* parent, const char* name, const QString& text,
                    const QKeySequence& key) {
    auto* a = new QAction(text, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
}

// What a CSV/TSV export on its own thread works with; nothing here is shared with the window.
struct TExportWork {
    TCsvExportJob Job;
    TExportOptions Options;
    std::vector<TNTFS_FILES*> Scans;
    std::vector<TDiskSizeInfo> Sizes;
    // The tree walked (tree exports) or the sort the percentages follow (file-list exports).
    std::unique_ptr<TDisplayTree> Tree;
    bool BuildTree = false; // load Tree from the scans first
    bool FoldersOnly = false;
    int SortColumn = tcAllocated;
    TSortDirection SortDirection = TSortDirection::Descending;
    TTreeViewState Selection; // restored in Tree when only the selection is written
    bool RestoreSelection = false;
};

} // namespace

TExportActions::TExportActions(TfrmQuarzelMain& window, TMainSettings& settings,
                               TSettingsStore& store, TExportOptions options, QObject* parent)
    : QObject(parent), FWindow(window), FSettings(settings), FStore(store),
      FOptions(std::move(options)) {
    actExport = MakeAction(this, "actExport", Tr("Export to CSV file..."),
                           QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_E));
    actExportFileTypes =
        MakeAction(this, "actExportFileTypes", Tr("Export File Types to CSV file..."),
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F));
    actExportVisible =
        MakeAction(this, "actExportVisible", Tr("Copy file and size info to clipboard"),
                   QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    connect(actExport, &QAction::triggered, this, &TExportActions::actExportExecute);
    connect(actExportFileTypes, &QAction::triggered, this,
            &TExportActions::actExportFileTypesExecute);
    connect(actExportVisible, &QAction::triggered, this, &TExportActions::actExportVisibleExecute);
    SetEnabled(false);

    RunDialog = [](TfrmExportOptions& d) { return d.exec(); };
    AskFileTypesName = [this](const QString& proposed) {
        QFileDialog dialog(&FWindow, Tr("Export File Types to CSV file..."), proposed,
                           QStringLiteral(".csv (*.csv)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked after the dialog
        dialog.selectFile(proposed);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    AskOverwrite = [this](const QString& file) {
        return QMessageBox::warning(
                   &FWindow, QStringLiteral("Quarzel"),
                   Tr("The file already exists. Overwrite it?") + QStringLiteral("\n") + file,
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    ShowMessage = [this](QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, QStringLiteral("Quarzel"), text, QMessageBox::Ok, &FWindow);
        box.exec();
    };
}

TExportActions::~TExportActions() {
    Stop();
}

void TExportActions::SetEnabled(bool enabled) {
    actExport->setEnabled(enabled);
    actExportFileTypes->setEnabled(enabled);
    actExportVisible->setEnabled(enabled);
}

void TExportActions::Stop() {
    if (!FJob.Busy()) return;
    FJob.Stop(); // the cancel flag of the job is set: the export abandons its file
    delete FProgress;
    FProgress = nullptr;
    QGuiApplication::restoreOverrideCursor();
    emit busyChanged(false);
}

bool TExportActions::TreeViewActive() const {
    return FWindow.pcMain->currentWidget() != FWindow.tsFiles;
}

// ---------------------------------------------------------------- CSV/TSV

void TExportActions::actExportExecute() {
    if (!actExport->isEnabled() || FJob.Busy()) return;
    const bool treeView = TreeViewActive();
    TDisplayTree& tree = FWindow.Tree()->Tree();
    TFileList& files = FWindow.Files()->List();
    TViewNodes& view = treeView ? static_cast<TViewNodes&>(tree) : files;
    std::vector<TSelectedItem> items;
    if (view.SelectedCount() > 0) GetSelectedItems(items, view);

    TExportSettings names;
    names.export_extension = Utf8ToUtf16(FSettings.ExportExtension);
    if (!FSettings.ExportFolder.empty()) names.export_folder = Utf8ToUtf16(FSettings.ExportFolder);
    TfrmExportOptions dialog(&FWindow);
    dialog.edFilename->setText(ToQString(ProposedExportFileName(names, NowLocal())));
    TIniFile& ini = FStore.Ini();
    TExportDialogState state =
        LoadExportDialogState([&ini](const std::string& property, std::string& value) {
            if (!ini.ValueExists(kExportDialogName, property)) return false;
            value = ini.ReadString(kExportDialogName, property);
            return true;
        });
    ApplyCommandLineToDialog(FOptions, state);
    dialog.SetState(state);
    dialog.SetView(treeView, !items.empty(), ToQString(ExportSelectionLabel(items)));
    if (RunDialog(dialog) != QDialog::Accepted) return;

    // The choices are kept: the dialog's controls, the file's extension and folder.
    const TExportDialogState chosen = dialog.State();
    for (const auto& [property, value] : SaveExportDialogState(chosen))
        ini.WriteString(kExportDialogName, property, value);
    ApplyDialogToOptions(chosen, FOptions);
    const std::u16string fileName = ToU16(dialog.edFilename->text().trimmed());
    RememberExportFileName(names, fileName);
    FSettings.ExportExtension = Utf16ToUtf8(names.export_extension);
    FSettings.ExportFolder = Utf16ToUtf8(names.export_folder);
    FStore.Save(FSettings);
    if (QFileInfo::exists(ToQString(fileName)) && !AskOverwrite(ToQString(fileName))) return;
    CreateFolderOf(fileName);

    auto work = std::make_shared<TExportWork>();
    auto result = std::make_shared<TCsvExportResult>();
    TScanSession& session = FWindow.ScanControl()->Session();
    for (size_t k = 0; k < session.ScanSlots.size(); ++k)
        if (session.ScanSlots[k]) {
            work->Scans.push_back(session.ScanSlots[k].get());
            work->Sizes.push_back(k < session.DiskSizes.size() ? session.DiskSizes[k]
                                                               : TDiskSizeInfo{});
        }
    work->Options = FOptions;
    work->Options.FilterInclude.clear(); // the per-row filter is the headless run's
    work->Options.FilterExclude.clear();
    work->Tree = std::make_unique<TDisplayTree>();
    work->Tree->Format = tree.Format;
    work->Tree->FILENODE_MIN_GROUP_SIZE = tree.FILENODE_MIN_GROUP_SIZE;
    work->FoldersOnly = session.FoldersOnly;
    work->SortColumn = tree.SortColumn();
    work->SortDirection = tree.SortDirection();
    const bool useSelection = dialog.cbSelectedOnly->isChecked() && !items.empty();
    TCsvExportJob& job = work->Job;
    job.FileName = fileName;
    job.Decimals = tree.Format.TreeDecimals();
    job.UseSelection = useSelection;
    job.Cancel = &FCancel;
    if (treeView) {
        job.View = TExportView::Tree;
        work->BuildTree = true;
        if (useSelection) {
            work->Selection = tree.CaptureViewState();
            work->Selection.Expanded.clear();
            work->RestoreSelection = true;
        }
    } else {
        job.View = TExportView::FileList;
        job.Files = &files;
        // The walk then only reads the list: the copies of every row exist already.
        for (TTreeNode* n : files.Roots()) files.Children(n);
    }

    FCancel.store(false);
    emit busyChanged(true);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    FProgress =
        new QProgressDialog(Tr("Exporting") + QStringLiteral("..."), Tr("Cancel"), 0, 0, &FWindow);
    FProgress->setObjectName(QStringLiteral("dlgExportProgress"));
    FProgress->setWindowModality(Qt::WindowModal);
    FProgress->setMinimumDuration(0);
    FProgress->setAutoClose(false);
    FProgress->setAutoReset(false);
    connect(FProgress, &QProgressDialog::canceled, this, [this] { FCancel.store(true); });
    FProgress->show();
    DebugLog("Export " + Utf16ToUtf8(fileName));
    FJob.Start(
        [work, result](const std::atomic<bool>&) {
            TDisplayTree& t = *work->Tree;
            if (work->BuildTree) {
                t.FileNodesEnabled = !work->FoldersOnly;
                t.LoadTree(work->Scans);
                if (work->RestoreSelection) t.RestoreViewState(work->Selection);
            }
            t.Sort(work->SortColumn, work->SortDirection);
            work->Job.Tree = &t;
            work->Job.Scans = work->Scans;
            work->Job.DiskSizes = work->Sizes;
            *result = ExportToCSV(work->Job, work->Options);
        },
        [this, result] { ExportDone(result); });
}

void TExportActions::ExportDone(const std::shared_ptr<TCsvExportResult>& result) {
    delete FProgress;
    FProgress = nullptr;
    QGuiApplication::restoreOverrideCursor();
    emit busyChanged(false);
    QString message;
    if (result->Cancelled) {
        message = Tr("Export cancelled");
    } else if (result->Ok) {
        message = Tr("Export complete");
        ShowMessage(QMessageBox::Information, message);
    } else {
        message = Tr("Export failed:") + QLatin1Char(' ') + QString::fromUtf8(result->Error);
        ShowMessage(QMessageBox::Critical, message);
    }
    emit exportFinished(result->Ok, message);
}

// ---------------------------------------------------------------- file types and clipboard

void TExportActions::actExportFileTypesExecute() {
    if (!actExportFileTypes->isEnabled()) return;
    const std::u16string folder = !FSettings.ExportFolder.empty()
                                      ? Utf8ToUtf16(FSettings.ExportFolder)
                                      : TExportSettings::DefaultExportFolder();
    QString proposed = ToQString(ProposedFileTypesFileName(NowLocal()));
    if (!folder.empty()) proposed = QDir(ToQString(folder)).filePath(proposed);
    const QString name = AskFileTypesName(proposed);
    if (name.isEmpty()) return;
    if (QFileInfo::exists(name) && !AskOverwrite(name)) return;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    TFileTypeCache& cache = *FWindow.FileTypeCache();
    const TFileTypesExportResult r =
        ExportFileTypesCSV(ToU16(name), FWindow.FileTypes()->Model().Rows(), cache.Details());
    QGuiApplication::restoreOverrideCursor();
    cache.FetchNow(); // the icons of the types the file named are fetched too
    if (r.Ok)
        ShowMessage(QMessageBox::Information, Tr("Export complete"));
    else
        ShowMessage(QMessageBox::Critical,
                    Tr("Export failed:") + QLatin1Char(' ') + QString::fromUtf8(r.Error));
}

void TExportActions::actExportVisibleExecute() {
    if (!actExport->isEnabled() || FJob.Busy()) return;
    const bool treeView = TreeViewActive();
    TViewNodes& view = treeView ? static_cast<TViewNodes&>(FWindow.Tree()->Tree())
                                : static_cast<TViewNodes&>(FWindow.Files()->List());
    const std::string text = ClipboardText(view, treeView, FWindow.Format());
    QGuiApplication::clipboard()->setText(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

} // namespace qz
