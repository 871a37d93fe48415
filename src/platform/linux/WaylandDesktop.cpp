#include "platform/linux/WaylandDesktop.h"

#include <vector>

#include "base/WriteLog.h"
#include "platform/linux/AtspiForeground.h"
#include "platform/linux/CompositorRoute.h"
#include "platform/linux/ProcessImage.h"
#include "platform/linux/X11Desktop.h"

namespace tw {

namespace {

constexpr WindowHandle kSerialMask = (WindowHandle(1) << 30) - 1;
// Windows seen over a long day; beyond this the ones no longer listed go.
constexpr size_t kMaxRememberedWindows = 512;

std::string ProgramFileName(uint32_t pid) {
    const ProcessImageResult image = ReadProcessImage(pid);
    if (!image.opened)
        return {};
    return image.devicePath.substr(image.devicePath.rfind('/') + 1);
}

std::string Truncated(std::string text, size_t bufferSize) {
    if (text.size() >= bufferSize)
        text.resize(bufferSize - 1);
    return text;
}

}  // namespace

WaylandDesktop::WaylandDesktop(std::unique_ptr<X11Desktop> xwayland,
                               std::unique_ptr<CompositorRoute> compositor,
                               std::unique_ptr<AtspiForeground> frames)
    : x11_(std::move(xwayland)), compositor_(std::move(compositor)), frames_(std::move(frames)) {}

WaylandDesktop::~WaylandDesktop() = default;

const char* WaylandDesktop::CompositorName() const noexcept {
    return compositor_ ? compositor_->Name() : nullptr;
}

WindowHandle WaylandDesktop::HandleFor(Window window) {
    auto [it, inserted] = serials_.try_emplace(window.key, nextSerial_);
    if (inserted) {
        // Serials are not reused within a run: a handle names one window only.
        nextSerial_ = nextSerial_ == kSerialMask ? 1 : nextSerial_ + 1;
    }
    // Each tick lists the windows again; their programs are read only once.
    const auto known = windows_.find(it->second);
    if (known != windows_.end() && known->second.pid == window.pid) {
        window.program = std::move(known->second.program);
    } else if (window.pid != 0) {
        window.program = ProgramFileName(window.pid);
    }
    if (window.appId.empty())
        window.appId = window.program;
    // The application id says it on most desktops; the program file where
    // the window came from the accessibility bus alone.
    window.browserChildClass = X11Desktop::BrowserChildClass(window.appId, window.appId);
    if (!window.browserChildClass)
        window.browserChildClass = X11Desktop::BrowserChildClass(window.program, window.program);
    windows_[it->second] = std::move(window);
    return kWaylandBit | it->second;
}

const WaylandDesktop::Window* WaylandDesktop::Find(WindowHandle window) const {
    if (!IsWayland(window))
        return nullptr;
    const auto it = windows_.find(uint32_t(window & kSerialMask));
    return it == windows_.end() ? nullptr : &it->second;
}

void WaylandDesktop::ForgetAllBut(const std::set<WindowHandle>& live) {
    std::vector<uint64_t> kept;
    for (auto it = windows_.begin(); it != windows_.end();) {
        const WindowHandle handle = kWaylandBit | it->first;
        if (live.count(handle) || handle == foreground_) {
            kept.push_back(handle);
            ++it;
        } else {
            serials_.erase(it->second.key);
            it = windows_.erase(it);
        }
    }
    browsers_.KeepOnly(kept);
}

WindowHandle WaylandDesktop::ForegroundWindow() {
    route_ = "none";
    foreground_ = kNullWindow;
    if (x11_) {
        if (const WindowHandle x = x11_->ForegroundWindow(); x != kNullWindow) {
            route_ = "x11";
            return foreground_ = x;
        }
    }
    if (compositor_) {
        if (std::optional<CompositorWindow> focused = compositor_->Focused()) {
            Window window{"c:" + std::to_string(focused->id),
                          focused->id,
                          {},
                          focused->pid,
                          focused->appId,
                          focused->title,
                          {},
                          nullptr};
            // wlroots' toplevel list names no process: the ACTIVE frame does.
            if (window.pid == 0 && frames_) {
                if (std::optional<AtspiFrameInfo> frame = frames_->ActiveFrame()) {
                    window.pid = frame->pid;
                    window.frameKey = frame->key;
                }
            }
            route_ = compositor_->Name();
            foreground_ = HandleFor(std::move(window));
        }
    }
    if (foreground_ == kNullWindow && frames_) {
        if (std::optional<AtspiFrameInfo> frame = frames_->ActiveFrame()) {
            route_ = "accessibility";
            foreground_ = HandleFor(
                {"a:" + frame->key, 0, frame->key, frame->pid, {}, frame->name, {}, nullptr});
        }
    }
    if (windows_.size() > kMaxRememberedWindows)
        ForgetAllBut({});
    return foreground_;
}

void WaylandDesktop::EnumTopLevelWindows(const WindowCallback& callback) {
    std::vector<WindowHandle> handles;
    bool compositorNamesAll = false;
    if (compositor_) {
        const std::vector<CompositorWindow> listed = compositor_->Windows();
        std::vector<AtspiFrameInfo> frames;
        compositorNamesAll = !listed.empty();
        for (const CompositorWindow& w : listed) {
            Window window{
                "c:" + std::to_string(w.id), w.id, {}, w.pid, w.appId, w.title, {}, nullptr};
            if (window.pid == 0) {
                // Paired with the one accessible frame of that title, if one.
                if (frames.empty() && frames_)
                    frames = frames_->Frames();
                const AtspiFrameInfo* match = nullptr;
                int matches = 0;
                for (const AtspiFrameInfo& frame : frames) {
                    if (frame.name == w.title) {
                        match = &frame;
                        ++matches;
                    }
                }
                if (matches == 1) {
                    window.pid = match->pid;
                    window.frameKey = match->key;
                }
            }
            if (window.pid == 0) {
                // Nothing to match it by; XWayland's own list has the X11 ones.
                compositorNamesAll = false;
                continue;
            }
            handles.push_back(HandleFor(std::move(window)));
        }
    }
    if (!compositorNamesAll) {
        if (!compositor_ && frames_) {
            for (const AtspiFrameInfo& frame : frames_->Frames())
                handles.push_back(HandleFor(
                    {"a:" + frame.key, 0, frame.key, frame.pid, {}, frame.name, {}, nullptr}));
        }
        if (x11_) {
            for (WindowHandle x : x11_->TopLevelWindows())
                handles.push_back(x);
        }
    }
    ForgetAllBut({handles.begin(), handles.end()});
    for (WindowHandle handle : handles) {
        if (!callback(handle))
            return;
    }
}

void WaylandDesktop::EnumChildWindows(WindowHandle parent, const WindowCallback& callback) {
    if (parent == kNullWindow) {
        EnumTopLevelWindows(callback);
        return;
    }
    if (!IsWayland(parent)) {
        if (x11_)
            x11_->EnumChildWindows(parent, callback);
        return;
    }
    if ((parent & kSyntheticChildBit) != 0)
        return;
    if (const Window* window = Find(parent); window && window->browserChildClass)
        callback(parent | kSyntheticChildBit);
}

std::string WaylandDesktop::ClassName(WindowHandle window) {
    if (!IsWayland(window))
        return x11_ ? x11_->ClassName(window) : std::string();
    const Window* found = Find(window & ~kSyntheticChildBit);
    if (!found)
        return {};
    if ((window & kSyntheticChildBit) != 0) {
        return found->browserChildClass ? found->browserChildClass : "";
    }
    return Truncated(found->appId, kClassNameBufferSize);
}

std::optional<std::string> WaylandDesktop::WindowTextTimeout(WindowHandle window, int timeoutMs) {
    if (!IsWayland(window))
        return x11_ ? x11_->WindowTextTimeout(window, timeoutMs) : std::nullopt;
    const WindowHandle top = window & ~kSyntheticChildBit;
    const Window* found = Find(top);
    if (!found)
        return std::nullopt;
    if (top == window)
        return Truncated(found->title, kWindowTextBufferSize);
    if (ClassName(window) != "Chrome_AutocompleteEditView")
        return std::nullopt;
    return browsers_.AddressFieldText(
        top, found->pid, found->title, [this, top] { return foreground_ == top; }, timeoutMs);
}

uint32_t WaylandDesktop::WindowProcessId(WindowHandle window) {
    if (!IsWayland(window))
        return x11_ ? x11_->WindowProcessId(window) : 0;
    const Window* found = Find(window & ~kSyntheticChildBit);
    return found ? found->pid : 0;
}

ProcessImageResult WaylandDesktop::ProcessImagePath(uint32_t processId) {
    return ReadProcessImage(processId);
}

std::optional<std::string> WaylandDesktop::QueryDosDevice(std::string_view) {
    return std::nullopt;
}

std::unique_ptr<Accessible> WaylandDesktop::AccessibleObjectFromWindow(WindowHandle window) {
    if (!IsWayland(window))
        return x11_ ? x11_->AccessibleObjectFromWindow(window) : nullptr;
    if ((window & kSyntheticChildBit) == 0)
        return nullptr;
    const std::string childClass = ClassName(window);
    if (childClass != "MozillaWindowClass" && childClass != "OperaWindowClass")
        return nullptr;
    const WindowHandle top = window & ~kSyntheticChildBit;
    const Window* found = Find(top);
    if (!found)
        return nullptr;
    return browsers_.FrameObject(top, found->pid, found->title,
                                 [this, top] { return foreground_ == top; });
}

bool WaylandDesktop::PostCloseRequest(WindowHandle window) {
    if (!IsWayland(window))
        return x11_ && x11_->PostCloseRequest(window);
    const Window* found = Find(window & ~kSyntheticChildBit);
    if (!found)
        return false;
    if (found->compositorId != 0 && compositor_ && compositor_->Close(found->compositorId))
        return true;
    if (found->frameKey.empty() || !frames_) {
        LogCannotClose(*found, "neither the compositor nor the accessibility bus can close it");
        return false;
    }
    switch (frames_->Close(found->frameKey)) {
        case AtspiCloseResult::Requested:
            return true;
        case AtspiCloseResult::NoWay:
            LogCannotClose(*found,
                           "it offers no close action or Close button to the accessibility "
                           "bus and the compositor offers no way to close one window");
            return false;
        case AtspiCloseResult::Unreachable:
            LogCannotClose(*found, "its application did not answer on the accessibility bus");
            return false;
    }
    return false;
}

void WaylandDesktop::LogCannotClose(const Window& window, const char* why) {
    if (!closeFailuresLogged_.insert(window.key).second)
        return;
    WriteLog("WaylandDesktop: the window \"" + window.title + "\" of " +
             (window.appId.empty() ? "process " + std::to_string(window.pid) : window.appId) +
             " cannot be closed: " + why);
}

}  // namespace tw
