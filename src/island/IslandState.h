#pragma once

// The island's observable state: what the island views draw and what the controller decides.
// Every field publishes a `xxxChanged` signal on each assignment, also of an equal value. The
// request closures are how the views ask the controller for something; they do nothing until
// the controller sets them.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "island/CompletionCelebration.h"
#include "island/IslandGeometry.h"
#include "preferences/PreferenceTypes.h"
#include "timer/TimerModel.h"

namespace tw {

// Accumulates one two-finger swipe (a run of scroll events) on the island.
struct ScrollGesture {
    double travel = 0;    // accumulated swipe distance, positive downward (opening)
    bool fired = false;   // this gesture has already opened or closed the island
    double lastTime = 0;  // seconds, time stamp of the previous scroll event

    friend bool operator==(const ScrollGesture&, const ScrollGesture&) = default;
};

// How a published change should be animated by the views. The controller sets it on the state
// just before the assignment it goes with, so a view reads `animation()` in its change handler.
struct IslandAnimation {
    enum class Curve { none, spring, easeOut, easeInOut, linear };
    Curve curve = Curve::none;
    double duration = 0;         // seconds (for a spring: its response)
    double bounce = 0;           // springs given by duration and bounce
    double dampingFraction = 1;  // springs given by response and damping

    friend bool operator==(const IslandAnimation&, const IslandAnimation&) = default;

    static IslandAnimation none() { return {}; }
    // Opening, and new metrics after a style change.
    static IslandAnimation open(bool reduced);
    static IslandAnimation close(bool reduced);
    // A block warning shown or updated; a blocked-site notice shown.
    static IslandAnimation noticeShown(bool reduced);
    // A warning or notice removed; a notice cleared when a warning starts.
    static IslandAnimation noticeRemoved(bool reduced);
    static IslandAnimation cardRemoved(bool reduced);
    // The notch preview of a dragged pill shown or removed.
    static IslandAnimation notchPreview(bool reduced);
};

class IslandState : public QObject {
    Q_OBJECT
public:
    explicit IslandState(IslandMetrics metrics, QObject* parent = nullptr);
    ~IslandState() override;

    // The current screen's measurements.
    IslandMetrics metrics() const { return metrics_; }
    void setMetrics(const IslandMetrics& v);
    // The island is open.
    bool isExpanded() const { return isExpanded_; }
    void setExpanded(bool v);
    // The pointer is over the collapsed island (set by the views).
    bool isHovering() const { return isHovering_; }
    void setHovering(bool v);
    // The duration chip hovered in the open island (set by the views).
    std::optional<TimerModel::Mode> hoveredDuration() const { return hoveredDuration_; }
    void setHoveredDuration(std::optional<TimerModel::Mode> v);
    // Rule text of the site that is about to be blanked.
    std::optional<QString> blockWarning() const { return blockWarning_; }
    void setBlockWarning(const std::optional<QString>& v);
    // Seconds left before that site is blanked.
    int blockWarningSeconds() const { return blockWarningSeconds_; }
    void setBlockWarningSeconds(int v);
    // Rule text of the site that was just blanked.
    std::optional<QString> blockedSite() const { return blockedSite_; }
    void setBlockedSite(const std::optional<QString>& v);
    // The completion card.
    const std::optional<CompletionCelebration>& celebration() const { return celebration_; }
    void setCelebration(const std::optional<CompletionCelebration>& v);
    // The pill may be dragged now.
    bool pillDraggable() const { return pillDraggable_; }
    void setPillDraggable(bool v);
    // Whether the desktop shows tray icons (the tray-only style needs it).
    bool trayAvailable() const { return trayAvailable_; }
    void setTrayAvailable(bool v);

    // Mirror of the preference `pillLocked`.
    bool pillLocked() const { return pillLocked_; }
    void setPillLocked(bool v);
    // The pill is in hide-until-hover mode and may currently be invisible.
    bool pillHidden() const { return pillHidden_; }
    void setPillHidden(bool v);
    // A pill drag is moving the panel.
    bool isDragging() const { return isDragging_; }
    void setDragging(bool v);
    // While a dragged pill hovers over the notch: the metrics it would have there.
    std::optional<IslandMetrics> notchPreviewMetrics() const { return notchPreviewMetrics_; }
    void setNotchPreviewMetrics(const std::optional<IslandMetrics>& v);

    // The animation that goes with the change being published (not itself published).
    IslandAnimation animation() const { return animation_; }
    void setAnimation(const IslandAnimation& a) { animation_ = a; }

    // Whether the open island needs its full content rather than the small pill card.
    ExpandedContentFlags contentFlags() const;

    // Requests from the views, set by the controller (each a no-op until then).
    std::function<void()> requestExpand = [] {};
    std::function<void()> requestCollapse = [] {};
    std::function<void()> requestSettings = [] {};
    std::function<void()> requestHistory = [] {};
    std::function<void()> requestToggleStyle = [] {};
    std::function<void(IslandStyle)> requestStyle = [](IslandStyle) {};
    std::function<void()> requestToggleTimer = [] {};
    std::function<void()> requestQuickMenu = [] {};
    std::function<void()> requestToggleLock = [] {};
    std::function<void()> requestToggleHideUntilHover = [] {};
    std::function<void(bool)> hoverChanged = [](bool) {};

Q_SIGNALS:
    void metricsChanged();
    void isExpandedChanged();
    void isHoveringChanged();
    void hoveredDurationChanged();
    void blockWarningChanged();
    void blockWarningSecondsChanged();
    void blockedSiteChanged();
    void celebrationChanged();
    void pillDraggableChanged();
    void pillLockedChanged();
    void trayAvailableChanged();
    void pillHiddenChanged();
    void isDraggingChanged();
    void notchPreviewMetricsChanged();

private:
    IslandMetrics metrics_;
    bool isExpanded_ = false;
    bool isHovering_ = false;
    std::optional<TimerModel::Mode> hoveredDuration_;
    std::optional<QString> blockWarning_;
    int blockWarningSeconds_ = 10;
    std::optional<QString> blockedSite_;
    std::optional<CompletionCelebration> celebration_;
    bool pillDraggable_ = false;
    bool pillLocked_ = false;
    bool trayAvailable_ = true;
    bool pillHidden_ = false;
    bool isDragging_ = false;
    std::optional<IslandMetrics> notchPreviewMetrics_;
    IslandAnimation animation_;
};

}  // namespace tw
