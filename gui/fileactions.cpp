#include "gui/fileactions.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "fsops/devicedelete.h"
#include "fsops/launch.h"
#include "fsops/terminal.h"
#include "fsops/trash.h"
#include "gui/changemonitor.h"
#include "gui/deletedialogs.h"
#include "gui/filedrag.h"
#include "gui/filemanager.h"
#include "gui/filemime.h"
#include "gui/livesource.h"
#include "gui/propertiesdialog.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/statuspanel.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <set>
#include <unistd.h>

namespace qz {

namespace {

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

QString Shown(const std::string& path) {
    return ToQString(Utf8ToUtf16(path));
}

QString Count(size_t n) {
    return QLocale().toString(qulonglong(n));
}

// What an exit code of xdg-open means.
QString XdgOpenFailure(int status) {
    switch (status) {
    case 1:
        return Tr("the file opener did not understand the request");
    case 2:
        return Tr("it does not exist");
    case 3:
        return Tr("a program the file opener needs is missing");
    case 4:
        return Tr("no program is set up to open it");
    default:
        break;
    }
    if (status < 0) return Tr("the file opener was ended by a signal");
    return Tr("the file opener failed (exit code %1)").arg(status);
}

// The attribute bit of symbolic links and other reparse points (folder scans set it for links).
constexpr uint32_t kAttributeReparsePoint = 0x400;

// The records' root (the scan's root record).
PMFT_RECORD RootOf(PMFT_RECORD r) {
    while (r && r->ParentMFTRec) r = r->ParentMFTRec;
    return r;
}

QAction* MakeAction(QObject* parent, const char* name, const QString& caption,
                    const QList<QKeySequence>& keys) {
    auto* a = new QAction(caption, parent);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    // The shortcuts act in the views only: Ctrl+C in a text box copies its text.
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    return a;
}

} // namespace

TFileActions::TFileActions(TScanControl& scans, TChangeMonitor& monitor, TScanStatus& status,
                           const TFormatSettings& format, QWidget* window)
    : QObject(window), FScans(scans), FMonitor(monitor), FStatus(status), FFormat(format),
      FWindow(window) {
    actOpen = MakeAction(this, "actOpen", Tr("Open file or folder"),
                         {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    actExplorerHere = MakeAction(this, "actExplorerHere", Tr("Explore Folder"),
                                 {QKeySequence(Qt::CTRL | Qt::Key_E)});
    actCommandPromptHere = MakeAction(this, "actCommandPromptHere", Tr("Terminal Here"),
                                      {QKeySequence(Qt::CTRL | Qt::Key_P)});
    // Ctrl+Alt+C belongs to "Copy file and size info to clipboard".
    actCopyPath = MakeAction(this, "actCopyPath", Tr("Copy Path"),
                             {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C)});
    actCopy = MakeAction(this, "actCopy", Tr("Copy"), {QKeySequence(Qt::CTRL | Qt::Key_C)});
    actCut = MakeAction(this, "actCut", Tr("Cut"), {QKeySequence(Qt::CTRL | Qt::Key_X)});
    actDeleteRecycle = MakeAction(this, "actDeleteRecycle", Tr("Delete (to Trash)"),
                                  {QKeySequence(Qt::Key_Delete)});
    actDeleteNoRecycle = MakeAction(this, "actDeleteNoRecycle", Tr("Delete (No undelete possible)"),
                                    {QKeySequence(Qt::SHIFT | Qt::Key_Delete)});
    actProperties = MakeAction(this, "actProperties", Tr("Properties"), {});
    actNewInstanceHere = MakeAction(this, "actNewInstanceHere", QStringLiteral("Quarzel"), {});

    connect(actOpen, &QAction::triggered, this, &TFileActions::actOpenExecute);
    connect(actExplorerHere, &QAction::triggered, this, &TFileActions::actExplorerHereExecute);
    connect(actCommandPromptHere, &QAction::triggered, this,
            &TFileActions::actCommandPromptHereExecute);
    connect(actCopyPath, &QAction::triggered, this, &TFileActions::actCopyPathExecute);
    connect(actCopy, &QAction::triggered, this, [this] { CopyToClipboard(false); });
    connect(actCut, &QAction::triggered, this, [this] { CopyToClipboard(true); });
    connect(actDeleteRecycle, &QAction::triggered, this, [this] { Delete(false); });
    connect(actDeleteNoRecycle, &QAction::triggered, this, [this] { Delete(true); });
    connect(actProperties, &QAction::triggered, this, &TFileActions::actPropertiesExecute);
    connect(actNewInstanceHere, &QAction::triggered, this,
            &TFileActions::actNewInstanceHereExecute);

    ShowMessage = [this](const QString& text) {
        QMessageBox::warning(FWindow, QStringLiteral("Quarzel"), text);
    };
    AskMany = [this](const QString& question) {
        return QMessageBox::question(FWindow, QStringLiteral("Quarzel"), question) ==
               QMessageBox::Yes;
    };
    FFileManager = new TFileManager(this);
    FFileManager->OpenFolder = [this](const std::string& folder) { OpenWithDesktop(folder); };
    connect(qApp, &QApplication::focusChanged, this,
            [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
    UpdateActions();
}

TFileActions::~TFileActions() = default;

// ---------------------------------------------------------------- views and selection

void TFileActions::AddView(QWidget* view, std::function<TViewNodes*()> nodes, TViewKind kind) {
    const size_t index = FViews.size();
    FViews.push_back({view, std::move(nodes), kind, nullptr});
    for (QAction* a : {actOpen, actExplorerHere, actCommandPromptHere, actCopyPath, actCopy, actCut,
                       actDeleteRecycle, actDeleteNoRecycle, actProperties})
        view->addAction(a);
    if (auto* iv = qobject_cast<QAbstractItemView*>(view)) {
        connect(iv, &QAbstractItemView::doubleClicked, this,
                [this, index] { OnDoubleClick(FViews[index]); });
        FViews[index].Drag = new TFileDrag(
            iv->viewport(), [this, index] { return DragMime(FViews[index]); },
            [this] { return EnableDragDrop && FAnyOnDisk; });
        iv->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(iv, &QWidget::customContextMenuRequested, this, [this, index, iv](const QPoint& p) {
            FCurrent = int(index);
            ShowContextMenu(iv->viewport()->mapToGlobal(p));
        });
    }
    if (FCurrent < 0) FCurrent = 0;
}

TFileDrag* TFileActions::DragOf(QWidget* view) const {
    for (const TView& v : FViews)
        if (v.Widget == view) return v.Drag;
    return nullptr;
}

void TFileActions::SetCurrentView(QWidget* view) {
    for (size_t i = 0; i < FViews.size(); ++i)
        if (FViews[i].Widget == view) FCurrent = int(i);
}

void TFileActions::OnFocusChanged(QWidget* now) {
    for (size_t i = 0; i < FViews.size(); ++i) {
        QWidget* w = FViews[i].Widget;
        if (w && now && (w == now || w->isAncestorOf(now))) {
            FCurrent = int(i);
            return;
        }
    }
}

TFileActions::TView* TFileActions::CurrentView() {
    if (FCurrent < 0 || size_t(FCurrent) >= FViews.size()) return nullptr;
    return &FViews[size_t(FCurrent)];
}

bool TFileActions::OnDisk(PMFT_RECORD rec, QString* why) const {
    const PMFT_RECORD root = RootOf(rec);
    for (const TRoot& r : FRoots) {
        if (r.Rec != root) continue;
        if (why) *why = r.Reason;
        return r.Reason.isEmpty();
    }
    if (why) *why = Tr("the item belongs to no scan shown");
    return false;
}

TNTFS_FILES* TFileActions::DeviceScanOf(PMFT_RECORD rec) const {
    const PMFT_RECORD root = RootOf(rec);
    for (const TRoot& r : FRoots)
        if (r.Rec == root) return r.DeviceScan;
    return nullptr;
}

void TFileActions::LeaveOutOffDisk(std::vector<TItem>& items, const QString& deviceWhy) {
    size_t left = 0;
    QString why;
    std::erase_if(items, [&](const TItem& i) {
        if (i.OnDisk) return false;
        ++left;
        if (deviceWhy.isEmpty() || !DeviceScanOf(i.Rec))
            OnDisk(i.Rec, &why);
        else
            why = deviceWhy;
        return true;
    });
    if (left > 0) Status(Tr("%1 of the selected items were left out: %2").arg(Count(left), why));
}

std::vector<TFileActions::TItem> TFileActions::Selection(bool containingFolders, bool skipNested,
                                                         bool onDiskOnly) {
    std::vector<TItem> out;
    TView* view = CurrentView();
    TViewNodes* nodes = view && view->Nodes ? view->Nodes() : nullptr;
    if (!nodes) return out;
    std::vector<TSelectedItem> selected;
    GetSelectedItems(selected, *nodes,
                     {.ContainingFolders = containingFolders, .SkipNested = skipNested});
    for (const TSelectedItem& s : selected) {
        PMFT_RECORD rec = s.Node ? s.Node->Data.Rec : nullptr;
        if (s.Node && s.Node->IsFileGroup) rec = s.Node->FolderRec();
        out.push_back({Utf16ToUtf8(s.Path), rec, OnDisk(rec, nullptr)});
    }
    if (onDiskOnly) LeaveOutOffDisk(out);
    return out;
}

std::unique_ptr<QMimeData> TFileActions::DragMime(TView& view) {
    const int keep = FCurrent;
    FCurrent = int(&view - FViews.data());
    const std::vector<TItem> items = Selection(false, true, true);
    FCurrent = keep;
    if (items.empty()) return nullptr;
    std::vector<std::string> paths;
    for (const TItem& i : items) paths.push_back(i.Path);
    return FileMimeData(paths, false);
}

void TFileActions::OnDoubleClick(TView& view) {
    TViewNodes* viewNodes = view.Nodes ? view.Nodes() : nullptr;
    if (!EnableDoubleClickOpen || !viewNodes) return;
    FCurrent = int(&view - FViews.data());
    const std::vector<TTreeNode*> nodes = viewNodes->SelectedNodes();
    TTreeNode* n = nodes.empty() ? viewNodes->FocusedNode() : nodes.front();
    if (!n || !n->Data.Rec || viewNodes->HasChildren(n)) return;
    if (!n->Data.Rec->IsFolder() && !n->IsFileGroup)
        actOpenExecute();
    else if (view.Kind == TViewKind::FileList)
        actExplorerHereExecute();
}

void TFileActions::FillContextMenu(QMenu& menu) {
    menu.addAction(actOpen);
    menu.addAction(actExplorerHere);
    menu.addAction(actCommandPromptHere);
    menu.addSeparator();
    menu.addAction(actCopy);
    menu.addAction(actCut);
    menu.addAction(actCopyPath);
    menu.addSeparator();
    menu.addAction(actDeleteRecycle);
    menu.addAction(actDeleteNoRecycle);
    menu.addSeparator();
    menu.addAction(actNewInstanceHere);
    menu.addSeparator();
    menu.addAction(actProperties);
}

void TFileActions::ShowContextMenu(const QPoint& globalPos) {
    QMenu menu(FWindow);
    menu.setObjectName(QStringLiteral("puFileActions"));
    menu.setAccessibleName(Tr("Item commands"));
    FillContextMenu(menu);
    menu.exec(globalPos);
}

// ---------------------------------------------------------------- scans

void TFileActions::ScanStarted() {
    ++FGeneration;
    FRoots.clear();
    FAnyOnDisk = false;
    FAnyDevice = false;
    FOffReason.clear();
    UpdateActions();
}

void TFileActions::ScanFinished(bool) {
    FRoots.clear();
    FAnyOnDisk = false;
    FAnyDevice = false;
    TScanSession& s = FScans.Session();
    QString why;
    bool cancelled = false;
    for (size_t k = 0; k < s.ScanSlots.size() && k < s.Sources.size(); ++k) {
        TNTFS_FILES* scan = s.ScanSlots[k].get();
        if (!scan || !scan->MFTRoot) continue;
        cancelled = cancelled || scan->Cancelled();
        QString reason;
        if (IsLiveSource(s.Sources[k], scan, &reason))
            FAnyOnDisk = true;
        else
            why = reason;
        // A device scan that found its device.
        TNTFS_FILES* device = scan->IsSourceDevice() && !scan->WasError ? scan : nullptr;
        FAnyDevice = FAnyDevice || device;
        FRoots.push_back({scan->MFTRoot, reason, device});
    }
    FOffReason = FRoots.empty() || FAnyOnDisk ? QString() : why;
    UpdateActions();
    // The status line of a completed scan says why; a cancelled scan's keeps its own note.
    // The note joins the line; the line's details (tool tip) stay with it. Devices say what
    // is left to do.
    if (!FOffReason.isEmpty() && !cancelled && FAnyDevice) {
        TScanStatus::TLine line = FStatus.Line();
        const QString note =
            QStringLiteral("  ") +
            Tr("Items on a portable device can only have their paths copied and be deleted "
               "permanently");
        line.Text += note;
        line.Description += note;
        FStatus.SetLine(line);
    } else if (!FOffReason.isEmpty() && !cancelled) {
        TScanStatus::TLine line = FStatus.Line();
        const QString note = QStringLiteral("  ") + Tr("File operations are off") +
                             QStringLiteral(": ") + FOffReason;
        line.Text += note;
        line.Description += note;
        FStatus.SetLine(line);
    }
}

void TFileActions::UpdateActions() {
    const bool anyScan = !FRoots.empty();
    actCopyPath->setEnabled(anyScan);
    for (QAction* a : {actExplorerHere, actCommandPromptHere, actCopy, actCut, actDeleteRecycle,
                       actDeleteNoRecycle, actNewInstanceHere}) {
        // A device's items can be deleted permanently, on the device.
        const bool on = FAnyOnDisk || (a == actDeleteNoRecycle && FAnyDevice);
        a->setEnabled(on);
        // A disabled command names the reason in its tip.
        QString tip = a == actNewInstanceHere ? Tr("Scan the folder in a new window") : QString();
        QString reason = FOffReason;
        if (!on && FAnyDevice)
            reason = ToQString(Utf8ToUtf16(DeviceOperationUnavailable(
                a == actDeleteRecycle ? TItemOperation::DeleteToTrash : TItemOperation::Open)));
        if (!on && !reason.isEmpty())
            tip = (tip.isEmpty() ? a->text() : tip) + QStringLiteral(": ") + reason;
        a->setToolTip(tip);
        a->setStatusTip(tip);
    }
}

void TFileActions::Status(const QString& text) {
    FStatus.SetStatus(text);
}

bool TFileActions::ConfirmMany(size_t count, const QString& question) {
    return count <= 5 || !AskMany || AskMany(question);
}

// ---------------------------------------------------------------- opening

void TFileActions::OpenWithDesktop(const std::string& path) {
    const QString shown = Shown(path);
    QPointer<TFileActions> self(this);
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    const bool ok = LaunchDetached(
        {"xdg-open", path}, FolderOf(path),
        [self, shown, started](int status) {
            // A late exit is the opened program's own (the opener may wait for it).
            if (status == 0 ||
                std::chrono::steady_clock::now() - started > std::chrono::seconds(10))
                return;
            QMetaObject::invokeMethod(
                self,
                [self, shown, status] {
                    if (self && self->ShowMessage)
                        self->ShowMessage(Tr("Cannot open") + QStringLiteral(" ") + shown +
                                          QStringLiteral(": ") + XdgOpenFailure(status));
                },
                Qt::QueuedConnection);
        },
        &error);
    if (ok) return;
    // No xdg-open: Qt's own way (the desktop portal in a sandbox).
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(
            QFile::decodeName(QByteArray(path.data(), qsizetype(path.size()))))))
        return;
    if (ShowMessage)
        ShowMessage(Tr("Cannot open") + QStringLiteral(" ") + shown + QStringLiteral(": ") +
                    Tr("the file opener xdg-open was not found (package xdg-utils)"));
}

void TFileActions::actOpenExecute() {
    const std::vector<TItem> items = Selection(false, false, true);
    if (items.empty()) return;
    if (!ConfirmMany(items.size(), Tr("Open %1 files?").arg(Count(items.size())))) return;
    for (const TItem& i : items) OpenWithDesktop(i.Path);
}

void TFileActions::actExplorerHereExecute() {
    std::vector<TItem> folders = Selection(true, false, true);
    // Each folder once.
    std::set<std::string> seen;
    std::erase_if(folders, [&](const TItem& f) { return !seen.insert(f.Path).second; });
    if (folders.empty()) return;
    if (!ConfirmMany(folders.size(),
                     Tr("Open %1 file-manager windows?").arg(Count(folders.size()))))
        return;
    const std::vector<TItem> items = Selection(false, false, true);
    for (const TItem& f : folders) {
        const TItem* inside = nullptr;
        for (const TItem& i : items)
            if (i.Path != f.Path && FolderOf(i.Path) == f.Path) {
                inside = &i;
                break;
            }
        if (inside)
            FFileManager->ShowItem(inside->Path, f.Path);
        else
            FFileManager->ShowFolder(f.Path);
    }
}

void TFileActions::actCommandPromptHereExecute() {
    std::vector<TItem> folders = Selection(true, false, true);
    std::set<std::string> seen;
    std::erase_if(folders, [&](const TItem& f) { return !seen.insert(f.Path).second; });
    if (folders.empty()) return;
    if (!ConfirmMany(folders.size(), Tr("Open %1 terminals?").arg(Count(folders.size())))) return;
    const char* env = std::getenv("TERMINAL");
    for (const TItem& f : folders) {
        const std::vector<std::string> cmd = TerminalCommand(f.Path, env ? env : "", SearchPath());
        if (cmd.empty()) {
            if (ShowMessage)
                ShowMessage(Tr("No terminal program was found. Set the TERMINAL environment "
                               "variable to the command of your terminal (for example "
                               "TERMINAL=xterm)."));
            return;
        }
        std::string error;
        if (!LaunchDetached(cmd, f.Path, nullptr, &error)) {
            if (ShowMessage)
                ShowMessage(Tr("Cannot open a terminal") + QStringLiteral(": ") +
                            QString::fromLocal8Bit(error.c_str()));
            return;
        }
    }
}

void TFileActions::actNewInstanceHereExecute() {
    std::vector<TItem> folders = Selection(true, false, true);
    std::set<std::string> seen;
    std::erase_if(folders, [&](const TItem& f) { return !seen.insert(f.Path).second; });
    if (folders.empty()) return;
    if (!ConfirmMany(folders.size(), Tr("Start %1 new windows?").arg(Count(folders.size()))))
        return;
    const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
    for (const TItem& f : folders) {
        std::string error;
        if (!LaunchDetached({self.toStdString(), f.Path}, "", nullptr, &error) && ShowMessage)
            ShowMessage(Tr("Cannot start a new instance") + QStringLiteral(": ") +
                        QString::fromLocal8Bit(error.c_str()));
    }
}

// ---------------------------------------------------------------- clipboard

void TFileActions::actCopyPathExecute() {
    const std::vector<TItem> items = Selection(false, false, false);
    if (items.empty()) return;
    std::vector<std::string> paths;
    for (const TItem& i : items) paths.push_back(i.Path);
    QGuiApplication::clipboard()->setMimeData(PathTextMimeData(paths).release());
    Status(items.size() == 1 ? Tr("Path copied") : Tr("%1 paths copied").arg(Count(items.size())));
}

void TFileActions::CopyToClipboard(bool cut) {
    const std::vector<TItem> items = Selection(false, true, true);
    if (items.empty()) return;
    std::vector<std::string> paths;
    for (const TItem& i : items) paths.push_back(i.Path);
    QGuiApplication::clipboard()->setMimeData(FileMimeData(paths, cut).release());
    Status((cut ? Tr("%1 items cut: paste them in a file manager to move them")
                : Tr("%1 items copied: paste them in a file manager"))
               .arg(Count(items.size())));
}

// ---------------------------------------------------------------- delete

namespace {

// What the confirmation says of the items, and each item's entries (progress).
TDeleteSummary SummaryOf(const std::vector<TFileActions::TItem>& items,
                         std::vector<uint64_t>& entries) {
    TDeleteSummary summary;
    entries.assign(items.size(), 1);
    for (size_t i = 0; i < items.size(); ++i) {
        PMFT_RECORD r = items[i].Rec;
        summary.Names << Shown(items[i].Path);
        if (!r) continue;
        if (r->IsFolder()) {
            summary.Folders += 1 + r->SubFoldersNumDirs();
            summary.Files += r->SubFoldersNumFiles();
            summary.Size += r->SubFoldersTotSize;
            entries[i] = 1 + uint64_t(r->SubFoldersNumDirs()) + uint64_t(r->SubFoldersNumFiles());
        } else {
            summary.Files += 1;
            summary.Size += r->FileSize;
        }
    }
    summary.Items = items.size();
    return summary;
}

// The record below rec at the names given (exact names, as the scan shows them).
PMFT_RECORD RecordBelow(PMFT_RECORD rec, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (!rec) return nullptr;
        const std::u16string wanted = Utf8ToUtf16(name);
        PMFT_RECORD next = nullptr;
        for (PMFT_RECORD c : rec->Children())
            if (c && c->Name() == wanted) {
                next = c;
                break;
            }
        rec = next;
    }
    return rec;
}

} // namespace

void TFileActions::Delete(bool permanent) {
    std::vector<TItem> items = Selection(false, true, false);
    if (items.empty()) return;
    const bool anyDevice = std::any_of(items.begin(), items.end(),
                                       [&](const TItem& i) { return DeviceScanOf(i.Rec); });
    if (anyDevice && permanent) {
        DeleteOnDevices(items);
        return;
    }
    LeaveOutOffDisk(items, anyDevice ? ToQString(Utf8ToUtf16(DeviceOperationUnavailable(
                                           TItemOperation::DeleteToTrash)))
                                     : QString());
    if (items.empty()) return;
    std::vector<uint64_t> entries;
    const TDeleteSummary summary = SummaryOf(items, entries);
    TTrash trash(TTrash::HomeTrashPath(), ReadMountTable(), ::getuid());
    std::vector<bool> refused(items.size(), false);
    QStringList refusedText;
    if (!permanent) {
        for (size_t i = 0; i < items.size(); ++i) {
            std::string why;
            if (trash.CanTrash(items[i].Path, &why)) continue;
            refused[i] = true;
            refusedText << Shown(items[i].Path) + QStringLiteral(": ") +
                               ToQString(Utf8ToUtf16(why));
        }
    }
    const TDeleteAnswer answer = ConfirmDelete(FWindow, summary, permanent, refusedText, FFormat);
    if (answer == TDeleteAnswer::Cancel) {
        Status(Tr("Nothing was deleted"));
        return;
    }
    std::vector<TDeleteItem> jobItems;
    std::vector<PMFT_RECORD> records;
    for (size_t i = 0; i < items.size(); ++i) {
        if (refused[i] && answer == TDeleteAnswer::TrashOthersOnly) continue;
        PMFT_RECORD r = items[i].Rec;
        // Below its scan's root no link is followed on the way to the item (a folder swapped
        // for a link since the scan stops the delete of that item).
        const PMFT_RECORD root = RootOf(r);
        jobItems.push_back({items[i].Path, r && r->IsFolder(), permanent || refused[i], entries[i],
                            root ? Utf16ToUtf8(GetRecordPath(root)) : std::string(),
                            r && (r->DOSAttrib & kAttributeReparsePoint) != 0});
        records.push_back(r);
    }
    if (jobItems.empty()) {
        Status(Tr("Nothing was deleted"));
        return;
    }
    DebugLog("Delete " + std::to_string(jobItems.size()) +
             (permanent ? " permanently" : " to trash"));
    auto* dialog = new TDeleteProgress(std::make_unique<TDeleteJob>(std::move(jobItems), trash),
                                       permanent, FWindow);
    const int generation = FGeneration;
    connect(dialog, &TDeleteProgress::jobFinished, this,
            [this, dialog, records, generation, permanent] {
                TDeleteJobBase& job = dialog->Job();
                std::vector<PMFT_RECORD> gone;
                for (size_t i : job.Gone) gone.push_back(records[i]);
                // The records are still the shown scan's: they are marked at once.
                if (generation == FGeneration) FMonitor.MarkRemoved(gone);
                DeleteEnded(job, gone.size(), permanent);
                dialog->deleteLater();
            });
    dialog->Run();
}

void TFileActions::DeleteEnded(const TDeleteJobBase& job, size_t gone, bool permanent) {
    QString text;
    if (job.WasCancelled())
        text = Tr("Deleting was cancelled: %1 of %2 items are gone")
                   .arg(Count(gone), Count(job.ItemCount()));
    else if (!job.Skipped.empty() || job.WasStopped())
        text = Tr("%1 of %2 items are gone; %3 could not be deleted")
                   .arg(Count(gone), Count(job.ItemCount()), Count(job.Skipped.size()));
    else
        text = (permanent ? Tr("%1 items deleted permanently") : Tr("%1 items moved to the trash"))
                   .arg(Count(gone));
    Status(text);
    emit deleteFinished(int(gone), int(job.Skipped.size()));
}

void TFileActions::DeleteOnDevices(const std::vector<TItem>& items) {
    for (const TItem& i : items)
        if (!DeviceScanOf(i.Rec)) {
            Status(Tr("Items of a portable device are deleted apart from other items: select "
                      "them on their own"));
            return;
        }
    std::vector<uint64_t> entries;
    const TDeleteSummary summary = SummaryOf(items, entries);
    const TDeleteAnswer answer = ConfirmDelete(
        FWindow, summary, true, {}, FFormat,
        ToQString(Utf8ToUtf16(DeviceOperationUnavailable(TItemOperation::DeleteToTrash))));
    if (answer == TDeleteAnswer::Cancel) {
        Status(Tr("Nothing was deleted"));
        return;
    }
    // What the deletion needs of each record is taken here, on the thread that owns the
    // scans; the objects are looked up and deleted on the job's thread.
    std::vector<TDeviceDeleteItem> jobItems;
    std::vector<PMFT_RECORD> records;
    std::vector<TNTFS_FILES*> scans;
    for (size_t i = 0; i < items.size(); ++i) {
        TNTFS_FILES* scan = DeviceScanOf(items[i].Rec);
        jobItems.push_back({DeviceNameOf(*scan), DeviceItemOf(*scan, items[i].Rec), entries[i]});
        records.push_back(items[i].Rec);
        if (std::find(scans.begin(), scans.end(), scan) == scans.end()) scans.push_back(scan);
    }
    std::vector<std::string> measure;
    for (TNTFS_FILES* scan : scans) measure.push_back(Utf16ToUtf8(scan->FSource));
    DebugLog("Delete " + std::to_string(jobItems.size()) + " on a portable device");
    auto job = std::make_unique<TDeviceDeleteJob>(std::move(jobItems), std::move(measure));
    TDeviceDeleteJob* deviceJob = job.get();
    auto* dialog = new TDeleteProgress(std::move(job), true, FWindow);
    const int generation = FGeneration;
    connect(dialog, &TDeleteProgress::jobFinished, this,
            [this, dialog, deviceJob, records, scans, generation] {
                std::vector<PMFT_RECORD> gone;
                for (size_t i : deviceJob->Gone) gone.push_back(records[i]);
                const size_t goneItems = gone.size();
                if (generation == FGeneration) {
                    // What went inside folders that stay goes from the views too.
                    for (const auto& [i, names] : deviceJob->GoneInside)
                        if (PMFT_RECORD r = RecordBelow(records[i], names)) gone.push_back(r);
                    // The freed space shows in the summary and the treemap.
                    for (size_t k = 0; k < scans.size() && k < deviceJob->Space.size(); ++k)
                        if (deviceJob->Space[k].hastotalandfreespace)
                            scans[k]->DeviceDinfo = deviceJob->Space[k];
                    FMonitor.MarkRemovedOnDevice(gone);
                }
                DeleteEnded(*deviceJob, goneItems, true);
                dialog->deleteLater();
            });
    dialog->Run();
}

// ---------------------------------------------------------------- properties

void TFileActions::actPropertiesExecute() {
    const std::vector<TItem> items = Selection(false, true, false);
    if (items.empty()) return;
    std::vector<TPropertiesItem> shown;
    for (const TItem& i : items) shown.push_back({i.Path, i.Rec, i.OnDisk});
    auto* dialog = new TPropertiesDialog(shown, FFormat, FWindow);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

} // namespace qz
