#pragma once

#include <functional>

// The system-wide hot key: Alt tapped on its own. Two taps in quick
// succession show or hide the panel; the source only reports each tap.
namespace tw {

class HotkeySource {
public:
    virtual ~HotkeySource() = default;
    // Starts listening; `onAltTap` runs on the user-interface thread after
    // every tap. Answers whether taps will come (without, there is no hot
    // key, and the reason is logged).
    virtual bool Start(std::function<void()> onAltTap) = 0;
    virtual void Stop() = 0;
};

}  // namespace tw
