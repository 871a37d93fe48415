#include "base/DateTime.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <tuple>

#include "base/Exceptions.h"

namespace tw {
namespace {

TEST(DateTimeTest, DatesEncodeAndDecode) {
    // clang-format off
    const std::tuple<int, int, int, double> cases[] = {
        {1899, 12, 30, 0}, {1899, 12, 29, -1}, {1900, 1, 1, 2}, {1970, 1, 1, 25569},
        {2011, 4, 21, 40654}, {2024, 2, 29, 45351}, {9999, 12, 31, 2958465}, {1, 1, 1, -693593}};
    // clang-format on
    for (const auto& [year, month, day, serial] : cases) {
        EXPECT_EQ(EncodeDate(year, month, day), serial);
        const DateTimeParts p = DecodeDateTime(serial);
        EXPECT_EQ(std::tuple(p.year, p.month, p.day, p.hour), std::tuple(year, month, day, 0));
    }
}

TEST(DateTimeTest, ImpossibleDatesAndTimesRaise) {
    for (auto [y, m, d] : {std::tuple{2023, 2, 29},
                           {2100, 2, 29},
                           {2024, 13, 1},
                           {2024, 4, 31},
                           {0, 1, 1},
                           {10000, 1, 1},
                           {2024, 0, 10},
                           {2024, 1, 0}}) {
        EXPECT_THROW(EncodeDate(y, m, d), EConvertError) << y << "-" << m << "-" << d;
    }
    EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
    EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 60, 0), EConvertError);
    EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
}

// Every second of a day must come back as itself: a text form that
// truncated instead of rounding would show many of them one second early.
TEST(DateTimeTest, EverySecondOfADayFormatsAndParsesBack) {
    const TDateTime day = EncodeDate(2024, 3, 31);
    char expected[40];
    for (int s = 0; s < 86400; ++s) {
        const TDateTime value = day + EncodeTime(s / 3600, s / 60 % 60, s % 60);
        std::snprintf(expected, sizeof expected, "2024-03-31 %02d:%02d:%02d", s / 3600, s / 60 % 60,
                      s % 60);
        const std::string text = FormatDateTimeText(value);
        ASSERT_EQ(text, expected);
        ASSERT_NEAR(ParseDateTimeText(text), value, 1e-9) << text;
    }
}

TEST(DateTimeTest, TextForms) {
    const TDateTime value = EncodeDate(2011, 4, 21) + EncodeTime(7, 5, 9);
    EXPECT_EQ(FormatDateTimeText(value), "2011-04-21 07:05:09");
    EXPECT_EQ(FormatDateText(value), "2011-04-21");
    EXPECT_EQ(FormatHoursMinutes(value), "07:05");
    EXPECT_EQ(FormatDateText(EncodeDate(987, 6, 5)), "0987-06-05");
    // Half a millisecond before midnight is the next day in every text form.
    const TDateTime nearlyMidnight = EncodeDate(2011, 4, 21) + (86400 - 0.0004) / 86400.0;
    EXPECT_EQ(FormatDateTimeText(nearlyMidnight), "2011-04-22 00:00:00");
}

TEST(DateTimeTest, UnixSecondsConvertBothWays) {
    EXPECT_EQ(UnixToDateTime(86400 * 1.5), 25570.5);
    EXPECT_DOUBLE_EQ(DateTimeToUnix(EncodeDate(2024, 1, 15) + 0.5), 1705320000.0);
}

TEST(ParseDateTextTest, ReadsYearMonthDay) {
    for (const char* text : {"2011-4-21", "2011-04-21"})
        EXPECT_EQ(ParseDateText(text), 40654) << text;
    EXPECT_EQ(ParseDateText("2024-2-29"), 45351);
}

TEST(ParseDateTextTest, WrongPartCountIsAnAssertionNamingTheUnit) {
    for (const char* text : {"2011-4", "2011", "", "2011-4-21-1", "-2011-4-21"}) {
        try {
            ParseDateText(text);
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const EAssertionFailed& e) {
            EXPECT_STREQ(e.what(), "Assertion failure (OnlineTimeApplicationDefs)") << text;
        }
    }
}

TEST(ParseDateTextTest, NonNumericOrImpossiblePartsRaiseConversionErrors) {
    for (const char* text : {"2011-x-21", "2011-4-", "2011-4-21x", "2011-2-30", "2011-4.5-1"}) {
        EXPECT_THROW(ParseDateText(text), EConvertError) << text;
    }
}

TEST(ParseDateTimeTextTest, RefusesOtherShapes) {
    for (const char* text : {"2024-01-15 12:00", "2024-01-15 12:00:00x", "2024-13-01 00:00:00",
                             "2024-01-15", "2024-01-15 24:00:00", "yesterday"}) {
        EXPECT_THROW(ParseDateTimeText(text), EConvertError) << text;
    }
}

}  // namespace
}  // namespace tw
