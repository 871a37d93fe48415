#pragma once

#include <unistd.h>

#include <string>
#include <vector>

// Included after the C++ and project headers: Xlib's macros (None, Bool,
// Status) would break them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace tw::bench {

inline constexpr int kClientWindows = 30;

// 30 mapped client windows made by one connection; the last is of a
// browser's class. With `standInManager`, a stand-in window manager that
// announces itself through EWMH properties on the root (no manager runs);
// without, a real manager takes them.
class BenchDesktop {
public:
    explicit BenchDesktop(const std::string& display, bool standInManager = true) {
        client_ = XOpenDisplay(display.c_str());
        if (!client_)
            return;
        root_ = DefaultRootWindow(client_);
        const long pid = long(getpid());
        const long normalState[2] = {1, 0};
        for (int i = 0; i < kClientWindows; ++i) {
            Window w = XCreateSimpleWindow(client_, root_, 10 * i, 10 * i, 300, 200, 0, 0, 0);
            const bool browser = i == kClientWindows - 1;
            XClassHint hint{const_cast<char*>(browser ? "Navigator" : "bench"),
                            const_cast<char*>(browser ? "firefox" : "Bench")};
            XSetClassHint(client_, w, &hint);
            XStoreName(client_, w, "probe bench window");
            XChangeProperty(client_, w, Intern("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
            if (standInManager)
                XChangeProperty(client_, w, Intern("WM_STATE"), Intern("WM_STATE"), 32,
                                PropModeReplace,
                                reinterpret_cast<const unsigned char*>(normalState), 2);
            XMapWindow(client_, w);
            windows_.push_back(w);
        }
        if (standInManager) {
            check_ = XCreateSimpleWindow(client_, root_, 0, 0, 1, 1, 0, 0, 0);
            SetWindows(check_, "_NET_SUPPORTING_WM_CHECK", {check_});
            SetWindows(root_, "_NET_CLIENT_LIST", windows_);
        }
        XSync(client_, False);
    }
    ~BenchDesktop() {
        if (client_)
            XCloseDisplay(client_);
    }
    BenchDesktop(const BenchDesktop&) = delete;
    BenchDesktop& operator=(const BenchDesktop&) = delete;

    bool Ok() const noexcept { return client_ != nullptr; }
    Window PlainWindow() const { return windows_[kClientWindows / 2]; }
    Window BrowserWindow() const { return windows_.back(); }

    // The stand-in manager's active window.
    void ActivateWithManager(Window w) {
        SetWindows(root_, "_NET_SUPPORTING_WM_CHECK", {check_});
        SetWindows(root_, "_NET_ACTIVE_WINDOW", {w});
        XSync(client_, False);
    }
    // No manager: the input focus alone.
    void FocusWithoutManager(Window w) {
        XDeleteProperty(client_, root_, Intern("_NET_SUPPORTING_WM_CHECK"));
        XDeleteProperty(client_, root_, Intern("_NET_ACTIVE_WINDOW"));
        XSetInputFocus(client_, w, RevertToParent, CurrentTime);
        XSync(client_, False);
    }

private:
    ::Atom Intern(const char* name) { return XInternAtom(client_, name, False); }
    void SetWindows(Window on, const char* name, const std::vector<Window>& values) {
        std::vector<long> data(values.begin(), values.end());
        XChangeProperty(client_, on, Intern(name), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    }

    Display* client_ = nullptr;
    Window root_ = 0;
    Window check_ = 0;
    std::vector<Window> windows_;
};

}  // namespace tw::bench
