// What assistive technology (a screen reader through AT-SPI) sees of the folder tree: a tree
// table whose rows are the rows shown, each with one cell per column, and whose selection is
// the display tree's own.
//
// Qt's accessible tree takes a row's selected state from the view's selection model, which
// this view leaves empty (the display tree holds the selection, see TTreeView). These
// interfaces answer from the display tree instead: a cell's state says "selected" when its
// node is, the table lists the selected rows, and selecting a row through the interface
// selects the node. Children are numbered as Qt numbers them (the header row first, then row
// by row), so the focus events the view sends point at the right cell.
//
// Cells are made when asked for and kept until the tree is rebuilt; the list of rows shown is
// made when first asked for after a change (expansion, sorting, a new tree). Nothing of this
// exists until an assistive technology (or a test) asks.
#pragma once

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <vector>

namespace qz {

class TTreeView;
struct TTreeNode;

class TTreeAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit TTreeAccessible(TTreeView* view);
    ~TTreeAccessible() override;

    // Installs the factory that gives every TTreeView this interface (once per process).
    static void InstallFactory();

    // ---- QAccessibleInterface
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    void* interface_cast(QAccessible::InterfaceType t) override;

    // ---- QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    // One cell per selected row shown: its name cell (a selection may hold a million rows).
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override;
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override;
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int row) const override;
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; }
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

    // ---- for the cells and the view
    TTreeView* View() const;
    // The row of a node shown (-1 when it is not a row now).
    int RowOf(const TTreeNode* node) const;
    TTreeNode* NodeAt(int row) const;
    // The child index of a node's cell (-1 when it is not a row now).
    int IndexOfCell(const TTreeNode* node, int column) const;
    // The cell of a node and column (node nil: the column's header cell).
    QAccessibleInterface* Cell(TTreeNode* node, int column) const;
    // The header row comes first among the children (also while the header is hidden).
    bool HasHeaderRow() const;
    // The rows shown changed (expansion, sorting): made again when next asked for.
    void RowsChanged() { FRowsValid = false; }
    // The tree is rebuilt: every cell goes.
    void ClearCells();

private:
    void EnsureRows() const;

    QPointer<TTreeView> FView;
    mutable std::vector<TTreeNode*> FRows;
    mutable QHash<const TTreeNode*, int> FRowOf;
    mutable bool FRowsValid = false;
    mutable QHash<QPair<const TTreeNode*, int>, QAccessible::Id> FCells;
    QList<QMetaObject::Connection> FConnections;
};

} // namespace qz
