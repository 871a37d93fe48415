#pragma once

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CompositorRoute.h"

struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

// The window list most wlroots compositors publish to panels and docks
// (labwc, wayfire, river, Hyprland, sway). It names the focused window and
// closes one window, but carries no pid: the desktop pairs it with the
// accessibility bus for that.
//
// The route holds its own connection to the compositor and no thread: each
// call first takes in what the compositor has sent since the last one, so
// it answers from where the compositor stood a moment ago. Not for use from
// several threads at once.
namespace tw {

class ForeignToplevelRoute : public CompositorRoute {
public:
    // Null when there is no Wayland display, the compositor does not offer
    // the list, or it did not answer within about a second.
    static std::unique_ptr<ForeignToplevelRoute> Open();
    ~ForeignToplevelRoute() override;

    ForeignToplevelRoute(const ForeignToplevelRoute&) = delete;
    ForeignToplevelRoute& operator=(const ForeignToplevelRoute&) = delete;

    const char* Name() const override { return "wlr-foreign-toplevel"; }
    std::optional<CompositorWindow> Focused() override;
    std::vector<CompositorWindow> Windows() override;
    bool Close(uint64_t id) override;

private:
    // One window as the compositor last described it. The properties arrive
    // one by one and hold together only at the compositor's "done".
    struct Toplevel {
        ForeignToplevelRoute* route = nullptr;
        zwlr_foreign_toplevel_handle_v1* handle = nullptr;
        uint64_t id = 0;
        std::string appId, title;
        bool activated = false;
        std::string pendingAppId, pendingTitle;
        bool pendingActivated = false;
        bool described = false;  // a "done" arrived: the window is complete
    };

    using Clock = std::chrono::steady_clock;

    explicit ForeignToplevelRoute(wl_display* display);

    // Takes in and handles what has arrived, waiting for it until `deadline`
    // at most. False once the connection is lost.
    bool Pump(Clock::time_point deadline);
    // Waits until the compositor has answered every request sent so far.
    bool Roundtrip(Clock::time_point deadline);
    // Sends what is queued; false when the compositor stops reading.
    bool Flush(Clock::time_point deadline);
    // Takes in what has arrived without waiting for more.
    void Refresh();
    bool Alive();
    void Lose();

    CompositorWindow View(const Toplevel& t) const;

    // Wayland's callbacks reach these through their user data.
    friend struct ForeignToplevelListeners;

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    uint32_t managerName_ = 0;
    std::list<Toplevel> toplevels_;  // stable addresses: each is a listener's data
    uint64_t nextId_ = 1;
    bool lost_ = false;
};

}  // namespace tw
