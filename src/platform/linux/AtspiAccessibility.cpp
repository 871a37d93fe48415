#include "platform/linux/AtspiAccessibility.h"

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

#include "base/WriteLog.h"

namespace tw {

namespace {

// MSAA roles and states the mapping produces.
enum MsaaRole : int32_t {
    kRoleTitleBar = 1,
    kRoleMenuBar = 2,
    kRoleScrollBar = 3,
    kRoleAlert = 8,
    kRoleWindow = 9,
    kRoleClient = 10,
    kRoleMenuPopup = 11,
    kRoleMenuItem = 12,
    kRoleToolTip = 13,
    kRoleApplication = 14,
    kRoleDocument = 15,
    kRolePane = 16,
    kRoleDialog = 18,
    kRoleSeparator = 21,
    kRoleToolBar = 22,
    kRoleStatusBar = 23,
    kRoleTable = 24,
    kRoleColumnHeader = 25,
    kRoleRowHeader = 26,
    kRoleRow = 28,
    kRoleCell = 29,
    kRoleLink = 30,
    kRoleList = 33,
    kRoleListItem = 34,
    kRoleOutline = 35,
    kRoleOutlineItem = 36,
    kRolePageTab = 37,
    kRoleGraphic = 40,
    kRoleStaticText = 41,
    kRoleText = kRoleSystemText,
    kRolePushButton = 43,
    kRoleCheckButton = 44,
    kRoleRadioButton = 45,
    kRoleComboBox = 46,
    kRoleProgressBar = 48,
    kRoleSlider = 51,
    kRoleSpinButton = 52,
    kRolePageTabList = 60,
    kRoleGrouping = 20,
};

enum MsaaState : int32_t {
    kStateUnavailable = 0x1,
    kStateSelected = 0x2,
    kStateFocused = kStateSystemFocused,
    kStatePressed = 0x8,
    kStateChecked = 0x10,
    kStateMixed = 0x20,
    kStateReadOnly = 0x40,
    kStateDefault = 0x100,
    kStateExpanded = 0x200,
    kStateCollapsed = 0x400,
    kStateBusy = 0x800,
    kStateAnimated = 0x4000,
    kStateInvisible = 0x8000,
    kStateOffscreen = 0x10000,
    kStateSizeable = 0x20000,
    kStateMoveable = 0x40000,
    kStateFocusable = kStateSystemFocusable,
    kStateSelectable = 0x200000,
    kStateLinked = 0x400000,
    kStateMultiSelectable = 0x1000000,
    kStateProtected = 0x20000000,
    kStateHasPopup = 0x40000000,
};

constexpr std::string_view kOmniboxClass = "OmniboxViewViews";
// Bounds the search for the address field where the browser offers no
// collection interface: the field sits 7 levels below the frame.
constexpr int kAddressFieldSearchDepth = 8;
constexpr int kAddressFieldSearchNodes = 2000;

// The accessibility bus address found by EnableAccessibilityBus.
std::string& NotedBusAddress() {
    static std::string address;
    return address;
}

struct DBusErrorHolder {
    DBusError error;
    DBusErrorHolder() { dbus_error_init(&error); }
    ~DBusErrorHolder() { dbus_error_free(&error); }
};

// A private connection to the session bus, or null. Without an announced
// address libdbus would try to launch a bus of its own: that is not ours to do.
DBusConnection* OpenSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || ::access((std::string(runtime) + "/bus").c_str(), F_OK) != 0)
            return nullptr;
    }
    DBusErrorHolder error;
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error.error);
    if (!bus)
        return nullptr;
    dbus_connection_set_exit_on_disconnect(bus, FALSE);
    return bus;
}

void CloseBus(DBusConnection* bus) {
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

// Sends `message` (consumed) and answers whether a reply came in time.
DBusMessage* CallBlocking(DBusConnection* bus, DBusMessage* message, int timeoutMs) {
    DBusErrorHolder error;
    DBusMessage* reply =
        dbus_connection_send_with_reply_and_block(bus, message, timeoutMs, &error.error);
    dbus_message_unref(message);
    return reply;
}

bool SetIsEnabled(DBusConnection* bus, int timeoutMs) {
    DBusMessage* message = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                        "org.freedesktop.DBus.Properties", "Set");
    if (!message)
        return false;
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    dbus_bool_t on = TRUE;
    DBusMessageIter args, variant;
    dbus_message_iter_init_append(message, &args);
    bool ok = dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &interface) &&
              dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &property) &&
              dbus_message_iter_open_container(&args, DBUS_TYPE_VARIANT, "b", &variant);
    if (ok) {
        ok = dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on);
        ok = dbus_message_iter_close_container(&args, &variant) && ok;
    }
    if (!ok) {
        dbus_message_unref(message);
        return false;
    }
    DBusMessage* reply = CallBlocking(bus, message, timeoutMs);
    if (!reply)
        return false;
    const bool accepted = dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
    dbus_message_unref(reply);
    return accepted;
}

std::string GetBusAddress(DBusConnection* bus, int timeoutMs) {
    DBusMessage* message =
        dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    if (!message)
        return {};
    DBusMessage* reply = CallBlocking(bus, message, timeoutMs);
    if (!reply)
        return {};
    std::string address;
    DBusErrorHolder error;
    const char* text = nullptr;
    if (dbus_message_get_args(reply, &error.error, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) &&
        text) {
        address = text;
    }
    dbus_message_unref(reply);
    return address;
}

// libatspi for the whole process: it may be initialised once, and a failed
// start leaves it unusable (its calls would then abort the program).
bool AtspiReady() {
    enum class Init { Untried, Ready, Failed };
    static Init init = Init::Untried;
    if (init != Init::Untried)
        return init == Init::Ready;
    init = Init::Failed;
    // libatspi's own search for the bus waits without limit: hand it the
    // address, found with bounded calls.
    const char* given = std::getenv("AT_SPI_BUS_ADDRESS");
    if (!given || !*given) {
        std::string address = NotedBusAddress();
        if (address.empty()) {
            if (DBusConnection* bus = OpenSessionBus()) {
                address = GetBusAddress(bus, kAtspiCallBudgetMs);
                CloseBus(bus);
            }
        }
        if (address.empty())
            return false;
        ::setenv("AT_SPI_BUS_ADDRESS", address.c_str(), 1);
    }
    const int rc = atspi_init();
    if (rc != 0 && rc != 1)
        return false;
    if (!atspi_get_a11y_bus())
        return false;
    init = Init::Ready;
    return true;
}

// Runs one libatspi call within the budget; false when the budget was
// already spent or the call failed. A call that ran out of time spends it.
template <typename F>
bool Bounded(AtspiCallBudget& budget, F&& call) {
    const int ms = budget.RemainingMs();
    if (ms <= 0)
        return false;
    atspi_set_timeout(ms, ms);
    GError* error = nullptr;
    call(&error);
    if (budget.RemainingMs() <= 0)
        budget.Spend();
    if (error) {
        g_error_free(error);
        return false;
    }
    return !budget.Spent();
}

struct ObjectRef {
    AtspiAccessible* object = nullptr;
    ObjectRef() = default;
    explicit ObjectRef(AtspiAccessible* o) : object(o) {}
    ~ObjectRef() {
        if (object)
            g_object_unref(object);
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ObjectRef(ObjectRef&& other) noexcept : object(std::exchange(other.object, nullptr)) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    AtspiAccessible* release() { return std::exchange(object, nullptr); }
};

bool ChildCount(AtspiAccessible* object, AtspiCallBudget& budget, int& count) {
    count = 0;
    return Bounded(budget,
                   [&](GError** e) { count = atspi_accessible_get_child_count(object, e); }) &&
           count >= 0;
}

ObjectRef ChildAt(AtspiAccessible* object, int index, AtspiCallBudget& budget) {
    ObjectRef child;
    if (!Bounded(budget, [&](GError** e) {
            child.object = atspi_accessible_get_child_at_index(object, index, e);
        })) {
        return ObjectRef();
    }
    return child;
}

// A bounded call that hands over a string of its own (freed here).
template <typename F>
std::optional<std::string> OwnedText(AtspiCallBudget& budget, F&& call) {
    gchar* text = nullptr;
    const bool ok = Bounded(budget, [&](GError** e) { text = call(e); });
    std::optional<std::string> result;
    if (ok && text)
        result = text;
    g_free(text);
    return result;
}

std::optional<std::string> Name(AtspiAccessible* object, AtspiCallBudget& budget) {
    return OwnedText(budget, [&](GError** e) { return atspi_accessible_get_name(object, e); });
}

std::optional<int> Role(AtspiAccessible* object, AtspiCallBudget& budget) {
    int role = ATSPI_ROLE_INVALID;
    if (!Bounded(budget, [&](GError** e) { role = atspi_accessible_get_role(object, e); }))
        return std::nullopt;
    return role;
}

// The state set reports no error of its own: a spent budget or an object
// gone (DEFUNCT) count as failure.
std::optional<std::set<int>> States(AtspiAccessible* object, AtspiCallBudget& budget) {
    AtspiStateSet* set = nullptr;
    if (!Bounded(budget, [&](GError**) { set = atspi_accessible_get_state_set(object); }) || !set) {
        if (set)
            g_object_unref(set);
        return std::nullopt;
    }
    std::set<int> states;
    GArray* list = atspi_state_set_get_states(set);
    if (list) {
        for (guint i = 0; i < list->len; ++i)
            states.insert(int(g_array_index(list, AtspiStateType, i)));
        g_array_free(list, TRUE);
    }
    g_object_unref(set);
    if (states.count(ATSPI_STATE_DEFUNCT))
        return std::nullopt;
    return states;
}

std::optional<std::string> Text(AtspiAccessible* object, AtspiCallBudget& budget) {
    return OwnedText(budget,
                     [&](GError** e) { return atspi_text_get_text(ATSPI_TEXT(object), 0, -1, e); });
}

bool HasClass(AtspiAccessible* object, std::string_view className, AtspiCallBudget& budget) {
    GHashTable* attributes = nullptr;
    if (!Bounded(budget,
                 [&](GError** e) { attributes = atspi_accessible_get_attributes(object, e); }) ||
        !attributes) {
        if (attributes)
            g_hash_table_unref(attributes);
        return false;
    }
    const auto* value = static_cast<const char*>(g_hash_table_lookup(attributes, "class"));
    const bool match = value && className == value;
    g_hash_table_unref(attributes);
    return match;
}

bool IsAddressField(AtspiAccessible* object, AtspiCallBudget& budget) {
    const std::optional<int> role = Role(object, budget);
    return role && *role == ATSPI_ROLE_ENTRY && HasClass(object, kOmniboxClass, budget);
}

// The address field through the collection interface: editable
// single-line entries of the frame, then the one of the omnibox class.
ObjectRef FindAddressFieldByCollection(AtspiAccessible* frame, AtspiCallBudget& budget,
                                       bool& supported) {
    supported = false;
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    const AtspiStateType states[] = {ATSPI_STATE_EDITABLE, ATSPI_STATE_SINGLE_LINE};
    g_array_append_vals(wanted, states, 2);
    AtspiStateSet* stateSet = atspi_state_set_new(wanted);
    g_array_free(wanted, TRUE);
    GHashTable* attributes = g_hash_table_new(g_str_hash, g_str_equal);
    GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
    const AtspiRole entry = ATSPI_ROLE_ENTRY;
    g_array_append_val(roles, entry);
    GArray* interfaces = g_array_new(FALSE, FALSE, sizeof(gchar*));
    AtspiMatchRule* rule = atspi_match_rule_new(
        stateSet, ATSPI_Collection_MATCH_ALL, attributes, ATSPI_Collection_MATCH_NONE, roles,
        ATSPI_Collection_MATCH_ANY, interfaces, ATSPI_Collection_MATCH_NONE, FALSE);
    g_object_unref(stateSet);
    g_hash_table_unref(attributes);
    g_array_free(roles, TRUE);
    g_array_free(interfaces, TRUE);

    GArray* matches = nullptr;
    supported = Bounded(budget, [&](GError** e) {
        matches = atspi_collection_get_matches(ATSPI_COLLECTION(frame), rule,
                                               ATSPI_Collection_SORT_ORDER_CANONICAL, 0, TRUE, e);
    });
    g_object_unref(rule);
    ObjectRef found;
    if (matches) {
        for (guint i = 0; i < matches->len; ++i) {
            AtspiAccessible* match = g_array_index(matches, AtspiAccessible*, i);
            if (!found.object && supported && HasClass(match, kOmniboxClass, budget))
                found.object = static_cast<AtspiAccessible*>(g_object_ref(match));
            g_object_unref(match);
        }
        g_array_free(matches, TRUE);
    }
    return found;
}

ObjectRef FindAddressFieldBelow(AtspiAccessible* object, int depth, int& nodesLeft,
                                AtspiCallBudget& budget) {
    int count = 0;
    if (depth >= kAddressFieldSearchDepth || !ChildCount(object, budget, count))
        return ObjectRef();
    for (int i = 0; i < count && nodesLeft > 0 && !budget.Spent(); ++i) {
        ObjectRef child = ChildAt(object, i, budget);
        if (!child.object)
            continue;
        --nodesLeft;
        if (IsAddressField(child.object, budget))
            return child;
        ObjectRef below = FindAddressFieldBelow(child.object, depth + 1, nodesLeft, budget);
        if (below.object)
            return below;
    }
    return ObjectRef();
}

// Hands what arrived unasked (libatspi's events, late replies) to its
// handlers: libdbus looks for a reply through everything queued.
void Drain(DBusConnection* bus) {
    while (dbus_connection_get_dispatch_status(bus) == DBUS_DISPATCH_DATA_REMAINS)
        dbus_connection_dispatch(bus);
}

// What the nodes of one walk share: the connection to the browser and the
// time left.
struct WalkSession {
    DBusConnection* bus;
    AtspiCallBudget budget;

    WalkSession(DBusConnection* connection, int budgetMs)
        : bus(dbus_connection_ref(connection)), budget(budgetMs) {}
    ~WalkSession() {
        Drain(bus);
        dbus_connection_unref(bus);
    }
    WalkSession(const WalkSession&) = delete;
    WalkSession& operator=(const WalkSession&) = delete;
};

// One D-Bus call in flight. libatspi answers one call per round trip; the
// walk sends the calls it will need next together, so that the browser
// answers them in one go.
class PendingCall {
public:
    PendingCall() = default;
    PendingCall(WalkSession& session, DBusMessage* message) {
        const int ms = session.budget.RemainingMs();
        if (message && ms > 0 &&
            !dbus_connection_send_with_reply(session.bus, message, &pending_, ms))
            pending_ = nullptr;
        if (message)
            dbus_message_unref(message);
    }
    ~PendingCall() { Drop(); }
    PendingCall(PendingCall&& other) noexcept : pending_(std::exchange(other.pending_, nullptr)) {}
    PendingCall& operator=(PendingCall&& other) noexcept {
        std::swap(pending_, other.pending_);
        return *this;
    }

    bool Sent() const { return pending_ != nullptr; }

    // The reply, waiting at most the time the call was sent with; null on
    // an error reply or a time-out, which spends the budget.
    DBusMessage* Take(WalkSession& session) {
        if (!pending_)
            return nullptr;
        Drain(session.bus);
        dbus_pending_call_block(pending_);
        DBusMessage* reply = dbus_pending_call_steal_reply(pending_);
        Drop();
        if (!reply) {
            session.budget.Spend();
            return nullptr;
        }
        if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
            if (const char* name = dbus_message_get_error_name(reply);
                name && std::strcmp(name, DBUS_ERROR_NO_REPLY) == 0) {
                session.budget.Spend();
            }
            dbus_message_unref(reply);
            return nullptr;
        }
        return reply;
    }

private:
    void Drop() {
        if (pending_) {
            dbus_pending_call_cancel(pending_);
            dbus_pending_call_unref(pending_);
            pending_ = nullptr;
        }
    }

    DBusPendingCall* pending_ = nullptr;
};

constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";

DBusMessage* NewCall(const std::string& busName, const std::string& path, const char* interface,
                     const char* method) {
    return dbus_message_new_method_call(busName.c_str(), path.c_str(), interface, method);
}

struct NodeRef {
    std::string busName;
    std::string path;
};

// One node of a browser's tree as the address walk sees it, read with plain
// AT-SPI D-Bus calls on the connection libatspi opened to the browser.
// Listing a node's children sends the role and child-list calls of every
// child at once.
class AtspiNode final : public Accessible {
public:
    AtspiNode(std::shared_ptr<WalkSession> session, NodeRef node)
        : session_(std::move(session)), node_(std::move(node)) {}

    // Sends the calls every visited node needs.
    void Prefetch() {
        if (!role_)
            Send(roleCall_, "GetRole");
        if (!children_)
            Send(childrenCall_, "GetChildren");
    }

    uint64_t Identity() const override {
        return std::hash<std::string>{}(node_.busName + '\n' + node_.path);
    }

    AccCountResult ChildCount() override {
        if (!EnsureChildren())
            return {kEFail, 0};
        return {kSOk, int32_t(children_->size())};
    }

    AccChildrenResult Children(int32_t count) override {
        AccChildrenResult result;
        if (!EnsureChildren())
            return result;
        const size_t n = std::min(size_t(std::max(count, 0)), children_->size());
        for (size_t i = 0; i < n; ++i) {
            auto child = std::make_shared<AtspiNode>(session_, (*children_)[i]);
            child->Prefetch();
            result.children.push_back(AccVariant::Object(child));
        }
        result.hr = n == size_t(count) ? kSOk : kSFalse;
        return result;
    }

    std::unique_ptr<AccessibleEnumerator> Enumerator() override { return nullptr; }
    AccVariantResult Navigate(int32_t, const AccVariant&) override { return {kENotImpl, {}}; }
    // Every child is an object of its own: there are no simple elements.
    AccVariantResult GetChild(int32_t) override { return {kEInvalidArg, {}}; }

    AccIntResult Role() override {
        if (!Classify())
            return {kEFail, std::nullopt};
        return {kSOk, msaaRole_};
    }

    // A text field's value is its text; other objects have none.
    AccTextResult Value() override {
        if (!Classify())
            return {kEFail, {}};
        if (msaaRole_ != kRoleSystemText)
            return {kSFalse, {}};
        DBusMessage* message = Call("org.a11y.atspi.Text", "GetText");
        const dbus_int32_t start = 0, end = -1;
        if (message) {
            dbus_message_append_args(message, DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                     DBUS_TYPE_INVALID);
        }
        DBusMessage* reply = PendingCall(*session_, message).Take(*session_);
        std::optional<std::string> text;
        if (reply) {
            const char* value = nullptr;
            if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &value,
                                      DBUS_TYPE_INVALID) &&
                value) {
                text = value;
            }
            dbus_message_unref(reply);
        }
        if (!text)
            return {kEFail, {}};
        return {kSOk, std::move(*text)};
    }

    AccIntResult State() override {
        if (!EnsureStates())
            return {kEFail, std::nullopt};
        return {kSOk, MsaaStateFromAtspi(*states_)};
    }

private:
    DBusMessage* Call(const char* interface, const char* method) const {
        return NewCall(node_.busName, node_.path, interface, method);
    }

    // The Accessible call kept in `call`, sent unless it is already.
    void Send(PendingCall& call, const char* method) {
        if (!call.Sent())
            call = PendingCall(*session_, Call(kAccessibleInterface, method));
    }

    bool EnsureRole() {
        if (role_)
            return true;
        Send(roleCall_, "GetRole");
        DBusMessage* reply = roleCall_.Take(*session_);
        if (!reply)
            return false;
        dbus_uint32_t role = 0;
        if (dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, &role, DBUS_TYPE_INVALID))
            role_ = int(role);
        dbus_message_unref(reply);
        return role_.has_value();
    }

    bool EnsureChildren() {
        if (children_)
            return true;
        Send(childrenCall_, "GetChildren");
        DBusMessage* reply = childrenCall_.Take(*session_);
        if (!reply)
            return false;
        // a(so): each child's application and object path.
        std::vector<NodeRef> children;
        DBusMessageIter args, array, entry;
        bool ok = dbus_message_iter_init(reply, &args) &&
                  dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_ARRAY;
        if (ok) {
            dbus_message_iter_recurse(&args, &array);
            while (ok && dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
                dbus_message_iter_recurse(&array, &entry);
                const char* bus = nullptr;
                const char* path = nullptr;
                ok = dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_STRING;
                if (ok) {
                    dbus_message_iter_get_basic(&entry, &bus);
                    ok = dbus_message_iter_next(&entry) &&
                         dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_OBJECT_PATH;
                }
                if (ok) {
                    dbus_message_iter_get_basic(&entry, &path);
                    children.push_back({bus, path});
                }
                dbus_message_iter_next(&array);
            }
        }
        dbus_message_unref(reply);
        if (ok)
            children_ = std::move(children);
        return ok;
    }

    bool EnsureStates() {
        if (states_)
            return true;
        DBusMessage* reply =
            PendingCall(*session_, Call(kAccessibleInterface, "GetState")).Take(*session_);
        if (!reply)
            return false;
        dbus_uint32_t* words = nullptr;
        int count = 0;
        DBusMessageIter args, array;
        if (dbus_message_iter_init(reply, &args) &&
            dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_ARRAY &&
            dbus_message_iter_get_element_type(&args) == DBUS_TYPE_UINT32) {
            dbus_message_iter_recurse(&args, &array);
            dbus_message_iter_get_fixed_array(&array, &words, &count);
            std::set<int> states;
            for (int w = 0; w < count; ++w) {
                for (int bit = 0; bit < 32; ++bit) {
                    if (words[w] & (1u << bit))
                        states.insert(w * 32 + bit);
                }
            }
            states_ = std::move(states);
        }
        dbus_message_unref(reply);
        return states_.has_value() && !states_->count(ATSPI_STATE_DEFUNCT);
    }

    bool Classify() {
        if (classified_)
            return true;
        if (!EnsureRole())
            return false;
        bool editable = false, singleLine = false;
        if (AtspiRoleMayBeTextField(*role_)) {
            if (!EnsureStates())
                return false;
            editable = states_->count(ATSPI_STATE_EDITABLE) != 0;
            singleLine = states_->count(ATSPI_STATE_SINGLE_LINE) != 0;
        }
        msaaRole_ = MsaaRoleFromAtspi(*role_, editable, singleLine);
        classified_ = true;
        return true;
    }

    std::shared_ptr<WalkSession> session_;
    NodeRef node_;
    PendingCall roleCall_;
    PendingCall childrenCall_;
    std::optional<int> role_;
    std::optional<std::vector<NodeRef>> children_;
    std::optional<std::set<int>> states_;
    bool classified_ = false;
    int32_t msaaRole_ = 0;
};

}  // namespace

bool EnableAccessibilityBus(int timeoutMs) {
    DBusConnection* bus = OpenSessionBus();
    if (!bus)
        return false;
    const bool enabled = SetIsEnabled(bus, timeoutMs);
    if (enabled && NotedBusAddress().empty())
        NotedBusAddress() = GetBusAddress(bus, timeoutMs);
    CloseBus(bus);
    return enabled;
}

bool AtspiRoleMayBeTextField(int atspiRole) noexcept {
    switch (atspiRole) {
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_EDITBAR:
            return true;
        default:
            return false;
    }
}

int32_t MsaaRoleFromAtspi(int atspiRole, bool editable, bool singleLine) noexcept {
    // Firefox's address bar is a "combo box", Chromium's an "entry": both are text fields.
    if (AtspiRoleMayBeTextField(atspiRole) && editable && singleLine)
        return kRoleText;
    switch (atspiRole) {
        case ATSPI_ROLE_ENTRY:
        case ATSPI_ROLE_PASSWORD_TEXT:
        case ATSPI_ROLE_TEXT:
        case ATSPI_ROLE_EDITBAR:
            return kRoleText;
        case ATSPI_ROLE_COMBO_BOX:
        case ATSPI_ROLE_AUTOCOMPLETE:
            return kRoleComboBox;
        case ATSPI_ROLE_SPIN_BUTTON:
            return kRoleSpinButton;
        case ATSPI_ROLE_APPLICATION:
            return kRoleApplication;
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
            return kRoleWindow;
        case ATSPI_ROLE_DIALOG:
        case ATSPI_ROLE_FILE_CHOOSER:
        case ATSPI_ROLE_COLOR_CHOOSER:
            return kRoleDialog;
        case ATSPI_ROLE_ALERT:
        case ATSPI_ROLE_NOTIFICATION:
            return kRoleAlert;
        case ATSPI_ROLE_MENU_BAR:
            return kRoleMenuBar;
        case ATSPI_ROLE_MENU:
        case ATSPI_ROLE_POPUP_MENU:
            return kRoleMenuPopup;
        case ATSPI_ROLE_MENU_ITEM:
        case ATSPI_ROLE_CHECK_MENU_ITEM:
        case ATSPI_ROLE_RADIO_MENU_ITEM:
        case ATSPI_ROLE_TEAROFF_MENU_ITEM:
            return kRoleMenuItem;
        case ATSPI_ROLE_TOOL_BAR:
            return kRoleToolBar;
        case ATSPI_ROLE_STATUS_BAR:
            return kRoleStatusBar;
        case ATSPI_ROLE_TOOL_TIP:
            return kRoleToolTip;
        case ATSPI_ROLE_SCROLL_BAR:
            return kRoleScrollBar;
        case ATSPI_ROLE_SCROLL_PANE:
        case ATSPI_ROLE_ROOT_PANE:
        case ATSPI_ROLE_LAYERED_PANE:
        case ATSPI_ROLE_SPLIT_PANE:
        case ATSPI_ROLE_VIEWPORT:
        case ATSPI_ROLE_INTERNAL_FRAME:
            return kRolePane;
        case ATSPI_ROLE_PANEL:
        case ATSPI_ROLE_SECTION:
        case ATSPI_ROLE_FILLER:
        case ATSPI_ROLE_GROUPING:
        case ATSPI_ROLE_FORM:
        case ATSPI_ROLE_LANDMARK:
        case ATSPI_ROLE_ARTICLE:
        case ATSPI_ROLE_BLOCK_QUOTE:
            return kRoleGrouping;
        case ATSPI_ROLE_DOCUMENT_FRAME:
        case ATSPI_ROLE_DOCUMENT_WEB:
        case ATSPI_ROLE_DOCUMENT_TEXT:
        case ATSPI_ROLE_DOCUMENT_EMAIL:
            return kRoleDocument;
        case ATSPI_ROLE_PUSH_BUTTON:
        case ATSPI_ROLE_TOGGLE_BUTTON:
        case ATSPI_ROLE_PUSH_BUTTON_MENU:
            return kRolePushButton;
        case ATSPI_ROLE_CHECK_BOX:
            return kRoleCheckButton;
        case ATSPI_ROLE_RADIO_BUTTON:
            return kRoleRadioButton;
        case ATSPI_ROLE_LINK:
            return kRoleLink;
        case ATSPI_ROLE_LABEL:
        case ATSPI_ROLE_STATIC:
        case ATSPI_ROLE_CAPTION:
        case ATSPI_ROLE_HEADING:
        case ATSPI_ROLE_PARAGRAPH:
            return kRoleStaticText;
        case ATSPI_ROLE_IMAGE:
        case ATSPI_ROLE_ICON:
        case ATSPI_ROLE_CANVAS:
            return kRoleGraphic;
        case ATSPI_ROLE_SEPARATOR:
            return kRoleSeparator;
        case ATSPI_ROLE_PAGE_TAB:
            return kRolePageTab;
        case ATSPI_ROLE_PAGE_TAB_LIST:
            return kRolePageTabList;
        case ATSPI_ROLE_LIST:
        case ATSPI_ROLE_LIST_BOX:
            return kRoleList;
        case ATSPI_ROLE_LIST_ITEM:
            return kRoleListItem;
        case ATSPI_ROLE_TREE:
        case ATSPI_ROLE_TREE_TABLE:
            return kRoleOutline;
        case ATSPI_ROLE_TREE_ITEM:
            return kRoleOutlineItem;
        case ATSPI_ROLE_TABLE:
            return kRoleTable;
        case ATSPI_ROLE_TABLE_CELL:
            return kRoleCell;
        case ATSPI_ROLE_TABLE_ROW:
            return kRoleRow;
        case ATSPI_ROLE_TABLE_COLUMN_HEADER:
        case ATSPI_ROLE_COLUMN_HEADER:
            return kRoleColumnHeader;
        case ATSPI_ROLE_TABLE_ROW_HEADER:
        case ATSPI_ROLE_ROW_HEADER:
            return kRoleRowHeader;
        case ATSPI_ROLE_PROGRESS_BAR:
            return kRoleProgressBar;
        case ATSPI_ROLE_SLIDER:
            return kRoleSlider;
        default:
            return kRoleClient;
    }
}

int32_t MsaaStateFromAtspi(const std::set<int>& s) noexcept {
    const auto has = [&](AtspiStateType state) { return s.count(int(state)) != 0; };
    int32_t bits = 0;
    if (!s.empty() && !has(ATSPI_STATE_ENABLED) && !has(ATSPI_STATE_SENSITIVE))
        bits |= kStateUnavailable;
    if (has(ATSPI_STATE_SELECTED))
        bits |= kStateSelected;
    if (has(ATSPI_STATE_FOCUSED))
        bits |= kStateFocused;
    if (has(ATSPI_STATE_PRESSED))
        bits |= kStatePressed;
    if (has(ATSPI_STATE_CHECKED))
        bits |= kStateChecked;
    if (has(ATSPI_STATE_INDETERMINATE))
        bits |= kStateMixed;
    if (has(ATSPI_STATE_READ_ONLY))
        bits |= kStateReadOnly;
    if (has(ATSPI_STATE_IS_DEFAULT))
        bits |= kStateDefault;
    if (has(ATSPI_STATE_EXPANDED))
        bits |= kStateExpanded;
    if (has(ATSPI_STATE_COLLAPSED) || (has(ATSPI_STATE_EXPANDABLE) && !has(ATSPI_STATE_EXPANDED)))
        bits |= kStateCollapsed;
    if (has(ATSPI_STATE_BUSY))
        bits |= kStateBusy;
    if (has(ATSPI_STATE_ANIMATED))
        bits |= kStateAnimated;
    if (!s.empty() && !has(ATSPI_STATE_SHOWING) && !has(ATSPI_STATE_VISIBLE))
        bits |= kStateInvisible;
    if (!s.empty() && has(ATSPI_STATE_VISIBLE) && !has(ATSPI_STATE_SHOWING))
        bits |= kStateOffscreen;
    if (has(ATSPI_STATE_RESIZABLE))
        bits |= kStateSizeable;
    if (has(ATSPI_STATE_FOCUSABLE))
        bits |= kStateFocusable;
    if (has(ATSPI_STATE_SELECTABLE))
        bits |= kStateSelectable;
    if (has(ATSPI_STATE_MULTISELECTABLE))
        bits |= kStateMultiSelectable;
    if (has(ATSPI_STATE_HAS_POPUP))
        bits |= kStateHasPopup;
    return bits;
}

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
    AtspiAccessible* frame = nullptr;
    AtspiAccessible* addressField = nullptr;
    uint32_t pid = 0;
    std::string title;

    ~Frame() {
        if (addressField)
            g_object_unref(addressField);
        if (frame)
            g_object_unref(frame);
    }
};

AtspiBrowsers::AtspiBrowsers() = default;

AtspiBrowsers::~AtspiBrowsers() = default;

bool AtspiBrowsers::Available() {
    if (state_ == State::Untried)
        state_ = AtspiReady() ? State::Ready : State::Unavailable;
    return state_ == State::Ready;
}

_AtspiAccessible* AtspiBrowsers::LookUpFrame(uint32_t pid, const std::string& title,
                                             const ActiveTest& isActive, AtspiCallBudget& budget) {
    ObjectRef desktop(atspi_get_desktop(0));
    int apps = 0;
    if (!desktop.object || !ChildCount(desktop.object, budget, apps))
        return nullptr;
    ObjectRef active;
    std::optional<bool> windowActive;
    for (int i = 0; i < apps && !budget.Spent(); ++i) {
        ObjectRef app = ChildAt(desktop.object, i, budget);
        if (!app.object)
            continue;
        guint appPid = 0;
        // The bus answers this one, not the application.
        if (!Bounded(
                budget,
                [&](GError** e) { appPid = atspi_accessible_get_process_id(app.object, e); }) ||
            appPid != pid) {
            continue;
        }
        int frames = 0;
        if (!ChildCount(app.object, budget, frames))
            continue;
        for (int j = 0; j < frames; ++j) {
            ObjectRef frame = ChildAt(app.object, j, budget);
            if (!frame.object)
                continue;
            if (Name(frame.object, budget) == title)
                return frame.release();
            if (!windowActive)
                windowActive = isActive && isActive();
            if (!active.object && *windowActive) {
                const std::optional<int> role = Role(frame.object, budget);
                const auto states = States(frame.object, budget);
                if (role && *role == ATSPI_ROLE_FRAME && states &&
                    states->count(ATSPI_STATE_ACTIVE)) {
                    active = std::move(frame);
                }
            }
        }
    }
    return active.release();
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
        atspi_accessible_clear_cache(cached.frame);
        if (Name(cached.frame, budget) == title) {
            cached.title = title;
            return &cached;
        }
    }
    if (it != frames_.end())
        frames_.erase(it);
    AtspiAccessible* found = LookUpFrame(pid, title, isActive, budget);
    if (!found)
        return nullptr;
    auto frame = std::make_unique<Frame>();
    frame->frame = found;
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
    const ::AtspiObject* object = ATSPI_OBJECT(frame->frame);
    if (!object->app || !object->app->bus || !object->app->bus_name || !object->path)
        return nullptr;
    auto session = std::make_shared<WalkSession>(object->app->bus, budget.RemainingMs());
    auto root = std::make_unique<AtspiNode>(session, NodeRef{object->app->bus_name, object->path});
    root->Prefetch();
    return root;
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
        if (std::optional<std::string> text = Text(frame->addressField, budget))
            return text;
        if (budget.Spent())
            return std::nullopt;
        // The field went (the window was rebuilt): look for it again.
        g_object_unref(frame->addressField);
        frame->addressField = nullptr;
    }
    bool supported = false;
    ObjectRef field = FindAddressFieldByCollection(frame->frame, budget, supported);
    if (!field.object && !supported && !budget.Spent()) {
        int nodesLeft = kAddressFieldSearchNodes;
        field = FindAddressFieldBelow(frame->frame, 0, nodesLeft, budget);
    }
    if (!field.object) {
        // Without --force-renderer-accessibility Chromium shows its frame
        // but not the field.
        if (!budget.Spent())
            NoteChromiumWithoutField(pid, "shows no address field in its accessibility tree");
        return std::nullopt;
    }
    frame->addressField = field.release();
    return Text(frame->addressField, budget);
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
