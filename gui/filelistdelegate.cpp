#include "gui/filelistdelegate.h"

#include "gui/cellpaint.h"
#include "gui/filetypecache.h"
#include "gui/qtext.h"
#include "gui/treedelegate.h"
#include "views/extstats.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace qz {

namespace {

constexpr int kTextMargin = 4;

bool IsDark(const QPalette& pal) {
    return pal.color(QPalette::Base).lightness() < 128;
}

bool IsDirLike(PMFT_RECORD r) {
    return r->IsFolder() || !r->Children().empty();
}

} // namespace

TFileListDelegate::TFileListDelegate(TFileListModel& model, TFileTypeCache& types, QObject* parent)
    : QStyledItemDelegate(parent), FModel(model), FTypes(types) {
    FFolderIcon = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
}

QSize TFileListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                  const QModelIndex& index) const {
    const int h = TTreeDelegate::RowHeightFor(option.font);
    const int icon = index.column() == fcName ? h + 2 : 0;
    return {icon + option.fontMetrics.horizontalAdvance(index.data().toString()) + 2 * kTextMargin,
            h};
}

void TFileListDelegate::paint(QPainter* p, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    const TTreeNode* n = TFileListModel::NodeOf(index);
    if (!n || !n->Data.Rec) return;
    const int column = index.column();
    const QRect cell = option.rect;
    const QPalette& pal = option.palette;
    const bool selected = n->Selected();
    const QPalette::ColorGroup group =
        option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    p->save();
    p->setClipRect(cell);
    if (selected)
        p->fillRect(cell, pal.color(group, QPalette::Highlight));
    else if (column == FModel.List().SortColumn())
        p->fillRect(cell, SortTint(pal.color(QPalette::Base)));
    TBarFill fill;
    if (column == fcPercent)
        fill = PaintPercentBar(p, cell, FModel.List().PercentOfDrive(n), IsDark(pal));

    QRect text = cell.adjusted(0, 0, -1, -1);
    if (TFileListModel::RightAligned(column))
        text.setRight(text.right() - kTextMargin);
    else
        text.setLeft(text.left() + kTextMargin);
    if (column == fcName) {
        // The icon takes a square of the row's height; the name follows it.
        PMFT_RECORD r = n->Data.Rec;
        const int h = cell.height();
        const QIcon* icon = &FFolderIcon;
        if (!IsDirLike(r)) {
            const std::u16string key = ExtensionKey(r->Name());
            icon = key.empty() ? nullptr : FTypes.Icon(key);
            if (!key.empty() && !icon) FTypes.Request(key);
            if (!icon) icon = &FTypes.FileIcon();
        }
        const int side = std::max(8, h - 4);
        icon->paint(p, QRect(cell.left() + 1, cell.top() + (h - side) / 2, side, side));
        text.setLeft(cell.left() + h + 2);
    }
    PaintText(p, option, n, column, text, fill);

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

void TFileListDelegate::PaintText(QPainter* p, const QStyleOptionViewItem& o, const TTreeNode* n,
                                  int column, const QRect& text, const TBarFill& fill) const {
    const QPalette& pal = o.palette;
    const bool selected = n->Selected();
    const QPalette::ColorGroup group =
        o.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
    QColor color = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    if (!selected && TFileList::CellDisabled(n, column))
        color = pal.color(QPalette::Disabled, QPalette::Text);
    if (!selected && (column == fcName || column == fcPath)) {
        switch (TDisplayTree::NodeLook(n)) {
        case TDisplayTree::TNodeLook::Hidden:
            color = pal.color(QPalette::Disabled, QPalette::Text);
            break;
        case TDisplayTree::TNodeLook::Compressed:
            color = pal.color(QPalette::Active, QPalette::Highlight);
            break;
        case TDisplayTree::TNodeLook::Normal:
            break;
        }
    }
    const bool deleted = TDisplayTree::DeletedLook(n);
    if (deleted) color = QColor(0xFF, 0, 0);
    QFont font = o.font;
    font.setStrikeOut(deleted);
    p->setFont(font);
    p->setPen(color);
    const TFileList& list = FModel.List();
    const QString s = ToQString(list.CellText(n, column));
    if (column == fcName || column == fcPath) {
        std::vector<THighlightRun> runs;
        for (const TMatchRange& m : list.HighlightCell(n, column))
            runs.push_back({int(m.Start), int(m.Length)});
        DrawHighlightedText(p, text, s, runs, selected ? color : MatchColour(IsDark(pal)));
        return;
    }
    const bool right = TFileListModel::RightAligned(column);
    const int flags =
        int((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter | Qt::TextSingleLine);
    // Over the bar's fill the text takes a colour that reads on it.
    DrawTextOverFill(p, text, flags, s, color, fill.Rect, fill.Colour);
    if (right && QFontMetrics(font).horizontalAdvance(s) > text.width())
        PaintOverflowMark(p, o.rect);
}

} // namespace qz
