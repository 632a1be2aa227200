#pragma once

namespace tw {

// Whether a window system can be reached before Qt tries (and aborts without one): an X server
// that accepts a connection, or a Wayland socket. An explicit QT_QPA_PLATFORM other than those
// two (offscreen, vnc) is taken as is.
bool displayReachable();

}  // namespace tw
