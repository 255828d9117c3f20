#include "gui/scancontrol.h"

#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "fsops/devicesources.h"
#include "fsops/disksize.h"
#include "gui/elevatedrestart.h"
#include "gui/qtext.h"
#include "gui/selectmultiple.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"
#include "gui/treeview.h"
#include "sources/devicescan.h"
#include "sources/scan_warnings.h"
#include "treemap/treemap.h"
#include "views/scanissues.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace qz {

namespace {

TSummaryKind SummaryKindOf(TSourceKind kind) {
    switch (kind) {
    case DT_DRIVE:
    case DT_NTFS:
        return TSummaryKind::Drive;
    case DT_MFTFILE:
        return TSummaryKind::MFTFile;
    case DT_CSVFILE:
        return TSummaryKind::CSVFile;
    case DT_SUBST:
        return TSummaryKind::Subst;
    case DT_NETWORK:
        return TSummaryKind::Network;
    case DT_MULTIPLE:
        return TSummaryKind::Multiple;
    case DT_FOLDER:
    case DT_USERFOLDER:
    case DT_DEVICE:
        break;
    }
    return TSummaryKind::Folder;
}

} // namespace

// How the devices among the scans were read ("  Read through the desktop's mount...").
static QString DeviceNotes(const TScanSession& s) {
    QString notes;
    for (const TNTFS_FILES* scan : s.Scans()) {
        const std::string note = DeviceScanNote(scan->Warnings);
        if (!note.empty()) notes += QStringLiteral("  ") + QString::fromUtf8(note);
    }
    return notes;
}

TScanControl::TScanControl(TTreeView& tree, TScanStatus& status, TSpaceSummaryPanel& summary,
                           QWidget* parent)
    : QWidget(parent), FTree(tree), FStatus(status), FSummary(summary) {
    setObjectName(QStringLiteral("panScan"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    cbDrive = new TSourcePicker(this);
    btnScan = new QPushButton(Tr("Scan"), this);
    btnScan->setObjectName(QStringLiteral("btnScan"));
    btnScan->setAccessibleName(Tr("Scan"));
    btnScan->setToolTip(Tr("Scan the selected source"));
    btnCancel = new QPushButton(Tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAccessibleName(Tr("Cancel the scan"));
    btnCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    btnCancel->hide();
    layout->addWidget(cbDrive, 1);
    layout->addWidget(btnScan);
    layout->addWidget(btnCancel);

    connect(btnScan, &QPushButton::clicked, this, &TScanControl::btnScanClick);
    connect(btnCancel, &QPushButton::clicked, this, &TScanControl::btnCancelClick);
    connect(cbDrive, &TSourcePicker::cbDriveSelect, this, &TScanControl::OnPicked);
    connect(&FRunner, &TScanRunner::progress, this, &TScanControl::OnProgress);
    connect(&FRunner, &TScanRunner::finished, this, &TScanControl::OnFinished);

    AskFolder = [this] {
        return QFileDialog::getExistingDirectory(window(), Tr("Select Folder"),
                                                 FCurrentDrive.isEmpty() ? QDir::homePath()
                                                                         : FCurrentDrive);
    };
    AskFile = [this](TSourceKind kind) {
        const QString filter = kind == DT_CSVFILE
                                   ? Tr("CSV/TSV files") + QStringLiteral(" (*.csv *.tsv);;") +
                                         Tr("All files") + QStringLiteral(" (*)")
                                   : Tr("MFT dump files") + QStringLiteral(" (*.mft);;") +
                                         Tr("NTFS images") +
                                         QStringLiteral(" (*.img *.raw *.dd *.bin *.ntfs);;") +
                                         Tr("All files") + QStringLiteral(" (*)");
        return QFileDialog::getOpenFileName(window(),
                                            kind == DT_CSVFILE ? Tr("CSV File") : Tr("MFT File"),
                                            QDir::homePath(), filter);
    };
    ShowMessage = [this](const QString& text) {
        QMessageBox::warning(window(), QStringLiteral("Quarzel"), text);
    };
    AskElevation = [this](const QString& entry) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Quarzel"),
                        entry + QStringLiteral("\n\n") +
                            Tr("This NTFS volume can be read through its MFT, which is much "
                               "faster, only with root rights. Restart as root, or read its "
                               "folders instead?"),
                        QMessageBox::NoButton, window());
        QPushButton* restart = box.addButton(Tr("Restart as root"), QMessageBox::AcceptRole);
        QPushButton* folders = box.addButton(Tr("Read the folders"), QMessageBox::ActionRole);
        box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(folders);
        box.exec();
        if (box.clickedButton() == restart) return TElevationChoice::RestartAsRoot;
        if (box.clickedButton() == folders) return TElevationChoice::ReadFolder;
        return TElevationChoice::Cancel;
    };
    RunMultipleDialog = [](TfrmSelectMultiple& dialog) {
        return dialog.exec() == QDialog::Accepted;
    };

    FRestart = new TElevatedRestart(this);
    connect(FRestart, &TElevatedRestart::started, this, &TScanControl::restartedAsRoot);
    connect(FRestart, &TElevatedRestart::failed, this, &TScanControl::Fail);
    FWatcher = std::make_unique<TSourceWatcher>([this](TSourceSnapshot snapshot) {
        // On the watcher's thread: the list is rebuilt on the window's.
        QMetaObject::invokeMethod(
            this,
            [this, snapshot = std::move(snapshot)]() mutable { ApplySources(std::move(snapshot)); },
            Qt::QueuedConnection);
    });
}

TScanControl::~TScanControl() {
    // Nothing may report to this object once it goes: the watcher's thread ends here.
    FWatcher.reset();
}

void TScanControl::SetSettings(TMainSettings& settings, TSettingsStore& store,
                               std::string homeFolder) {
    FSettings = &settings;
    FStore = &store;
    FHomeFolder = std::move(homeFolder);
}

std::vector<std::string> TScanControl::UserFolders() const {
    return FSettings ? FSettings->CustomFolders : std::vector<std::string>{};
}

// ---------------------------------------------------------------- the source list

void TScanControl::InitSources(std::vector<TMountInfo> mounts) {
    Mounts = std::move(mounts);
    FEntries = GetDriveEntries(Mounts);
    TSourceList list = ComposeSourceList(FEntries, UserFolders(), FHomeFolder, Mounts);
    PutDeviceEntries(list, FDeviceEntries);
    cbDrive->SetList(std::move(list));
}

void TScanControl::SetDeviceEntries(std::vector<TSourceEntry> devices, bool arrived) {
    std::vector<std::string> known;
    for (const TSourceEntry& e : FDeviceEntries) known.push_back(e.Path);
    FDeviceEntries = std::move(devices);
    RefreshList();
    if (!arrived || FUserPicked || FScanInProgress) return;
    const std::vector<TSourceEntry>& entries = cbDrive->List().Entries;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].Kind == DT_DEVICE &&
            std::find(known.begin(), known.end(), entries[i].Path) == known.end()) {
            DebugLog("New device selected: " + entries[i].Path);
            cbDrive->SelectQuietly(int(i));
            UpdateSpaceSummary();
            return;
        }
}

void TScanControl::StartWatchingSources() {
    if (FWatcher) FWatcher->Start();
}

void TScanControl::StopWatchingSources() {
    // A new, unstarted watcher takes its place, so providers can still be added to it.
    FWatcher = std::make_unique<TSourceWatcher>(nullptr);
}

void TScanControl::ApplySources(TSourceSnapshot snapshot) {
    Mounts = std::move(snapshot.Mounts);
    FEntries = std::move(snapshot.Entries);
    RefreshList();
    DebugLog("Source list rebuilt (" + std::to_string(FEntries.size()) + " entries)");
    emit sourcesChanged();
}

void TScanControl::RefreshList() {
    TSourceList list = ComposeSourceList(FEntries, UserFolders(), FHomeFolder, Mounts);
    PutDeviceEntries(list, FDeviceEntries);
    cbDrive->RefreshDrives(std::move(list));
    UpdateSpaceSummary();
}

TfrmSelectMultiple& TScanControl::MultipleDialog() {
    if (!FMultiple) {
        FMultiple = new TfrmSelectMultiple(window());
        FMultiple->SaveUserFolders = [this](const std::vector<std::string>& folders) {
            if (!FSettings || !FStore) return true;
            FSettings->CustomFolders = folders;
            SaveCustomFolders(FStore->Ini(), folders);
            return FStore->SaveSettingsNow();
        };
    }
    return *FMultiple;
}

// ---------------------------------------------------------------- starting

void TScanControl::btnScanClick() {
    // Ctrl held: a folder on a readable NTFS volume is cut out of a scan of the whole volume.
    actScanExecute(TScanTrigger::ScanButton,
                   QGuiApplication::keyboardModifiers() & Qt::ControlModifier);
}

void TScanControl::OnPicked(int index) {
    FUserPicked = true;
    if (FScanInProgress || index < 0) return;
    const TSourceEntry* e = cbDrive->SelectedEntry();
    if (!e) return;
    // The entries that open a dialog always act; the others only with auto scan.
    if (e->Text.starts_with(u"<") || e->Kind == DT_FOLDER || AutoScan) btnScanClick();
}

void TScanControl::actScanExecute(TScanTrigger sender, bool fullVolume) {
    if (FScanInProgress) return;
    const TSourceEntry* e = cbDrive->SelectedEntry();
    DebugLog("actScan \"" + (e ? Utf16ToUtf8(e->Text) : std::string()) + "\"");
    if (!e) return;
    std::string path;
    switch (e->Kind) {
    case DT_FOLDER:
        DebugLog("DT_FOLDER");
        if (sender == TScanTrigger::CommandLine) {
            path = FCommandLinePath;
        } else if (sender == TScanTrigger::ScanButton || FCurrentDrive.isEmpty()) {
            const QString folder = AskFolder ? AskFolder() : QString();
            if (folder.isEmpty()) return;
            path = ToLocalPath(folder);
        } else {
            path = ToLocalPath(FCurrentDrive);
        }
        break;
    case DT_USERFOLDER:
    case DT_DEVICE:
        path = e->Path;
        break;
    case DT_MFTFILE:
    case DT_CSVFILE: {
        DebugLog(SourceKindName(e->Kind));
        if (sender == TScanTrigger::Drop) {
            path = ToLocalPath(FDragDropFilename);
        } else if (sender == TScanTrigger::CommandLine) {
            path = FCommandLinePath;
        } else {
            const QString file = AskFile ? AskFile(e->Kind) : QString();
            if (file.isEmpty()) return;
            if (!QFileInfo::exists(file)) {
                Fail(Tr("File not found") + QStringLiteral(": ") + file);
                return;
            }
            path = ToLocalPath(file);
        }
        break;
    }
    case DT_MULTIPLE: {
        DebugLog("DT_MULTIPLE");
        // The Scan button asks which sources; a rescan takes the same ones again.
        TfrmSelectMultiple& dialog = MultipleDialog();
        if (sender == TScanTrigger::ScanButton || dialog.TickedEntries().empty()) {
            dialog.LoadList(cbDrive->List(), UserFolders(), Mounts);
            if (!RunMultipleDialog || !RunMultipleDialog(dialog)) return;
            RefreshList(); // the user's folders may have changed
            // The list is rebuilt; its "<Select Multiple...>" entry stays the selected one.
        }
        ScanSeveral(dialog.TickedEntries());
        return;
    }
    case DT_DRIVE:
    case DT_NTFS:
        // The list may lag behind the system by a moment: a file system unmounted since
        // leaves an empty folder that must not be scanned in its place.
        if (!MountAt(ReadMountTable(), e->Path)) {
            Fail(Tr("Error") + QStringLiteral(": ") +
                 QFile::decodeName(QByteArray::fromStdString(e->Path)) + QStringLiteral(" ") +
                 Tr("is no longer mounted"));
            if (FWatcher) FWatcher->Refresh();
            return;
        }
        path = e->Path;
        break;
    case DT_SUBST:
    case DT_NETWORK:
        return; // not listed on this system
    }
    if (path.empty()) return;
    ResolveAndStart(path, fullVolume);
}

void TScanControl::ScanPath(const QString& path) {
    FCommandLinePath = ToLocalPath(path);
    ResolveAndStart(FCommandLinePath, false);
}

bool TScanControl::ResolveAndStart(const std::string& path, bool fullVolume) {
    TResolveOptions ro;
    ro.FullScanNTFSIfPossible = FullScanNTFSIfPossible || fullVolume;
    const TResolvedSource r = ResolveSourcePath(path, cbDrive->List(), Mounts, ro);
    if (!r.Ok) {
        Fail(Tr("Error") + QStringLiteral(": ") + QString::fromUtf8(r.Error));
        return false;
    }
    if (const TSourceEntry* volume = RootOnlyVolume(path, ro.FullScanNTFSIfPossible)) {
        DebugLog("Raw reads need root: " + path);
        const TElevationChoice choice =
            AskElevation ? AskElevation(ToQString(volume->Text)) : TElevationChoice::ReadFolder;
        if (choice == TElevationChoice::Cancel) return false;
        if (choice == TElevationChoice::RestartAsRoot) {
            // The program started as root scans the same path; this one closes once it runs.
            FStatus.SetStatus(Tr("Waiting for the restart as root..."));
            FRestart->Start(path, OptionArguments);
            return false;
        }
    }
    DebugLog(std::string(SourceKindName(r.Source.Kind)) + " " + path);
    // The entry the source belongs to: a mounted file system's own entry, else the dialog
    // entry of its kind (an NTFS image is opened like an MFT dump). A user folder stays
    // selected as it is.
    const TSourceEntry* current = cbDrive->SelectedEntry();
    int entry = r.ListIndex;
    if (entry < 0 && r.Source.Method == TScanMethod::MFTVolume)
        entry = cbDrive->EntryOfKind(DT_MFTFILE);
    const bool keep = current && current->Kind == DT_USERFOLDER && r.Source.Kind == DT_FOLDER;
    if (entry >= 0 && entry != cbDrive->currentIndex() && !keep) cbDrive->SelectQuietly(entry);
    FCurrentDrive = QFile::decodeName(QByteArray::fromStdString(path));
    return StartScan({r.Source});
}

const TSourceEntry* TScanControl::RootOnlyVolume(const std::string& path, bool fullVolume) const {
    const std::string norm = NormalizePath(path);
    std::string mountPoint = norm;
    if (fullVolume) {
        const TMountInfo* m = MountOfPath(Mounts, norm);
        if (!m) return nullptr;
        mountPoint = m->MountPoint;
    }
    const int i = FindDriveEntry(cbDrive->List(), mountPoint);
    if (i < 0) return nullptr;
    const TSourceEntry& e = cbDrive->List().Entries[size_t(i)];
    return e.NeedsRoot ? &e : nullptr;
}

bool TScanControl::ScanSeveral(const std::vector<TSourceEntry>& entries) {
    if (entries.empty()) {
        FStatus.SetStatus(Tr("No source was ticked"));
        return false;
    }
    std::vector<TScanSource> sources;
    for (const TSourceEntry& e : entries) {
        DebugLog(std::string("MULTI ") + SourceKindName(e.Kind));
        // Each source is read on its own: no full-volume cut when several are scanned.
        const TResolvedSource r = ResolveSourcePath(e.Path, cbDrive->List(), Mounts, {});
        if (!r.Ok) {
            Fail(Tr("Error") + QStringLiteral(": ") + QString::fromUtf8(r.Error));
            return false;
        }
        sources.push_back(r.Source);
    }
    FCurrentDrive.clear();
    return StartScan(std::move(sources));
}

std::vector<TDiskSizeInfo> TScanControl::KnownSizes(const std::vector<TScanSource>& sources) const {
    std::vector<TDiskSizeInfo> out;
    for (const TScanSource& src : sources) {
        TDiskSizeInfo info;
        info.itempath = !src.SubtreeRootName.empty() ? src.SubtreeRootName
                        : !src.RootName.empty()      ? src.RootName
                                                     : src.Path;
        const int i = FindDriveEntry(cbDrive->List(), NormalizePath(Utf16ToUtf8(info.itempath)));
        if (i >= 0 && src.SubtreePath.empty()) info = cbDrive->List().Entries[size_t(i)].Space;
        out.push_back(std::move(info));
    }
    return out;
}

bool TScanControl::StartScan(std::vector<TScanSource> sources) {
    if (FScanInProgress || FRunner.Busy()) return false;
    FCaptured = FTree.Tree().CaptureViewState();
    Lock(true);
    FStatus.SetProgress(0);
    FStatus.SetStatus(Tr("Scanning") + QStringLiteral("..."));
    // The views let go of the previous scans before they are freed.
    FTree.Model().Reset([this] { FTree.Tree().Clear(); });
    emit viewsCleared();
    FDiskSizes.clear();
    emit scanStarted();
    TScanOptions options = BaseOptions;
    // The window shows the file types as soon as the tree: the scan threads count them.
    options.TallyExtensions = true;
    options.TimeOffset = LocalOffsetAt(NowUtc());
    const std::vector<TMountInfo> mounts = Mounts;
    const bool started =
        FRunner.Start(sources, options, [mounts](const TScanSource& s, const TNTFS_FILES& scan) {
            return SourceDiskSize(s, scan, mounts);
        });
    // The threads measure their sources; until they end, what the list knows is shown.
    FDiskSizes = KnownSizes(sources);
    UpdateSpaceSummary();
    btnCancel->setEnabled(started);
    return true;
}

void TScanControl::DoDragDropFilename(const QString& file) {
    if (FScanInProgress || !btnScan->isVisible() || !btnScan->isEnabled()) return;
    const QString lower = file.toLower();
    int entry = -1;
    if (lower.endsWith(QStringLiteral(".mft")))
        entry = cbDrive->EntryOfKind(DT_MFTFILE);
    else if (lower.endsWith(QStringLiteral(".csv")) || lower.endsWith(QStringLiteral(".tsv")))
        entry = cbDrive->EntryOfKind(DT_CSVFILE);
    if (entry < 0 || !QFileInfo(file).isFile()) return;
    cbDrive->SelectQuietly(entry);
    FDragDropFilename = file;
    QTimer::singleShot(10, this, [this] { actScanExecute(TScanTrigger::Drop); });
}

// ---------------------------------------------------------------- running and the end

void TScanControl::btnCancelClick() {
    if (!FScanInProgress) return;
    FRunner.Cancel();
    btnCancel->setEnabled(false);
    FStatus.SetStatus(Tr("Cancelling") + QStringLiteral("..."));
}

void TScanControl::OnProgress(const TScanProgress& p) {
    if (FRunner.CancelRequested()) return; // "Cancelling..." stays until the end
    FStatus.SetProgress(p.Percent);
    FStatus.SetStatus(ToQString(ScanProgressText(p, FTree.Tree().Format.Numbers)));
}

void TScanControl::OnFinished(bool ok) {
    TScanSession& s = Session();
    FDiskSizes = s.DiskSizes;
    if (!s.Errors.empty()) {
        QStringList errors;
        for (const std::string& e : s.Errors) errors << QString::fromUtf8(e);
        FStatus.SetStatus(errors.join(QStringLiteral("  ")));
    }
    if (ok) {
        FStatus.SetProgress(100);
        DebugLog("Loading tree");
        TDisplayTree& tree = FTree.Tree();
        tree.FILENODE_MIN_GROUP_SIZE = FileNodeMinGroupSize;
        std::string error;
        bool loaded = false;
        // A mounted file system's root shows as its source-list entry ("[/home] sda2 (ext4)").
        const TSourceEntry* e = cbDrive->SelectedEntry();
        if (e && (e->Kind == DT_DRIVE || e->Kind == DT_NTFS)) {
            std::vector<std::u16string> texts;
            for (const TSourceEntry& x : cbDrive->List().Entries) texts.push_back(x.Text);
            FTree.Model().RootDisplayName = [texts](std::u16string_view root) {
                std::u16string t(root);
                if (t.empty() || t.back() != u'/') t.push_back(u'/');
                return PickerEntryFor(t, texts);
            };
        } else {
            FTree.Model().RootDisplayName = nullptr;
        }
        FTree.Model().Reset([&] {
            loaded = s.LoadTree(tree, -1, &error);
            // A rescan of the same source keeps what was expanded and selected.
            if (tree.SameSourceAs(FCaptured)) tree.RestoreViewState(FCaptured);
        });
        FTree.ShowTreeState();
        if (!loaded)
            Fail(Tr("Error") + QStringLiteral(": ") + QString::fromUtf8(error));
        else
            ShowCompletion();
    }
    Lock(false);
    FUserPicked = false;
    UpdateSpaceSummary();
    DebugLog("Scan complete");
    emit scanFinished(ok);
}

void TScanControl::Lock(bool scanning) {
    QWidget* focused = QApplication::focusWidget();
    if (scanning) FFocusBeforeScan = focused && isAncestorOf(focused) ? focused : nullptr;
    FScanInProgress = scanning;
    cbDrive->setEnabled(!scanning);
    btnScan->setVisible(!scanning);
    btnCancel->setVisible(scanning);
    btnCancel->setEnabled(false);
    if (!scanning && btnCancel->hasFocus()) btnScan->setFocus();
    // Disabled or hidden for the scan, the focused control passed the focus on to the next
    // widget, often the status line's selectable text, which then shows a text cursor after
    // the completion message. Unless the user moved it since, the focus goes back.
    if (scanning) {
        FFocusHandedTo = FFocusBeforeScan ? QApplication::focusWidget() : nullptr;
    } else {
        if (FFocusBeforeScan && FFocusBeforeScan->isEnabled() && FFocusBeforeScan->isVisible() &&
            (!focused || focused == FFocusHandedTo))
            FFocusBeforeScan->setFocus();
        FFocusBeforeScan = FFocusHandedTo = nullptr;
    }
}

void TScanControl::Retranslate() {
    cbDrive->Retranslate();
    // The completion line is set again while it still shows (another message may have
    // replaced it since).
    if (!FScanInProgress && !FCompletionStatus.isEmpty() && FStatus.Status() == FCompletionStatus)
        ShowCompletion();
    UpdateSpaceSummary();
}

void TScanControl::ShowCompletion() {
    const TScanSession& s = Session();
    const TNumberFormat& nf = FTree.Tree().Format.Numbers;
    FCompletionStatus =
        ToQString(ScanCompleteText(s.Seconds, s.WasCancelled(), nf)) + DeviceNotes(s);
    // What could not be read or had to be worked around is counted on the line; its full
    // wording, source by source, is the line's tool tip.
    const std::vector<TNTFS_FILES*> scans = s.Scans();
    const std::u16string issues = ScanIssuesText(SumScanIssues(scans), nf);
    QStringList details;
    if (!issues.empty()) {
        FCompletionStatus += QStringLiteral(" - ") + ToQString(issues);
        for (const TNTFS_FILES* scan : scans) {
            if (!scan) continue;
            std::vector<std::string> texts = ScanWarningTexts(scan->Warnings);
            for (const std::string& t : scan->AnomalyTexts()) texts.push_back(t);
            for (const std::string& t : texts)
                details << ToQString(t) + QStringLiteral(" [") + ToQString(scan->FSource) +
                               QStringLiteral("]");
        }
    }
    FStatus.SetStatus(FCompletionStatus);
    FStatus.lblStatus->setToolTip(details.join(QLatin1Char('\n')));
    if (!details.isEmpty())
        FStatus.lblStatus->setAccessibleDescription(FCompletionStatus + QLatin1Char('\n') +
                                                    details.join(QLatin1Char('\n')));
}

void TScanControl::Fail(const QString& message) {
    DebugLog(ToLocalPath(message));
    FStatus.SetStatus(message);
    if (ShowMessage) ShowMessage(message);
}

// ---------------------------------------------------------------- space summary

void TScanControl::RefreshDiskSizes() {
    if (FRunner.Busy()) return;
    TScanSession& s = Session();
    for (size_t k = 0; k < s.ScanSlots.size() && k < s.DiskSizes.size() && k < s.Sources.size();
         ++k) {
        const TNTFS_FILES* scan = s.ScanSlots[k].get();
        if (!scan || scan->WasCSVFile) continue;
        s.DiskSizes[k] = SourceDiskSize(s.Sources[k], *scan, Mounts);
        if (scan->MFTRoot) s.DiskSizes[k].usedspace = scan->MFTRoot->SubFoldersTotSizeAlloc;
    }
    FDiskSizes = s.DiskSizes;
    UpdateSpaceSummary();
}

void TScanControl::UpdateSpaceSummary() {
    const TSourceEntry* e = cbDrive->SelectedEntry();
    TSpaceSummaryInput in;
    in.HasEntry = e != nullptr;
    std::vector<TDiskSizeInfo> sizes = FDiskSizes;
    if (e) {
        in.EntryText = e->Text;
        in.Kind = SummaryKindOf(e->Kind);
        // A picked drive shows its space before any scan (as the list measured it).
        if (sizes.empty() && (e->Kind == DT_DRIVE || e->Kind == DT_NTFS)) sizes.push_back(e->Space);
    }
    in.DiskSizes = sizes;
    in.CurrentDrive = ToU16(FCurrentDrive);
    if (!FRunner.Busy()) {
        in.RootMFT = Session().RootMFT;
        const auto scans = Session().Scans();
        in.FirstScanCSVHasSpace =
            !scans.empty() && scans[0]->WasCSVFile && scans[0]->CSVDinfo.hastotalandfreespace;
    }
    in.PreviousDriveSerial = ToU16(FSummary.DriveSerial());
    in.Format = FTree.Tree().Format;
    const TSpaceSummary s = qz::UpdateSpaceSummary(in);
    FSummary.Show(s);
    window()->setWindowTitle(ToQString(s.Caption));
}

} // namespace qz
