#include "control/TaskBarState.h"

#include <qguiapplication_platform.h>
#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QWidget>

// Xlib's macros would spoil Qt's headers: it comes last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace tw {

namespace {

// Adds the two states to the window's _NET_WM_STATE, keeping what is there.
void AddSkipStates(Display* display, ::Window window) {
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    const Atom wanted[] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                           XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool present[2] = {false, false};
    if (XGetWindowProperty(display, window, state, 0, 1024, False, XA_ATOM, &type, &format, &count,
                           &after, &data) == Success &&
        data != nullptr) {
        if (type == XA_ATOM && format == 32) {
            const auto* atoms = reinterpret_cast<const unsigned long*>(data);
            for (unsigned long i = 0; i < count; ++i)
                for (int k = 0; k < 2; ++k)
                    present[k] = present[k] || atoms[i] == wanted[k];
        }
        XFree(data);
    }
    for (int k = 0; k < 2; ++k) {
        if (present[k])
            continue;
        unsigned long atom = wanted[k];
        XChangeProperty(display, window, state, XA_ATOM, 32, PropModeAppend,
                        reinterpret_cast<unsigned char*>(&atom), 1);
    }
    XFlush(display);
}

// The show event comes before the window is mapped.
class SkipStatesOnShow final : public QObject {
public:
    SkipStatesOnShow(QWidget& window, Display* display)
        : QObject(&window), window_(window), display_(display) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Show && window_.isWindow())
            AddSkipStates(display_, ::Window(window_.winId()));
        return false;
    }

private:
    QWidget& window_;
    Display* display_;
};

}  // namespace

void KeepOffTaskBar(QWidget& window) {
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr)
        return;
    window.installEventFilter(new SkipStatesOnShow(window, x11->display()));
}

}  // namespace tw
