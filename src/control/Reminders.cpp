#include "control/Reminders.h"

#include <cmath>

#include "base/Strings.h"
#include "storage/Options.h"

namespace tw {

uint8_t ReminderPartOfDay(TDateTime time) noexcept {
    // Whole seconds of the day, so 11:59:59.9996 is not already noon.
    const double seconds = std::floor((time - std::floor(time)) * kSecondsPerDay + 1e-6);
    if (seconds >= 4 * 3600 && seconds < 12 * 3600)
        return rtMorning;
    if (seconds >= 12 * 3600 && seconds < 18 * 3600)
        return rtAfternoon;
    return rtEvening;
}

const char* ReminderMessage(bool focus, uint8_t expirationAction) noexcept {
    if (focus) {
        return "You have chosen to focus without interruptions for a while.  Here's a reminder "
               "of your tasks today. The distracting sites and applications on your list will "
               "be closing shortly.";
    }
    switch (expirationAction) {
        case eaCloseBrowserApp:
            return "Sorry but you have now spent your allocated time on your 'sites and "
                   "applications to watch' list. Here's a reminder of your tasks for the rest of "
                   "the day. The sites and applications on your 'to watch' list will be closing in "
                   "60 seconds. You will not be able to access your 'sites and applications to "
                   "watch' list until 0400 tomorrow.";
        case eaShutdownComputer:
            return "Sorry but you have now spent your allocated time on your 'sites and "
                   "applications to watch' list. Here's a reminder of your tasks for the rest of "
                   "the day. The computer will be shutting down in 60 seconds. You will not be "
                   "able "
                   "to access your 'sites and applications to watch' list until 0400 tomorrow.";
        default:
            return "Sorry but you have now spent your allocated time on your 'sites and "
                   "applications to watch' list. Here's a reminder of  your tasks for the rest of "
                   "the day. You can either block the 'sites and applications' until 0400 tomorrow "
                   "or continue.";
    }
}

int ReminderWindowHeight(uint8_t partOfDay) noexcept {
    switch (partOfDay) {
        case rtMorning:
            return 533;
        case rtAfternoon:
            return 413;
        default:
            return 295;
    }
}

double ReminderChangePeriodDays(uint8_t period, TDateTime now) {
    switch (period) {
        case rcpDaily:
            return 1;
        case rcpWeekly:
            return 7;
        case rcpFortnightly:
            return 14;
        case rcpMonthly:
            return IncMonth(now, 1) - now;
        default:
            return 0;
    }
}

std::string ReminderChangeMessage(int days) {
    return "You have not updated your reminders in " + IntToStr(days) + " day(s)";
}

const char* ReminderChoiceText(uint8_t choice) noexcept {
    switch (choice) {
        case eaCloseBrowserApp:
            return "Close Application";
        case eaShutdownComputer:
            return "Shutdown Computer";
        default:
            return "Continue";
    }
}

}  // namespace tw
