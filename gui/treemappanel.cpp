#include "gui/treemappanel.h"

#include "app/inifile.h"
#include "app/settings.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "gui/colorsdialog.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/statuspanel.h"
#include "gui/treemapexport.h"
#include "gui/treemapview.h"
#include "gui/treeview.h"
#include "treemap/qtcanvas.h"
#include "treemap/renderer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <thread>

namespace qz {

namespace {

// The hint shows this long after the pointer reached a new item.
constexpr int kHintDelayMs = 100;

} // namespace

// A finished drawing on its way to the user-interface thread, with its pixels ready to paint
// and its deleted items found (both done on the drawing's thread).
struct TTreemapPanel::TDelivered {
    TTreemapRenderer::TDone Done;
    QImage Shown;
    std::vector<uint32_t> Deleted;
};

TTreemapPanel::TTreemapPanel(TTreeView& tree, TScanControl& scans, TScanStatus& status,
                             TExtColors& colors, TMainSettings& settings, TSettingsStore& store,
                             QWidget* parent)
    : QWidget(parent), FTree(tree), FScans(scans), FStatus(status), FColors(colors),
      FSettings(settings), FStore(store) {
    setObjectName(QStringLiteral("panTreemap"));
    setAccessibleName(Tr("Treemap"));
    setMinimumHeight(30);
    FGradient = settings.GradientEnabled;

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The caption bar: the two buttons of the zoomed state at its left, then the caption.
    panTreemapLabel = new QWidget(this);
    panTreemapLabel->setObjectName(QStringLiteral("panTreemapLabel"));
    panTreemapLabel->setFixedHeight(ScaleToDpi(18, Dpi()));
    panTreemapLabel->installEventFilter(this);
    auto* bar = new QHBoxLayout(panTreemapLabel);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->setSpacing(2);
    sbUnzoom = new QToolButton(panTreemapLabel);
    sbUnzoom->setObjectName(QStringLiteral("sbUnzoom"));
    sbUnzoom->setText(QStringLiteral(".."));
    sbUnzoom->setAccessibleName(Tr("Unzoom Treemap"));
    sbUnzoom->setToolTip(Tr("Unzoom Treemap"));
    sbUnzoom->setAutoRaise(true);
    sbUnzoom->hide();
    sbResetTreeExpansion = new QToolButton(panTreemapLabel);
    sbResetTreeExpansion->setObjectName(QStringLiteral("sbResetTreeExpansion"));
    sbResetTreeExpansion->setText(QStringLiteral("\\"));
    sbResetTreeExpansion->setAccessibleName(Tr("Reset tree expansion"));
    sbResetTreeExpansion->setToolTip(Tr("Reset tree expansion"));
    sbResetTreeExpansion->setAutoRaise(true);
    sbResetTreeExpansion->hide();
    lblCaption = new QLabel(panTreemapLabel);
    lblCaption->setObjectName(QStringLiteral("lblTreemapCaption"));
    lblCaption->setAccessibleName(Tr("Treemap caption"));
    lblCaption->setTextFormat(Qt::PlainText);
    lblCaption->setMinimumWidth(10);
    bar->addWidget(sbUnzoom);
    bar->addWidget(sbResetTreeExpansion);
    bar->addWidget(lblCaption, 1);
    layout->addWidget(panTreemapLabel);
    pbTreemap = new TTreemapView(this);
    pbTreemap->setAccessibleName(Tr("Treemap picture"));
    layout->addWidget(pbTreemap, 1);

    // ---- actions
    auto action = [this](const char* name, const char* caption) {
        auto* a = new QAction(Tr(caption), this);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    actShowTreemap = action("actShowTreemap", "Show Treemap");
    actShowTreemap->setCheckable(true);
    actShowTreemap->setChecked(settings.ShowTreemap);
    actShowTreemap->setShortcut(QKeySequence(Qt::Key_F9));
    actShowAllocatedSize = action("actShowAllocatedSize", "Show Allocated Size on Treemap");
    actShowAllocatedSize->setCheckable(true);
    actShowAllocatedSize->setChecked(settings.ShowAllocatedSize);
    actShowFreeSpace = action("actShowFreeSpace", "Show Free Space on Treemap");
    actShowFreeSpace->setCheckable(true);
    actShowFreeSpace->setChecked(settings.ShowFreeSpace);
    actShowTreemapFilenames =
        action("actShowTreemapFilenames", "Show Folder and File Names on Treemap");
    actShowTreemapFilenames->setCheckable(true);
    actShowTreemapFilenames->setChecked(settings.ShowTreemapFilenames);
    actShowTreemapFilenames->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    actZoom = action("actZoom", "Zoom Treemap");
    actZoom->setShortcuts(
        {QKeySequence(Qt::Key_F10), QKeySequence(Qt::KeypadModifier | Qt::Key_Plus)});
    actUnzoom = action("actUnzoom", "Unzoom Treemap");
    actUnzoom->setShortcuts(
        {QKeySequence(Qt::Key_F11), QKeySequence(Qt::KeypadModifier | Qt::Key_Minus)});
    actExportTreemap = action("actExportTreemap", "Save Treemap Image as .png file");
    actExportTreemap->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actSetColors = action("actSetColors", "Colors...");
    puTreeOptions = new QMenu(this);
    puTreeOptions->setObjectName(QStringLiteral("puTreeOptions"));
    puTreeOptions->addActions(
        {actShowTreemap, actShowAllocatedSize, actShowFreeSpace, actShowTreemapFilenames});

    connect(actShowTreemap, &QAction::toggled, this, [this](bool on) {
        setVisible(on);
        if (!on) {
            FTreemapRoot = nullptr; // hiding forgets the zoom
        } else if (!FActiveTreemap) {
            RedrawTreemap(true, true);
        }
        UpdateActions();
        UpdateZoomButtons();
        SaveOptions();
    });
    for (QAction* a : {actShowAllocatedSize, actShowFreeSpace, actShowTreemapFilenames})
        connect(a, &QAction::toggled, this, [this] {
            SaveOptions();
            RedrawTreemap(false, true);
        });
    connect(actZoom, &QAction::triggered, this, &TTreemapPanel::actZoomExecute);
    connect(actUnzoom, &QAction::triggered, this, &TTreemapPanel::actUnzoomExecute);
    connect(sbUnzoom, &QToolButton::clicked, this, &TTreemapPanel::actUnzoomExecute);
    connect(sbResetTreeExpansion, &QToolButton::clicked, FTree.actResetTreeExpansion,
            &QAction::trigger);
    connect(FTree.actResetTreeExpansion, &QAction::triggered, this, &TTreemapPanel::ResetZoom);
    connect(actExportTreemap, &QAction::triggered, this, &TTreemapPanel::actExportTreemapExecute);
    connect(actSetColors, &QAction::triggered, this, &TTreemapPanel::actSetColorsExecute);

    // ---- the picture and the pointer
    connect(pbTreemap, &TTreemapView::pointerMoved, this, &TTreemapPanel::OnPointerMoved);
    connect(pbTreemap, &TTreemapView::pointerLeft, this, &TTreemapPanel::OnPointerLeft);
    connect(pbTreemap, &TTreemapView::pressed, this, &TTreemapPanel::OnPressed);
    connect(pbTreemap, &TTreemapView::doubleClicked, this, &TTreemapPanel::OnDoubleClicked);
    connect(pbTreemap, &TTreemapView::contextMenuAt, this, &TTreemapPanel::OnContextMenu);
    timMapHint.setSingleShot(true);
    timMapHint.setInterval(kHintDelayMs);
    connect(&timMapHint, &QTimer::timeout, this, &TTreemapPanel::ShowHint);
    FResizeSettle.setSingleShot(true);
    FResizeSettle.setInterval(ResizeSettleMs);
    connect(pbTreemap, &TTreemapView::resized, this, [this] {
        // No outlines while the size moves: they would stretch with the old picture.
        pbTreemap->SetOutlinesHidden(true);
        FResizeSettle.start(ResizeSettleMs);
    });
    connect(&FResizeSettle, &QTimer::timeout, this, [this] {
        pbTreemap->SetOutlinesHidden(false);
        RedrawTreemap(false, false);
    });
    FOutlineTimer.setSingleShot(true);
    FOutlineTimer.setInterval(0);
    connect(&FOutlineTimer, &QTimer::timeout, this, &TTreemapPanel::UpdateOutlines);
    connect(&FTree, &TTreeView::nodeSelectionChanged, &FOutlineTimer, qOverload<>(&QTimer::start));

    // ---- the scans
    connect(&FScans, &TScanControl::scanStarted, this, [this] {
        FScanning = true;
        UpdateActions();
    });
    connect(&FScans, &TScanControl::viewsCleared, this, &TTreemapPanel::Clear);
    connect(&FScans, &TScanControl::scanFinished, this, [this](bool ok) {
        FScanning = false;
        FRebuildPending = true;
        UpdateActions();
        // The scan threads' tallies hold the file types of the records just read: the drawing
        // ranks them from those instead of counting every file again.
        if (ok) RedrawTreemap(true, true, FScans.Session().ExtTallies);
    });
    TTreeModel& model = FTree.Model();
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        // The nodes go: nothing may point at them, and the records may change.
        StopDrawing();
        FTreemapRoot = FShownZoom = FAwaitedZoom = nullptr;
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] {
        UpdateActions();
        UpdateZoomButtons();
        if (!FScanning && FActiveTreemap) {
            FRebuildPending = true;
            RedrawTreemap(true, true);
        }
    });
    connect(&model, &QAbstractItemModel::layoutChanged, this, [this] {
        // Sorting the tree by size, or no longer, changes the order the picture follows.
        TTreemapRequest rq;
        FollowTree(rq, FTree.Tree());
        if (FActiveTreemap && rq.OrderBySize != FOrderBySize) RedrawTreemap(false, true);
    });

    auto deliver = [this](TTreemapRenderer::TDone done) {
        auto d = std::make_shared<TDelivered>();
        if (done.Picture) {
            const TTreemapPicture& p = *done.Picture;
            d->Shown = TreemapQImage(p.Image).convertToFormat(QImage::Format_RGB32);
            // Deleted items, each outlined once: the topmost of a deleted folder.
            const auto& items = p.Layout.Items;
            for (uint32_t i = 0; i < items.size(); ++i)
                if (items[i].Rec->Deleted &&
                    !(items[i].Parent != kNoItem && items[items[i].Parent].Rec->Deleted))
                    d->Deleted.push_back(i);
        }
        d->Done = std::move(done);
        QMetaObject::invokeMethod(
            this, [this, d] { OnDelivered(d); }, Qt::QueuedConnection);
    };
    FRenderer = std::make_unique<TTreemapRenderer>(deliver);
    FExporter = std::make_unique<TTreemapRenderer>([this](TTreemapRenderer::TDone done) {
        const bool ok = done.Result.Outcome == TDrawOutcome::Drawn;
        const QString error = QString::fromUtf8(done.Result.Error);
        QMetaObject::invokeMethod(
            this, [this, ok, error] { OnExportDone(ok, error); }, Qt::QueuedConnection);
    });

    // ---- dialogs
    RunExportDialog = [](TfrmExportTreemap& d) { return d.exec() == QDialog::Accepted; };
    AskImageFile = [this] {
        QFileDialog dlg(window(), Tr("Save Treemap Image as .png file"));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(QStringLiteral("png"));
        dlg.setNameFilter(QStringLiteral(".png (*.png)"));
        dlg.setOption(QFileDialog::DontConfirmOverwrite); // asked below, as for every file
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()
                   ? dlg.selectedFiles().first()
                   : QString();
    };
    AskOverwrite = [this](const QString& file) {
        return QMessageBox::warning(
                   window(), QStringLiteral("Quarzel"),
                   Tr("Overwrite the existing file?") + QStringLiteral("\n") + file,
                   QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
    };
    ShowError = [this](const QString& message) {
        QMessageBox::critical(window(), QStringLiteral("Quarzel"), message);
    };
    RunColorsDialog = [](TfrmSetColors& d) { return d.exec() == QDialog::Accepted; };

    setVisible(actShowTreemap->isChecked());
    UpdateActions();
}

TTreemapPanel::~TTreemapPanel() {
    // The threads go first: they read the records and deliver to this panel.
    FExporter.reset();
    FRenderer.reset();
}

QSize TTreemapPanel::sizeHint() const {
    const int height = FSettings.TreemapPanelHeight > 0 ? FSettings.TreemapPanelHeight
                                                        : ScaleToDpi(250, LogicalDpi());
    return QSize(ScaleToDpi(400, LogicalDpi()), height);
}

const TTreemapPicture* TTreemapPanel::Picture() const {
    return pbTreemap->Picture();
}

QString TTreemapPanel::Caption() const {
    return lblCaption->text();
}

int TTreemapPanel::LogicalDpi() const {
    const QScreen* s = screen();
    return std::max(1, int(std::lround(s ? s->logicalDotsPerInch() : 96.0)));
}

int TTreemapPanel::Dpi() const {
    return std::max(1, int(std::lround(LogicalDpi() * devicePixelRatioF())));
}

// ---------------------------------------------------------------- drawing

TTreemapSettings TTreemapPanel::MakeSettings(int dpi) {
    TTreemapSettings st;
    const TScanSession& session = FScans.Session();
    for (size_t k = 0; k < session.ScanSlots.size(); ++k)
        if (session.ScanSlots[k]) {
            st.Scans.push_back(session.ScanSlots[k].get());
            st.DiskSizes.push_back(k < session.DiskSizes.size() ? session.DiskSizes[k]
                                                                : TDiskSizeInfo{});
        }
    st.ShowAllocatedSize = actShowAllocatedSize->isChecked();
    st.ShowFileNames = actShowTreemapFilenames->isChecked();
    st.ShowFreeSpace = actShowFreeSpace->isChecked();
    st.Dpi = dpi;
    st.Shading.GradientEnabled = FGradient;
    st.Format = FTree.Tree().Format;
    st.RootDisplayName = FTree.Model().RootDisplayName;
    // Progress of a huge drawing, shown by the status line (called on the drawing's thread).
    QPointer<TTreemapPanel> self(this);
    st.Progress.Begin = [self] {
        QMetaObject::invokeMethod(self, [self] {
            if (!self) return;
            self->FStatusBefore = self->FStatus.Line();
            self->FStatusProgressBefore = self->FStatus.Progress();
            self->FStatus.SetStatus(Tr("Drawing treemap") + QStringLiteral("..."));
            self->FStatus.SetProgress(0);
        });
    };
    st.Progress.Step = [self](int percent) {
        QMetaObject::invokeMethod(self, [self, percent] {
            if (self) self->FStatus.SetProgress(percent);
        });
    };
    st.Progress.End = [self] {
        QMetaObject::invokeMethod(self, [self] {
            if (!self) return;
            self->FStatus.SetLine(self->FStatusBefore);
            self->FStatus.SetProgress(self->FStatusProgressBefore);
        });
    };
    return st;
}

std::shared_ptr<const TExtColors> TTreemapPanel::ColorsSnapshot() {
    if (!FColorsSnapshot) FColorsSnapshot = std::make_shared<const TExtColors>(FColors);
    return FColorsSnapshot;
}

void TTreemapPanel::LeaveDeletedZoom() {
    auto deleted = [](const TTreeNode* n) {
        const PMFT_RECORD r = n->IsFileGroup ? n->FolderRec() : n->Data.Rec;
        return r && r->Deleted;
    };
    while (FTreemapRoot && deleted(FTreemapRoot)) FTreemapRoot = FTreemapRoot->Parent;
}

void TTreemapPanel::RedrawTreemap(bool rebuild, bool force,
                                  std::span<const TExtTally> scanTallies) {
    LeaveDeletedZoom();
    UpdateZoomButtons();
    if (FScanning || FTree.Tree().Roots().empty()) return;
    rebuild = rebuild || FRebuildPending;
    const bool shown = actShowTreemap->isChecked() && isVisibleTo(window());
    const QSize size = shown ? pbTreemap->PictureSize() : QSize();
    if (!rebuild && !force && size == FLastSize) return;
    TTreemapRenderer::TJob job;
    job.Settings = MakeSettings(Dpi());
    if (job.Settings.Scans.empty()) return;
    if (rebuild && scanTallies.size() == FScans.Session().ScanSlots.size()) {
        // One tally per scan drawn, in the drawing's order.
        const TScanSession& session = FScans.Session();
        for (size_t k = 0; k < session.ScanSlots.size(); ++k)
            if (session.ScanSlots[k]) job.Settings.ExtTallies.push_back(scanTallies[k]);
    }
    // The screen's pixels are made by as many threads as there are cores, up to four.
    job.Settings.PixelThreads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    // The layout is shared between two threads when there are two cores.
    job.Settings.WalkThreads = std::thread::hardware_concurrency() >= 2 ? 2 : 1;
    // Hidden: only the statistics (the file types need them).
    FLastSize = size;
    job.Request.Width = size.width();
    job.Request.Height = size.height();
    job.Request.Rebuild = rebuild;
    job.Request.WithFreeSpace = job.Settings.ShowFreeSpace && !FTreemapRoot;
    job.Request.Zoom = MapNodeOf(FTreemapRoot);
    FollowTree(job.Request, FTree.Tree());
    FOrderBySize = job.Request.OrderBySize;
    job.Colors = ColorsSnapshot();
    FAwaited = FRenderer->Request(std::move(job));
    FAwaitedZoom = FTreemapRoot;
    FAwaitedCaption = CaptionFor(FTreemapRoot);
}

void TTreemapPanel::OnDelivered(const std::shared_ptr<TDelivered>& d) {
    const TTreemapRenderer::TDone& done = d->Done;
    if (done.Id != FAwaited) return; // a newer request is on its way
    FAwaited = 0;
    if (done.Request.Rebuild && done.Colors) {
        // The statistics are the drawing's; the palette and lists stay the window's.
        FColors.ExtSizes = done.Colors->ExtSizes;
        FColors.ExtSizesTop12 = done.Colors->ExtSizesTop12;
        FColors.ResetColorCache();
        FColorsSnapshot.reset();
        FRebuildPending = false;
        emit extensionColorsChanged();
    }
    if (done.Result.Outcome == TDrawOutcome::Failed) {
        DebugLog("Treemap not drawn: " + done.Result.Error, 1);
        FStatus.SetStatus(QString::fromUtf8(done.Result.Error));
        return;
    }
    if (!done.Picture) return; // statistics only, or nothing to draw
    DebugLog("Treemap drawn in " + std::to_string(int(done.Seconds * 1000)) + " ms");
    pbTreemap->SetPicture(done.Picture, d->Shown);
    FShownZoom = FAwaitedZoom;
    FShownDisks = {};
    FShownFreeSpace = !done.Picture->Layout.FreeSpaceRect.empty();
    if (FShownFreeSpace) {
        const TScanSession& session = FScans.Session();
        for (size_t k = 0; k < session.ScanSlots.size(); ++k)
            if (session.ScanSlots[k])
                FShownDisks.push_back(k < session.DiskSizes.size() ? session.DiskSizes[k]
                                                                   : TDiskSizeInfo{});
    }
    FCaption = FAwaitedCaption;
    lblCaption->setText(FCaption);
    FActiveTreemap = true;
    // Every drawing forgets the hovered item.
    FHover = {};
    FDeletedItems = std::move(d->Deleted);
    UpdateOutlines();
    ++FPicturesShown;
    emit pictureShown();
}

void TTreemapPanel::StopDrawing() {
    FRenderer->Stop();
    FExporter->Stop();
    FAwaited = 0;
    if (FExportAwaited) OnExportDone(false, QString());
}

void TTreemapPanel::RecordsChanged() {
    FRebuildPending = true;
    RedrawTreemap(true, true);
    UpdateOutlines();
}

void TTreemapPanel::SetGradientEnabled(bool on) {
    if (FGradient == on) return;
    FGradient = on;
    RedrawTreemap(false, true);
}

void TTreemapPanel::Clear() {
    StopDrawing();
    pbTreemap->SetPicture(nullptr, QImage());
    pbTreemap->SetOutlines({});
    FTreemapRoot = FShownZoom = FAwaitedZoom = nullptr;
    FHover = {};
    FDeletedItems.clear();
    FActiveTreemap = false;
    FLastSize = QSize();
    lblCaption->clear();
    FCaption.clear();
    emit hoverTextChanged(QString());
    UpdateZoomButtons();
    UpdateActions();
}

QString TTreemapPanel::CaptionFor(TTreeNode* zoom) const {
    if (zoom) {
        if (zoom->IsFileGroup) return ToQString(FTree.Tree().CellText(zoom, tcFolder));
        return QStringLiteral("[") + ToQString(GetRecordPath(zoom->Data.Rec)) + QStringLiteral("]");
    }
    QString text;
    for (TNTFS_FILES* scan : FScans.Session().Scans())
        if (scan && scan->MFTRoot)
            text += QStringLiteral("[") + ToQString(GetRecordPath(scan->MFTRoot)) +
                    QStringLiteral("] ");
    return text.trimmed();
}

void TTreemapPanel::UpdateZoomButtons() {
    const bool zoomed = FTreemapRoot != nullptr;
    sbUnzoom->setVisible(zoomed);
    sbResetTreeExpansion->setVisible(zoomed);
    actUnzoom->setEnabled(zoomed);
}

void TTreemapPanel::UpdateActions() {
    const bool any = !FTree.Tree().Roots().empty();
    actZoom->setEnabled(actShowTreemap->isChecked() && any);
    actExportTreemap->setEnabled(any && !FScanning && !FExportAwaited);
}

void TTreemapPanel::SaveOptions() {
    FSettings.ShowTreemap = actShowTreemap->isChecked();
    FSettings.ShowAllocatedSize = actShowAllocatedSize->isChecked();
    FSettings.ShowFreeSpace = actShowFreeSpace->isChecked();
    FSettings.ShowTreemapFilenames = actShowTreemapFilenames->isChecked();
    // A settings file that cannot be written keeps the choices for this session only.
    FStore.Save(FSettings);
}

bool TTreemapPanel::eventFilter(QObject* watched, QEvent* event) {
    // Double-clicking the caption bar resets the tree expansion (and the zoom).
    if (watched == panTreemapLabel && event->type() == QEvent::MouseButtonDblClick) {
        FTree.actResetTreeExpansion->trigger();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- image and colours

void TTreemapPanel::actExportTreemapExecute() {
    if (FTree.Tree().Roots().empty() || FScanning || FExportAwaited) return;
    TfrmExportTreemap dlg(window());
    dlg.LoadChoices(FStore.Ini());
    dlg.cbShowFreeSpace->setChecked(actShowFreeSpace->isChecked());
    dlg.cbShowFreeSpace->setText(actShowFreeSpace->text());
    const bool saved = RunExportDialog && RunExportDialog(dlg);
    dlg.SaveChoices(FStore.Ini());
    FStore.SaveSettingsNow();
    if (!saved) return;
    QString file = AskImageFile ? AskImageFile() : QString();
    if (file.isEmpty()) return;
    if (QFileInfo::exists(file) && !(AskOverwrite && AskOverwrite(file))) return;
    TTreemapRenderer::TJob job;
    std::string error;
    if (!DialogImageRequest(dlg.Choices(), FTreemapRoot != nullptr, job.Request, error)) {
        if (ShowError) ShowError(QString::fromUtf8(error));
        return;
    }
    job.Settings = MakeSettings(LogicalDpi()); // an image is not shown on this screen
    job.Settings.Progress = {};
    job.Settings.Shading = DialogImageShading(job.Settings.Shading);
    job.Request.Zoom = MapNodeOf(FTreemapRoot);
    FollowTree(job.Request, FTree.Tree());
    job.Colors = ColorsSnapshot();
    job.FileName = ToU16(file);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FExportAwaited = FExporter->Request(std::move(job));
    UpdateActions();
}

void TTreemapPanel::OnExportDone(bool ok, const QString& error) {
    if (!FExportAwaited) return;
    FExportAwaited = 0;
    QApplication::restoreOverrideCursor();
    UpdateActions();
    if (!ok && !error.isEmpty() && ShowError) ShowError(error);
    emit exportFinished(ok);
}

void TTreemapPanel::actSetColorsExecute() {
    TfrmSetColors dlg(window());
    TColorChoices c;
    c.Palette = FColors.tm_palette;
    c.FileExtensions = FColors.tm_fileextensions;
    c.ColorBySize = FColors.bColorBySize;
    c.UITheme = FSettings.UITheme;
    dlg.SetChoices(c);
    dlg.PreviewTheme = ApplyTheme;
    if (!(RunColorsDialog && RunColorsDialog(dlg))) {
        if (ApplyTheme) ApplyTheme(FSettings.UITheme); // the preview is undone
        return;
    }
    c = dlg.Choices();
    FColors.tm_palette = c.Palette;
    FColors.tm_fileextensions = c.FileExtensions;
    FColors.bColorBySize = c.ColorBySize;
    FColors.BuildExtColorsFixed();
    FColors.ResetColorCache();
    FColorsSnapshot.reset();
    FSettings.Palette = c.Palette;
    FSettings.FileExtensions = c.FileExtensions;
    FSettings.ColorBySize = c.ColorBySize;
    FSettings.UITheme = c.UITheme;
    // The dialog's own keys (the window's settings write the rest).
    TIniFile& ini = FStore.Ini();
    ini.WriteInteger(kMainSection, "uitheme", c.UITheme);
    ini.WriteBool(kMainSection, "treemapcolorbysize", c.ColorBySize);
    for (int i = 0; i < kPaletteSlots; ++i) {
        ini.WriteInteger(kMainSection, "color" + std::to_string(i),
                         ToSettingsColor(c.Palette[size_t(i)]));
        ini.WriteString(kMainSection, "tmfileextensions" + std::to_string(i + 1),
                        Utf16ToUtf8(c.FileExtensions[size_t(i)]));
    }
    FStore.Save(FSettings);
    RedrawTreemap(false, true);
    emit extensionColorsChanged();
}

} // namespace qz
