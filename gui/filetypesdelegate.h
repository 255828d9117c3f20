// Draws the cells of the file-types view: the treemap colour of each extension as a small
// cushion (shaded as the treemap shades its tiles), the type icon before the extension, the
// percentage bar, and the sorted column's tint. Swatches are kept per colour and size.
#pragma once

#include "gui/filetypesmodel.h"
#include "treemap/shading.h"

#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

namespace qz {

class TFileTypesDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    TFileTypesDelegate(TFileTypesModel& model, QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // The shading of the swatches (the treemap's light and ridge heights, its gradient
    // choice); forgets the swatches made so far.
    void SetShading(const TTreemapShading& shading);
    // A swatch: a cushion of colour as wide as width + 6 and height high, its first six
    // columns cut off (the ridge starts left of the cell).
    QPixmap Swatch(TColor color, int width, int height) const;

private:
    TFileTypesModel& FModel;
    TTreemapShading FShading;
    mutable QHash<quint64, QPixmap> FSwatches;
};

} // namespace qz
