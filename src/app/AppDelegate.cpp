#include "app/AppDelegate.h"

#include "island/IslandController.h"
#include "timer/TestimonialStore.h"
#include "widget/FocusWidgetBridge.h"

#include "app/FocusControl.h"
#include "app/SingleInstance.h"
#include "app/StatusService.h"
#include "distraction/DriftCounter.h"
#include "platform/Confirmation.h"
#include "platform/SystemEvents.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"
#include "shell/MenuBarController.h"
#include "timer/DriftLog.h"
#include "timer/TimerModel.h"

namespace tw {

AppDelegate::AppDelegate(AppEnvironment environment, QObject* parent)
    : QObject(parent), env_(std::move(environment)) {
    preferences_ = new AppPreferences(env_.standard, this);

    // The session ending (shut-down, restart, log-out, a termination signal) quits without
    // asking, whenever it happens.
    observers_.append(connect(&env_.systemEvents, &SystemEvents::sessionEnding, this,
                              [this] { applicationShouldTerminate(QuitReason::system); }));
}

AppDelegate::~AppDelegate() {
    for (const auto& connection : std::as_const(observers_)) disconnect(connection);
    if (ownsBusName_) env_.sessionBus.unregisterService(QLatin1String(SingleInstance::kBusName));
    if (publishedObject_)
        env_.sessionBus.unregisterObject(QLatin1String(SingleInstance::kObjectPath));
}

TimerModel& AppDelegate::model() {
    if (!model_) {
        std::unique_ptr<Sound> chime = env_.loadChime ? env_.loadChime() : nullptr;
        model_ =
            new TimerModel(*preferences_, env_.standard, env_.scheduler, std::move(chime), this);
    }
    return *model_;
}

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) return;
    launched_ = true;
    const QPointer<AppDelegate> self(this);

    // 1. The intent bridge keeps a weak reference to the model, and its methods go on the bus
    //    (the command lines and desktop actions call them). This is the model's first use: it
    //    loads the history and restores a saved session.
    FocusControl::shared().setModel(&model());
    FocusControlService::publish(env_.sessionBus, FocusControl::shared(), this);

    // 2. The widget bridge writes its first snapshot and follows the model.
    widgetBridge_ = new FocusWidgetBridge(model(), env_.appGroup, this);

    // 3. The island: created once, kept for the life of the process, shown and given a short
    //    peek. (The TickTick hook joins it when the task integration arrives.)
    testimonials_ = std::make_unique<TestimonialStore>(env_.scheduler.clock());
    if (env_.makeIsland) {
        controller_ = env_.makeIsland(model(), *preferences_, env_.scheduler, &env_.driftLog,
                                      testimonials_.get(), this);
    }
    if (controller_) {
        // 14. The island's settings and history requests open the settings and history windows
        //     here once they exist.
        controller_->onShowSettings = [] {};
        controller_->onShowHistory = [] {};
        // "Quit Tarnwhistle" on the island is the user's quit: it asks while a session runs and
        // cleans up, asked from the event loop rather than from inside the menu.
        controller_->onQuit = [self] {
            if (self) self->queueUserQuit();
        };
        controller_->applyVisibility();
        controller_->peek();
    }

    // 4. TickTick: the hook will receive its task client here.
    // 5. TickTick: the hook will attach to the model here (through phaseCompleted).
    // 6. TickTick: a subscription to the client's connection flag (equal values removed) will
    //    call the hook's refresh here.

    // 7. The showIsland request of a second copy, from any sender on the session bus.
    if (env_.sessionBus.isConnected()) {
        env_.sessionBus.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                                QLatin1String(SingleInstance::kInterface),
                                QLatin1String(SingleInstance::kShowIsland), this,
                                SLOT(onShowIsland()));
    }

    // 8. The cloud client will be started here (it subscribes to the model).
    // 9. The event emitter will attach to the model here (creating the cloud client and the
    //    ntfy notifier).
    // 10. The application hider will be started here.
    // 11. The site blocker will be wired here: onWarning → handleSiteWarning, onBlocked → the
    //     island's showBlockedSite; then started.

    // 12. Focus activity runs the user's Do Not Disturb shortcuts.
    connect(&model(), &TimerModel::focusActivityChanged, this,
            [this](bool focusing) { runFocusShortcuts(focusing); });
    // 13. A restored running focus phase counts as one that has just started.
    if (model().mode() == TimerModel::Mode::focus &&
        model().runState() == TimerModel::RunState::running) {
        runFocusShortcuts(true);
    }

    // 14. The island's onShowSettings / onShowHistory will open the settings window here.
    // 15. The settings' onReplayTour will show the tour as a replay here.
    // 16. The tour's onOpenSettings, onRequestBrowserAccess and browserAccessGranted will be
    //     wired here (the site-blocker closures held weakly).
    // 17. When the first-run tour has not been seen, its window will be scheduled here 2.4
    //     seconds later.
    // 18. The tray menu reaches the island and the windows through these callbacks, each
    //     holding the delegate weakly.
    auto* menuBar = new MenuBarController(model(), *preferences_, this);
    menuBar->islandExpanded = [self] {
        return self && self->controller_ && self->controller_->island().isExpanded();
    };
    menuBar->onToggleIsland = [self] {
        if (self && self->controller_) self->controller_->toggleExpanded();
    };
    menuBar->currentIslandStyle = [self] {
        if (!self) return IslandStyle::automatic;
        return self->controller_ ? self->controller_->currentStyle()
                                 : self->preferences().islandStyle();
    };
    menuBar->preferredIslandStyle = [self] {
        return self ? self->preferences().islandStyle() : IslandStyle::automatic;
    };
    menuBar->onToggleIslandStyle = [self] {
        if (self && self->controller_) self->controller_->toggleStyle();
    };
    menuBar->onSelectStyle = [self](IslandStyle style) {
        if (self && self->controller_) self->controller_->setStyle(style);
    };
    // The island closes first; the settings and history windows open here once they exist.
    menuBar->onShowSettings = [self] {
        if (self && self->controller_) self->controller_->collapse();
    };
    menuBar->onShowHistory = [self] {
        if (self && self->controller_) self->controller_->collapse();
    };
    // The user's quit, asked from the event loop rather than from inside the menu.
    menuBar->onQuit = [self] {
        if (self) self->queueUserQuit();
    };
    // The TickTick hook will be given to the menu here as its task list (menuBar->tickTick).
    // 19. The tray icon follows menuBarIconEnabled, from now on.
    menuBar->updateVisibility();
    // 20. The global shortcuts, in the order startPause, showIsland, toggleStyle.
    shortcuts_ = new GlobalShortcuts(
        *preferences_, env_.hotKeys,
        [self](ShortcutAction action) {
            if (!self) return;
            switch (action) {
                case ShortcutAction::startPause:
                    self->model().toggle();
                    break;
                case ShortcutAction::showIsland:
                    if (self->controller_) self->controller_->toggleExpanded();
                    break;
                case ShortcutAction::toggleStyle:
                    if (self->controller_) self->controller_->toggleStyle();
                    break;
            }
        },
        this);
    shortcuts_->registerAll();
    // 21. While a shortcut is recorded no hot key is held; afterwards the missing ones are
    //     registered again.
    observers_.append(shortcuts_->followRecording());

    SystemEvents& events = env_.systemEvents;
    // 22. Day change, time-zone change and activation roll the statistics day.
    const auto refreshDay = [self] {
        if (self) self->model().refreshStatisticsDay();
    };
    observers_.append(connect(&events, &SystemEvents::dayChanged, this, refreshDay));
    observers_.append(connect(&events, &SystemEvents::timeZoneChanged, this, refreshDay));
    observers_.append(connect(&events, &SystemEvents::becameActive, this, refreshDay));
    // 23. Sleep: the site blocker will be suspended and refreshed here first; then the model.
    observers_.append(connect(&events, &SystemEvents::willSleep, this, [self] {
        if (self) self->model().systemWillSleep();
    }));
    // 24. Wake: the model first; the site blocker will then be resumed and refreshed here.
    observers_.append(connect(&events, &SystemEvents::didWake, this, [self] {
        if (self) self->model().systemDidWake();
    }));
    // 25. Screen lock.
    observers_.append(connect(&events, &SystemEvents::screenLocked, this, [self] {
        if (self) self->model().screenDidLock();
    }));

    // Last, the status object and the bus name: a second copy waits for the name before it sends
    // showIsland, and by then the subscription of step 7 is in place.
    publishOnBus();
}

void AppDelegate::publishOnBus() {
    QDBusConnection& bus = env_.sessionBus;
    if (!bus.isConnected()) return;
    status_ = new StatusService(*this, bus, QLatin1String(SingleInstance::kObjectPath));
    publishedObject_ =
        bus.registerObject(QLatin1String(SingleInstance::kObjectPath), status_,
                           QDBusConnection::ExportAllProperties | QDBusConnection::ExportAllSlots |
                               QDBusConnection::ExportAllSignals);
    ownsBusName_ = bus.registerService(QLatin1String(SingleInstance::kBusName));
}

void AppDelegate::onShowIsland() {
    if (controller_) controller_->expand(false);
    Q_EMIT showIslandRequested();
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
    if (controller_) controller_->expand(false);
    return true;
}

void AppDelegate::runFocusShortcuts(bool focusing) {
    // The focus shortcuts component will run the focus-start (true) or focus-end (false) Do Not
    // Disturb shortcut here, on its own serial queue.
    Q_EMIT focusShortcutRunRequested(focusing);
}

void AppDelegate::handleSiteWarning(const std::optional<QString>& ruleText, int secondsLeft) {
    drifts().siteWarning(ruleText, secondsLeft);
    if (controller_) controller_->showBlockWarning(ruleText, secondsLeft);
}

DriftCounter& AppDelegate::drifts() {
    if (!drifts_) drifts_ = new DriftCounter(model(), env_.driftLog, env_.scheduler, this);
    return *drifts_;
}

bool AppDelegate::askToQuit() {
    // Without a way to ask, the user did ask to quit.
    if (!env_.confirmation) return true;
    TimerModel& m = model();
    Confirmation::Question question;
    question.title = QStringLiteral("Tarnwhistle");
    question.text = QStringLiteral("Quit Tarnwhistle?");
    question.informativeText = QStringLiteral("Quit and end the ") + m.formattedRemaining() +
                               QLatin1Char(' ') + TimerModel::title(m.mode()).toLower() +
                               QStringLiteral(" session?");
    question.cancelLabel = QStringLiteral("Cancel");
    question.confirmLabel = QStringLiteral("Quit");
    return env_.confirmation->ask(question);
}

void AppDelegate::queueUserQuit() {
    // Asked from the event loop rather than from inside the menu that chose it.
    const QPointer<AppDelegate> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self) self->applicationShouldTerminate(QuitReason::user);
        },
        Qt::QueuedConnection);
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate(QuitReason reason) {
    // A quit already on its way finishes through its own reply.
    if (terminating_) return TerminateReply::later;

    // 1-2. Ask only when the user quits during a running or paused session.
    if (reason == QuitReason::user && env_.confirmation && env_.confirmation->isAsking()) {
        // Already asking: the open question decides.
        env_.confirmation->raise();
        return TerminateReply::cancel;
    }
    if (reason == QuitReason::user && model().isActive()) {
        const bool confirmed = askToQuit();
        // The session may have ended meanwhile for the system (it does not wait for the user).
        if (terminating_) return TerminateReply::later;
        if (!confirmed) return TerminateReply::cancel;
    }
    terminating_ = true;
    // A system quit closes a question still open; its answer no longer matters.
    if (env_.confirmation) env_.confirmation->dismiss();

    // 3. The site blocker will be suspended and refreshed here, and the settings controller's
    //    resetDNDSetup will drop a half-finished Do Not Disturb set-up here. Then the session
    //    ends the way a reset does, without an undo offer.
    model().resetSession();

    // 4. One reply, from whichever comes first: the clean-up chain or the time limit.
    const QPointer<AppDelegate> self(this);
    quitReply_ = std::make_shared<QuitReply>([self] {
        if (self) self->finishTermination();
    });
    std::weak_ptr<QuitReply> chain = quitReply_;
    QMetaObject::invokeMethod(
        this,
        [self, chain] {
            if (!self) return;
            // The site blocker's check in flight (its task), then its access probe (probeTask),
            // will be awaited here.
            // The cloud client's finalUpload will be awaited here, with a 3-second request
            // time-out.
            // The focus shortcuts' serial queue will then receive a job that hands the reply
            // back to the main thread, so that a queued focus-end shortcut runs first.
            QMetaObject::invokeMethod(
                self.data(),
                [chain] {
                    if (const auto reply = chain.lock()) reply->send();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    quitDeadline_ = env_.scheduler.callAfter(kQuitTimeLimit, [chain] {
        if (const auto reply = chain.lock()) reply->send();
    });

    // 5. The application terminates when the reply is first sent.
    return TerminateReply::later;
}

void AppDelegate::finishTermination() {
    if (terminated_) return;
    terminated_ = true;
    applicationWillTerminate();
    if (env_.terminate) env_.terminate();
}

void AppDelegate::applicationWillTerminate() {
    if (shortcuts_) shortcuts_->unregisterAll();
}

bool AppDelegate::applyShortcut(const ShortcutConfiguration& configuration, ShortcutAction action) {
    return shortcuts_ && shortcuts_->applyShortcut(configuration, action);
}

}  // namespace tw
