#include "base/Strings.h"

#include <gtest/gtest.h>

#include "base/Exceptions.h"

namespace tw {
namespace {

TEST(StringsTest, CaseFoldingTouchesAsciiLettersOnly) {
    EXPECT_TRUE(SameText("/USR/Bin/Firefox", "/usr/bin/firefox"));
    EXPECT_FALSE(SameText("\xC3\x84", "\xC3\xA4"));  // Ä and ä stay different
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_LT(CompareText("apple", "Banana"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareText("ab", "ABC"), 0);
    EXPECT_EQ(LowerCase("MiXeD-\xC3\x84"), "mixed-\xC3\x84");
    EXPECT_TRUE(ContainsText("Notepad++", "NOTE"));
    EXPECT_FALSE(ContainsText("note", "notes"));
}

TEST(StringsTest, QuotedStrDoublesInnerQuotes) {
    EXPECT_EQ(QuotedStr(""), "''");
    EXPECT_EQ(QuotedStr("O'Brien's"), "'O''Brien''s'");
    EXPECT_EQ(QuotedStr("line\r\nSELECT 1"), "'line\r\nSELECT 1'");
}

TEST(StringsTest, TrimRemovesSpacesAndControlCharacters) {
    EXPECT_EQ(Trim(" \t\r\n x y \x01"), "x y");
    EXPECT_EQ(Trim("   "), "");
}

TEST(StringsTest, IntegerConversionIsStrict) {
    EXPECT_EQ(StrToInt(" 42 "), 42);
    EXPECT_EQ(StrToInt("-7"), -7);
    EXPECT_EQ(StrToInt64("9000000000"), 9000000000LL);
    for (const char* bad : {"", "4x", "x", "99999999999", "1.5"}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << bad;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

TEST(StringsTest, FloatsUseTheGivenSeparatorBothWays) {
    EXPECT_DOUBLE_EQ(StrToFloat("46123,5", ','), 46123.5);
    EXPECT_THROW(StrToFloat("46123.5", ','), EConvertError);
    EXPECT_THROW(StrToFloat("", ','), EConvertError);
    EXPECT_EQ(FloatToStr(46123.5, ','), "46123,5");
    EXPECT_EQ(FloatToStr(3, ','), "3");
    const double moment = 46363.38541666666;
    EXPECT_NEAR(StrToFloat(FloatToStr(moment, ','), ','), moment, 1e-9);
}

TEST(StringsTest, SplitKeepsEmptyParts) {
    EXPECT_EQ(Split("2011-4-21", '-'), (std::vector<std::string>{"2011", "4", "21"}));
    EXPECT_EQ(Split("a--", '-'), (std::vector<std::string>{"a", "", ""}));
}

TEST(ExceptionsTest, ErrorLineCarriesClassNameContextAndMessage) {
    EXPECT_EQ(ErrorLine(ESQLiteException("boom"), "; TOptions.SettingsDBExecSQL:"),
              "ErrorClassName: ESQLiteException; TOptions.SettingsDBExecSQL:boom");
    EXPECT_EQ(ErrorLine(std::runtime_error("x"), "; f: "), "ErrorClassName: Exception; f: x");
    EXPECT_STREQ(EAbort("").ClassName(), "EAbort");
    EXPECT_STREQ(EOSError(2, "m").ClassName(), "EOSError");
}

}  // namespace
}  // namespace tw
