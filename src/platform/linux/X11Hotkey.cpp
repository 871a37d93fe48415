#include "platform/linux/X11Hotkey.h"

#include <QSocketNotifier>

#include "base/WriteLog.h"

// After Qt: Xlib defines macros such as Status and Bool.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

namespace tw {

namespace {

// Errors of the selection at start, counted instead of ending the program.
int selectErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++selectErrors;
    return 0;
}

}  // namespace

X11HotkeySource::X11HotkeySource(std::string displayName) : displayName_(std::move(displayName)) {}

X11HotkeySource::~X11HotkeySource() {
    Stop();
}

bool X11HotkeySource::Start(std::function<void()> onAltTap) {
    Stop();
    display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
    if (!display_) {
        WriteLog("X11HotkeySource.Start: no X display; the Alt hot key is off");
        return false;
    }
    int event = 0, error = 0, major = 2, minor = 2;
    if (!XQueryExtension(display_, "XInputExtension", &xinputOpcode_, &event, &error) ||
        XIQueryVersion(display_, &major, &minor) != Success || major < 2) {
        WriteLog("X11HotkeySource.Start: the X server has no XInput 2; the Alt hot key is off");
        Stop();
        return false;
    }
    // Raw events come whoever holds the keyboard, and listening takes nothing from anyone.
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawKeyPress);
    XISetMask(bits, XI_RawKeyRelease);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits};
    selectErrors = 0;
    const XErrorHandler previous = XSetErrorHandler(&CountError);
    XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
    XSync(display_, False);
    XSetErrorHandler(previous);
    if (selectErrors != 0) {
        WriteLog("X11HotkeySource.Start: raw key events were refused; the Alt hot key is off");
        Stop();
        return false;
    }
    onAltTap_ = std::move(onAltTap);
    notifier_ =
        std::make_unique<QSocketNotifier>(ConnectionNumber(display_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { HandleEvents(); });
    // Events read along with the answers above wait in Xlib's queue, not on the socket.
    HandleEvents();
    return true;
}

void X11HotkeySource::Stop() {
    notifier_.reset();
    onAltTap_ = nullptr;
    if (display_) {
        XCloseDisplay(display_);
        display_ = nullptr;
    }
}

void X11HotkeySource::Sync() {
    if (!display_)
        return;
    XSync(display_, False);
    HandleEvents();
}

void X11HotkeySource::HandleEvents() {
    while (display_ && XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        XGenericEventCookie& cookie = event.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != xinputOpcode_ ||
            !XGetEventData(display_, &cookie))
            continue;
        bool tap = false;
        if (cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
            // The key's first symbol: what the key is, whatever the modifiers make of it.
            const KeySym keysym = XkbKeycodeToKeysym(display_, KeyCode(raw->detail), 0, 0);
            tap = recognizer_.Key(uint32_t(keysym), cookie.evtype == XI_RawKeyPress);
        }
        XFreeEventData(display_, &cookie);
        if (tap && onAltTap_) {
            // A copy: the handler may stop the source, which lets go of its own.
            const std::function<void()> handler = onAltTap_;
            handler();
        }
    }
}

}  // namespace tw
