#pragma once

#include <cstdint>
#include <string>

#include "base/DateTime.h"

// What the focus time label shows: minutes since the start (format 0),
// minutes left (1) or the time now (2), each with its title and the link
// that switches to the next format.
namespace tw {

inline constexpr uint8_t kFocusTimeFormatCount = 3;

const char* FocusTimeTitle(uint8_t format) noexcept;
const char* FocusTimeLink(uint8_t format) noexcept;

// The label's "hh:nn". Elapsed time counts whole minutes; a negative value shows 00:00.
std::string FocusTimeText(uint8_t format, TDateTime now, TDateTime focusStart,
                          TDateTime focusPeriod);

// The shortest and longest period "Block Mode" accepts: 00:01 and 23:59.
inline constexpr TDateTime kMinFocusPeriod = kOneMinute;
inline constexpr TDateTime kMaxFocusPeriod = 1439 * kOneMinute;

}  // namespace tw
