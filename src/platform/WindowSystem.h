#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

// The desktop as the foreground probe and browser recognition see it:
// windows, their classes, texts and processes, the program file of a
// process, closing a window, and a window's accessibility tree.
namespace tw {

// An opaque window identifier; 0 is the null window.
using WindowHandle = uint64_t;
inline constexpr WindowHandle kNullWindow = 0;

// Answers whether the enumeration is to go on.
using WindowCallback = std::function<bool(WindowHandle window)>;

// The program file of a process, or why it could not be had.
struct ProcessImageResult {
    bool opened = false;     // false: the process could not be opened
    std::string devicePath;  // opened: the path as the system gives it (may be empty)
    int errorCode = 0;       // not opened: the system's error code
    std::string errorText;   // not opened: the system's message text for it
};

// Size of the fixed buffers the recognition rules are written for: a class
// name or a device name holds at most 259 bytes, a window text at most 1023.
inline constexpr size_t kClassNameBufferSize = 260;
inline constexpr size_t kWindowTextBufferSize = 1024;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The window with the input focus, or kNullWindow.
    virtual WindowHandle ForegroundWindow() = 0;

    // Calls back once per top-level window, until the callback answers false.
    virtual void EnumTopLevelWindows(const WindowCallback& callback) = 0;

    // Calls back once per descendant of `parent` (children and their children,
    // parents before their children), until the callback answers false. For
    // kNullWindow it covers the top-level windows, as the desktop's children.
    virtual void EnumChildWindows(WindowHandle parent, const WindowCallback& callback) = 0;

    // The window's class; empty when the window does not exist. At most 259 bytes.
    virtual std::string ClassName(WindowHandle window) = 0;

    // The window's text, waiting at most `timeoutMs`; nullopt when the window
    // does not answer in time or the read fails. At most 1023 bytes.
    virtual std::optional<std::string> WindowTextTimeout(WindowHandle window, int timeoutMs) = 0;

    // The process owning the window; 0 when unknown.
    virtual uint32_t WindowProcessId(WindowHandle window) = 0;

    // The program file of a process, in the system's own form (a volume
    // device name and the path on it where there are drive letters).
    virtual ProcessImageResult ProcessImagePath(uint32_t processId) = 0;

    // Whether paths are written with drive letters, so device-form paths
    // need converting; Linux paths are used as they are.
    virtual bool HasDriveLetters() const = 0;

    // The device name behind a drive name such as "C:"; nullopt when the
    // drive is not mapped.
    virtual std::optional<std::string> QueryDosDevice(std::string_view drive) = 0;

    // Asks the window to close, without waiting for the outcome. False when
    // the request could not be sent.
    virtual bool PostCloseRequest(WindowHandle window) = 0;

    // The window's own accessible object; null when it cannot be had.
    virtual std::unique_ptr<Accessible> AccessibleObjectFromWindow(WindowHandle window) = 0;
};

}  // namespace tw
