#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "base/TimeZoneRules.h"

// The application clock: the wall clock read once at start-up, then advanced
// by a monotonic counter that keeps counting while the machine sleeps.
// Changing the system clock or the time-zone setting does not move it; only
// AdjustAppClock does. The base and the elapsed time are universal time; the
// time-zone rules loaded at start-up turn their sum into local time, so a
// daylight-saving change is followed at once.
namespace tw {

// Monotonic counter (CLOCK_BOOTTIME on Linux; injected ticks in tests).
class TickSource {
public:
    virtual ~TickSource() = default;
    virtual uint64_t Ticks() = 0;
    virtual uint64_t Frequency() = 0;  // ticks per second
};

// Universal wall-clock time in seconds since 1970 (CLOCK_REALTIME; injected in tests).
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual double UtcSeconds() = 0;
};

std::unique_ptr<TickSource> SystemTickSource();
std::unique_ptr<WallClock> SystemWallClock();

// A start/stop pair that nests: only the outermost interval counts.
struct Stopwatch {
    int32_t nesting = 0;
    uint64_t startTicks = 0;
    uint64_t elapsedTicks = 0;
};
void StopwatchStart(Stopwatch& watch);
void StopwatchStop(Stopwatch& watch);

// Starts the process's clock. Without arguments it uses the system's
// sources; tests pass their own. Restarting replaces the previous clock.
void StartAppClock(std::unique_ptr<TickSource> ticks = nullptr,
                   std::unique_ptr<WallClock> wall = nullptr,
                   std::unique_ptr<TimeZoneRules> zone = nullptr);
void StopAppClock();

TDateTime AppNow();
TDateTime AppDate();
TDateTime AppTime();
// 04:00 of AppNow's calendar day (still in the future before 04:00).
TDateTime AppDayStart();
// Moves the clock by a difference in days (the half-hourly resynchronisation).
void AdjustAppClock(double days);
// The wall clock now, in local time by the same rules: what resynchronisation compares with.
TDateTime WallClockNow();

// Measured cost of one start immediately followed by a stop, in ticks.
uint64_t StopwatchOverheadTicks();

}  // namespace tw
