// The process-wide name collation: every name comparison folds each UTF-16 code unit through
// NameCollationTable, so comparisons ignore case and common Latin accents.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

using TCollationTable = std::array<char16_t, 65536>;

// The table in force. Written only at start-up and while an NTFS volume scan is constructed
// (its $UpCase replaces it), never while a scan thread runs.
extern TCollationTable NameCollationTable;

// Fold accents and ASCII case in a table (see collation.cpp).
void FoldCollationTable(TCollationTable& table);
inline void FoldCollationTable() {
    FoldCollationTable(NameCollationTable);
}

// The platform's default: upper-case mapping of every code unit, then folded.
void BuildDefaultCollationTable(TCollationTable& table);

// Initial content at program start: "upcase.dat" (exactly 131072 bytes, little-endian units)
// from programDir when present, used without folding; otherwise the platform default.
// Returns true when upcase.dat was used.
bool InitNameCollationTable(const std::string& programDir);

// Replace the table with a volume's $UpCase data (up to 65536 little-endian units; the rest
// keeps the identity mapping), then fold.
void LoadCollationFromUpcase(const uint8_t* data, size_t bytes);

// The duplicate-normalisation table: the platform default, never a volume's $UpCase.
const TCollationTable& DefaultFoldTable();

// Compare two NUL-terminated names through NameCollationTable; nil sorts as described:
// only a present -> 1, only b present -> -1, neither -> 0.
int CompareNames(const char16_t* a, const char16_t* b);
// The same for names of known length (no NUL needed).
int CompareNames(std::u16string_view a, std::u16string_view b);

} // namespace qz
