#pragma once

class QWindow;

namespace tw {

// Asks the X11 window manager to keep `window` on every workspace and out of the taskbar and the
// pager (_NET_WM_DESKTOP 0xFFFFFFFF, _NET_WM_STATE sticky, skip-taskbar, skip-pager, below). Call
// before the window is first shown; the window manager reads these when it maps the window. Does
// nothing on other window systems.
void applyDesktopWindowHints(QWindow& window);

}  // namespace tw
