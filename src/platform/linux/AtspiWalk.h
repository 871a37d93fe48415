#pragma once

#include <dbus/dbus.h>

#include <memory>
#include <string>

#include "platform/Accessibility.h"

// The address walk over a browser's AT-SPI tree, for the AT-SPI files only.
namespace tw {

// The object at `path` of the application `busName` as an Accessible,
// read with plain AT-SPI D-Bus calls on `bus` (libatspi's connection to the
// browser). Every call of the walk below it waits at most what is left of
// `budgetMs`.
std::unique_ptr<Accessible> AtspiWalkRoot(DBusConnection* bus, const std::string& busName,
                                          const std::string& path, int budgetMs);

}  // namespace tw
