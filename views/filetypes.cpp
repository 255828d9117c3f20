#include "views/filetypes.h"

#include "base/text.h"
#include "engine/collation.h"
#include "views/format.h"

#include <QMimeDatabase>
#include <QMimeType>
#include <QString>

#include <algorithm>

namespace qz {

namespace {

std::u16string Tr(const char* english) {
    return Utf8ToUtf16(tr(english));
}

std::u16string UpperTrim(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    std::u16string out(s);
    for (auto& c : out)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    return out;
}

} // namespace

// ---------------------------------------------------------------- association cache

std::u16string TFileAssociationDetails::MimeDescription(std::u16string_view ext) {
    if (ext.empty()) return {};
    static const QMimeDatabase db;
    QString name =
        QStringLiteral("file") + QString::fromUtf16(ext.data(), qsizetype(ext.size())).toLower();
    const QList<QMimeType> types = db.mimeTypesForFileName(name);
    if (types.isEmpty()) return {};
    const QMimeType& t = types.first();
    if (!t.isValid() || t.isDefault()) return {};
    QString comment = t.comment();
    if (comment.size() > 80) comment.truncate(80);
    return comment.toStdU16String();
}

TFileAssociationDetails::TFileAssociationDetails()
    : FDescriber(&TFileAssociationDetails::MimeDescription) {}
TFileAssociationDetails::TFileAssociationDetails(TDescriber describer)
    : FDescriber(std::move(describer)) {}

int TFileAssociationDetails::IndexOf(std::u16string_view ext) const {
    const std::u16string u = UpperTrim(ext);
    for (size_t i = 0; i < FExtensions.size(); ++i)
        if (FExtensions[i] == u) return int(i);
    return -1;
}

int TFileAssociationDetails::AddExtension(std::u16string_view ext) {
    std::u16string u = UpperTrim(ext);
    if (u.empty()) return -1;
    for (size_t i = 0; i < FExtensions.size(); ++i)
        if (FExtensions[i] == u) return int(i);
    FExtensions.push_back(std::move(u));
    return int(FExtensions.size() - 1);
}

void TFileAssociationDetails::AddFile(std::u16string_view name) {
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) return;
    AddExtension(name.substr(dot));
}

void TFileAssociationDetails::GetFileIconsAndDescriptions() {
    for (size_t i = FDescriptions.size(); i < FExtensions.size(); ++i) {
        std::u16string d = FDescriber ? FDescriber(FExtensions[i]) : std::u16string();
        if (d.size() > 80) d.resize(80);
        FDescriptions.push_back(std::move(d));
    }
}

void TFileAssociationDetails::Clear() {
    FExtensions.clear();
    FDescriptions.clear();
}

const std::u16string* TFileAssociationDetails::Description(std::u16string_view ext) const {
    const int i = IndexOf(ext);
    if (i < 0 || size_t(i) >= FDescriptions.size()) return nullptr;
    return &FDescriptions[size_t(i)];
}

// ---------------------------------------------------------------- rows

void TFileTypesView::TreeTotals(const TDisplayTree& tree, uint64_t& size, uint64_t& alloc) {
    size = alloc = 0;
    for (const TTreeNode* n : tree.Roots()) {
        size += n->Data.Rec->SubFoldersTotSize;
        alloc += n->Data.Rec->SubFoldersTotSizeAlloc;
    }
}

void TFileTypesView::Fill(const TExtColors& stats, uint64_t totalSize, uint64_t totalAlloc,
                          TFileAssociationDetails* cache) {
    Rows.clear();
    Rows.reserve(stats.ExtSizes.size());
    for (const TExtEntry& e : stats.ExtSizes) {
        TExtNodeData row;
        row.ExtKey = e.Key.substr(0, 30);
        row.Size = e.Totals.Size;
        row.Alloc = e.Totals.Alloc;
        row.Count = e.Totals.Count;
        row.SizePercent = float(Percentage(row.Size, totalSize));
        row.AllocPercent = float(Percentage(row.Alloc, totalAlloc));
        Rows.push_back(std::move(row));
    }
    if (FSortColumn >= 0) {
        TFileAssociationDetails none([](std::u16string_view) { return std::u16string(); });
        Sort(FSortColumn, FSortDirection, cache ? *cache : none);
    }
}

void TFileTypesView::HeaderClick(int column, TFileAssociationDetails& cache) {
    if (column < 0 || column >= ecCount || column == ecSwatch) return;
    TSortDirection dir;
    if (column == FSortColumn)
        dir = FSortDirection == TSortDirection::Ascending ? TSortDirection::Descending
                                                          : TSortDirection::Ascending;
    else
        dir = column == ecFileType || column == ecExtension ? TSortDirection::Ascending
                                                            : TSortDirection::Descending;
    Sort(column, dir, cache);
}

void TFileTypesView::Sort(int column, TSortDirection direction, TFileAssociationDetails& cache) {
    if (column < 0 || column >= ecCount || column == ecSwatch) return;
    FSortColumn = column;
    FSortDirection = direction;
    if (column == ecFileType) {
        // Every row must sort by its description: look the missing ones up in one batch.
        for (const auto& r : Rows)
            if (!r.ExtKey.empty() && r.ExtKey.size() <= 15) cache.AddExtension(r.ExtKey);
        cache.GetFileIconsAndDescriptions();
        for (auto& r : Rows)
            if (r.ExtDescription.empty())
                if (const std::u16string* d = cache.Description(r.ExtKey)) r.ExtDescription = *d;
    }
    auto cmp = [column](const TExtNodeData& a, const TExtNodeData& b) -> int {
        switch (column) {
        case ecFileType: {
            const std::u16string& ka = a.ExtDescription.empty() ? a.ExtKey : a.ExtDescription;
            const std::u16string& kb = b.ExtDescription.empty() ? b.ExtKey : b.ExtDescription;
            return CompareNames(ka, kb);
        }
        case ecSize:
            return a.Size < b.Size ? -1 : a.Size > b.Size;
        case ecFiles:
            return a.Count < b.Count ? -1 : a.Count > b.Count;
        case ecPercent:
        case ecAllocated:
            return a.Alloc < b.Alloc ? -1 : a.Alloc > b.Alloc;
        case ecExtension:
            return a.ExtKey.compare(b.ExtKey);
        default:
            return 0;
        }
    };
    const bool desc = direction == TSortDirection::Descending;
    std::stable_sort(Rows.begin(), Rows.end(), [&](const TExtNodeData& a, const TExtNodeData& b) {
        return desc ? cmp(b, a) < 0 : cmp(a, b) < 0;
    });
}

double TFileTypesView::PercentOf(const TExtNodeData& row) const {
    return FSortColumn == ecSize ? row.SizePercent : row.AllocPercent;
}

std::u16string TFileTypesView::CellText(const TExtNodeData& row, int column,
                                        TFileAssociationDetails* cache) const {
    switch (column) {
    case ecFileType: {
        if (cache)
            if (const std::u16string* d = cache->Description(row.ExtKey)) return *d;
        if (row.ExtKey.empty()) return u"(" + Tr("no extension") + u")";
        if (!row.ExtDescription.empty()) return row.ExtDescription;
        if (cache && row.ExtKey.size() <= 15) cache->AddExtension(row.ExtKey);
        return {};
    }
    case ecSize:
        return FormatSize(row.Size, Format);
    case ecFiles:
        return FormatCount(row.Count, Format.Numbers);
    case ecPercent:
        return FormatPercentCell(PercentOf(row), Format);
    case ecExtension:
        return row.ExtKey;
    case ecAllocated:
        return FormatSize(row.Alloc, Format);
    default:
        return {};
    }
}

} // namespace qz
