#include "platform/linux/AtspiWalk.h"

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DBusOwned.h"

namespace tw {

namespace {

// Hands what arrived unasked (libatspi's events, late replies) to its
// handlers: libdbus looks for a reply through everything queued.
void Drain(DBusConnection* bus) {
    while (dbus_connection_get_dispatch_status(bus) == DBUS_DISPATCH_DATA_REMAINS)
        dbus_connection_dispatch(bus);
}

// What the nodes of one walk share: the connection to the browser and the
// time left.
struct WalkSession {
    DBusConnectionRef bus;
    AtspiCallBudget budget;

    WalkSession(DBusConnection* connection, int budgetMs)
        : bus(dbus_connection_ref(connection)), budget(budgetMs) {}
    ~WalkSession() { Drain(bus.get()); }
    WalkSession(const WalkSession&) = delete;
    WalkSession& operator=(const WalkSession&) = delete;
};

// One D-Bus call in flight. libatspi answers one call per round trip; the
// walk sends the calls it will need next together, so that the browser
// answers them in one go.
class PendingCall {
public:
    PendingCall() = default;
    PendingCall(WalkSession& session, const DBusMessagePtr& message) {
        const int ms = session.budget.RemainingMs();
        DBusPendingCall* pending = nullptr;
        if (message && ms > 0 &&
            dbus_connection_send_with_reply(session.bus.get(), message.get(), &pending, ms))
            pending_.reset(pending);
    }

    bool Sent() const { return pending_ != nullptr; }

    // The reply, waiting at most the time the call was sent with; null on
    // an error reply or a time-out, which spends the budget.
    DBusMessagePtr Take(WalkSession& session) {
        if (!pending_)
            return nullptr;
        Drain(session.bus.get());
        dbus_pending_call_block(pending_.get());
        DBusMessagePtr reply(dbus_pending_call_steal_reply(pending_.get()));
        pending_.reset();
        if (!reply) {
            session.budget.Spend();
            return nullptr;
        }
        if (dbus_message_get_type(reply.get()) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
            if (const char* name = dbus_message_get_error_name(reply.get());
                name && std::strcmp(name, DBUS_ERROR_NO_REPLY) == 0) {
                session.budget.Spend();
            }
            return nullptr;
        }
        return reply;
    }

private:
    DBusPendingCallPtr pending_;
};

constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";

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
        const DBusMessagePtr message = Call("org.a11y.atspi.Text", "GetText");
        const dbus_int32_t start = 0, end = -1;
        if (message) {
            dbus_message_append_args(message.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                     DBUS_TYPE_INVALID);
        }
        const DBusMessagePtr reply = PendingCall(*session_, message).Take(*session_);
        const char* value = nullptr;
        if (!reply ||
            !dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &value,
                                   DBUS_TYPE_INVALID) ||
            !value) {
            return {kEFail, {}};
        }
        return {kSOk, std::string(value)};
    }

    AccIntResult State() override {
        if (!EnsureStates())
            return {kEFail, std::nullopt};
        return {kSOk, MsaaStateFromAtspi(*states_)};
    }

private:
    DBusMessagePtr Call(const char* interface, const char* method) const {
        return DBusMessagePtr(dbus_message_new_method_call(node_.busName.c_str(),
                                                           node_.path.c_str(), interface, method));
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
        const DBusMessagePtr reply = roleCall_.Take(*session_);
        dbus_uint32_t role = 0;
        if (reply &&
            dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_UINT32, &role, DBUS_TYPE_INVALID))
            role_ = int(role);
        return role_.has_value();
    }

    bool EnsureChildren() {
        if (children_)
            return true;
        Send(childrenCall_, "GetChildren");
        const DBusMessagePtr reply = childrenCall_.Take(*session_);
        if (!reply)
            return false;
        // a(so): each child's application and object path.
        std::vector<NodeRef> children;
        DBusMessageIter args, array, entry;
        bool ok = dbus_message_iter_init(reply.get(), &args) &&
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
        if (ok)
            children_ = std::move(children);
        return ok;
    }

    bool EnsureStates() {
        if (states_)
            return true;
        const DBusMessagePtr reply =
            PendingCall(*session_, Call(kAccessibleInterface, "GetState")).Take(*session_);
        if (!reply)
            return false;
        dbus_uint32_t* words = nullptr;
        int count = 0;
        DBusMessageIter args, array;
        if (dbus_message_iter_init(reply.get(), &args) &&
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

std::unique_ptr<Accessible> AtspiWalkRoot(DBusConnection* bus, const std::string& busName,
                                          const std::string& path, int budgetMs) {
    auto session = std::make_shared<WalkSession>(bus, budgetMs);
    auto root = std::make_unique<AtspiNode>(session, NodeRef{busName, path});
    root->Prefetch();
    return root;
}

}  // namespace tw
