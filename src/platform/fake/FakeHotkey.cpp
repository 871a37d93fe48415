#include "platform/fake/FakeHotkey.h"

namespace tw {

bool FakeHotkeySource::Start(std::function<void()> onAltTap) {
    if (!available_)
        return false;
    onAltTap_ = std::move(onAltTap);
    return true;
}

void FakeHotkeySource::Tap() {
    if (onAltTap_) {
        const std::function<void()> handler = onAltTap_;
        handler();
    }
}

}  // namespace tw
