#pragma once

// The top-level windows a window manager manages, read over a connection of our own to the X
// server ($DISPLAY; under Wayland that is XWayland): the EWMH client list and active window, what
// each window tells about its program, whether it is iconic, and the ICCCM request to iconify it.
// Requests for many windows go out together and cost one round trip.

#include <QHash>
#include <QList>
#include <QString>
#include <memory>

#include "platform/linux/DesktopEntries.h"

struct xcb_connection_t;

namespace tw {

class X11ClientWindows {
public:
    // What a window tells about the program that shows it.
    struct Facts {
        WindowIdentity identity;
        qint64 pid = 0;     // _NET_WM_PID; 0 when unset
        bool local = true;  // WM_CLIENT_MACHINE is this computer (or unset)
    };

    // Connects to the X server; null without one.
    static std::unique_ptr<X11ClientWindows> connect();
    ~X11ClientWindows();

    xcb_connection_t* connection() const { return connection_; }
    int fileDescriptor() const;
    bool broken() const;

    // Property changes of the root window: selected or not, for this connection only.
    void selectRootPropertyChanges(bool on);
    // The event mask this connection has selected on the root window.
    quint32 selectedRootEvents() const;
    // Whether a root PropertyNotify is about the client list or the active window.
    bool isClientList(quint32 window, quint32 atom) const;
    bool isActiveWindow(quint32 window, quint32 atom) const;

    // _NET_CLIENT_LIST, in mapping order.
    QList<quint32> clientList() const;
    // _NET_ACTIVE_WINDOW; 0 when none.
    quint32 activeWindow() const;
    // The facts of each window that still exists.
    QHash<quint32, Facts> facts(const QList<quint32>& windows) const;
    // Whether each window is iconic: WM_STATE IconicState or _NET_WM_STATE_HIDDEN.
    QHash<quint32, bool> iconic(const QList<quint32>& windows) const;
    // Asks the window manager to iconify the window (WM_CHANGE_STATE to IconicState).
    void iconify(quint32 window);
    void flush();

private:
    struct Atoms;
    X11ClientWindows(xcb_connection_t* c, quint32 root, std::unique_ptr<Atoms> atoms);

    xcb_connection_t* connection_;
    quint32 root_;
    std::unique_ptr<Atoms> atoms_;
    QString hostName_;
};

}  // namespace tw
