#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/DateTime.h"
#include "storage/Options.h"

// The to-do texts around the reminder window: which part of the day is
// shown, when a text counts as filled in, the window's message and height,
// and how often the user is asked to refresh stale texts.
namespace tw {

// Reminder type of a time of day: 0 morning (04:00 to 12:00), 1 afternoon
// (12:00 to 18:00), 2 evening (from 18:00 and before 04:00).
uint8_t ReminderPartOfDay(TDateTime time) noexcept;

// ReminderTextFilled, whether a text counts as filled in, is the settings
// store's, so the settings window marks the texts by the same rule.

// The reminder window's message, for focus mode or for the expiration action.
const char* ReminderMessage(bool focus, uint8_t expirationAction) noexcept;

// The reminder window's height for a part of the day: it shows only the
// texts of the rest of the day.
int ReminderWindowHeight(uint8_t partOfDay) noexcept;

// Days between two prompts to refresh the texts for a ReminderChangePeriod
// at `now`: 1, 7, 14, or the length of the coming calendar month; 0 for never.
double ReminderChangePeriodDays(uint8_t period, TDateTime now);

// "You have not updated your reminders in N day(s)".
std::string ReminderChangeMessage(int days);

// The action choices of the reminder window ("Continue", ...), by value.
const char* ReminderChoiceText(uint8_t choice) noexcept;

}  // namespace tw
