#include "gui/mainwindow.h"

#include "app/outputs.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "fsops/devicesources.h"
#include "fsops/mounts.h"
#include "gui/changemonitor.h"
#include "gui/devicewatch.h"
#include "gui/exportactions.h"
#include "gui/extview.h"
#include "gui/fileactions.h"
#include "gui/filedrag.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/filetypecache.h"
#include "gui/filetypesdelegate.h"
#include "gui/filetypesmodel.h"
#include "gui/filterapplier.h"
#include "gui/filterpanel.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/shell.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"
#include "gui/treemappanel.h"
#include "gui/treemodel.h"
#include "gui/treeview.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMenuBar>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace qz {

TfrmQuarzelMain::TfrmQuarzelMain(TWindowStart& start, QWidget* parent)
    : QMainWindow(parent), FStart(start), FSettings(start.Settings) {
    setObjectName(QStringLiteral("frmQuarzelMain"));
    setAccessibleName(QStringLiteral("Quarzel"));
    setWindowTitle(QStringLiteral("Quarzel"));
    setAcceptDrops(true);
    FFormat.Unit = FSettings.DisplayUnit;
    FFormat.Decimals = FSettings.DecimalPlaces;
    FFormat.Numbers = LocaleNumberFormat();
    FDisplayTree.Format = FFormat;
    FDisplayTree.FILENODE_MIN_GROUP_SIZE = FSettings.FileNodeMinGroupSize;
    FExtColors.tm_palette = FSettings.Palette;
    FExtColors.tm_fileextensions = FSettings.FileExtensions;
    FExtColors.bColorBySize = FSettings.ColorBySize;
    FExtColors.BuildExtColorsFixed();
    if (FSettings.TreeSortColumn >= 0)
        FDisplayTree.Sort(FSettings.TreeSortColumn, TSortDirection::Descending);
    CreateLayout();
    FExports =
        new TExportActions(*this, FSettings, start.Store,
                           ExportOptionsFromCommandLine(start.CommandLine, start.Options), this);
    FExtView->actExportFileTypes = FExports->actExportFileTypes;
    CreateMenus();

    TScanControl& sc = *FScanControl;
    sc.SetSettings(FSettings, start.Store, start.HomeFolder);
    sc.OptionArguments = start.CommandLine.OptionArguments();
    sc.InitSources(ReadMountTable());
    FDeviceWatch = new TDeviceSourceWatcher(this);
    FDeviceWatch->OnDevices = [this](std::vector<TSourceEntry> devices, bool afterUsbEvent) {
        FScanControl->SetDeviceEntries(std::move(devices), afterUsbEvent);
    };
    FDeviceWatch->Refresh();
    sc.FullScanNTFSIfPossible = FSettings.FullScanNTFSIfPossible;
    sc.AutoScan = FSettings.AutoScan;
    sc.FileNodeMinGroupSize = FSettings.FileNodeMinGroupSize;
    // Scans take their filters from the filter panel (the command line's fill it).
    const TStartupOptions& opt = start.Options;
    FFilterPanel->SetFromCommandLine(Utf8ToUtf16(opt.FilterInclude), Utf8ToUtf16(opt.FilterExclude),
                                     opt.FilterGiven, opt.FilterFullPath, opt.FilterFullPathGiven);
    auto syncFilters = [this] {
        TScanOptions& o = FScanControl->BaseOptions;
        FFilterPanel->ScanFilters(o.FilterInclude, o.FilterExclude, o.MatchEntirePath);
    };
    syncFilters();
    connect(FFilterPanel, &TFilterPanel::filtersChanged, this, syncFilters);
    FApplier = new TFilterApplier(sc, *FTreeView, *FScanStatus, this);
    connect(FFilterPanel, &TFilterPanel::applyRequested, this,
            &TfrmQuarzelMain::actApplyFilterExecute);
    connect(FApplier, &TFilterApplier::aboutToFilter, this, &TfrmQuarzelMain::OnFilterPassStarted);
    connect(FApplier, &TFilterApplier::filtered, this, &TfrmQuarzelMain::OnFilterPassEnded);
    connect(FExports, &TExportActions::busyChanged, FFilesPanel, &TFileListPanel::Freeze);
    sc.BaseOptions.ShowMaxModifiedDate = FSettings.ShowMaxModifiedDate;

    connect(&sc, &TScanControl::scanStarted, this, &TfrmQuarzelMain::OnScanStarted);
    connect(&sc, &TScanControl::scanFinished, this, &TfrmQuarzelMain::OnScanFinished);
    connect(&sc, &TScanControl::restartedAsRoot, this, &QWidget::close);
    connect(&sc, &TScanControl::viewsCleared, FFilesPanel, &TFileListPanel::ClearScans);
    connect(&sc, &TScanControl::viewsCleared, FExtModel, &TFileTypesModel::Clear);
    connect(FExtView, &TExtView::selectExtension, this, &TfrmQuarzelMain::SelectFilesOfExtension);
    connect(FExtModel, &TFileTypesModel::sortChanged, this, &TfrmQuarzelMain::SaveViewSettings);
    connect(FTreeView, &TTreeView::nodeSelectionChanged, this,
            &TfrmQuarzelMain::RefreshSelectionStatus);
    connect(FTreeView, &TTreeView::hotNodeChanged, FTreeStatus, &TTreeStatus::SetHotPath);
    connect(FTreemapPanel, &TTreemapPanel::hoverTextChanged, FTreeStatus, &TTreeStatus::SetHotPath);
    connect(FTreeView, &TTreeView::treeFontHeightChanged, this, [this](int h) {
        FSettings.FontHeight = h;
        FWindowSettings.SaveSettingsNow();
    });

    // Removals on disk followed while a scan is shown; the item commands.
    FChangeMonitor = new TChangeMonitor(sc.Session(), FDisplayTree, this);
    FChangeMonitor->SetEnabled(FSettings.MonitorFileSystemForChanges);
    connect(FChangeMonitor, &TChangeMonitor::statusMessage, FScanStatus, &TScanStatus::SetStatus);
    connect(FChangeMonitor, &TChangeMonitor::totalsChanged, this,
            &TfrmQuarzelMain::OnTotalsChanged);
    connect(FChangeMonitor, &TChangeMonitor::aboutToChangeRecords, FTreemapPanel,
            &TTreemapPanel::StopDrawing);
    FChangeMonitor->RecordsBusy = [this] {
        return FExports->Busy() || FApplier->Busy() || FFilesPanel->Loading() ||
               FTreemapPanel->Exporting();
    };
    FFileActions = new TFileActions(sc, *FChangeMonitor, *FScanStatus, FFormat, this);
    FFileActions->EnableDragDrop = FSettings.EnableDragDrop;
    FFileActions->EnableDoubleClickOpen = FSettings.EnableDoubleClickOpen;
    FFileActions->AddView(
        FTreeView, [this] { return &FDisplayTree; }, TViewKind::Tree);
    FFileActions->AddView(
        FFilesPanel->vstFiles, [this] { return &FFilesPanel->List(); }, TViewKind::FileList);
    FTreemapPanel->FillContextMenu = [this](QMenu& menu, TTreeNode*) {
        FFileActions->SetCurrentView(FTreeView); // the item under the pointer is selected there
        FFileActions->FillContextMenu(menu);
    };
    for (QAction* a :
         {FFileActions->actOpen, FFileActions->actExplorerHere, FFileActions->actCommandPromptHere,
          FFileActions->actCopy, FFileActions->actCut, FFileActions->actCopyPath,
          FFileActions->actDeleteRecycle, FFileActions->actDeleteNoRecycle,
          FFileActions->actProperties})
        mnuFile->insertAction(FFileMenuEnd, a);
    mnuFile->insertSeparator(FFileMenuEnd);
    resize(1200, 760); // wide enough for the space figures beside the scan control
    FShell = new TShell(*this, FWindowSettings, start);
}

TfrmQuarzelMain::~TfrmQuarzelMain() {
    // The change monitor's and the treemap's threads read the scans: they go first with the
    // views' other background work; then the scans (and their threads) go, then the views
    // that show them; the display tree they point into is a member and goes last.
    // Nothing the children report while they go reaches this window's members.
    FChangeMonitor->Stop();
    for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
    FFilterPanel->SaveSettings = nullptr;
    FFilesPanel->SaveSettings = nullptr;
    FExports->Stop();
    FApplier->Stop();
    FFilesPanel->ClearScans();
    delete FTreemapPanel;
    delete FScanControl;
    delete FTreeView;
    delete FTreeModel;
}

void TfrmQuarzelMain::CreateLayout() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("panMain"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 2);
    layout->setSpacing(3);

    FTypeCache = new TFileTypeCache(this);
    FTreeModel = new TTreeModel(FDisplayTree, this);
    FTreeView = new TTreeView(*FTreeModel);
    FTreeView->SetTreeFontHeight(FSettings.FontHeight);
    // Odd rows on the look's alternate background.
    FTreeView->setAlternatingRowColors(FSettings.AltRowColors >= 1);
    FScanStatus = new TScanStatus(central);
    FSummary = new TSpaceSummaryPanel(central);
    FScanControl = new TScanControl(*FTreeView, *FScanStatus, *FSummary, central);
    FFilterPanel = new TFilterPanel(central);
    FFilterPanel->LoadSettings(FSettings);
    FFilterPanel->SaveSettings = [this] { SaveViewSettings(); };

    // Top panel: what to scan on the left, the space it holds on the right; the status line
    // with the progress bar below.
    auto* top = new QWidget(central);
    top->setObjectName(QStringLiteral("panTop"));
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(FScanControl, 2);
    topLayout->addWidget(FFilterPanel->sbFilter);
    topLayout->addSpacing(12);
    topLayout->addWidget(FSummary, 3);
    layout->addWidget(top);
    layout->addWidget(FScanStatus);

    // The filter panel (Ctrl+Shift+F) goes above the pages; its toggle button stays beside the
    // scan control.
    panFilter = FFilterPanel;
    layout->addWidget(panFilter);

    pcMain = new QTabWidget(central);
    pcMain->setObjectName(QStringLiteral("pcMain"));
    pcMain->setAccessibleName(Tr("Views"));
    layout->addWidget(pcMain, 1);

    // "Tree View": the tree with the file types beside it, the treemap below both, and the
    // tree's status panels at the bottom.
    tsTree = new QWidget(pcMain);
    tsTree->setObjectName(QStringLiteral("tsTree"));
    auto* treeLayout = new QVBoxLayout(tsTree);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    treeLayout->setSpacing(0);
    spTreemap = new QSplitter(Qt::Vertical, tsTree);
    spTreemap->setObjectName(QStringLiteral("spTreemap"));
    spTreemap->setChildrenCollapsible(false);
    spExt = new QSplitter(Qt::Horizontal, spTreemap);
    spExt->setObjectName(QStringLiteral("spExt"));
    spExt->addWidget(FTreeView);
    // The file-types view (vstExt) beside the tree.
    FExtColors.tm_palette = FSettings.Palette;
    FExtColors.tm_fileextensions = FSettings.FileExtensions;
    FExtColors.bColorBySize = FSettings.ColorBySize;
    FExtColors.BuildExtColorsFixed();
    FExtRows.Format = FFormat;
    FExtModel = new TFileTypesModel(FExtRows, *FTypeCache, FExtColors, this);
    FExtView = new TExtView(*FExtModel, spExt);
    TTreemapShading shading;
    shading.GradientEnabled = FSettings.GradientEnabled;
    FExtView->Delegate().SetShading(shading);
    if (FSettings.ExtSortColumn == ecSize || FSettings.ExtSortColumn == ecAllocated)
        FExtModel->SortBy(FSettings.ExtSortColumn, TSortDirection::Descending);
    panExt = FExtView;
    panExt->setVisible(FSettings.ShowFileTypes);
    spExt->addWidget(panExt);
    spExt->setStretchFactor(0, 3);
    spExt->setStretchFactor(1, 1);
    spTreemap->addWidget(spExt);
    // The treemap panel below the tree; the tree keeps at least 90 pixels.
    FTreemapPanel = new TTreemapPanel(*FTreeView, *FScanControl, *FScanStatus, FExtColors,
                                      FSettings, FStart.Store, spTreemap);
    panTreemap = FTreemapPanel;
    spTreemap->addWidget(panTreemap);
    spExt->setMinimumHeight(90);
    spTreemap->setStretchFactor(0, 3);
    spTreemap->setStretchFactor(1, 2);
    treeLayout->addWidget(spTreemap, 1);
    FTreeStatus = new TTreeStatus(tsTree);
    treeLayout->addWidget(FTreeStatus);
    pcMain->addTab(tsTree, Tr("Tree View"));

    // "File View": the file list.
    FFilesPanel = new TFileListPanel(*FTypeCache, pcMain);
    FFilesPanel->LoadSettings(FSettings);
    FFilesPanel->SetFormat(FFormat);
    FFilesPanel->SetFontHeight(FSettings.FontHeight);
    FFilesPanel->SaveSettings = [this] { SaveViewSettings(); };
    // The views' choices, columns and histories go with every save of the settings.
    FFilesPanel->AttachSettings(FWindowSettings);
    FExtView->AttachSettings(FWindowSettings);
    FWindowSettings.OnSave([this](TWindowSettings& s) {
        FFilterPanel->StoreSettings(s.Values());
        if (FExtRows.SortColumn() >= 0) s.Values().ExtSortColumn = FExtRows.SortColumn();
    });
    tsFiles = FFilesPanel;
    pcMain->addTab(tsFiles, Tr("File View"));

    setCentralWidget(central);
}

void TfrmQuarzelMain::CreateMenus() {
    mnuFile = menuBar()->addMenu(Tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    actScan = mnuFile->addAction(Tr("Scan"));
    actScan->setObjectName(QStringLiteral("actScan"));
    // F5 scans the current source again; with Ctrl a folder on a readable NTFS volume is cut
    // out of a scan of the whole volume.
    actScan->setShortcuts({QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_F5)});
    connect(actScan, &QAction::triggered, this, [this] {
        FScanControl->actScanExecute(TScanTrigger::ScanAction,
                                     QGuiApplication::queryKeyboardModifiers() &
                                         Qt::ControlModifier);
    });
    mnuFile->addAction(FTreemapPanel->actExportTreemap);
    actNewInstance = mnuFile->addAction(Tr("New Instance"));
    actNewInstance->setObjectName(QStringLiteral("actNewInstance"));
    connect(actNewInstance, &QAction::triggered, this, &TfrmQuarzelMain::NewInstance1Click);
    FFileMenuEnd = mnuFile->addSeparator();
    mnuFile->addAction(FExports->actExport);
    mnuFile->addAction(FExports->actExportFileTypes);
    mnuFile->addAction(FExports->actExportVisible);
    mnuFile->addSeparator();
    actExit = mnuFile->addAction(Tr("Exit"));
    actExit->setObjectName(QStringLiteral("actExit"));
    actExit->setShortcut(QKeySequence::Quit);
    connect(actExit, &QAction::triggered, this, &QWidget::close);

    mnuTree = menuBar()->addMenu(Tr("&Tree"));
    mnuTree->setObjectName(QStringLiteral("mnuTree"));
    mnuTree->addAction(FTreeView->actSelectParent);
    mnuTree->addAction(FTreeView->actReselectChild);
    mnuTree->addAction(FTreeView->actExpandAll);
    mnuTree->addAction(FTreeView->actResetTreeExpansion);
    mnuTree->addAction(FTreemapPanel->actZoom);
    mnuTree->addAction(FTreemapPanel->actUnzoom);

    mnuOptions = menuBar()->addMenu(Tr("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    actAutoScan = mnuOptions->addAction(Tr("Auto scan after making selection"));
    actAutoScan->setObjectName(QStringLiteral("actAutoScan"));
    actAutoScan->setCheckable(true);
    actAutoScan->setChecked(FSettings.AutoScan);
    mnuOptions->addAction(FFilterPanel->actFilterScanResults);
    mnuOptions->addAction(FFilterPanel->actApplyFilter);
    actShowFileTypes = mnuOptions->addAction(Tr("Show File Types"));
    actShowFileTypes->setObjectName(QStringLiteral("actShowFileTypes"));
    actShowFileTypes->setShortcut(QKeySequence(Qt::Key_F8));
    actShowFileTypes->setCheckable(true);
    actShowFileTypes->setChecked(FSettings.ShowFileTypes);
    connect(actShowFileTypes, &QAction::toggled, this, [this](bool on) {
        panExt->setVisible(on);
        if (on && FExtRows.Rows.empty()) RankExtensions();
        FSettings.ShowFileTypes = on;
        FStart.Store.Save(FSettings);
    });
    FExtView->actShowFileTypes = actShowFileTypes;
    connect(actAutoScan, &QAction::toggled, this, [this](bool on) {
        FSettings.AutoScan = on;
        FScanControl->AutoScan = on;
        FWindowSettings.SaveSettingsNow();
    });
    mnuOptions->addSeparator();
    mnuOptions->addActions({FTreemapPanel->actShowTreemap, FTreemapPanel->actShowAllocatedSize,
                            FTreemapPanel->actShowFreeSpace, FTreemapPanel->actShowTreemapFilenames,
                            FTreemapPanel->actSetColors});
    mnuOptions->addSeparator();
    static const char* const kUnits[6][2] = {{"actDisplayDynamic", N_("Display Dynamic values")},
                                             {"actDisplayBytes", N_("Display Byte values")},
                                             {"actDisplayKB", N_("Display KB values")},
                                             {"actDisplayMB", N_("Display MB values")},
                                             {"actDisplayGB", N_("Display GB values")},
                                             {"actDisplayTB", N_("Display TB values")}};
    auto* units = new QActionGroup(this);
    units->setExclusive(true);
    for (int i = 0; i < 6; ++i) {
        QAction* a = mnuOptions->addAction(Tr(kUnits[i][1]));
        a->setObjectName(QString::fromLatin1(kUnits[i][0]));
        a->setCheckable(true);
        a->setChecked(int(FFormat.Unit) == i);
        units->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { SetDisplayUnit(TDisplayUnit(i)); });
        actDisplayUnit[i] = a;
    }
}

// ---------------------------------------------------------------- handlers

void TfrmQuarzelMain::SetDisplayUnit(TDisplayUnit unit) {
    actDisplayUnit[int(unit)]->setChecked(true);
    FFormat.Unit = unit;
    FDisplayTree.Format = FFormat;
    FTreeModel->TextsChanged();
    FFilesPanel->SetFormat(FFormat);
    FTreemapPanel->RedrawTreemap(false, true); // the labels' sizes
    FScanControl->UpdateSpaceSummary();
    RefreshSelectionStatus();
    FSettings.DisplayUnit = unit;
    // The choice is kept at once; a settings file that cannot be written is not worth a
    // message (the choice stays for this session).
    FWindowSettings.SaveSettingsNow();
}

void TfrmQuarzelMain::SetDecimalPlaces(int decimals) {
    FFormat.Decimals = decimals;
    FDisplayTree.Format = FFormat;
    FTreeModel->TextsChanged();
    FScanControl->UpdateSpaceSummary();
    RefreshSelectionStatus();
}

void TfrmQuarzelMain::RefreshSelectionStatus() {
    FTreeStatus->SetSelectionText(ToQString(FDisplayTree.SelectionStatusText()));
}

void TfrmQuarzelMain::ProcessCommandLinePath(const QString& path) {
    DebugLog("ProcessCommandLine");
    if (!path.isEmpty()) FScanControl->ScanPath(path);
}

void TfrmQuarzelMain::OnScanStarted() {
    // Nothing may read the previous scans any more: they are freed next.
    FChangeMonitor->Stop();
    FFileActions->ScanStarted();
    actScan->setEnabled(false);
    FExports->SetEnabled(false);
    FFilterPanel->EnableFilterControls(false, true);
    FTreeStatus->SetSelectionText(QString());
    FTreeStatus->SetHotPath(QString());
}

void TfrmQuarzelMain::OnScanFinished(bool ok) {
    actScan->setEnabled(true);
    FExports->SetEnabled(!FScanControl->Session().Scans().empty());
    FFilterPanel->EnableFilterControls(true, true);
    ShowResults();
    RefreshSelectionStatus();
    FFileActions->ScanFinished(ok);
    FChangeMonitor->Start();
    if (FClosePending) close();
}

void TfrmQuarzelMain::OnTotalsChanged() {
    // Items were removed on disk: new totals, file groups and used space are in the records.
    FTreeModel->TextsChanged();
    FTreeView->viewport()->update();
    FScanControl->RefreshDiskSizes();
    RefreshSelectionStatus();
    TScanSession& s = FScanControl->Session();
    FFilesPanel->RecordsChanged(s.RootMFTMulti.SubFoldersTotSize,
                                s.RootMFTMulti.SubFoldersTotSizeAlloc);
    RankExtensions();
    FTreemapPanel->RecordsChanged();
}

void TfrmQuarzelMain::ShowResults() {
    TScanSession& s = FScanControl->Session();
    FFilesPanel->SetScans(s.Scans(), s.RootMFTMulti.SubFoldersTotSize,
                          s.RootMFTMulti.SubFoldersTotSizeAlloc);
    // The session's tallies hold the file types as the scan threads or the filter pass counted
    // them: the records are not walked again here.
    RankExtensions(s.ExtTallies);
}

void TfrmQuarzelMain::RankExtensions(std::span<const TExtTally> tallies) {
    if (tallies.empty())
        FExtColors.BuildExtSizes(FScanControl->Session().Scans());
    else
        FExtColors.BuildExtSizes(tallies);
    uint64_t size = 0, alloc = 0;
    TFileTypesView::TreeTotals(FDisplayTree, size, alloc);
    FExtModel->Fill(size, alloc);
}

void TfrmQuarzelMain::SelectFilesOfExtension(const QString& key) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The focus goes to the first file selected: the focused row counts in the selection
    // status, and a folder focused before would count all its files.
    // Collapsed folders stay collapsed (no scrolling to it).
    TTreeNode* first = nullptr;
    FDisplayTree.SelectFilesOfExtension(ToU16(key), &first);
    const bool autoScroll = FTreeView->hasAutoScroll();
    FTreeView->setAutoScroll(false);
    FTreeView->selectionModel()->setCurrentIndex(first ? FTreeModel->IndexOf(first) : QModelIndex(),
                                                 QItemSelectionModel::NoUpdate);
    FTreeView->setAutoScroll(autoScroll);
    FTreeView->viewport()->update();
    RefreshSelectionStatus();
    QGuiApplication::restoreOverrideCursor();
}

void TfrmQuarzelMain::actApplyFilterExecute() {
    if (FScanControl->ScanInProgress() || !FScanControl->btnScan->isVisible() || FExports->Busy())
        return;
    FApplier->Apply(FFilterPanel->Request());
}

void TfrmQuarzelMain::OnFilterPassStarted() {
    // The views let go of the scans; nothing that changes them runs meanwhile.
    FFilesPanel->ClearScans();
    FExtModel->Clear();
    FTreeStatus->SetSelectionText(QString());
    FTreeStatus->SetHotPath(QString());
    FScanControl->setEnabled(false);
    actScan->setEnabled(false);
    FExports->SetEnabled(false);
    FFilterPanel->EnableFilterControls(false, true);
}

void TfrmQuarzelMain::OnFilterPassEnded() {
    FScanControl->setEnabled(true);
    actScan->setEnabled(true);
    FExports->SetEnabled(true);
    FFilterPanel->EnableFilterControls(true, true);
    FFilterPanel->ShowPassErrors(FApplier->Errors());
    ShowResults();
    FScanControl->UpdateSpaceSummary();
    RefreshSelectionStatus();
}

void TfrmQuarzelMain::SaveViewSettings() {
    FWindowSettings.SaveSettingsNow(); // its savers take the views' state
}

void TfrmQuarzelMain::NewInstance1Click() {
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
}

void TfrmQuarzelMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown) return;
    FShown = true;
    FScanControl->UpdateSpaceSummary();
    FScanControl->StartWatchingSources();
    FShell->FirstShow();
}

void TfrmQuarzelMain::closeEvent(QCloseEvent* event) {
    if (FScanControl->ScanInProgress()) {
        // The scan is asked to stop; the window closes when its threads have ended.
        FClosePending = true;
        FScanControl->btnCancelClick();
        event->ignore();
        return;
    }
    FScanControl->StopWatchingSources();
    FShell->Closing();
    event->accept();
}

namespace {
// The first dropped local file, if any.
QString DroppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& u : mime->urls())
        if (u.isLocalFile()) return u.toLocalFile();
    return {};
}
} // namespace

void TfrmQuarzelMain::dragEnterEvent(QDragEnterEvent* event) {
    if (TFileDrag::Dragging()) return; // our own items dragged out and back
    const QString file = DroppedFile(event->mimeData()).toLower();
    if (file.endsWith(QStringLiteral(".mft")) || file.endsWith(QStringLiteral(".csv")) ||
        file.endsWith(QStringLiteral(".tsv")))
        event->acceptProposedAction();
}

void TfrmQuarzelMain::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (file.isEmpty()) return;
    FScanControl->DoDragDropFilename(file);
    event->acceptProposedAction();
}

} // namespace qz
