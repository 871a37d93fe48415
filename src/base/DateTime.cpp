#include "base/DateTime.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace tw {

namespace {

bool IsLeapYear(int year) noexcept {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) noexcept {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) noexcept {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) noexcept {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

}  // namespace

bool IsValidDate(int year, int month, int day) noexcept {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= DaysInMonth(year, month);
}

TDateTime EncodeDate(int year, int month, int day) {
    if (!IsValidDate(year, month, day)) {
        throw EConvertError("Invalid argument to date encode");
    }
    return double(DaysFromCivil(year, month, day) + kUnixEpochDays);
}

TDateTime NextDayStart(TDateTime now) noexcept {
    const TDateTime dayStart = std::floor(now) + kDayStartOffset;
    return now >= dayStart ? dayStart + 1 : dayStart;
}

TDateTime IncMonth(TDateTime value, int months) {
    const double day = std::floor(value);
    int year = 0, month = 0, dayOfMonth = 0;
    CivilFromDays(int64_t(day) - kUnixEpochDays, year, month, dayOfMonth);
    const int monthIndex = year * 12 + (month - 1) + months;
    year = monthIndex / 12;
    month = monthIndex % 12 + 1;
    dayOfMonth = std::min(dayOfMonth, DaysInMonth(year, month));
    return EncodeDate(year, month, dayOfMonth) + (value - day);
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        throw EConvertError("Invalid argument to time encode");
    }
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / 86400000.0;
}

TDateTime EncodeDateTime(const DateTimeParts& p) {
    return EncodeDate(p.year, p.month, p.day) +
           EncodeTime(p.hour, p.minute, p.second, p.millisecond);
}

DateTimeParts DecodeDateTime(TDateTime value) noexcept {
    const int64_t totalMs = std::llround(value * 86400000.0);
    int64_t days = totalMs / 86400000;
    int64_t ms = totalMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    DateTimeParts p;
    CivilFromDays(days - kUnixEpochDays, p.year, p.month, p.day);
    p.hour = int(ms / 3600000);
    p.minute = int(ms / 60000 % 60);
    p.second = int(ms / 1000 % 60);
    p.millisecond = int(ms % 1000);
    return p;
}

TDateTime UnixToDateTime(double unixSeconds) noexcept {
    return unixSeconds / kSecondsPerDay + double(kUnixEpochDays);
}

double DateTimeToUnix(TDateTime value) noexcept {
    return (value - double(kUnixEpochDays)) * kSecondsPerDay;
}

std::string FormatDateTimeText(TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                  p.hour, p.minute, p.second);
    return buffer;
}

std::string FormatDateText(TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", p.year, p.month, p.day);
    return buffer;
}

std::string FormatHoursMinutes(TDateTime value) {
    const DateTimeParts p = DecodeDateTime(value);
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d", p.hour, p.minute);
    return buffer;
}

TDateTime ParseDateText(std::string_view text) {
    const auto parts = Split(text, '-');
    Require(parts.size() == 3, "OnlineTimeApplicationDefs");
    return EncodeDate(StrToInt(parts[0]), StrToInt(parts[1]), StrToInt(parts[2]));
}

TDateTime ParseDateTimeText(std::string_view text) {
    int y, mo, d, h, mi, s;
    char tail;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &y, &mo, &d, &h, &mi, &s, &tail) !=
        6) {
        throw EConvertError("'" + copy + "' is not a valid date and time");
    }
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s);
}

}  // namespace tw
