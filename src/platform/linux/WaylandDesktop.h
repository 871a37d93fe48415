#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/WindowSystem.h"
#include "platform/linux/AtspiAccessibility.h"

// The desktop of a Wayland session. No window-system call names the window
// in front there, so it is read from three sources, in this order:
//   - the X server of XWayland, for X11 clients: its active window is set
//     only while one of them has the focus;
//   - the compositor's own interface where it offers one (sway's IPC, a
//     KWin script, the program's GNOME Shell extension, wlroots' toplevel
//     list), which also closes single windows;
//   - the accessibility bus: the one application frame marked ACTIVE.
// Browsers are recognised by their application id or program file and
// their addresses read over the accessibility bus, as on X11.
//
// Handles of X11 clients are their X ids. Wayland windows get handles of
// their own (kWaylandBit and a serial number), stable for as long as the
// window is seen; a browser window has one synthetic child, as on X11.
namespace tw {

class AtspiForeground;
class CompositorRoute;
class X11Desktop;

class WaylandDesktop final : public WindowSystem {
public:
    static constexpr WindowHandle kWaylandBit = WindowHandle(1) << 32;
    static constexpr WindowHandle kSyntheticChildBit = WindowHandle(1) << 30;

    // Any part may be missing: no XWayland, no compositor interface, no
    // accessibility bus.
    WaylandDesktop(std::unique_ptr<X11Desktop> xwayland,
                   std::unique_ptr<CompositorRoute> compositor,
                   std::unique_ptr<AtspiForeground> frames);
    ~WaylandDesktop() override;
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    WindowHandle ForegroundWindow() override;
    // The compositor's windows, else the accessible frames and the X11 clients.
    void EnumTopLevelWindows(const WindowCallback& callback) override;
    void EnumChildWindows(WindowHandle parent, const WindowCallback& callback) override;
    std::string ClassName(WindowHandle window) override;
    std::optional<std::string> WindowTextTimeout(WindowHandle window, int timeoutMs) override;
    uint32_t WindowProcessId(WindowHandle window) override;
    ProcessImageResult ProcessImagePath(uint32_t processId) override;
    bool HasDriveLetters() const override { return false; }
    std::optional<std::string> QueryDosDevice(std::string_view drive) override;
    // Through the compositor, else the window's own accessible close
    // control; never by a signal, which would end every window of the
    // application and lose its unsaved work. A window that cannot be
    // closed is logged once.
    bool PostCloseRequest(WindowHandle window) override;
    std::unique_ptr<Accessible> AccessibleObjectFromWindow(WindowHandle window) override;

    // What found the last foreground window: "x11", the compositor
    // interface's name, "accessibility", or "none".
    const char* ForegroundRoute() const noexcept { return route_; }
    // The compositor interface in use, or null.
    const char* CompositorName() const noexcept;
    X11Desktop* XWayland() const noexcept { return x11_.get(); }

private:
    struct Window {
        std::string key;            // "c:" and the compositor's id, or "a:" and the frame's key
        uint64_t compositorId = 0;  // 0: not known to the compositor
        std::string frameKey;       // the accessible frame, when known
        uint32_t pid = 0;
        std::string appId;  // the compositor's application id, or the program's file name
        std::string title;
        // Filled by HandleFor, once per window: the program does not change.
        std::string program;                      // the program's file name
        const char* browserChildClass = nullptr;  // null: not a browser
    };

    static bool IsWayland(WindowHandle window) noexcept { return (window & kWaylandBit) != 0; }
    WindowHandle HandleFor(Window window);
    const Window* Find(WindowHandle window) const;
    void ForgetAllBut(const std::set<WindowHandle>& live);
    void LogCannotClose(const Window& window, const char* why);

    std::unique_ptr<X11Desktop> x11_;
    std::unique_ptr<CompositorRoute> compositor_;
    std::unique_ptr<AtspiForeground> frames_;
    AtspiBrowsers browsers_;
    std::map<std::string, uint32_t> serials_;  // window key -> serial
    std::map<uint32_t, Window> windows_;       // serial -> window
    uint32_t nextSerial_ = 1;
    WindowHandle foreground_ = kNullWindow;
    const char* route_ = "none";
    std::set<std::string> closeFailuresLogged_;  // window keys
};

}  // namespace tw
