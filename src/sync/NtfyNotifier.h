#pragma once

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Scheduler.h"
#include "sync/FocusEvent.h"
#include "sync/NtfyReply.h"
#include "sync/NtfyTopic.h"
#include "sync/NtfyTransport.h"

namespace tw {

class AppPreferences;
class UserDefaults;

// How often the notifier may publish.
struct NtfyLimits {
    double minimumSpacing = 3;  // seconds between two publishes at least
    int maxPerHour = 30;        // publishes in any sliding hour at most
};

// Phone notifications through ntfy: turns focus and break starts and ends into notifications
// published on the user's private topic on the ntfy server of the preferences. It spaces and
// caps its publishes, honours the server's rate limiting, retries a failed publish once, and
// keeps a short sentence about the last failure for the settings.
class NtfyNotifier : public QObject {
    Q_OBJECT
public:
    // Defaults keys.
    static constexpr const char* enabledKey = "ntfyNotificationsEnabled";
    static constexpr const char* topicKey = "ntfyTopic";
    // Pixels per module of the topic's QR code (and of the pairing code's).
    static constexpr int qrScale = 8;
    // The wait before the one retry of a publish that failed on the way or with a 5xx.
    static constexpr double retryWait = 2;

    using Limits = NtfyLimits;

    // Reads `enabled` and the topic from the preferences' defaults (a missing or unreadable topic
    // is replaced by a new one, stored at once) and publishes to the preferences' ntfy server.
    // Without a transport the HTTPS one is made. Time is read from `scheduler`, which also times
    // the retry.
    NtfyNotifier(AppPreferences& preferences, Scheduler& scheduler,
                 std::unique_ptr<NtfyTransport> transport = nullptr, Limits limits = {},
                 QObject* parent = nullptr);
    ~NtfyNotifier() override;

    // Published state.
    bool enabled() const { return enabled_; }
    const NtfyTopic& topic() const { return topic_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    qint64 delivered() const { return delivered_; }    // publishes the server accepted
    qint64 suppressed() const { return suppressed_; }  // notifications that were not delivered
    int queued() const { return queued_; }             // publishes started and not finished
    const Limits& limits() const { return limits_; }

    // Where the notifications go, from the preferences.
    QUrl server() const;
    // The address the phone subscribes to: the server's address, "/" and the topic.
    QString subscribeLink() const;
    // "ntfy://", the server's host (and port, for a server on another port), "/" and the topic:
    // opens the subscription in the ntfy app.
    QString appLink() const;
    // The subscribe link as a QR code, for the settings.
    std::optional<QImage> qrCode() const;

    // One focus event from the event emitter; ignored while disabled.
    void handle(const FocusEvent& event);
    // The settings switch "Send focus and break alerts to my phone".
    void setEnabled(bool on);
    // Replaces the topic (after the user confirmed): the rate limit's record and any cooldown are
    // dropped, the counters kept.
    void newTopic();
    // Put the topic name, or the app link, on the clipboard.
    void copyTopic() const;
    void copyLink() const;

    // The settings' texts around the topic.
    static QString enableTitle() {
        return QStringLiteral("Send focus and break alerts to my phone");
    }
    static QString qrAccessibleName() { return QStringLiteral("ntfy topic QR code"); }
    static QString copyTopicTitle() { return QStringLiteral("Copy topic"); }
    static QString copyLinkTitle() { return QStringLiteral("Copy ntfy:// link"); }
    static QString newTopicButtonTitle() { return QStringLiteral("New topic…"); }
    static QString newTopicQuestion() { return QStringLiteral("Make a new topic?"); }
    static QString newTopicConfirm() { return QStringLiteral("Make new topic"); }
    static QString newTopicMessage() {
        return QStringLiteral(
            "Your phone stops receiving alerts until you subscribe to the new topic.");
    }

Q_SIGNALS:
    void enabledChanged(bool enabled);
    void topicChanged(const tw::NtfyTopic& topic);
    void lastErrorChanged(const std::optional<QString>& lastError);
    void deliveredChanged(qint64 delivered);
    void suppressedChanged(qint64 suppressed);
    void queuedChanged(int queued);
    void serverChanged(const QUrl& server);

private:
    // True when a publish may go out at `t`, which is then recorded.
    bool allowAt(Instant t);
    void startPublish(QByteArray body);
    void publishNext();
    void attempt(const QByteArray& body, int number);
    void finished(const QByteArray& body, int number, const NtfyReply& reply);
    void publishDone();

    void setTopic(const NtfyTopic& topic);
    void setLastError(const std::optional<QString>& text);
    void addDelivered();
    void addSuppressed();
    void setQueued(int queued);

    AppPreferences& preferences_;
    UserDefaults& defaults_;
    Scheduler& scheduler_;
    NtfyTransport* transport_;  // a child
    Limits limits_;

    bool enabled_ = false;
    NtfyTopic topic_;
    std::optional<QString> lastError_;
    qint64 delivered_ = 0;
    qint64 suppressed_ = 0;
    int queued_ = 0;

    std::deque<Instant> sends_;             // publishes allowed in the last hour, oldest first
    std::optional<Instant> cooldownUntil_;  // none: no cooldown
    std::deque<QByteArray> waiting_;        // bodies behind the one being published
    bool publishing_ = false;
    std::unique_ptr<ScheduledCall> retry_;
};

}  // namespace tw
