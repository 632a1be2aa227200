#include "platform/linux/HostnamedComputerName.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QSysInfo>
#include <QTimer>

namespace tw {

namespace {

QString hostName() {
    return QSysInfo::machineHostName().trimmed();
}

}  // namespace

HostnamedComputerName::HostnamedComputerName(QDBusConnection systemBus, QObject* parent)
    : QObject(parent), bus_(std::move(systemBus)) {}

void HostnamedComputerName::lookUp(std::function<void(const QString&)> done) {
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, this, [done = std::move(done)] { done(hostName()); });
        return;
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.hostname1"), QStringLiteral("/org/freedesktop/hostname1"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    ask << QStringLiteral("org.freedesktop.hostname1") << QStringLiteral("PrettyHostname");
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *w;
                QString name;
                if (!reply.isError()) name = reply.value().variant().toString().trimmed();
                done(name.isEmpty() ? hostName() : name);
            });
}

}  // namespace tw
