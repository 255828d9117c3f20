// A CSV/TSV export opened again as a scan source: rebuilds the tree from its rows, with the
// sizes, dates, attributes and counts that were exported.
//
// The reader checks what it reads: a missing header, a row that is not a quoted path followed
// by the header's number of fields (four fewer on rows without the drive-capacity figures), a
// number or a date that does not read, an unclosed quote, a row longer than the 1 MiB read
// buffer or a NUL byte all stop the import at that row, and the scan reports
// "Failed to import CSV file (line N)" with the row's first line. Rows read before stay in the
// scan. The file is only read.
//
// Paths: a file whose first path begins with "/" uses "/" as its only separator (a "\" is part
// of a name); any other file uses "\". Folder paths are compared exactly, so names that
// differ only in case stay apart.
#pragma once

#include "engine/scan.h"

#include <cstdint>
#include <string>

namespace qz {

inline constexpr size_t kCsvReadBuffer = size_t(1) << 20;

// Reads the file at path into scan (records from 5 upward, parents linked, CSVHasFilesFlag
// and CSVDinfo set). Returns true on success; false with the failing line in failLine (0 when
// the file holds no folder at all: the scan then has a lone root named " "). Raises
// std::runtime_error when the file cannot be opened. bufferSize is also the longest row
// accepted (tests use small ones).
bool LoadCSVFile(TNTFS_FILES& scan, const std::u16string& path, int64_t& failLine,
                 size_t bufferSize = kCsvReadBuffer);

// The scan-source pass for SourcePasses().ImportCSV: LoadCSVFile of the scan's FSource.
bool ImportCSVSource(TNTFS_FILES& scan, int64_t& failLine);

} // namespace qz
