// Day-based date-times (whole days since 1899-12-30, fraction = time of day) and their
// conversions. Dates before 1899-12-30 follow the usual convention: the whole part is the
// (negative) day and the time of day is subtracted, so -1.25 is 1899-12-29 06:00.
#pragma once

#include <cstdint>
#include <ctime>

namespace qz {

using TDateTime = double; // whole days since 1899-12-30, fraction = time of day (UTC in records)

constexpr TDateTime kDate1601 = -109205.0; // 1601-01-01 00:00, the value of FILETIME 0
constexpr TDateTime kUnixEpoch = 25569.0;  // 1970-01-01 00:00

struct TDateParts {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0, msec = 0;
};

// Calendar parts to a date-time; false when the date is not valid (year 1..9999).
bool TryEncodeDateTime(const TDateParts& p, TDateTime& out);
// A date-time to calendar parts (millisecond resolution); false outside years 1..9999.
bool DecodeDateTime(TDateTime dt, TDateParts& out);

// NTFS FILETIME (100 ns since 1601-01-01 UTC) to a date-time, millisecond resolution. A value
// that does not convert to a calendar time of years 1601..9999 gives 1601-01-01.
TDateTime FileTimeToDateTime(uint64_t filetime);

// Seconds and nanoseconds since the Unix epoch to a date-time (millisecond resolution).
TDateTime UnixToDateTime(int64_t sec, int64_t nsec = 0);
// A date-time to whole seconds since the Unix epoch (rounded to the nearest second).
int64_t DateTimeToUnix(TDateTime dt);

// Offset of local time from UTC at the given UTC date-time, in days (follows the system's
// time zone, including summer time of that date).
TDateTime LocalOffsetAt(TDateTime utc);
inline TDateTime UtcToLocal(TDateTime utc) {
    return utc + LocalOffsetAt(utc);
}
TDateTime LocalToUtc(TDateTime local);

// Current time.
TDateTime NowUtc();
TDateTime NowLocal();

} // namespace qz
