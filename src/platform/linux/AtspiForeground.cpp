#include "platform/linux/AtspiForeground.h"

#include <unistd.h>

#include <array>
#include <utility>

#include "base/WriteLog.h"
#include "platform/linux/AtspiBus.h"
#include "platform/linux/AtspiCalls.h"

namespace tw {

namespace {

// Roles of the windows an application shows at the top of its tree.
bool IsTopLevelRole(int role) {
    return role == ATSPI_ROLE_FRAME || role == ATSPI_ROLE_DIALOG || role == ATSPI_ROLE_WINDOW ||
           role == ATSPI_ROLE_FILE_CHOOSER || role == ATSPI_ROLE_ALERT;
}

std::string KeyOf(AtspiAccessible* object) {
    const ::AtspiObject* o = ATSPI_OBJECT(object);
    if (!o->app || !o->app->bus_name || !o->path)
        return {};
    return std::string(o->app->bus_name) + o->path;
}

std::string ProgramBaseName(uint32_t pid) {
    std::array<char, 4096> buffer{};
    const std::string link = "/proc/" + std::to_string(pid) + "/exe";
    const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return {};
    std::string path(buffer.data(), size_t(n));
    return path.substr(path.rfind('/') + 1);
}

// The index of the action named `name`, or -1.
int ActionIndex(AtspiAccessible* object, std::string_view name, AtspiCallBudget& budget) {
    GObjectPtr<AtspiAction> action(atspi_accessible_get_action_iface(object));
    if (!action)
        return -1;
    int count = 0;
    if (!Bounded(budget, [&](GError** e) { count = atspi_action_get_n_actions(action.get(), e); }))
        return -1;
    for (int i = 0; i < count; ++i) {
        const std::optional<std::string> actionName = OwnedText(
            budget, [&](GError** e) { return atspi_action_get_action_name(action.get(), i, e); });
        if (actionName == name)
            return i;
    }
    return -1;
}

// The title bar's "Close" button sits a few levels down.
constexpr int kCloseButtonDepth = 6;
constexpr int kCloseButtonNodes = 400;

// The title bar's "Close" button; a page's own "Close" buttons are not the window's.
AccessibleRef FindCloseButton(AtspiAccessible* frame, AtspiCallBudget& budget) {
    int nodesLeft = kCloseButtonNodes;
    return FindBelow(
        frame, kCloseButtonDepth, nodesLeft, budget, [&budget](AtspiAccessible* object) {
            const std::optional<int> role = Role(object, budget);
            if (!role || *role == ATSPI_ROLE_DOCUMENT_WEB || *role == ATSPI_ROLE_DOCUMENT_FRAME)
                return SearchStep::Skip;
            if (*role == ATSPI_ROLE_PUSH_BUTTON && Name(object, budget) == "Close")
                return SearchStep::Found;
            return SearchStep::Descend;
        });
}

bool DoAction(AtspiAccessible* object, int index, AtspiCallBudget& budget) {
    GObjectPtr<AtspiAction> action(atspi_accessible_get_action_iface(object));
    if (!action)
        return false;
    // The reply is often lost: an application that closes its last window
    // ends before answering. The request went out all the same.
    Bounded(budget, [&](GError** e) { atspi_action_do_action(action.get(), index, e); });
    return true;
}

}  // namespace

struct AtspiForeground::Cached {
    AccessibleRef frame;
    AtspiFrameInfo info;
};

AtspiForeground::AtspiForeground(std::set<std::string> ignoredPrograms)
    : ignoredPrograms_(std::move(ignoredPrograms)) {}

AtspiForeground::~AtspiForeground() {
    if (listener_) {
        auto* listener = static_cast<AtspiEventListener*>(listener_);
        atspi_event_listener_deregister(listener, "object:state-changed:active", nullptr);
        g_object_unref(listener);
    }
}

bool AtspiForeground::Available() {
    if (state_ == State::Untried) {
        state_ = AtspiReady() ? State::Ready : State::Unavailable;
        if (state_ == State::Ready)
            Listen();
    }
    return state_ == State::Ready;
}

void AtspiForeground::Listen() {
    auto* listener = atspi_event_listener_new(
        [](AtspiEvent* event, void* self) { OnActiveChanged(event, self); }, this, nullptr);
    GError* raised = nullptr;
    // Delivered only where an event loop runs the default GLib context (the
    // program's); elsewhere the check of the kept frame covers it.
    if (!atspi_event_listener_register(listener, "object:state-changed:active", &raised)) {
        const GErrorPtr error(raised);
        g_object_unref(listener);
        return;
    }
    listener_ = listener;
}

void AtspiForeground::OnActiveChanged(void* event, void* self) {
    static_cast<AtspiForeground*>(self)->changed_ = true;
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

bool AtspiForeground::Ignored(uint32_t pid) {
    auto [it, inserted] = ignoredPids_.try_emplace(pid, false);
    if (inserted)
        it->second = ignoredPrograms_.count(ProgramBaseName(pid)) != 0;
    return it->second;
}

std::vector<AtspiFrameInfo> AtspiForeground::Scan(bool activeOnly) {
    ++fullScans_;
    changed_ = false;
    frames_.clear();
    std::vector<AtspiFrameInfo> found;
    AtspiCallBudget budget(kAtspiCallBudgetMs);
    const AccessibleRef desktop(atspi_get_desktop(0));
    int apps = 0;
    if (!desktop || !ChildCount(desktop.get(), budget, apps))
        return found;
    for (int i = 0; i < apps && !budget.Spent(); ++i) {
        const AccessibleRef app = ChildAt(desktop.get(), i, budget);
        if (!app)
            continue;
        guint pid = 0;
        // The bus answers this one, not the application.
        if (!Bounded(budget,
                     [&](GError** e) { pid = atspi_accessible_get_process_id(app.get(), e); }) ||
            pid == 0 || Ignored(pid)) {
            continue;
        }
        int count = 0;
        if (!ChildCount(app.get(), budget, count))
            continue;
        for (int j = 0; j < count && !budget.Spent(); ++j) {
            AccessibleRef frame = ChildAt(app.get(), j, budget);
            if (!frame)
                continue;
            const std::optional<std::set<int>> states = States(frame.get(), budget);
            if (!states || !states->count(ATSPI_STATE_SHOWING))
                continue;
            // Whatever its role, an application's child that is ACTIVE is
            // its window in front (a lone label is a window too); listed
            // otherwise only when a window's role says so: Chromium keeps
            // empty frames beside each real one.
            const bool active = states->count(ATSPI_STATE_ACTIVE) != 0;
            if (activeOnly && !active)
                continue;
            if (!active) {
                const std::optional<int> role = Role(frame.get(), budget);
                if (!role || !IsTopLevelRole(*role))
                    continue;
            }
            auto cached = std::make_unique<Cached>();
            cached->info = {KeyOf(frame.get()), pid, Name(frame.get(), budget).value_or("")};
            if (cached->info.key.empty())
                continue;
            cached->frame = std::move(frame);
            found.push_back(cached->info);
            frames_[cached->info.key] = std::move(cached);
        }
    }
    // A scan cut short says nothing reliable about how many are ACTIVE.
    if (budget.Spent())
        found.clear();
    return found;
}

std::optional<AtspiFrameInfo> AtspiForeground::ActiveFrame() {
    if (!Available())
        return std::nullopt;
    if (!changed_ && !active_.empty()) {
        if (auto it = frames_.find(active_); it != frames_.end()) {
            AtspiCallBudget budget(kAtspiCallBudgetMs);
            const std::optional<std::set<int>> states = States(it->second->frame.get(), budget);
            if (states && states->count(ATSPI_STATE_ACTIVE)) {
                // The title follows the page or document shown.
                if (std::optional<std::string> name = Name(it->second->frame.get(), budget))
                    it->second->info.name = std::move(*name);
                return it->second->info;
            }
        }
    }
    active_.clear();
    const std::vector<AtspiFrameInfo> active = Scan(true);
    if (active.size() != 1)
        return std::nullopt;
    active_ = active.front().key;
    return active.front();
}

std::vector<AtspiFrameInfo> AtspiForeground::Frames() {
    if (!Available())
        return {};
    active_.clear();
    return Scan(false);
}

AtspiCloseResult AtspiForeground::Close(const std::string& key) {
    const auto it = frames_.find(key);
    if (!Available() || it == frames_.end())
        return AtspiCloseResult::Unreachable;
    AtspiAccessible* frame = it->second->frame.get();
    AtspiCallBudget budget(kAtspiCallBudgetMs);
    if (!States(frame, budget))
        return AtspiCloseResult::Unreachable;
    if (const int index = ActionIndex(frame, "window.close", budget); index >= 0)
        return DoAction(frame, index, budget) ? AtspiCloseResult::Requested
                                              : AtspiCloseResult::Unreachable;
    if (AccessibleRef button = FindCloseButton(frame, budget)) {
        int index = ActionIndex(button.get(), "press", budget);
        if (index < 0)
            index = ActionIndex(button.get(), "click", budget);
        if (index >= 0)
            return DoAction(button.get(), index, budget) ? AtspiCloseResult::Requested
                                                         : AtspiCloseResult::Unreachable;
    }
    return budget.Spent() ? AtspiCloseResult::Unreachable : AtspiCloseResult::NoWay;
}

}  // namespace tw
