#include "platform/linux/KWinRoute.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QObject>
#include <QRegularExpression>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>

namespace tw {

namespace {

// Open and every later call hold the caller at most about this long.
constexpr int kCallBudgetMs = 1000;
// The first Focused waits this long for the resident script's first report.
constexpr auto kFirstReportWait = std::chrono::milliseconds(500);

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScriptingPath = QStringLiteral("/Scripting");
const QString kScripting = QStringLiteral("org.kde.kwin.Scripting");
const QString kScript = QStringLiteral("org.kde.kwin.Script");
const QString kBus = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
const char* const kPath = "/org/tallyward/KWin";
const char* const kInterface = "org.tallyward.KWin";

int Left(const QDeadlineTimer& deadline) {
    return int(std::max<qint64>(deadline.remainingTime(), 1));
}

// A JavaScript string literal.
QString Quote(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// What every script shares: where to report, and a window as the route
// reads it (null for the desktop, panels and other special windows).
// KWin 6 renamed the window list; X11 windows alone carry a windowId.
const char* const kPrelude = R"(
function twDescribe(w) {
    if (!w || w.specialWindow)
        return null;
    return {id: String(w.internalId), pid: w.pid, appId: String(w.resourceClass),
            title: String(w.caption), xwayland: w.windowId !== undefined && w.windowId !== 0};
}
function twWindows() {
    return workspace.windowList !== undefined ? workspace.windowList() : workspace.clientList();
}
function twCall(method, a, b) {
    if (b === undefined)
        callDBus(twService, twPath, twInterface, method, a);
    else
        callDBus(twService, twPath, twInterface, method, a, b);
}
)";

// Reports the active window now, on every activation and when its title changes.
const char* const kResident = R"(
let twCurrent = null;
function twReport() {
    const d = twDescribe(twCurrent);
    twCall("Activated", d ? JSON.stringify(d) : "");
}
function twActivated(w) {
    if (twCurrent) {
        try { twCurrent.captionChanged.disconnect(twReport); } catch (e) {}
    }
    twCurrent = w;
    if (w)
        w.captionChanged.connect(twReport);
    twReport();
}
if (workspace.windowActivated !== undefined)
    workspace.windowActivated.connect(twActivated);
else
    workspace.clientActivated.connect(twActivated);
twActivated(workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient);
)";

const char* const kList = R"(
const twList = [];
const twAll = twWindows();
for (let i = 0; i < twAll.length; ++i) {
    const d = twDescribe(twAll[i]);
    if (d)
        twList.push(d);
}
twCall("Answer", twToken, JSON.stringify(twList));
)";

const char* const kClose = R"(
let twResult = "missing";
const twAll = twWindows();
for (let i = 0; i < twAll.length; ++i) {
    if (String(twAll[i].internalId) === twTarget) {
        twAll[i].closeWindow();
        twResult = "closed";
        break;
    }
}
twCall("Answer", twToken, twResult);
)";

}  // namespace

// The object the scripts call. It lives on Qt's D-Bus thread, so calls are
// served while the caller of the route blocks or runs no event loop; its
// slots only take the route's lock for a moment.
class KWinReceiver final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tallyward.KWin")
public:
    explicit KWinReceiver(KWinRoute& route) : route_(route) {}

public Q_SLOTS:
    void Activated(const QString& json) {
        if (route_.FromKWin(message().service()))
            route_.Activated(json);
    }
    void Answer(const QString& token, const QString& text) {
        if (route_.FromKWin(message().service()))
            route_.Answered(token, text);
    }
    void NameOwnerChanged(const QString&, const QString&, const QString& owner) {
        route_.OwnerChanged(owner);
    }

private:
    KWinRoute& route_;
};

std::unique_ptr<KWinRoute> KWinRoute::Open(const QString& busAddress) {
    const QDeadlineTimer deadline(kCallBudgetMs);
    static std::atomic<int> opened{0};
    std::unique_ptr<KWinRoute> route(new KWinRoute);
    route->connectionName_ = QStringLiteral("tallyward-kwin-%1").arg(++opened);
    route->bus_ =
        busAddress.isEmpty()
            ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, route->connectionName_)
            : QDBusConnection::connectToBus(busAddress, route->connectionName_);
    if (!route->bus_.isConnected() || !route->folder_.isValid())
        return nullptr;

    // Calls to an object are served in the object's thread, by its event
    // loop. The thread of the bus's own interface object is Qt's D-Bus
    // thread, whose loop runs also in a program without an application
    // object (the probe), where no other thread can run one.
    QThread* serving = route->bus_.interface() ? route->bus_.interface()->thread() : nullptr;
    if (!serving || serving == QThread::currentThread())
        return nullptr;
    route->receiver_ = new KWinReceiver(*route);
    route->receiver_->moveToThread(serving);
    if (!route->bus_.registerObject(QString::fromLatin1(kPath), route->receiver_,
                                    QDBusConnection::ExportAllSlots))
        return nullptr;
    // Followed before the owner is read, so no change falls in between.
    route->bus_.connect(kBus, kBusPath, kBus, QStringLiteral("NameOwnerChanged"), {kKWin},
                        QString(), route->receiver_,
                        SLOT(NameOwnerChanged(QString, QString, QString)));

    QDBusMessage call =
        QDBusMessage::createMethodCall(kBus, kBusPath, kBus, QStringLiteral("GetNameOwner"));
    call << kKWin;
    const QDBusMessage reply = route->bus_.call(call, QDBus::Block, Left(deadline));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return nullptr;
    {
        std::lock_guard lock(route->mutex_);
        route->owner_ = reply.arguments().constFirst().toString();
    }
    // KWin knows scripts by name: one of another route must not clash.
    QString base = route->bus_.baseService();
    base.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]")), QStringLiteral("_"));
    route->residentName_ = QStringLiteral("tallyward") + base;
    if (!route->LoadResident(Left(deadline)))
        return nullptr;
    return route;
}

KWinRoute::~KWinRoute() {
    bool loaded;
    {
        std::lock_guard lock(mutex_);
        loaded = residentLoaded_ && !owner_.isEmpty();
    }
    if (loaded)
        Unload(residentName_, true);
    if (receiver_) {
        bus_.unregisterObject(QString::fromLatin1(kPath));
        bus_.disconnect(kBus, kBusPath, kBus, QStringLiteral("NameOwnerChanged"), {kKWin},
                        QString(), receiver_, SLOT(NameOwnerChanged(QString, QString, QString)));
        // Brought back to this thread first: no call is being served by it
        // then, and its end is announced to the bus from a thread other
        // than Qt's D-Bus thread, which waits for that announcement.
        QThread* here = QThread::currentThread();
        QMetaObject::invokeMethod(
            receiver_, [receiver = receiver_, here] { receiver->moveToThread(here); },
            Qt::BlockingQueuedConnection);
        delete receiver_;
    }
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(connectionName_);
}

QString KWinRoute::Script(const char* body) const {
    return QStringLiteral("const twService = %1;\nconst twPath = %2;\nconst twInterface = %3;\n")
               .arg(Quote(bus_.baseService()), Quote(QString::fromLatin1(kPath)),
                    Quote(QString::fromLatin1(kInterface))) +
           QString::fromLatin1(kPrelude) + QString::fromLatin1(body);
}

bool KWinRoute::Run(const QString& name, const QString& text, int budgetMs) {
    const QDeadlineTimer deadline(budgetMs);
    // KWin reads the file after run() answered; it goes with the route's folder.
    const QString path = folder_.filePath(name + QStringLiteral(".js"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(text.toUtf8()) < 0 || !file.flush())
        return false;
    file.close();

    QDBusMessage load = QDBusMessage::createMethodCall(kKWin, kScriptingPath, kScripting,
                                                       QStringLiteral("loadScript"));
    load << path << name;
    const QDBusMessage loaded = bus_.call(load, QDBus::Block, Left(deadline));
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty())
        return false;
    const int id = loaded.arguments().constFirst().toInt();
    if (id < 0)
        return false;
    // KWin 5 serves the script at /<id>, KWin 6 under /Scripting.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const QString scriptPath = scriptUnderScripting_
                                       ? QStringLiteral("/Scripting/Script%1").arg(id)
                                       : QStringLiteral("/%1").arg(id);
        const QDBusMessage ran = bus_.call(
            QDBusMessage::createMethodCall(kKWin, scriptPath, kScript, QStringLiteral("run")),
            QDBus::Block, Left(deadline));
        if (ran.type() == QDBusMessage::ReplyMessage)
            return true;
        if (ran.errorName() != QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"))
            break;
        scriptUnderScripting_ = !scriptUnderScripting_;
    }
    Unload(name, false);
    return false;
}

bool KWinRoute::LoadResident(int budgetMs) {
    {
        std::lock_guard lock(mutex_);
        reported_ = false;
        focused_.reset();
    }
    if (!Run(residentName_, Script(kResident), budgetMs))
        return false;
    std::lock_guard lock(mutex_);
    residentLoaded_ = true;
    awaitingFirst_ = true;
    return true;
}

void KWinRoute::Unload(const QString& name, bool wait) {
    QDBusMessage unload = QDBusMessage::createMethodCall(kKWin, kScriptingPath, kScripting,
                                                         QStringLiteral("unloadScript"));
    unload << name;
    if (wait)
        bus_.call(unload, QDBus::Block, kCallBudgetMs / 2);
    else
        bus_.send(unload);
}

std::optional<QString> KWinRoute::AskOnce(const QString& body, const QString& token) {
    const QDeadlineTimer deadline(kCallBudgetMs);
    {
        std::lock_guard lock(mutex_);
        if (owner_.isEmpty())
            return std::nullopt;
        awaited_ = token;
        answer_.reset();
    }
    const QString name = residentName_ + QStringLiteral("_") + token;
    std::optional<QString> answer;
    if (Run(name, body, Left(deadline))) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(Left(deadline)),
                          [&] { return answer_.has_value() || owner_.isEmpty(); });
        answer = std::move(answer_);
        answer_.reset();
        awaited_.clear();
        Unload(name, false);
    } else {
        std::lock_guard lock(mutex_);
        awaited_.clear();
    }
    QFile::remove(folder_.filePath(name + QStringLiteral(".js")));
    return answer;
}

std::optional<CompositorWindow> KWinRoute::Focused() {
    bool reload;
    {
        std::lock_guard lock(mutex_);
        reload = reloadWanted_ && !owner_.isEmpty();
        reloadWanted_ = false;
    }
    if (reload)
        LoadResident(kCallBudgetMs);
    std::unique_lock lock(mutex_);
    if (awaitingFirst_) {
        awaitingFirst_ = false;
        changed_.wait_for(lock, kFirstReportWait, [&] { return reported_ || owner_.isEmpty(); });
    }
    return focused_;
}

std::vector<CompositorWindow> KWinRoute::Windows() {
    const QString token = QString::number(++sequence_);
    QString body = Script(kList);
    body.prepend(QStringLiteral("const twToken = %1;\n").arg(Quote(token)));
    const std::optional<QString> answer = AskOnce(body, token);
    std::vector<CompositorWindow> windows;
    if (!answer)
        return windows;
    const QJsonArray list = QJsonDocument::fromJson(answer->toUtf8()).array();
    std::lock_guard lock(mutex_);
    for (const QJsonValue& value : list)
        if (std::optional<CompositorWindow> window = Parse(value.toObject()))
            windows.push_back(std::move(*window));
    return windows;
}

bool KWinRoute::Close(uint64_t id) {
    QString internalId;
    {
        std::lock_guard lock(mutex_);
        const auto found = internalIds_.find(id);
        if (found == internalIds_.end())
            return false;
        internalId = found->second;
    }
    const QString token = QString::number(++sequence_);
    QString body = Script(kClose);
    body.prepend(QStringLiteral("const twToken = %1;\nconst twTarget = %2;\n")
                     .arg(Quote(token), Quote(internalId)));
    return AskOnce(body, token) == QStringLiteral("closed");
}

bool KWinRoute::FromKWin(const QString& sender) {
    std::lock_guard lock(mutex_);
    return !owner_.isEmpty() && sender == owner_;
}

void KWinRoute::Activated(const QString& json) {
    std::lock_guard lock(mutex_);
    focused_ = Parse(QJsonDocument::fromJson(json.toUtf8()).object());
    reported_ = true;
    changed_.notify_all();
}

void KWinRoute::Answered(const QString& token, const QString& json) {
    std::lock_guard lock(mutex_);
    if (awaited_.isEmpty() || token != awaited_)
        return;
    answer_ = json;
    changed_.notify_all();
}

void KWinRoute::OwnerChanged(const QString& owner) {
    std::lock_guard lock(mutex_);
    owner_ = owner;
    residentLoaded_ = false;
    reported_ = false;
    awaitingFirst_ = false;
    focused_.reset();
    // A KWin that came back gets the resident script at the next Focused.
    reloadWanted_ = !owner.isEmpty();
    changed_.notify_all();
}

uint64_t KWinRoute::Number(const QString& internalId) {
    const auto [at, added] = numbers_.try_emplace(internalId, numbers_.size() + 1);
    if (added)
        internalIds_.emplace(at->second, internalId);
    return at->second;
}

std::optional<CompositorWindow> KWinRoute::Parse(const QJsonObject& object) {
    const QString internalId = object.value(QStringLiteral("id")).toString();
    if (internalId.isEmpty())
        return std::nullopt;
    CompositorWindow window;
    window.id = Number(internalId);
    const double pid = object.value(QStringLiteral("pid")).toDouble();
    window.pid = pid > 0 && pid <= 0xffffffff ? uint32_t(pid) : 0;
    window.appId = object.value(QStringLiteral("appId")).toString().toStdString();
    window.title = object.value(QStringLiteral("title")).toString().toStdString();
    window.xwayland = object.value(QStringLiteral("xwayland")).toBool();
    return window;
}

}  // namespace tw

#include "KWinRoute.moc"
