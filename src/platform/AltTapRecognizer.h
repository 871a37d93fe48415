#pragma once

#include <cstdint>

// Recognises a tap of Alt in a stream of key events: Alt_L or Alt_R pressed
// and released with no other key pressed or released in between, so that
// Alt+Tab does not count, and neither do AltGr (ISO_Level3_Shift) or both
// Alt keys together. Keys are X keysyms.
namespace tw {

class AltTapRecognizer {
public:
    static constexpr uint32_t kAltL = 0xffe9;
    static constexpr uint32_t kAltR = 0xffea;

    // Answers true when this event completes a tap.
    bool Key(uint32_t keysym, bool pressed) noexcept;

private:
    uint32_t heldAlt_ = 0;  // the Alt key held since its press, or 0
    bool spoiled_ = false;  // another key moved while it was held
};

}  // namespace tw
