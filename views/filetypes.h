// The file-types view's rows (one per extension key of the statistics, with its shares of
// the total) and the per-extension cache of type descriptions that all views use.
//
// Descriptions come from the system's MIME database (shared-mime-info, read through Qt Core),
// looked up in batches when the window's short timer fires or before a sort by type, never
// one by one while painting.
#pragma once

#include "views/displaytree.h"
#include "views/extstats.h"
#include "views/format.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qz {

// Columns of the file-types view.
enum TExtColumn : int {
    ecFileType = 0,
    ecSize = 1,
    ecFiles = 2,
    ecPercent = 3,
    ecExtension = 4,
    ecSwatch = 5,
    ecAllocated = 6,
    ecCount = 7
};

// Per-extension cache of type descriptions. Extensions are kept upper-cased with their dot,
// in insertion order; an extension at index i has its description once i < DescribedCount().
class TFileAssociationDetails {
public:
    // A description source: the type name of a file with the given extension (".JPG"), or
    // empty when unknown. Defaults to the MIME database.
    using TDescriber = std::function<std::u16string(std::u16string_view ext)>;
    TFileAssociationDetails();
    explicit TFileAssociationDetails(TDescriber describer);

    // Upper-cased and trimmed; appended when non-empty and new. Returns its index (-1 empty).
    int AddExtension(std::u16string_view ext);
    // Adds the extension of a file name (nothing without one).
    void AddFile(std::u16string_view name);
    // Looks up every extension added since the last call (one batch).
    void GetFileIconsAndDescriptions();
    // Forgets the extension list (descriptions included).
    void Clear();

    int IndexOf(std::u16string_view ext) const; // -1 when not listed
    // The description when looked up already (nil otherwise).
    const std::u16string* Description(std::u16string_view ext) const;
    size_t DescribedCount() const { return FDescriptions.size(); }
    bool HasPending() const { return FDescriptions.size() < FExtensions.size(); }
    const std::vector<std::u16string>& Extensions() const { return FExtensions; }
    const std::vector<std::u16string>& Descriptions() const { return FDescriptions; }

    static std::u16string MimeDescription(std::u16string_view ext);

private:
    TDescriber FDescriber;
    std::vector<std::u16string> FExtensions;   // FExtensions
    std::vector<std::u16string> FDescriptions; // FDescriptions
};

// One row of the file-types view.
struct TExtNodeData {
    std::u16string ExtKey;         // with its dot, empty for files without extension (<= 30)
    std::u16string ExtDescription; // cached on the first sort by type
    uint64_t Size = 0;
    uint64_t Alloc = 0;
    uint64_t Count = 0;
    float SizePercent = 0;  // Size / total size of all scans * 100
    float AllocPercent = 0; // Alloc / total allocated size * 100
};

class TFileTypesView {
public:
    std::vector<TExtNodeData> Rows; // in view order
    // How the cells format sizes, counts and percentages.
    TFormatSettings Format;

    // Fills the rows from the statistics, in statistics order, with shares of the given totals
    // (the top-level nodes' totals; 0 % when a total is 0), then applies the current sort
    // (a sort by type takes its descriptions from cache).
    void Fill(const TExtColors& stats, uint64_t totalSize, uint64_t totalAlloc,
              TFileAssociationDetails* cache = nullptr);
    // The totals of a display tree's top-level nodes.
    static void TreeTotals(const TDisplayTree& tree, uint64_t& size, uint64_t& alloc);

    // -1 before the first header click (statistics order).
    int SortColumn() const { return FSortColumn; }
    TSortDirection SortDirection() const { return FSortDirection; }
    // Header click: column 5 does nothing; the sorted column toggles; another starts
    // descending, except "File Type" and "Extension", which start ascending. Sorting by
    // "File Type" first looks up every missing description in cache.
    void HeaderClick(int column, TFileAssociationDetails& cache);
    void Sort(int column, TSortDirection direction, TFileAssociationDetails& cache);

    // Percentage shown: SizePercent while sorted by "Size", else AllocPercent.
    double PercentOf(const TExtNodeData& row) const;
    // Cell text; column 0 without a cached description: the no-extension words for the empty
    // key, else empty (and the extension is queued in cache, when given, for the next batch).
    std::u16string CellText(const TExtNodeData& row, int column,
                            TFileAssociationDetails* cache = nullptr) const;

private:
    int FSortColumn = -1;
    TSortDirection FSortDirection = TSortDirection::Ascending;
};

} // namespace qz
