#include "gui/filelistmodel.h"

#include "gui/qtext.h"

namespace qz {

namespace {

struct TColumnInfo {
    const char* Caption;
    bool Right;
    int Position;
    int Width;
};
// Index order; Position is where the column shows when the window starts.
constexpr TColumnInfo kColumns[fcCount] = {
    {N_("File Name"), false, 0, 220}, {N_("Percent of Drive"), true, 2, 110}, {N_("Size"), true, 3, 100},
    {N_("Modified"), false, 5, 140},  {N_("Attributes"), false, 8, 68},       {N_("Allocated"), true, 4, 100},
    {N_("Path"), false, 1, 480},      {N_("Dup Count"), true, 6, 80},         {N_("Dup Size"), true, 7, 100},
};

Qt::SortOrder ToQt(TSortDirection d) {
    return d == TSortDirection::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace

TFileListModel::TFileListModel(TFileList* list, QObject* parent)
    : QAbstractItemModel(parent), FList(list) {}

QString TFileListModel::ColumnCaption(int column) {
    return column >= 0 && column < fcCount ? Tr(kColumns[column].Caption) : QString();
}
bool TFileListModel::RightAligned(int column) {
    return column >= 0 && column < fcCount && kColumns[column].Right;
}
int TFileListModel::InitialWidth(int column) {
    return column >= 0 && column < fcCount ? kColumns[column].Width : 80;
}
int TFileListModel::InitialPosition(int column) {
    return column >= 0 && column < fcCount ? kColumns[column].Position : column;
}

void TFileListModel::SetList(TFileList* list) {
    beginResetModel();
    FList = list;
    endResetModel();
    emit sortChanged(FList->SortColumn(), ToQt(FList->SortDirection()));
}

void TFileListModel::Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
}

bool TFileListModel::HeaderClick(int column) {
    if (column < 0 || column >= fcCount) return false;
    bool reload = false;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    reload = FList->HeaderClick(column);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) after.push_back(IndexOf(NodeOf(i), i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit sortChanged(FList->SortColumn(), ToQt(FList->SortDirection()));
    return reload;
}

void TFileListModel::TextsChanged() {
    const int rows = rowCount();
    if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, fcCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, fcCount - 1);
}

QModelIndex TFileListModel::IndexOf(TTreeNode* node, int column) const {
    if (!node) return {};
    return createIndex(int(node->Index), column, node);
}

QModelIndex TFileListModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= fcCount) return {};
    if (parent.isValid() && parent.column() != 0) return {};
    auto kids = FList->Children(NodeOf(parent));
    if (size_t(row) >= kids.size()) return {};
    return createIndex(row, column, kids[size_t(row)]);
}

QModelIndex TFileListModel::parent(const QModelIndex& child) const {
    TTreeNode* n = NodeOf(child);
    if (!n || !n->Parent) return {};
    return createIndex(int(n->Parent->Index), 0, n->Parent);
}

int TFileListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return int(FList->ChildCount(NodeOf(parent)));
}

int TFileListModel::columnCount(const QModelIndex&) const {
    return fcCount;
}

bool TFileListModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return false;
    return FList->HasChildren(NodeOf(parent));
}

QVariant TFileListModel::data(const QModelIndex& index, int role) const {
    const TTreeNode* n = NodeOf(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ToQString(FList->CellText(n, index.column()));
    case Qt::TextAlignmentRole:
        return int((RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant TFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ColumnCaption(section);
    case Qt::TextAlignmentRole:
        return int((RightAligned(section) ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    default:
        return {};
    }
}

Qt::ItemFlags TFileListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

} // namespace qz
