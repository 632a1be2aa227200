#pragma once

#include <QList>
#include <QMetaObject>
#include <QSet>

#include "platform/Notifications.h"

namespace tw {

// A notification service in memory that behaves as the desktop's does: a notification that
// replaces one still shown keeps its identifier, any other gets a new one, and the answer comes
// from the event loop. A test reads what was sent, presses buttons and closes notifications.
class FakeNotifications final : public Notifications {
public:
    using Notifications::Notifications;

    // No service: every request is answered with `unavailable`.
    void setAvailable(bool available) { available_ = available; }

    void send(const NotificationRequest& request, Done done) override {
        sent_.append(request);
        NotificationResult result = NotificationResult::failure(NotificationError::unavailable());
        if (available_) {
            const bool replaces = request.replacesID != 0 && shown_.contains(request.replacesID);
            const quint32 id = replaces ? request.replacesID : nextID_++;
            shown_.insert(id);
            result = NotificationResult::success(id);
        }
        QMetaObject::invokeMethod(
            this,
            [done = std::move(done), result] {
                if (done) done(result);
            },
            Qt::QueuedConnection);
    }

    const QList<NotificationRequest>& sent() const { return sent_; }
    bool isShown(quint32 id) const { return shown_.contains(id); }

    // The user presses a button (of any notification, shown or not).
    void invoke(quint32 id, const QString& actionKey) { Q_EMIT actionInvoked(id, actionKey); }
    // The user dismisses a notification.
    void close(quint32 id) {
        shown_.remove(id);
        Q_EMIT closed(id);
    }

private:
    QList<NotificationRequest> sent_;
    QSet<quint32> shown_;
    quint32 nextID_ = 1;
    bool available_ = true;
};

}  // namespace tw
