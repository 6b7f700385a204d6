#include "profiles/DateTime.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace corvane {

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr int64_t kEpochOffsetDays = 25569; // 1899-12-30 .. 1970-01-01

bool DaysInMonthOk(int y, int m, int d) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1) return false;
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\0')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return s;
}

// Reads exactly `digits` digits (1 or 2 for day parts, 4 for years) at pos.
bool ReadNumber(std::string_view s, size_t& pos, size_t minDigits, size_t maxDigits, int& out) {
    size_t start = pos;
    int v = 0;
    while (pos < s.size() && pos - start < maxDigits && s[pos] >= '0' && s[pos] <= '9')
        v = v * 10 + (s[pos++] - '0');
    if (pos - start < minDigits) return false;
    out = v;
    return true;
}

} // namespace

tDateTime EncodeDateTime(const tDateParts& p) {
    int64_t days = DaysFromCivil(p.Year, p.Month, p.Day) + kEpochOffsetDays;
    return static_cast<double>(days) + (p.Hour * 3600 + p.Minute * 60 + p.Second) / 86400.0;
}

tDateParts DecodeDateTime(tDateTime value) {
    int64_t total = std::llround(value * 86400.0);
    int64_t days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    int64_t secs = total - days * 86400;
    tDateParts p;
    CivilFromDays(days - kEpochOffsetDays, p.Year, p.Month, p.Day);
    p.Hour = static_cast<int>(secs / 3600);
    p.Minute = static_cast<int>(secs / 60 % 60);
    p.Second = static_cast<int>(secs % 60);
    return p;
}

tDateTime UnixToDateTime(int64_t seconds) {
    time_t t = static_cast<time_t>(seconds);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return kEpochOffsetDays + seconds / 86400.0;
    return EncodeDateTime({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                           tm.tm_sec});
}

int64_t DateTimeToUnix(tDateTime value) {
    tDateParts p = DecodeDateTime(value);
    std::tm tm{};
    tm.tm_year = p.Year - 1900;
    tm.tm_mon = p.Month - 1;
    tm.tm_mday = p.Day;
    tm.tm_hour = p.Hour;
    tm.tm_min = p.Minute;
    tm.tm_sec = p.Second;
    tm.tm_isdst = -1;
    return static_cast<int64_t>(mktime(&tm));
}

tDateTime NowDateTime() { return UnixToDateTime(static_cast<int64_t>(std::time(nullptr))); }

std::string DateText10(tDateTime value) {
    tDateParts p = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", p.Day, p.Month, p.Year);
    return buf;
}

std::string TimeText8(tDateTime value) {
    tDateParts p = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", p.Hour, p.Minute, p.Second);
    return buf;
}

std::string DateTimeText(tDateTime value) {
    tDateParts p = DecodeDateTime(value);
    if (p.Hour == 0 && p.Minute == 0 && p.Second == 0) return DateText10(value);
    return DateText10(value) + " " + TimeText8(value);
}

std::optional<tDateTime> ParseDate(std::string_view text) {
    std::string_view s = Trim(text);
    size_t pos = 0;
    int d, m, y;
    if (!ReadNumber(s, pos, 1, 2, d) || pos >= s.size() || s[pos++] != '.') return std::nullopt;
    if (!ReadNumber(s, pos, 1, 2, m) || pos >= s.size() || s[pos++] != '.') return std::nullopt;
    if (!ReadNumber(s, pos, 4, 4, y) || pos != s.size()) return std::nullopt;
    if (!DaysInMonthOk(y, m, d)) return std::nullopt;
    return EncodeDateTime({y, m, d, 0, 0, 0});
}

std::optional<tDateTime> ParseTime(std::string_view text) {
    std::string_view s = Trim(text);
    size_t pos = 0;
    int h, mi, sec = 0;
    if (!ReadNumber(s, pos, 1, 2, h) || pos >= s.size() || s[pos++] != ':') return std::nullopt;
    if (!ReadNumber(s, pos, 1, 2, mi)) return std::nullopt;
    if (pos < s.size()) {
        if (s[pos++] != ':' || !ReadNumber(s, pos, 1, 2, sec) || pos != s.size())
            return std::nullopt;
    }
    if (h > 23 || mi > 59 || sec > 59) return std::nullopt;
    return (h * 3600 + mi * 60 + sec) / 86400.0;
}

std::optional<tDateTime> ParseDateTime(std::string_view text) {
    std::string_view s = Trim(text);
    size_t blank = s.find(' ');
    auto date = ParseDate(s.substr(0, blank));
    if (!date) return std::nullopt;
    if (blank == std::string_view::npos) return date;
    auto time = ParseTime(s.substr(blank + 1));
    if (!time) return std::nullopt;
    return *date + *time;
}

std::string DateStamp(tDateTime value) {
    tDateParts p = DecodeDateTime(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", p.Year, p.Month, p.Day);
    return buf;
}

} // namespace corvane
