#pragma once

#include <exception>

// The program's last line of defence: an error that escaped an event
// handler. It is logged and, in the program's windowed application, shown
// in the "Application Error" window.
namespace tw {

// One window at a time: an error raised while the window is open (a timer
// that fails on every tick) is only logged, so windows never pile up.
void ApplicationOnException(std::exception_ptr error) noexcept;

}  // namespace tw
