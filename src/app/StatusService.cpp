#include "app/StatusService.h"

#include <algorithm>
#include <limits>

#include "app/AppDelegate.h"
#include "support/Uuid.h"
#include "timer/TimerModel.h"

namespace tw {

StatusService::StatusService(AppDelegate& delegate) : QObject(&delegate), delegate_(&delegate) {
    connect(&delegate, &AppDelegate::showIslandRequested, this, &StatusService::IslandRequested);
}

QString StatusService::mode() const {
    return delegate_ ? TimerModel::rawValue(delegate_->model().mode()) : QString();
}

QString StatusService::runState() const {
    return delegate_ ? TimerModel::rawValue(delegate_->model().runState()) : QString();
}

int StatusService::remaining() const {
    if (!delegate_) return 0;
    const qint64 r = delegate_->model().remaining();
    return static_cast<int>(std::clamp<qint64>(r, 0, std::numeric_limits<int>::max()));
}

double StatusService::endDate() const {
    if (!delegate_) return 0;
    const auto end = delegate_->model().endDate();
    return end ? end->toUnix() : 0.0;
}

QString StatusService::sessionID() const {
    return delegate_ ? uuidText(delegate_->model().sessionID()) : QString();
}

void StatusService::Quit() {
    // Answer the caller at once; the question, if any, is asked from the event loop.
    QMetaObject::invokeMethod(
        this,
        [d = delegate_] {
            if (d) d->applicationShouldTerminate(AppDelegate::QuitReason::user);
        },
        Qt::QueuedConnection);
}

}  // namespace tw
