#pragma once

// The island's controller: owns the island window and its observable state, and decides when
// the island opens and closes and where it goes. It reacts to the user (clicks, a two-finger
// swipe, hovering, dragging the pill, the quick menu), the timer (run state, mode, a finished
// phase, an automatic pause), the preferences (style, display, pill lock and hide-until-hover),
// the site blocker (the countdown warning and the blanked-site notice) and the desktop (screens
// changing, the pointer moving to another screen, the active window changing).
//
// Every timing decision runs on the injected scheduler; the window, the pointer and the screens
// come in through interfaces, so the whole behaviour runs in tests without a window system.
// Main thread only.

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "island/IslandGeometry.h"
#include "island/IslandState.h"
#include "island/IslandWindow.h"
#include "platform/PointerMonitor.h"
#include "platform/ReducedMotion.h"
#include "platform/Scheduler.h"
#include "platform/TrayHost.h"
#include "timer/FocusTaskSource.h"
#include "timer/TimerModel.h"

namespace tw {

class AppPreferences;
class DriftLog;
class PillDrag;
class TestimonialStore;

// What the controller needs from the desktop.
struct IslandEnvironment {
    Scheduler* scheduler = nullptr;
    PointerMonitor* pointer = nullptr;
    ReducedMotion* reducedMotion = nullptr;  // none: never reduced
    // The connected screens, described for the island geometry.
    std::function<QList<ScreenDescription>()> screens;
    // The island window; owned by the controller.
    std::unique_ptr<IslandWindow> window;
    // The shared drift log for the completion card's figures; may be null.
    const DriftLog* drifts = nullptr;
    // Where a testimonial sent from the completion card goes; may be null.
    TestimonialStore* testimonials = nullptr;
    // The first value of the controller's onQuit.
    std::function<void()> quit;
    // Platform parts the controller keeps alive (used when `pointer` / `reducedMotion` are
    // not given).
    std::unique_ptr<PointerMonitor> ownedPointer;
    std::unique_ptr<ReducedMotion> ownedReducedMotion;
    // Whether the desktop shows tray icons; none: it does. Without a tray host the tray-only
    // style would leave no way to reach the timer, so the island stays on screen. Kept alive by
    // the controller.
    std::unique_ptr<TrayHost> trayHost;
};

class IslandController : public QObject {
    Q_OBJECT
public:
    IslandController(TimerModel& model, AppPreferences& preferences, IslandEnvironment environment,
                     QObject* parent = nullptr);
    ~IslandController() override;

    // Set by the shell: show the settings window / the history window.
    std::function<void()> onShowSettings;
    std::function<void()> onShowHistory;
    // Set by the shell: the user's quit from the island's menus ("Quit Tarnwhistle"), which asks
    // first while a session runs and cleans up. Without it the application quits at once.
    std::function<void()> onQuit;

    IslandState& island() { return *island_; }
    IslandWindow& window() { return *window_; }
    std::optional<ScreenDescription> screen() const { return screen_; }

    // Hides the window for the menu-bar-only style, else places and shows it.
    void applyVisibility();
    // Opens without focus and closes again 1.3 s later unless something else happened.
    void peek();
    void expand(bool makeKey);
    void collapse();
    // Closes when open, else opens with focus.
    void toggleExpanded();

    // The menu-bar-only style while the window is hidden for it, else the resolved style.
    IslandStyle currentStyle() const;
    // The style the island follows: the preference, except that tray-only falls back to
    // automatic while the desktop has no tray host.
    IslandStyle effectiveStyle() const;
    void toggleStyle();
    void setStyle(IslandStyle style);

    // The countdown before a site is blanked; no rule text clears it.
    void showBlockWarning(const std::optional<QString>& ruleText, int secondsLeft);
    // The notice that a site was just blanked.
    void showBlockedSite(const QString& ruleText);
    // Announces the finished phase and shows the completion card.
    void celebrate(TimerModel::Mode mode);
    // "Quit Tarnwhistle": onQuit, or quitting at once without it.
    void quit();

    // The task picker's list (the TickTick hook); none hides the picker.
    const std::optional<FocusTaskSource>& taskSource() const { return taskSource_; }
    void setTaskSource(std::optional<FocusTaskSource> source);
    // The source's tasks or selection changed (a choice here, in the tray or in TickTick).
    void taskSourceUpdated() { Q_EMIT taskSourceChanged(); }

    // The desktop's screens changed (added, removed, moved, resized).
    void screensChanged();
    // The active window or workspace changed: the island may follow the pointer's screen.
    void activeWindowChanged();

    // Exposed for tests: the pending-work counters and gesture state.
    const ScrollGesture& scrollGesture() const { return scrollGesture_; }
    bool isPanelHidden() const { return panelHidden_; }
    bool isFollowingPointer() const { return pointerMonitor_ != nullptr; }

Q_SIGNALS:
    // The task source was set, or its tasks or selection changed.
    void taskSourceChanged();

private:
    bool reduced() const;
    QList<ScreenDescription> screens() const;
    std::optional<ScreenDescription> targetScreen() const;
    std::optional<ScreenDescription> panelScreen() const;
    SizeF currentPanelSize() const;
    RectF openFrame() const;
    RectF closedFrame() const;
    void applyFrame(const RectF& frame, bool animate);
    void updateFrame();
    void reposition();
    void checkPointerScreen();
    void applyStyle();
    void updatePillInteraction();
    void updateHiddenPill();
    void installClickMonitors();
    void removeClickMonitors();
    void handleScroll(const IslandScrollEvent& event);
    bool handleMouse(const IslandMouseEvent& event);
    void showQuickMenu();
    void toggleTimer();
    void setBlockedSiteAnimated(const std::optional<QString>& site, const IslandAnimation& a);
    std::optional<CompletionCelebration> makeCelebration(TimerModel::Mode mode);
    // Runs `fn` on this controller `seconds` from now, unless the controller is gone by then.
    void later(double seconds, std::function<void(IslandController&)> fn);

    std::unique_ptr<PointerMonitor> ownedPointer_;
    std::unique_ptr<ReducedMotion> ownedReducedMotion_;
    std::unique_ptr<TrayHost> trayHost_;
    TimerModel& model_;
    AppPreferences& preferences_;
    Scheduler& scheduler_;
    PointerMonitor& pointer_;
    ReducedMotion* reducedMotion_;
    std::function<QList<ScreenDescription>()> screensProvider_;
    const DriftLog* drifts_;
    TestimonialStore* testimonials_;

    std::unique_ptr<IslandState> island_;
    std::unique_ptr<IslandWindow> window_;
    std::optional<ScreenDescription> screen_;
    std::unique_ptr<PointerWatch> globalClickMonitor_;
    bool localClickMonitor_ = false;
    int frameGeneration_ = 0;
    ScrollGesture scrollGesture_;
    int peekGeneration_ = 0;
    int blockedMessageGeneration_ = 0;
    bool warningOpenedByUs_ = false;
    int warningPeekToken_ = 0;
    std::optional<Instant> lastBlockedPeek_;
    std::unique_ptr<PointerWatch> pointerMonitor_;
    std::unique_ptr<ScheduledCall> followWork_;
    std::optional<QString> followTarget_;
    bool wasHidden_ = false;
    bool panelHidden_ = false;
    std::unique_ptr<PointerWatch> hoverMonitor_;
    std::unique_ptr<PillDrag> pillDrag_;

    // Deduplication of the subscriptions that drop repeated values.
    bool lastActive_ = false;
    bool lastHovering_ = false;
    bool lastDurationHovered_ = false;
    bool ignoresMouse_ = false;
    std::optional<FocusTaskSource> taskSource_;
};

}  // namespace tw
