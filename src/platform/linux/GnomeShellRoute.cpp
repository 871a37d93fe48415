#include "platform/linux/GnomeShellRoute.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <utility>

namespace tw {

namespace {

// A shell busy with an animation still answers within milliseconds; a hung
// one must not hold the caller longer than this.
constexpr int kCallTimeoutMs = 500;

const QString kService = QStringLiteral("org.tallyward.Focus");

// The reply's arguments when it is a reply with exactly this signature.
std::optional<QList<QVariant>> Call(const QDBusConnection& bus, const char* method,
                                    const QVariantList& arguments, const char* signature) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/org/tallyward/Focus"), kService, QString::fromLatin1(method));
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String(signature))
        return std::nullopt;
    return reply.arguments();
}

std::string Utf8(const QVariant& v) {
    return v.toString().toStdString();
}

}  // namespace

std::unique_ptr<GnomeShellRoute> GnomeShellRoute::Open(QDBusConnection bus) {
    if (!bus.isConnected())
        return nullptr;
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    ask << kService;
    const QDBusMessage reply = bus.call(ask, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
        return nullptr;
    return std::unique_ptr<GnomeShellRoute>(new GnomeShellRoute(std::move(bus)));
}

std::optional<CompositorWindow> GnomeShellRoute::Focused() {
    const auto reply = Call(bus_, "GetFocus", {}, "tussb");
    if (!reply)
        return std::nullopt;
    const QList<QVariant>& a = *reply;
    CompositorWindow w;
    w.id = a[0].toULongLong();
    // Id 0: the focus is on the shell itself (overview, panel) or nowhere.
    if (w.id == 0)
        return std::nullopt;
    w.pid = a[1].toUInt();
    w.appId = Utf8(a[2]);
    w.title = Utf8(a[3]);
    w.xwayland = a[4].toBool();
    return w;
}

std::vector<CompositorWindow> GnomeShellRoute::Windows() {
    std::vector<CompositorWindow> windows;
    const auto reply = Call(bus_, "ListWindows", {}, "a(tusbs)");
    if (!reply)
        return windows;
    const QDBusArgument list = (*reply)[0].value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        CompositorWindow w;
        qulonglong id = 0;
        uint pid = 0;
        QString appId, title;
        list.beginStructure();
        list >> id >> pid >> appId >> w.xwayland >> title;
        list.endStructure();
        w.id = id;
        w.pid = pid;
        w.appId = appId.toStdString();
        w.title = title.toStdString();
        windows.push_back(std::move(w));
    }
    list.endArray();
    return windows;
}

bool GnomeShellRoute::Close(uint64_t id) {
    const auto reply = Call(bus_, "Close", {QVariant::fromValue(qulonglong(id))}, "b");
    return reply && (*reply)[0].toBool();
}

}  // namespace tw
