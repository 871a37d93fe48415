#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The program's icon in the notification area: tip "Tallyward", the
// program's picture, and a menu whose only item, Exit, is hidden. What a
// click does is the panel's business; it sets the hooks.
//
// A desktop may have no notification area (yet): on X11 the icon docks by
// itself as soon as a tray host takes the tray selection, and leaves when
// the host goes away. The panel hears of both through onAvailabilityChanged
// and changes how it minimises.
namespace tw {

class TTrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit TTrayIcon(QObject* parent = nullptr);
    // Removes the icon from the notification area.
    ~TTrayIcon() override;

    // Whether a notification area exists now.
    bool Available() const;

    // A left click on the icon.
    std::function<void()> onLeftClick;
    // The menu's Exit.
    std::function<void()> onExit;
    // A notification area appeared (true) or went away (false).
    std::function<void(bool available)> onAvailabilityChanged;

    QSystemTrayIcon& Icon() noexcept { return *icon_; }
    QMenu* pmnTray = nullptr;
    QAction* actExit = nullptr;

private Q_SLOTS:
    void CheckAvailability();

private:
    std::unique_ptr<QMenu> menu_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    // Only where the platform does not announce tray hosts.
    QTimer* poll_ = nullptr;
    bool available_ = false;
};

}  // namespace tw
