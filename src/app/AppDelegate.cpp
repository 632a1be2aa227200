#include "app/AppDelegate.h"

#include <QCoreApplication>

#include "app/FocusControl.h"
#include "app/SingleInstance.h"
#include "app/StatusService.h"
#include "distraction/DNDSetup.h"
#include "distraction/DriftCounter.h"
#include "distraction/FocusShortcuts.h"
#include "distraction/SiteBlocker.h"
#include "island/IslandController.h"
#include "island/IslandViewStyle.h"
#include "platform/Confirmation.h"
#include "platform/CredentialStore.h"
#include "platform/RunningApplications.h"
#include "platform/SystemEvents.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"
#include "shell/MenuBarController.h"
#include "sync/CloudClient.h"
#include "timer/DriftLog.h"
#include "timer/TestimonialStore.h"
#include "timer/TimerModel.h"
#include "widget/FocusWidgetBridge.h"

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

void AppDelegate::onShowIsland() {
    if (controller_) controller_->expand(false);
    Q_EMIT showIslandRequested();
}

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
    if (controller_) controller_->expand(false);
    return true;
}

void AppDelegate::runFocusShortcuts(bool focusing) {
    // The focus-start (true) or focus-end (false) Do Not Disturb shortcut, on the shortcuts'
    // own queue.
    Q_EMIT focusShortcutRunRequested(focusing);
    if (focusShortcuts_) focusShortcuts_->run(focusing);
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
    question.accent = islandstyle::modeColor(m.mode());
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

    // 3. The site blocker stops and a half-finished Do Not Disturb set-up is dropped with its
    //    files. Then the session ends the way a reset does, without an undo offer.
    if (siteBlocker_) siteBlocker_->setSuspended(true);
    if (dndSetup_) dndSetup_->resetDNDSetup();
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
            // The reply waits behind the focus shortcuts' queue, so that the focus-end shortcut
            // the reset above asked for runs first.
            const auto afterShortcuts = [self, chain] {
                const auto send = [chain] {
                    if (const auto reply = chain.lock()) reply->send();
                };
                if (self && self->focusShortcuts_) {
                    self->focusShortcuts_->whenDone(send);
                } else {
                    QMetaObject::invokeMethod(QCoreApplication::instance(), send,
                                              Qt::QueuedConnection);
                }
            };
            // Before that the history's last upload, each request bounded at 3 seconds (the
            // whole wait is bounded by the time limit below).
            const auto afterUpload = [self, afterShortcuts] {
                if (self && self->cloud_) {
                    self->cloud_->finalUpload(kFinalUploadTimeout, afterShortcuts);
                } else {
                    afterShortcuts();
                }
            };
            // First the site blocker's check in flight and its access probe, if any.
            if (self->siteBlocker_) {
                self->siteBlocker_->whenIdle(afterUpload);
            } else {
                afterUpload();
            }
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
