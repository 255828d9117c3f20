#include "gui/mainwindow.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "fsops/devicesources.h"
#include "fsops/mounts.h"
#include "gui/devicewatch.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"
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
#include <QSplitter>
#include <QTabWidget>
#include <QVBoxLayout>

namespace qz {

namespace {

// An empty panel that another part of the window fills.
QWidget* Placeholder(QWidget* parent, const char* name, const QString& accessibleName) {
    auto* w = new QWidget(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setAccessibleName(accessibleName);
    return w;
}

} // namespace

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
    if (FSettings.TreeSortColumn >= 0)
        FDisplayTree.Sort(FSettings.TreeSortColumn, TSortDirection::Descending);
    CreateLayout();
    CreateMenus();

    TScanControl& sc = *FScanControl;
    sc.Mounts = ReadMountTable();
    sc.cbDrive->SetList(GetDrives(sc.Mounts, FSettings.CustomFolders, start.HomeFolder));
    FDeviceWatch = new TDeviceSourceWatcher(this);
    FDeviceWatch->OnDevices = [this](std::vector<TSourceEntry> devices) {
        TSourceList list = FScanControl->cbDrive->List();
        PutDeviceEntries(list, std::move(devices));
        FScanControl->cbDrive->RefreshDrives(std::move(list));
    };
    FDeviceWatch->Refresh();
    sc.FullScanNTFSIfPossible = FSettings.FullScanNTFSIfPossible;
    sc.AutoScan = FSettings.AutoScan;
    sc.FileNodeMinGroupSize = FSettings.FileNodeMinGroupSize;
    // Until the filter panel exists, the command line's filters apply to every scan.
    const TStartupOptions& opt = start.Options;
    sc.BaseOptions.FilterInclude = Utf8ToUtf16(opt.FilterInclude);
    sc.BaseOptions.FilterExclude = Utf8ToUtf16(opt.FilterExclude);
    sc.BaseOptions.MatchEntirePath =
        opt.FilterFullPathGiven ? opt.FilterFullPath : FSettings.MatchPathFilter;
    sc.BaseOptions.ShowMaxModifiedDate = FSettings.ShowMaxModifiedDate;

    connect(&sc, &TScanControl::scanStarted, this, &TfrmQuarzelMain::OnScanStarted);
    connect(&sc, &TScanControl::scanFinished, this, &TfrmQuarzelMain::OnScanFinished);
    connect(FTreeView, &TTreeView::nodeSelectionChanged, this,
            &TfrmQuarzelMain::RefreshSelectionStatus);
    connect(FTreeView, &TTreeView::hotNodeChanged, FTreeStatus, &TTreeStatus::SetHotPath);
    connect(FTreeView, &TTreeView::treeFontHeightChanged, this,
            [this](int h) { FSettings.FontHeight = h; });
    resize(1100, 720);
}

TfrmQuarzelMain::~TfrmQuarzelMain() {
    // The scans (and their threads) go first, then the views that show them; the display
    // tree they point into is a member and goes last.
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

    FTreeModel = new TTreeModel(FDisplayTree, this);
    FTreeView = new TTreeView(*FTreeModel);
    FTreeView->SetTreeFontHeight(FSettings.FontHeight);
    if (FSettings.AltRowColors >= 1) {
        // Odd rows on a light grey.
        QPalette p = FTreeView->palette();
        p.setColor(QPalette::AlternateBase, QColor(0xF0, 0xF0, 0xF0));
        FTreeView->setPalette(p);
        FTreeView->setAlternatingRowColors(true);
    }
    FScanStatus = new TScanStatus(central);
    FSummary = new TSpaceSummaryPanel(central);
    FScanControl = new TScanControl(*FTreeView, *FScanStatus, *FSummary, central);

    // Top panel: what to scan on the left, the space it holds on the right; the status line
    // with the progress bar below.
    auto* top = new QWidget(central);
    top->setObjectName(QStringLiteral("panTop"));
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(FScanControl, 2);
    topLayout->addSpacing(12);
    topLayout->addWidget(FSummary, 3);
    layout->addWidget(top);
    layout->addWidget(FScanStatus);

    // The filter panel (Ctrl+Shift+F) goes above the pages; hidden until it is built.
    panFilter = Placeholder(central, "panFilter", Tr("Filter"));
    panFilter->hide();
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
    panExt = Placeholder(spExt, "panExt", Tr("File types"));
    spExt->addWidget(panExt);
    spExt->setStretchFactor(0, 3);
    spExt->setStretchFactor(1, 1);
    spTreemap->addWidget(spExt);
    // The treemap panel below the tree.
    panTreemap = Placeholder(spTreemap, "panTreemap", Tr("Treemap"));
    spTreemap->addWidget(panTreemap);
    spTreemap->setStretchFactor(0, 3);
    spTreemap->setStretchFactor(1, 2);
    treeLayout->addWidget(spTreemap, 1);
    FTreeStatus = new TTreeStatus(tsTree);
    treeLayout->addWidget(FTreeStatus);
    pcMain->addTab(tsTree, Tr("Tree View"));

    // "File View": the file list.
    tsFiles = Placeholder(pcMain, "tsFiles", Tr("File View"));
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
    actNewInstance = mnuFile->addAction(Tr("New Instance"));
    actNewInstance->setObjectName(QStringLiteral("actNewInstance"));
    connect(actNewInstance, &QAction::triggered, this, &TfrmQuarzelMain::NewInstance1Click);
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

    mnuOptions = menuBar()->addMenu(Tr("&Options"));
    mnuOptions->setObjectName(QStringLiteral("mnuOptions"));
    actAutoScan = mnuOptions->addAction(Tr("Auto scan after making selection"));
    actAutoScan->setObjectName(QStringLiteral("actAutoScan"));
    actAutoScan->setCheckable(true);
    actAutoScan->setChecked(FSettings.AutoScan);
    connect(actAutoScan, &QAction::toggled, this, [this](bool on) {
        FSettings.AutoScan = on;
        FScanControl->AutoScan = on;
        FStart.Store.Save(FSettings);
    });
    mnuOptions->addSeparator();
    static const char* const kUnits[6][2] = {
        {"actDisplayDynamic", "Display Dynamic values"}, {"actDisplayBytes", "Display Byte values"},
        {"actDisplayKB", "Display KB values"},           {"actDisplayMB", "Display MB values"},
        {"actDisplayGB", "Display GB values"},           {"actDisplayTB", "Display TB values"}};
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
    FScanControl->UpdateSpaceSummary();
    RefreshSelectionStatus();
    FSettings.DisplayUnit = unit;
    // The choice is kept at once; a settings file that cannot be written is not worth a
    // message (the choice stays for this session).
    FStart.Store.Save(FSettings);
}

void TfrmQuarzelMain::RefreshSelectionStatus() {
    FTreeStatus->SetSelectionText(ToQString(FDisplayTree.SelectionStatusText()));
}

void TfrmQuarzelMain::ProcessCommandLinePath(const QString& path) {
    DebugLog("ProcessCommandLine");
    if (!path.isEmpty()) FScanControl->ScanPath(path);
}

void TfrmQuarzelMain::OnScanStarted() {
    actScan->setEnabled(false);
    FTreeStatus->SetSelectionText(QString());
    FTreeStatus->SetHotPath(QString());
}

void TfrmQuarzelMain::OnScanFinished(bool) {
    actScan->setEnabled(true);
    RefreshSelectionStatus();
    if (FClosePending) close();
}

void TfrmQuarzelMain::NewInstance1Click() {
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
}

void TfrmQuarzelMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (FShown) return;
    FShown = true;
    FScanControl->UpdateSpaceSummary();
}

void TfrmQuarzelMain::closeEvent(QCloseEvent* event) {
    if (FScanControl->ScanInProgress()) {
        // The scan is asked to stop; the window closes when its threads have ended.
        FClosePending = true;
        FScanControl->btnCancelClick();
        event->ignore();
        return;
    }
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
