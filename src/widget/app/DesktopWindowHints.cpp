#include "widget/app/DesktopWindowHints.h"

#include "support/QtXcb.h"
#include "support/XcbAtom.h"

#include <QWindow>
#include <vector>

#include <xcb/xcb.h>

namespace tw {

void applyDesktopWindowHints(QWindow& window) {
    xcb_connection_t* c = qtXcbConnection();
    if (!c) return;
    const auto id = static_cast<xcb_window_t>(window.winId());

    const uint32_t allDesktops = 0xFFFFFFFF;
    const xcb_atom_t desktop = internAtom(c, "_NET_WM_DESKTOP");
    if (desktop != XCB_ATOM_NONE) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, desktop, XCB_ATOM_CARDINAL, 32, 1,
                            &allDesktops);
    }

    // Qt adds its own states (below, from the stay-on-bottom hint) to what is already there.
    const xcb_atom_t state = internAtom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states;
    for (const char* name : {"_NET_WM_STATE_STICKY", "_NET_WM_STATE_SKIP_TASKBAR",
                             "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_BELOW"}) {
        const xcb_atom_t a = internAtom(c, name);
        if (a != XCB_ATOM_NONE) states.push_back(a);
    }
    if (state != XCB_ATOM_NONE && !states.empty()) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32,
                            static_cast<uint32_t>(states.size()), states.data());
    }
    xcb_flush(c);
}

}  // namespace tw
