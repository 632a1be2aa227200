#include "platform/linux/DesktopTrayHost.h"

#include <QDBusConnection>
#include <QSystemTrayIcon>

namespace tw {

DesktopTrayHost::DesktopTrayHost(QObject* parent)
    : TrayHost(parent),
      watcher_(QStringLiteral("org.kde.StatusNotifierWatcher"), QDBusConnection::sessionBus(),
               QDBusServiceWatcher::WatchForOwnerChange) {
    available_ = QSystemTrayIcon::isSystemTrayAvailable();
    connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this, &DesktopTrayHost::recheck);
}

void DesktopTrayHost::recheck() {
    const bool now = QSystemTrayIcon::isSystemTrayAvailable();
    if (now == available_) return;
    available_ = now;
    Q_EMIT availabilityChanged(now);
}

}  // namespace tw
