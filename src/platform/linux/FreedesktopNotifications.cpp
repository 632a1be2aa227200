#include "platform/linux/FreedesktopNotifications.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QMetaObject>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>

namespace tw {
namespace {

QString text(const char* s) {
    return QString::fromLatin1(s);
}

// The errors that mean nothing answers for the name: no service rather than a failing one.
bool meansUnavailable(QDBusError::ErrorType type) {
    switch (type) {
        case QDBusError::ServiceUnknown:
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
        case QDBusError::Disconnected:
        case QDBusError::NoServer:
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
            return true;
        default:
            return false;
    }
}

}  // namespace

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus, QObject* parent)
    : Notifications(parent), bus_(std::move(bus)) {
    subscribe(true);
}

FreedesktopNotifications::~FreedesktopNotifications() {
    subscribe(false);
}

void FreedesktopNotifications::subscribe(bool on) {
    if (!bus_.isConnected()) return;
    const QString service = text(kService), path = text(kPath), interface = text(kInterface);
    if (on) {
        bus_.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                     SLOT(onActionInvoked(uint, QString)));
        bus_.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                     SLOT(onNotificationClosed(uint, uint)));
    } else {
        bus_.disconnect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                        SLOT(onActionInvoked(uint, QString)));
        bus_.disconnect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                        SLOT(onNotificationClosed(uint, uint)));
    }
}

void FreedesktopNotifications::send(const NotificationRequest& request, Done done) {
    if (!bus_.isConnected()) {
        QMetaObject::invokeMethod(
            this,
            [done = std::move(done)] {
                if (done) done(NotificationResult::failure(NotificationError::unavailable()));
            },
            Qt::QueuedConnection);
        return;
    }
    QStringList actions;
    for (const NotificationAction& action : request.actions) actions << action.key << action.label;
    QVariantMap hints;
    if (!request.desktopEntry.isEmpty())
        hints.insert(QStringLiteral("desktop-entry"), request.desktopEntry);
    if (!request.category.isEmpty()) hints.insert(QStringLiteral("category"), request.category);

    QDBusMessage call = QDBusMessage::createMethodCall(text(kService), text(kPath),
                                                       text(kInterface), QStringLiteral("Notify"));
    call << request.appName << uint(request.replacesID) << request.icon << request.summary
         << request.body << actions << hints << qint32(-1);

    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<uint> reply = *w;
                NotificationResult result = NotificationResult::failure({});
                if (reply.isError()) {
                    const QDBusError error = reply.error();
                    result = NotificationResult::failure(
                        meansUnavailable(error.type())
                            ? NotificationError::unavailable(error.message())
                            : NotificationError::failed(error.message()));
                } else {
                    sent_.insert(reply.value());
                    result = NotificationResult::success(reply.value());
                }
                if (done) done(result);
            });
}

void FreedesktopNotifications::onActionInvoked(uint id, const QString& actionKey) {
    if (sent_.contains(id)) Q_EMIT actionInvoked(id, actionKey);
}

void FreedesktopNotifications::onNotificationClosed(uint id, uint) {
    if (sent_.remove(id)) Q_EMIT closed(id);
}

}  // namespace tw
