#include "sources/csv_import_format.h"

#include "base/datetime.h"
#include "base/text.h"

#include <cmath>
#include <cstring>
#include <ctime>

namespace qz {

char CsvSeparatorFor(std::u16string_view fileName) {
    return EndsWithIgnoreAsciiCase(fileName, u".tsv") ? '\t' : ',';
}

void AppendCsvEscaped(std::string& out, std::u16string_view text) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        // Runs of plain ASCII are copied directly; anything else goes through the converter.
        size_t j = i;
        while (j < n && text[j] < 0x80 && text[j] != u'"') ++j;
        if (j > i) {
            const size_t at = out.size();
            out.resize(at + (j - i));
            char* d = out.data() + at;
            for (size_t k = i; k < j; ++k) *d++ = char(text[k]);
            i = j;
            continue;
        }
        if (text[i] == u'"') {
            out.append("\"\"", 2);
            ++i;
            continue;
        }
        while (j < n && text[j] >= 0x80) ++j;
        // Keep a surrogate pair together: the converter joins it.
        Utf16ToUtf8(text.substr(i, j - i), out);
        i = j;
    }
}

std::u16string_view CsvPathName(std::u16string_view name, char16_t sep, std::u16string& scratch) {
    if (sep != u'\\' || name.find(u'\\') == std::u16string_view::npos) return name;
    scratch.assign(name);
    for (char16_t& c : scratch)
        if (c == u'\\') c = u'/';
    return scratch;
}

void AppendCsvQuoted(std::string& out, std::u16string_view text) {
    out.push_back('"');
    AppendCsvEscaped(out, text);
    out.push_back('"');
}

void AppendCsvQuotedUtf8(std::string& out, std::string_view utf8) {
    out.push_back('"');
    for (;;) {
        const size_t q = utf8.find('"');
        if (q == std::string_view::npos) {
            out.append(utf8);
            break;
        }
        out.append(utf8.substr(0, q + 1));
        out.push_back('"');
        utf8.remove_prefix(q + 1);
    }
    out.push_back('"');
}

// ---------------------------------------------------------------- file-name dots

bool CsvFileNameGetsDot(std::u16string_view name) {
    // A run of non-dot characters followed only by dots (possibly none).
    size_t end = name.size();
    while (end > 0 && name[end - 1] == u'.') --end;
    return name.substr(0, end).find(u'.') == std::u16string_view::npos;
}

size_t CsvFileNameWithoutDot(std::string_view name) {
    if (name.empty() || name.back() != '.') return name.size();
    size_t end = name.size();
    while (end > 0 && name[end - 1] == '.') --end;
    if (name.substr(0, end).find('.') != std::string_view::npos) return name.size();
    return name.size() - 1;
}

// ---------------------------------------------------------------- local time

namespace {
constexpr int64_t kBucketSeconds = 86400;

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}
} // namespace

TLocalTimeCache::TLocalTimeCache() = default;

int32_t TLocalTimeCache::SystemOffset(int64_t unixSeconds) {
    time_t t = time_t(unixSeconds);
    struct tm lt {};
    if (!localtime_r(&t, &lt)) return 0;
    return int32_t(lt.tm_gmtoff);
}

int32_t TLocalTimeCache::OffsetAt(int64_t unixSeconds) {
    const int64_t bucket = FloorDiv(unixSeconds, kBucketSeconds);
    Entry& e = FEntries[size_t(uint64_t(bucket) & (FEntries.size() - 1))];
    if (e.Bucket != bucket) {
        // Offsets change at most once within a day: equal figures at both ends mean the whole
        // day has that offset.
        const int32_t first = SystemOffset(bucket * kBucketSeconds);
        const int32_t last = SystemOffset(bucket * kBucketSeconds + kBucketSeconds - 1);
        e.Bucket = bucket;
        e.Offset = first;
        e.Uniform = first == last;
    }
    return e.Uniform ? e.Offset : SystemOffset(unixSeconds);
}

TDateTime TLocalTimeCache::ToLocal(TDateTime utc) {
    if (!std::isfinite(utc) || std::fabs(utc) > 4e6) return utc;
    return utc + OffsetAt(DateTimeToUnix(utc)) / 86400.0;
}

TDateTime TLocalTimeCache::ToUtc(TDateTime local) {
    if (!std::isfinite(local) || std::fabs(local) > 4e6) return local;
    // Two rounds settle the offset also next to summer-time changes.
    const int64_t l = DateTimeToUnix(local);
    const int32_t guess = OffsetAt(l);
    const int32_t off = OffsetAt(l - guess);
    return local - off / 86400.0;
}

// ---------------------------------------------------------------- dates

namespace {
inline void Put2(char* p, int v) {
    p[0] = char('0' + v / 10);
    p[1] = char('0' + v % 10);
}

inline bool Digits(std::string_view s, size_t at, size_t count, int& v) {
    v = 0;
    for (size_t i = at; i < at + count; ++i) {
        const unsigned d = unsigned(static_cast<unsigned char>(s[i])) - '0';
        if (d > 9) return false;
        v = v * 10 + int(d);
    }
    return true;
}
} // namespace

size_t FormatCsvDate(TDateTime utc, TLocalTimeCache& cache, char* out) {
    TDateParts p;
    if (utc == 0 || !DecodeDateTime(cache.ToLocal(utc), p) || p.year < 1 || p.year > 9999) return 0;
    out[0] = char('0' + p.year / 1000);
    out[1] = char('0' + p.year / 100 % 10);
    Put2(out + 2, p.year % 100);
    out[4] = '/';
    Put2(out + 5, p.month);
    out[7] = '/';
    Put2(out + 8, p.day);
    out[10] = ' ';
    Put2(out + 11, p.hour);
    out[13] = ':';
    Put2(out + 14, p.minute);
    out[16] = ':';
    Put2(out + 17, p.second);
    return kCsvDateLength;
}

bool ParseCsvDate(std::string_view text, TLocalTimeCache& cache, TDateTime& utc) {
    if (text.empty()) {
        utc = 0;
        return true;
    }
    if (text.size() != kCsvDateLength) return false;
    for (size_t sep : {4, 7, 10, 13, 16}) {
        const unsigned char c = static_cast<unsigned char>(text[sep]);
        if (c >= '0' && c <= '9') return false;
    }
    TDateParts p;
    if (!Digits(text, 0, 4, p.year) || !Digits(text, 5, 2, p.month) || !Digits(text, 8, 2, p.day) ||
        !Digits(text, 11, 2, p.hour) || !Digits(text, 14, 2, p.minute) ||
        !Digits(text, 17, 2, p.second))
        return false;
    TDateTime local = 0;
    if (!TryEncodeDateTime(p, local)) return false;
    utc = cache.ToUtc(local);
    return true;
}

bool ParseCsvUnsigned(std::string_view text, uint64_t max, uint64_t& value) {
    if (text.empty() || text.size() > 20) return false;
    uint64_t v = 0;
    for (char ch : text) {
        const unsigned d = unsigned(static_cast<unsigned char>(ch)) - '0';
        if (d > 9 || d > max || v > (max - d) / 10) return false;
        v = v * 10 + d;
    }
    value = v;
    return true;
}

} // namespace qz
