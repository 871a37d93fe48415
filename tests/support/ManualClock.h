#pragma once

#include <cmath>
#include <cstdint>
#include <memory>

#include "base/AppClock.h"
#include "base/DateTime.h"

// Time that moves only when a test says so. The application clock reads the
// counter and the wall clock through handles that share this state, so a
// test keeps advancing them after handing them over.
namespace tw::test {

struct ManualTimeState {
    uint64_t ticks = 0;
    double wallUtc = 0;
};

class ManualTickSource final : public TickSource {
public:
    static constexpr uint64_t kFrequency = 1000000000;  // nanoseconds, as on Linux
    explicit ManualTickSource(std::shared_ptr<ManualTimeState> state) : state_(std::move(state)) {}
    uint64_t Ticks() override { return state_->ticks; }
    uint64_t Frequency() override { return kFrequency; }

private:
    std::shared_ptr<ManualTimeState> state_;
};

class ManualWallClock final : public WallClock {
public:
    explicit ManualWallClock(std::shared_ptr<ManualTimeState> state) : state_(std::move(state)) {}
    double UtcSeconds() override { return state_->wallUtc; }

private:
    std::shared_ptr<ManualTimeState> state_;
};

// Owns the manual time; Install() makes it the application clock until the
// ManualClock is destroyed.
class ManualClock {
public:
    // Starts at a universal date-time (default 2024-01-15 12:00:00 UTC).
    explicit ManualClock(TDateTime utcStart = EncodeDate(2024, 1, 15) + 0.5)
        : state_(std::make_shared<ManualTimeState>()) {
        state_->wallUtc = DateTimeToUnix(utcStart);
    }
    ~ManualClock() {
        if (installed_)
            StopAppClock();
    }
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    // Starts the application clock on this time, in the given zone (UTC by default).
    void Install(std::unique_ptr<TimeZoneRules> zone = nullptr) {
        StartAppClock(MakeTickSource(), MakeWallClock(),
                      zone ? std::move(zone) : TimeZoneRules::Utc());
        installed_ = true;
    }

    std::unique_ptr<TickSource> MakeTickSource() const {
        return std::make_unique<ManualTickSource>(state_);
    }
    std::unique_ptr<WallClock> MakeWallClock() const {
        return std::make_unique<ManualWallClock>(state_);
    }

    // Real time passing: the counter and the wall clock move together.
    void Advance(double seconds) {
        AdvanceTicks(seconds);
        state_->wallUtc += seconds;
    }
    void AdvanceTicks(double seconds) {
        state_->ticks += uint64_t(std::llround(seconds * double(ManualTickSource::kFrequency)));
    }
    // Someone sets the system clock (or it drifts): only the wall clock moves.
    void ShiftWallClock(double seconds) { state_->wallUtc += seconds; }

    uint64_t Ticks() const { return state_->ticks; }
    double WallUtcSeconds() const { return state_->wallUtc; }

private:
    std::shared_ptr<ManualTimeState> state_;
    bool installed_ = false;
};

}  // namespace tw::test
