#include "base/AppClock.h"

#include <gtest/gtest.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <vector>

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

std::string NowText() {
    return FormatDateTimeText(AppNow());
}

class AppClockTest : public testing::Test {
protected:
    void TearDown() override { StopAppClock(); }
};

TEST_F(AppClockTest, FollowsTheCounterNotTheWallClockUntilAdjusted) {
    ManualClock clock(Local(2024, 1, 15, 12, 0));
    clock.Install();
    EXPECT_EQ(StopwatchOverheadTicks(), 0u);
    clock.Advance(3);
    EXPECT_NEAR(AppNow(), Local(2024, 1, 15, 12, 0, 3), kMillisecond);
    // The system clock set two hours ahead: the program does not follow, the wall clock does.
    clock.ShiftWallClock(2 * 3600);
    clock.Advance(7);
    EXPECT_NEAR(AppNow(), Local(2024, 1, 15, 12, 0, 10), kMillisecond);
    EXPECT_NEAR(WallClockNow(), Local(2024, 1, 15, 14, 0, 10), kMillisecond);
    AdjustAppClock(WallClockNow() - AppNow());
    EXPECT_NEAR(AppNow(), WallClockNow(), kMillisecond);
    // A week in ten-minute steps must not accumulate error.
    for (int i = 0; i < 7 * 24 * 6; ++i) {
        clock.Advance(600);
        AppNow();
    }
    EXPECT_NEAR(AppNow(), Local(2024, 1, 22, 14, 0, 10), kMillisecond);
}

class AppDayStartTest : public AppClockTest, public testing::WithParamInterface<int> {};

TEST_P(AppDayStartTest, IsFourOClockOfTheCalendarDay) {
    const int s = GetParam();
    ManualClock clock(Local(2024, 1, 15, s / 3600, s / 60 % 60, s % 60));
    clock.Install();
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-01-15 04:00:00");
    EXPECT_EQ(AppDate(), EncodeDate(2024, 1, 15));
    EXPECT_NEAR(AppTime(), s / 86400.0, kMillisecond);
}

INSTANTIATE_TEST_SUITE_P(Boundary, AppDayStartTest, testing::Values(0, 14399, 14400, 86399),
                         testing::PrintToStringParamName());

TEST_F(AppClockTest, DayStartMovesAtMidnightAndLiesAheadUntilFour) {
    ManualClock clock(Local(2024, 1, 15, 23, 59, 59));
    clock.Install();
    clock.Advance(1);
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-01-16 04:00:00");
    clock.Advance(4 * 3600 - 1);
    EXPECT_EQ(NowText(), "2024-01-16 03:59:59");
    EXPECT_GT(AppDayStart(), AppNow());
    clock.Advance(1);
    EXPECT_NEAR(AppDayStart(), AppNow(), kMillisecond);
}

struct ZoneChangeCase {
    TDateTime utcStart;
    const char* before;
    const char* after;
};

void PrintTo(const ZoneChangeCase& c, std::ostream* out) {
    *out << c.before << " plus an hour";
}

class DaylightSavingTest : public AppClockTest,
                           public testing::WithParamInterface<ZoneChangeCase> {};

// Followed at once, without a restart.
TEST_P(DaylightSavingTest, LocalTimeFollowsTheChange) {
    const ZoneChangeCase& c = GetParam();
    ManualClock clock(c.utcStart);
    clock.Install(TimeZoneRules::Load("Europe/Berlin"));
    EXPECT_EQ(NowText(), c.before);
    clock.Advance(3600);
    EXPECT_EQ(NowText(), c.after);
    EXPECT_EQ(FormatDateTimeText(WallClockNow()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Berlin, DaylightSavingTest,
    testing::Values(
        ZoneChangeCase{Local(2024, 3, 31, 0, 30), "2024-03-31 01:30:00", "2024-03-31 03:30:00"},
        // In October 02:30 comes twice.
        ZoneChangeCase{Local(2024, 10, 27, 0, 30), "2024-10-27 02:30:00", "2024-10-27 02:30:00"}),
    [](const auto& tp) { return test::CaseName(tp.param.before); });

TEST_F(AppClockTest, DayStartAfterSpringChangeIsLocalFour) {
    ManualClock clock(Local(2024, 3, 31, 1, 59, 59));  // 03:59:59 CEST
    clock.Install(TimeZoneRules::Load("Europe/Berlin"));
    EXPECT_EQ(FormatDateTimeText(AppDayStart()), "2024-03-31 04:00:00");
    EXPECT_GT(AppDayStart(), AppNow());
    clock.Advance(1);
    EXPECT_EQ(NowText(), "2024-03-31 04:00:00");
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
    EXPECT_EQ(NowText(), "2024-07-01 12:00:00");
    test::WriteFileText(zonePath, test::ReadFileText("/usr/share/zoneinfo/Australia/Sydney"));
    setenv("TZ", "Australia/Sydney", 1);
    clock.Advance(60);
    EXPECT_EQ(NowText(), "2024-07-01 12:01:00");
    savedTz ? setenv("TZ", savedTz->c_str(), 1) : unsetenv("TZ");
}

TEST_F(AppClockTest, ReadingBeforeStartUsesTheSystemClock) {
    StopAppClock();
    EXPECT_GT(AppNow(), EncodeDate(2024, 1, 1));
    EXPECT_NEAR(AppNow(), WallClockNow(), kOneSecond);
}

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
    explicit SteppingTickSource(int64_t* jump) : jump_(jump) {}
    uint64_t Ticks() override { return value_ += 7, value_ + *jump_; }
    uint64_t Frequency() override { return 1000; }

private:
    uint64_t value_ = 1000000;
    int64_t* jump_;
};

TEST_F(AppClockTest, OverheadIsCalibratedAndSubtracted) {
    int64_t jump = 0;
    ManualClock wall;
    StartAppClock(std::make_unique<SteppingTickSource>(&jump), wall.MakeWallClock(),
                  TimeZoneRules::Utc());
    EXPECT_EQ(StopwatchOverheadTicks(), 7u);
    Stopwatch watch;
    // Nothing but the overhead, then 500 ticks, then a counter that went
    // backwards, which adds nothing rather than wrapping round.
    for (const auto& [step, total] : {std::pair{0, 0u}, {500, 500u}, {-400, 500u}}) {
        StopwatchStart(watch);
        jump += step;
        StopwatchStop(watch);
        EXPECT_EQ(watch.elapsedTicks, total) << step;
    }
}

// The ten calibration readings are taken back to back: pausing between them
// delayed every start of the program and of the report.
TEST_F(AppClockTest, CalibrationDoesNotPause) {
    using Moments = std::vector<std::chrono::steady_clock::time_point>;
    class TimedTickSource final : public TickSource {
    public:
        explicit TimedTickSource(Moments* reads) : reads_(reads) {}
        uint64_t Ticks() override {
            reads_->push_back(std::chrono::steady_clock::now());
            return value_ += 7;
        }
        uint64_t Frequency() override { return 1000; }

    private:
        Moments* reads_;
        uint64_t value_ = 1000;
    };
    // Nine pauses of 10 ms take 90 ms at least; a busy machine may delay one
    // run of twenty counter reads that long, but not each of three.
    Moments reads[3];
    auto shortest = std::chrono::steady_clock::duration::max();
    for (Moments& run : reads) {
        ManualClock wall;
        StartAppClock(std::make_unique<TimedTickSource>(&run), wall.MakeWallClock(),
                      TimeZoneRules::Utc());
        EXPECT_EQ(StopwatchOverheadTicks(), 7u);
        ASSERT_GE(run.size(), 20u);
        shortest = std::min(shortest, run[19] - run[0]);
    }
    EXPECT_LT(shortest, std::chrono::milliseconds(90));
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
