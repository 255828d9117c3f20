// Draws the cells of the file list: the list's own selection, the sorted column's tint, the
// type icon and the name with the search matches in bold colour, the "Percent of Drive" bar,
// sizes (a hard-link name's allocated size bracketed in gray), dates, attributes, the path
// with its matches, the duplicate columns, and the looks of hidden, compressed and deleted
// items. Nothing is stored per row.
#pragma once

#include "gui/cellpaint.h"
#include "gui/filelistmodel.h"

#include <QIcon>
#include <QStyledItemDelegate>

namespace qz {

class TFileTypeCache;

class TFileListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TFileListDelegate(TFileListModel& model, TFileTypeCache& types, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // Over a percentage bar's fill (fill.Rect not empty) the text takes a colour that reads on it.
    void PaintText(QPainter* p, const QStyleOptionViewItem& o, const TTreeNode* n, int column,
                   const QRect& text, const TBarFill& fill) const;

    TFileListModel& FModel;
    TFileTypeCache& FTypes;
    QIcon FFolderIcon;
};

} // namespace qz
