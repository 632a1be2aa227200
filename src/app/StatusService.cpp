#include "app/StatusService.h"

#include <QDBusMessage>
#include <QVariantMap>
#include <algorithm>
#include <limits>

#include "app/AppDelegate.h"
#include "support/Uuid.h"
#include "timer/TimerModel.h"

namespace tw {

StatusService::StatusService(AppDelegate& delegate, QDBusConnection bus, QString objectPath)
    : QObject(&delegate),
      delegate_(&delegate),
      bus_(std::move(bus)),
      objectPath_(std::move(objectPath)) {
    connect(&delegate, &AppDelegate::showIslandRequested, this, &StatusService::IslandRequested);
    TimerModel& model = delegate.model();
    connect(&model, &TimerModel::modeChanged, this, [this] { changed("Mode"); });
    connect(&model, &TimerModel::runStateChanged, this, [this] { changed("RunState"); });
    connect(&model, &TimerModel::endDateChanged, this, [this] { changed("EndDate"); });
    connect(&model, &TimerModel::sessionIDChanged, this, [this] { changed("SessionID"); });
}

void StatusService::changed(const char* property) {
    const QString name = QLatin1String(property);
    if (pending_.contains(name)) return;
    if (pending_.isEmpty()) {
        QMetaObject::invokeMethod(this, &StatusService::announce, Qt::QueuedConnection);
    }
    pending_.append(name);
}

void StatusService::announce() {
    if (pending_.isEmpty()) return;
    QVariantMap values;
    for (const QString& name : std::as_const(pending_)) {
        values.insert(name, property(name.toLatin1().constData()));
    }
    pending_.clear();
    if (!bus_.isConnected()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(objectPath_, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("dev.tarnwhistle.app") << values << QStringList();
    bus_.send(signal);
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
