#include "base/TimeZoneRules.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <optional>
#include <vector>

#include "base/DateTime.h"

namespace tw {

namespace {

// ---- POSIX rules ("CET-1CEST,M3.5.0,M10.5.0/3"), also the footer of TZif files ----

struct RuleDate {
    char kind = 'M';  // 'J': day 1..365 without 29 February; 'D': day 0..365; 'M': month.week.day
    int day = 0, month = 0, week = 0;
    int64_t time = 7200;  // local time of day of the change; may be negative or past 24:00
};

struct PosixRule {
    int64_t stdOffset = 0;  // seconds east of Greenwich
    int64_t dstOffset = 0;
    bool hasDst = false;
    RuleDate start, end;

    int64_t OffsetAt(int64_t utc) const;
};

bool IsLeap(int year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int64_t DaysSince1970(int year, int month, int day) {
    return int64_t(EncodeDate(year, month, day)) - kUnixEpochDays;
}

// Universal moment of a change in `year`, given the offset in effect before it.
int64_t ChangeMoment(int year, const RuleDate& d, int64_t offsetBefore) {
    int64_t days = 0;
    if (d.kind == 'J') {
        days = DaysSince1970(year, 1, 1) + d.day - 1 + (IsLeap(year) && d.day >= 60 ? 1 : 0);
    } else if (d.kind == 'D') {
        days = DaysSince1970(year, 1, 1) + d.day;
    } else {
        const int64_t first = DaysSince1970(year, d.month, 1);
        const int firstWeekday = int(((first + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
        int dayOfMonth = 1 + (d.day - firstWeekday + 7) % 7 + (d.week - 1) * 7;
        const int lastDay = d.month == 12 ? 31 : int(DaysSince1970(year, d.month + 1, 1) - first);
        while (dayOfMonth > lastDay)
            dayOfMonth -= 7;  // week 5 means the last one
        days = first + dayOfMonth - 1;
    }
    return days * 86400 + d.time - offsetBefore;
}

int64_t PosixRule::OffsetAt(int64_t utc) const {
    if (!hasDst)
        return stdOffset;
    // The latest change at or before the moment, looking one year either side
    // so rules whose changes cross the new year come out right. On a tie the
    // later year's change wins: a summer time that ends as the next begins
    // lasts all year.
    constexpr int64_t kMin = -62135596800 + 2 * 366 * 86400;  // 0002-01-01
    constexpr int64_t kMax = 253402300799 - 2 * 366 * 86400;  // 9997-12-31
    const int64_t t = std::clamp(utc, kMin, kMax);
    const int year = DecodeDateTime(UnixToDateTime(double(t))).year;
    int64_t latest = std::numeric_limits<int64_t>::min();
    bool dst = false;
    for (int y = year - 1; y <= year + 1; ++y) {
        const int64_t on = ChangeMoment(y, start, stdOffset);
        const int64_t off = ChangeMoment(y, end, dstOffset);
        if (on <= t && on >= latest) {
            latest = on;
            dst = true;
        }
        if (off <= t && off >= latest) {
            latest = off;
            dst = false;
        }
    }
    return dst ? dstOffset : stdOffset;
}

class RuleParser {
public:
    explicit RuleParser(std::string_view text) : s_(text) {}

    std::optional<PosixRule> Parse() {
        PosixRule r;
        int64_t offset = 0;
        if (!Name() || !Time(offset, 24))
            return std::nullopt;
        r.stdOffset = -offset;  // POSIX counts hours west of Greenwich
        if (s_.empty())
            return r;
        if (!Name())
            return std::nullopt;
        r.hasDst = true;
        r.dstOffset = r.stdOffset + 3600;
        if (!s_.empty() && s_[0] != ',') {
            if (!Time(offset, 24))
                return std::nullopt;
            r.dstOffset = -offset;
        }
        if (s_.empty()) {
            // No dates given: the customary default of the C library.
            r.start = {'M', 0, 3, 2, 7200};
            r.end = {'M', 0, 11, 1, 7200};
            return r;
        }
        if (!Eat(',') || !Date(r.start) || !Eat(',') || !Date(r.end) || !s_.empty()) {
            return std::nullopt;
        }
        return r;
    }

private:
    bool Eat(char c) {
        if (s_.empty() || s_[0] != c)
            return false;
        s_.remove_prefix(1);
        return true;
    }

    bool Number(int& value, int max) {
        size_t n = 0;
        value = 0;
        while (n < s_.size() && n < 4 && s_[n] >= '0' && s_[n] <= '9') {
            value = value * 10 + (s_[n++] - '0');
        }
        s_.remove_prefix(n);
        return n > 0 && value <= max;
    }

    bool Name() {
        if (Eat('<')) {
            const size_t close = s_.find('>');
            if (close == std::string_view::npos || close < 3)
                return false;
            s_.remove_prefix(close + 1);
            return true;
        }
        size_t n = 0;
        while (n < s_.size() && ((s_[n] | 0x20) >= 'a' && (s_[n] | 0x20) <= 'z'))
            ++n;
        s_.remove_prefix(n);
        return n >= 3;
    }

    // [+-]h[:mm[:ss]]
    bool Time(int64_t& seconds, int maxHours) {
        const bool negative = Eat('-');
        if (!negative)
            Eat('+');
        int h = 0, m = 0, sec = 0;
        if (!Number(h, maxHours))
            return false;
        if (Eat(':') && (!Number(m, 59) || (Eat(':') && !Number(sec, 59))))
            return false;
        seconds = (negative ? -1 : 1) * (h * 3600 + m * 60 + sec);
        return true;
    }

    bool Date(RuleDate& d) {
        if (Eat('J')) {
            d.kind = 'J';
            if (!Number(d.day, 365) || d.day < 1)
                return false;
        } else if (Eat('M')) {
            d.kind = 'M';
            if (!Number(d.month, 12) || d.month < 1 || !Eat('.') || !Number(d.week, 5) ||
                d.week < 1 || !Eat('.') || !Number(d.day, 6)) {
                return false;
            }
        } else {
            d.kind = 'D';
            if (!Number(d.day, 365))
                return false;
        }
        d.time = 7200;
        return !Eat('/') || Time(d.time, 167);
    }

    std::string_view s_;
};

// ---- TZif files ----

class ZoneRules final : public TimeZoneRules {
public:
    std::vector<int64_t> transitions;  // universal moments, ascending
    std::vector<int32_t> offsets;      // offset from each transition on
    int32_t initialOffset = 0;         // before the first transition
    std::optional<PosixRule> footer;   // after the last one

    int64_t UtcOffsetSeconds(int64_t utc) const override {
        if (transitions.empty() || utc >= transitions.back()) {
            if (footer)
                return footer->OffsetAt(utc);
            return transitions.empty() ? initialOffset : offsets.back();
        }
        const auto next = std::upper_bound(transitions.begin(), transitions.end(), utc);
        return next == transitions.begin() ? initialOffset
                                           : offsets[size_t(next - transitions.begin()) - 1];
    }
};

class ByteReader {
public:
    explicit ByteReader(std::string_view data) : d_(data) {}
    bool Has(size_t n) const { return d_.size() - pos_ >= n; }
    int64_t Int(int bytes) {  // big-endian, signed
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | uint8_t(d_[pos_++]);
        if (bytes == 4)
            return int32_t(uint32_t(v));
        return int64_t(v);
    }
    uint8_t Byte() { return uint8_t(d_[pos_++]); }
    void Skip(size_t n) { pos_ += n; }
    std::string_view Rest() const { return d_.substr(pos_); }

private:
    std::string_view d_;
    size_t pos_ = 0;
};

struct TzifHeader {
    char version = 0;
    size_t isutcnt = 0, isstdcnt = 0, leapcnt = 0, timecnt = 0, typecnt = 0, charcnt = 0;
    size_t DataSize(int timeBytes) const {
        return timecnt * (timeBytes + 1) + typecnt * 6 + charcnt + leapcnt * (timeBytes + 4) +
               isstdcnt + isutcnt;
    }
};

bool ReadHeader(ByteReader& in, TzifHeader& h, int timeBytes) {
    if (!in.Has(44) || in.Rest().substr(0, 4) != "TZif")
        return false;
    in.Skip(4);
    h.version = char(in.Byte());
    in.Skip(15);
    size_t* counts[] = {&h.isutcnt, &h.isstdcnt, &h.leapcnt, &h.timecnt, &h.typecnt, &h.charcnt};
    for (size_t* c : counts)
        *c = size_t(uint32_t(in.Int(4)));
    return h.typecnt >= 1 && h.typecnt <= 256 && h.timecnt <= 100000 && h.leapcnt <= 100000 &&
           h.charcnt <= 100000 && h.isutcnt <= h.typecnt && h.isstdcnt <= h.typecnt &&
           in.Has(h.DataSize(timeBytes));
}

std::unique_ptr<TimeZoneRules> ParseTzif(std::string_view data) {
    ByteReader in(data);
    TzifHeader h;
    if (!ReadHeader(in, h, 4))
        return nullptr;
    int timeBytes = 4;
    if (h.version >= '2') {  // skip the 32-bit block for the 64-bit one after it
        in.Skip(h.DataSize(4));
        timeBytes = 8;
        if (!ReadHeader(in, h, timeBytes))
            return nullptr;
    }
    auto rules = std::make_unique<ZoneRules>();
    for (size_t i = 0; i < h.timecnt; ++i) {
        rules->transitions.push_back(in.Int(timeBytes));
        if (i > 0 && rules->transitions[i] <= rules->transitions[i - 1])
            return nullptr;
    }
    std::vector<uint8_t> typeIndex(h.timecnt);
    for (uint8_t& t : typeIndex) {
        t = in.Byte();
        if (t >= h.typecnt)
            return nullptr;
    }
    std::vector<int32_t> typeOffsets(h.typecnt);
    for (int32_t& o : typeOffsets) {
        o = int32_t(in.Int(4));
        in.Skip(2);  // is-DST flag and abbreviation: the clock needs only the offset
    }
    in.Skip(h.DataSize(timeBytes) - h.timecnt * (timeBytes + 1) - h.typecnt * 6);
    for (uint8_t t : typeIndex)
        rules->offsets.push_back(typeOffsets[t]);
    rules->initialOffset = typeOffsets[0];
    if (timeBytes == 8) {
        const std::string_view rest = in.Rest();
        const size_t close = rest.size() > 1 ? rest.find('\n', 1) : std::string_view::npos;
        if (rest.empty() || rest[0] != '\n' || close == std::string_view::npos)
            return nullptr;
        // An empty footer means the last offset holds for ever; a malformed one is ignored.
        if (close > 1)
            rules->footer = RuleParser(rest.substr(1, close - 1)).Parse();
    }
    return rules;
}

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    // Zone files are a few kilobytes; the limit keeps TZ=/dev/zero from hanging us.
    constexpr size_t kLimit = 1 << 20;
    std::string data(kLimit + 1, '\0');
    file.read(data.data(), std::streamsize(data.size()));
    if (file.bad() || size_t(file.gcount()) > kLimit)
        return std::nullopt;
    data.resize(size_t(file.gcount()));
    return data;
}

}  // namespace

std::unique_ptr<TimeZoneRules> TimeZoneRules::Load(const std::string& nameOrPath) {
    std::string path = nameOrPath;
    if (nameOrPath.empty())
        return nullptr;
    if (nameOrPath[0] != '/') {
        // A name must stay inside the zone folder.
        if (nameOrPath.find("..") != std::string::npos)
            return nullptr;
        const char* dir = std::getenv("TZDIR");
        path = std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + nameOrPath;
    }
    const auto data = ReadSmallFile(path);
    return data ? ParseTzif(*data) : nullptr;
}

std::unique_ptr<TimeZoneRules> TimeZoneRules::FromPosixRule(std::string_view rule) {
    auto parsed = RuleParser(rule).Parse();
    if (!parsed)
        return nullptr;
    auto rules = std::make_unique<ZoneRules>();
    rules->footer = parsed;
    return rules;
}

std::unique_ptr<TimeZoneRules> TimeZoneRules::LoadSystem() {
    const char* tz = std::getenv("TZ");
    if (!tz) {
        auto rules = Load("/etc/localtime");
        return rules ? std::move(rules) : Utc();
    }
    // As the C library does: empty or unusable means universal time, and a
    // leading colon names a file only.
    std::string_view value = tz;
    const bool fileOnly = !value.empty() && value[0] == ':';
    if (fileOnly)
        value.remove_prefix(1);
    if (value.empty())
        return Utc();
    if (auto rules = Load(std::string(value)))
        return rules;
    if (!fileOnly) {
        if (auto rules = FromPosixRule(value))
            return rules;
    }
    return Utc();
}

std::unique_ptr<TimeZoneRules> TimeZoneRules::Utc() {
    return std::make_unique<ZoneRules>();
}

}  // namespace tw
