#pragma once

#include <QDBusConnection>
#include <memory>

#include "platform/linux/CompositorRoute.h"

// GNOME Shell tells nothing about its windows to an ordinary application, so
// Tallyward ships a small shell extension (packaging/gnome-shell-extension)
// that answers on the session bus; this route asks it. Every call blocks at
// most half a second and needs no event loop. The extension's FocusChanged
// signal is not used: the desktop asks for the focus when it needs it.
namespace tw {

class GnomeShellRoute final : public CompositorRoute {
public:
    // Null when the extension does not run in this session (no owner of its
    // bus name), or the bus did not answer.
    static std::unique_ptr<GnomeShellRoute> Open(QDBusConnection bus);

    const char* Name() const override { return "gnome-extension"; }
    std::optional<CompositorWindow> Focused() override;
    std::vector<CompositorWindow> Windows() override;
    bool Close(uint64_t id) override;

private:
    explicit GnomeShellRoute(QDBusConnection bus) : bus_(std::move(bus)) {}

    QDBusConnection bus_;
};

}  // namespace tw
