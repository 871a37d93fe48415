#pragma once

#include <functional>

#include "platform/Hotkey.h"

// Alt taps a test injects.
namespace tw {

class FakeHotkeySource final : public HotkeySource {
public:
    bool Start(std::function<void()> onAltTap) override;
    void Stop() override { onAltTap_ = nullptr; }

    // As without an X server: Start answers false.
    void SetAvailable(bool available) noexcept { available_ = available; }
    bool Started() const noexcept { return bool(onAltTap_); }
    // One tap, passed on only while started.
    void Tap();

private:
    std::function<void()> onAltTap_;
    bool available_ = true;
};

}  // namespace tw
