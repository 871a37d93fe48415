#pragma once

#include <QDBusConnection>
#include <QString>
#include <QTemporaryDir>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/linux/CompositorRoute.h"

class QJsonObject;

// KDE's compositor, through its scripting service: KWin runs small scripts
// that the route writes, and those report back by calling the route on the
// session bus.
//
// A resident script reports the active window when it starts and on every
// activation (and title change of the active window); Focused() answers the
// last report without asking. Windows() and Close() each run a one-shot
// script and wait for its answer. KWin names windows by a UUID; the route
// hands out its own numbers for them, stable for the route's life.
//
// The route owns a bus connection of its own, whose calls are served on
// Qt's D-Bus thread, so it works without an event loop in the caller. Only
// calls from the current owner of org.kde.KWin are taken. Written for KWin
// 5.27; the names KWin 6 gave the same things are used where they exist.
namespace tw {

class KWinReceiver;

class KWinRoute final : public CompositorRoute {
public:
    // Null unless KWin is on the bus at `busAddress` (empty: the session
    // bus) and takes the resident script within about a second.
    static std::unique_ptr<KWinRoute> Open(const QString& busAddress = {});
    ~KWinRoute() override;
    KWinRoute(const KWinRoute&) = delete;
    KWinRoute& operator=(const KWinRoute&) = delete;

    const char* Name() const override { return "kwin"; }
    // The first call waits up to half a second for the resident script's
    // first report. When KWin left the bus: nullopt; when it came back, the
    // script is loaded into the new one.
    std::optional<CompositorWindow> Focused() override;
    // Waits up to about a second for the one-shot script's list.
    std::vector<CompositorWindow> Windows() override;
    // False for a number this route never handed out, or when KWin did not
    // find the window or did not answer within about a second.
    bool Close(uint64_t id) override;

private:
    friend class KWinReceiver;

    KWinRoute() = default;
    // The script's text around `body`: where to report and how to describe a window.
    QString Script(const char* body) const;
    // Writes, loads and runs one script under `name`; false when KWin refused.
    bool Run(const QString& name, const QString& text, int budgetMs);
    bool LoadResident(int budgetMs);
    void Unload(const QString& name, bool wait);
    // Runs a one-shot script whose answer arrives under `token`.
    std::optional<QString> AskOnce(const QString& text, const QString& token);

    // The receiver's side, on the route's thread.
    void Activated(const QString& json);
    void Answered(const QString& token, const QString& json);
    void OwnerChanged(const QString& owner);
    bool FromKWin(const QString& sender);

    // The route's number for KWin's id of a window; under mutex_.
    uint64_t Number(const QString& internalId);
    std::optional<CompositorWindow> Parse(const QJsonObject& object);

    QString connectionName_;
    QDBusConnection bus_{QString()};
    QTemporaryDir folder_;
    KWinReceiver* receiver_ = nullptr;
    QString residentName_;
    // Where KWin serves a loaded script: KWin 5 and 6 differ.
    bool scriptUnderScripting_ = false;
    int sequence_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    QString owner_;  // KWin's unique name; empty while it is gone
    bool residentLoaded_ = false;
    bool reported_ = false;       // the resident script reported since it was loaded
    bool awaitingFirst_ = false;  // no Focused call waited for that report yet
    bool reloadWanted_ = false;   // KWin came back and lacks the resident script
    std::optional<CompositorWindow> focused_;
    QString awaited_;  // the token of the one-shot answer waited for
    std::optional<QString> answer_;
    std::map<QString, uint64_t> numbers_;
    std::map<uint64_t, QString> internalIds_;
};

}  // namespace tw
