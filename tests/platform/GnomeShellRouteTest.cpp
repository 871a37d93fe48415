#include "platform/linux/GnomeShellRoute.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QThread>
#include <chrono>
#include <mutex>

#include "platform/PrivateBus.h"

// The route against a stand-in for the shell extension on a private bus.
namespace {

struct FakeWindow {
    qulonglong id = 0;
    uint pid = 0;
    QString wmClass;
    bool xwayland = false;
    QString title;
};

QDBusArgument& operator<<(QDBusArgument& a, const FakeWindow& w) {
    a.beginStructure();
    a << w.id << w.pid << w.wmClass << w.xwayland << w.title;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, FakeWindow& w) {
    a.beginStructure();
    a >> w.id >> w.pid >> w.wmClass >> w.xwayland >> w.title;
    a.endStructure();
    return a;
}

}  // namespace

Q_DECLARE_METATYPE(FakeWindow)

namespace tw {
namespace {

const QString kName = QStringLiteral("org.tallyward.Focus");
const QString kPath = QStringLiteral("/org/tallyward/Focus");

enum class Answer { kRight, kWrongTypes, kNever };

// The extension's object: answers from its window list, on a thread of its
// own so the route's blocking calls do not wait on themselves.
class FakeExtension final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard guard(lock_);
        const QString method = message.member();
        calls_ += method.toStdString() + " ";
        if (method == QLatin1String("Close"))
            calls_ += std::to_string(message.arguments().value(0).toULongLong()) + " ";
        if (answer_ == Answer::kNever)
            return true;
        QVariantList out;
        if (answer_ == Answer::kWrongTypes) {
            // Right names, other types: what another program on the name could send.
            out = {QString(), QString()};
        } else if (method == QLatin1String("GetFocus")) {
            FakeWindow f;
            for (const FakeWindow& w : windows_)
                if (w.id == focus_)
                    f = w;
            out = {f.id, f.pid, f.wmClass, f.title, f.xwayland};
        } else if (method == QLatin1String("ListWindows")) {
            out = {QVariant::fromValue(windows_)};
        } else if (method == QLatin1String("Close")) {
            const qulonglong id = message.arguments().value(0).toULongLong();
            bool found = false;
            for (const FakeWindow& w : windows_)
                found = found || w.id == id;
            out = {found};
        }
        QDBusMessage reply = message.createReply(out);
        connection.send(reply);
        return true;
    }

    void Set(Answer answer, QList<FakeWindow> windows, qulonglong focus) {
        std::lock_guard guard(lock_);
        answer_ = answer;
        windows_ = std::move(windows);
        focus_ = focus;
        calls_.clear();
    }
    std::string Calls() {
        std::lock_guard guard(lock_);
        return calls_;
    }

private:
    std::mutex lock_;
    Answer answer_ = Answer::kRight;
    QList<FakeWindow> windows_;
    qulonglong focus_ = 0;
    std::string calls_;
};

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "GnomeShellRouteTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

const FakeWindow kEditor{0x100000007ull, 4242, QStringLiteral("org.gnome.TextEditor"), false,
                         QStringLiteral("Notes — Text Editor")};
const FakeWindow kTerm{0x1a00004ull, 777, QStringLiteral("XTerm"), true, QStringLiteral("xterm")};

CompositorWindow Expected(const FakeWindow& w) {
    return {w.id, w.pid, w.wmClass.toStdString(), w.title.toStdString(), w.xwayland};
}

class GnomeShellRouteTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        App();
        qDBusRegisterMetaType<FakeWindow>();
        qDBusRegisterMetaType<QList<FakeWindow>>();
    }

    void SetUp() override {
        if (bus_.Address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not be started";
        fake_.moveToThread(&thread_);
        thread_.start();
        service_.emplace(QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("ext")));
        client_.emplace(QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("client")));
        ASSERT_TRUE(service_->isConnected() && client_->isConnected());
        ASSERT_TRUE(service_->registerVirtualObject(kPath, &fake_));
    }
    void TearDown() override {
        if (service_)
            service_->unregisterObject(kPath);
        service_.reset();
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("ext"));
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        thread_.quit();
        thread_.wait();
    }

    test::PrivateBus bus_;
    FakeExtension fake_;
    QThread thread_;
    std::optional<QDBusConnection> service_;
    std::optional<QDBusConnection> client_;
};

TEST_F(GnomeShellRouteTest, ReadsTheExtensionsAnswersAndSurvivesItsFaults) {
    // Without the extension in the session there is no route.
    EXPECT_EQ(GnomeShellRoute::Open(*client_), nullptr);
    ASSERT_TRUE(service_->registerService(kName));
    const auto route = GnomeShellRoute::Open(*client_);
    ASSERT_NE(route, nullptr);
    EXPECT_STREQ(route->Name(), "gnome-extension");

    using Windows = std::vector<CompositorWindow>;
    const Windows both{Expected(kEditor), Expected(kTerm)};
    const struct {
        const char* name;
        Answer answer;
        qulonglong focus;
        std::optional<CompositorWindow> focused;
        Windows windows;
        bool closed;  // Close(kTerm.id)
    } cases[] = {
        {"native focused", Answer::kRight, kEditor.id, Expected(kEditor), both, true},
        {"xwayland focused", Answer::kRight, kTerm.id, Expected(kTerm), both, true},
        // Id 0: the overview or a panel has the focus.
        {"none focused", Answer::kRight, 0, std::nullopt, both, true},
        {"wrong types", Answer::kWrongTypes, kEditor.id, std::nullopt, {}, false},
        {"hung", Answer::kNever, kEditor.id, std::nullopt, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake_.Set(c.answer, {kEditor, kTerm}, c.focus);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(route->Focused(), c.focused);
        EXPECT_EQ(route->Windows(), c.windows);
        EXPECT_EQ(route->Close(kTerm.id), c.closed);
        // Three calls to a hung shell take three short time-outs, not D-Bus's 25 s each.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(fake_.Calls(), "GetFocus ListWindows Close " + std::to_string(kTerm.id) + " ");
    }

    fake_.Set(Answer::kRight, {kEditor}, kEditor.id);
    EXPECT_FALSE(route->Close(kTerm.id));
    EXPECT_TRUE(route->Close(kEditor.id));
    EXPECT_EQ(fake_.Calls(),
              "Close " + std::to_string(kTerm.id) + " Close " + std::to_string(kEditor.id) + " ");

    // The shell restarted without the extension.
    fake_.Set(Answer::kRight, {kEditor}, kEditor.id);
    ASSERT_TRUE(service_->unregisterService(kName));
    EXPECT_EQ(route->Focused(), std::nullopt);
    EXPECT_EQ(route->Windows(), Windows{});
    EXPECT_FALSE(route->Close(kEditor.id));
    EXPECT_EQ(fake_.Calls(), "");
}

}  // namespace
}  // namespace tw
