// A CSV/TSV export opened again as a scan source: rebuilds the tree from its rows, with the
// sizes, dates, attributes and counts that were exported.
//
// The reader opens files edited in a spreadsheet or by hand: a line that is not a data row (no
// quoted path first, or text after its closing quote) is passed over, a number that does not
// read (empty, not a number, out of range, missing) is 0, and an empty date is an unknown one;
// an item listed twice is one record with the later row's figures; rows outside the tree of
// the first rows (another drive, a path of the other kind) are passed over. All of these are
// counted in the scan's Warnings. What cannot be a scan's export stops the import at that
// line: a missing or wrong header, a last line cut short (too few fields and no line end, or
// a quote never closed), a NUL byte or other control bytes outside a path, a row longer than
// the 1 MiB read buffer, a date that is present but not a valid one. The scan then reports
// "Failed to import CSV file (line N)" with the row's first line; rows read before stay in
// the scan. The file is only read.
//
// Paths: a file whose first path begins with "/" uses "/" as its only separator (a "\" is part
// of a name); any other file uses "\", where a "/" inside a name stands for a "\" of the name.
// The first folder row is the source root, named by its path; without one, the top folder of
// the first file row's path. Folder paths are compared exactly, so names that differ only in
// case stay apart.
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

// The scan-source pass TSourcePasses::ImportCSV: LoadCSVFile of the scan's FSource.
bool ImportCSVSource(TNTFS_FILES& scan, int64_t& failLine);

} // namespace qz
