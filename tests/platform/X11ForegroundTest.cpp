// The foreground request against a private Xvfb on which this test plays
// the window manager: it receives what a manager would be asked.
#include "platform/linux/X11Foreground.h"

#include <gtest/gtest.h>

// After GoogleTest: Xlib defines macros such as None and Bool.
#include <X11/Xlib.h>

#include <string>
#include <vector>

#include "e2e/XvfbServer.h"

namespace tw {
namespace {

TEST(X11ForegroundTest, AsksTheManagerAsAPagerToActivateAndKeepAbove) {
    test::XvfbServer server;
    if (server.Display().empty())
        GTEST_SKIP() << "Xvfb could not be started";
    Display* manager = XOpenDisplay(server.Display().c_str());
    ASSERT_NE(manager, nullptr);
    const Window root = DefaultRootWindow(manager);
    XSelectInput(manager, root, SubstructureRedirectMask);
    const Window window = XCreateSimpleWindow(manager, root, 0, 0, 100, 100, 0, 0, 0);
    XSync(manager, False);

    ASSERT_TRUE(RequestForeground(window, server.Display()));
    // The request synchronised: its messages came before this round trip's answer.
    XSync(manager, False);
    std::vector<XClientMessageEvent> messages;
    while (XPending(manager) > 0) {
        XEvent event;
        XNextEvent(manager, &event);
        if (event.type == ClientMessage)
            messages.push_back(event.xclient);
    }
    ASSERT_EQ(messages.size(), 2U);
    const auto name = [&](Atom atom) {
        char* text = XGetAtomName(manager, atom);
        const std::string result = text != nullptr ? text : "";
        XFree(text);
        return result;
    };
    for (const XClientMessageEvent& m : messages) {
        EXPECT_EQ(m.window, window);
        EXPECT_EQ(m.format, 32);
    }
    EXPECT_EQ(name(messages[0].message_type), "_NET_ACTIVE_WINDOW");
    EXPECT_EQ(messages[0].data.l[0], 2);  // a pager
    EXPECT_EQ(name(messages[1].message_type), "_NET_WM_STATE");
    EXPECT_EQ(messages[1].data.l[0], 1);  // add
    EXPECT_EQ(name(Atom(messages[1].data.l[1])), "_NET_WM_STATE_ABOVE");
    EXPECT_EQ(messages[1].data.l[3], 2);
    XCloseDisplay(manager);
}

}  // namespace
}  // namespace tw
