// What the user can do with the items a scan found: open them, show them in the file manager,
// open a terminal in their folder, copy their paths, copy or cut them for a file manager's
// paste, move them to the trash or delete them permanently, see their properties, drag them
// out, and scan their folder in a new instance.
//
// The actions work on the selection of the view that had the focus last (the tree, the file
// list, the treemap: each registers itself with AddView), as GetSelectedItems lists it; items
// already marked deleted are left out. Items of sources that are not files of this system (an
// MFT dump, a CSV/TSV import, an NTFS volume read raw) can only have their paths copied and
// their scanned properties shown: the other actions leave them out and say why in the status
// line.
//
// Items of a portable device can have their paths copied, their scanned properties shown, and
// be deleted permanently on the device (a device has no trash); the other actions leave them
// out with the reason.
//
// Operations only act on disk (or on the device). What they remove reaches the scan through
// change monitoring (TChangeMonitor), which also marks the program's own deletions at once;
// deletions on a device, which is not watched, are marked when they have ended.
#pragma once

#include "engine/types.h"
#include "views/format.h"
#include "views/viewnodes.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMimeData;
class QWidget;

namespace qz {

class TChangeMonitor;
class TDeleteJobBase;
class TNTFS_FILES;
class TFileDrag;
class TFileManager;
class TScanControl;
class TScanStatus;

enum class TViewKind : uint8_t { Tree, FileList, Other };

class TFileActions : public QObject {
    Q_OBJECT
public:
    TFileActions(TScanControl& scans, TChangeMonitor& monitor, TScanStatus& status,
                 const TFormatSettings& format, QWidget* window);
    ~TFileActions() override;

    QAction* actOpen;
    QAction* actExplorerHere;
    QAction* actCommandPromptHere;
    QAction* actCopyPath;
    QAction* actCopy;
    QAction* actCut;
    QAction* actDeleteRecycle;
    QAction* actDeleteNoRecycle;
    QAction* actProperties;
    QAction* actNewInstanceHere; // the folder scanned by a new instance of the program

    // A view whose selection the actions use while it (or a child of it) has the focus; the
    // first view added counts until another had the focus. The actions' shortcuts work in the
    // view; trees and lists get double-click opening and dragging out. nodes gives the view's
    // nodes at the time of the command (a list may replace its nodes when it loads again).
    void AddView(QWidget* view, std::function<TViewNodes*()> nodes, TViewKind kind);
    // The view whose selection the actions use from now on (the treemap's context menu acts on
    // the tree's selection).
    void SetCurrentView(QWidget* view);
    // The actions as a context menu (the views' right click, the treemap's hook).
    void FillContextMenu(QMenu& menu);
    // Shows the context menu for the current view's selection at a global position.
    void ShowContextMenu(const QPoint& globalPos);

    // A scan starts (the scans' records are about to go) / ended.
    void ScanStarted();
    void ScanFinished(bool ok);

    // Settings "enabledragdrop" and "enabledoubleclickopen".
    bool EnableDragDrop = true;
    bool EnableDoubleClickOpen = true;
    // Failures of the user's commands (tests record them; a message box by default).
    std::function<void(const QString&)> ShowMessage;
    // The question before opening more than five windows (a question box by default).
    std::function<bool(const QString&)> AskMany;
    TFileManager& FileManager() { return *FFileManager; }
    // The drag helper of a registered view (tests look at its drags).
    TFileDrag* DragOf(QWidget* view) const;

    // One item of the selection.
    struct TItem {
        std::string Path; // bytes
        PMFT_RECORD Rec = nullptr;
        bool OnDisk = false; // its source's items are files of this system
    };
    // The current view's selection: containingFolders lists folders (a file gives its
    // folder), skipNested leaves out items below another listed one, onDiskOnly leaves out
    // items whose source is not files of this system (the reason goes to the status line).
    std::vector<TItem> Selection(bool containingFolders, bool skipNested, bool onDiskOnly);

    // ---- the commands (the actions' handlers)
    void actOpenExecute();
    void actExplorerHereExecute();
    void actCommandPromptHereExecute();
    void actCopyPathExecute();
    void CopyToClipboard(bool cut);
    void Delete(bool permanent);
    void actPropertiesExecute();
    void actNewInstanceHereExecute();

signals:
    // A delete ended (its dialog closed): items gone, and failures skipped.
    void deleteFinished(int gone, int skipped);

private:
    struct TView {
        QPointer<QWidget> Widget;
        std::function<TViewNodes*()> Nodes;
        TViewKind Kind;
        TFileDrag* Drag = nullptr;
    };
    TView* CurrentView();
    void OnFocusChanged(QWidget* now);
    void OnDoubleClick(TView& view);
    void UpdateActions();
    // Opens path with the desktop's file opener; a failure is shown.
    void OpenWithDesktop(const std::string& path);
    bool ConfirmMany(size_t count, const QString& question);
    void Status(const QString& text);
    // The source of a record is files of this system; why is set otherwise.
    bool OnDisk(PMFT_RECORD rec, QString* why) const;
    // The device scan a record belongs to; nil when it is no device's.
    TNTFS_FILES* DeviceScanOf(PMFT_RECORD rec) const;
    // Leaves out the items that are not files of this system; the status line says why
    // (deviceWhy, when given, for the items of a device).
    void LeaveOutOffDisk(std::vector<TItem>& items, const QString& deviceWhy = QString());
    // A permanent delete of items of portable devices (all of items are).
    void DeleteOnDevices(const std::vector<TItem>& items);
    // The status line after a delete.
    void DeleteEnded(const TDeleteJobBase& job, size_t gone, bool permanent);
    std::unique_ptr<QMimeData> DragMime(TView& view);

    TScanControl& FScans;
    TChangeMonitor& FMonitor;
    TScanStatus& FStatus;
    const TFormatSettings& FFormat;
    QWidget* FWindow;
    TFileManager* FFileManager;
    std::vector<TView> FViews;
    int FCurrent = -1;
    struct TRoot {
        PMFT_RECORD Rec = nullptr;
        QString Reason;                    // why its items are not files here (empty: they are)
        TNTFS_FILES* DeviceScan = nullptr; // a device's scan
    };
    std::vector<TRoot> FRoots; // the scans' roots
    bool FAnyOnDisk = false;
    bool FAnyDevice = false;
    QString FOffReason;  // why the commands that act on disk are off (empty: they are on)
    int FGeneration = 0; // counts scans: a delete ending after a new scan started marks nothing
};

} // namespace qz
