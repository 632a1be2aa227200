#include "distraction/AppHider.h"

#include <QPointer>
#include <algorithm>

#include "platform/RunningApplications.h"
#include "platform/Scheduler.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

AppHider::AppHider(AppPreferences& preferences, TimerModel& model,
                   RunningApplications& applications, Scheduler& scheduler, QString ownDesktopId,
                   qint64 ownPid, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      model_(model),
      applications_(applications),
      scheduler_(scheduler),
      ownDesktopId_(std::move(ownDesktopId)),
      ownPid_(ownPid) {}

AppHider::~AppHider() = default;

void AppHider::start() {
    if (started_) return;
    started_ = true;
    connect(&model_, &TimerModel::modeChanged, this, &AppHider::stateChanged);
    connect(&model_, &TimerModel::runStateChanged, this, &AppHider::stateChanged);
    connect(&preferences_, &AppPreferences::hiddenAppsChanged, this, &AppHider::stateChanged);
    connect(&applications_, &RunningApplications::launched, this, &AppHider::launched);
    connect(&applications_, &RunningApplications::activated, this, &AppHider::hideIfChosen);
    stateChanged();
}

bool AppHider::isFocusRunning() const {
    return model_.mode() == TimerModel::Mode::focus &&
           model_.runState() == TimerModel::RunState::running;
}

bool AppHider::shouldHide(const QString& desktopId) const {
    if (!isFocusRunning() || desktopId.isEmpty()) return false;
    if (!ownDesktopId_.isEmpty() && desktopId == ownDesktopId_) return false;
    const HiddenApps& listed = preferences_.hiddenApps();
    return std::any_of(listed.cbegin(), listed.cend(),
                       [&](const HiddenApp& app) { return app.bundleID == desktopId; });
}

void AppHider::hideIfChosen(const RunningApplication& application) {
    if (!shouldHide(application.desktopId)) return;
    // This process, whatever id its windows were matched to.
    if (ownPid_ > 0 && application.pid == ownPid_) return;
    // An application that quit has no windows left, which counts as hidden.
    if (applications_.isHidden(application)) return;
    applications_.hide(application);
}

void AppHider::hideChosenApps() {
    if (!isFocusRunning()) return;
    const HiddenApps listed = preferences_.hiddenApps();
    for (const HiddenApp& app : listed) {
        for (const RunningApplication& running : applications_.running(app.bundleID))
            hideIfChosen(running);
    }
}

void AppHider::stateChanged() {
    // Launches and activations matter only while focus runs; nothing is followed otherwise.
    if (isFocusRunning() && !watch_) {
        watch_ = applications_.watch();
    } else if (!isFocusRunning()) {
        watch_.reset();
    }
    hideChosenApps();
}

void AppHider::launched(const RunningApplication& application) {
    hideIfChosen(application);
    // An application whose first window comes late is caught by a second attempt, which asks
    // every question again when it runs.
    scheduler_.post(secondAttemptSeconds, [self = QPointer<AppHider>(this), application] {
        if (self) self->hideIfChosen(application);
    });
}

}  // namespace tw
