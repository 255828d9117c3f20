#include "gui/treeview.h"

#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/treeaccessible.h"
#include "gui/treedelegate.h"

#include <QAccessible>
#include <QAction>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>

namespace qz {

TTreeView::TTreeView(TTreeModel& model, QWidget* parent) : QTreeView(parent), FModel(model) {
    // Screen readers see the display tree's selection (see TTreeAccessible).
    TTreeAccessible::InstallFactory();
    setObjectName(QStringLiteral("vst"));
    setAccessibleName(Tr("Folder tree"));
    setModel(&model);
    setItemDelegate(new TTreeDelegate(model, this));
    setUniformRowHeights(true);
    // Selection is the display tree's; the view only keeps the current row.
    setSelectionMode(QAbstractItemView::NoSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setAllColumnsShowFocus(true);
    setMouseTracking(true);
    setExpandsOnDoubleClick(true);
    setRootIsDecorated(true);
    setFocusPolicy(Qt::StrongFocus);
    SetupHeader();
    SetTreeFontHeight(FFontHeight);

    connect(this, &QTreeView::expanded, this,
            [this](const QModelIndex& i) { Tree().SetExpanded(TTreeModel::NodeOf(i), true); });
    connect(this, &QTreeView::collapsed, this,
            [this](const QModelIndex& i) { Tree().SetExpanded(TTreeModel::NodeOf(i), false); });
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        FAnchor = nullptr;
        FHot = nullptr;
    });
    connect(&model, &QAbstractItemModel::modelReset, this, [this] { UpdateActions(); });
    connect(&model, &TTreeModel::sortChanged, this, [this](int column, Qt::SortOrder order) {
        header()->setSortIndicator(column, order);
        viewport()->update();
    });

    actSelectParent = new QAction(Tr("Select Parent"), this);
    actSelectParent->setObjectName(QStringLiteral("actSelectParent"));
    actSelectParent->setShortcut(QKeySequence(Qt::KeypadModifier | Qt::Key_Slash));
    connect(actSelectParent, &QAction::triggered, this, &TTreeView::SelectParent);
    actReselectChild = new QAction(Tr("Reselect Child"), this);
    actReselectChild->setObjectName(QStringLiteral("actReselectChild"));
    actReselectChild->setShortcut(QKeySequence(Qt::KeypadModifier | Qt::Key_Asterisk));
    connect(actReselectChild, &QAction::triggered, this, &TTreeView::ReselectChild);
    actExpandAll = new QAction(Tr("Expand All"), this);
    actExpandAll->setObjectName(QStringLiteral("actExpandAll"));
    connect(actExpandAll, &QAction::triggered, this, &TTreeView::ExpandAll);
    actResetTreeExpansion = new QAction(Tr("Reset tree expansion"), this);
    actResetTreeExpansion->setObjectName(QStringLiteral("actResetTreeExpansion"));
    actResetTreeExpansion->setShortcut(QKeySequence(Qt::Key_F4));
    connect(actResetTreeExpansion, &QAction::triggered, this, &TTreeView::ResetTreeExpansion);
    UpdateActions();
}

void TTreeView::SetupHeader() {
    QHeaderView* h = header();
    h->setAccessibleName(Tr("Folder tree columns"));
    h->setSectionsMovable(true);
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(true);
    h->setStretchLastSection(false);
    h->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    for (int c = 0; c < tcCount; ++c) h->resizeSection(c, TTreeModel::InitialWidth(c));
    // Display order of the columns: move each to its starting position in position order.
    std::vector<int> byPosition(tcCount);
    for (int c = 0; c < tcCount; ++c) byPosition[size_t(TTreeModel::InitialPosition(c))] = c;
    for (int pos = 0; pos < tcCount; ++pos)
        h->moveSection(h->visualIndex(byPosition[size_t(pos)]), pos);
    h->setSortIndicator(Tree().SortColumn(), Tree().SortDirection() == TSortDirection::Ascending
                                                 ? Qt::AscendingOrder
                                                 : Qt::DescendingOrder);
    connect(h, &QHeaderView::sectionClicked, this,
            [this](int column) { FModel.HeaderClick(column); });
    connect(h, &QHeaderView::customContextMenuRequested, this, &TTreeView::ShowHeaderMenu);
}

void TTreeView::ShowHeaderMenu(const QPoint& pos) {
    QMenu menu(this);
    menu.setAccessibleName(Tr("Columns"));
    for (int c = 0; c < tcCount; ++c) {
        QAction* a = menu.addAction(TTreeModel::ColumnCaption(c));
        a->setCheckable(true);
        a->setChecked(!isColumnHidden(c));
        a->setEnabled(c != tcFolder); // the names always show
        connect(a, &QAction::toggled, this, [this, c](bool on) { setColumnHidden(c, !on); });
    }
    menu.exec(header()->viewport()->mapToGlobal(pos));
}

void TTreeView::SetTreeFontHeight(int height) {
    FFontHeight = std::clamp(height, 11, 50);
    const qreal dpi = screen() ? screen()->logicalDotsPerInch() : 96.0;
    QFont f = font();
    f.setPixelSize(std::max(1, int(FFontHeight * dpi / 96.0 + 0.5)));
    setFont(f);
    header()->setMinimumSectionSize(20);
    header()->setFixedHeight(TTreeDelegate::RowHeightFor(f));
    doItemsLayout();
}

void TTreeView::UpdateActions() {
    const bool any = !Tree().Roots().empty();
    actSelectParent->setEnabled(any);
    actExpandAll->setEnabled(any);
    actResetTreeExpansion->setEnabled(any);
    actReselectChild->setEnabled(any && Tree().LastChildNode() != nullptr);
}

// ---------------------------------------------------------------- state shown

void TTreeView::ShowTreeState() {
    // Only nodes made so far can be expanded; walk them without making more.
    std::vector<TTreeNode*> stack(Tree().Roots().begin(), Tree().Roots().end());
    while (!stack.empty()) {
        TTreeNode* n = stack.back();
        stack.pop_back();
        if (n->Expanded()) {
            expand(FModel.IndexOf(n));
            if (n->ChildrenMade()) stack.insert(stack.end(), n->Kids, n->Kids + n->KidCount);
        }
    }
    if (TTreeNode* f = Tree().FocusedNode())
        selectionModel()->setCurrentIndex(FModel.IndexOf(f), QItemSelectionModel::NoUpdate);
    UpdateActions();
    viewport()->update();
}

void TTreeView::SelectNode(TTreeNode* n) {
    if (!n) return;
    Tree().ClearSelection();
    Tree().Select(n);
    for (TTreeNode* p = n->Parent; p; p = p->Parent) {
        Tree().SetExpanded(p, true);
        expand(FModel.IndexOf(p));
    }
    FAnchor = n;
    const QModelIndex i = FModel.IndexOf(n);
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
    scrollTo(i);
    SelectionChangedBy(n);
}

void TTreeView::SelectionChangedElsewhere(TTreeNode* n) {
    if (n) {
        FAnchor = n;
        const QModelIndex i = FModel.IndexOf(n);
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        scrollTo(i, EnsureVisible);
    }
    SelectionChangedBy(n);
}

void TTreeView::SetNodeSelected(TTreeNode* n, bool selected) {
    if (!n) return;
    Tree().Select(n, selected);
    FAnchor = n;
    SelectionChangedBy(n);
}

void TTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    QStyleOptionViewItem o = option;
    if (const TTreeNode* n = TTreeModel::NodeOf(index); n && n->Selected())
        o.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, o, index);
}

void TTreeView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    Tree().SetFocusedNode(TTreeModel::NodeOf(current));
    emit nodeSelectionChanged();
}

// ---------------------------------------------------------------- selection by the user

void TTreeView::SelectionChangedBy(TTreeNode* node) {
    if (!FParentChildStep && node != Tree().LastChildNode()) Tree().ForgetLastChild();
    actReselectChild->setEnabled(Tree().LastChildNode() != nullptr);
    viewport()->update();
    if (QAccessible::isActive()) {
        // The row that changed, or (several rows at once, none) a change within the tree.
        QAccessibleEvent event(this, QAccessible::SelectionWithin);
        if (auto* table =
                dynamic_cast<TTreeAccessible*>(QAccessible::queryAccessibleInterface(this));
            table && node) {
            if (const int child = table->IndexOfCell(node, tcFolder); child >= 0) {
                QAccessibleEvent one(this, node->Selected() ? QAccessible::SelectionAdd
                                                            : QAccessible::SelectionRemove);
                one.setChild(child);
                QAccessible::updateAccessibility(&one);
            }
        }
        QAccessible::updateAccessibility(&event);
    }
    emit nodeSelectionChanged();
}

void TTreeView::SelectRange(TTreeNode* to, bool keep) {
    TTreeNode* from = FAnchor && TViewNodes::IsVisible(FAnchor) ? FAnchor : to;
    if (!keep) Tree().ClearSelection();
    Tree().SelectVisibleRange(from, to);
    FAnchor = from;
}

bool TTreeView::OnBranchIndicator(const QModelIndex& index, const QPoint& pos) const {
    // The branch area is the part of the tree column left of the item's own rectangle.
    const int left = header()->sectionViewportPosition(treePosition() < 0 ? 0 : treePosition());
    const QRect item = visualRect(index.siblingAtColumn(treePosition() < 0 ? 0 : treePosition()));
    return pos.x() >= left && pos.x() < item.left();
}

void TTreeView::mousePressEvent(QMouseEvent* event) {
    const QModelIndex index = indexAt(event->position().toPoint());
    TTreeNode* n = TTreeModel::NodeOf(index);
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
    if (!n) {
        if (event->button() == Qt::LeftButton && !ctrl && !shift && Tree().SelectedCount() > 0) {
            Tree().ClearSelection();
            SelectionChangedBy(nullptr);
        }
    } else if (!OnBranchIndicator(index, event->position().toPoint())) {
        if (event->button() == Qt::RightButton) {
            // A right click keeps a selection it falls into (for the context menu).
            if (!n->Selected()) {
                Tree().ClearSelection();
                Tree().Select(n);
                FAnchor = n;
            }
        } else if (shift) {
            SelectRange(n, ctrl);
        } else if (ctrl) {
            Tree().Select(n, !n->Selected());
            FAnchor = n;
        } else {
            Tree().ClearSelection();
            Tree().Select(n);
            FAnchor = n;
        }
        SelectionChangedBy(n);
    }
    QTreeView::mousePressEvent(event);
}

void TTreeView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    // Ctrl + keypad plus and minus do nothing in the tree.
    if ((mods & Qt::KeypadModifier) && (mods & Qt::ControlModifier) &&
        (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Minus)) {
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        // Every row shown.
        if (!Tree().Roots().empty()) {
            Tree().ClearSelection();
            TTreeNode* first = Tree().Roots().front();
            TTreeNode* last = first;
            for (TTreeNode* n = first; n; n = Tree().NextVisible(n)) last = n;
            Tree().SelectVisibleRange(first, last);
            SelectionChangedBy(last);
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
        if (TTreeNode* f = Tree().FocusedNode()) {
            if (mods & Qt::ControlModifier)
                Tree().Select(f, !f->Selected());
            else
                Tree().Select(f);
            FAnchor = f;
            SelectionChangedBy(f);
        }
        event->accept();
        return;
    default:
        QTreeView::keyPressEvent(event);
        return;
    }
    const QModelIndex next = moveCursor(action, mods);
    TTreeNode* n = TTreeModel::NodeOf(next);
    if (n && next != currentIndex()) {
        selectionModel()->setCurrentIndex(next, QItemSelectionModel::NoUpdate);
        scrollTo(next);
        if (mods & Qt::ShiftModifier) {
            SelectRange(n, mods & Qt::ControlModifier);
            SelectionChangedBy(n);
        } else if (!(mods & Qt::ControlModifier)) {
            // Plain movement selects the new row alone; with Ctrl only the focus moves.
            Tree().ClearSelection();
            Tree().Select(n);
            FAnchor = n;
            SelectionChangedBy(n);
        }
    }
    event->accept();
}

void TTreeView::mouseMoveEvent(QMouseEvent* event) {
    QTreeView::mouseMoveEvent(event);
    TTreeNode* n = TTreeModel::NodeOf(indexAt(event->position().toPoint()));
    if (n == FHot) return;
    FHot = n;
    emit hotNodeChanged(n ? ToQString(GetRecordPath(n->Data.Rec)) : QString());
}

void TTreeView::leaveEvent(QEvent* event) {
    QTreeView::leaveEvent(event);
    if (!FHot) return;
    FHot = nullptr;
    emit hotNodeChanged(QString());
}

void TTreeView::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTreeView::wheelEvent(event);
        return;
    }
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0) {
        const int before = FFontHeight;
        SetTreeFontHeight(FFontHeight + steps);
        if (FFontHeight != before) emit treeFontHeightChanged(FFontHeight);
    }
    event->accept();
}

// ---------------------------------------------------------------- commands

void TTreeView::SelectParent() {
    TTreeNode* child = Tree().FocusedNode();
    if (!child) return;
    FParentChildStep = true;
    if (Tree().SelectParent()) {
        TTreeNode* p = Tree().FocusedNode();
        FAnchor = p;
        const QModelIndex i = FModel.IndexOf(p);
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        scrollTo(i);
        SelectionChangedBy(p);
    }
    FParentChildStep = false;
}

void TTreeView::ReselectChild() {
    TTreeNode* child = Tree().LastChildNode();
    if (!child) return;
    FParentChildStep = true;
    if (Tree().ReselectChild()) {
        // The tree made the node visible: show its ancestors expanded.
        for (TTreeNode* p = child->Parent; p; p = p->Parent) expand(FModel.IndexOf(p));
        FAnchor = child;
        const QModelIndex i = FModel.IndexOf(child);
        selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        scrollTo(i);
        SelectionChangedBy(child);
    }
    FParentChildStep = false;
}

void TTreeView::ExpandAll() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    Tree().ExpandAll();
    expandAll();
    QGuiApplication::restoreOverrideCursor();
}

void TTreeView::ResetTreeExpansion() {
    Tree().ClearSelection();
    Tree().CollapseAll();
    collapseAll();
    if (Tree().Roots().size() == 1) {
        TTreeNode* root = Tree().Roots()[0];
        Tree().SetExpanded(root, true);
        expand(FModel.IndexOf(root));
    }
    FAnchor = nullptr;
    SelectionChangedBy(nullptr);
}

} // namespace qz
