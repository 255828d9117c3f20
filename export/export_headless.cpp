#include "export/export_headless.h"

#include "filters/filters.h"

#include <memory>

namespace qz {

std::function<bool(PMFT_RECORD)> MakeExportRowFilter(const TExportOptions& options) {
    auto pair = std::make_shared<TFilterPair>();
    ParseFilterPair(NormalizeFilterText(options.FilterInclude),
                    NormalizeFilterText(options.FilterExclude), options.FilterFullPath, *pair);
    if (pair->include.empty() && pair->exclude.empty()) return {};
    return [pair](PMFT_RECORD rec) {
        if (!pair->include.empty() && !MatchFilters(rec, pair->include, pair->fullPath, true))
            return false;
        return pair->exclude.empty() || !MatchFilters(rec, pair->exclude, pair->fullPath, true);
    };
}

TCsvExportResult HeadlessExportToCSV(TCsvExportJob job, const TExportOptions& options,
                                     TDateTime startLocal) {
    job.FileName = ExpandExportFileName(job.FileName, startLocal);
    if (job.FileName != u"-") CreateFolderOf(job.FileName);
    if (!job.RowFilter) job.RowFilter = MakeExportRowFilter(options);
    return ExportToCSV(job, options);
}

TFileTypesExportResult HeadlessExportFileTypes(const std::u16string& fileName, TDateTime startLocal,
                                               const TFileTypesView& view,
                                               TFileAssociationDetails& cache) {
    const std::u16string name = ExpandExportFileName(fileName, startLocal);
    if (name != u"-") CreateFolderOf(name);
    return ExportFileTypesCSV(name, view, cache);
}

} // namespace qz
