#include "island/PillDrag.h"

#include <QPointer>
#include <cmath>
#include <limits>

#include "island/IslandState.h"
#include "platform/ReducedMotion.h"
#include "platform/Scheduler.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

// Press and hold that arms a pill drag.
constexpr double holdDuration = 0.22;
// Pointer travel that arms a pill drag.
constexpr double dragThreshold = 3;
// Pointer travel before a dragged pill can attach to the top strip.
constexpr double attachTravel = 15;

bool rectContains(const RectF& r, PointF p) {
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

}  // namespace

PillDrag::PillDrag(Parts parts, QObject* parent) : QObject(parent), parts_(std::move(parts)) {}

PillDrag::~PillDrag() = default;

bool PillDrag::reduced() const {
    return parts_.reducedMotion && parts_.reducedMotion->isReduced();
}

bool PillDrag::handleMouse(const IslandMouseEvent& e) {
    IslandState& island = *parts_.island;
    if (!island.pillDraggable() || !e.locationInWindow) {
        reset();
        return false;
    }
    const PointF point = e.screenPoint;
    const PointF local = *e.locationInWindow;
    const RectF panel = parts_.window->frame();
    switch (e.type) {
        case IslandMouseEvent::Type::leftDown: {
            const SizeF content = contentSize(island.metrics(), island.contentFlags());
            if (island.isExpanded() && !rectContains(contentRect(panel.size(), content), local)) {
                return false;
            }
            start_ = point;
            armed_ = false;
            holdElapsed_ = false;
            // A press on the open pill's countdown edits it on a plain click; only a hold drags.
            const double areaX = (panel.width - content.width) / 2 + 13;
            const double areaTop = panel.height - 20;
            needsHold_ = island.isExpanded() && local.x >= areaX && local.x <= areaX + 124 &&
                         local.y >= areaTop - 52 && local.y <= areaTop;
            if (const auto s = parts_.screen()) {
                notchCenterX_ = notchCenterX(*s);
                notchFrame_ = notchAttachFrame(*s, parts_.model->isActive());
            }
            startHoldTimer();
            return false;
        }
        case IslandMouseEvent::Type::leftDragged: {
            if (!start_) {
                // The press was not seen: the drag starts here.
                start_ = point;
                startHoldTimer();
            }
            const double dx = point.x - start_->x;
            const double dy = point.y - start_->y;
            const double distance = std::hypot(dx, dy);
            if (!armed_) {
                const double threshold =
                    needsHold_ ? std::numeric_limits<double>::infinity() : dragThreshold;
                if (distance >= threshold || holdElapsed_) {
                    arm();
                } else {
                    return false;
                }
            }
            bool near = false;
            if (island.metrics().isPill() && distance >= attachTravel) {
                const auto s = parts_.screen();
                const double top = s ? s->frame.maxY() : 0;
                near = isNearNotch(point.x, top - point.y, notchCenterX_);
            }
            apply(dx, -dy, false, near);
            return true;
        }
        case IslandMouseEvent::Type::leftUp: {
            bool swallowed = false;
            if (armed_ && start_ && startFrame_) {
                const double dx = point.x - start_->x;
                const double dy = point.y - start_->y;
                apply(dx, -dy, true, island.notchPreviewMetrics().has_value());
                swallowed = true;
            }
            reset();
            return swallowed;
        }
        case IslandMouseEvent::Type::rightDown:
            break;
    }
    return false;
}

void PillDrag::startHoldTimer() {
    holdWork_ = parts_.scheduler->callAfter(holdDuration, [self = QPointer<PillDrag>(this)] {
        if (!self) return;
        self->holdElapsed_ = true;
        self->arm();
    });
}

void PillDrag::arm() {
    if (armed_) return;
    armed_ = true;
    parts_.window->pushGrabCursor();
    grabCursorPushed_ = true;
}

void PillDrag::apply(double dx, double dyDown, bool commit, bool near) {
    IslandState& island = *parts_.island;
    IslandWindow& window = *parts_.window;
    if (!island.pillDraggable()) return;
    const std::optional<ScreenDescription> s = parts_.screen();
    if (!commit) {
        if (!startFrame_) {
            startFrame_ = window.frame();
            island.setDragging(true);  // frame updates pause while the pill moves
        }
        RectF f = *startFrame_;
        f.x += dx;
        f.y -= dyDown;
        if (near) {
            // A closed pill jumps into the top strip; an open one keeps following the pointer.
            if (!island.isExpanded() && notchFrame_) f = *notchFrame_;
            if (!island.notchPreviewMetrics() && s) {
                island.setAnimation(IslandAnimation::notchPreview(reduced()));
                island.setNotchPreviewMetrics(islandMetrics(*s, IslandStyle::notch));
            }
        } else {
            if (island.notchPreviewMetrics()) {
                island.setAnimation(IslandAnimation::notchPreview(reduced()));
                island.setNotchPreviewMetrics(std::nullopt);
            }
            if (s) {
                f.x = clampPillX(f.x, f.width, s->visibleFrame);
                f.y = clampPillY(f.y, f.height, s->frame);
            }
        }
        if (f.size() == window.frame().size()) {
            window.setFrameOrigin({f.x, f.y});
        } else {
            window.setFrame(f, false);
        }
        return;
    }

    const std::optional<RectF> start = startFrame_;
    startFrame_.reset();
    island.setDragging(false);
    if (near) {
        // Attach: the island moves into the top strip as the notch style.
        island.setNotchPreviewMetrics(std::nullopt);
        Q_EMIT attachRequested();
        return;
    }
    if (island.notchPreviewMetrics()) island.setNotchPreviewMetrics(std::nullopt);
    if (start && s) {
        const double centre = s->frame.x + snapPillCenter(start->midX() + dx - s->frame.x,
                                                          start->width, s->frame.width);
        const RectF placed{centre - start->width / 2,
                           clampPillY(start->y - dyDown, start->height, s->frame), start->width,
                           start->height};
        parts_.preferences->setPillPosition(pillOffsetForFrame(placed, *s, island.metrics()),
                                            displayID(*s));
    }
    Q_EMIT dropped();
}

void PillDrag::reset() {
    holdWork_.reset();
    start_.reset();
    armed_ = false;
    holdElapsed_ = false;
    needsHold_ = false;
    notchFrame_.reset();
    bool interrupted = false;
    if (startFrame_) {
        // A drag ended without a drop (the pill was locked, the style changed): the pill goes
        // back to its stored place.
        startFrame_.reset();
        parts_.island->setDragging(false);
        interrupted = true;
    }
    if (grabCursorPushed_) {
        parts_.window->popGrabCursor();
        grabCursorPushed_ = false;
    }
    if (parts_.island->notchPreviewMetrics()) parts_.island->setNotchPreviewMetrics(std::nullopt);
    if (interrupted) Q_EMIT this->interrupted();
}

}  // namespace tw
