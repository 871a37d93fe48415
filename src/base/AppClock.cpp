#include "base/AppClock.h"

#include <time.h>

#include <cmath>
#include <mutex>
#include <optional>

#include "base/Exceptions.h"

namespace tw {

namespace {

class BootTimeTickSource final : public TickSource {
public:
    // CLOCK_BOOTTIME keeps counting while the machine sleeps: a counter that
    // stopped would leave the clock behind by every suspend, far beyond what
    // the half-hourly resynchronisation may correct. Kernels without it get
    // CLOCK_MONOTONIC, still independent of the wall clock.
    BootTimeTickSource() {
        timespec ts{};
        clockId_ = clock_gettime(CLOCK_BOOTTIME, &ts) == 0 ? CLOCK_BOOTTIME : CLOCK_MONOTONIC;
    }
    uint64_t Ticks() override {
        timespec ts{};
        clock_gettime(clockId_, &ts);
        return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
    }
    uint64_t Frequency() override { return 1000000000u; }

private:
    clockid_t clockId_;
};

class RealTimeWallClock final : public WallClock {
public:
    double UtcSeconds() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
    }
};

struct ClockState {
    std::unique_ptr<TickSource> ticks;  // null until first needed
    uint64_t frequency = 1;
    uint64_t overhead = 0;
    std::unique_ptr<WallClock> wall;
    std::unique_ptr<TimeZoneRules> zone;
    double baseUtc = 0;  // seconds since 1970, universal time
    Stopwatch app;
    bool running = false;
};

// Guards the clock state: initialisation may come first from any thread.
std::mutex gLock;
ClockState gState;
// The system counter's overhead, measured once per process.
std::optional<uint64_t> gSystemOverhead;

void StartLocked(ClockState& s, Stopwatch& watch) {
    if (watch.nesting++ == 0)
        watch.startTicks = s.ticks->Ticks();
}

void StopLocked(ClockState& s, Stopwatch& watch) {
    Require(watch.nesting > 0, "AppClock");
    if (--watch.nesting != 0)
        return;
    const uint64_t now = s.ticks->Ticks();
    const uint64_t cost = watch.startTicks + s.overhead;
    if (now >= cost && cost >= watch.startTicks)
        watch.elapsedTicks += now - cost;
}

// Smallest cost of a start and a stop, from ten tries back to back: the
// smallest already discards a try that was interrupted, and pausing between
// tries would only delay every start of the program. A reading of zero
// cannot be beaten, so a counter that only moves when told (tests)
// calibrates to exactly 0 at once.
uint64_t Calibrate(ClockState& s) {
    s.overhead = 0;
    uint64_t best = UINT64_MAX;
    for (int i = 0; i < 10 && best != 0; ++i) {
        Stopwatch probe;
        StartLocked(s, probe);
        StopLocked(s, probe);
        best = std::min(best, probe.elapsedTicks);
    }
    return best;
}

void UseTickSource(ClockState& s, std::unique_ptr<TickSource> ticks) {
    const bool system = !ticks;
    s.ticks = system ? SystemTickSource() : std::move(ticks);
    s.frequency = s.ticks->Frequency();
    Require(s.frequency > 0, "AppClock");
    if (system && gSystemOverhead) {
        s.overhead = *gSystemOverhead;
        return;
    }
    s.overhead = Calibrate(s);
    if (system)
        gSystemOverhead = s.overhead;
}

void EnsureTicks(ClockState& s) {
    if (!s.ticks)
        UseTickSource(s, nullptr);
}

void StartClockLocked(ClockState& s, std::unique_ptr<TickSource> ticks,
                      std::unique_ptr<WallClock> wall, std::unique_ptr<TimeZoneRules> zone) {
    s.running = false;
    s.app = Stopwatch{};
    UseTickSource(s, std::move(ticks));
    s.wall = wall ? std::move(wall) : SystemWallClock();
    s.zone = zone ? std::move(zone) : TimeZoneRules::LoadSystem();
    s.baseUtc = s.wall->UtcSeconds();
    StartLocked(s, s.app);
    s.running = true;
}

// Callers that read the clock before start-up get the system clock.
ClockState& RunningLocked() {
    if (!gState.running)
        StartClockLocked(gState, nullptr, nullptr, nullptr);
    return gState;
}

TDateTime ToLocal(const ClockState& s, double utcSeconds) {
    const auto whole = int64_t(std::floor(utcSeconds));
    return UnixToDateTime(utcSeconds + double(s.zone->UtcOffsetSeconds(whole)));
}

}  // namespace

std::unique_ptr<TickSource> SystemTickSource() {
    return std::make_unique<BootTimeTickSource>();
}

std::unique_ptr<WallClock> SystemWallClock() {
    return std::make_unique<RealTimeWallClock>();
}

void StopwatchStart(Stopwatch& watch) {
    std::lock_guard guard(gLock);
    EnsureTicks(gState);
    StartLocked(gState, watch);
}

void StopwatchStop(Stopwatch& watch) {
    std::lock_guard guard(gLock);
    EnsureTicks(gState);
    StopLocked(gState, watch);
}

uint64_t StopwatchOverheadTicks() {
    std::lock_guard guard(gLock);
    EnsureTicks(gState);
    return gState.overhead;
}

void StartAppClock(std::unique_ptr<TickSource> ticks, std::unique_ptr<WallClock> wall,
                   std::unique_ptr<TimeZoneRules> zone) {
    std::lock_guard guard(gLock);
    StartClockLocked(gState, std::move(ticks), std::move(wall), std::move(zone));
}

void StopAppClock() {
    std::lock_guard guard(gLock);
    gState = ClockState{};
}

TDateTime AppNow() {
    std::lock_guard guard(gLock);
    ClockState& s = RunningLocked();
    // Each reading banks the time since the previous one.
    StopLocked(s, s.app);
    const long double seconds = (long double)s.app.elapsedTicks / (long double)s.frequency;
    StartLocked(s, s.app);
    return ToLocal(s, double((long double)s.baseUtc + seconds));
}

TDateTime AppDate() {
    return std::floor(AppNow());
}

TDateTime AppTime() {
    const TDateTime now = AppNow();
    return now - std::floor(now);
}

TDateTime AppDayStart() {
    return AppDate() + kDayStartOffset;
}

void AdjustAppClock(double days) {
    std::lock_guard guard(gLock);
    RunningLocked().baseUtc += days * kSecondsPerDay;
}

TDateTime WallClockNow() {
    std::lock_guard guard(gLock);
    ClockState& s = RunningLocked();
    return ToLocal(s, s.wall->UtcSeconds());
}

}  // namespace tw
