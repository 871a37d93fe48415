#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The window in front as the accessibility bus tells it, for Wayland
// sessions, where no window-system call names it: the one application frame
// whose state is ACTIVE. Toolkits set that state from the keyboard focus the
// compositor gives, so it follows what the user works in whatever the
// compositor.
//
// The ACTIVE frame found last is kept and checked again with one call per
// probe; the whole bus is read again when that frame lost the state, when
// an application announced a change (object:state-changed:active, where
// an event loop delivers it) or when nothing was found before.
namespace tw {

// One top-level frame of an application on the accessibility bus.
struct AtspiFrameInfo {
    std::string key;  // stable for the frame: its bus name and object path
    uint32_t pid = 0;
    std::string name;  // the frame's accessible name: the window title
};

// How a close request through the accessibility bus went.
enum class AtspiCloseResult {
    Requested,   // the window's close action or its title bar's Close button was pressed
    NoWay,       // the window offers neither
    Unreachable  // the frame is gone or the application did not answer
};

class AtspiForeground {
public:
    // Frames of processes whose program file is one of `ignoredPrograms`
    // (the shell drawing the desktop) never count as the foreground.
    explicit AtspiForeground(std::set<std::string> ignoredPrograms = {"gnome-shell"});
    ~AtspiForeground();
    AtspiForeground(const AtspiForeground&) = delete;
    AtspiForeground& operator=(const AtspiForeground&) = delete;

    // Whether the accessibility bus can be reached (tried once).
    bool Available();

    // The one ACTIVE application frame; nullopt when there is none, more
    // than one (a moment of a focus change) or it is the shell's own.
    std::optional<AtspiFrameInfo> ActiveFrame();

    // Every application frame that is showing.
    std::vector<AtspiFrameInfo> Frames();

    // Asks the window to close through its own accessible controls: GTK 4's
    // "window.close" action, else a push button named "Close" in its title
    // bar (the browsers draw their own), which closes that window only.
    AtspiCloseResult Close(const std::string& key);

    // Frames read in full since creation, for tests and the benchmark.
    int FullScans() const noexcept { return fullScans_; }

private:
    struct Cached;
    std::vector<AtspiFrameInfo> Scan(bool activeOnly);
    bool Ignored(uint32_t pid);
    void Listen();
    static void OnActiveChanged(void* event, void* self);

    enum class State { Untried, Ready, Unavailable };
    State state_ = State::Untried;
    std::set<std::string> ignoredPrograms_;
    std::map<uint32_t, bool> ignoredPids_;  // pid -> ignored, learned once per process
    std::map<std::string, std::unique_ptr<Cached>> frames_;  // by key
    std::string active_;                                     // key of the ACTIVE frame found last
    bool changed_ = true;  // an application announced a change since the last scan
    void* listener_ = nullptr;
    int fullScans_ = 0;
};

}  // namespace tw
