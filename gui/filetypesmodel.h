// The Qt item model of the file-types view (vstExt): one row per extension of the statistics
// (TFileTypesView, which owns the rows and their order), with the type descriptions of the
// window's file-type cache and the treemap colours of the extension statistics.
#pragma once

#include "views/filetypes.h"

#include <QAbstractTableModel>

namespace qz {

class TExtColors;
class TFileTypeCache;

class TFileTypesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    TFileTypesModel(TFileTypesView& rows, TFileTypeCache& cache, TExtColors& colors,
                    QObject* parent = nullptr);

    TFileTypesView& Rows() { return FRows; }
    TExtColors& Colors() { return FColors; }
    TFileTypeCache& Cache() { return FCache; }
    // The row data of an index (nil outside the rows).
    const TExtNodeData* RowOf(const QModelIndex& index) const;

    // Fills the rows from the statistics in FColors with shares of the given totals.
    void Fill(uint64_t totalSize, uint64_t totalAlloc);
    void Clear();
    // Header click: the rows' rule (column 5 does nothing), as one layout change.
    void HeaderClick(int column);
    void SortBy(int column, TSortDirection direction);
    // Texts or colours changed without a change of rows.
    void Repaint();

    static QString ColumnCaption(int column);
    static bool RightAligned(int column);
    static int InitialWidth(int column);
    static int InitialPosition(int column);

    // ---- QAbstractItemModel
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    void sortChanged(int column, Qt::SortOrder order);

private:
    TFileTypesView& FRows;
    TFileTypeCache& FCache;
    TExtColors& FColors;
};

} // namespace qz
