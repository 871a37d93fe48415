#include "base/TimeZoneRules.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

#include "base/DateTime.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return std::llround(DateTimeToUnix(EncodeDate(y, mo, d) + EncodeTime(h, mi, s)));
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        Put(value);
    }
    ~ScopedEnv() { Put(old_ ? old_->c_str() : nullptr); }

private:
    void Put(const char* value) { value ? setenv(name_, value, 1) : unsetenv(name_); }
    const char* name_;
    std::optional<std::string> old_;
};

// Zones of the system's database (before, across and after their tables) and
// POSIX rules (every date form, odd change times, zones across the new year).
struct ZoneCase {
    const char* zone;
    int64_t utc;
    int64_t offset;
};

void PrintTo(const ZoneCase& c, std::ostream* out) {
    *out << c.zone << " at " << c.utc;
}

std::string ZoneCaseName(const testing::TestParamInfo<ZoneCase>& tp) {
    std::string utc = std::to_string(tp.param.utc);
    if (utc[0] == '-')
        utc.replace(0, 1, "minus");
    return test::CaseName(std::string(tp.param.zone) + " at " + utc);
}

class SystemZoneTest : public testing::TestWithParam<ZoneCase> {};
class PosixRuleTest : public testing::TestWithParam<ZoneCase> {};

void ExpectOffset(const std::unique_ptr<TimeZoneRules>& rules, const ZoneCase& c) {
    ASSERT_NE(rules, nullptr) << c.zone;
    EXPECT_EQ(rules->UtcOffsetSeconds(c.utc), c.offset) << c.zone << " at " << c.utc;
}

TEST_P(SystemZoneTest, OffsetAtMoment) {
    ExpectOffset(TimeZoneRules::Load(GetParam().zone), GetParam());
}

TEST_P(PosixRuleTest, OffsetAtMoment) {
    ExpectOffset(TimeZoneRules::FromPosixRule(GetParam().zone), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Zones, SystemZoneTest,
    testing::Values(
        // Berlin: 02:00 CET becomes 03:00 CEST, 03:00 CEST falls back to 02:00 CET.
        ZoneCase{"Europe/Berlin", Utc(2024, 3, 31, 0, 59, 59), 3600},
        ZoneCase{"Europe/Berlin", Utc(2024, 3, 31, 1), 7200},
        ZoneCase{"Europe/Berlin", Utc(2024, 10, 27, 0, 59, 59), 7200},
        ZoneCase{"Europe/Berlin", Utc(2024, 10, 27, 1), 3600},
        // Past the table: only the rule at the end of the file knows these.
        ZoneCase{"Europe/Berlin", Utc(2100, 3, 28, 0, 59, 59), 3600},
        ZoneCase{"Europe/Berlin", Utc(2100, 3, 28, 1), 7200},
        // Before the first change: local mean time.
        ZoneCase{"Europe/Berlin", Utc(1800, 1, 1), 3208},
        // Sydney: summer time spans the new year.
        ZoneCase{"Australia/Sydney", Utc(2024, 4, 6, 15, 59, 59), 39600},
        ZoneCase{"Australia/Sydney", Utc(2024, 4, 6, 16), 36000},
        ZoneCase{"Australia/Sydney", Utc(2099, 12, 31, 23), 39600},
        ZoneCase{"Australia/Sydney", Utc(2100, 7, 1), 36000},
        // Nuuk changes at -01:00 local time, the day before.
        ZoneCase{"America/Nuuk", Utc(2030, 3, 31, 0, 59, 59), -7200},
        ZoneCase{"America/Nuuk", Utc(2030, 3, 31, 1), -3600}, ZoneCase{"UTC", Utc(2024, 7, 1), 0}),
    ZoneCaseName);

INSTANTIATE_TEST_SUITE_P(
    Rules, PosixRuleTest,
    testing::Values(ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", Utc(2024, 3, 31, 0, 59, 59), 3600},
                    ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", Utc(2024, 3, 31, 1), 7200},
                    // Without dates the customary US rules apply.
                    ZoneCase{"EST5EDT", Utc(2024, 3, 10, 6, 59, 59), -18000},
                    ZoneCase{"EST5EDT", Utc(2024, 3, 10, 7), -14400},
                    // Jn never counts 29 February; n does.
                    ZoneCase{"AAA0BBB,J60/0,J300/0", Utc(2024, 2, 29, 23, 59, 59), 0},
                    ZoneCase{"AAA0BBB,J60/0,J300/0", Utc(2024, 3, 1), 3600},
                    ZoneCase{"AAA0BBB,59/0,300/0", Utc(2024, 2, 28, 23, 59, 59), 0},
                    ZoneCase{"AAA0BBB,59/0,300/0", Utc(2024, 2, 29), 3600},
                    ZoneCase{"AAA0BBB,59/0,300/0", Utc(2023, 3, 1), 3600},
                    // Negative and very late change times.
                    ZoneCase{"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", Utc(2030, 3, 31, 0, 59, 59), -7200},
                    ZoneCase{"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", Utc(2030, 3, 31, 1), -3600},
                    ZoneCase{"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", Utc(2030, 10, 27, 1), -7200},
                    ZoneCase{"XXX-1YYY,M3.5.0/167,M10.5.0/3", Utc(2024, 4, 6, 21, 59, 59), 3600},
                    ZoneCase{"XXX-1YYY,M3.5.0/167,M10.5.0/3", Utc(2024, 4, 6, 22), 7200},
                    // Southern hemisphere with minutes in the offsets.
                    ZoneCase{"<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45",
                             Utc(2024, 4, 6, 13, 59, 59), 49500},
                    ZoneCase{"<+1245>-12:45<+1345>,M9.5.0/2:45,M4.1.0/3:45", Utc(2024, 4, 6, 14),
                             45900},
                    // Summer time all year: the end meets the next start at the new year.
                    ZoneCase{"EST5EDT,0/0,J365/25", Utc(2024, 1, 1, 0, 30), -14400},
                    ZoneCase{"EST5EDT,0/0,J365/25", Utc(2025, 1, 1, 5, 30), -14400},
                    // Far outside the calendar the rule still answers.
                    ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", INT64_MAX, 3600},
                    ZoneCase{"CET-1CEST,M3.5.0,M10.5.0/3", INT64_MIN, 3600}),
    ZoneCaseName);

TEST(PosixRuleTest, MalformedRulesAreRefused) {
    for (const char* rule : {"", "CE", "CET", "CET-1CEST,M3.5.0", "CET-1CEST,M13.5.0,M10.5.0",
                             "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0",
                             "CET-1CEST,J0,J300", "CET-1CEST,366,300", "CET-1CEST,M3.5.0,M10.5.0x",
                             "<AB>0", "<ABC0", "CET-25", "CET-1CEST,M3.5.0/168,M10.5.0"}) {
        EXPECT_EQ(TimeZoneRules::FromPosixRule(rule), nullptr) << rule;
    }
}

// TZif files written by hand: the 32-bit form and the details of the 64-bit one.

std::string BigEndian(int64_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
        out += char((uint64_t(value) >> (8 * i)) & 0xFF);
    return out;
}

struct TzifData {
    std::vector<int64_t> times;
    std::vector<uint8_t> types;
    std::vector<int32_t> offsets;
};

std::string Block(const TzifData& d, int timeBytes) {
    std::string out;
    for (int64_t t : d.times)
        out += BigEndian(t, timeBytes);
    for (uint8_t t : d.types)
        out += char(t);
    for (int32_t o : d.offsets)
        out += BigEndian(o, 4) + '\0' + '\0';
    return out + std::string("X\0", 2);  // one designation
}

std::string Header(char version, const TzifData& d) {
    std::string out = "TZif";
    out += version;
    out += std::string(15, '\0');
    for (size_t count :
         {size_t(0), size_t(0), size_t(0), d.times.size(), d.offsets.size(), size_t(2)}) {
        out += BigEndian(int64_t(count), 4);
    }
    return out;
}

std::string Version1(const TzifData& d) {
    return Header('\0', d) + Block(d, 4);
}

// The 32-bit block deliberately disagrees: a reader must use the 64-bit one.
std::string Version2(const TzifData& d, const std::string& footer) {
    const TzifData stale{{}, {}, {-999}};
    return Header('2', stale) + Block(stale, 4) + Header('2', d) + Block(d, 8) + "\n" + footer +
           "\n";
}

class TzifFileTest : public testing::Test {
protected:
    std::unique_ptr<TimeZoneRules> LoadText(const std::string& data) {
        const std::string path = dir_.Path() + "zone";
        test::WriteFileText(path, data);
        return TimeZoneRules::Load(path);
    }
    test::TempDir dir_;
};

TEST_F(TzifFileTest, ReadsTheChangesAndTheFooter) {
    const int64_t late = int64_t(1) << 33;  // beyond 2038
    const struct {
        std::string data;
        std::vector<std::pair<int64_t, int64_t>> offsets;
    } cases[] = {
        // Before the first change the first type applies.
        {Version1({{1000000000}, {1}, {3600, 7200}}),
         {{999999999, 3600}, {1000000000, 7200}, {4000000000, 7200}}},
        {Version2({{0, late}, {1, 0}, {3600, 7200}}, "AAA-5"),
         {{-1, 3600}, {0, 7200}, {late - 1, 7200}, {late, 5 * 3600}}},
        // An empty footer keeps the last offset; a footer alone applies everywhere.
        {Version2({{0}, {1}, {3600, 7200}}, ""), {{Utc(2200, 1, 1), 7200}}},
        {Version2({{}, {}, {0}}, "CET-1CEST,M3.5.0,M10.5.0/3"),
         {{Utc(1990, 7, 1), 7200}, {Utc(2100, 1, 1), 3600}}},
    };
    for (const auto& c : cases) {
        const auto rules = LoadText(c.data);
        ASSERT_NE(rules, nullptr);
        for (const auto& [utc, offset] : c.offsets)
            EXPECT_EQ(rules->UtcOffsetSeconds(utc), offset) << utc;
    }
}

TEST_F(TzifFileTest, DamagedFilesAreRefused) {
    const std::string berlin = test::ReadFileText("/usr/share/zoneinfo/Europe/Berlin");
    ASSERT_GT(berlin.size(), 100u);
    std::vector<std::string> damaged = {
        "",
        "not a zone file at all, but long enough to hold a header of forty-four bytes",
        Version1({{0}, {2}, {3600, 7200}}),         // type index out of range
        Version1({{5, 5}, {0, 1}, {3600, 7200}}),   // changes not ascending
        Version1({{}, {}, {}}),                     // no types
        Version2({{0}, {1}, {3600, 7200}}, "CET"),  // footer without closing line feed below
    };
    damaged.back().pop_back();
    for (size_t cut : {size_t(44), berlin.size() / 2, berlin.size() - 2}) {
        damaged.push_back(berlin.substr(0, cut));
    }
    for (const std::string& data : damaged) {
        EXPECT_EQ(LoadText(data), nullptr) << "file of " << data.size() << " bytes";
    }
}

TEST(TimeZoneLoadTest, NamesStayInsideTheZoneFolder) {
    test::TempDir dir;
    test::WriteFileText(dir.Path() + "Zone", Version1({{}, {}, {4 * 3600}}));
    const ScopedEnv tzdir("TZDIR", (dir.Path() + "inner").c_str());
    EXPECT_EQ(TimeZoneRules::Load("../Zone"), nullptr);
    EXPECT_EQ(TimeZoneRules::Load("Missing/Zone"), nullptr);
    EXPECT_EQ(TimeZoneRules::Load(""), nullptr);
    const auto byPath = TimeZoneRules::Load(dir.Path() + "Zone");
    ASSERT_NE(byPath, nullptr);
    EXPECT_EQ(byPath->UtcOffsetSeconds(0), 4 * 3600);
}

// Unreadable or empty $TZ: universal time.
TEST(SystemRulesTest, FollowsTzLikeTheCLibrary) {
    for (const auto& [tz, julyOffset] : {std::pair{":Europe/Berlin", 7200},
                                         {"Europe/Berlin", 7200},
                                         {"/usr/share/zoneinfo/Australia/Sydney", 36000},
                                         {":/usr/share/zoneinfo/Europe/Berlin", 7200},
                                         {"CET-1CEST,M3.5.0,M10.5.0/3", 7200},
                                         {":/nonexistent/zone", 0},
                                         {":CET-1CEST,M3.5.0,M10.5.0/3", 0},
                                         {"Nowhere/Nothing", 0},
                                         {"", 0},
                                         {"/dev/zero", 0}}) {
        const ScopedEnv env("TZ", tz);
        const auto rules = TimeZoneRules::LoadSystem();
        ASSERT_NE(rules, nullptr) << tz;
        EXPECT_EQ(rules->UtcOffsetSeconds(Utc(2024, 7, 1)), julyOffset) << tz;
    }
}

}  // namespace
}  // namespace tw
