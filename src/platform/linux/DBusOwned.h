#pragma once

#include <dbus/dbus.h>

#include <memory>

// Owners for libdbus objects, so that every way out of a function gives
// back its references.
namespace tw {

struct DBusMessageUnref {
    void operator()(DBusMessage* message) const noexcept { dbus_message_unref(message); }
};
using DBusMessagePtr = std::unique_ptr<DBusMessage, DBusMessageUnref>;

struct DBusConnectionUnref {
    void operator()(DBusConnection* connection) const noexcept {
        dbus_connection_unref(connection);
    }
};
// A reference to a connection someone else opened (libatspi's to a browser).
using DBusConnectionRef = std::unique_ptr<DBusConnection, DBusConnectionUnref>;

// A private connection of our own: a private connection must be closed
// before its last reference goes.
struct DBusConnectionClose {
    void operator()(DBusConnection* connection) const noexcept {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using DBusPrivateConnection = std::unique_ptr<DBusConnection, DBusConnectionClose>;

// A call in flight: letting go of it cancels it, so a late reply is dropped.
struct DBusPendingCallCancel {
    void operator()(DBusPendingCall* call) const noexcept {
        dbus_pending_call_cancel(call);
        dbus_pending_call_unref(call);
    }
};
using DBusPendingCallPtr = std::unique_ptr<DBusPendingCall, DBusPendingCallCancel>;

// The error out-parameter of a libdbus call, freed whatever it holds.
class DBusErrorScope {
public:
    DBusErrorScope() { dbus_error_init(&error_); }
    ~DBusErrorScope() { dbus_error_free(&error_); }
    DBusErrorScope(const DBusErrorScope&) = delete;
    DBusErrorScope& operator=(const DBusErrorScope&) = delete;
    DBusError* get() noexcept { return &error_; }

private:
    DBusError error_;
};

}  // namespace tw
