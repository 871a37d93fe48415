#include "platform/linux/SwayRoute.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <utility>

namespace tw {

namespace {

// The message header: "i3-ipc", then the payload's length and the message
// type, both 32 bits in the host's byte order.
constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr size_t kHeaderSize = sizeof kMagic + 2 * sizeof(uint32_t);
constexpr uint32_t kRunCommand = 0;
constexpr uint32_t kGetTree = 4;

constexpr int kConnectBudgetMs = 1000;
// One request and its whole reply; a tree of hundreds of windows takes a
// few milliseconds.
constexpr int kExchangeBudgetMs = 500;
// Far above any real tree; a larger length is a broken stream, not a reply.
constexpr uint32_t kMaxReply = 64U << 20;
// sway nests a window a few levels below its output; this only stops a
// pathological document from running the stack down.
constexpr int kMaxDepth = 256;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

// Waits for `events` on `fd` until the deadline; false on time-out or error.
bool Await(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, RemainingMs(deadline));
        if (n > 0)
            return true;  // readiness, or an error the next call reports
        if (n == 0 || errno != EINTR)
            return false;
    }
}

int Connect(const std::string& path, int budgetMs) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return fd;
    if (errno == EINPROGRESS &&
        Await(fd, POLLOUT, Clock::now() + std::chrono::milliseconds(budgetMs))) {
        int error = 0;
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
            return fd;
    }
    close(fd);
    return -1;
}

enum class Io { Done, Closed, Failed };

Io Send(int fd, const std::string& data, Clock::time_point deadline) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += size_t(n);
        } else if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
            return Io::Closed;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return Io::Failed;
        } else if (n < 0 && errno == EAGAIN && !Await(fd, POLLOUT, deadline)) {
            return Io::Failed;
        }
    }
    return Io::Done;
}

// Reads exactly `size` bytes into `out`; `got` tells how many came.
Io Receive(int fd, char* out, size_t size, size_t& got, Clock::time_point deadline) {
    got = 0;
    while (got < size) {
        const ssize_t n = recv(fd, out + got, size - got, 0);
        if (n > 0) {
            got += size_t(n);
        } else if (n == 0 || errno == ECONNRESET) {
            return Io::Closed;
        } else if (errno != EAGAIN && errno != EINTR) {
            return Io::Failed;
        } else if (errno == EAGAIN && !Await(fd, POLLIN, deadline)) {
            return Io::Failed;
        }
    }
    return Io::Done;
}

std::optional<QJsonDocument> Parse(const std::optional<std::string>& payload) {
    if (!payload)
        return std::nullopt;
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(payload->data(), qsizetype(payload->size())), &error);
    if (error.error != QJsonParseError::NoError)
        return std::nullopt;
    return document;
}

// A node that is a client's window: split containers, workspaces and
// outputs have no pid, and only views carry app_id (null for XWayland) or
// window_properties.
bool IsWindow(const QJsonObject& node) {
    const QString type = node.value(QLatin1String("type")).toString();
    if (type != QLatin1String("con") && type != QLatin1String("floating_con"))
        return false;
    const qint64 id = node.value(QLatin1String("id")).toInteger();
    const qint64 pid = node.value(QLatin1String("pid")).toInteger();
    if (id <= 0 || pid <= 0 || pid > std::numeric_limits<uint32_t>::max())
        return false;
    return node.contains(QLatin1String("app_id")) ||
           node.value(QLatin1String("window_properties")).isObject();
}

CompositorWindow ToWindow(const QJsonObject& node) {
    CompositorWindow window;
    window.id = uint64_t(node.value(QLatin1String("id")).toInteger());
    window.pid = uint32_t(node.value(QLatin1String("pid")).toInteger());
    QString appId = node.value(QLatin1String("app_id")).toString();
    if (appId.isEmpty())
        appId = node.value(QLatin1String("window_properties"))
                    .toObject()
                    .value(QLatin1String("class"))
                    .toString();
    window.appId = appId.toStdString();
    window.title = node.value(QLatin1String("name")).toString().toStdString();
    window.xwayland = node.value(QLatin1String("shell")).toString() == QLatin1String("xwayland");
    return window;
}

// Visits `node` and its tiled and floating children in tree order until
// `visit` answers true; answers whether it did.
template <typename Visit>
bool Walk(const QJsonObject& node, const Visit& visit, int depth = 0) {
    if (visit(node))
        return true;
    if (depth >= kMaxDepth)
        return false;
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue child : node.value(QLatin1String(key)).toArray()) {
            if (child.isObject() && Walk(child.toObject(), visit, depth + 1))
                return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<SwayRoute> SwayRoute::Open(const std::string& socketPath) {
    const int fd = Connect(socketPath, kConnectBudgetMs);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<SwayRoute>(new SwayRoute(socketPath, fd));
}

SwayRoute::SwayRoute(std::string socketPath, int fd)
    : socketPath_(std::move(socketPath)), fd_(fd) {}

SwayRoute::~SwayRoute() {
    Disconnect();
}

void SwayRoute::Disconnect() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

std::optional<std::string> SwayRoute::Exchange(uint32_t type, const std::string& payload,
                                               bool resend) {
    if (payload.size() > kMaxReply)
        return std::nullopt;
    std::string request(kMagic, sizeof kMagic);
    const uint32_t header[2] = {uint32_t(payload.size()), type};
    request.append(reinterpret_cast<const char*>(header), sizeof header);
    request += payload;

    for (int attempt = 0; attempt < 2; ++attempt) {
        // A failed exchange leaves the stream out of step: every failure
        // drops the connection, and the next call opens a fresh one.
        if (fd_ < 0 && (fd_ = Connect(socketPath_, kExchangeBudgetMs)) < 0)
            return std::nullopt;
        const Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(kExchangeBudgetMs);
        char head[kHeaderSize];
        size_t got = 0;
        Io io = Send(fd_, request, deadline);
        if (io == Io::Done)
            io = Receive(fd_, head, sizeof head, got, deadline);
        if (io != Io::Done) {
            Disconnect();
            // Closed before any of the reply came: sway went away, maybe
            // restarted on the same path.
            if (io == Io::Closed && got == 0 && resend && attempt == 0)
                continue;
            return std::nullopt;
        }
        uint32_t fields[2];
        std::memcpy(fields, head + sizeof kMagic, sizeof fields);
        if (std::memcmp(head, kMagic, sizeof kMagic) != 0 || fields[1] != type ||
            fields[0] > kMaxReply) {
            Disconnect();
            return std::nullopt;
        }
        std::string reply(fields[0], '\0');
        if (Receive(fd_, reply.data(), reply.size(), got, deadline) != Io::Done) {
            Disconnect();
            return std::nullopt;
        }
        return reply;
    }
    return std::nullopt;
}

std::optional<CompositorWindow> SwayRoute::Focused() {
    const std::optional<QJsonDocument> tree = Parse(Exchange(kGetTree, {}, true));
    if (!tree || !tree->isObject())
        return std::nullopt;
    std::optional<CompositorWindow> focused;
    Walk(tree->object(), [&](const QJsonObject& node) {
        if (!node.value(QLatin1String("focused")).toBool())
            return false;
        // A focused workspace or output: no window has the keyboard.
        if (IsWindow(node))
            focused = ToWindow(node);
        return true;
    });
    return focused;
}

std::vector<CompositorWindow> SwayRoute::Windows() {
    const std::optional<QJsonDocument> tree = Parse(Exchange(kGetTree, {}, true));
    std::vector<CompositorWindow> windows;
    if (!tree || !tree->isObject())
        return windows;
    Walk(tree->object(), [&](const QJsonObject& node) {
        if (IsWindow(node))
            windows.push_back(ToWindow(node));
        return false;
    });
    return windows;
}

bool SwayRoute::Close(uint64_t id) {
    if (id == 0)
        return false;
    // By con_id: a pid would close every window of the application. Not sent
    // again on a fresh connection: a restarted sway numbers its windows
    // anew, and the id could now name another one.
    const std::optional<QJsonDocument> reply =
        Parse(Exchange(kRunCommand, "[con_id=" + std::to_string(id) + "] kill", false));
    if (!reply || !reply->isArray() || reply->array().isEmpty())
        return false;
    return reply->array().first().toObject().value(QLatin1String("success")).toBool();
}

}  // namespace tw
