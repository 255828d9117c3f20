#include "gui/treemodel.h"

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
constexpr TColumnInfo kColumns[tcCount] = {
    {N_("Folder"), false, 0, 227},
    // xgettext:no-c-format
    {N_("% of Parent"), true, 1, 81},
    {N_("Size"), true, 2, 90},
    {N_("Files"), true, 5, 70},
    {N_("Modified"), false, 7, 140},
    {N_("Attributes"), false, 8, 70},
    {N_("Folders"), true, 6, 70},
    {N_("Items"), true, 4, 70},
    {N_("Allocated"), true, 3, 90},
};

Qt::SortOrder ToQt(TSortDirection d) {
    return d == TSortDirection::Ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
}

} // namespace

TTreeModel::TTreeModel(TDisplayTree& tree, QObject* parent)
    : QAbstractItemModel(parent), FTree(tree) {}

QString TTreeModel::ColumnCaption(int column) {
    return column >= 0 && column < tcCount ? Tr(kColumns[column].Caption) : QString();
}
bool TTreeModel::RightAligned(int column) {
    return column >= 0 && column < tcCount && kColumns[column].Right;
}
int TTreeModel::InitialWidth(int column) {
    return column >= 0 && column < tcCount ? kColumns[column].Width : 70;
}
int TTreeModel::InitialPosition(int column) {
    return column >= 0 && column < tcCount ? kColumns[column].Position : column;
}

std::u16string TTreeModel::CellText(const TTreeNode* n, int column) const {
    std::u16string text = FTree.CellText(n, column);
    if (column == tcFolder && !n->Parent && RootDisplayName) {
        std::u16string shown = RootDisplayName(text);
        if (!shown.empty()) return shown;
    }
    return text;
}

QModelIndex TTreeModel::IndexOf(TTreeNode* node, int column) const {
    if (!node) return {};
    return createIndex(int(node->Index), column, node);
}

QModelIndex TTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column < 0 || column >= tcCount) return {};
    if (parent.isValid() && parent.column() != 0) return {};
    auto kids = FTree.Children(NodeOf(parent));
    if (size_t(row) >= kids.size()) return {};
    return createIndex(row, column, kids[size_t(row)]);
}

QModelIndex TTreeModel::parent(const QModelIndex& child) const {
    TTreeNode* n = NodeOf(child);
    if (!n || !n->Parent) return {};
    return createIndex(int(n->Parent->Index), 0, n->Parent);
}

int TTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return 0;
    return int(FTree.ChildCount(NodeOf(parent)));
}

int TTreeModel::columnCount(const QModelIndex&) const {
    return tcCount;
}

bool TTreeModel::hasChildren(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) return false;
    return FTree.HasChildren(NodeOf(parent));
}

QVariant TTreeModel::data(const QModelIndex& index, int role) const {
    const TTreeNode* n = NodeOf(index);
    if (!n) return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ToQString(CellText(n, index.column()));
    case Qt::TextAlignmentRole:
        return int((RightAligned(index.column()) ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole:
        return UnreadableNote(n);
    default:
        return {};
    }
}

QString TTreeModel::UnreadableNote(const TTreeNode* n) {
    if (!n || n->IsFileGroup || !n->Data.Rec || !n->Data.Rec->Unreadable) return {};
    return n->Data.Rec->IsFolder()
               ? Tr("This folder could not be read completely: what it holds is missing from "
                    "the scan")
               : Tr("This entry could not be examined: its size and date are unknown");
}

QVariant TTreeModel::headerData(int section, Qt::Orientation orientation, int role) const {
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

Qt::ItemFlags TTreeModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TTreeModel::sort(int column, Qt::SortOrder order) {
    SortBy(column,
           order == Qt::AscendingOrder ? TSortDirection::Ascending : TSortDirection::Descending);
}

void TTreeModel::Reset(const std::function<void()>& change) {
    beginResetModel();
    change();
    endResetModel();
}

void TTreeModel::Relayout(const std::function<void()>& change) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The nodes stay; only their positions change. Remember which node (and column) every
    // persistent index stands for and give it the node's new row.
    const QModelIndexList before = persistentIndexList();
    change();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& i : before) after.push_back(IndexOf(NodeOf(i), i.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    emit sortChanged(FTree.SortColumn(), ToQt(FTree.SortDirection()));
}

void TTreeModel::HeaderClick(int column) {
    Relayout([&] { FTree.HeaderClick(column); });
}

void TTreeModel::SortBy(int column, TSortDirection direction) {
    Relayout([&] { FTree.Sort(column, direction); });
}

void TTreeModel::TextsChanged() {
    // Every row shown repaints; nothing is cached per row.
    const int rows = rowCount();
    if (rows > 0) emit dataChanged(index(0, 0), index(rows - 1, tcCount - 1));
    emit headerDataChanged(Qt::Horizontal, 0, tcCount - 1);
}

} // namespace qz
