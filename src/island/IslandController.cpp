#include "island/IslandController.h"

#include <QCoreApplication>
#include <QUuid>

#include "island/CompletionCelebration.h"
#include "island/IslandActions.h"
#include "island/PillDrag.h"
#include "preferences/AppPreferences.h"

namespace tw {

namespace {

using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

// Seconds the island stays open after the launch peek.
constexpr double peekDuration = 1.3;
// The panel keeps its larger frame this long while the views animate their content smaller.
constexpr double shrinkDelay = 0.5;
// Pending move to the screen under the pointer.
constexpr double followDelay = 0.3;
// Time between two blanked-site notices; how long a notice shows.
constexpr double blockedNoticeSpacing = 3;
constexpr double blockedNoticeDuration = 3.5;
// A wheel gesture ends after this pause between events.
constexpr double wheelGesturePause = 0.5;
constexpr double preciseSwipeThreshold = 20;
constexpr double wheelSwipeThreshold = 1;

// minX ≤ x < maxX and minY < y ≤ maxY (the display containment rule).
bool screenContains(const RectF& r, PointF p) {
    return p.x >= r.minX() && p.x < r.maxX() && p.y > r.minY() && p.y <= r.maxY();
}

bool rectContains(const RectF& r, PointF p) {
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

// Another screen, or a screen appearing or going away.
bool screenChanged(const std::optional<ScreenDescription>& a,
                   const std::optional<ScreenDescription>& b) {
    if (!a || !b) return true;
    return displayID(*a) != displayID(*b);
}

}  // namespace

IslandController::IslandController(TimerModel& model, AppPreferences& preferences,
                                   IslandEnvironment environment, QObject* parent)
    : QObject(parent),
      ownedPointer_(std::move(environment.ownedPointer)),
      ownedReducedMotion_(std::move(environment.ownedReducedMotion)),
      trayHost_(std::move(environment.trayHost)),
      model_(model),
      preferences_(preferences),
      scheduler_(*environment.scheduler),
      pointer_(environment.pointer ? *environment.pointer : *ownedPointer_),
      reducedMotion_(environment.reducedMotion ? environment.reducedMotion
                                               : ownedReducedMotion_.get()),
      screensProvider_(std::move(environment.screens)),
      drifts_(environment.drifts),
      testimonials_(environment.testimonials),
      window_(std::move(environment.window)) {
    onQuit = std::move(environment.quit);
    if (trayHost_) {
        connect(trayHost_.get(), &TrayHost::availabilityChanged, this, [this](bool available) {
            island_->setTrayAvailable(available);
            applyStyle();
        });
    }
    // The screen and the metrics the island starts with.
    screen_ = targetScreen();
    const IslandStyle style = effectiveStyle();
    island_ = std::make_unique<IslandState>(screen_ ? islandMetrics(*screen_, style)
                                                    : islandMetricsWithoutScreen(style));
    island_->setTrayAvailable(!trayHost_ || trayHost_->available());
    window_->setHostSize(maxPanelSize(island_->metrics()));

    PillDrag::Parts drag;
    drag.island = island_.get();
    drag.window = window_.get();
    drag.scheduler = &scheduler_;
    drag.model = &model_;
    drag.preferences = &preferences_;
    drag.reducedMotion = reducedMotion_;
    drag.screen = [this] { return panelScreen(); };
    pillDrag_ = std::make_unique<PillDrag>(std::move(drag));
    connect(pillDrag_.get(), &PillDrag::attachRequested, this, [this] {
        if (island_->isExpanded()) collapse();
        setStyle(IslandStyle::notch);
    });
    connect(pillDrag_.get(), &PillDrag::dropped, this, [this] {
        ++frameGeneration_;
        updateFrame();
    });
    connect(pillDrag_.get(), &PillDrag::interrupted, this, [this] { updateFrame(); });

    // Left-button events of the application for the pill drag, clicks in the margin, and the
    // two-finger swipe.
    window_->onMouse = [this](const IslandMouseEvent& e) { return handleMouse(e); };
    window_->onScroll = [this](const IslandScrollEvent& e) { handleScroll(e); };

    // The views' requests; each does nothing once the controller is gone.
    const QPointer<IslandController> self(this);
    island_->requestExpand = [self] {
        if (self) self->expand(false);
    };
    island_->requestCollapse = [self] {
        if (self) self->collapse();
    };
    island_->requestSettings = [self] {
        if (!self) return;
        self->collapse();
        if (self && self->onShowSettings) self->onShowSettings();
    };
    island_->requestHistory = [self] {
        if (!self) return;
        self->collapse();
        if (self && self->onShowHistory) self->onShowHistory();
    };
    island_->requestToggleStyle = [self] {
        if (self) self->toggleStyle();
    };
    island_->requestStyle = [self](IslandStyle s) {
        if (self) self->setStyle(s);
    };
    island_->requestToggleTimer = [self] {
        if (self) self->toggleTimer();
    };
    island_->requestQuickMenu = [self] {
        if (self) self->showQuickMenu();
    };
    island_->requestToggleLock = [self] {
        if (self) self->preferences_.setPillLocked(!self->preferences_.pillLocked());
    };
    island_->requestToggleHideUntilHover = [self] {
        if (self)
            self->preferences_.setPillHideUntilHover(!self->preferences_.pillHideUntilHover());
    };
    island_->hoverChanged = [self](bool hovering) {
        // The pointer arriving on the island cancels a pending automatic close.
        if (self && hovering) ++self->peekGeneration_;
    };

    // The timer.
    const auto runStateOrModeChanged = [this] {
        const bool runsFocus =
            model_.runState() == RunState::running && model_.mode() == Mode::focus;
        if (runsFocus) return;
        showBlockWarning(std::nullopt, 0);
        if (island_->blockedSite()) {
            setBlockedSiteAnimated(std::nullopt, IslandAnimation::noticeRemoved(reduced()));
        }
    };
    connect(&model_, &TimerModel::runStateChanged, this, runStateOrModeChanged);
    connect(&model_, &TimerModel::modeChanged, this, runStateOrModeChanged);
    lastActive_ = model_.isActive();
    connect(&model_, &TimerModel::runStateChanged, this, [this] {
        const bool active = model_.isActive();
        if (active == lastActive_) return;
        lastActive_ = active;
        updateFrame();
    });
    connect(&model_, &TimerModel::phaseComplete, this, [this](Mode mode) { celebrate(mode); });
    connect(&model_, &TimerModel::autoPaused, this, [this] { expand(false); });

    // The views.
    connect(island_.get(), &IslandState::isHoveringChanged, this, [this] {
        if (island_->isHovering() == lastHovering_) return;
        lastHovering_ = island_->isHovering();
        updateFrame();
    });
    connect(island_.get(), &IslandState::hoveredDurationChanged, this, [this] {
        const bool hovered = island_->hoveredDuration().has_value();
        if (hovered == lastDurationHovered_) return;
        lastDurationHovered_ = hovered;
        updateFrame();
    });

    // The preferences.
    connect(&preferences_, &AppPreferences::displayChoiceChanged, this, [this] { reposition(); });
    connect(&preferences_, &AppPreferences::islandStyleChanged, this, [this] { applyStyle(); });
    connect(&preferences_, &AppPreferences::pillLockedChanged, this,
            [this] { updatePillInteraction(); });
    connect(&preferences_, &AppPreferences::pillHideUntilHoverChanged, this,
            [this] { updatePillInteraction(); });
}

IslandController::~IslandController() {
    // The window goes first: its callbacks point here; the drag works on it.
    pillDrag_.reset();
    if (window_) {
        window_->onMouse = nullptr;
        window_->onScroll = nullptr;
    }
    window_.reset();
}

// ---- Environment ----

bool IslandController::reduced() const {
    return reducedMotion_ && reducedMotion_->isReduced();
}

QList<ScreenDescription> IslandController::screens() const {
    return screensProvider_ ? screensProvider_() : QList<ScreenDescription>{};
}

std::optional<ScreenDescription> IslandController::targetScreen() const {
    const QList<ScreenDescription> all = screens();
    const auto chosen =
        chooseDisplay(displayInfos(all), preferences_.displayChoice(), pointer_.location());
    if (!chosen) return std::nullopt;
    for (const ScreenDescription& s : all) {
        if (displayID(s) == chosen->id) return s;
    }
    return std::nullopt;
}

std::optional<ScreenDescription> IslandController::panelScreen() const {
    const RectF f = window_->frame();
    const PointF centre{f.midX(), f.midY()};
    if (f.width > 0 && f.height > 0) {
        for (const ScreenDescription& s : screens()) {
            if (screenContains(s.frame, centre)) return s;
        }
    }
    return screen_;
}

SizeF IslandController::currentPanelSize() const {
    return panelSize(island_->metrics(), island_->contentFlags());
}

RectF IslandController::openFrame() const {
    return frameForSize(currentPanelSize(), screen_, island_->metrics(),
                        preferences_.pillPositions());
}

RectF IslandController::closedFrame() const {
    return collapsedFrame(screen_, island_->metrics(), model_.isActive(), island_->isHovering(),
                          preferences_.pillPositions());
}

void IslandController::applyFrame(const RectF& frame, bool animate) {
    if (frame == window_->frame()) return;
    window_->setFrame(frame, animate);
}

void IslandController::later(double seconds, std::function<void(IslandController&)> fn) {
    scheduler_.post(seconds, [self = QPointer<IslandController>(this), fn = std::move(fn)] {
        if (self) fn(*self);
    });
}

// ---- Frames and screens ----

void IslandController::updateFrame() {
    if (island_->isDragging()) return;
    const RectF target = island_->isExpanded() ? openFrame() : closedFrame();
    const int generation = ++frameGeneration_;
    const RectF current = window_->frame();
    if (target.width >= current.width && target.height >= current.height) {
        applyFrame(target, false);
        return;
    }
    // Shrinking: the views animate their content smaller inside the still large window first.
    later(shrinkDelay, [generation](IslandController& c) {
        if (c.frameGeneration_ != generation) return;
        c.applyFrame(c.island_->isExpanded() ? c.openFrame() : c.closedFrame(), false);
    });
}

void IslandController::reposition() {
    const std::optional<ScreenDescription> next = targetScreen();
    if (screenChanged(next, screen_)) island_->setHovering(false);
    screen_ = next;

    if (followsPointer(preferences_.displayChoice(), screens().size())) {
        if (!pointerMonitor_) {
            pointerMonitor_ =
                pointer_.watch(pointermask::leftDown | pointermask::moved,
                               [self = QPointer<IslandController>(this)](const PointerEvent&) {
                                   if (self) self->checkPointerScreen();
                               });
        }
    } else {
        pointerMonitor_.reset();
        followWork_.reset();
        followTarget_.reset();
    }

    if (screen_) {
        island_->setAnimation(IslandAnimation::none());
        island_->setMetrics(islandMetrics(*screen_, effectiveStyle()));
    }
    window_->setHostSize(maxPanelSize(island_->metrics()));
    ++frameGeneration_;
    applyFrame(island_->isExpanded() ? openFrame() : closedFrame(), false);
    updatePillInteraction();
}

void IslandController::checkPointerScreen() {
    if (!followsPointer(preferences_.displayChoice(), screens().size())) return;
    const PointF p = pointer_.location();
    if (screen_ && screenContains(screen_->frame, p)) {
        followWork_.reset();
        followTarget_.reset();
        return;
    }
    const std::optional<ScreenDescription> target = targetScreen();
    if (!target || (screen_ && displayID(*target) == displayID(*screen_))) return;
    const QString id = displayID(*target);
    if (followTarget_ == id) return;  // a move there is pending
    followTarget_ = id;
    followWork_ = scheduler_.callAfter(followDelay, [self = QPointer<IslandController>(this)] {
        if (!self) return;
        self->followTarget_.reset();
        // While open the island stays where it is; closing checks again.
        if (!self->island_->isExpanded()) self->reposition();
    });
}

void IslandController::screensChanged() {
    reposition();
}

void IslandController::activeWindowChanged() {
    checkPointerScreen();
}

// ---- Visibility, opening and closing ----

void IslandController::applyVisibility() {
    if (effectiveStyle() == IslandStyle::menuBarOnly) {
        window_->orderOut();
        panelHidden_ = true;
        wasHidden_ = true;
        // The tray icon is then the only way to reach the application.
        preferences_.setMenuBarIconEnabled(true);
        updatePillInteraction();
        return;
    }
    reposition();
    window_->orderFront();
    panelHidden_ = false;
}

void IslandController::peek() {
    if (island_->isExpanded()) return;
    expand(false);
    const int token = peekGeneration_;
    later(peekDuration, [token](IslandController& c) {
        if (c.peekGeneration_ == token) c.collapse();
    });
}

void IslandController::expand(bool makeKey) {
    ++peekGeneration_;
    if (island_->isExpanded()) {
        if (makeKey) window_->makeKey();
        return;
    }
    // An old card never survives into a new opening.
    if (island_->celebration()) island_->setCelebration(std::nullopt);
    island_->setHovering(false);
    // The window grows first; the content animates into it.
    applyFrame(openFrame(), false);
    island_->setAnimation(IslandAnimation::open(reduced()));
    island_->setExpanded(true);
    installClickMonitors();
    updatePillInteraction();
    if (makeKey) window_->makeKey();
}

void IslandController::collapse() {
    ++peekGeneration_;
    if (!island_->isExpanded()) return;
    window_->resignKey();
    if (island_->hoveredDuration()) island_->setHoveredDuration(std::nullopt);
    removeClickMonitors();
    island_->setAnimation(IslandAnimation::close(reduced()));
    island_->setExpanded(false);
    updatePillInteraction();
    updateFrame();
    later(shrinkDelay, [](IslandController& c) { c.checkPointerScreen(); });
    if (const auto& card = island_->celebration()) {
        const QUuid id = card->id;
        later(shrinkDelay, [id](IslandController& c) {
            const auto& current = c.island_->celebration();
            if (!c.island_->isExpanded() && current && current->id == id) {
                c.island_->setAnimation(IslandAnimation::none());
                c.island_->setCelebration(std::nullopt);
            }
        });
    }
}

void IslandController::toggleExpanded() {
    if (island_->isExpanded()) {
        collapse();
    } else {
        expand(true);
    }
}

void IslandController::installClickMonitors() {
    removeClickMonitors();
    // A click in another application closes the island; clicks on this application's own
    // windows reach the local handling instead.
    globalClickMonitor_ = pointer_.watch(
        pointermask::buttons, [self = QPointer<IslandController>(this)](const PointerEvent& e) {
            if (self && !e.overApplication) self->collapse();
        });
    localClickMonitor_ = true;
}

void IslandController::removeClickMonitors() {
    globalClickMonitor_.reset();
    localClickMonitor_ = false;
}

// ---- Styles ----

IslandStyle IslandController::effectiveStyle() const {
    const IslandStyle style = preferences_.islandStyle();
    if (style == IslandStyle::menuBarOnly && trayHost_ && !trayHost_->available())
        return IslandStyle::automatic;
    return style;
}

IslandStyle IslandController::currentStyle() const {
    return wasHidden_ ? IslandStyle::menuBarOnly : island_->metrics().style;
}

void IslandController::toggleStyle() {
    switch (currentStyle()) {
        case IslandStyle::automatic:
        case IslandStyle::notch:
            setStyle(IslandStyle::pill);
            break;
        case IslandStyle::pill:
            setStyle(IslandStyle::notch);
            break;
        case IslandStyle::menuBarOnly:
            setStyle(IslandStyle::automatic);
            break;
    }
}

void IslandController::setStyle(IslandStyle style) {
    preferences_.setIslandStyle(style);
}

void IslandController::applyStyle() {
    if (island_->notchPreviewMetrics()) island_->setNotchPreviewMetrics(std::nullopt);
    const IslandStyle style = effectiveStyle();
    if (style == IslandStyle::menuBarOnly) {
        if (!wasHidden_) {
            collapse();
            window_->orderOut();
            panelHidden_ = true;
            preferences_.setMenuBarIconEnabled(true);
            hoverMonitor_.reset();
            window_->setIgnoresMouseEvents(false);
            ignoresMouse_ = false;
            window_->setAlpha(1, false);
        }
        wasHidden_ = true;
        island_->setPillDraggable(false);
        island_->setPillHidden(false);
        pillDrag_->reset();
        return;
    }
    const bool wasHidden = wasHidden_;
    wasHidden_ = false;
    if (wasHidden) {
        window_->orderFront();
        panelHidden_ = false;
    }
    if (screen_) {
        const IslandMetrics m = islandMetrics(*screen_, style);
        if (m == island_->metrics() && !wasHidden) return;
        island_->setAnimation(wasHidden ? IslandAnimation::none()
                                        : IslandAnimation::open(reduced()));
        island_->setMetrics(m);
    }
    window_->setHostSize(maxPanelSize(island_->metrics()));
    ++frameGeneration_;
    applyFrame(island_->isExpanded() ? openFrame() : closedFrame(), true);
    updatePillInteraction();
}

// ---- Hover and hide-until-hover ----

void IslandController::updatePillInteraction() {
    const bool isPill = island_->metrics().isPill();
    const bool locked = preferences_.pillLocked();
    const bool draggable = isPill && !wasHidden_ && !locked;
    island_->setPillDraggable(draggable);
    island_->setPillLocked(locked);
    const bool hidden =
        isPill && !wasHidden_ && !island_->isExpanded() && preferences_.pillHideUntilHover();
    island_->setPillHidden(hidden);
    if (ignoresMouse_ != hidden) {
        ignoresMouse_ = hidden;
        window_->setIgnoresMouseEvents(hidden);
    }
    if (hidden) {
        if (!hoverMonitor_) {
            hoverMonitor_ = pointer_.watch(
                pointermask::moved, [self = QPointer<IslandController>(this)](const PointerEvent&) {
                    if (self) self->updateHiddenPill();
                });
        }
        updateHiddenPill();
    } else {
        hoverMonitor_.reset();
        if (window_->alpha() != 1) window_->setAlpha(1, true);
    }
    if (!draggable) pillDrag_->reset();
}

void IslandController::updateHiddenPill() {
    const bool hidden =
        island_->pillHidden() && !rectContains(window_->frame(), pointer_.location());
    if (ignoresMouse_ != hidden) {
        ignoresMouse_ = hidden;
        window_->setIgnoresMouseEvents(hidden);
    }
    const double alpha = hidden ? 0 : 1;
    if (window_->alpha() != alpha) window_->setAlpha(alpha, true);
}

// ---- The two-finger swipe ----

void IslandController::handleScroll(const IslandScrollEvent& e) {
    if (island_->isExpanded()) {
        const RectF content = contentRect(window_->frame().size(),
                                          contentSize(island_->metrics(), island_->contentFlags()));
        if (!rectContains(content, e.locationInWindow)) return;
    }
    ScrollGesture& g = scrollGesture_;
    if (e.momentum) return;  // the inertial tail never acts
    // A gesture starts with its first event; where nothing marks the start (a wheel, a touchpad
    // without phases) it starts after a pause.
    const bool marksStart = e.precise && !e.phaseless;
    if (e.begins || (!marksStart && e.timestamp - g.lastTime > wheelGesturePause)) {
        g.travel = 0;
        g.fired = false;
    }
    g.lastTime = e.timestamp;
    if (g.fired) return;  // one action per gesture
    // A finger (or wheel) movement towards the user counts positive whatever the preference.
    g.travel += e.inverted ? e.deltaY : -e.deltaY;
    const double threshold = e.precise ? preciseSwipeThreshold : wheelSwipeThreshold;
    if (g.travel >= threshold) {
        g.fired = true;
        expand(false);
    } else if (g.travel <= -threshold) {
        g.fired = true;
        collapse();
    }
}

// ---- Mouse: clicks in the margin and the pill drag ----

bool IslandController::handleMouse(const IslandMouseEvent& e) {
    bool swallowed = false;
    if (e.type != IslandMouseEvent::Type::rightDown) swallowed = pillDrag_->handleMouse(e);
    const bool down =
        e.type == IslandMouseEvent::Type::leftDown || e.type == IslandMouseEvent::Type::rightDown;
    if (down && localClickMonitor_ && island_->isExpanded() && e.locationInWindow) {
        // A click in the transparent margin around the open island closes it.
        const RectF content = contentRect(window_->frame().size(),
                                          contentSize(island_->metrics(), island_->contentFlags()));
        if (!rectContains(content, *e.locationInWindow)) collapse();
    }
    return swallowed;
}

// ---- The quick menu ----

void IslandController::toggleTimer() {
    model_.toggle();
}

void IslandController::showQuickMenu() {
    const QPointer<IslandController> self(this);
    const auto entries =
        islandmenu::quickMenu(model_.runState() == RunState::running, island_->metrics().isPill(),
                              preferences_.pillLocked(), preferences_.pillHideUntilHover());
    const auto perform = [self](const islandmenu::MenuEntry& entry) {
        if (!self) return;
        if (entry.action == islandmenu::MenuAction::quit)
            self->quit();
        else
            requestMenuAction(*self->island_, entry.action);
    };
    window_->popUpMenu(islandmenu::quickMenuItems(entries, perform), pointer_.location());
}

void IslandController::quit() {
    if (onQuit) {
        onQuit();
    } else {
        QCoreApplication::quit();
    }
}

// ---- The site blocker ----

void IslandController::setBlockedSiteAnimated(const std::optional<QString>& site,
                                              const IslandAnimation& a) {
    island_->setAnimation(a);
    island_->setBlockedSite(site);
}

void IslandController::showBlockWarning(const std::optional<QString>& ruleText, int secondsLeft) {
    if (ruleText) {
        const bool runsFocus =
            model_.runState() == RunState::running && model_.mode() == Mode::focus;
        if (!runsFocus || island_->celebration()) return;
        if (!island_->blockWarning()) {
            ++blockedMessageGeneration_;  // drops a pending removal of the notice
            warningOpenedByUs_ = !island_->isExpanded();
            expand(false);
            warningPeekToken_ = peekGeneration_;
            if (island_->blockedSite()) {
                setBlockedSiteAnimated(std::nullopt, IslandAnimation::noticeRemoved(reduced()));
            }
        }
        island_->setAnimation(IslandAnimation::noticeShown(reduced()));
        island_->setBlockWarning(ruleText);
        island_->setBlockWarningSeconds(secondsLeft);
        updateFrame();
        return;
    }
    if (island_->blockWarning()) {
        island_->setAnimation(IslandAnimation::noticeRemoved(reduced()));
        island_->setBlockWarning(std::nullopt);
    }
    if (warningOpenedByUs_ && peekGeneration_ == warningPeekToken_) {
        collapse();
    } else {
        updateFrame();
    }
    warningOpenedByUs_ = false;
}

void IslandController::showBlockedSite(const QString& ruleText) {
    const bool runsFocus = model_.runState() == RunState::running && model_.mode() == Mode::focus;
    if (!runsFocus || island_->celebration()) return;
    const Instant now = scheduler_.now();
    // A clock that went backwards does not silence the notice for good.
    if (lastBlockedPeek_ && now >= *lastBlockedPeek_ &&
        now - *lastBlockedPeek_ < blockedNoticeSpacing) {
        return;
    }
    lastBlockedPeek_ = now;

    const bool openedByUs = island_->blockWarning() ? warningOpenedByUs_ : !island_->isExpanded();
    island_->setAnimation(IslandAnimation::none());
    island_->setBlockWarning(std::nullopt);
    warningOpenedByUs_ = false;
    expand(false);
    setBlockedSiteAnimated(ruleText, IslandAnimation::noticeShown(reduced()));
    updateFrame();

    const int g = ++blockedMessageGeneration_;
    const int p = peekGeneration_;
    later(blockedNoticeDuration, [g, p, openedByUs](IslandController& c) {
        if (c.blockedMessageGeneration_ != g) return;
        const bool reduce = c.reduced();
        c.setBlockedSiteAnimated(std::nullopt, IslandAnimation::noticeRemoved(reduce));
        if (openedByUs && c.peekGeneration_ == p) {
            c.later(reduce ? 0.18 : 0.28, [g, p](IslandController& c2) {
                if (c2.blockedMessageGeneration_ == g && c2.peekGeneration_ == p) c2.collapse();
            });
        } else {
            c.updateFrame();
        }
    });
}

// ---- Completion ----

std::optional<CompletionCelebration> IslandController::makeCelebration(Mode mode) {
    // The card's contents, the testimonial invitation and its flags are the card's own rules;
    // nothing when celebrations are switched off.
    celebration::Sources sources;
    sources.model = &model_;
    sources.preferences = &preferences_;
    sources.driftLog = drifts_;
    sources.testimonials = testimonials_;
    sources.owner = this;
    return celebration::make(mode, sources);
}

void IslandController::celebrate(Mode mode) {
    window_->announce(celebration::announcement(mode));
    const std::optional<CompletionCelebration> card = makeCelebration(mode);
    if (!card) return;
    const bool wasCollapsed = !island_->isExpanded();
    expand(false);
    island_->setAnimation(IslandAnimation::open(reduced()));
    island_->setCelebration(card);
    updateFrame();
    const int token = peekGeneration_;
    const QUuid id = card->id;
    later(card->displayDuration(), [token, id, wasCollapsed](IslandController& c) {
        switch (celebration::dismissal(c.island_->celebration(), id, wasCollapsed, token,
                                       c.peekGeneration_)) {
            case celebration::Dismissal::none:  // a newer card replaced it
                break;
            case celebration::Dismissal::collapseIsland:
                c.collapse();  // clears the card once closed
                break;
            case celebration::Dismissal::removeCard:
                c.island_->setAnimation(IslandAnimation::cardRemoved(c.reduced()));
                c.island_->setCelebration(std::nullopt);
                c.updateFrame();
                break;
        }
    });
}

void IslandController::setTaskSource(std::optional<FocusTaskSource> source) {
    taskSource_ = std::move(source);
    Q_EMIT taskSourceChanged();
}

}  // namespace tw
