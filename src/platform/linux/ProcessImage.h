#pragma once

#include <cstdint>

#include "platform/WindowSystem.h"

namespace tw {

// The program file of a process from /proc/PID/exe, or the system's error.
ProcessImageResult ReadProcessImage(uint32_t processId);

}  // namespace tw
