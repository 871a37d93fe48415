#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Date-time values: days since 1899-12-30 as a double, the time of day as
// the fraction. One minute is 1/1440, one second 1/86400.
namespace tw {

using TDateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kOneSecond = 1.0 / 86400.0;
inline constexpr double kOneMinute = 1.0 / 1440.0;
inline constexpr double kDayStartOffset = 1.0 / 6.0;  // 04:00, where the accounting day starts
// Seconds from 1899-12-30 to 1970-01-01.
inline constexpr int64_t kUnixEpochDays = 25569;

struct DateTimeParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

bool IsValidDate(int year, int month, int day) noexcept;
// EConvertError "Invalid argument to date encode" for an impossible date.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond = 0);
TDateTime EncodeDateTime(const DateTimeParts& parts);
// Rounded to the millisecond, as every text form of a date-time.
DateTimeParts DecodeDateTime(TDateTime value) noexcept;

// The first 04:00 after `now`: when the day's totals start over next.
TDateTime NextDayStart(TDateTime now) noexcept;

// The same day and time `months` calendar months later (or earlier); a day
// the target month lacks becomes its last day (31 January + 1 = 28/29 February).
TDateTime IncMonth(TDateTime value, int months);

TDateTime UnixToDateTime(double unixSeconds) noexcept;
double DateTimeToUnix(TDateTime value) noexcept;

// "yyyy-mm-dd hh:nn:ss", "yyyy-mm-dd", "hh:nn".
std::string FormatDateTimeText(TDateTime value);
std::string FormatDateText(TDateTime value);
std::string FormatHoursMinutes(TDateTime value);

// "yyyy-m-d": exactly three numbers separated by "-". Another count is a
// precondition failure; a part that is no number raises EConvertError.
TDateTime ParseDateText(std::string_view text);
// The inverse of FormatDateTimeText; EConvertError when the text is not of that form.
TDateTime ParseDateTimeText(std::string_view text);

}  // namespace tw
