// Day-number date-times: days since 30 December 1899, the fraction being the local time
// of day. Stored texts use one fixed form whatever the locale: "DD.MM.YYYY" and "HH:MM:SS".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

using tDateTime = double;

// Broken-down local date and time.
struct tDateParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0;
};

tDateTime EncodeDateTime(const tDateParts& parts);
tDateParts DecodeDateTime(tDateTime value); // rounded to the nearest second
tDateTime NowDateTime();

// Unix seconds <-> local day numbers.
tDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(tDateTime value);

// Fixed texts: "DD.MM.YYYY", "HH:MM:SS", and date + " " + time (time left out at midnight).
std::string DateText10(tDateTime value);
std::string TimeText8(tDateTime value);
std::string DateTimeText(tDateTime value);

// Parsing of what the text functions write; leading and trailing blanks are ignored.
// ParseDate returns the whole day, ParseTime the fraction, ParseDateTime both ("date" or
// "date time").
std::optional<tDateTime> ParseDate(std::string_view text);
std::optional<tDateTime> ParseTime(std::string_view text);
std::optional<tDateTime> ParseDateTime(std::string_view text);

// "YYYY-MM-DD" of a day number.
std::string DateStamp(tDateTime value);

} // namespace corvane
