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

    // Each change is written in a later turn of the event loop, so that it reads fully applied
    // values; the changes of one turn (a phase end changes the mode, the run state, the end date,
    // the length and the history at once) make one write.
    connect(&model_, &TimerModel::runStateChanged, this, &FocusWidgetBridge::scheduleWrite);
    connect(&model_, &TimerModel::modeChanged, this, &FocusWidgetBridge::scheduleWrite);
    connect(&model_, &TimerModel::endDateChanged, this, &FocusWidgetBridge::scheduleWrite);
    connect(&model_, &TimerModel::phaseSecondsChanged, this, &FocusWidgetBridge::scheduleWrite);
    connect(&model_, &TimerModel::historyChanged, this, &FocusWidgetBridge::scheduleWrite);
    // The observations also deliver the values current when they start, in the same way.
    scheduleWrite();
}

void FocusWidgetBridge::scheduleWrite() {
    if (writePending_) return;
    writePending_ = true;
    // Queued to this object: a write still pending when the bridge goes away is dropped with it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            writePending_ = false;
            writeSnapshot();
        },
        Qt::QueuedConnection);
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
