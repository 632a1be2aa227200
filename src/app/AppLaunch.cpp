// The launch steps of the application delegate, one function per subsystem, in their fixed order.
#include <QCoreApplication>
#include <QPointer>

#include "app/AppDelegate.h"

#include "app/FocusControl.h"
#include "app/FocusTasks.h"
#include "app/SingleInstance.h"
#include "app/StatusService.h"
#include "distraction/AppHider.h"
#include "distraction/DNDSetup.h"
#include "distraction/FocusShortcuts.h"
#include "distraction/SiteBlocker.h"
#include "island/IslandController.h"
#include "platform/BrowserAutomation.h"
#include "platform/CredentialStore.h"
#include "platform/RunningApplications.h"
#include "platform/SystemEvents.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"
#include "shell/MenuBarController.h"
#include "shell/PhaseEndNotifier.h"
#include "support/Paths.h"
#include "sync/CloudClient.h"
#include "sync/EventEmitter.h"
#include "sync/NtfyNotifier.h"
#include "ticktick/TickTickClient.h"
#include "ticktick/TickTickFocusHook.h"
#include "timer/TestimonialStore.h"
#include "timer/TimerModel.h"
#include "widget/FocusWidgetBridge.h"

namespace tw {

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) return;
    launched_ = true;
    wireIntents();          // 1. the command lines, desktop actions and D-Bus methods
    wireDesktopWidget();    // 2. the snapshot for the desktop widget
    wireIsland();           // 3. the island, shown with a short peek
    wireTickTick();         // 4-6. the task attached to focus, completed when focus runs out
    listenForShowIsland();  // 7. a second copy's request
    // Then the status object and the bus name: a second copy waits for the name before it sends
    // showIsland, and by then the subscription of step 7 is in place. Claimed before the steps
    // that may wait on the keyring, so that a slow keyring never delays the hand-over; a copy
    // that finds the name taken leaves here without starting anything more.
    publishOnBus();
    if (terminated_) return;
    wireSync();  // 8-9. the cloud client and the event emitter (with the ntfy notifier)
    wirePhaseEndNotification();  // the desktop notification when a phase runs out
    wireDistraction();           // 10-11. the application hider and the site blocker
    wireFocusShortcuts();        // 12-13. Do Not Disturb follows focus activity
    // 14-17. The settings window, the tour replay and the first-run tour (2.4 s after launch
    //        when unseen).
    wireTray();             // 18-19. the tray menu and its icon
    wireGlobalShortcuts();  // 20-21. the three global shortcuts
    followSystemEvents();   // 22-25. day, time zone, sleep, wake, lock
}

void AppDelegate::wireIntents() {
    // The intent bridge keeps a weak reference to the model, and its methods go on the bus. This
    // is the model's first use: it loads the history and restores a saved session.
    FocusControl::shared().setModel(&model());
    FocusControlService::publish(env_.sessionBus, FocusControl::shared(), this);
}

void AppDelegate::wireDesktopWidget() {
    // The bridge writes its first snapshot and follows the model.
    widgetBridge_ = new FocusWidgetBridge(model(), env_.appGroup, this);
}

void AppDelegate::wireIsland() {
    // Created once, kept for the life of the process, shown and given a short peek.
    testimonials_ = std::make_unique<TestimonialStore>(env_.scheduler.clock());
    if (env_.makeIsland) {
        controller_ = env_.makeIsland(model(), *preferences_, env_.scheduler, &env_.driftLog,
                                      testimonials_.get(), this);
    }
    if (!controller_) return;
    const QPointer<AppDelegate> self(this);
    // The island's settings and history requests open those windows here once they exist.
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

void AppDelegate::wireTickTick() {
    tickTick_ = new TickTickFocusHook(*preferences_, this);
    // 4. The hook's task client, over the keyring's item for TickTick.
    if (env_.credentials) {
        tickTickStore_ = env_.credentials(QLatin1String(TickTickClient::kCredentialService));
    }
    if (tickTickStore_) {
        TickTickClient::Environment environment{*preferences_, *tickTickStore_, env_.scheduler};
        if (env_.tickTickURL.isValid()) environment.apiURL = env_.tickTickURL;
        tickTickClient_ = new TickTickClient(environment, this);
        tickTick_->setClient(tickTickClient_);
    }
    // 5. A focus phase that runs to its end completes the attached task.
    tickTick_->attach(model());
    // 6. The open tasks follow the connection; switched off, the hook forgets them.
    if (tickTickClient_) {
        const QPointer<TickTickFocusHook> hook(tickTick_);
        auto connected = std::make_shared<bool>(tickTickClient_->isConnected());
        observers_.append(connect(tickTickClient_, &TickTickClient::isConnectedChanged, this,
                                  [hook, connected](bool now) {
                                      if (now == *connected) return;  // repeats removed
                                      *connected = now;
                                      if (hook) hook->refresh();
                                  }));
    }
    observers_.append(connect(preferences_, &AppPreferences::tickTickEnabledChanged, tickTick_,
                              [hook = QPointer<TickTickFocusHook>(tickTick_)](bool enabled) {
                                  if (!enabled && hook) hook->clear();
                              }));
    // The island's task picker lists the hook's tasks and shows its choice, wherever it was made.
    if (controller_) {
        controller_->setTaskSource(focusTaskSource(tickTick_));
        IslandController* island = controller_.get();
        observers_.append(connect(tickTick_, &TickTickFocusHook::tasksChanged, island,
                                  &IslandController::taskSourceUpdated));
        observers_.append(connect(tickTick_, &TickTickFocusHook::selectedTaskChanged, island,
                                  &IslandController::taskSourceUpdated));
    }
}

void AppDelegate::listenForShowIsland() {
    // From any sender on the session bus.
    if (!env_.sessionBus.isConnected()) return;
    env_.sessionBus.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                            QLatin1String(SingleInstance::kInterface),
                            QLatin1String(SingleInstance::kShowIsland), this, SLOT(onShowIsland()));
}

void AppDelegate::wireSync() {
    // 8. The website client follows the history and uploads it; connected, it refreshes now.
    if (env_.credentials && env_.urlOpener && env_.computerName) {
        cloudStore_ = env_.credentials(QLatin1String(CloudClient::kCredentialService));
        cloudLedgerStore_ = env_.credentials(QLatin1String(CloudClient::kLedgerService));
    }
    if (cloudStore_ && cloudLedgerStore_) {
        cloud_ = new CloudClient(
            CloudClient::Environment{model(), env_.websiteURL, *cloudStore_, *cloudLedgerStore_,
                                     env_.standard, env_.scheduler, *env_.urlOpener,
                                     *env_.computerName},
            this);
        cloud_->start();
    }
    // 9. The focus events go to the website (and on to a paired phone) and to ntfy.
    ntfy_ = new NtfyNotifier(*preferences_, env_.scheduler, nullptr, {}, this);
    eventEmitter_ = new EventEmitter(cloud_, ntfy_, env_.scheduler, this);
    eventEmitter_->attach(&model());
}

void AppDelegate::wirePhaseEndNotification() {
    // Follows the model's announced phase ends and the preference from now on; its button starts
    // the next phase on the model, as the completion card's does.
    new PhaseEndNotifier(model(), *preferences_, env_.notifications, this);
}

void AppDelegate::wireDistraction() {
    const QPointer<AppDelegate> self(this);
    RunningApplications* applications = env_.applications;
    // 10. The listed applications hide while focus runs; never this program.
    if (applications) {
        auto* hider =
            new AppHider(*preferences_, model(), *applications, env_.scheduler,
                         QLatin1String(paths::kAppId), QCoreApplication::applicationPid(), this);
        hider->start();
    }
    // 11. The site blocker.
    if (env_.browsers) {
        SiteBlocker::Uptime uptime = env_.uptime;
        if (!uptime) {
            Scheduler* scheduler = &env_.scheduler;
            uptime = [scheduler] { return scheduler->now().seconds; };
        }
        SiteBlocker::FrontBrowser front = [applications]() -> std::optional<FocusBrowser> {
            if (!applications) return std::nullopt;
            const auto app = applications->frontmost();
            return app ? focusBrowserOf(*app) : std::nullopt;
        };
        siteBlocker_ = new SiteBlocker(model(), *preferences_, *env_.browsers, env_.scheduler,
                                       std::move(uptime), std::move(front), this);
        connect(siteBlocker_, &SiteBlocker::warning, this, &AppDelegate::handleSiteWarning);
        connect(siteBlocker_, &SiteBlocker::blocked, this, [self](const QString& rule) {
            if (self && self->controller_) self->controller_->showBlockedSite(rule);
        });
        if (applications) {
            // Another application in front decides afresh; the desktop is followed only while
            // a focus phase runs with sites to block.
            connect(applications, &RunningApplications::activated, siteBlocker_,
                    &SiteBlocker::frontApplicationChanged);
            connect(siteBlocker_, &SiteBlocker::activeChanged, this, [self](bool active) {
                if (!self) return;
                if (!active) {
                    self->browserWatch_.reset();
                } else if (!self->browserWatch_) {
                    self->browserWatch_ = self->env_.applications->watch();
                }
            });
        }
        siteBlocker_->start();
    }
}

void AppDelegate::wireFocusShortcuts() {
    if (env_.processes) {
        focusShortcuts_ = new FocusShortcuts(*preferences_, *env_.processes, env_.scheduler,
                                             env_.shortcutsTool, this);
        if (env_.opener) {
            dndSetup_ = new DNDSetup(*preferences_, *env_.processes, env_.scheduler, *env_.opener,
                                     env_.resourcesFolder, env_.shortcutsTool, this);
        }
    }
    connect(&model(), &TimerModel::focusActivityChanged, this,
            [this](bool focusing) { runFocusShortcuts(focusing); });
    // A restored running focus phase counts as one that has just started.
    if (model().mode() == TimerModel::Mode::focus &&
        model().runState() == TimerModel::RunState::running) {
        runFocusShortcuts(true);
    }
}

void AppDelegate::wireTray() {
    // The tray menu reaches the island and the windows through these callbacks, each holding the
    // delegate weakly.
    const QPointer<AppDelegate> self(this);
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
    // The task entry lists the TickTick hook's tasks, the same the island's picker offers.
    if (tickTick_) menuBar->tickTick = focusTaskSource(tickTick_);
    // The tray icon follows menuBarIconEnabled, from now on.
    menuBar->updateVisibility();
}

void AppDelegate::wireGlobalShortcuts() {
    // In the order startPause, showIsland, toggleStyle.
    const QPointer<AppDelegate> self(this);
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
    // While a shortcut is recorded no hot key is held; afterwards the missing ones are
    // registered again.
    observers_.append(shortcuts_->followRecording());
}

void AppDelegate::followSystemEvents() {
    const QPointer<AppDelegate> self(this);
    SystemEvents& events = env_.systemEvents;
    // Day change, time-zone change and activation roll the statistics day.
    const auto refreshDay = [self] {
        if (self) self->model().refreshStatisticsDay();
    };
    observers_.append(connect(&events, &SystemEvents::dayChanged, this, refreshDay));
    observers_.append(connect(&events, &SystemEvents::timeZoneChanged, this, refreshDay));
    observers_.append(connect(&events, &SystemEvents::becameActive, this, refreshDay));
    // Sleep: the site blocker stops first (a tab is never blanked across a sleep); then the model.
    observers_.append(connect(&events, &SystemEvents::willSleep, this, [self] {
        if (!self) return;
        if (self->siteBlocker_) self->siteBlocker_->setSuspended(true);
        self->model().systemWillSleep();
    }));
    // Wake: the model first; then the site blocker decides afresh.
    observers_.append(connect(&events, &SystemEvents::didWake, this, [self] {
        if (!self) return;
        self->model().systemDidWake();
        if (self->siteBlocker_) self->siteBlocker_->setSuspended(false);
    }));
    observers_.append(connect(&events, &SystemEvents::screenLocked, this, [self] {
        if (self) self->model().screenDidLock();
    }));
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
    if (!ownsBusName_) {
        // Another copy of this desktop session owns the name (one that the look at the running
        // processes could not see): it is the one that stays. Hand over and leave without
        // touching the timer, whose saved session is that copy's too.
        SingleInstance::sendShowIsland(bus, 0);
        terminated_ = true;
        if (env_.terminate) env_.terminate();
    }
}

}  // namespace tw
