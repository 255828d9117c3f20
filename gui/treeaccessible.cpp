#include "gui/treeaccessible.h"

#include "gui/qtext.h"
#include "gui/treeview.h"

#include <QHeaderView>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace qz {

namespace {

// One cell of the tree table, or the header cell of a column (node nil).
class TTreeCellAccessible : public QAccessibleInterface,
                            public QAccessibleTableCellInterface,
                            public QAccessibleActionInterface {
public:
    TTreeCellAccessible(TTreeAccessible* table, TTreeNode* node, int column)
        : FTable(table), FNode(node), FColumn(column) {}

    bool isValid() const override { return FTable->View() != nullptr; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        TTreeView* v = FTable->View();
        return v ? v->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return FTable; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text t) const override {
        TTreeView* v = FTable->View();
        if (v && FNode && t == QAccessible::Description) return TTreeModel::UnreadableNote(FNode);
        if (!v || (t != QAccessible::Name && t != QAccessible::Value)) return {};
        if (!FNode) return TTreeModel::ColumnCaption(FColumn);
        if (t == QAccessible::Value && FColumn == tcFolder) return {};
        return ToQString(v->Model().CellText(FNode, FColumn));
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        TTreeView* v = FTable->View();
        if (!v) return {};
        if (!FNode) {
            QHeaderView* h = v->header();
            const QRect r(h->sectionViewportPosition(FColumn), 0, h->sectionSize(FColumn),
                          h->height());
            return QRect(h->viewport()->mapToGlobal(r.topLeft()), r.size());
        }
        const QRect r = v->visualRect(v->Model().IndexOf(FNode, FColumn));
        if (!r.isValid()) return {};
        return QRect(v->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override {
        return FNode ? QAccessible::TreeItem : QAccessible::ColumnHeader;
    }
    QAccessible::State state() const override {
        QAccessible::State st;
        TTreeView* v = FTable->View();
        if (!v || !FNode) return st;
        st.selectable = true;
        st.focusable = true;
        st.multiSelectable = true;
        st.extSelectable = true;
        st.selected = FNode->Selected();
        st.focused = v->hasFocus() && v->Tree().FocusedNode() == FNode &&
                     v->currentIndex().column() == FColumn;
        const QRect r = v->visualRect(v->Model().IndexOf(FNode, FColumn));
        if (!r.isValid() || !v->viewport()->rect().intersects(r)) st.invisible = true;
        if (FColumn == tcFolder && v->Tree().HasChildren(FNode)) {
            st.expandable = true;
            st.expanded = FNode->Expanded();
            st.collapsed = !FNode->Expanded();
        }
        return st;
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (t == QAccessible::ActionInterface && FNode)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // ---- table cell
    bool isSelected() const override { return FNode && FNode->Selected(); }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        if (!FNode || !FTable->HasHeaderRow()) return {};
        return {FTable->Cell(nullptr, FColumn)};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return FColumn; }
    int rowIndex() const override { return FNode ? FTable->RowOf(FNode) : -1; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return FTable; }

    // ---- actions: select the row; expand or collapse a folder's row
    QStringList actionNames() const override {
        QStringList names = {pressAction()};
        TTreeView* v = FTable->View();
        if (v && FColumn == tcFolder && v->Tree().HasChildren(FNode)) names << toggleAction();
        return names;
    }
    void doAction(const QString& name) override {
        TTreeView* v = FTable->View();
        if (!v) return;
        if (name == pressAction()) v->SelectNode(FNode);
        if (name == toggleAction() && FColumn == tcFolder) {
            const QModelIndex i = v->Model().IndexOf(FNode);
            v->setExpanded(i, !v->isExpanded(i));
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TTreeAccessible* FTable;
    TTreeNode* FNode;
    int FColumn;
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("qz::TTreeView") && object && object->isWidgetType())
        return new TTreeAccessible(static_cast<TTreeView*>(object));
    return nullptr;
}

} // namespace

TTreeAccessible::TTreeAccessible(TTreeView* view)
    : QAccessibleWidget(view, QAccessible::Tree), FView(view) {
    QAbstractItemModel* m = &view->Model();
    FConnections << QObject::connect(m, &QAbstractItemModel::modelAboutToBeReset, view,
                                     [this] { ClearCells(); });
    FConnections << QObject::connect(m, &QAbstractItemModel::modelReset, view,
                                     [this] { RowsChanged(); });
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        FConnections << QObject::connect(m, signal, view, [this] { RowsChanged(); });
    FConnections << QObject::connect(m, &QAbstractItemModel::layoutChanged, view,
                                     [this] { RowsChanged(); });
    FConnections << QObject::connect(view, &QTreeView::expanded, view, [this] { RowsChanged(); });
    FConnections << QObject::connect(view, &QTreeView::collapsed, view, [this] { RowsChanged(); });
}

TTreeAccessible::~TTreeAccessible() {
    for (const QMetaObject::Connection& c : FConnections) QObject::disconnect(c);
    ClearCells();
}

void TTreeAccessible::InstallFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    (void)installed;
}

TTreeView* TTreeAccessible::View() const {
    return FView.data();
}

void TTreeAccessible::ClearCells() {
    for (QAccessible::Id id : std::as_const(FCells)) QAccessible::deleteAccessibleInterface(id);
    FCells.clear();
    FRows.clear();
    FRowOf.clear();
    FRowsValid = false;
}

void TTreeAccessible::EnsureRows() const {
    if (FRowsValid) return;
    FRows.clear();
    FRowOf.clear();
    TTreeView* v = View();
    if (v && !v->Tree().Roots().empty()) {
        TDisplayTree& t = v->Tree();
        for (TTreeNode* n = t.Roots().front(); n; n = t.NextVisible(n)) {
            FRowOf.insert(n, int(FRows.size()));
            FRows.push_back(n);
        }
    }
    FRowsValid = true;
}

int TTreeAccessible::RowOf(const TTreeNode* node) const {
    EnsureRows();
    return FRowOf.value(node, -1);
}

TTreeNode* TTreeAccessible::NodeAt(int row) const {
    EnsureRows();
    return row >= 0 && size_t(row) < FRows.size() ? FRows[size_t(row)] : nullptr;
}

bool TTreeAccessible::HasHeaderRow() const {
    // Counted even while hidden: the view numbers the children it names in its focus events
    // that way.
    TTreeView* v = View();
    return v && v->header();
}

QAccessibleInterface* TTreeAccessible::Cell(TTreeNode* node, int column) const {
    const auto key = qMakePair(static_cast<const TTreeNode*>(node), column);
    if (auto it = FCells.constFind(key); it != FCells.constEnd())
        return QAccessible::accessibleInterface(*it);
    auto* cell = new TTreeCellAccessible(const_cast<TTreeAccessible*>(this), node, column);
    FCells.insert(key, QAccessible::registerAccessibleInterface(cell));
    return cell;
}

int TTreeAccessible::IndexOfCell(const TTreeNode* node, int column) const {
    const int row = RowOf(node);
    if (row < 0) return -1;
    return (row + (HasHeaderRow() ? 1 : 0)) * columnCount() + column;
}

// ---------------------------------------------------------------- QAccessibleInterface

QAccessible::State TTreeAccessible::state() const {
    QAccessible::State st = QAccessibleWidget::state();
    st.multiSelectable = true;
    st.extSelectable = true;
    return st;
}

int TTreeAccessible::columnCount() const {
    return View() ? View()->Model().columnCount() : 0;
}

int TTreeAccessible::rowCount() const {
    EnsureRows();
    return int(FRows.size());
}

int TTreeAccessible::childCount() const {
    return (rowCount() + (HasHeaderRow() ? 1 : 0)) * columnCount();
}

QAccessibleInterface* TTreeAccessible::child(int index) const {
    const int columns = columnCount();
    if (index < 0 || columns == 0) return nullptr;
    int row = index / columns;
    const int column = index % columns;
    if (HasHeaderRow()) {
        if (row == 0) return Cell(nullptr, column);
        --row;
    }
    TTreeNode* n = NodeAt(row);
    return n ? Cell(n, column) : nullptr;
}

int TTreeAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child) return -1;
    auto* cell = const_cast<QAccessibleInterface*>(child)->tableCellInterface();
    if (!cell || cell->table() != this) return -1;
    if (child->role() == QAccessible::ColumnHeader)
        return HasHeaderRow() ? cell->columnIndex() : -1;
    const int row = cell->rowIndex();
    if (row < 0) return -1;
    return (row + (HasHeaderRow() ? 1 : 0)) * columnCount() + cell->columnIndex();
}

QAccessibleInterface* TTreeAccessible::childAt(int x, int y) const {
    TTreeView* v = View();
    if (!v) return nullptr;
    const QPoint global(x, y);
    QHeaderView* h = v->header();
    if (HasHeaderRow() && h->rect().contains(h->mapFromGlobal(global))) {
        const int column = h->logicalIndexAt(h->viewport()->mapFromGlobal(global));
        return column >= 0 ? Cell(nullptr, column) : nullptr;
    }
    const QModelIndex i = v->indexAt(v->viewport()->mapFromGlobal(global));
    TTreeNode* n = TTreeModel::NodeOf(i);
    return n ? Cell(n, i.column()) : nullptr;
}

QAccessibleInterface* TTreeAccessible::focusChild() const {
    TTreeView* v = View();
    if (!v) return nullptr;
    TTreeNode* n = v->Tree().FocusedNode();
    if (!n || RowOf(n) < 0) return nullptr;
    return Cell(n, std::max(0, v->currentIndex().column()));
}

void* TTreeAccessible::interface_cast(QAccessible::InterfaceType t) {
    if (t == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
}

// ---------------------------------------------------------------- QAccessibleTableInterface

QAccessibleInterface* TTreeAccessible::cellAt(int row, int column) const {
    TTreeNode* n = NodeAt(row);
    return n && column >= 0 && column < columnCount() ? Cell(n, column) : nullptr;
}

QList<int> TTreeAccessible::selectedRows() const {
    QList<int> rows;
    TTreeView* v = View();
    if (!v) return rows;
    for (TTreeNode* n : v->Tree().SelectedNodes())
        if (const int row = RowOf(n); row >= 0) rows << row;
    std::sort(rows.begin(), rows.end()); // read top down
    return rows;
}

int TTreeAccessible::selectedRowCount() const {
    return int(selectedRows().size());
}

int TTreeAccessible::selectedCellCount() const {
    return selectedRowCount();
}

QList<QAccessibleInterface*> TTreeAccessible::selectedCells() const {
    QList<QAccessibleInterface*> cells;
    for (int row : selectedRows()) cells << cellAt(row, tcFolder);
    return cells;
}

QString TTreeAccessible::columnDescription(int column) const {
    return TTreeModel::ColumnCaption(column);
}

bool TTreeAccessible::isRowSelected(int row) const {
    const TTreeNode* n = NodeAt(row);
    return n && n->Selected();
}

bool TTreeAccessible::selectRow(int row) {
    TTreeNode* n = NodeAt(row);
    if (!n || !View()) return false;
    View()->SetNodeSelected(n, true);
    return true;
}

bool TTreeAccessible::unselectRow(int row) {
    TTreeNode* n = NodeAt(row);
    if (!n || !View()) return false;
    View()->SetNodeSelected(n, false);
    return true;
}

void TTreeAccessible::modelChange(QAccessibleTableModelChangeEvent* event) {
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::ModelReset) ClearCells();
    RowsChanged();
}

} // namespace qz
