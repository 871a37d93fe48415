#include "base/AppClock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <optional>

#include "base/Exceptions.h"
#include "support/ManualClock.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using test::ManualClock;

constexpr double kMillisecond = kOneSecond / 1000;

TDateTime Local(int y, int mo, int d, int h, int mi, int s = 0) {
    return EncodeDate(y, mo, d) + EncodeTime(h, mi, s);
}

class AppClockTest : public testing::Test {
protected:
    void TearDown() override { StopAppClock(); }
};

TEST_F(AppClockTest, AdvancesWithTheCounterOnly) {
    ManualClock clock(Local(2024, 1, 15, 12, 0));
    clock.Install();
    EXPECT_EQ(StopwatchOverheadTicks(), 0u);
    EXPECT_EQ(FormatDateTimeText(AppNow()), "2024-01-15 12:00:00");
    clock.Advance(3);
    EXPECT_NEAR(AppNow(), Local(2024, 1, 15, 12, 0, 3), kMillisecond);
    // Someone sets the system clock two hours ahead: the program does not follow...
    clock.ShiftWallClock(2 * 3600);
    clock.Advance(7);
    EXPECT_NEAR(AppNow(), Local(2024, 1, 15, 12, 0, 10), kMillisecond);
    // ...although the wall clock, which resynchronisation compares with, shows it.
    EXPECT_NEAR(WallClockNow(), Local(2024, 1, 15, 14, 0, 10), kMillisecond);
}

TEST_F(AppClockTest, AdjustMovesTheBaseToAbsorbDrift) {
    ManualClock clock(Local(2024, 1, 15, 12, 0));
    clock.Install();
    clock.ShiftWallClock(60);
    const double difference = WallClockNow() - AppNow();
    EXPECT_NEAR(difference, kOneMinute, kMillisecond);
    AdjustAppClock(difference);
    EXPECT_NEAR(AppNow(), WallClockNow(), kMillisecond);
    clock.Advance(1800);
    EXPECT_NEAR(AppNow(), Local(2024, 1, 15, 12, 31), kMillisecond);
}

TEST_F(AppClockTest, KeepsCountingAcrossLongIntervals) {
    // A week of readings in ten-minute steps must not accumulate error.
    ManualClock clock(Local(2024, 1, 15, 0, 0));
    clock.Install();
    for (int i = 0; i < 7 * 24; ++i) {
        for (int s = 0; s < 3600; s += 600) {
            clock.Advance(600);
            AppNow();
        }
    }
    EXPECT_NEAR(AppNow(), Local(2024, 1, 22, 0, 0), kMillisecond);
}

struct DayStartCase {
    int hour, minute, second;
};

class AppDayStartTest : public AppClockTest, public testing::WithParamInterface<DayStartCase> {};

TEST_P(AppDayStartTest, IsFourOClockOfTheCalendarDay) {
    const DayStartCase& c = GetParam();
    ManualClock clock(Local(2024, 1, 15, c.hour, c.minute, c.second));
    clock.Install();
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-01-15 04:00:00");
    EXPECT_EQ(AppDate(), EncodeDate(2024, 1, 15));
    EXPECT_NEAR(AppTime(), EncodeTime(c.hour, c.minute, c.second), kMillisecond);
}

INSTANTIATE_TEST_SUITE_P(Boundary, AppDayStartTest,
                         testing::Values(DayStartCase{0, 0, 0}, DayStartCase{2, 0, 0},
                                         DayStartCase{3, 59, 59}, DayStartCase{4, 0, 0},
                                         DayStartCase{4, 0, 1}, DayStartCase{23, 59, 59}));

TEST_F(AppClockTest, DayStartMovesAtMidnightNotAtFour) {
    ManualClock clock(Local(2024, 1, 15, 23, 59, 59));
    clock.Install();
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-01-15 04:00:00");
    clock.Advance(1);
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-01-16 04:00:00");
    clock.Advance(4 * 3600 - 1);
    EXPECT_EQ(FormatDateTimeText(AppNow()), "2024-01-16 03:59:59");
    EXPECT_GT(AppDayStart(), AppNow());
    clock.Advance(1);
    EXPECT_NEAR(AppDayStart(), AppNow(), kMillisecond);
}

// ---- daylight saving: followed at once, without a restart ----

struct ZoneChangeCase {
    const char* zone;
    TDateTime utcStart;
    double advanceSeconds;
    const char* before;
    const char* after;
};

class DaylightSavingTest : public AppClockTest,
                           public testing::WithParamInterface<ZoneChangeCase> {};

TEST_P(DaylightSavingTest, LocalTimeFollowsTheChange) {
    const ZoneChangeCase& c = GetParam();
    auto zone = TimeZoneRules::Load(c.zone);
    ASSERT_NE(zone, nullptr);
    ManualClock clock(c.utcStart);
    clock.Install(std::move(zone));
    EXPECT_EQ(FormatDateTimeText(AppNow()), c.before);
    clock.Advance(c.advanceSeconds);
    EXPECT_EQ(FormatDateTimeText(AppNow()), c.after);
    EXPECT_EQ(FormatDateTimeText(WallClockNow()), c.after);
}

INSTANTIATE_TEST_SUITE_P(Zones, DaylightSavingTest,
                         testing::Values(
                             // Berlin in March: 01:30 CET, an hour later 03:30 CEST.
                             ZoneChangeCase{"Europe/Berlin", Local(2024, 3, 31, 0, 30), 3600,
                                            "2024-03-31 01:30:00", "2024-03-31 03:30:00"},
                             // In October 02:30 comes twice.
                             ZoneChangeCase{"Europe/Berlin", Local(2024, 10, 27, 0, 30), 3600,
                                            "2024-10-27 02:30:00", "2024-10-27 02:30:00"},
                             // Past the zone file's table, by the rule at its end.
                             ZoneChangeCase{"Europe/Berlin", Local(2100, 3, 28, 0, 30), 3600,
                                            "2100-03-28 01:30:00", "2100-03-28 03:30:00"},
                             // Sydney leaves summer time in April.
                             ZoneChangeCase{"Australia/Sydney", Local(2024, 4, 6, 15, 30), 3600,
                                            "2024-04-07 02:30:00", "2024-04-07 02:30:00"},
                             ZoneChangeCase{"Australia/Sydney", Local(2024, 10, 5, 15, 30), 3600,
                                            "2024-10-06 01:30:00", "2024-10-06 03:30:00"}));

TEST_F(AppClockTest, DayStartAfterSpringChangeIsLocalFour) {
    ManualClock clock(Local(2024, 3, 31, 0, 30));  // 01:30 CET
    clock.Install(TimeZoneRules::Load("Europe/Berlin"));
    EXPECT_GT(AppDayStart(), AppNow());
    clock.Advance(3600 + 29 * 60 + 59);  // 01:59:59 UTC, 03:59:59 CEST
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-03-31 04:00:00");
    EXPECT_GT(AppDayStart(), AppNow());
    clock.Advance(1);
    EXPECT_EQ(FormatDateTimeText(AppNow()), "2024-03-31 04:00:00");
    EXPECT_NEAR(AppDayStart(), AppNow(), kMillisecond);
}

TEST_F(AppClockTest, ChangingTheZoneSettingDoesNotMoveTheClock) {
    test::TempDir dir;
    const std::string zonePath = dir.Path() + "localtime";
    test::WriteFileText(zonePath, test::ReadFileText("/usr/share/zoneinfo/Europe/Berlin"));
    const char* oldTz = std::getenv("TZ");
    const std::optional<std::string> savedTz =
        oldTz ? std::optional<std::string>(oldTz) : std::nullopt;
    setenv("TZ", (":" + zonePath).c_str(), 1);

    ManualClock clock(Local(2024, 7, 1, 10, 0));
    StartAppClock(clock.MakeTickSource(), clock.MakeWallClock());  // zone from $TZ
    EXPECT_EQ(FormatDateTimeText(AppNow()), "2024-07-01 12:00:00");
    // The user picks another zone: both the file and the variable change.
    test::WriteFileText(zonePath, test::ReadFileText("/usr/share/zoneinfo/Australia/Sydney"));
    setenv("TZ", "Australia/Sydney", 1);
    clock.Advance(60);
    EXPECT_EQ(FormatDateTimeText(AppNow()), "2024-07-01 12:01:00");

    if (savedTz) {
        setenv("TZ", savedTz->c_str(), 1);
    } else {
        unsetenv("TZ");
    }
}

TEST_F(AppClockTest, ReadingBeforeStartUsesTheSystemClock) {
    StopAppClock();
    const TDateTime now = AppNow();
    EXPECT_GT(now, EncodeDate(2024, 1, 1));
    EXPECT_NEAR(now, WallClockNow(), kOneSecond);
    EXPECT_GE(AppNow(), now);
}

// ---- stopwatches ----

TEST_F(AppClockTest, NestedStartsCountTheOuterIntervalOnce) {
    ManualClock clock;
    clock.Install();
    Stopwatch watch;
    StopwatchStart(watch);
    clock.Advance(2);
    StopwatchStart(watch);
    clock.Advance(3);
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 0u);
    EXPECT_EQ(watch.nesting, 1);
    clock.Advance(5);
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 10 * test::ManualTickSource::kFrequency);
    // Time between intervals is not counted; the next interval adds on.
    clock.Advance(100);
    StopwatchStart(watch);
    clock.Advance(1);
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 11 * test::ManualTickSource::kFrequency);
    EXPECT_THROW(StopwatchStop(watch), EAssertionFailed);
}

// A counter that moves by itself on every read, or jumps as the test says.
class SteppingTickSource final : public TickSource {
public:
    SteppingTickSource(uint64_t step, uint64_t* jump) : step_(step), jump_(jump) {}
    uint64_t Ticks() override {
        value_ += step_;
        return value_ + *jump_;
    }
    uint64_t Frequency() override { return 1000; }

private:
    uint64_t step_;
    uint64_t value_ = 1000000;
    uint64_t* jump_;
};

TEST_F(AppClockTest, OverheadIsCalibratedAndSubtracted) {
    uint64_t jump = 0;
    ManualClock wall;
    StartAppClock(std::make_unique<SteppingTickSource>(7, &jump), wall.MakeWallClock(),
                  TimeZoneRules::Utc());
    EXPECT_EQ(StopwatchOverheadTicks(), 7u);

    Stopwatch watch;
    StopwatchStart(watch);
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 0u);  // nothing but the overhead
    StopwatchStart(watch);
    jump += 500;
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 500u);
    // A counter that went backwards adds nothing rather than wrapping round.
    StopwatchStart(watch);
    jump -= 400;
    StopwatchStop(watch);
    EXPECT_EQ(watch.elapsedTicks, 500u);
}

TEST(SystemTickSourceTest, CountsBootTimeInNanoseconds) {
    const auto source = SystemTickSource();
    EXPECT_EQ(source->Frequency(), 1000000000u);
    timespec before{}, after{};
    clock_gettime(CLOCK_BOOTTIME, &before);
    const uint64_t ticks = source->Ticks();
    clock_gettime(CLOCK_BOOTTIME, &after);
    EXPECT_GE(ticks, uint64_t(before.tv_sec) * 1000000000u + uint64_t(before.tv_nsec));
    EXPECT_LE(ticks, uint64_t(after.tv_sec) * 1000000000u + uint64_t(after.tv_nsec));
}

}  // namespace
}  // namespace tw
