#include "platform/AltTapRecognizer.h"

namespace tw {

bool AltTapRecognizer::Key(uint32_t keysym, bool pressed) noexcept {
    const bool alt = keysym == kAltL || keysym == kAltR;
    if (heldAlt_ == 0) {
        // A release of Alt without its press (held when listening began) is no tap.
        if (alt && pressed) {
            heldAlt_ = keysym;
            spoiled_ = false;
        }
        return false;
    }
    if (keysym == heldAlt_) {
        if (pressed)
            return false;  // auto-repeat
        heldAlt_ = 0;
        return !spoiled_;
    }
    spoiled_ = true;
    return false;
}

}  // namespace tw
