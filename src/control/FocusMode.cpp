#include "control/FocusMode.h"

#include <cmath>

namespace tw {

const char* FocusTimeTitle(uint8_t format) noexcept {
    switch (format) {
        case 1:
            return "Focus Ends In";
        case 2:
            return "Time Now";
        default:
            return "Focus Started";
    }
}

const char* FocusTimeLink(uint8_t format) noexcept {
    switch (format) {
        case 1:
            return "Show Time Now";
        case 2:
            return "Show Focus Start Time";
        default:
            return "Show Focus End Time";
    }
}

std::string FocusTimeText(uint8_t format, TDateTime now, TDateTime focusStart,
                          TDateTime focusPeriod) {
    // A hair of tolerance: a minute computed from doubles may land just below itself.
    const TDateTime elapsed = std::floor((now - focusStart) * 1440 + 1e-7) / 1440;
    TDateTime value = 0;
    switch (format) {
        case 0:
            value = elapsed;
            break;
        case 1:
            value = focusPeriod - elapsed;
            break;
        case 2:
            value = now;
            break;
        default:
            break;
    }
    return FormatHoursMinutes(value < 0 ? 0 : value);
}

}  // namespace tw
