// The frames of browser windows and the search for Chromium's address
// field, through libatspi. The bus set-up is in AtspiBus.cpp, the address
// walk over a frame in AtspiWalk.cpp, the role and state mapping in
// AtspiRoles.cpp.
#include "platform/linux/AtspiAccessibility.h"

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/WriteLog.h"
#include "platform/linux/AtspiBus.h"
#include "platform/linux/AtspiCalls.h"
#include "platform/linux/AtspiWalk.h"
#include "platform/linux/GOwned.h"

namespace tw {

namespace {

constexpr std::string_view kOmniboxClass = "OmniboxViewViews";
constexpr std::string_view kFirefoxAddressId = "urlbar-input";
// Bounds the search for the address field where the browser offers no
// collection interface: the field sits 7 levels below the frame.
constexpr int kAddressFieldSearchDepth = 8;
constexpr int kAddressFieldSearchNodes = 2000;

bool IsAddressField(AtspiAccessible* object, AtspiCallBudget& budget) {
    const std::optional<int> role = Role(object, budget);
    return role && *role == ATSPI_ROLE_ENTRY && HasClass(object, kOmniboxClass, budget);
}

// Editable single-line entries, whatever their attributes and interfaces.
GObjectPtr<AtspiMatchRule> EditableEntryRule() {
    const GArrayPtr wanted(g_array_new(FALSE, FALSE, sizeof(AtspiStateType)));
    const AtspiStateType states[] = {ATSPI_STATE_EDITABLE, ATSPI_STATE_SINGLE_LINE};
    g_array_append_vals(wanted.get(), states, 2);
    const GObjectPtr<AtspiStateSet> stateSet(atspi_state_set_new(wanted.get()));
    const GHashTablePtr attributes(g_hash_table_new(g_str_hash, g_str_equal));
    const GArrayPtr roles(g_array_new(FALSE, FALSE, sizeof(AtspiRole)));
    const AtspiRole entry = ATSPI_ROLE_ENTRY;
    g_array_append_vals(roles.get(), &entry, 1);
    const GArrayPtr interfaces(g_array_new(FALSE, FALSE, sizeof(gchar*)));
    return GObjectPtr<AtspiMatchRule>(
        atspi_match_rule_new(stateSet.get(), ATSPI_Collection_MATCH_ALL, attributes.get(),
                             ATSPI_Collection_MATCH_NONE, roles.get(), ATSPI_Collection_MATCH_ANY,
                             interfaces.get(), ATSPI_Collection_MATCH_NONE, FALSE));
}

// The address field through the collection interface: editable
// single-line entries of the frame, then the one of the omnibox class.
AccessibleRef FindAddressFieldByCollection(AtspiAccessible* frame, AtspiCallBudget& budget,
                                           bool& supported) {
    const GObjectPtr<AtspiMatchRule> rule = EditableEntryRule();
    GArrayPtr matches;
    supported = Bounded(budget, [&](GError** e) {
        matches.reset(atspi_collection_get_matches(ATSPI_COLLECTION(frame), rule.get(),
                                                   ATSPI_Collection_SORT_ORDER_CANONICAL, 0, TRUE,
                                                   e));
    });
    AccessibleRef found;
    if (matches) {
        // Each element is a reference of ours.
        for (guint i = 0; i < matches->len; ++i) {
            AccessibleRef match(g_array_index(matches.get(), AtspiAccessible*, i));
            if (!found && supported && HasClass(match.get(), kOmniboxClass, budget))
                found = std::move(match);
        }
    }
    return found;
}

// The first object below `frame` whose attribute `key` is `value`, through
// the collection interface; null where there is none or no such interface.
AccessibleRef FindByAttribute(AtspiAccessible* frame, const char* key, std::string_view value,
                              AtspiCallBudget& budget) {
    const GHashTablePtr attributes(g_hash_table_new(g_str_hash, g_str_equal));
    const std::string wanted(value);
    g_hash_table_insert(attributes.get(), const_cast<char*>(key),
                        const_cast<char*>(wanted.c_str()));
    const GArrayPtr states(g_array_new(FALSE, FALSE, sizeof(AtspiStateType)));
    const GObjectPtr<AtspiStateSet> stateSet(atspi_state_set_new(states.get()));
    const GArrayPtr roles(g_array_new(FALSE, FALSE, sizeof(AtspiRole)));
    const GArrayPtr interfaces(g_array_new(FALSE, FALSE, sizeof(gchar*)));
    const GObjectPtr<AtspiMatchRule> rule(
        atspi_match_rule_new(stateSet.get(), ATSPI_Collection_MATCH_ALL, attributes.get(),
                             ATSPI_Collection_MATCH_ANY, roles.get(), ATSPI_Collection_MATCH_ALL,
                             interfaces.get(), ATSPI_Collection_MATCH_ALL, FALSE));
    GArrayPtr matches;
    if (!Bounded(budget,
                 [&](GError** e) {
                     matches.reset(atspi_collection_get_matches(
                         ATSPI_COLLECTION(frame), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL,
                         1, TRUE, e));
                 }) ||
        !matches) {
        return nullptr;
    }
    AccessibleRef found;
    for (guint i = 0; i < matches->len; ++i) {
        AccessibleRef match(g_array_index(matches.get(), AtspiAccessible*, i));
        // Firefox answers MATCH_ALL with an unrelated object; ANY of one
        // attribute is the same rule, and the answer is checked all the same.
        if (!found && HasAttribute(match.get(), key, value, budget))
            found = std::move(match);
    }
    return found;
}

// The frame of process `pid` named `title`; else, when the window is the
// active one, the process's ACTIVE frame.
AccessibleRef LookUpFrame(uint32_t pid, const std::string& title,
                          const AtspiBrowsers::ActiveTest& isActive, AtspiCallBudget& budget) {
    const AccessibleRef desktop(atspi_get_desktop(0));
    int apps = 0;
    if (!desktop || !ChildCount(desktop.get(), budget, apps))
        return nullptr;
    AccessibleRef active;
    std::optional<bool> windowActive;
    for (int i = 0; i < apps && !budget.Spent(); ++i) {
        const AccessibleRef app = ChildAt(desktop.get(), i, budget);
        if (!app)
            continue;
        guint appPid = 0;
        // The bus answers this one, not the application.
        if (!Bounded(budget,
                     [&](GError** e) { appPid = atspi_accessible_get_process_id(app.get(), e); }) ||
            appPid != pid) {
            continue;
        }
        int frames = 0;
        if (!ChildCount(app.get(), budget, frames))
            continue;
        for (int j = 0; j < frames; ++j) {
            AccessibleRef frame = ChildAt(app.get(), j, budget);
            if (!frame)
                continue;
            if (Name(frame.get(), budget) == title)
                return frame;
            if (!windowActive)
                windowActive = isActive && isActive();
            if (!active && *windowActive) {
                const std::optional<int> role = Role(frame.get(), budget);
                const auto states = States(frame.get(), budget);
                if (role && *role == ATSPI_ROLE_FRAME && states &&
                    states->count(ATSPI_STATE_ACTIVE)) {
                    active = std::move(frame);
                }
            }
        }
    }
    return active;
}

}  // namespace

AtspiCallBudget::AtspiCallBudget(int budgetMs)
    : deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs)) {}

int AtspiCallBudget::RemainingMs() const {
    if (spent_)
        return 0;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? int(left.count()) : 0;
}

struct AtspiBrowsers::Frame {
    AccessibleRef frame;
    AccessibleRef addressField;
    uint32_t pid = 0;
    std::string title;
};

AtspiBrowsers::AtspiBrowsers() = default;

AtspiBrowsers::~AtspiBrowsers() = default;

bool AtspiBrowsers::Available() {
    if (state_ == State::Untried)
        state_ = AtspiReady() ? State::Ready : State::Unavailable;
    return state_ == State::Ready;
}

AtspiBrowsers::Frame* AtspiBrowsers::FindFrame(uint64_t window, uint32_t pid,
                                               const std::string& title, const ActiveTest& isActive,
                                               AtspiCallBudget& budget) {
    if (!Available() || pid == 0)
        return nullptr;
    auto it = frames_.find(window);
    if (it != frames_.end() && it->second->pid == pid) {
        Frame& cached = *it->second;
        if (cached.title == title)
            return &cached;
        // A new title: still the same frame when its name followed.
        atspi_accessible_clear_cache(cached.frame.get());
        if (Name(cached.frame.get(), budget) == title) {
            cached.title = title;
            return &cached;
        }
    }
    if (it != frames_.end())
        frames_.erase(it);
    AccessibleRef found = LookUpFrame(pid, title, isActive, budget);
    if (!found)
        return nullptr;
    auto frame = std::make_unique<Frame>();
    frame->frame = std::move(found);
    frame->pid = pid;
    frame->title = title;
    Frame* result = frame.get();
    frames_[window] = std::move(frame);
    return result;
}

std::unique_ptr<Accessible> AtspiBrowsers::FrameObject(uint64_t window, uint32_t pid,
                                                       const std::string& title,
                                                       const ActiveTest& isActive) {
    AtspiCallBudget budget(kAtspiCallBudgetMs);
    Frame* frame = FindFrame(window, pid, title, isActive, budget);
    if (!frame)
        return nullptr;
    // Firefox's address field, once found, is all the walk needs to read
    // again: a whole window takes 40 ms or more, the field alone well under one.
    if (frame->addressField && !States(frame->addressField.get(), budget))
        frame->addressField.reset();
    if (!frame->addressField && !budget.Spent())
        frame->addressField = FindByAttribute(frame->frame.get(), "id", kFirefoxAddressId, budget);
    AtspiAccessible* root = frame->addressField ? frame->addressField.get() : frame->frame.get();
    const ::AtspiObject* object = ATSPI_OBJECT(root);
    if (!object->app || !object->app->bus || !object->app->bus_name || !object->path)
        return nullptr;
    return AtspiWalkRoot(object->app->bus, object->app->bus_name, object->path,
                         budget.RemainingMs());
}

std::optional<std::string> AtspiBrowsers::AddressFieldText(uint64_t window, uint32_t pid,
                                                           const std::string& title,
                                                           const ActiveTest& isActive,
                                                           int timeoutMs) {
    AtspiCallBudget budget(std::min(timeoutMs, kAtspiCallBudgetMs));
    Frame* frame = FindFrame(window, pid, title, isActive, budget);
    if (!frame) {
        if (!budget.Spent() && Available())
            NoteChromiumWithoutField(pid, "has no accessibility tree");
        return std::nullopt;
    }
    if (frame->addressField) {
        if (std::optional<std::string> text = Text(frame->addressField.get(), budget))
            return text;
        if (budget.Spent())
            return std::nullopt;
        // The field went (the window was rebuilt): look for it again.
        frame->addressField.reset();
    }
    bool supported = false;
    AccessibleRef field = FindAddressFieldByCollection(frame->frame.get(), budget, supported);
    if (!field && !supported && !budget.Spent()) {
        int nodesLeft = kAddressFieldSearchNodes;
        field = FindBelow(frame->frame.get(), kAddressFieldSearchDepth, nodesLeft, budget,
                          [&budget](AtspiAccessible* object) {
                              return IsAddressField(object, budget) ? SearchStep::Found
                                                                    : SearchStep::Descend;
                          });
    }
    if (!field) {
        // Without --force-renderer-accessibility Chromium shows its frame
        // but not the field.
        if (!budget.Spent())
            NoteChromiumWithoutField(pid, "shows no address field in its accessibility tree");
        return std::nullopt;
    }
    frame->addressField = std::move(field);
    return Text(frame->addressField.get(), budget);
}

void AtspiBrowsers::NoteChromiumWithoutField(uint32_t pid, const char* why) {
    if (!reportedProcesses_.insert(pid).second)
        return;
    WriteLog("AtspiBrowsers: the Chromium window of process " + std::to_string(pid) + " " + why +
             "; start Chromium with --force-renderer-accessibility to have its address read");
}

void AtspiBrowsers::KeepOnly(const std::vector<uint64_t>& liveWindows) {
    for (auto it = frames_.begin(); it != frames_.end();) {
        if (std::find(liveWindows.begin(), liveWindows.end(), it->first) == liveWindows.end())
            it = frames_.erase(it);
        else
            ++it;
    }
}

}  // namespace tw
