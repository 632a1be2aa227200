#pragma once

// A compositing manager as the X server sees one, for the tests on the test desktop (which runs
// none): a client that owns _NET_WM_CM_S0. Closing its connection is the compositor exiting.

#include <cstdlib>

#include <xcb/xcb.h>

namespace tw::test {

class CompositorSelection {
public:
    CompositorSelection() : c_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(c_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        const xcb_window_t window = xcb_generate_id(c_);
        xcb_create_window(c_, XCB_COPY_FROM_PARENT, window, screen->root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        static const char name[] = "_NET_WM_CM_S0";
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr);
        if (!atom) return;
        xcb_set_selection_owner(c_, window, atom->atom, XCB_CURRENT_TIME);
        std::free(atom);
        xcb_flush(c_);
    }
    ~CompositorSelection() { xcb_disconnect(c_); }

private:
    xcb_connection_t* c_;
};

}  // namespace tw::test
