#include "platform/SessionStateTracker.h"

#include <algorithm>

namespace tw {

bool SessionStateTracker::Inactive() const noexcept {
    return std::find(inactive_.begin(), inactive_.end(), true) != inactive_.end();
}

void SessionStateTracker::SetInactive(SessionSource source, bool inactive) {
    const bool before = Inactive();
    inactive_.at(size_t(source)) = inactive;
    if (Inactive() == before)
        return;
    if (inactive)
        observer_.SessionDeactivated();
    else
        observer_.SessionActivated();
}

void SessionStateTracker::SetSleeping(bool sleeping) {
    if (sleeping_ == sleeping)
        return;
    sleeping_ = sleeping;
    if (sleeping)
        observer_.SystemSuspending();
    else
        observer_.SystemResumed();
}

}  // namespace tw
