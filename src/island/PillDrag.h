#pragma once

// Dragging the pill: a press and a few points of travel (or a press held a moment) arms the
// drag; the pill then follows the pointer, kept on the screen, and jumps into the top strip as
// a notch preview when it comes near the notch. Dropped near the notch it attaches (the island
// turns into the notch style); dropped elsewhere it snaps to the nearest edge or the centre and
// the place is stored for the screen. A press on the open pill's countdown drags only after the
// hold, so a plain click still edits the time.
//
// Timing runs on the injected scheduler. Main thread only.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

#include "island/IslandGeometry.h"
#include "island/IslandWindow.h"

namespace tw {

class AppPreferences;
class IslandState;
class ReducedMotion;
class ScheduledCall;
class Scheduler;
class TimerModel;

class PillDrag : public QObject {
    Q_OBJECT
public:
    // What the drag works on; every reference outlives the drag.
    struct Parts {
        IslandState* island = nullptr;
        IslandWindow* window = nullptr;
        Scheduler* scheduler = nullptr;
        const TimerModel* model = nullptr;
        AppPreferences* preferences = nullptr;
        ReducedMotion* reducedMotion = nullptr;  // none: never reduced
        // The screen the panel is on now.
        std::function<std::optional<ScreenDescription>()> screen;
    };

    explicit PillDrag(Parts parts, QObject* parent = nullptr);
    ~PillDrag() override;

    // A left-button event of the application; true when the drag swallows it.
    bool handleMouse(const IslandMouseEvent& e);
    // Drops any drag in progress without a drop; the pill goes back to its stored place.
    void reset();

Q_SIGNALS:
    // The pill was dropped near the notch: the island becomes the notch style.
    void attachRequested();
    // The pill was dropped in a place of its own (already stored): the frame follows.
    void dropped();
    // A drag ended without a drop: the frame goes back.
    void interrupted();

private:
    bool reduced() const;
    void startHoldTimer();
    void arm();
    void apply(double dx, double dyDown, bool commit, bool near);

    Parts parts_;
    std::unique_ptr<ScheduledCall> holdWork_;
    std::optional<PointF> start_;
    std::optional<RectF> startFrame_;
    bool armed_ = false;
    bool holdElapsed_ = false;
    bool needsHold_ = false;
    double notchCenterX_ = 0;
    std::optional<RectF> notchFrame_;
    bool grabCursorPushed_ = false;
};

}  // namespace tw
