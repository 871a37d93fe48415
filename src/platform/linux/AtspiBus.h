#pragma once

// The accessibility bus of this process, for the AT-SPI files only; the
// program asks for it through EnableAccessibilityBus (AtspiAccessibility.h).
namespace tw {

// Starts libatspi once for the whole process, on the bus address found by
// EnableAccessibilityBus or with bounded calls now. False when there is no
// bus or the start failed: libatspi is then never called, because its calls
// would abort the program.
bool AtspiReady();

}  // namespace tw
