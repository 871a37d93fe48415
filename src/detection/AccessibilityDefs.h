#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"
#include "platform/WindowSystem.h"

// Browser recognition by window class, and reading the address a browser
// shows: from an edit control's text, or from a depth-limited walk over the
// window's accessibility tree.
namespace tw {

class TOnlineTimeApplication;

// Called for each accessible object the walk reaches, with the caller's data
// and the object's depth (0 for the window's own object); false stops the walk.
using TAccessibleInfoEnumProc = bool (*)(Accessible& object, void* data, int depth);

inline constexpr int kFirefoxMaxDepth = 4;
inline constexpr int kOperaMaxDepth = 8;
inline constexpr int kWindowTextTimeoutMs = 1000;
// Opera's address field is focusable and hot-tracked, and nothing else.
inline constexpr int32_t kOperaAddressState = kStateSystemFocusable | kStateSystemHotTracked;

// Whether the text starts with "http://", "https://", "ftp://" or "ftps://" (letter case counts).
bool HasAddressPrefix(std::string_view value) noexcept;

// The probe's rule for one descendant of the examined window; may set the
// probe's AppType and BrowserUrl. Answers whether the enumeration goes on.
bool EnumChildWindowProc(WindowHandle child, TOnlineTimeApplication& probe);

// Walks the accessibility tree of `window` down to `maxDepth`, calling
// `callback` (required) for every object reached. A window without an
// accessible object gives no calls. Failures of the walk itself (a failing
// enumerator, a child that is not accessible) raise and end it.
void EnumWindowAccessibleInfo(WindowSystem& desktop, WindowHandle window,
                              TAccessibleInfoEnumProc callback, void* data, int maxDepth);

// The probe's callback (data is the TOnlineTimeApplication): accepts the
// first text element holding an address, by the Firefox or Opera rule.
bool OnWindowAccessibleInfoEnum(Accessible& object, void* data, int depth);

// The window's text, waiting at most a second; empty on any failure.
std::string GetWindowTextTimeout(WindowSystem& desktop, WindowHandle window);

// The window's class, as a 260-byte buffer holds it.
std::string GetWindowClassName(WindowSystem& desktop, WindowHandle window);

}  // namespace tw
