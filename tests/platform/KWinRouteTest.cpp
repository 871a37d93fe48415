#include "platform/linux/KWinRoute.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/PrivateBus.h"
#include "support/TestSupport.h"

// A KWin of the test's own on a private bus. Its scripting service "runs" a
// loaded script the way KWin would for the route's three kinds of script:
// it tells them apart by the names they use, reads the constants the route
// put at their top and calls the route back with what it has. No
// application object exists, as in the probe.
namespace tw {
namespace {

using namespace std::chrono_literals;

struct FakeWindow {
    QString id;
    int pid;
    QString resourceClass;
    QString caption;
    bool x11;
};

class FakeKWin final : public QDBusVirtualObject {
public:
    // `answers` false: a hung KWin that takes calls and never replies.
    FakeKWin(const QString& address, std::vector<FakeWindow> windows, bool answers = true)
        : bus_(QDBusConnection::connectToBus(address, QStringLiteral("fake-kwin%1").arg(++count_))),
          windows_(std::move(windows)),
          answers_(answers) {
        registered_ =
            bus_.registerVirtualObject(QStringLiteral("/"), this, QDBusConnection::SubPath) &&
            bus_.registerService(QStringLiteral("org.kde.KWin"));
        // Served on Qt's D-Bus thread: the test's own thread runs no loop.
        moveToThread(bus_.interface()->thread());
    }
    ~FakeKWin() override {
        bus_.unregisterService(QStringLiteral("org.kde.KWin"));
        bus_.unregisterObject(QStringLiteral("/"), QDBusConnection::UnregisterTree);
        QThread* here = QThread::currentThread();
        QMetaObject::invokeMethod(
            this, [this, here] { moveToThread(here); }, Qt::BlockingQueuedConnection);
        QDBusConnection::disconnectFromBus(bus_.name());
    }
    bool Registered() const { return registered_; }

    // Activates window `index` (-1: none), as a click would.
    void Activate(int index) {
        std::lock_guard lock(mutex_);
        active_ = index;
        if (!resident_.isEmpty())
            Call(resident_, "Activated", {ActiveJson()});
    }
    // The names of the loaded scripts, the count of loadScript calls, the
    // closed windows' ids and the modes of the script files when read.
    std::set<QString> Loaded() {
        std::lock_guard lock(mutex_);
        std::set<QString> names;
        for (const auto& [id, script] : scripts_)
            names.insert(script.name);
        return names;
    }
    int Loads() {
        std::lock_guard lock(mutex_);
        return loads_;
    }
    std::vector<QString> Closed() {
        std::lock_guard lock(mutex_);
        return closed_;
    }
    std::set<unsigned> Modes() {
        std::lock_guard lock(mutex_);
        return modes_;
    }
    // The route's bus name, as its resident script names it.
    QString RouteService() {
        std::lock_guard lock(mutex_);
        return Constants(scriptTexts_[resident_]).at(QStringLiteral("twService"));
    }
    // Calls the route's object from a connection that is not KWin.
    static void Impostor(const QString& address, const QString& service, const QString& json) {
        QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("impostor"));
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, QStringLiteral("/org/tallyward/KWin"), QStringLiteral("org.tallyward.KWin"),
            QStringLiteral("Activated"));
        call << json;
        bus.call(call, QDBus::Block, 5000);
        QDBusConnection::disconnectFromBus(QStringLiteral("impostor"));
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard lock(mutex_);
        if (!answers_)
            return true;
        const QString member = message.member();
        const QVariantList args = message.arguments();
        QDBusMessage reply = message.createReply();
        if (member == QStringLiteral("loadScript") && args.size() == 2) {
            ++loads_;
            int id = -1;
            if (Loaded(args[1].toString()) < 0) {
                id = next_++;
                scripts_[id] = {args[0].toString(), args[1].toString()};
            }
            reply << id;
        } else if (member == QStringLiteral("unloadScript") && args.size() == 1) {
            const int id = Loaded(args[0].toString());
            scripts_.erase(id);
            if (resident_ == args[0].toString())
                resident_.clear();
            reply << (id >= 0);
        } else if (member == QStringLiteral("run") &&
                   message.interface() == QStringLiteral("org.kde.kwin.Script") &&
                   scripts_.count(message.path().mid(1).toInt()) &&
                   message.path() != QStringLiteral("/Scripting")) {
            connection.send(reply);
            Run(scripts_[message.path().mid(1).toInt()]);
            return true;
        } else {
            reply = message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"), message.path());
        }
        connection.send(reply);
        return true;
    }

private:
    struct Script {
        QString path, name;
    };

    int Loaded(const QString& name) const {
        for (const auto& [id, script] : scripts_)
            if (script.name == name)
                return id;
        return -1;
    }
    static QJsonObject Json(const FakeWindow& w) {
        QJsonObject o{{QStringLiteral("id"), w.id},
                      {QStringLiteral("pid"), w.pid},
                      {QStringLiteral("appId"), w.resourceClass},
                      {QStringLiteral("title"), w.caption},
                      {QStringLiteral("xwayland"), w.x11}};
        return o;
    }
    QString ActiveJson() const {
        if (active_ < 0)
            return {};
        return QString::fromUtf8(
            QJsonDocument(Json(windows_[size_t(active_)])).toJson(QJsonDocument::Compact));
    }
    // The constants the route defines at the top of a script.
    static std::map<QString, QString> Constants(const QString& text) {
        std::map<QString, QString> constants;
        static const QRegularExpression line(QStringLiteral("^const (\\w+) = (\"[^\\n]*\");$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = line.globalMatch(text); it.hasNext();) {
            const auto match = it.next();
            constants[match.captured(1)] =
                QJsonDocument::fromJson(
                    (QLatin1Char('[') + match.captured(2) + QLatin1Char(']')).toUtf8())
                    .array()
                    .at(0)
                    .toString();
        }
        return constants;
    }
    void Call(const QString& script, const char* method, const QVariantList& args) {
        const auto constants = Constants(scriptTexts_[script]);
        QDBusMessage call = QDBusMessage::createMethodCall(
            constants.at(QStringLiteral("twService")), constants.at(QStringLiteral("twPath")),
            constants.at(QStringLiteral("twInterface")), QString::fromLatin1(method));
        call.setArguments(args);
        bus_.send(call);
    }
    void Run(const Script& script) {
        struct stat info {};
        if (stat(script.path.toLocal8Bit().constData(), &info) == 0)
            modes_.insert(info.st_mode & 07777);
        QFile file(script.path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QString text = QString::fromUtf8(file.readAll());
        scriptTexts_[script.name] = text;
        const auto constants = Constants(text);
        if (text.contains(QStringLiteral("clientActivated.connect"))) {
            resident_ = script.name;
            Call(script.name, "Activated", {ActiveJson()});
        } else if (constants.count(QStringLiteral("twTarget"))) {
            const QString target = constants.at(QStringLiteral("twTarget"));
            QString result = QStringLiteral("missing");
            for (auto it = windows_.begin(); it != windows_.end(); ++it)
                if (it->id == target) {
                    closed_.push_back(target);
                    windows_.erase(it);
                    result = QStringLiteral("closed");
                    break;
                }
            Call(script.name, "Answer", {constants.at(QStringLiteral("twToken")), result});
        } else if (constants.count(QStringLiteral("twToken"))) {
            QJsonArray list;
            for (const FakeWindow& w : windows_)
                list.append(Json(w));
            Call(script.name, "Answer",
                 {constants.at(QStringLiteral("twToken")),
                  QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))});
        }
    }

    static inline int count_ = 0;
    QDBusConnection bus_;
    bool registered_ = false;
    std::mutex mutex_;
    std::vector<FakeWindow> windows_;
    const bool answers_;
    int active_ = 0;
    int next_ = 0;
    int loads_ = 0;
    QString resident_;
    std::map<int, Script> scripts_;
    std::map<QString, QString> scriptTexts_;
    std::vector<QString> closed_;
    std::set<unsigned> modes_;
};

const std::vector<FakeWindow> kWindows = {
    {QStringLiteral("{0c1d-wayland}"), 4100, QStringLiteral("org.gnome.Calendar"),
     QStringLiteral("Week 12"), false},
    {QStringLiteral("{77aa-x11}"), 4200, QStringLiteral("XTerm"), QStringLiteral("shell"), true},
};

// Asks `what` until `done` holds for its answer, for up to ten seconds.
template <typename T>
T Poll(const std::function<T()>& what, const std::function<bool(const T&)>& done) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    T value = what();
    while (!done(value) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(1ms);
        value = what();
    }
    return value;
}

class KWinRouteTest : public testing::Test {
protected:
    void SetUp() override {
        if (bus_.Address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not be started";
    }
    std::optional<uint32_t> FocusedPid(KWinRoute& route) {
        const auto focused = route.Focused();
        return focused ? std::optional(focused->pid) : std::nullopt;
    }
    std::optional<uint32_t> WaitForFocus(KWinRoute& route, std::optional<uint32_t> pid) {
        return Poll<std::optional<uint32_t>>([&] { return FocusedPid(route); },
                                             [&](const auto& p) { return p == pid; });
    }

    test::PrivateBus bus_;
    test::CaseDeadline deadline_{60s};
};

TEST_F(KWinRouteTest, FollowsTheFocusListsAndClosesThroughKWinScripts) {
    auto kwin = std::make_unique<FakeKWin>(bus_.Address(), kWindows);
    ASSERT_TRUE(kwin->Registered());
    std::unique_ptr<KWinRoute> route = KWinRoute::Open(bus_.Address());
    ASSERT_NE(route, nullptr);
    EXPECT_STREQ(route->Name(), "kwin");

    // The first call waits for the resident script's report.
    const auto first = route->Focused();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(*first, (CompositorWindow{first->id, 4100, "org.gnome.Calendar", "Week 12", false}));
    EXPECT_NE(first->id, 0u);

    // Anyone else on the bus cannot tell the route what has the focus.
    FakeKWin::Impostor(bus_.Address(), kwin->RouteService(),
                       QStringLiteral(R"({"id":"{77aa-x11}","pid":4200})"));
    EXPECT_EQ(FocusedPid(*route), 4100u);

    kwin->Activate(1);
    EXPECT_EQ(WaitForFocus(*route, 4200u), 4200u);
    const auto second = route->Focused();
    ASSERT_TRUE(second.has_value());
    EXPECT_TRUE(second->xwayland);
    EXPECT_EQ(second->appId, "XTerm");
    kwin->Activate(-1);
    EXPECT_EQ(WaitForFocus(*route, std::nullopt), std::nullopt);

    // The list carries the same numbers the focus reports gave.
    const std::vector<CompositorWindow> windows = route->Windows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0], *first);
    EXPECT_EQ(windows[1], *second);

    const struct {
        uint64_t id;
        bool closes;
        size_t closed;  // windows KWin closed by then
        int loads;      // scripts loaded by then
    } cases[] = {
        {second->id + 100, false, 0, 2},  // never handed out: KWin is not asked
        {second->id, true, 1, 3},
        {second->id, false, 1, 4},  // already gone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(route->Close(c.id), c.closes) << c.id;
        EXPECT_EQ(kwin->Closed().size(), c.closed) << c.id;
        EXPECT_EQ(kwin->Loads(), c.loads) << c.id;
    }
    EXPECT_EQ(kwin->Closed().at(0), QStringLiteral("{77aa-x11}"));
    ASSERT_EQ(route->Windows().size(), 1u);

    // Every script was private to the user and is gone with the route.
    route.reset();
    EXPECT_EQ(kwin->Loaded(), std::set<QString>{});
    EXPECT_EQ(kwin->Modes(), std::set<unsigned>{0600});
}

TEST_F(KWinRouteTest, AHungOrMissingKWinNeitherOpensNorHolds) {
    const struct {
        const char* name;
        bool present, answers;
    } cases[] = {{"no KWin", false, false}, {"hung KWin", true, false}};
    for (const auto& c : cases) {
        std::unique_ptr<FakeKWin> kwin;
        if (c.present)
            kwin = std::make_unique<FakeKWin>(bus_.Address(), kWindows, c.answers);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(KWinRoute::Open(bus_.Address()), nullptr) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << c.name;
    }
}

TEST_F(KWinRouteTest, KWinLeavingEmptiesTheAnswersAndKWinComingBackGetsTheScript) {
    auto kwin = std::make_unique<FakeKWin>(bus_.Address(), kWindows);
    ASSERT_TRUE(kwin->Registered());
    std::unique_ptr<KWinRoute> route = KWinRoute::Open(bus_.Address());
    ASSERT_NE(route, nullptr);
    const auto first = route->Focused();
    ASSERT_TRUE(first.has_value());

    kwin.reset();
    EXPECT_EQ(WaitForFocus(*route, std::nullopt), std::nullopt);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(route->Windows(), std::vector<CompositorWindow>{});
    EXPECT_FALSE(route->Close(first->id));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);

    std::vector<FakeWindow> windows = kWindows;
    std::swap(windows[0], windows[1]);
    kwin = std::make_unique<FakeKWin>(bus_.Address(), windows);
    ASSERT_TRUE(kwin->Registered());
    EXPECT_EQ(WaitForFocus(*route, 4200u), 4200u);
    EXPECT_EQ(kwin->Loaded().size(), 1u);
    // A window keeps its number across KWin's return.
    EXPECT_EQ(route->Windows().at(1).id, first->id);
}

}  // namespace
}  // namespace tw
