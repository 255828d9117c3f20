// The treemap panel (panTreemap) below the folder tree: the caption bar with the zoom buttons,
// the picture, and everything the user does with them.
//
// Pictures are drawn by a TTreemapRenderer on a thread of its own from a copy of every choice
// (the panel never waits for a drawing); a newer size or zoom cancels the drawing in progress,
// and the previous picture is shown stretched meanwhile. Resizes (of the window or of the
// splitter) are collected for a moment, so a drag draws once after its last size. Each picture
// comes with its own layout, which answers the pointer: hovering names the item (status text,
// a hint after 100 ms, a gray outline), a click selects it in the folder tree, a double-click
// zooms into its folder and out again, the right button opens the item's context menu (filled
// by FillContextMenu) or, off the items, the options menu.
//
// State owned here: the zoom node (TreemapRoot), the hovered item, the picture shown. The
// selection, expansion and focus stay the display tree's; the outlines of the selected and of
// deleted items follow them.
//
// Whoever changes the scans' records while they are shown (marking deletions, recomputing
// totals, filtering) calls StopDrawing first and RecordsChanged after.
#pragma once

#include "gui/statuspanel.h"
#include "treemap/maplayout.h"
#include "treemap/treemap.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <span>

class QAction;
class QLabel;
class QMenu;
class QToolButton;

namespace qz {

class TfrmExportTreemap;
class TfrmSetColors;
class TScanControl;
class TScanStatus;
class TSettingsStore;
class TTreemapRenderer;
class TTreemapView;
class TTreeView;
struct TMainSettings;

class TTreemapPanel : public QWidget {
    Q_OBJECT
public:
    // settings and store: the window's settings, which the panel's choices are kept in.
    TTreemapPanel(TTreeView& tree, TScanControl& scans, TScanStatus& status, TExtColors& colors,
                  TMainSettings& settings, TSettingsStore& store, QWidget* parent = nullptr);
    ~TTreemapPanel() override;
    // The kept panel height (setting "panTreemap_Height"), else 250 pixels at 96 dpi.
    QSize sizeHint() const override;

    // ---- controls
    QWidget* panTreemapLabel; // the caption bar
    QToolButton* sbUnzoom;
    QToolButton* sbResetTreeExpansion;
    QLabel* lblCaption;
    TTreemapView* pbTreemap;
    QMenu* puTreeOptions; // the menu off the items

    // ---- actions (the window puts them in its menus)
    QAction* actShowTreemap;
    QAction* actShowAllocatedSize;
    QAction* actShowFreeSpace;
    QAction* actShowTreemapFilenames;
    QAction* actZoom;
    QAction* actUnzoom;
    QAction* actExportTreemap;
    QAction* actSetColors;

    // How long, in milliseconds, the size must stay the same before a resize draws (a drag
    // draws once, at its end).
    int ResizeSettleMs = 40;

    // ---- hooks
    // Fills the context menu of the tree's selection; node is the item under the pointer (it is
    // selected by then). The zoom commands are added after what it adds.
    std::function<void(QMenu& menu, TTreeNode* node)> FillContextMenu;
    // Dialogs and messages (tests replace them): run the image dialog (true: Save), ask for the
    // image file (empty: cancelled), ask whether to overwrite it, show an error; run the
    // Colors dialog (true: OK).
    std::function<bool(TfrmExportTreemap&)> RunExportDialog;
    std::function<QString()> AskImageFile;
    std::function<bool(const QString& file)> AskOverwrite;
    std::function<void(const QString& message)> ShowError;
    std::function<bool(TfrmSetColors&)> RunColorsDialog;
    // Applies a theme (0 Auto, 1 Light, 2 Dark); nil until themes exist.
    std::function<void(int theme)> ApplyTheme;

    // ---- what the window and other parts call
    // RedrawTreemap: draws for the panel's size; without force only when the size changed.
    // rebuild first rebuilds the extension statistics.
    // scanTallies: the tallies of a scan that just ended (one per slot), ranked for the
    // statistics instead of counting every file again.
    void RedrawTreemap(bool rebuild, bool force, std::span<const TExtTally> scanTallies = {});
    // Stops the drawings (waits for the thread to leave the records; a few milliseconds).
    void StopDrawing();
    // The records changed (deletions marked, totals recomputed): the picture is drawn again, a
    // deleted zoom folder is left.
    void RecordsChanged();
    // "Enable gradient colors in treemap" changed.
    void SetGradientEnabled(bool on);

    // ---- state (for the window and tests)
    TTreeNode* TreemapRoot() const { return FTreemapRoot; }
    const TTreemapPicture* Picture() const;
    TMapHit Hovered() const { return FHover; }
    QString HintText() const { return FHintText; }
    QString Caption() const;
    // Pictures shown since the panel was made.
    int PicturesShown() const { return FPicturesShown; }
    // A drawing was asked for and has not been shown yet.
    bool Drawing() const { return FAwaited != 0; }
    bool Exporting() const { return FExportAwaited != 0; }
    // The display node of an item of the picture shown (nil when the tree no longer shows it).
    TTreeNode* NodeOfItem(uint32_t item) const;
    // The picture point in the middle of a display node's rectangle; false when the picture
    // shows no rectangle for it.
    bool CentreOf(const TTreeNode* node, QPoint& picturePoint) const;

    // Zoom Treemap, Unzoom Treemap (also the menu and the keypad keys).
    void actZoomExecute();
    void actUnzoomExecute();
    void actExportTreemapExecute();
    void actSetColorsExecute();

signals:
    // The hover text for the status bar (empty: nothing under the pointer).
    void hoverTextChanged(const QString& text);
    // A new picture is on screen.
    void pictureShown();
    // The extension statistics were rebuilt, or the colours changed (the file types repaint).
    void extensionColorsChanged();
    // An image export ended (ok: the file was written).
    void exportFinished(bool ok);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TDelivered;
    // ---- drawing (treemappanel.cpp)
    TTreemapSettings MakeSettings(int dpi);
    std::shared_ptr<const TExtColors> ColorsSnapshot();
    void OnDelivered(const std::shared_ptr<TDelivered>& d);
    void OnExportDone(bool ok, const QString& error);
    void Clear();
    void UpdateZoomButtons();
    void UpdateActions();
    void SaveOptions();
    // Pixels per inch of the screen showing the panel; the screen pictures', which are drawn
    // in device pixels, also count the device pixel ratio.
    int LogicalDpi() const;
    int Dpi() const;
    QString CaptionFor(TTreeNode* zoom) const;
    void LeaveDeletedZoom();
    // ---- pointer, selection and zoom (treemapmouse.cpp)
    TMapHit HitAt(QPoint p) const;
    void OnPointerMoved(QPoint p);
    void OnPointerLeft();
    void OnPressed(QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void OnDoubleClicked(QPoint p, Qt::MouseButton button);
    void OnContextMenu(QPoint p, QPoint global);
    void ResetZoom();
    void UpdateOutlines();
    void ShowHint();
    // The tree's node made visible as the current row, the view repainted and told.
    void ShowInTree(TTreeNode* n);

    TTreeView& FTree;
    TScanControl& FScans;
    TScanStatus& FStatus;
    TExtColors& FColors;
    TMainSettings& FSettings;
    TSettingsStore& FStore;

    TTreeNode* FTreemapRoot = nullptr;
    // The picture shown: its zoom node and the space figures it was drawn with.
    TTreeNode* FShownZoom = nullptr;
    std::vector<TDiskSizeInfo> FShownDisks;
    bool FShownFreeSpace = false;
    QString FCaption;
    bool FActiveTreemap = false; // a picture was drawn since the views were last cleared

    std::vector<uint32_t> FDeletedItems; // of the picture shown, outlined in red
    bool FOrderBySize = false;           // the order of the last request
    TMapHit FHover;
    QString FLastPBHint, FHintText;
    QTimer timMapHint;
    QTimer FResizeSettle; // collects the resizes of a drag
    QTimer FOutlineTimer; // coalesces outline updates

    bool FScanning = false;
    bool FRebuildPending = true; // statistics not rebuilt since the last scan
    QSize FLastSize;             // LastTreemapWidth / LastTreemapHeight
    uint64_t FAwaited = 0;       // the request whose picture is awaited
    TTreeNode* FAwaitedZoom = nullptr;
    QString FAwaitedCaption;
    uint64_t FExportAwaited = 0;
    int FPicturesShown = 0;
    bool FGradient = true;
    std::shared_ptr<const TExtColors> FColorsSnapshot;
    int FStatusProgressBefore = 0;
    TScanStatus::TLine FStatusBefore;

    // Last: stopped and joined first, before anything they deliver to is gone.
    std::unique_ptr<TTreemapRenderer> FRenderer;
    std::unique_ptr<TTreemapRenderer> FExporter;
};

} // namespace qz
