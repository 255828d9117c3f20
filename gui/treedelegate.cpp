#include "gui/treedelegate.h"

#include "gui/cellpaint.h"
#include "gui/qtext.h"
#include "gui/treemodel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <algorithm>
#include <cmath>

namespace qz {

namespace {

constexpr int kTextMargin = 4;

} // namespace

TTreeDelegate::TTreeDelegate(TTreeModel& model, QObject* parent)
    : QStyledItemDelegate(parent), FModel(model), FTree(model.Tree()) {
    QStyle* style = QApplication::style();
    FDriveIcon = style->standardIcon(QStyle::SP_DriveHDIcon);
    FFolderIcon = style->standardIcon(QStyle::SP_DirIcon);
    FFileIcon = style->standardIcon(QStyle::SP_FileIcon);
    FUnreadableIcon = style->standardIcon(QStyle::SP_MessageBoxWarning);
}

int TTreeDelegate::RowHeightFor(const QFont& font) {
    return QFontMetrics(font).boundingRect(QStringLiteral("Wj")).height() + 7;
}

QColor TTreeDelegate::BarColor(int depth) {
    static const QRgb kShades[6] = {0x9DA4FF, 0x8B99FF, 0x798EFF, 0x6784FF, 0x557AFF, 0x4370FF};
    return QColor(kShades[((depth % 6) + 6) % 6]);
}

QSize TTreeDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const int h = RowHeightFor(option.font);
    const QString text = index.data(Qt::DisplayRole).toString();
    const int icon = index.column() == tcFolder ? h + 2 : 0;
    return {icon + option.fontMetrics.horizontalAdvance(text) + 2 * kTextMargin, h};
}

void TTreeDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    const TTreeNode* n = TTreeModel::NodeOf(index);
    if (!n || !n->Data.Rec) return;
    const int column = index.column();
    const QRect cell = option.rect;
    const QPalette& pal = option.palette;
    const bool selected = n->Selected();
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    p->save();
    if (selected)
        p->fillRect(cell, pal.color(group, QPalette::Highlight));
    else if (column == FTree.SortColumn())
        p->fillRect(cell, SortTint(pal.color(QPalette::Base)));

    QRect text = cell.adjusted(0, 0, -1, -1);
    const bool right = TTreeModel::RightAligned(column);
    if (right)
        text.setRight(text.right() - kTextMargin);
    else
        text.setLeft(text.left() + kTextMargin);

    const QRect fill = column == tcPercent ? PaintBar(p, option, n) : QRect();
    if (column == tcFolder) {
        PaintName(p, option, n, text);
    } else {
        QColor color = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
        if (TDisplayTree::CellDisabled(n, column) && !selected)
            color = pal.color(QPalette::Disabled, QPalette::Text);
        if (TDisplayTree::DeletedLook(n)) color = QColor(0xFF, 0, 0);
        QFont font = option.font;
        font.setStrikeOut(TDisplayTree::DeletedLook(n));
        p->setFont(font);
        p->setPen(color);
        const QString s = ToQString(FTree.CellText(n, column));
        const int width = QFontMetrics(font).horizontalAdvance(s);
        p->setClipRect(cell);
        const int flags = int((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
        // Over the bar's fill the text takes a colour that reads on it.
        DrawTextOverFill(p, text, flags, s, color, fill, BarColor(n->Depth()));
        if (right && width > text.width()) {
            // The value does not fit: a red line along the left edge says so.
            p->fillRect(QRect(text.left(), cell.top(), 2, cell.height()), QColor(0xFF, 0, 0));
        }
    }
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

void TTreeDelegate::PaintName(QPainter* p, const QStyleOptionViewItem& o, const TTreeNode* n,
                              const QRect& textRect) const {
    const bool selected = n->Selected();
    const QPalette& pal = o.palette;
    const QPalette::ColorGroup group =
        o.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    QRect text = textRect;
    if (!n->IsFileGroup) {
        // The icon takes a square of the row's height; the text follows it.
        const int h = o.rect.height();
        const QIcon& icon = !n->Parent                ? FDriveIcon
                            : n->Data.Rec->IsFolder() ? FFolderIcon
                                                      : FFileIcon;
        const int side = std::max(8, h - 4);
        const QRect iconRect(o.rect.left() + 1, o.rect.top() + (h - side) / 2, side, side);
        icon.paint(p, iconRect);
        if (n->Data.Rec->Unreadable) {
            // A folder that could not be read (or an entry not examined): a warning sign over
            // the lower right of its icon; the row's tool tip says what it means.
            const int badge = std::max(6, side * 2 / 3);
            FUnreadableIcon.paint(p, QRect(iconRect.right() - badge + 2,
                                           iconRect.bottom() - badge + 2, badge, badge));
        }
        text.setLeft(o.rect.left() + h + 2);
    }
    QColor color = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    if (!selected) switch (TDisplayTree::NodeLook(n)) {
        case TDisplayTree::TNodeLook::Hidden:
            color = pal.color(QPalette::Disabled, QPalette::Text);
            break;
        case TDisplayTree::TNodeLook::Compressed:
            color = pal.color(QPalette::Active, QPalette::Highlight);
            break;
        case TDisplayTree::TNodeLook::Normal:
            break;
        }
    if (TDisplayTree::DeletedLook(n)) color = QColor(0xFF, 0, 0);
    QFont font = o.font;
    font.setStrikeOut(TDisplayTree::DeletedLook(n));
    p->setFont(font);
    p->setPen(color);
    p->setClipRect(o.rect);
    p->drawText(text, int(Qt::AlignLeft | Qt::AlignVCenter),
                ToQString(FModel.CellText(n, tcFolder)));
}

QRect TTreeDelegate::PaintBar(QPainter* p, const QStyleOptionViewItem& o,
                              const TTreeNode* n) const {
    const QRect cell = o.rect;
    const int level = n->Depth(); // counted from the parents: once per bar
    const int indent = (cell.width() / 12) * std::min(n->IsFileGroup ? level + 1 : level, 7);
    const double percent = std::clamp(FTree.PercentOfParent(n), 0.0, 100.0);
    const int area = std::max(0, cell.width() - indent);
    const int fill = int(std::trunc(double(area) * percent / 100.0));
    const QRect bar(cell.left() + indent, cell.top(), area, cell.height() - 1);
    const QRect filled(bar.left(), bar.top(), fill, bar.height());
    if (fill > 0) p->fillRect(filled, BarColor(level));
    if (area > 1) {
        p->setPen(QColor(0xE0, 0xE0, 0xE0));
        p->setBrush(Qt::NoBrush);
        p->drawRect(bar.adjusted(0, 0, -1, -1));
    }
    return fill > 0 ? filled : QRect();
}

} // namespace qz
