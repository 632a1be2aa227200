#include "ticktick/TickTickClient.h"

#include <QNetworkAccessManager>
#include <QTimer>

#include "platform/CredentialStore.h"
#include "platform/PrivateNetwork.h"
#include "platform/Scheduler.h"
#include "preferences/AppPreferences.h"

namespace tw {

namespace {}  // namespace

TickTickClient::TickTickClient(Environment env, QObject* parent)
    : QObject(parent),
      preferences_(env.preferences),
      store_(env.store),
      scheduler_(env.scheduler),
      apiURL_(env.apiURL),
      network_(env.network ? env.network : makePrivateNetwork(this)) {
    QObject::connect(&preferences_, &AppPreferences::tickTickEnabledChanged, this,
                     &TickTickClient::enabledChanged);
    enabledChanged(preferences_.tickTickEnabled());
}

TickTickClient::~TickTickClient() {
    for (auto& [id, flight] : requests_) {
        if (flight->reply) {
            flight->reply->disconnect(this);
            flight->reply->abort();
        }
    }
}

bool TickTickClient::enabled() const {
    return preferences_.tickTickEnabled();
}

void TickTickClient::setConnected(bool value) {
    isConnected_ = value;
    Q_EMIT isConnectedChanged(value);
}

void TickTickClient::setConnecting(bool value) {
    isConnecting_ = value;
    Q_EMIT isConnectingChanged(value);
}

void TickTickClient::setStatusMessage(std::optional<QString> value) {
    statusMessage_ = std::move(value);
    Q_EMIT statusMessageChanged(statusMessage_);
}

void TickTickClient::enabledChanged(bool on) {
    if (lastEnabled_ == on) return;
    lastEnabled_ = on;
    cancelAll();
    account_.reset();
    setConnected(false);
    setStatusMessage(std::nullopt);
    if (!on) return;

    const CredentialRead stored = store_.read();
    if (std::holds_alternative<CredentialFailure>(stored)) {
        setStatusMessage(TickTickError::of(TickTickError::Kind::keychain).message());
        return;
    }
    const auto& bytes = std::get<std::optional<QByteArray>>(stored);
    if (!bytes) return;
    const auto account = TickTickAccount::decode(*bytes);
    if (!account) {
        setStatusMessage(TickTickError::of(TickTickError::Kind::keychain).message());
        return;
    }
    account_ = account;
    setConnected(account_->accessToken.has_value() && !account_->accessToken->isEmpty());
}

void TickTickClient::cancelAll() {
    ++generation_;
    auto calledOff = std::move(requests_);
    requests_.clear();
    for (auto& [id, flight] : calledOff) {
        if (flight->reply) {
            flight->reply->disconnect(this);
            flight->reply->abort();
            flight->reply->deleteLater();
        }
        // Whoever waits hears of it later, from the event loop, never from inside this call.
        QTimer::singleShot(0, this, [done = std::move(flight->done)] {
            done(TickTickError::of(TickTickError::Kind::aborted));
        });
    }
    setConnecting(false);
}

void TickTickClient::handleExpired() {
    const auto keychainText = TickTickError::of(TickTickError::Kind::keychain).message();
    if (!account_ || !account_->clientID) {
        account_.reset();
        setConnected(false);
        if (store_.remove()) setStatusMessage(keychainText);
        return;
    }
    account_->accessToken.reset();
    account_->expiresAt.reset();
    setConnected(false);
    if (store_.write(account_->encode())) setStatusMessage(keychainText);
}

std::optional<QString> TickTickClient::acceptableToken(const QString& token) {
    const QString trimmed = token.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > kMaxTokenLength) return std::nullopt;
    for (const QChar c : trimmed) {
        if (c.unicode() < 33 || c.unicode() > 126) return std::nullopt;
    }
    return trimmed;
}

// Connecting and the operations built on `request`.

void TickTickClient::connectWithToken(const QString& token) {
    if (!enabled() || isConnecting_) return;
    const auto accepted = acceptableToken(token);
    if (!accepted) {
        setStatusMessage(TickTickError::of(TickTickError::Kind::token).message());
        return;
    }
    cancelAll();
    const int generation = generation_;
    setConnecting(true);
    setStatusMessage(std::nullopt);
    request({QStringLiteral("project")}, "GET", *accepted,
            [this, generation, token = *accepted](Result result) {
                checked(generation, token, std::move(result));
            });
}

void TickTickClient::checked(int generation, const QString& token, Result result) {
    const bool current = generation == generation_;
    if (const auto* error = std::get_if<TickTickError>(&result)) {
        if (current && error->kind != TickTickError::Kind::aborted) {
            setStatusMessage(error->message());
        }
    } else if (current && enabled() && std::get<std::optional<QByteArray>>(result)) {
        TickTickAccount account;
        account.accessToken = token;
        if (store_.write(account.encode())) {
            setStatusMessage(TickTickError::of(TickTickError::Kind::keychain).message());
        } else {
            account_ = account;
            setConnected(true);
        }
    }
    if (generation == generation_) setConnecting(false);
}

void TickTickClient::disconnectAccount() {
    cancelAll();
    account_.reset();
    setConnected(false);
    if (store_.remove()) {
        setStatusMessage(TickTickError::of(TickTickError::Kind::keychain).message());
    }
}

void TickTickClient::projects(std::function<void(ProjectsResult)> done) {
    request({QStringLiteral("project")}, "GET", std::nullopt,
            [this, done = std::move(done)](Result result) {
                if (auto* error = std::get_if<TickTickError>(&result)) return done(*error);
                const auto& body = std::get<std::optional<QByteArray>>(result);
                if (!body) return done(std::vector<TickTickProject>{});
                if (auto list = ticktickreply::projects(*body)) return done(std::move(*list));
                const auto error = TickTickError::of(TickTickError::Kind::response);
                setStatusMessage(error.message());
                done(error);
            });
}

void TickTickClient::tasks(const QString& projectID, std::function<void(TasksResult)> done) {
    request({QStringLiteral("project"), projectID, QStringLiteral("data")}, "GET", std::nullopt,
            [this, done = std::move(done)](Result result) {
                if (auto* error = std::get_if<TickTickError>(&result)) return done(*error);
                const auto& body = std::get<std::optional<QByteArray>>(result);
                if (!body) return done(std::vector<TickTickTask>{});
                if (auto list = ticktickreply::openTasks(*body)) return done(std::move(*list));
                const auto error = TickTickError::of(TickTickError::Kind::response);
                setStatusMessage(error.message());
                done(error);
            });
}

void TickTickClient::complete(const TickTickTask& task, std::function<void(CompleteResult)> done) {
    request({QStringLiteral("project"), task.projectID, QStringLiteral("task"), task.id,
             QStringLiteral("complete")},
            "POST", std::nullopt, [done = std::move(done)](Result result) {
                if (auto* error = std::get_if<TickTickError>(&result)) return done(*error);
                done(std::nullopt);
            });
}

}  // namespace tw
