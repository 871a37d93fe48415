#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Text helpers. Letter case is folded for ASCII letters only: paths and
// keys are compared byte for byte otherwise.
namespace tw {

char AsciiLower(char c) noexcept;
char AsciiUpper(char c) noexcept;
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);

// <0, 0, >0 like strcmp, ASCII letters folded.
int CompareText(std::string_view a, std::string_view b) noexcept;
bool SameText(std::string_view a, std::string_view b) noexcept;
// Whether `needle` occurs in `haystack`, ASCII letters folded.
bool ContainsText(std::string_view haystack, std::string_view needle) noexcept;
bool StartsWith(std::string_view s, std::string_view prefix) noexcept;

// Removes spaces and control characters (bytes up to 0x20) at both ends.
std::string Trim(std::string_view s);

// SQL string literal: single quotes around, inner single quotes doubled.
std::string QuotedStr(std::string_view s);

std::vector<std::string> Split(std::string_view s, char separator);

// Strict decimal conversions; EConvertError "'x' is not a valid integer value".
int32_t StrToInt(std::string_view s);
int64_t StrToInt64(std::string_view s);
// Decimal number with `decimalSeparator`; EConvertError "'x' is not a valid floating point value".
double StrToFloat(std::string_view s, char decimalSeparator = '.');
// Shortest general form that reads back the same value (at most 15 significant digits).
std::string FloatToStr(double value, char decimalSeparator = '.');

std::string IntToStr(int64_t value);

}  // namespace tw
