// How one Linux directory entry becomes the fields of a scan record: the Windows attribute
// bits the rest of the program understands, and day-based UTC dates.
#pragma once

#include "engine/types.h"
#include "sources/dirscan_linux.h"

#include <string_view>

namespace qz::dirscan {

constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrSparse = 0x200;
constexpr uint32_t kAttrReparsePoint = 0x400;

// Attribute bits of an entry: directory; read-only when the owner cannot write; hidden for
// names starting with "."; reparse point for symbolic links; sparse for a regular file with
// fewer bytes on disk than its size.
uint32_t EntryAttributes(const TEntryMeta& m, std::string_view name);

// A Unix time as a day-based date-time; 0 when it falls outside the years 1..9999.
TDateTime EntryTime(const TUnixTime& t);

// The record fields that come from the entry itself: DOSAttrib, FileRecFlags, FileSize,
// AllocSize and the three dates. A folder carries no size of its own (its totals come from
// its content, as for every other source). The creation date is the birth time where the file
// system keeps one, otherwise the status-change time.
void FillRecordFromEntry(TMFT_RECORD& r, const TEntryMeta& m, std::string_view name);

} // namespace qz::dirscan
