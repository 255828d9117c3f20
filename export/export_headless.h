// The exports of a headless run: no dialog, no question, no message. The file names may hold
// "%d" and "%t" (the program's start date and time), their folders are created when missing,
// and the CSV/TSV export applies the command-line include and exclude filters to every row.
#pragma once

#include "export/csv_export.h"
#include "export/filetypes_export.h"

#include <functional>

namespace qz {

// The per-row test of the command-line filters: the include filter (empty: every record) and
// not the exclude filter, sharing one full-path flag, size terms applied. Nil when both
// filters are empty.
std::function<bool(PMFT_RECORD)> MakeExportRowFilter(const TExportOptions& options);

TCsvExportResult HeadlessExportToCSV(TCsvExportJob job, const TExportOptions& options,
                                     TDateTime startLocal);

TFileTypesExportResult HeadlessExportFileTypes(const std::u16string& fileName, TDateTime startLocal,
                                               const TFileTypesView& view,
                                               TFileAssociationDetails& cache);

} // namespace qz
