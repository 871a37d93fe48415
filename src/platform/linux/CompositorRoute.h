#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What a Wayland compositor itself tells about its windows, where it offers
// a way to ask: the focused window, the window list and closing one window.
// The Wayland desktop puts one of these in front of the accessibility bus,
// which knows only the applications that joined it.
namespace tw {

// One top-level window as the compositor knows it.
struct CompositorWindow {
    uint64_t id = 0;       // the compositor's own id for the window; never 0
    uint32_t pid = 0;      // 0 when the compositor does not say
    std::string appId;     // the Wayland app_id, or the X11 class of an XWayland window
    std::string title;
    bool xwayland = false;  // an X11 client under XWayland

    bool operator==(const CompositorWindow&) const = default;
};

class CompositorRoute {
public:
    virtual ~CompositorRoute() = default;

    // How `tallyward-probe --verbose` names the route: "sway", "kwin",
    // "gnome-extension", "wlr-foreign-toplevel".
    virtual const char* Name() const = 0;

    // The window with the keyboard focus; nullopt when none has it (the
    // desktop, a panel, an overview) or the compositor did not answer.
    virtual std::optional<CompositorWindow> Focused() = 0;

    // Every top-level window; empty when the compositor did not answer.
    virtual std::vector<CompositorWindow> Windows() = 0;

    // Asks the compositor to close this one window (the application may
    // still ask the user first). False when the request could not be made.
    virtual bool Close(uint64_t id) = 0;
};

}  // namespace tw
