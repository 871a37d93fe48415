#pragma once

#include "base/Exceptions.h"

// Shutting the computer down, the harshest of the expiration actions.
namespace tw {

class PowerControl {
public:
    virtual ~PowerControl() = default;
    // Arranges for the computer to power off after `countdownSeconds`.
    // Raises EOSError with the system's reason when it is refused.
    virtual void ShutdownComputer(int countdownSeconds) = 0;
};

// The shutdown action of the reminder goes through here, whichever backend
// the entry point chose. A negative countdown is a programming error.
inline void ShutdownComputer(PowerControl& power, int countdownSeconds) {
    Require(countdownSeconds >= 0, "Power");
    power.ShutdownComputer(countdownSeconds);
}

}  // namespace tw
