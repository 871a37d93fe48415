#pragma once

#include <string>

#include "control/EnforcementCore.h"

// The windows and timers around the enforcement core, doing nothing: tests
// and benchmarks override what they record.
namespace tw::test {

class QuietEnforcementView : public TEnforcementView {
public:
    TReminderResult ShowReminder(bool, bool) override { return {}; }
    void ShowReminderChange(const std::string&) override {}
    void ShowNotice(const std::string&) override {}
    void SelectReminderPart(uint8_t) override {}
    void SetFocusModeView(bool) override {}
    void SetFocusTimeTexts(const std::string&, const std::string&) override {}
    void SetFocusTimeValue(const std::string&) override {}
    void UpdateTimeDisplay() override {}
    void RefreshUsageList() override {}
    void ReleaseDayLists() override {}
    void ReloadDayLists() override {}
    void Minimise() override {}
    void TogglePanel() override {}
    void Terminate() override {}
};

// A timer that only remembers whether it is on and its interval.
class SwitchTimer : public TCoreTimer {
public:
    void SetEnabled(bool enabled) override { enabled_ = enabled; }
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override { interval_ = milliseconds; }
    int Interval() const noexcept { return interval_; }

private:
    bool enabled_ = true;
    int interval_ = 0;
};

}  // namespace tw::test
