#include "support/ManualTimers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "base/AppClock.h"

namespace tw::test {

// --- ManualTimer ---

ManualTimer::ManualTimer(ManualTimers& owner, std::string name, int milliseconds)
    : owner_(owner), name_(std::move(name)), interval_(milliseconds) {}

void ManualTimer::Arm(uint64_t due) {
    due_ = due;
    armOrder_ = owner_.nextArmOrder_++;
}

void ManualTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    if (enabled)
        Arm(owner_.Now() + uint64_t(interval_) * 1000000);
}

void ManualTimer::SetInterval(int milliseconds) {
    if (milliseconds <= 0)
        throw std::invalid_argument(name_ + ": an interval must be positive");
    interval_ = milliseconds;
    if (enabled_)
        Arm(owner_.Now() + uint64_t(interval_) * 1000000);
}

// --- ManualTimers ---

ManualTimer& ManualTimers::Add(std::string name, int milliseconds, bool enabled) {
    timers_.push_back(
        std::unique_ptr<ManualTimer>(new ManualTimer(*this, std::move(name), milliseconds)));
    ManualTimer& timer = *timers_.back();
    timer.SetEnabled(enabled);
    return timer;
}

uint64_t ManualTimers::Nanoseconds(double seconds) {
    if (!(seconds >= 0))
        throw std::invalid_argument("time only moves forward");
    return uint64_t(std::llround(seconds * double(ManualTickSource::kFrequency)));
}

void ManualTimers::MoveClockTo(uint64_t ticks) {
    if (ticks > Now())
        clock_.Advance(double(ticks - Now()) / double(ManualTickSource::kFrequency));
}

ManualTimer* ManualTimers::NextDue(uint64_t until) {
    ManualTimer* next = nullptr;
    for (const auto& timer : timers_) {
        if (!timer->enabled_ || timer->running_ || timer->due_ > until)
            continue;
        if (!next || timer->due_ < next->due_ ||
            (timer->due_ == next->due_ && timer->armOrder_ < next->armOrder_))
            next = timer.get();
    }
    return next;
}

void ManualTimers::Fire(ManualTimer& timer) {
    MoveClockTo(timer.due_);
    // The next time-out is set before the handler runs; a handler that
    // switches its timer off and on again starts a new interval instead.
    const uint64_t interval = uint64_t(timer.interval_) * 1000000;
    uint64_t next = timer.due_ + interval;
    if (next < Now())
        next = Now() + interval;
    timer.Arm(next);
    ++timer.fired_;
    if (!timer.handler_)
        return;
    timer.running_ = true;
    try {
        timer.handler_();
    } catch (...) {
        timer.running_ = false;
        throw;
    }
    timer.running_ = false;
}

void ManualTimers::RunFor(double seconds) {
    const uint64_t end = Now() + Nanoseconds(seconds);
    while (ManualTimer* timer = NextDue(end))
        Fire(*timer);
    MoveClockTo(end);
}

bool ManualTimers::RunUntilFired(const ManualTimer& timer, double limitSeconds) {
    const uint64_t end = Now() + Nanoseconds(limitSeconds);
    const int before = timer.fired_;
    while (timer.fired_ == before) {
        ManualTimer* next = NextDue(end);
        if (!next) {
            MoveClockTo(end);
            return false;
        }
        Fire(*next);
    }
    return true;
}

void ManualTimers::Sleep(double seconds) {
    const uint64_t span = Nanoseconds(seconds);
    clock_.Advance(double(span) / double(ManualTickSource::kFrequency));
    for (const auto& timer : timers_)
        timer->due_ += span;
}

// --- Reminder answers ---

ReminderAnswer CountdownEnds(uint8_t preselected) {
    return ReminderAnswer{60, false, preselected, true};
}

ReminderAnswer UserChooses(uint8_t choice, double seconds) {
    return ReminderAnswer{seconds, false, choice, true};
}

ReminderAnswer UserTakesFiveMinutes(double seconds) {
    return ReminderAnswer{seconds, true, 0, true};
}

// --- ScriptedEnforcementView ---

void ScriptedEnforcementView::Expect(std::vector<ReminderAnswer> answers) {
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

TReminderResult ScriptedEnforcementView::ShowReminder(bool focus, bool offerFiveMinutes) {
    reminders.push_back({AppNow(), focus, offerFiveMinutes});
    if (answers_.empty()) {
        ADD_FAILURE() << "a reminder (focus " << focus << ") that the script does not expect, at "
                      << FormatDateTimeText(AppNow());
        return TReminderResult{false, 0, true};
    }
    const ReminderAnswer answer = answers_.front();
    answers_.pop_front();
    EXPECT_TRUE(offerFiveMinutes || !answer.fiveMinutes)
        << "\"Give me 5 Minutes\" pressed but not offered, at " << FormatDateTimeText(AppNow());
    timers_.RunFor(answer.seconds);
    return TReminderResult{answer.fiveMinutes, answer.choice, answer.answered};
}

void ScriptedEnforcementView::ShowReminderChange(const std::string& message) {
    reminderChanges.push_back(message);
}

void ScriptedEnforcementView::SetFocusModeView(bool on) {
    const bool shown = !focusViews.empty() && focusViews.back();
    if (on != shown)
        focusViews.push_back(on);
}

void ScriptedEnforcementView::SetFocusTimeTexts(const std::string& title, const std::string& link) {
    focusTitle = title;
    focusLink = link;
}

}  // namespace tw::test
