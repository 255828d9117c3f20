// The Qt item model of the folder tree: a thin layer over the display tree (TDisplayTree),
// which owns the nodes, their order, expansion, selection and focus.
//
// A model index carries its TTreeNode as the internal pointer and the node's position among
// its siblings (TTreeNode::Index) as the row, so parent() and index() cost no search and no
// allocation. Children are made by the display tree when the view first asks for them.
// Sorting is a layout change that moves the persistent indexes (the view's expanded rows and
// its current row), not a reset.
#pragma once

#include "views/displaytree.h"

#include <QAbstractItemModel>
#include <functional>

namespace qz {

class TTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TTreeModel(TDisplayTree& tree, QObject* parent = nullptr);

    TDisplayTree& Tree() { return FTree; }
    // The text shown for a scan's root instead of its path (the source list's entry of a
    // mounted file system); nil, or an empty answer, keeps the path.
    std::function<std::u16string(std::u16string_view rootPath)> RootDisplayName;
    // The text of a cell as shown.
    std::u16string CellText(const TTreeNode* n, int column) const;
    static TTreeNode* NodeOf(const QModelIndex& index) {
        return static_cast<TTreeNode*>(index.internalPointer());
    }
    QModelIndex IndexOf(TTreeNode* node, int column = 0) const;

    // A change of the whole tree (a new scan, clearing the views): change runs between the
    // model's reset signals.
    void Reset(const std::function<void()>& change);
    // Header click on column: the display tree's rule (toggle, or start a column in its own
    // direction), carried out as one layout change.
    void HeaderClick(int column);
    void SortBy(int column, TSortDirection direction);
    // The texts changed without a change of structure (display unit, decimals).
    void TextsChanged();

    // ---- QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Column captions, alignment and first widths (at 96 dpi).
    static QString ColumnCaption(int column);
    // What a row of something not read completely says (tool tip, screen readers); empty
    // for the rest.
    static QString UnreadableNote(const TTreeNode* node);
    static bool RightAligned(int column);
    static int InitialWidth(int column);
    // Display position of each column when the window starts.
    static int InitialPosition(int column);

signals:
    // The sort column or direction changed.
    void sortChanged(int column, Qt::SortOrder order);

private:
    void Relayout(const std::function<void()>& change);

    TDisplayTree& FTree;
};

} // namespace qz
