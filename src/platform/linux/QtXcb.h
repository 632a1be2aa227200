#pragma once

// The X connection Qt runs on, for the few requests Qt has no API for (window-manager states,
// key grabs, selections). Header-only, so that the desktop widget shares it without the core.

#include <QtGui/qguiapplication_platform.h>
#include <QGuiApplication>

#include <xcb/xcb.h>

namespace tw {

// Null when Qt does not run on X (Wayland, offscreen) or there is no GUI application.
inline xcb_connection_t* qtXcbConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// The root window of the connection's first screen; XCB_WINDOW_NONE when it has none.
inline xcb_window_t xcbDefaultRoot(xcb_connection_t* c) {
    const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    return it.rem ? it.data->root : xcb_window_t(XCB_WINDOW_NONE);
}

}  // namespace tw
