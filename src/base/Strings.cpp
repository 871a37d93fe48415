#include "base/Strings.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/Exceptions.h"

namespace tw {

char AsciiLower(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
char AsciiUpper(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = AsciiLower(c);
    return r;
}

std::string UpperCase(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        c = AsciiUpper(c);
    return r;
}

int CompareText(std::string_view a, std::string_view b) noexcept {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
        const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

bool ContainsText(std::string_view haystack, std::string_view needle) noexcept {
    if (needle.empty())
        return true;
    if (needle.size() > haystack.size())
        return false;
    for (size_t i = 0; i + needle.size() <= haystack.size(); ++i) {
        if (SameText(haystack.substr(i, needle.size()), needle))
            return true;
    }
    return false;
}

bool StartsWith(std::string_view s, std::string_view prefix) noexcept {
    return s.substr(0, prefix.size()) == prefix;
}

std::string Trim(std::string_view s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

std::string QuotedStr(std::string_view s) {
    std::string r;
    r.reserve(s.size() + 2);
    r += '\'';
    for (char c : s) {
        r += c;
        if (c == '\'')
            r += '\'';
    }
    r += '\'';
    return r;
}

std::vector<std::string> Split(std::string_view s, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t pos = s.find(separator, start);
        parts.emplace_back(s.substr(start, pos == std::string_view::npos ? pos : pos - start));
        if (pos == std::string_view::npos)
            break;
        start = pos + 1;
    }
    return parts;
}

namespace {

template <typename T>
T ParseInteger(std::string_view s) {
    const std::string text = Trim(s);
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    T value{};
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
        throw EConvertError("'" + std::string(s) + "' is not a valid integer value");
    }
    return value;
}

}  // namespace

int32_t StrToInt(std::string_view s) {
    return ParseInteger<int32_t>(s);
}
int64_t StrToInt64(std::string_view s) {
    return ParseInteger<int64_t>(s);
}

double StrToFloat(std::string_view s, char decimalSeparator) {
    std::string text = Trim(s);
    bool valid = !text.empty();
    for (char& c : text) {
        if (c == decimalSeparator) {
            c = '.';
        } else if (c == '.' || c == ',') {
            valid = false;  // the other separator is not accepted
        }
    }
    double value = 0;
    if (valid) {
        const char* first = text.data();
        if (*first == '+')
            ++first;
        const auto [end, ec] = std::from_chars(first, text.data() + text.size(), value);
        valid = ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
    }
    if (!valid) {
        throw EConvertError("'" + std::string(s) + "' is not a valid floating point value");
    }
    return value;
}

std::string FloatToStr(double value, char decimalSeparator) {
    char buffer[64];
    // The shortest of 1 to 15 significant digits that reads back unchanged,
    // else 15 digits: the general form of the stored settings.
    for (int precision = 1; precision <= 15; ++precision) {
        std::snprintf(buffer, sizeof buffer, "%.*G", precision, value);
        if (precision == 15 || std::strtod(buffer, nullptr) == value)
            break;
    }
    std::string r(buffer);
    for (char& c : r) {
        if (c == '.')
            c = decimalSeparator;
    }
    return r;
}

std::string IntToStr(int64_t value) {
    return std::to_string(value);
}

}  // namespace tw
