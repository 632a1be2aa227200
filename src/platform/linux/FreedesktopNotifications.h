#pragma once

// Desktop notifications through the notification service of the freedesktop.org desktops
// (org.freedesktop.Notifications at /org/freedesktop/Notifications on the session bus), which
// GNOME Shell, KDE Plasma, dunst, mako, xfce4-notifyd and others provide.
//
// Notify is called asynchronously and its answer goes to the caller's callback: a desktop
// without the service answers `unavailable` within the bus's own time (at once when nothing owns
// or can start the name). The service's ActionInvoked and NotificationClosed signals are passed
// on for the notifications this object sent; those of other applications are ignored.

#include <QDBusConnection>
#include <QSet>
#include <QString>

#include "platform/Notifications.h"

namespace tw {

class FreedesktopNotifications final : public Notifications {
    Q_OBJECT
public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";
    static constexpr const char* kInterface = "org.freedesktop.Notifications";

    explicit FreedesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                      QObject* parent = nullptr);
    ~FreedesktopNotifications() override;

    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout):
    // the actions as alternating keys and labels, the hints "desktop-entry" and "category" when
    // given, and the desktop's own display time.
    void send(const NotificationRequest& request, Done done) override;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& actionKey);
    void onNotificationClosed(uint id, uint reason);

private:
    void subscribe(bool on);

    QDBusConnection bus_;
    QSet<quint32> sent_;  // the notifications of this object the service may still report on
};

}  // namespace tw
