#include "app/FocusControl.h"

#include <QDBusError>
#include <QDBusMessage>

#include "timer/TimerModel.h"

namespace tw {

namespace {

using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

QString startedFor(qint64 minutes) {
    return QStringLiteral("Focus session started for ") + QString::number(minutes) +
           QStringLiteral(" minutes.");
}

QString outOfRange() {
    return QStringLiteral("That duration is out of range.");
}

// Ends a break, waiting, running or paused, without completing it: the model moves to an idle
// focus phase of full length, and the observers see the break end uncompleted.
void dropBreak(TimerModel& model) {
    if (model.mode() == Mode::rest) model.finishPhase(false, true, std::nullopt);
}

}  // namespace

FocusControl& FocusControl::shared() {
    static FocusControl instance;
    return instance;
}

void FocusControl::setModel(TimerModel* model) {
    model_ = model;
}

TimerModel* FocusControl::model() const {
    return model_.data();
}

QString FocusControl::notRunning() {
    return QStringLiteral("Tarnwhistle is not running.");
}

FocusAnswer FocusControl::answerStartFocus(std::optional<int> minutes) {
    TimerModel* model = model_.data();
    if (!model) return {notRunning(), false};

    if (minutes && *minutes >= 1) {
        if (*minutes > kMaxMinutes) return {outOfRange(), false};
        dropBreak(*model);
        const bool wasRunning = model->runState() == RunState::running;
        // A running phase restarts with the new length; an idle or paused one takes the length
        // and is started here, so that the answer tells the truth.
        if (!model->setDuration(QString::number(*minutes))) return {outOfRange(), false};
        if (!wasRunning) model->toggle();
        return {startedFor(*minutes), true};
    }

    if (model->isActive()) {
        // Already as asked only when focus is what runs.
        return {QStringLiteral("A session is already running."),
                model->mode() == Mode::focus && model->runState() == RunState::running};
    }
    dropBreak(*model);
    model->toggle();
    return {startedFor(model->focusMinutes()), true};
}

FocusAnswer FocusControl::answerPauseOrResume() {
    TimerModel* model = model_.data();
    if (!model) return {notRunning(), false};
    switch (model->runState()) {
        case RunState::idle:
            return {QStringLiteral("Nothing is running \u2014 say start focus to begin."), false};
        case RunState::running:
            model->toggle();
            return {QStringLiteral("Paused. The session is kept."), true};
        case RunState::paused:
            model->toggle();
            return {QStringLiteral("Resumed."), true};
    }
    return {};
}

FocusAnswer FocusControl::answerEndFocus() {
    TimerModel* model = model_.data();
    if (!model) return {notRunning(), false};
    // Nothing to end is already as asked.
    if (!model->isActive()) return {QStringLiteral("Nothing is running."), true};
    model->finishPhase(false, true, std::nullopt);
    return {QStringLiteral("Session ended."), true};
}

bool FocusControl::isAction(const QString& name) {
    return name == QLatin1String("start-focus") || name == QLatin1String("pause-or-resume") ||
           name == QLatin1String("end-focus");
}

FocusAnswer FocusControl::answer(const QString& name, int minutes) {
    if (name == QLatin1String("start-focus"))
        return answerStartFocus(minutes >= 1 ? std::optional<int>(minutes) : std::nullopt);
    if (name == QLatin1String("pause-or-resume")) return answerPauseOrResume();
    if (name == QLatin1String("end-focus")) return answerEndFocus();
    return {};
}

// The bus service.

FocusControlService::FocusControlService(FocusControl& control, QObject* parent)
    : QObject(parent), control_(control) {}

FocusControlService* FocusControlService::publish(QDBusConnection bus, FocusControl& control,
                                                  QObject* owner) {
    if (!bus.isConnected()) return nullptr;
    auto* service = new FocusControlService(control, owner);
    if (!bus.registerObject(QLatin1String(kObjectPath), service, QDBusConnection::ExportAllSlots)) {
        delete service;
        return nullptr;
    }
    return service;
}

QString FocusControlService::StartFocus(int minutes) {
    return control_.startFocus(minutes >= 1 ? std::optional<int>(minutes) : std::nullopt);
}

QString FocusControlService::PauseOrResume() {
    return control_.pauseOrResume();
}

QString FocusControlService::EndFocus() {
    return control_.endFocus();
}

QString FocusControlService::Run(const QString& action, int minutes, bool& tookEffect) {
    if (!FocusControl::isAction(action)) {
        if (calledFromDBus())
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No such action: ") + action);
        tookEffect = false;
        return {};
    }
    const FocusAnswer a = control_.answer(action, minutes);
    tookEffect = a.tookEffect;
    return a.sentence;
}

}  // namespace tw
