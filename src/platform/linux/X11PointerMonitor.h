#pragma once

// The pointer monitor of an X11 desktop. It opens its own connection to the X server and selects
// XInput2 raw button and motion events on the root window, which arrive whatever window is under
// the pointer, so clicks and movement in other applications are seen without polling. It selects
// only the event kinds some watch wants and nothing at all while nothing is watched.
//
// Without XInput2 (or without an X server: Wayland, no display) it falls back to polling the
// pointer position and button state, and only while something is watched.
//
// On the same connection it follows the root window's _NET_ACTIVE_WINDOW and
// _NET_CURRENT_DESKTOP, reported as activeWindowChanged().

#include <QTimer>
#include <memory>

#include "platform/PointerMonitor.h"

class QSocketNotifier;
struct xcb_connection_t;

namespace tw {

class X11PointerMonitor final : public PointerMonitor {
    Q_OBJECT
public:
    explicit X11PointerMonitor(QObject* parent = nullptr);
    ~X11PointerMonitor() override;

    PointF location() const override;
    bool isPolling() const override { return pollTimer_.isActive(); }
    // Raw events could be selected: the monitor is event driven.
    bool isEventDriven() const { return xiOpcode_ >= 0; }

protected:
    void watchedMaskChanged(unsigned mask) override;

private:
    void readEvents();
    void poll();
    void selectRawEvents(unsigned mask);
    PointerEvent eventAt(PointerEvent::Type type) const;

    xcb_connection_t* connection_ = nullptr;
    quint32 root_ = 0;
    quint32 activeWindowAtom_ = 0;
    quint32 currentDesktopAtom_ = 0;
    int xiOpcode_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTimer pollTimer_;
    unsigned polledButtons_ = 0;
    PointF polledLocation_;
};

}  // namespace tw
