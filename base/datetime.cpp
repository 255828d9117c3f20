#include "base/datetime.h"

#include <chrono>
#include <cmath>

namespace qz {

namespace {

// Days from 0001-01-01 (day 0) for a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468; // days since 1970-01-01
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t yy = int64_t(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(yy + (m <= 2));
}

constexpr int64_t kEpochDays = 25569; // 1899-12-30 -> 1970-01-01

bool IsLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Combine a day number (days since 1899-12-30) and a time fraction.
TDateTime Compose(int64_t day, double frac) {
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

} // namespace

bool TryEncodeDateTime(const TDateParts& p, TDateTime& out) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (p.year < 1 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1) return false;
    int dim = kDays[p.month - 1] + (p.month == 2 && IsLeap(p.year) ? 1 : 0);
    if (p.day > dim) return false;
    if (p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
        p.second > 59 || p.msec < 0 || p.msec > 999)
        return false;
    int64_t day = DaysFromCivil(p.year, unsigned(p.month), unsigned(p.day)) + kEpochDays;
    double frac =
        (p.hour * 3600000.0 + p.minute * 60000.0 + p.second * 1000.0 + p.msec) / 86400000.0;
    out = Compose(day, frac);
    return true;
}

bool DecodeDateTime(TDateTime dt, TDateParts& out) {
    if (!std::isfinite(dt) || dt < -693594.0 || dt >= 2958466.0) return false;
    // Milliseconds from 1899-12-30 00:00, honouring the convention for negative values.
    double whole = std::trunc(dt);
    double frac = std::fabs(dt - whole);
    int64_t day = int64_t(whole);
    int64_t ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000) { // rounding carried into the next day
        ms -= 86400000;
        day += dt >= 0 ? 1 : -1;
    }
    CivilFromDays(day - kEpochDays, out.year, out.month, out.day);
    out.hour = int(ms / 3600000);
    out.minute = int(ms / 60000 % 60);
    out.second = int(ms / 1000 % 60);
    out.msec = int(ms % 1000);
    return out.year >= 1 && out.year <= 9999;
}

TDateTime FileTimeToDateTime(uint64_t filetime) {
    if (filetime >= 0x8000000000000000ull) return kDate1601;
    uint64_t ms = filetime / 10000;
    int64_t days = int64_t(ms / 86400000); // days since 1601-01-01
    int64_t msOfDay = int64_t(ms % 86400000);
    int64_t day = days + int64_t(kDate1601); // days since 1899-12-30
    // Year 10000 starts 2958466 days after 1899-12-30.
    if (day >= 2958466) return kDate1601;
    return Compose(day, double(msOfDay) / 86400000.0);
}

TDateTime UnixToDateTime(int64_t sec, int64_t nsec) {
    int64_t ms = sec * 1000 + nsec / 1000000;
    int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t msOfDay = ms - day * 86400000;
    return Compose(day + kEpochDays, double(msOfDay) / 86400000.0);
}

int64_t DateTimeToUnix(TDateTime dt) {
    // The fraction is the time of day whatever the sign of the day.
    double whole = std::trunc(dt);
    double frac = std::fabs(dt - whole);
    return int64_t(std::llround((whole - double(kEpochDays) + frac) * 86400.0));
}

TDateTime LocalOffsetAt(TDateTime utc) {
    time_t t = time_t(DateTimeToUnix(utc));
    struct tm lt {};
    if (!localtime_r(&t, &lt)) return 0;
    return double(lt.tm_gmtoff) / 86400.0;
}

TDateTime LocalToUtc(TDateTime local) {
    // Two rounds settle the offset also next to summer-time changes.
    TDateTime utc = local - LocalOffsetAt(local);
    return local - LocalOffsetAt(utc);
}

TDateTime NowUtc() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return UnixToDateTime(ms / 1000, (ms % 1000) * 1000000);
}

TDateTime NowLocal() {
    return UtcToLocal(NowUtc());
}

} // namespace qz
