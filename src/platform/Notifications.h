#pragma once

// Desktop notifications: a short message the desktop shows outside the application's own
// windows, with buttons ("actions") the user may press. The desktop decides how and whether to
// show it (a Do Not Disturb mode may keep it silent); the application only asks.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace tw {

// A button of a notification: `key` comes back through actionInvoked, `label` is shown.
struct NotificationAction {
    QString key;
    QString label;
    friend bool operator==(const NotificationAction&, const NotificationAction&) = default;
};

struct NotificationRequest {
    QString appName;
    QString icon;  // an icon name of the desktop's theme
    QString summary;
    QString body;
    QList<NotificationAction> actions;
    QString desktopEntry;    // the application's desktop-entry id, without ".desktop"
    QString category;        // the kind of event, for the desktop's grouping and settings
    quint32 replacesID = 0;  // the notification this one takes the place of; 0 for none
    friend bool operator==(const NotificationRequest&, const NotificationRequest&) = default;
};

// Why a notification was not shown.
struct NotificationError {
    enum class Kind {
        unavailable,  // no notification service on this desktop
        failed,       // the service answered with an error
    };
    Kind kind = Kind::unavailable;
    QString message;  // the service's own words; for logs only

    static NotificationError unavailable(QString message = {}) {
        return {Kind::unavailable, std::move(message)};
    }
    static NotificationError failed(QString message = {}) {
        return {Kind::failed, std::move(message)};
    }
    friend bool operator==(const NotificationError&, const NotificationError&) = default;
};

// Either the identifier the service gave the notification or an error.
struct NotificationResult {
    std::optional<quint32> id;
    NotificationError error;

    bool ok() const { return id.has_value(); }
    static NotificationResult success(quint32 id) { return {id, {}}; }
    static NotificationResult failure(NotificationError e) { return {std::nullopt, std::move(e)}; }
};

class Notifications : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const NotificationResult&)>;

    explicit Notifications(QObject* parent = nullptr) : QObject(parent) {}
    ~Notifications() override = default;

    // Asks the desktop to show `request`. Never waits for the desktop: `done` (which may be
    // empty) is answered once, on the main thread from the event loop, never from inside this
    // call, and not at all once this object is gone.
    virtual void send(const NotificationRequest& request, Done done) = 0;

Q_SIGNALS:
    // The user pressed the button `actionKey` of a notification this object sent.
    void actionInvoked(quint32 id, const QString& actionKey);
    // A notification this object sent was closed: dismissed, expired or replaced by the desktop.
    void closed(quint32 id);
};

}  // namespace tw
