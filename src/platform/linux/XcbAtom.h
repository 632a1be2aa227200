#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tw {

// The X atom of `name`, created when the server does not know it yet; XCB_ATOM_NONE when the
// server does not answer. A round trip: look atoms up once, not per event.
inline xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

}  // namespace tw
