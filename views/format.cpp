#include "views/format.h"

#include "base/datetime.h"
#include "base/text.h"

#include <clocale>
#include <cmath>
#include <cstring>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace qz {

namespace {

// The digits of v (an unsigned 128-bit value), most significant first.
std::string Digits(unsigned __int128 v) {
    char buf[48];
    size_t n = 0;
    do {
        buf[n++] = char('0' + int(v % 10));
        v /= 10;
    } while (v != 0);
    std::string s(n, '0');
    for (size_t i = 0; i < n; ++i) s[i] = buf[n - 1 - i];
    return s;
}

// Writes the integer digits with a separator every three digits from the right.
void AppendGrouped(std::u16string& out, const std::string& digits, std::u16string_view sep) {
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0) out.append(sep);
        out.push_back(char16_t(digits[i]));
    }
}

// value rounded to decimals, optionally grouped.
std::u16string FormatDecimal(long double value, int decimals, bool grouped,
                             const TNumberFormat& nf) {
    if (decimals < 0) decimals = 0;
    if (decimals > 18) decimals = 18;
    if (std::isnan(value) || std::isinf(value)) value = 0;
    const bool negative = value < 0;
    long double scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    long double scaled = std::round(std::fabs(value) * scale);
    // Beyond 2^127 the text would be meaningless anyway; clamp instead of overflowing.
    const long double kMax = 1.0e38L;
    if (scaled > kMax) scaled = kMax;
    std::string digits = Digits((unsigned __int128)scaled);
    if (digits.size() <= size_t(decimals))
        digits.insert(0, size_t(decimals) + 1 - digits.size(), '0');
    const std::string intPart = digits.substr(0, digits.size() - size_t(decimals));
    const std::string fracPart = digits.substr(digits.size() - size_t(decimals));
    std::u16string out;
    if (negative && scaled != 0) out.push_back(u'-');
    if (grouped)
        AppendGrouped(out, intPart, nf.ThousandSeparator);
    else
        for (char c : intPart) out.push_back(char16_t(c));
    if (decimals > 0) {
        out.append(nf.DecimalSeparator);
        for (char c : fracPart) out.push_back(char16_t(c));
    }
    return out;
}

std::u16string Tr(const char* english) {
    return Utf8ToUtf16(tr(english));
}

} // namespace

TNumberFormat LocaleNumberFormat() {
    TNumberFormat f;
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", (locale_t)0);
    if (!loc) return f; // the environment names no usable locale: English separators
    const char* thou = nl_langinfo_l(THOUSEP, loc);
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    const char* dfmt = nl_langinfo_l(D_FMT, loc);
    if (radix && *radix) f.DecimalSeparator = Utf8ToUtf16(radix);
    // The C locale has no grouping; English grouping is the sensible default there.
    if (thou && *thou)
        f.ThousandSeparator = Utf8ToUtf16(thou);
    else if (f.DecimalSeparator == u",")
        f.ThousandSeparator = u".";
    if (f.ThousandSeparator == f.DecimalSeparator)
        f.ThousandSeparator = f.DecimalSeparator == u"," ? u"." : u",";
    // The C locale's short date ("%m/%d/%y") is ambiguous: use ISO dates there.
    if (!dfmt || std::strcmp(dfmt, "%m/%d/%y") == 0)
        f.DateTimePattern = "%Y-%m-%d %H:%M:%S";
    else
        f.DateTimePattern.clear();
    freelocale(loc);
    return f;
}

std::u16string FormatNumber(double value, int decimals, const TNumberFormat& nf) {
    return FormatDecimal(value, decimals, true, nf);
}

std::u16string FormatCount(uint64_t count, const TNumberFormat& nf) {
    std::u16string out;
    AppendGrouped(out, Digits(count), nf.ThousandSeparator);
    return out;
}

std::u16string FormatCount(int64_t count, const TNumberFormat& nf) {
    if (count >= 0) return FormatCount(uint64_t(count), nf);
    std::u16string out = u"-";
    AppendGrouped(out, Digits(uint64_t(0) - uint64_t(count)), nf.ThousandSeparator);
    return out;
}

std::u16string FormatFixed(double value, int decimals, const TNumberFormat& nf) {
    return FormatDecimal(value, decimals, false, nf);
}

std::u16string FormatPercentCell(double percent, const TFormatSettings& f) {
    return FormatFixed(percent, f.TreeDecimals(), f.Numbers) + u" %";
}

std::u16string FormatPercentSummary(double percent, const TFormatSettings& f) {
    return u"(" + FormatFixed(percent, f.TreeDecimals(), f.Numbers) + u"%)";
}

double Percentage(uint64_t value, uint64_t total) {
    if (total == 0) return 0;
    return double((long double)value / (long double)total * 100.0L);
}

std::u16string FormatSize(uint64_t size, const TFormatSettings& f) {
    const TDisplayUnit unit = f.Unit;
    const int d = f.TreeDecimals();
    const bool dyn = unit == TDisplayUnit::Dynamic;
    const long double v = (long double)size;
    auto scaled = [&](long double div, const char* name) {
        return FormatDecimal(v / div, d, true, f.Numbers) + u" " + Tr(name);
    };
    if (unit == TDisplayUnit::TB || (dyn && size >= (uint64_t(1) << 40)))
        return scaled(1099511627776.0L, "TB");
    if (unit == TDisplayUnit::GB || (dyn && size >= (uint64_t(1) << 30)))
        return scaled(1073741824.0L, "GB");
    if (unit == TDisplayUnit::MB || (dyn && size >= (uint64_t(1) << 20)))
        return scaled(1048576.0L, "MB");
    if (unit == TDisplayUnit::KB || (dyn && size >= 1024)) return scaled(1024.0L, "KB");
    if (size > 0 && dyn) return FormatCount(size, f.Numbers) + u" " + Tr("bytes");
    if (size > 0) return FormatCount(size, f.Numbers);
    return u"0";
}

std::u16string FormatLocalDateTime(TDateTime utc, const TNumberFormat& nf) {
    if (std::isnan(utc) || std::isinf(utc)) return {};
    const TDateTime local = UtcToLocal(utc);
    if (std::trunc(local) == 0 || std::trunc(utc) == 0) return {};
    TDateParts p;
    if (!DecodeDateTime(local, p)) return {};
    std::tm tm{};
    tm.tm_year = p.year - 1900;
    tm.tm_mon = p.month - 1;
    tm.tm_mday = p.day;
    tm.tm_hour = p.hour;
    tm.tm_min = p.minute;
    tm.tm_sec = p.second;
    // Day of week and of year for patterns that show them.
    int y = p.year, m = p.month;
    if (m < 3) {
        m += 12;
        --y;
    }
    tm.tm_wday = (p.day + (13 * (m + 1)) / 5 + y + y / 4 - y / 100 + y / 400 + 6) % 7;
    static const int kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (p.year % 4 == 0 && p.year % 100 != 0) || p.year % 400 == 0;
    tm.tm_yday = kCum[p.month - 1] + p.day - 1 + (leap && p.month > 2 ? 1 : 0);
    tm.tm_isdst = -1;
    const std::string& pattern = nf.DateTimePattern;
    char buf[128];
    size_t n = 0;
    if (pattern.empty()) {
        // The user's time locale, opened once for the process.
        static const locale_t loc = newlocale(LC_TIME_MASK, "", (locale_t)0);
        if (loc) n = strftime_l(buf, sizeof buf, "%x %X", &tm, loc);
        if (n == 0) n = std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    } else {
        n = std::strftime(buf, sizeof buf, pattern.c_str(), &tm);
    }
    return Utf8ToUtf16(std::string_view(buf, n));
}

std::u16string AttributeLetters(uint32_t a) {
    std::u16string s;
    if (a & 0x1) s.push_back(u'R');
    if (a & 0x2) s.push_back(u'H');
    if (a & 0x4) s.push_back(u'S');
    if (a & 0x20) s.push_back(u'A');
    if (a & 0x40) s.push_back(u'D');
    if (a & 0x800) s.push_back(u'C');
    return s;
}

} // namespace qz
