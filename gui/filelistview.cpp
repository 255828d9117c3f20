#include "gui/filelistview.h"

#include "engine/tree.h"
#include "gui/columnmenu.h"
#include "gui/filelistdelegate.h"
#include "gui/qtext.h"
#include "gui/treedelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>

namespace qz {

TFileListView::TFileListView(TFileListModel& model, TFileTypeCache& types, QWidget* parent)
    : QTreeView(parent), FModel(model) {
    setObjectName(QStringLiteral("vstFiles"));
    setAccessibleName(Tr("File list"));
    setModel(&model);
    setItemDelegate(new TFileListDelegate(model, types, this));
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setMouseTracking(true);
    setRootIsDecorated(false);
    setItemsExpandable(true);
    setFocusPolicy(Qt::StrongFocus);
    SetupHeader();
    ShowDuplicateColumns(false);

    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& i) { List().SetExpanded(TFileListModel::NodeOf(i), true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& i) { List().SetExpanded(TFileListModel::NodeOf(i), false); });
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        FAnchor = nullptr;
        FHot = nullptr;
    });
    connect(&model, &TFileListModel::sortChanged, this, [this](int column, Qt::SortOrder order) {
        header()->setSortIndicator(column, order);
        viewport()->update();
    });
}

void TFileListView::SetupHeader() {
    QHeaderView* h = header();
    h->setAccessibleName(Tr("File list columns"));
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(true);
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int c = 0; c < fcCount; ++c) h->resizeSection(c, TFileListModel::InitialWidth(c));
    std::vector<int> byPosition(fcCount);
    for (int c = 0; c < fcCount; ++c) byPosition[size_t(TFileListModel::InitialPosition(c))] = c;
    for (int pos = 0; pos < fcCount; ++pos)
        h->moveSection(h->visualIndex(byPosition[size_t(pos)]), pos);
    h->setSortIndicator(List().SortColumn(), List().SortDirection() == TSortDirection::Ascending
                                                 ? Qt::AscendingOrder
                                                 : Qt::DescendingOrder);
    connect(h, &QHeaderView::sectionClicked, this,
            [this](int column) { emit headerClicked(column); });
    // The names always show; the duplicate mode decides about the duplicate columns.
    AttachColumnMenu(this, [](int c) { return c == fcName || c == fcDupCount || c == fcDupSize; });
}

void TFileListView::ShowDuplicateColumns(bool on) {
    setColumnHidden(fcDupCount, !on);
    setColumnHidden(fcDupSize, !on);
    setRootIsDecorated(on);
}

void TFileListView::SetFontHeight(int height) {
    const int px = std::clamp(height, 11, 50);
    const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    QFont f = font();
    f.setPixelSize(std::max(1, int(px * dpi / 96.0 + 0.5)));
    setFont(f);
    header()->setFixedHeight(TTreeDelegate::RowHeightFor(f));
    doItemsLayout();
}

void TFileListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyleOptionViewItem o = option;
    if (const TTreeNode* n = TFileListModel::NodeOf(index); n && n->Selected())
        o.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, o, index);
}

void TFileListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    List().SetFocusedNode(TFileListModel::NodeOf(current));
}

void TFileListView::SelectRange(TTreeNode* to, bool keep) {
    TTreeNode* from = FAnchor && TViewNodes::IsVisible(FAnchor) ? FAnchor : to;
    if (!keep) List().ClearSelection();
    List().SelectVisibleRange(from, to);
    FAnchor = from;
}

bool TFileListView::OnBranchIndicator(const QModelIndex& index, const QPoint& pos) const {
    if (!rootIsDecorated()) return false;
    const int left = header()->sectionViewportPosition(0);
    const QRect item = visualRect(index.siblingAtColumn(0));
    return pos.x() >= left && pos.x() < item.left();
}

void TFileListView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    TTreeNode* n = TFileListModel::NodeOf(index);
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
    bool changed = false;
    if (!n) {
        if (event->button() == Qt::LeftButton && !ctrl && !shift && List().SelectedCount() > 0) {
            List().ClearSelection();
            changed = true;
        }
    } else if (!OnBranchIndicator(index, event->position().toPoint())) {
        if (event->button() == Qt::RightButton) {
            if (!n->Selected()) {
                List().ClearSelection();
                List().Select(n);
                FAnchor = n;
            }
        } else if (shift) {
            SelectRange(n, ctrl);
        } else if (ctrl) {
            List().Select(n, !n->Selected());
            FAnchor = n;
        } else {
            List().ClearSelection();
            List().Select(n);
            FAnchor = n;
        }
        changed = true;
    }
    QTreeView::mousePressEvent(event);
    if (changed) {
        viewport()->update();
        emit rowSelectionChanged();
    }
}

void TFileListView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (event->matches(QKeySequence::SelectAll)) {
        if (!List().Roots().empty()) {
            List().ClearSelection();
            TTreeNode* first = List().Roots().front();
            TTreeNode* last = first;
            for (TTreeNode* n = first; n; n = List().NextVisible(n)) last = n;
            List().SelectVisibleRange(first, last);
            viewport()->update();
            emit rowSelectionChanged();
        }
        event->accept();
        return;
    }
    CursorAction action;
    switch (event->key()) {
    case Qt::Key_Up:
        action = MoveUp;
        break;
    case Qt::Key_Down:
        action = MoveDown;
        break;
    case Qt::Key_PageUp:
        action = MovePageUp;
        break;
    case Qt::Key_PageDown:
        action = MovePageDown;
        break;
    case Qt::Key_Home:
        action = MoveHome;
        break;
    case Qt::Key_End:
        action = MoveEnd;
        break;
    case Qt::Key_Left:
        action = MoveLeft;
        break;
    case Qt::Key_Right:
        action = MoveRight;
        break;
    case Qt::Key_Space:
        if (TTreeNode* f = List().FocusedNode()) {
            if (mods & Qt::ControlModifier)
                List().Select(f, !f->Selected());
            else
                List().Select(f);
            FAnchor = f;
            viewport()->update();
            emit rowSelectionChanged();
        }
        event->accept();
        return;
    default: {
        // A printable character goes to the search box.
        const QString t = event->text();
        if (!t.isEmpty() && t.at(0).isPrint() &&
            !(mods & (Qt::ControlModifier | Qt::AltModifier))) {
            emit typed(t);
            event->accept();
            return;
        }
        QTreeView::keyPressEvent(event);
        return;
    }
    }
    const QModelIndex next = moveCursor(action, mods);
    TTreeNode* n = TFileListModel::NodeOf(next);
    if (n && next != currentIndex()) {
        selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
        scrollTo(next);
        if (mods & Qt::ShiftModifier) {
            SelectRange(n, mods & Qt::ControlModifier);
        } else if (!(mods & Qt::ControlModifier)) {
            List().ClearSelection();
            List().Select(n);
            FAnchor = n;
        }
        viewport()->update();
        emit rowSelectionChanged();
    }
    event->accept();
}

void TFileListView::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
    TTreeNode* n = TFileListModel::NodeOf(indexAt(event->position().toPoint()));
    if (n == FHot) return;
    FHot = n;
    emit hotRowChanged(n ? ToQString(GetRecordPath(n->Data.Rec)) : QString());
}

void TFileListView::leaveEvent(QEvent* event) {
    QTreeView::leaveEvent(event);
    if (!FHot) return;
    FHot = nullptr;
    emit hotRowChanged(QString());
}

} // namespace qz
