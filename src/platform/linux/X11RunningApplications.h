#pragma once

// The running applications of an X11 desktop (and the XWayland windows of a Wayland one), as the
// window manager's EWMH properties show them. An application is the set of top-level windows in
// _NET_CLIENT_LIST that share a desktop entry id and a process (DesktopEntries tells the id).
// Launches are applications none of whose windows were in the client list before; activations
// are changes of the application that owns _NET_ACTIVE_WINDOW (a passage through no active
// window counts only when the application in front hid or closed its windows meanwhile). Both
// are followed through property changes of the root window, selected on a connection of our own
// only while a watch is held: nothing is selected, and nothing polled, otherwise.
//
// Hiding iconifies every top-level window of the application through the window manager (ICCCM
// WM_CHANGE_STATE to IconicState). Windows of this process are never touched.

#include <QPointer>
#include <QSocketNotifier>
#include <memory>

#include "platform/RunningApplications.h"
#include "platform/linux/X11ClientWindows.h"

namespace tw {

class DesktopEntries;

class X11RunningApplications final : public RunningApplications {
    Q_OBJECT
public:
    // Over a new connection to the X server of $DISPLAY; null without one.
    static std::unique_ptr<X11RunningApplications> create(DesktopEntries& entries,
                                                          QObject* parent = nullptr);
    ~X11RunningApplications() override;

    std::optional<RunningApplication> frontmost() const override;
    QList<RunningApplication> running(const QString& desktopId) const override;
    bool isHidden(const RunningApplication& application) const override;
    void hide(const RunningApplication& application) override;
    std::unique_ptr<ApplicationWatch> watch() override;

    int watchCount() const { return watchCount_; }
    // The events selected on the root window by this object's connection.
    quint32 selectedRootEvents() const;

private:
    class Watch;
    struct Window {
        quint32 id = 0;
        RunningApplication application;
        bool own = false;  // a window of this process
    };

    X11RunningApplications(std::unique_ptr<X11ClientWindows> windows, DesktopEntries& entries,
                           QObject* parent);

    // The client windows now, each with its application.
    QList<Window> clientWindows(const QList<quint32>& ids) const;
    QList<Window> clientWindows() const;
    std::optional<RunningApplication> applicationOf(quint32 window) const;
    // Some window of the application is not iconic.
    bool isShown(const RunningApplication& application) const;
    void release();
    void readEvents();
    void clientListChanged();
    void activeWindowChanged();
    // Events that arrived during a round trip wait in the connection's queue, where the socket
    // notifier does not see them.
    void readQueuedLater() const;

    std::unique_ptr<X11ClientWindows> windows_;
    DesktopEntries& entries_;
    QSocketNotifier* notifier_ = nullptr;
    qint64 ownPid_ = 0;
    int watchCount_ = 0;
    mutable bool readQueued_ = false;
    // While watched: the client list last seen, and the application of the active window.
    QList<Window> known_;
    std::optional<RunningApplication> activeOwner_;
};

}  // namespace tw
