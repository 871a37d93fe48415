#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/AltTapRecognizer.h"
#include "platform/Hotkey.h"

class QSocketNotifier;
struct _XDisplay;

// The Alt hot key on X11: raw key events (XInput 2) of the root window, on
// a connection of its own whose socket a QSocketNotifier watches. It only
// listens and never grabs, so every program still sees every key.
namespace tw {

class X11HotkeySource final : public HotkeySource {
public:
    // An empty name means $DISPLAY.
    explicit X11HotkeySource(std::string displayName = {});
    ~X11HotkeySource() override;
    X11HotkeySource(const X11HotkeySource&) = delete;
    X11HotkeySource& operator=(const X11HotkeySource&) = delete;

    bool Start(std::function<void()> onAltTap) override;
    void Stop() override;

    // A round trip to the server, then every event it brought is handled:
    // on return, each key the server had seen before is accounted for.
    void Sync();

private:
    void HandleEvents();

    std::string displayName_;
    _XDisplay* display_ = nullptr;
    int xinputOpcode_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
    AltTapRecognizer recognizer_;
    std::function<void()> onAltTap_;
};

}  // namespace tw
