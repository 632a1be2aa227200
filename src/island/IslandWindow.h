#pragma once

// The island's window as the controller drives it. IslandPanel implements it on a real window
// system; tests use a recording double. Frames and points are y-up global coordinates, locations
// in the window are y-up with the origin at the window's bottom-left corner.

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "island/IslandGeometry.h"

namespace tw {

// A mouse button event seen inside the application, before normal handling.
struct IslandMouseEvent {
    enum class Type { leftDown, leftDragged, leftUp, rightDown };
    Type type = Type::leftDown;
    PointF screenPoint;                      // y-up global
    std::optional<PointF> locationInWindow;  // set when the event belongs to the island window
};

// One scroll event over the island window.
struct IslandScrollEvent {
    PointF locationInWindow;  // y-up, panel-local
    double deltaY = 0;        // positive: content moves down (finger or wheel towards the user)
    bool precise = false;     // pixel deltas (a touchpad), not wheel notches
    bool inverted = false;    // natural scrolling: the device direction was inverted
    bool begins = false;      // the first event of a gesture
    bool momentum = false;    // the inertial tail after the fingers left the touchpad
    double timestamp = 0;     // seconds
    // The device reports no gesture phases (touchpads on X11): a pause ends a gesture, as for
    // a wheel.
    bool phaseless = false;
};

// An entry of the island's quick menu; an empty title is a separator.
struct QuickMenuItem {
    QString title;
    std::function<void()> action;
    bool isSeparator() const { return title.isEmpty(); }
};

class IslandWindow {
public:
    virtual ~IslandWindow() = default;

    virtual RectF frame() const = 0;
    // Moves and resizes the window; `animate` asks the window system to animate it.
    virtual void setFrame(const RectF& frame, bool animate) = 0;
    virtual void setFrameOrigin(PointF origin) = 0;
    // The fixed size of the view that hosts the island's content.
    virtual void setHostSize(SizeF size) = 0;

    // Shows the window above everything without activating it / hides it.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    // Gives the window keyboard focus / gives it up (ending any text editing inside).
    virtual void makeKey() = 0;
    virtual void resignKey() = 0;

    // Clicks go through the window to what lies below.
    virtual void setIgnoresMouseEvents(bool ignores) = 0;
    virtual double alpha() const = 0;
    virtual void setAlpha(double alpha, bool animate) = 0;

    // The closed-hand cursor while a pill is dragged.
    virtual void pushGrabCursor() = 0;
    virtual void popGrabCursor() = 0;

    // Pops up a menu at `location` (y-up global).
    virtual void popUpMenu(const QList<QuickMenuItem>& items, PointF location) = 0;
    // Speaks `text` to assistive technologies.
    virtual void announce(const QString& text) = 0;

    // Set by the controller: every scroll event over the window, before normal handling.
    std::function<void(const IslandScrollEvent&)> onScroll;
    // Set by the controller: left-button and right-button-down events of the application's
    // windows; returning true swallows the event.
    std::function<bool(const IslandMouseEvent&)> onMouse;
};

}  // namespace tw
