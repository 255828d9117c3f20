// The folder tree view (vst): draws the display tree through TTreeModel and TTreeDelegate and
// turns clicks and keys into changes of the display tree's own state.
//
// The display tree owns selection, expansion and focus. Selection never goes into Qt's
// selection model (a million selected rows would cost a million ranges there): clicks and keys
// change the nodes' flags and the delegate draws them. Expansion made by the user is written
// into the tree as the view reports it; expansion made by the program (restore, Expand All,
// reset) is made in the tree first and then shown by the view. The view's current row is the
// tree's focused node.
#pragma once

#include "gui/treemodel.h"

#include <QTreeView>

class QAction;

namespace qz {

class TTreeView : public QTreeView {
    Q_OBJECT
public:
    TTreeView(TTreeModel& model, QWidget* parent = nullptr);

    TTreeModel& Model() { return FModel; }
    TDisplayTree& Tree() { return FModel.Tree(); }

    // "Select Parent" (keypad /), "Reselect Child" (keypad *), "Expand All", "Reset tree
    // expansion" (F4): the window puts them in its menu.
    QAction* actSelectParent;
    QAction* actReselectChild;
    QAction* actExpandAll;
    QAction* actResetTreeExpansion;

    // After the tree was rebuilt: the view expands what the tree has expanded and shows its
    // focused node as the current row.
    void ShowTreeState();
    // Clears the selection and selects, focuses and shows n.
    void SelectNode(TTreeNode* n);
    // A selection change made elsewhere (the treemap): n, when given, becomes the current row
    // and is scrolled into view; the rows repaint and the change is reported.
    void SelectionChangedElsewhere(TTreeNode* n);
    // Adds n to the selection or takes it out (assistive technology selecting rows).
    void SetNodeSelected(TTreeNode* n, bool selected);
    // Font height in pixels at 96 dpi (setting "fontheight4", 11..50); rows follow it.
    void SetTreeFontHeight(int height);
    int TreeFontHeight() const { return FFontHeight; }
    // Enables the tree commands that need a tree.
    void UpdateActions();

    void SelectParent();
    void ReselectChild();
    void ExpandAll();
    void ResetTreeExpansion();

signals:
    // The selection or the focused node changed (the status text follows it).
    void nodeSelectionChanged();
    // The row under the mouse: its full path, empty when the mouse left the rows.
    void hotNodeChanged(const QString& path);
    // Ctrl + mouse wheel changed the font height.
    void treeFontHeightChanged(int height);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void SetupHeader();
    void ShowHeaderMenu(const QPoint& pos);
    // A user's selection change: forgets the remembered child unless it is the node selected.
    void SelectionChangedBy(TTreeNode* node);
    bool OnBranchIndicator(const QModelIndex& index, const QPoint& pos) const;
    void SelectRange(TTreeNode* to, bool keep);

    TTreeModel& FModel;
    TTreeNode* FAnchor = nullptr; // where a Shift range starts
    TTreeNode* FHot = nullptr;
    bool FParentChildStep = false;
    int FFontHeight = 12;
};

} // namespace qz
