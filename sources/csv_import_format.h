// The CSV/TSV export format pieces that the writer (export/) and the reader (this library)
// must agree on: separator choice, column titles, field quoting, the "." suffix of file names
// and the date fields in local time.
//
// Quoting follows RFC 4180: a quoted field doubles every '"' it contains, and may hold the
// separator and line breaks. Windows paths never contain '"', so for them nothing changes;
// Linux names may, and still read back unchanged.
//
// Paths use their scan's separator: "/" when the root's name begins with "/", else "\". In a
// "\" path a "\" that belongs to a name (possible on NTFS volumes written by Linux) is written
// as "/", which no NTFS name holds, and read back as "\"; in a "/" path "\" is an ordinary
// character of a name.
//
// Text is UTF-8; a name unit U+DC80..U+DCFF (a byte that was not valid UTF-8 in a Linux file
// name) is written as that original byte, and reading converts it back.
#pragma once

#include "engine/types.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

// A tab for a file name ending in ".tsv" (ASCII case ignored), a comma otherwise.
char CsvSeparatorFor(std::u16string_view fileName);

// The seven base titles (English; they pass through tr() when written) and the option group
// titles, which are never translated.
inline constexpr std::array<const char*, 7> kCsvBaseTitles = {
    "File Name", "Size", "Allocated", "Modified", "Attributes", "Files", "Folders"};
inline constexpr const char* kTitleRecNo = "MFTRECNO";
inline constexpr const char* kTitleParentRecNo = "MFTPARENTRECNO";
inline constexpr const char* kTitleLastAccess = "LASTACCESSDATE";
inline constexpr const char* kTitleCreated = "CREATEDDATE";
inline constexpr const char* kTitleFolderSize = "FOLDERSIZE";
inline constexpr const char* kTitleFolderAlloc = "FOLDERALLOCATED";
inline constexpr const char* kTitleRoot = "ROOT";
inline constexpr const char* kTitleFolderName = "FOLDERNAME";
inline constexpr const char* kTitleFileName = "FILENAME";
inline constexpr const char* kTitleFileExt = "FILEEXT";
inline constexpr const char* kTitlePercent = "PERCENTOFPARENT";
inline constexpr const char* kTitleDriveCapacity = "DRIVECAPACITY";
inline constexpr const char* kTitleFreeSpace = "FREESPACE";
inline constexpr const char* kTitleUsedSpace = "USEDSPACE";
inline constexpr const char* kTitleReservedSpace = "RESERVEDSPACE";

// Appends text as a quoted field: '"', the UTF-8 text with every '"' doubled, '"'.
void AppendCsvQuoted(std::string& out, std::u16string_view text);
// The same for text that is UTF-8 already.
void AppendCsvQuotedUtf8(std::string& out, std::string_view utf8);
// Appends the UTF-8 text with every '"' doubled (the inside of a quoted field).
void AppendCsvEscaped(std::string& out, std::u16string_view text);
// A name as it stands in a path with separator sep: in a "\" path every "\" of the name
// becomes "/" (scratch holds the result when one does); in a "/" path the name is unchanged.
std::u16string_view CsvPathName(std::u16string_view name, char16_t sep, std::u16string& scratch);

// File names in the path column. A file whose name has no "." gets one appended, so that a
// file row never ends with the separator and a name without extension stays visible as
// such. A name that is a run of non-dot characters followed only by dots ("README.",
// "a..") gets one more, so that reading removes exactly one dot again and "README" and
// "README." stay distinct. Files written by the rule without that extra dot read back the
// same, as names ending in "." do not occur on volumes written by Windows.
bool CsvFileNameGetsDot(std::u16string_view name);
// The reading side: the length of the stored name without the added dot (UTF-8 bytes).
size_t CsvFileNameWithoutDot(std::string_view name);

// Local offsets from UTC, cached per UTC day. The system's time-zone rules are asked once per
// day that a date falls in (and exactly, per date, on the few days on which the offset
// changes), so dates of millions of rows convert quickly and still follow summer time and
// historical offsets date by date. Not thread-safe: one per
// export or import.
class TLocalTimeCache {
public:
    TLocalTimeCache();
    // Seconds east of UTC in force at the given UTC second.
    int32_t OffsetAt(int64_t unixSeconds);
    TDateTime ToLocal(TDateTime utc);
    // The UTC date-time of a local one (an hour that occurs twice resolves to one of them).
    TDateTime ToUtc(TDateTime local);

private:
    struct Entry {
        int64_t Bucket = INT64_MIN;
        int32_t Offset = 0;
        bool Uniform = false;
    };
    static int32_t SystemOffset(int64_t unixSeconds);
    std::array<Entry, 8192> FEntries; // direct-mapped by day: 22 years without collisions
};

// Length of a date field: "yyyy/mm/dd HH:nn:ss".
inline constexpr size_t kCsvDateLength = 19;
// Writes the local date and time of a UTC date-time as "yyyy/mm/dd HH:nn:ss" into out (19
// characters, no terminator) and returns 19. An unknown date (0, the value of a date the
// source could not give) and one that cannot be converted are written as nothing: returns 0.
size_t FormatCsvDate(TDateTime utc, TLocalTimeCache& cache, char* out);
// Reads a date field back to UTC: 19 characters, digits at the digit positions, anything but a
// digit at the separator positions (so other date and time separators read too), and a valid
// calendar date and time; an empty field is an unknown date (0). False otherwise.
bool ParseCsvDate(std::string_view text, TLocalTimeCache& cache, TDateTime& utc);

// An unsigned decimal number without sign, blanks or grouping that fits into max. False for
// anything else (an empty text included).
bool ParseCsvUnsigned(std::string_view text, uint64_t max, uint64_t& value);

} // namespace qz
