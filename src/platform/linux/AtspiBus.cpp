#include "platform/linux/AtspiBus.h"

// libatspi pulls in GLib; its headers come after the standard ones.
#include <atspi/atspi.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <utility>

#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DBusOwned.h"

namespace tw {

namespace {

// The accessibility bus address found by EnableAccessibilityBus.
std::string& NotedBusAddress() {
    static std::string address;
    return address;
}

// A private connection to the session bus, or null. Without an announced
// address libdbus would try to launch a bus of its own: that is not ours to do.
DBusPrivateConnection OpenSessionBus() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !*address) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!runtime || ::access((std::string(runtime) + "/bus").c_str(), F_OK) != 0)
            return nullptr;
    }
    DBusErrorScope error;
    DBusPrivateConnection bus(dbus_bus_get_private(DBUS_BUS_SESSION, error.get()));
    if (bus)
        dbus_connection_set_exit_on_disconnect(bus.get(), FALSE);
    return bus;
}

// Sends `message` and answers the reply, null when none came in time.
DBusMessagePtr CallBlocking(DBusConnection* bus, const DBusMessagePtr& message, int timeoutMs) {
    DBusErrorScope error;
    return DBusMessagePtr(
        dbus_connection_send_with_reply_and_block(bus, message.get(), timeoutMs, error.get()));
}

bool SetIsEnabled(DBusConnection* bus, int timeoutMs) {
    const DBusMessagePtr message(dbus_message_new_method_call(
        "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set"));
    if (!message)
        return false;
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    dbus_bool_t on = TRUE;
    DBusMessageIter args, variant;
    dbus_message_iter_init_append(message.get(), &args);
    bool ok = dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &interface) &&
              dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &property) &&
              dbus_message_iter_open_container(&args, DBUS_TYPE_VARIANT, "b", &variant);
    if (ok) {
        ok = dbus_message_iter_append_basic(&variant, DBUS_TYPE_BOOLEAN, &on);
        ok = dbus_message_iter_close_container(&args, &variant) && ok;
    }
    if (!ok)
        return false;
    const DBusMessagePtr reply = CallBlocking(bus, message, timeoutMs);
    return reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

std::string GetBusAddress(DBusConnection* bus, int timeoutMs) {
    const DBusMessagePtr message(dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                              "org.a11y.Bus", "GetAddress"));
    if (!message)
        return {};
    const DBusMessagePtr reply = CallBlocking(bus, message, timeoutMs);
    if (!reply)
        return {};
    DBusErrorScope error;
    const char* text = nullptr;
    if (dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_STRING, &text,
                              DBUS_TYPE_INVALID) &&
        text) {
        return text;
    }
    return {};
}

}  // namespace

bool EnableAccessibilityBus(int timeoutMs) {
    const DBusPrivateConnection bus = OpenSessionBus();
    if (!bus)
        return false;
    const bool enabled = SetIsEnabled(bus.get(), timeoutMs);
    if (enabled && NotedBusAddress().empty())
        NotedBusAddress() = GetBusAddress(bus.get(), timeoutMs);
    return enabled;
}

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
            if (const DBusPrivateConnection bus = OpenSessionBus())
                address = GetBusAddress(bus.get(), kAtspiCallBudgetMs);
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

}  // namespace tw
