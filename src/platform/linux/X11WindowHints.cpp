#include "platform/linux/X11WindowHints.h"

#include <QWindow>
#include <array>
#include <cstring>

#include <xcb/xcb.h>

#include "platform/linux/QtXcb.h"
#include "platform/linux/XcbAtom.h"

namespace tw {

namespace {

struct Atoms {
    xcb_atom_t wmState = XCB_ATOM_NONE;
    xcb_atom_t wmDesktop = XCB_ATOM_NONE;
    xcb_atom_t sticky = XCB_ATOM_NONE;
    xcb_atom_t skipTaskbar = XCB_ATOM_NONE;
    xcb_atom_t skipPager = XCB_ATOM_NONE;
    xcb_atom_t above = XCB_ATOM_NONE;
    xcb_atom_t below = XCB_ATOM_NONE;
};

// Looked up once per connection: every lookup is a round trip.
const Atoms& atoms(xcb_connection_t* c) {
    static xcb_connection_t* cachedFor = nullptr;
    static Atoms cached;
    if (cachedFor != c) {
        cached.wmState = internAtom(c, "_NET_WM_STATE");
        cached.wmDesktop = internAtom(c, "_NET_WM_DESKTOP");
        cached.sticky = internAtom(c, "_NET_WM_STATE_STICKY");
        cached.skipTaskbar = internAtom(c, "_NET_WM_STATE_SKIP_TASKBAR");
        cached.skipPager = internAtom(c, "_NET_WM_STATE_SKIP_PAGER");
        cached.above = internAtom(c, "_NET_WM_STATE_ABOVE");
        cached.below = internAtom(c, "_NET_WM_STATE_BELOW");
        cachedFor = c;
    }
    return cached;
}

void sendToRoot(xcb_connection_t* c, xcb_window_t window, xcb_atom_t type,
                std::array<uint32_t, 4> data) {
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = type;
    for (size_t i = 0; i < data.size(); ++i) ev.data.data32[i] = data[i];
    xcb_send_event(c, 0, xcbDefaultRoot(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&ev));
}

}  // namespace

void X11WindowHints::keepOnEveryWorkspace(QWindow& window, Layer layer) {
    xcb_connection_t* c = qtXcbConnection();
    if (!c) return;
    const Atoms& a = atoms(c);
    if (a.wmState == XCB_ATOM_NONE || a.wmDesktop == XCB_ATOM_NONE) return;
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t states[] = {a.sticky, a.skipTaskbar, a.skipPager,
                                 layer == Layer::above ? a.above : a.below};
    const uint32_t allDesktops = 0xFFFFFFFF;
    if (!window.isVisible()) {
        // Before mapping the window manager reads the properties; Qt's own states stay.
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, a.wmState, XCB_ATOM_ATOM, 32, 4, states);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, a.wmDesktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    } else {
        // Once mapped the window manager is asked (_NET_WM_STATE_ADD, from an application).
        for (const xcb_atom_t state : states) sendToRoot(c, id, a.wmState, {1, state, 0, 1});
        sendToRoot(c, id, a.wmDesktop, {allDesktops, 1, 0, 0});
    }
    xcb_flush(c);
}

}  // namespace tw
