#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WindowSystem.h"

struct _XDisplay;

// The real desktop on an X server: the foreground window, the top-level
// windows, the process and program file behind a window, and close
// requests, through the conventions a window manager announces (EWMH) and
// the bare X protocol when none runs.
//
// Window handles are X window ids. X browsers have no child windows of
// their own, so a recognised browser window is presented with one
// synthetic child of the class the recognition rules expect; its handle is
// the top-level id with kSyntheticChildBit set, which no real id carries
// (X ids use the low 29 bits).
//
// No X error ends the program: a failed request makes the call fail. A
// lost connection is logged once; the desktop then finds nothing.
namespace tw {

class AtspiBrowsers;

class X11Desktop final : public WindowSystem {
public:
    static constexpr WindowHandle kSyntheticChildBit = WindowHandle(1) << 30;

    // Connects to `displayName` (null: $DISPLAY). Null when there is no display.
    static std::unique_ptr<X11Desktop> Open(const char* displayName = nullptr);
    ~X11Desktop() override;
    X11Desktop(const X11Desktop&) = delete;
    X11Desktop& operator=(const X11Desktop&) = delete;

    // The top-level client window the user works in: the manager's active
    // window, else the input focus (or the window under the pointer when
    // the focus follows it) taken up to its top-level client.
    WindowHandle ForegroundWindow() override;
    // The clients the window manager lists, else every child of the root.
    void EnumTopLevelWindows(const WindowCallback& callback) override;
    // The synthetic browser child, or nothing; for the null window the top-level windows.
    void EnumChildWindows(WindowHandle parent, const WindowCallback& callback) override;
    // WM_CLASS class part of a real window; the browser class of a synthetic child.
    std::string ClassName(WindowHandle window) override;
    // _NET_WM_NAME, else WM_NAME: the server answers at once, so no time-out
    // applies. A synthetic Chromium child answers the text of the address
    // field, read over AT-SPI within the time-out.
    std::optional<std::string> WindowTextTimeout(WindowHandle window, int timeoutMs) override;
    // _NET_WM_PID, else the X-Resource extension's client id; 0 when unknown.
    uint32_t WindowProcessId(WindowHandle window) override;
    // readlink of /proc/PID/exe, or the system's error.
    ProcessImageResult ProcessImagePath(uint32_t processId) override;
    bool HasDriveLetters() const override { return false; }
    std::optional<std::string> QueryDosDevice(std::string_view drive) override;
    // _NET_CLOSE_WINDOW through the window manager when one runs, else
    // WM_DELETE_WINDOW when the window takes part in that protocol.
    bool PostCloseRequest(WindowHandle window) override;
    // The AT-SPI frame of the browser behind a synthetic Firefox or Opera child.
    std::unique_ptr<Accessible> AccessibleObjectFromWindow(WindowHandle window) override;

    std::vector<WindowHandle> TopLevelWindows();
    // Whether a window manager announces itself now.
    bool WindowManagerRunning();
    bool ConnectionLost() const noexcept { return lost_; }
    static bool IsSyntheticChild(WindowHandle window) noexcept {
        return (window & kSyntheticChildBit) != 0;
    }
    // The browser child class for a WM_CLASS pair, or null when not a browser.
    static const char* BrowserChildClass(std::string_view instance,
                                         std::string_view className) noexcept;

private:
    explicit X11Desktop(_XDisplay* display);

    struct Atoms;
    friend struct X11DesktopHandlers;

    bool Usable() const noexcept { return display_ != nullptr && !lost_; }
    // One window-valued property (the first value), 0 when absent or on error.
    unsigned long WindowProperty(unsigned long window, unsigned long property);
    std::vector<unsigned long> WindowListProperty(unsigned long window, unsigned long property);
    bool HasProperty(unsigned long window, unsigned long property);
    std::optional<std::string> TextProperty(unsigned long window, unsigned long property,
                                            unsigned long type);
    bool ClassHint(unsigned long window, std::string& instance, std::string& className);
    unsigned long WindowManagerCheck();
    // The top-level client holding `window`: up to the root's child, then
    // down to the window a reparenting manager marked with WM_STATE.
    unsigned long ClientOf(unsigned long window);
    unsigned long FindClientBelow(unsigned long frame, int depth);
    std::vector<unsigned long> Children(unsigned long window, unsigned long* parent = nullptr);
    bool Sync();
    void OnError() noexcept;
    void OnConnectionLost() noexcept;
    // The browsers' accessibility, with the frames of windows that are gone dropped.
    AtspiBrowsers& Browsers();

    _XDisplay* display_ = nullptr;
    unsigned long root_ = 0;
    std::unique_ptr<Atoms> atoms_;
    bool hasXRes_ = false;
    bool lost_ = false;
    int errors_ = 0;  // X errors seen on this connection
    std::unique_ptr<AtspiBrowsers> atspi_;
};

}  // namespace tw
