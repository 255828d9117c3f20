// Size, number, percentage, date and attribute texts shared by every view, the treemap labels,
// the status lines and the clipboard text.
//
// Sizes are unsigned 64-bit byte counts shown in the display unit the user picked (dynamic,
// bytes, KB, MB, GB or TB; binary units, K = 1024) with TreeDecimals decimals. Numbers use the
// thousands and decimal separators of the user's locale (LocaleNumberFormat reads them from
// the environment). Every text goes through tr().
//
// Nothing here is process-wide: every caller passes the settings it formats with
// (TFormatSettings, a plain value). A view keeps its own copy and the window replaces it when
// the user changes the unit, so a drawing or an export on another thread never sees a
// setting change half-way.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <string>

namespace qz {

// The display units of the Options menu, in menu order.
enum class TDisplayUnit : uint8_t { Dynamic = 0, Bytes, KB, MB, GB, TB };

// Separators used by the "n" (grouped) and "f" (plain) number formats.
struct TNumberFormat {
    std::u16string ThousandSeparator = u",";
    std::u16string DecimalSeparator = u".";
    // Date and time pattern for strftime (local time). Empty: the locale's short date and
    // time ("%x %X"), or ISO "%Y-%m-%d %H:%M:%S" in the C/POSIX locale.
    std::string DateTimePattern;
};
// The locale's format as read from the environment (LC_NUMERIC / LC_TIME).
TNumberFormat LocaleNumberFormat();

// Everything the texts of a view depend on.
struct TFormatSettings {
    TDisplayUnit Unit = TDisplayUnit::Dynamic;
    // Decimals of scaled sizes and of percentages (setting "decimalplaces", default 1); used
    // clamped to 0..4.
    int Decimals = 1;
    TNumberFormat Numbers;
    int TreeDecimals() const { return Decimals < 0 ? 0 : Decimals > 4 ? 4 : Decimals; }
};

// The size text for the settings' display unit and decimals: "0", "1,023 bytes", "1.0 KB",
// "1,024.0 GB", "1.0 TB"; with Byte values a bare grouped number; a fixed unit applies to
// zero too ("0.0 KB").
std::u16string FormatSize(uint64_t size, const TFormatSettings& f);

// "%1.<d>n": value rounded to d decimals with thousands separators ("1,234.5").
std::u16string FormatNumber(double value, int decimals, const TNumberFormat& nf);
// "%1.0n" of a count, exact for every 64-bit value ("1,234,567").
std::u16string FormatCount(uint64_t count, const TNumberFormat& nf);
std::u16string FormatCount(int64_t count, const TNumberFormat& nf);
inline std::u16string FormatCount(int32_t count, const TNumberFormat& nf) {
    return FormatCount(int64_t(count), nf);
}
// "%1.<d>f": rounded to d decimals, no thousands separators ("75.0").
std::u16string FormatFixed(double value, int decimals, const TNumberFormat& nf);
// A percentage in a grid cell: "%1.<TreeDecimals>f %%" ("42.5 %"). Not-a-number and
// infinities show as 0.
std::u16string FormatPercentCell(double percent, const TFormatSettings& f);
// A percentage in the space summary: "(" + "%1.<TreeDecimals>f%%" + ")" ("(75.0%)").
std::u16string FormatPercentSummary(double percent, const TFormatSettings& f);

// value / total * 100, and 0 when total is 0 (never a division by zero).
double Percentage(uint64_t value, uint64_t total);

// A record date (UTC) as local date and time; empty when the whole-day part is 0.
std::u16string FormatLocalDateTime(TDateTime utc, const TNumberFormat& nf);

// The letters of the set attribute bits: R (0x1), H (0x2), S (0x4), A (0x20), D (0x40),
// C (0x800), in that order.
std::u16string AttributeLetters(uint32_t dosAttrib);

} // namespace qz
