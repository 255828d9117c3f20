#include "gui/filetypesdelegate.h"

#include "gui/cellpaint.h"
#include "gui/filetypecache.h"
#include "gui/qtext.h"
#include "gui/treedelegate.h"
#include "treemap/bitmap.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStyle>

namespace qz {

namespace {
constexpr int kTextMargin = 4;
constexpr int kSwatchCut = 6; // the swatch's cushion starts this far left of the cell
} // namespace

TFileTypesDelegate::TFileTypesDelegate(TFileTypesModel& model, QObject* parent)
    : QStyledItemDelegate(parent), FModel(model) {}

void TFileTypesDelegate::SetShading(const TTreemapShading& shading) {
    FShading = shading;
    FSwatches.clear();
}

QPixmap TFileTypesDelegate::Swatch(TColor color, int width, int height) const {
    if (width <= 0 || height <= 0) return {};
    const quint64 key =
        (quint64(color) << 32) | (quint64(uint16_t(width)) << 16) | uint16_t(height);
    if (auto it = FSwatches.constFind(key); it != FSwatches.constEnd()) return *it;
    TTreemapBitmap bitmap;
    std::string error;
    if (!bitmap.Create(width + kSwatchCut, height, error)) return {};
    const TctRectangle bounds(0, float(width + kSwatchCut), 0, float(height));
    TCushionSurface surface;
    AddRidge(surface, bounds, FShading.tm_H * FShading.tm_F);
    RenderCushion(bitmap, bounds, color, surface, FShading);
    // The bitmap's rows are B, G, R bytes: Qt's BGR888 reads them as they are.
    const QImage rows(bitmap.Bits(), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                      QImage::Format_BGR888);
    QPixmap swatch = QPixmap::fromImage(rows.copy(kSwatchCut, 0, width, height));
    if (FSwatches.size() > 512) FSwatches.clear();
    FSwatches.insert(key, swatch);
    return swatch;
}

QSize TFileTypesDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
    const int h = TTreeDelegate::RowHeightFor(option.font);
    const int icon = index.column() == ecExtension ? h + 2 : 0;
    return {icon + option.fontMetrics.horizontalAdvance(index.data().toString()) + 2 * kTextMargin,
            h};
}

void TFileTypesDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const TExtNodeData* row = FModel.RowOf(index);
    if (!row) return;
    const int column = index.column();
    const QRect cell = option.rect;
    const QPalette& pal = option.palette;
    const bool selected = option.state & QStyle::State_Selected;
    const bool dark = pal.color(QPalette::Base).lightness() < 128;
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    p->save();
    p->setClipRect(cell);
    if (column == ecSwatch) {
        p->drawPixmap(cell.topLeft(), Swatch(FModel.Colors().GetKeyColor(row->ExtKey), cell.width(),
                                             cell.height()));
        p->restore();
        return;
    }
    if (selected)
        p->fillRect(cell, pal.color(group, QPalette::Highlight));
    else if (column == FModel.Rows().SortColumn())
        p->fillRect(cell, SortTint(pal.color(QPalette::Base)));
    TBarFill fill;
    if (column == ecPercent) fill = PaintPercentBar(p, cell, FModel.Rows().PercentOf(*row), dark);

    QRect text = cell.adjusted(0, 0, -1, -1);
    const bool right = TFileTypesModel::RightAligned(column);
    if (right)
        text.setRight(text.right() - kTextMargin);
    else
        text.setLeft(text.left() + kTextMargin);
    if (column == ecExtension) {
        const int h = cell.height();
        TFileTypeCache& cache = FModel.Cache();
        const QIcon* icon = row->ExtKey.empty() ? nullptr : cache.Icon(row->ExtKey);
        if (!icon && !row->ExtKey.empty()) cache.Request(row->ExtKey);
        if (!icon) icon = &cache.FileIcon();
        const int side = std::max(8, h - 4);
        icon->paint(p, QRect(cell.left() + 1, cell.top() + (h - side) / 2, side, side));
        text.setLeft(cell.left() + h + 2);
    }
    QColor color = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    p->setPen(color);
    const QString s = index.data().toString();
    const int flags =
        int((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine);
    // Over the bar's fill the text takes a colour that reads on it.
    DrawTextOverFill(p, text, flags, s, color, fill.Rect, fill.Colour);
    if (right && QFontMetrics(option.font).horizontalAdvance(s) > text.width())
        PaintOverflowMark(p, cell);
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = cell;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = pal.color(group, selected ? QPalette::Highlight : QPalette::Base);
        QApplication::style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, p, option.widget);
    }
    p->restore();
}

} // namespace qz
