#include "gui/filetypesmodel.h"

#include "gui/filetypecache.h"
#include "gui/qtext.h"
#include "views/extstats.h"

namespace qz {

namespace {

struct TColumnInfo {
    const char* Caption;
    bool Right;
    int Position;
    int Width;
};
constexpr TColumnInfo kColumns[ecCount] = {
    {N_("File Type"), false, 2, 101}, {N_("Size"), true, 4, 74},       {N_("Files"), true, 6, 62},
    {N_("Percent"), true, 3, 59},     {N_("Extension"), false, 1, 70}, {"", false, 0, 25},
    {N_("Allocated"), true, 5, 76},
};

} // namespace

TFileTypesModel::TFileTypesModel(TFileTypesView& rows, TFileTypeCache& cache, TExtColors& colors,
                                 QObject* parent)
    : QAbstractTableModel(parent), FRows(rows), FCache(cache), FColors(colors) {}

QString TFileTypesModel::ColumnCaption(int column) {
    if (column < 0 || column >= ecCount || !*kColumns[column].Caption) return {};
    return Tr(kColumns[column].Caption);
}
bool TFileTypesModel::RightAligned(int column) {
    return column >= 0 && column < ecCount && kColumns[column].Right;
}
int TFileTypesModel::InitialWidth(int column) {
    return column >= 0 && column < ecCount ? kColumns[column].Width : 60;
}
int TFileTypesModel::InitialPosition(int column) {
    return column >= 0 && column < ecCount ? kColumns[column].Position : column;
}

const TExtNodeData* TFileTypesModel::RowOf(const QModelIndex& index) const {
    if (!index.isValid() || index.row() < 0 || size_t(index.row()) >= FRows.Rows.size())
        return nullptr;
    return &FRows.Rows[size_t(index.row())];
}

void TFileTypesModel::Fill(uint64_t totalSize, uint64_t totalAlloc) {
    beginResetModel();
    FRows.Fill(FColors, totalSize, totalAlloc, &FCache.Details());
    endResetModel();
}

void TFileTypesModel::Clear() {
    beginResetModel();
    FRows.Rows.clear();
    endResetModel();
}

void TFileTypesModel::HeaderClick(int column) {
    if (column == ecSwatch) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    FRows.HeaderClick(column, FCache.Details());
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit sortChanged(FRows.SortColumn(), FRows.SortDirection() == TSortDirection::Ascending
                                             ? Qt::AscendingOrder
                                             : Qt::DescendingOrder);
}

void TFileTypesModel::SortBy(int column, TSortDirection direction) {
    if (column < 0 || column >= ecCount || column == ecSwatch) return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    FRows.Sort(column, direction, FCache.Details());
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit sortChanged(column, direction == TSortDirection::Ascending ? Qt::AscendingOrder
                                                                    : Qt::DescendingOrder);
}

void TFileTypesModel::Repaint() {
    const int rows = rowCount();
    if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, ecCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, ecCount - 1);
}

int TFileTypesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FRows.Rows.size());
}

int TFileTypesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ecCount;
}

QVariant TFileTypesModel::data(const QModelIndex& index, int role) const {
    const TExtNodeData* row = RowOf(index);
    if (!row) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        if (index.column() == ecSwatch) return {};
        // A description not fetched yet is asked for and comes with the next batch.
        if (index.column() == ecFileType && !FCache.Details().Description(row->ExtKey))
            FCache.Request(row->ExtKey);
        return ToQString(FRows.CellText(*row, index.column(), &FCache.Details()));
    case Qt::TextAlignmentRole:
        return int((RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TFileTypesModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    switch (role) {
    case Qt::DisplayRole:
        return ColumnCaption(section);
    case Qt::AccessibleTextRole:
        return section == ecSwatch ? Tr("Colour") : ColumnCaption(section);
    case Qt::TextAlignmentRole:
        return int((RightAligned(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
        return {};
    }
}

} // namespace qz
