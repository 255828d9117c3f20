// Draws the cells of the folder tree: the selection the display tree holds (not the view's),
// the sorted column's tint, icon and name, the "% of Parent" bar in its depth's colour, sizes,
// counts and dates, and the looks of hidden, compressed, deleted and hard-link rows. Nothing
// is stored per row.
#pragma once

#include "gui/treemodel.h"

#include <QIcon>
#include <QStyledItemDelegate>

namespace qz {

class TTreeDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TTreeDelegate(TTreeModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The row height of a font: the height of "Wj" plus 7 pixels.
    static int RowHeightFor(const QFont& font);
    // Colour of the "% of Parent" bar of a node at depth (the six shades repeat).
    static QColor BarColor(int depth);

private:
    void PaintName(QPainter* p, const QStyleOptionViewItem& o, const TTreeNode* n,
                   const QRect& text) const;
    // The share bar; returns the filled part (empty when nothing is filled).
    QRect PaintBar(QPainter* p, const QStyleOptionViewItem& o, const TTreeNode* n) const;

    TTreeModel& FModel;
    TDisplayTree& FTree;
    QIcon FDriveIcon, FFolderIcon, FFileIcon;
    QIcon FUnreadableIcon; // drawn over the icon of what could not be read completely
};

} // namespace qz
