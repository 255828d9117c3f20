// The file-types export: the rows of the file-types view as a comma-separated UTF-8 file
// (whatever the file name's extension), one line per extension in the view's order:
// "extension","description",percent,size,allocated,files.
//
// The percentage is the allocated share while the view is sorted by "Allocated", the size
// share otherwise, always with three decimals and "." whatever the locale. Descriptions of
// extensions not cached yet are looked up in one batch before any line is written.
#pragma once

#include "views/filetypes.h"

#include <string>

namespace qz {

// Header and rows, CR LF after every line, without the byte-order mark.
void AppendFileTypesCSV(std::string& out, const TFileTypesView& view,
                        TFileAssociationDetails& cache);

struct TFileTypesExportResult {
    bool Ok = true;
    std::string Error; // "Cannot create ...: ..." / "Cannot write ...: ..."
};
// Writes the file ("-" = standard output) through the 64 KiB buffered writer; a failure
// leaves no half-written file under the name.
TFileTypesExportResult ExportFileTypesCSV(const std::u16string& fileName,
                                          const TFileTypesView& view,
                                          TFileAssociationDetails& cache);

} // namespace qz
