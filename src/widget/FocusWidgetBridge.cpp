#include "widget/FocusWidgetBridge.h"

#include <QMetaObject>
#include <cmath>

#include "platform/UserDefaults.h"
#include "support/Calendar.h"
#include "timer/FocusHistory.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

QString minutesAndSeconds(qint64 seconds) {
    return QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60),
                             static_cast<long long>(seconds % 60));
}

}  // namespace

FocusWidgetBridge::FocusWidgetBridge(TimerModel& model, UserDefaults& suite, QObject* parent)
    : QObject(parent), model_(model), suite_(suite) {
    writeSnapshot();

    // Queued to this object: each change is written in a later turn, and a delivery still pending
    // when the bridge goes away is dropped with it.
    connect(&model_, &TimerModel::runStateChanged, this, &FocusWidgetBridge::writeSnapshot,
            Qt::QueuedConnection);
    connect(&model_, &TimerModel::modeChanged, this, &FocusWidgetBridge::writeSnapshot,
            Qt::QueuedConnection);
    connect(&model_, &TimerModel::endDateChanged, this, &FocusWidgetBridge::writeSnapshot,
            Qt::QueuedConnection);
    connect(&model_, &TimerModel::phaseSecondsChanged, this, &FocusWidgetBridge::writeSnapshot,
            Qt::QueuedConnection);
    connect(&model_, &TimerModel::historyChanged, this, &FocusWidgetBridge::writeSnapshot,
            Qt::QueuedConnection);

    // Each of the two observations (the timer's state, the history) also delivers the value
    // current when it starts, in the same deferred way.
    QMetaObject::invokeMethod(this, &FocusWidgetBridge::writeSnapshot, Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, &FocusWidgetBridge::writeSnapshot, Qt::QueuedConnection);
}

FocusWidgetSnapshot FocusWidgetBridge::currentSnapshot() const {
    const Instant now = model_.now();
    FocusWidgetSnapshot s;
    s.mode = TimerModel::title(model_.mode());
    s.state = TimerModel::rawValue(model_.runState());
    s.time = minutesAndSeconds(model_.remaining());
    if (const auto end = model_.endDate()) s.endDate = end->toUnix();
    s.phaseSeconds = model_.phaseSeconds();

    const FocusHistory live = model_.liveHistory(now);
    const auto today = live.days.constFind(Calendar::shared().dayKey(now));
    if (today != live.days.constEnd() && std::isfinite(today->seconds) && today->seconds > 0) {
        s.focusMinutesToday = static_cast<qint64>(std::floor(today->seconds / 60.0));
    }
    s.streak = stats::currentStreak(model_.history(), now);
    return s;
}

void FocusWidgetBridge::writeSnapshot() {
    const auto bytes = currentSnapshot().encode();
    if (!bytes) return;
    suite_.setData(QLatin1String(FocusWidgetSnapshot::kDefaultsKey), *bytes);
}

}  // namespace tw
