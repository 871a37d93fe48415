#pragma once

// Session and power notifications: the scan pauses while the computer
// sleeps or the user's session is locked, logged off or disconnected.
namespace tw {

class SessionObserver {
public:
    virtual ~SessionObserver() = default;
    // The computer is about to suspend, and has woken up again.
    virtual void SystemSuspending() = 0;
    virtual void SystemResumed() = 0;
    // The session was locked, logged off or disconnected, and is back.
    virtual void SessionDeactivated() = 0;
    virtual void SessionActivated() = 0;
};

// Delivers the notifications of this user's session to one observer, on the
// user-interface thread.
class SessionNotifier {
public:
    virtual ~SessionNotifier() = default;
    // Answers whether notifications will come; the caller keeps the answer to
    // know whether Unregister is due at the end.
    virtual bool Register(SessionObserver& observer) = 0;
    virtual void Unregister() = 0;
};

}  // namespace tw
