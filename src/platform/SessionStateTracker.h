#pragma once

#include <array>
#include <cstddef>

#include "platform/Session.h"

// One session state from several witnesses. The session counts as inactive
// while any source says so and as active again only when every source says
// active: a screen locker and the login manager do not always agree, and a
// locker that unlocks by itself tells only one of them.
namespace tw {

enum class SessionSource {
    Locked,       // the login manager's lock hint
    NotActive,    // the login manager's session is not the one in front
    ScreenSaver,  // the desktop-neutral screen saver interface
    GnomeScreenSaver,
};
inline constexpr size_t kSessionSourceCount = 4;

class SessionStateTracker {
public:
    explicit SessionStateTracker(SessionObserver& observer) : observer_(observer) {}

    // Tells the observer only when the combined state changes.
    void SetInactive(SessionSource source, bool inactive);
    // Suspend (true) and resume (false); a repeated report is not passed on.
    void SetSleeping(bool sleeping);

    bool Inactive() const noexcept;
    bool Sleeping() const noexcept { return sleeping_; }

private:
    SessionObserver& observer_;
    std::array<bool, kSessionSourceCount> inactive_{};
    bool sleeping_ = false;
};

}  // namespace tw
