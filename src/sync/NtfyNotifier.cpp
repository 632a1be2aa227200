#include "sync/NtfyNotifier.h"

#include <QClipboard>
#include <QGuiApplication>
#include <cmath>

#include "platform/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "preferences/ServiceAddress.h"
#include "sync/NetworkNtfyTransport.h"
#include "sync/NtfyContent.h"
#include "sync/QrCode.h"

namespace tw {

namespace {

constexpr double kHour = 3600;
constexpr double kDefaultCooldown = 60;  // a 429 without Retry-After

QString key(const char* name) {
    return QString::fromLatin1(name);
}

// Whole seconds of a wait, cut down, in decimal (a server may name any number).
QString wholeSeconds(double seconds) {
    return QString::number(std::trunc(seconds), 'f', 0);
}

// Puts `text` on the clipboard, emptied first; nothing without a graphical session.
void copyToClipboard(const QString& text) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

}  // namespace

NtfyNotifier::NtfyNotifier(AppPreferences& preferences, Scheduler& scheduler,
                           std::unique_ptr<NtfyTransport> transport, Limits limits, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      defaults_(preferences.defaults()),
      scheduler_(scheduler),
      transport_(transport ? transport.release() : new NetworkNtfyTransport()),
      limits_(limits) {
    transport_->setParent(this);
    enabled_ = defaults_.boolValue(key(enabledKey));
    if (const auto stored = NtfyTopic::parse(defaults_.string(key(topicKey)).value_or(QString()))) {
        topic_ = *stored;
    } else {
        topic_ = NtfyTopic::generate();
        defaults_.setString(key(topicKey), topic_.name);
    }
    // Another server: its own limits, and the last failure named the old one.
    connect(&preferences_, &AppPreferences::ntfyServerChanged, this, [this] {
        cooldownUntil_.reset();
        setLastError(std::nullopt);
        Q_EMIT serverChanged(server());
    });
}

NtfyNotifier::~NtfyNotifier() = default;

QUrl NtfyNotifier::server() const {
    return parseServiceAddress(preferences_.ntfyServer())
        .value_or(QUrl(AppPreferences::defaultNtfyServer()));
}

QString NtfyNotifier::subscribeLink() const {
    QString base = server().toString(QUrl::StripTrailingSlash);
    if (base.endsWith(u'/')) base.chop(1);
    return base + u'/' + topic_.name;
}

QString NtfyNotifier::appLink() const {
    return QStringLiteral("ntfy://") + server().authority() + u'/' + topic_.name;
}

std::optional<QImage> NtfyNotifier::qrCode() const {
    return qrImage(subscribeLink(), qrScale);
}

void NtfyNotifier::copyTopic() const {
    copyToClipboard(topic_.name);
}

void NtfyNotifier::copyLink() const {
    copyToClipboard(appLink());
}

void NtfyNotifier::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    Q_EMIT enabledChanged(on);
    defaults_.setBool(key(enabledKey), on);
    if (on) setLastError(std::nullopt);
}

void NtfyNotifier::newTopic() {
    setTopic(NtfyTopic::generate());
    defaults_.setString(key(topicKey), topic_.name);
    sends_.clear();
    cooldownUntil_.reset();
    setLastError(std::nullopt);
}

void NtfyNotifier::handle(const FocusEvent& event) {
    if (!enabled_) return;
    const auto content = NtfyContent::forEvent(event);
    if (!content) return;
    if (!allowAt(scheduler_.now())) {
        addSuppressed();
        return;
    }
    startPublish(content->publishBody(topic_));
}

bool NtfyNotifier::allowAt(Instant t) {
    if (cooldownUntil_ && t < *cooldownUntil_) return false;
    while (!sends_.empty() && t - sends_.front() >= kHour) sends_.pop_front();
    if (!sends_.empty() && t - sends_.back() < limits_.minimumSpacing) return false;
    if (int(sends_.size()) >= limits_.maxPerHour) return false;
    sends_.push_back(t);
    return true;
}

// Publishes go out one at a time, in the order the events came.
void NtfyNotifier::startPublish(QByteArray body) {
    setQueued(queued_ + 1);
    waiting_.push_back(std::move(body));
    if (!publishing_) publishNext();
}

void NtfyNotifier::publishNext() {
    if (waiting_.empty()) {
        publishing_ = false;
        return;
    }
    publishing_ = true;
    const QByteArray body = std::move(waiting_.front());
    waiting_.pop_front();
    attempt(body, 1);
}

void NtfyNotifier::attempt(const QByteArray& body, int number) {
    QPointer<NtfyNotifier> self(this);
    transport_->send(body, server(), [self, body, number](NtfyReply reply) {
        if (self) self->finished(body, number, reply);
    });
}

void NtfyNotifier::finished(const QByteArray& body, int number, const NtfyReply& reply) {
    const QString host = server().host();
    const int status = reply.status.value_or(0);
    if (reply.status && status >= 200 && status <= 299) {
        addDelivered();
        setLastError(std::nullopt);
    } else if (reply.status && status == 429) {
        const double wait = reply.retryAfter ? std::max(*reply.retryAfter, 1.0) : kDefaultCooldown;
        cooldownUntil_ = scheduler_.now() + wait;
        addSuppressed();
        setLastError(
            host + QStringLiteral(" is limiting notifications from this computer. It resumes in ") +
            wholeSeconds(wait) + QStringLiteral(" seconds."));
    } else if (number == 1 && (!reply.status || (status >= 500 && status <= 599))) {
        // One more try after a short wait; the queue behind waits with it.
        QPointer<NtfyNotifier> self(this);
        retry_ = scheduler_.callAfter(retryWait, [self, body] {
            if (self) self->attempt(body, 2);
        });
        return;
    } else if (reply.status) {
        addSuppressed();
        setLastError(host + QStringLiteral(" refused the notification (HTTP ") +
                     QString::number(status) + QStringLiteral(")."));
    } else {
        addSuppressed();
        setLastError(QStringLiteral("Could not reach ") + host +
                     QStringLiteral(". Check this computer's internet connection."));
    }
    publishDone();
}

void NtfyNotifier::publishDone() {
    setQueued(queued_ - 1);
    publishNext();
}

void NtfyNotifier::setTopic(const NtfyTopic& topic) {
    topic_ = topic;
    Q_EMIT topicChanged(topic_);
}

void NtfyNotifier::setLastError(const std::optional<QString>& text) {
    lastError_ = text;
    Q_EMIT lastErrorChanged(lastError_);
}

void NtfyNotifier::addDelivered() {
    ++delivered_;
    Q_EMIT deliveredChanged(delivered_);
}

void NtfyNotifier::addSuppressed() {
    ++suppressed_;
    Q_EMIT suppressedChanged(suppressed_);
}

void NtfyNotifier::setQueued(int queued) {
    queued_ = queued;
    Q_EMIT queuedChanged(queued_);
}

}  // namespace tw
