// The tray icon as the panel uses it: which activations count as the left
// click, the hidden Exit, and what the notification area is given.
#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>

#include "control/TrayIcon.h"
#include "ui/UiTestSupport.h"

namespace tw {
namespace {

using TrayIconTest = test::UiTest;

TEST_F(TrayIconTest, OnlyAPlainClickReachesThePanelAndExitIsHidden) {
    TTrayIcon tray;
    int clicks = 0, exits = 0;
    tray.onLeftClick = [&] { ++clicks; };
    tray.onExit = [&] { ++exits; };

    const struct {
        QSystemTrayIcon::ActivationReason reason;
        int clicks;
    } cases[] = {{QSystemTrayIcon::Trigger, 1},
                 {QSystemTrayIcon::Context, 0},
                 {QSystemTrayIcon::DoubleClick, 0},
                 {QSystemTrayIcon::MiddleClick, 0}};
    for (const auto& c : cases) {
        clicks = 0;
        emit tray.Icon().activated(c.reason);
        EXPECT_EQ(clicks, c.clicks) << int(c.reason);
    }
    EXPECT_EQ(exits, 0);

    EXPECT_EQ(tray.Icon().toolTip(), QStringLiteral("Tallyward"));
    EXPECT_FALSE(tray.Icon().icon().isNull());
    ASSERT_EQ(tray.Icon().contextMenu(), tray.pmnTray);
    ASSERT_EQ(tray.pmnTray->actions().size(), 1);
    EXPECT_EQ(tray.pmnTray->actions().front(), tray.actExit);
    EXPECT_EQ(tray.actExit->text(), QStringLiteral("&Exit"));
    EXPECT_FALSE(tray.actExit->isVisible()) << "the user is offered no way out";
    tray.actExit->trigger();
    EXPECT_EQ(exits, 1);
    EXPECT_EQ(clicks, 0);
}

}  // namespace
}  // namespace tw
