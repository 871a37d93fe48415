#pragma once

class QWidget;

// Keeps a window out of the task bar and the pager (the task switcher) on
// X11: each time it is shown, _NET_WM_STATE_SKIP_TASKBAR and
// _NET_WM_STATE_SKIP_PAGER are on the window before it is mapped, which is
// when the window manager reads them. Qt sets neither for a tool window, and
// the window manager drops them whenever the window is hidden. Elsewhere it
// does nothing.
namespace tw {

void KeepOffTaskBar(QWidget& window);

}  // namespace tw
