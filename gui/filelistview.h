// The file list's grid (vstFiles): draws the list through TFileListModel and TFileListDelegate
// and turns clicks and keys into changes of the list's own selection, as the folder tree does:
// the selection lives in the list's nodes, never in Qt's selection model, and the delegate
// draws it. A printable key typed while the grid has the focus goes to the search box.
#pragma once

#include "gui/filelistmodel.h"

#include <QTreeView>

namespace qz {

class TFileTypeCache;

class TFileListView : public QTreeView {
    Q_OBJECT
public:
    TFileListView(TFileListModel& model, TFileTypeCache& types, QWidget* parent = nullptr);

    TFileListModel& Model() { return FModel; }
    TFileList& List() { return FModel.List(); }
    // Shows or hides the duplicate columns (and the expand buttons of the rows).
    void ShowDuplicateColumns(bool on);
    // Font height in pixels at 96 dpi (the tree's setting); rows follow it.
    void SetFontHeight(int height);

signals:
    // The selection or the focused row changed.
    void rowSelectionChanged();
    // The row under the mouse: its full path, empty when the mouse left the rows.
    void hotRowChanged(const QString& path);
    // A printable text typed while the grid has the focus (for the search box).
    void typed(const QString& text);
    // A header click (the panel decides between re-sorting and reloading).
    void headerClicked(int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void SetupHeader();
    void SelectRange(TTreeNode* to, bool keep);
    bool OnBranchIndicator(const QModelIndex& index, const QPoint& pos) const;

    TFileListModel& FModel;
    TTreeNode* FAnchor = nullptr;
    TTreeNode* FHot = nullptr;
};

} // namespace qz
