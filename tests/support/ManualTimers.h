#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "control/EnforcementCore.h"
#include "support/ManualClock.h"

// The main window's timers and windows without Qt: timers that fire on the
// manual clock when a test moves it on, and a view that answers the
// reminder window by a script and records everything the core asks of it.
namespace tw::test {

class ManualTimers;

// One timer on the manual clock's counter. Like a QTimer: enabling (also an
// enabled timer) starts a new interval from now, and so does a new interval
// of an enabled timer; after firing, the next time-out is one interval after
// the one that fired, or one interval after now when that has passed.
class ManualTimer final : public TCoreTimer {
public:
    ManualTimer(const ManualTimer&) = delete;
    ManualTimer& operator=(const ManualTimer&) = delete;

    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override;

    void SetHandler(std::function<void()> handler) { handler_ = std::move(handler); }
    const std::string& Name() const noexcept { return name_; }
    int Interval() const noexcept { return interval_; }
    // Counter reading in nanoseconds of the next time-out, while enabled.
    uint64_t Due() const noexcept { return due_; }
    int FireCount() const noexcept { return fired_; }

private:
    friend class ManualTimers;
    ManualTimer(ManualTimers& owner, std::string name, int milliseconds);
    void Arm(uint64_t due);

    ManualTimers& owner_;
    std::string name_;
    int interval_;
    bool enabled_ = false;
    uint64_t due_ = 0;
    // Order among timers due at the same moment: the one armed first fires first.
    uint64_t armOrder_ = 0;
    bool running_ = false;
    int fired_ = 0;
    std::function<void()> handler_;
};

// The event loop of the timers. Time moves only through RunFor and Sleep;
// a handler may call RunFor itself, as a modal dialog runs its own loop:
// the other timers keep firing meanwhile, but a timer whose handler is
// running is not entered again (Qt keeps a timer from recursing).
class ManualTimers {
public:
    explicit ManualTimers(ManualClock& clock) : clock_(clock) {}
    ManualTimers(const ManualTimers&) = delete;
    ManualTimers& operator=(const ManualTimers&) = delete;

    ManualTimer& Add(std::string name, int milliseconds, bool enabled);

    // Moves the clock on by `seconds`, firing each timer as it falls due.
    void RunFor(double seconds);
    // Runs until `timer` has fired once more, for at most `limitSeconds`;
    // false when it did not fire.
    bool RunUntilFired(const ManualTimer& timer, double limitSeconds);
    // The machine sleeps: the clock counts the sleep (the application clock
    // reads a counter that does), the timers do not (Qt's time-outs are on
    // a monotonic clock that stops while suspended), so each comes due as
    // much later.
    void Sleep(double seconds);

    uint64_t Now() const noexcept { return clock_.Ticks(); }

private:
    friend class ManualTimer;
    static uint64_t Nanoseconds(double seconds);
    void MoveClockTo(uint64_t ticks);
    ManualTimer* NextDue(uint64_t until);
    void Fire(ManualTimer& timer);

    ManualClock& clock_;
    std::vector<std::unique_ptr<ManualTimer>> timers_;
    uint64_t nextArmOrder_ = 0;
};

// How the reminder window of the script ends.
struct ReminderAnswer {
    // How long it stays open; the other timers fire meanwhile.
    double seconds = 0;
    bool fiveMinutes = false;
    uint8_t choice = 0;
    // False: the program ended while it was open.
    bool answered = true;
};

// The countdown runs out with the action preselected (the store's
// ExpirationAction; focus mode ignores it).
ReminderAnswer CountdownEnds(uint8_t preselected);
// The user picks an action and presses OK after `seconds`.
ReminderAnswer UserChooses(uint8_t choice, double seconds);
// "Give me 5 Minutes" after `seconds`.
ReminderAnswer UserTakesFiveMinutes(double seconds);

// A reminder window as the core opened it.
struct ShownReminder {
    TDateTime at = 0;  // AppNow when it opened
    bool focus = false;
    bool offeredFiveMinutes = false;
};

// The panel and its dialogs, as far as the core uses them. Reminders are
// answered from a queue the test fills; one that is not in the script fails
// the test and is answered "Continue" at once.
class ScriptedEnforcementView final : public TEnforcementView {
public:
    explicit ScriptedEnforcementView(ManualTimers& timers) : timers_(timers) {}

    void Expect(std::vector<ReminderAnswer> answers);
    size_t UnusedAnswers() const noexcept { return answers_.size(); }

    TReminderResult ShowReminder(bool focus, bool offerFiveMinutes) override;
    void ShowReminderChange(const std::string& message) override;
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void SelectReminderPart(uint8_t partOfDay) override { parts.push_back(partOfDay); }
    void SetFocusModeView(bool on) override;
    void SetFocusTimeTexts(const std::string& title, const std::string& link) override;
    void SetFocusTimeValue(const std::string& value) override { focusValue = value; }
    void UpdateTimeDisplay() override { ++timeDisplays; }
    void RefreshUsageList() override { ++usageRefreshes; }
    void ReleaseDayLists() override { ++released; }
    void ReloadDayLists() override { ++reloaded; }
    void Minimise() override { ++minimised; }
    void TogglePanel() override { ++toggled; }
    void Terminate() override { ++terminated; }

    std::vector<ShownReminder> reminders;
    std::vector<std::string> reminderChanges;
    std::vector<std::string> notices;
    std::vector<uint8_t> parts;
    // Changes of the focus display only (the core repeats "off" every tick).
    std::vector<bool> focusViews;
    std::string focusTitle, focusLink, focusValue;
    int timeDisplays = 0;
    int usageRefreshes = 0;
    int released = 0;
    int reloaded = 0;
    int minimised = 0;
    int toggled = 0;
    int terminated = 0;

private:
    ManualTimers& timers_;
    std::deque<ReminderAnswer> answers_;
};

}  // namespace tw::test
