#pragma once

#include <functional>

// The computer is about to power off or restart: the program then ends the
// way its own Exit does, with its settings saved, instead of being killed.
namespace tw {

class ShutdownNotice {
public:
    virtual ~ShutdownNotice() = default;
    // Starts listening; `onShutdown` runs on the user-interface thread when
    // the shutdown begins. Answers whether the notice will come (without, the
    // reason is logged).
    virtual bool Start(std::function<void()> onShutdown) = 0;
    virtual void Stop() = 0;
};

}  // namespace tw
