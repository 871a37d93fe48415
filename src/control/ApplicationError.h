#pragma once

#include <exception>

// The program's last line of defence: an error that escaped an event
// handler. It is logged; the error window comes with the start-up.
namespace tw {

void ApplicationOnException(std::exception_ptr error) noexcept;

}  // namespace tw
