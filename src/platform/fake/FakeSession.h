#pragma once

#include "platform/Session.h"

// Session and power notifications a test injects; they reach the observer
// as they are, so odd orders can be tried too.
namespace tw {

class FakeSessionNotifier final : public SessionNotifier {
public:
    bool Register(SessionObserver& observer) override;
    void Unregister() override { observer_ = nullptr; }

    // As on a machine without the services: Register answers false.
    void SetAvailable(bool available) noexcept { available_ = available; }
    bool Registered() const noexcept { return observer_ != nullptr; }

    // Each is passed on only while an observer is registered.
    void Suspend();
    void Resume();
    void Deactivate();
    void Activate();

private:
    SessionObserver* observer_ = nullptr;
    bool available_ = true;
};

}  // namespace tw
