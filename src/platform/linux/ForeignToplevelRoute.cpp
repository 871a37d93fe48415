#include "platform/linux/ForeignToplevelRoute.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace tw {

namespace {

// Open's whole budget: connecting, the globals and the first list.
constexpr auto kOpenBudget = std::chrono::milliseconds(1000);
// A call sending a request gives the compositor this long to take it.
constexpr auto kSendBudget = std::chrono::milliseconds(200);
// Reads per call at most, so a compositor flooding events cannot hold a call.
constexpr int kMaxReadsPerCall = 64;
// The newest version whose events the listeners below handle.
constexpr uint32_t kVersion = 3;

int MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

}  // namespace

struct ForeignToplevelListeners {
    using Route = ForeignToplevelRoute;
    using Toplevel = ForeignToplevelRoute::Toplevel;

    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version) {
        auto* route = static_cast<Route*>(data);
        if (route->manager_ != nullptr ||
            std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) != 0) {
            return;
        }
        route->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                             std::min(version, kVersion)));
        route->managerName_ = name;
        zwlr_foreign_toplevel_manager_v1_add_listener(route->manager_, &kManager, route);
    }

    static void GlobalRemove(void* data, wl_registry*, uint32_t name) {
        auto* route = static_cast<Route*>(data);
        if (route->manager_ != nullptr && name == route->managerName_) {
            // The list is no longer kept up to date: better nothing than stale.
            route->Lose();
        }
    }

    static void NewToplevel(void* data, zwlr_foreign_toplevel_manager_v1*,
                            zwlr_foreign_toplevel_handle_v1* handle) {
        auto* route = static_cast<Route*>(data);
        Toplevel& t = route->toplevels_.emplace_back();
        t.route = route;
        t.handle = handle;
        t.id = route->nextId_++;
        zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandle, &t);
    }

    static void Finished(void* data, zwlr_foreign_toplevel_manager_v1* manager) {
        auto* route = static_cast<Route*>(data);
        zwlr_foreign_toplevel_manager_v1_destroy(manager);
        route->manager_ = nullptr;
        route->Lose();
    }

    static void Title(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title) {
        static_cast<Toplevel*>(data)->pendingTitle = title != nullptr ? title : "";
    }

    static void AppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId) {
        static_cast<Toplevel*>(data)->pendingAppId = appId != nullptr ? appId : "";
    }

    static void Output(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

    static void State(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* states) {
        auto* t = static_cast<Toplevel*>(data);
        const auto* first = static_cast<const uint32_t*>(states->data);
        const auto* last = first + states->size / sizeof(uint32_t);
        t->pendingActivated =
            std::find(first, last, uint32_t{ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED}) !=
            last;
    }

    static void Done(void* data, zwlr_foreign_toplevel_handle_v1*) {
        auto* t = static_cast<Toplevel*>(data);
        t->appId = t->pendingAppId;
        t->title = t->pendingTitle;
        t->activated = t->pendingActivated;
        t->described = true;
    }

    static void Closed(void* data, zwlr_foreign_toplevel_handle_v1* handle) {
        auto* t = static_cast<Toplevel*>(data);
        Route* route = t->route;
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        route->toplevels_.remove_if([t](const Toplevel& other) { return &other == t; });
    }

    static void Parent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

    static void SyncDone(void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }

    static constexpr wl_registry_listener kRegistry = {Global, GlobalRemove};
    static constexpr zwlr_foreign_toplevel_manager_v1_listener kManager = {NewToplevel, Finished};
    static constexpr zwlr_foreign_toplevel_handle_v1_listener kHandle = {
        Title, AppId, Output, Output, State, Done, Closed, Parent};
    static constexpr wl_callback_listener kSync = {SyncDone};
};

std::unique_ptr<ForeignToplevelRoute> ForeignToplevelRoute::Open() {
    // libwayland complains on stderr when it cannot even name the socket.
    const char* name = std::getenv("WAYLAND_DISPLAY");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!name || !*name || (name[0] != '/' && (!runtime || !*runtime)))
        return nullptr;
    const auto deadline = Clock::now() + kOpenBudget;
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    std::unique_ptr<ForeignToplevelRoute> route(new ForeignToplevelRoute(display));
    route->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(route->registry_, &ForeignToplevelListeners::kRegistry, route.get());
    // The first round brings the globals (and binds the manager), the second
    // the windows the manager announces on binding, each with its "done".
    if (!route->Roundtrip(deadline) || route->manager_ == nullptr || !route->Roundtrip(deadline) ||
        route->lost_) {
        return nullptr;
    }
    return route;
}

ForeignToplevelRoute::ForeignToplevelRoute(wl_display* display) : display_(display) {}

ForeignToplevelRoute::~ForeignToplevelRoute() {
    for (Toplevel& t : toplevels_) {
        zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
    }
    if (manager_ != nullptr) {
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

void ForeignToplevelRoute::Lose() {
    lost_ = true;
}

bool ForeignToplevelRoute::Alive() {
    if (!lost_ && wl_display_get_error(display_) != 0) {
        lost_ = true;
    }
    return !lost_;
}

bool ForeignToplevelRoute::Flush(Clock::time_point deadline) {
    while (Alive()) {
        if (wl_display_flush(display_) >= 0) {
            return true;
        }
        if (errno != EAGAIN) {
            break;
        }
        // The socket is full: wait for the compositor to read.
        pollfd fd{wl_display_get_fd(display_), POLLOUT, 0};
        if (poll(&fd, 1, MillisecondsLeft(deadline)) <= 0 || (fd.revents & POLLOUT) == 0) {
            break;
        }
    }
    Lose();
    return false;
}

bool ForeignToplevelRoute::Pump(Clock::time_point deadline) {
    if (!Alive()) {
        return false;
    }
    // Events already read into the queue go first: prepare_read refuses
    // while any wait.
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            Lose();
            return false;
        }
    }
    if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display_);
        Lose();
        return false;
    }
    pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
    int ready;
    do {
        ready = poll(&fd, 1, MillisecondsLeft(deadline));
    } while (ready < 0 && errno == EINTR);
    if (ready > 0 && (fd.revents & POLLIN) != 0) {
        if (wl_display_read_events(display_) < 0) {
            Lose();
            return false;
        }
    } else {
        wl_display_cancel_read(display_);
        if (ready < 0 || (fd.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            Lose();
            return false;
        }
    }
    if (wl_display_dispatch_pending(display_) < 0) {
        Lose();
        return false;
    }
    return Alive();
}

bool ForeignToplevelRoute::Roundtrip(Clock::time_point deadline) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &ForeignToplevelListeners::kSync, &done);
    while (!done && Pump(deadline)) {
        if (Clock::now() >= deadline) {
            break;
        }
    }
    if (!done) {
        // The listener's flag dies with this frame: the callback must go too.
        wl_callback_destroy(callback);
    }
    return done && Alive();
}

CompositorWindow ForeignToplevelRoute::View(const Toplevel& t) const {
    CompositorWindow w;
    w.id = t.id;
    w.appId = t.appId;
    w.title = t.title;
    return w;
}

std::optional<CompositorWindow> ForeignToplevelRoute::Focused() {
    Refresh();
    if (lost_) {
        return std::nullopt;
    }
    const Toplevel* focused = nullptr;
    for (const Toplevel& t : toplevels_) {
        if (t.described && t.activated) {
            if (focused != nullptr) {
                return std::nullopt;  // two at once: the compositor is mid-switch
            }
            focused = &t;
        }
    }
    if (focused == nullptr) {
        return std::nullopt;
    }
    return View(*focused);
}

std::vector<CompositorWindow> ForeignToplevelRoute::Windows() {
    std::vector<CompositorWindow> windows;
    Refresh();
    if (lost_) {
        return windows;
    }
    for (const Toplevel& t : toplevels_) {
        if (t.described) {
            windows.push_back(View(t));
        }
    }
    return windows;
}

bool ForeignToplevelRoute::Close(uint64_t id) {
    Refresh();
    if (lost_) {
        return false;
    }
    const auto it = std::find_if(toplevels_.begin(), toplevels_.end(),
                                 [id](const Toplevel& t) { return t.id == id && t.described; });
    if (it == toplevels_.end()) {
        return false;
    }
    zwlr_foreign_toplevel_handle_v1_close(it->handle);
    return Flush(Clock::now() + kSendBudget);
}

void ForeignToplevelRoute::Refresh() {
    // Only what is already there: the compositor pushes every change, so
    // waiting would only slow the caller down.
    for (int i = 0; i < kMaxReadsPerCall && Pump(Clock::now()); ++i) {
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        if (poll(&fd, 1, 0) <= 0) {
            break;
        }
    }
}

}  // namespace tw
