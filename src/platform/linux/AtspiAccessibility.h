#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Accessibility.h"

// Browser windows' accessibility trees on Linux, read over AT-SPI
// (libatspi). A browser's top-level X window is matched to its AT-SPI frame
// (same process, then same title or the ACTIVE state) and the frame is
// presented as an Accessible, so the address walk runs over the real tree:
// an editable single-line text field answers ROLE_SYSTEM_TEXT whatever
// AT-SPI calls it, its value is its text, and states map to MSAA bits.
//
// AT-SPI calls are synchronous D-Bus calls to the browser. Each lookup and
// each walk over a frame shares one budget (about a second): every call
// waits at most what is left of it, and once it is spent every further call
// fails at once, so a hung browser delays one probe by about a second.
namespace tw {

inline constexpr int kAtspiCallBudgetMs = 1000;

// Asks the session's accessibility bus to switch accessibility on
// (org.a11y.Status.IsEnabled), so that browsers waiting for it expose their
// trees, and notes the bus address for this process. Each D-Bus call waits
// at most `timeoutMs`. False when there is no session bus or it refused.
bool EnableAccessibilityBus(int timeoutMs = kAtspiCallBudgetMs);

// The MSAA role for an AT-SPI role (AtspiRole value) and its text states.
int32_t MsaaRoleFromAtspi(int atspiRole, bool editable, bool singleLine) noexcept;
// Whether AT-SPI's role is one a single-line text field may carry.
bool AtspiRoleMayBeTextField(int atspiRole) noexcept;
// The MSAA state bits for a set of AT-SPI states (AtspiStateType values).
int32_t MsaaStateFromAtspi(const std::set<int>& atspiStates) noexcept;

// Time left for the calls of one lookup or walk; spent once any call
// exceeded it.
class AtspiCallBudget {
public:
    explicit AtspiCallBudget(int budgetMs = kAtspiCallBudgetMs);
    // Milliseconds a call may still wait; 0 when spent.
    int RemainingMs() const;
    bool Spent() const { return RemainingMs() <= 0; }
    void Spend() { spent_ = true; }

private:
    std::chrono::steady_clock::time_point deadline_;
    bool spent_ = false;
};

// The frames of browser windows, cached per top-level window.
class AtspiBrowsers {
public:
    AtspiBrowsers();
    ~AtspiBrowsers();
    AtspiBrowsers(const AtspiBrowsers&) = delete;
    AtspiBrowsers& operator=(const AtspiBrowsers&) = delete;

    // Answers whether the window is the active one: a frame that is not
    // found by its title is the process's ACTIVE frame only then.
    using ActiveTest = std::function<bool()>;

    // The AT-SPI frame of top-level window `window` of process `pid` titled
    // `title`, as an Accessible; null when none is found in time.
    std::unique_ptr<Accessible> FrameObject(uint64_t window, uint32_t pid, const std::string& title,
                                            const ActiveTest& isActive);

    // The text of Chromium's address field (the entry of class
    // "OmniboxViewViews") in the frame of that window; nullopt when there
    // is none or the browser did not answer within `timeoutMs`.
    std::optional<std::string> AddressFieldText(uint64_t window, uint32_t pid,
                                                const std::string& title,
                                                const ActiveTest& isActive, int timeoutMs);

    // Forgets the frames of windows that are gone.
    void KeepOnly(const std::vector<uint64_t>& liveWindows);

    // Whether the accessibility bus could be reached (tried on first use).
    bool Available();
    size_t CachedWindows() const { return frames_.size(); }

private:
    struct Frame;
    Frame* FindFrame(uint64_t window, uint32_t pid, const std::string& title,
                     const ActiveTest& isActive, AtspiCallBudget& budget);
    void NoteChromiumWithoutField(uint32_t pid, const char* why);

    enum class State { Untried, Ready, Unavailable };
    State state_ = State::Untried;
    std::map<uint64_t, std::unique_ptr<Frame>> frames_;
    std::set<uint32_t> reportedProcesses_;  // Chromium processes already logged
};

}  // namespace tw
