#include "platform/linux/X11Foreground.h"

#include <X11/Xlib.h>

namespace tw {

namespace {

// Source indication of EWMH client messages: 2 is a pager, acting for the user.
constexpr long kSourcePager = 2;
constexpr long kNetWmStateAdd = 1;

void SendToRoot(Display* display, Window window, const char* type, long l0, long l1, long l2,
                long l3) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.format = 32;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, type, False);
    event.xclient.data.l[0] = l0;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

}  // namespace

bool RequestForeground(unsigned long window, const std::string& displayName) {
    // A connection of its own: the toolkit's is not reachable from here,
    // and one request per reminder costs nothing worth sharing.
    Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
    if (display == nullptr)
        return false;
    SendToRoot(display, window, "_NET_ACTIVE_WINDOW", kSourcePager, CurrentTime, 0, 0);
    const Atom above = XInternAtom(display, "_NET_WM_STATE_ABOVE", False);
    SendToRoot(display, window, "_NET_WM_STATE", kNetWmStateAdd, long(above), 0, kSourcePager);
    XSync(display, False);
    XCloseDisplay(display);
    return true;
}

}  // namespace tw
