#include "shell/PhaseEndNotifier.h"

#include "preferences/AppPreferences.h"
#include "timer/FocusHistory.h"

namespace tw {

PhaseEndNotifier::PhaseEndNotifier(TimerModel& model, AppPreferences& preferences,
                                   Notifications& notifications, QObject* parent)
    : QObject(parent), model_(&model), preferences_(&preferences), notifications_(&notifications) {
    connect(&model, &TimerModel::phaseComplete, this, &PhaseEndNotifier::notify);
    connect(&notifications, &Notifications::actionInvoked, this,
            &PhaseEndNotifier::onActionInvoked);
    connect(&notifications, &Notifications::closed, this, &PhaseEndNotifier::onClosed);
}

NotificationRequest PhaseEndNotifier::request(Mode ended, const QString& body, quint32 replacesID) {
    const bool focus = ended == Mode::focus;
    NotificationRequest r;
    r.appName = QLatin1String(kAppName);
    r.icon = QLatin1String(kAppID);
    r.summary = focus ? QStringLiteral("Focus complete") : QStringLiteral("Break over");
    r.body = body;
    r.actions = {{QLatin1String(kStartNextKey),
                  focus ? QStringLiteral("Start break") : QStringLiteral("Start focus")}};
    r.desktopEntry = QLatin1String(kAppID);
    r.category = QLatin1String(kCategory);
    r.replacesID = replacesID;
    return r;
}

QString PhaseEndNotifier::body(const TimerModel& model, Mode ended) {
    // The card shows its figures after a focus phase only.
    const auto summary = model.sessionSummary();
    if (ended != Mode::focus || !summary) return {};
    return summary->line(stats::currentStreak(model.history(), model.now()));
}

void PhaseEndNotifier::notify(Mode ended) {
    if (!model_ || !preferences_ || !notifications_) return;
    if (!preferences_->phaseEndNotification()) return;
    // The last notification is replaced: its button no longer applies.
    offered_.reset();
    const quint64 send = ++sends_;
    const QPointer<PhaseEndNotifier> self(this);
    notifications_->send(request(ended, body(*model_, ended), current_.value_or(0)),
                         [self, send, ended](const NotificationResult& result) {
                             if (!self || self->sends_ != send) return;
                             // Without a notification service the phase end passes as before.
                             self->current_ = result.id;
                             if (result.ok()) self->offered_ = ended;
                         });
}

void PhaseEndNotifier::onActionInvoked(quint32 id, const QString& actionKey) {
    if (!model_ || !offered_ || current_ != id || actionKey != QLatin1String(kStartNextKey)) return;
    const Mode next = TimerModel::other(*offered_);
    offered_.reset();
    // The timer still waits at the start of the phase that followed; anything else means the
    // user has moved on.
    if (model_->runState() != TimerModel::RunState::idle || model_->mode() != next) return;
    model_->toggle();
}

void PhaseEndNotifier::onClosed(quint32 id) {
    if (current_ != id) return;
    current_.reset();
    offered_.reset();
}

}  // namespace tw
