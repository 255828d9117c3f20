// The Qt item model of the file list: a thin layer over the toolkit-free list (TFileList),
// which owns the rows, their order, the copies of a duplicate beneath it, and the selection.
//
// A model index carries its TTreeNode as the internal pointer and its position among its
// siblings as the row: a row is found without search or allocation, and nothing is copied
// into Qt, however many rows the list holds. The copies of a duplicate are made when the view
// first asks for them. The list shown can be replaced by another one (a load finished in the
// background) in one reset.
#pragma once

#include "views/filelist.h"

#include <QAbstractItemModel>
#include <functional>

namespace qz {

class TFileListModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TFileListModel(TFileList* list, QObject* parent = nullptr);

    TFileList& List() { return *FList; }
    const TFileList& List() const { return *FList; }
    // Shows another list (or the same after its rows changed) in one reset.
    void SetList(TFileList* list);
    // A change of the rows of the list shown, run between the reset signals.
    void Reset(const std::function<void()>& change);
    // Header click: the list's rule; with no limit the rows are re-sorted in place as one
    // layout change. Returns true when the caller must reload (a limit is chosen).
    bool HeaderClick(int column);
    // The texts changed without a change of structure (display unit, decimals).
    void TextsChanged();

    static TTreeNode* NodeOf(const QModelIndex& index) {
        return static_cast<TTreeNode*>(index.internalPointer());
    }
    QModelIndex IndexOf(TTreeNode* node, int column = 0) const;

    // Column captions, alignment, first widths and display positions.
    static QString ColumnCaption(int column);
    static bool RightAligned(int column);
    static int InitialWidth(int column);
    static int InitialPosition(int column);

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

signals:
    void sortChanged(int column, Qt::SortOrder order);

private:
    TFileList* FList;
};

} // namespace qz
