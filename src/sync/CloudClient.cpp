#include "sync/CloudClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

#include "platform/ComputerName.h"
#include "platform/CredentialStore.h"
#include "platform/PrivateNetwork.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"
#include "support/Uuid.h"
#include "sync/CloudConfiguration.h"
#include "sync/CloudTexts.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

QByteArray jsonBody(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

}  // namespace

CloudClient::CloudClient(Environment env, QObject* parent)
    : EventDelivery(parent),
      model_(env.model),
      store_(env.store),
      ledgerStore_(env.ledgerStore),
      defaults_(env.defaults),
      scheduler_(env.scheduler),
      browser_(env.browser),
      computerName_(env.computerName),
      network_(env.network ? env.network : makePrivateNetwork(this)),
      historyInterval_(env.historyInterval),
      appVersion_(env.appVersion.isEmpty() ? QStringLiteral("1.0") : env.appVersion),
      status_(cloudtexts::connectPrompt()) {
    // The configured address is checked again here, so that no other address is ever used.
    if (env.websiteURL) websiteURL_ = cloudconfig::websiteURL(env.websiteURL->toString());
    loadAtStart();
}

CloudClient::~CloudClient() = default;

void CloudClient::loadAtStart() {
    // The ledger identifier: the stored one, else the history's, which is then stored.
    std::optional<QUuid> ledger;
    const CredentialRead storedLedger = ledgerStore_.read();
    if (const auto* bytes = std::get_if<std::optional<QByteArray>>(&storedLedger)) {
        if (*bytes) ledger = parseUuid(QString::fromUtf8(**bytes));
    }
    if (ledger) {
        ledgerID_ = *ledger;
    } else {
        ledgerID_ = model_.history().ledgerID;
        (void)ledgerStore_.write(uuidText(ledgerID_).toUtf8());
    }

    // The credential.
    const CredentialRead stored = store_.read();
    if (std::holds_alternative<CredentialFailure>(stored)) {
        status_ = cloudtexts::unreadableKeyring();
    } else if (const auto& bytes = std::get<std::optional<QByteArray>>(stored)) {
        const auto credential = Credential::decode(*bytes);
        if (credential && credential->version == Credential::kVersion && websiteURL_ &&
            QUrl(credential->website, QUrl::StrictMode) == *websiteURL_) {
            credential_ = credential;
            connected_ = true;
            status_ = cloudtexts::connectedAtStart();
        }
    }

    // Sync was turned off while the credential could not be removed: finish turning it off.
    const QString key = QLatin1StringView(kSyncEnabledKey);
    if (connected_ && defaults_.contains(key) && !defaults_.boolValue(key)) {
        const Credential old = *credential_;
        connected_ = false;
        credential_.reset();
        status_ = cloudtexts::connectPrompt();
        (void)store_.remove();
        revokeDevice(old.token, old.deviceID);
    }

    if (!websiteURL_) status_ = CloudError::of(CloudError::Kind::notConfigured).description();
}

std::optional<QString> CloudClient::thisDeviceID() const {
    if (!credential_) return std::nullopt;
    return credential_->deviceID;
}

bool CloudClient::hasPhone() const {
    if (!devicesKnown_) return true;
    return std::any_of(devices_.cbegin(), devices_.cend(),
                       [](const PairedDevice& d) { return d.isPhone(); });
}

Instant CloudClient::now() const {
    return scheduler_.now();
}

Instant CloudClient::serverNow() const {
    return now() + clockOffset_;
}

QString CloudClient::deviceName(const QString& systemName) {
    QList<uint> characters = systemName.trimmed().toUcs4();
    if (characters.isEmpty()) return QStringLiteral("My computer");
    if (characters.size() > kMaxNameLength) characters.resize(kMaxNameLength);
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData()),
                             characters.size());
}

// Connecting.

void CloudClient::connectToWebsite() {
    if (!websiteURL_) {
        setStatus(CloudError::of(CloudError::Kind::notConfigured).description());
        return;
    }
    if (busy_) {
        setStatus(cloudtexts::stillWorking());
        return;
    }
    setBusy(true);
    const int generation = generation_;
    const QPointer<CloudClient> self(this);
    computerName_.lookUp([self, generation](const QString& name) {
        if (self) self->registerDevice(generation, deviceName(name), false);
    });
}

void CloudClient::registerDevice(int generation, const QString& name, bool secondAttempt) {
    const QJsonObject body{{QStringLiteral("platform"), QStringLiteral("linux")},
                           {QStringLiteral("name"), name},
                           {QStringLiteral("appVersion"), appVersion_},
                           {QStringLiteral("ledgerID"), uuidText(ledgerID_)}};
    const QPointer<CloudClient> self(this);
    request("POST", QStringLiteral("v1/devices/register"), jsonBody(body), std::nullopt,
            kRequestTimeout, [self, generation, name, secondAttempt](Result result) {
                if (self) self->registered(generation, name, secondAttempt, std::move(result));
            });
}

void CloudClient::registered(int generation, const QString& name, bool secondAttempt,
                             Result result) {
    if (const auto* error = std::get_if<CloudError>(&result)) {
        if (!secondAttempt && error->kind == CloudError::Kind::http && error->status == 409 &&
            error->failure.code == QStringLiteral("ledger_in_use") && generation == generation_) {
            // The ledger belongs to another computer: this one takes a new identity, once.
            ledgerID_ = newUuid();
            (void)ledgerStore_.write(uuidText(ledgerID_).toUtf8());
            setStatus(cloudtexts::newIdentity());
            registerDevice(generation, name, true);
            return;
        }
        connectFailed(generation, error->description());
        return;
    }
    const auto reply = RegisterReply::decode(std::get<QByteArray>(result));
    if (!reply) {
        connectFailed(generation, cloudtexts::unreadableReply());
        return;
    }
    if (generation != generation_) {
        // Sync was turned off meanwhile: the device just made is not kept on the website either.
        if (isSafeDeviceID(reply->deviceID)) revokeDevice(reply->token, reply->deviceID);
        return;
    }
    const Credential credential{Credential::kVersion, reply->token, reply->deviceID,
                                reply->accountID, websiteURL_->toString()};
    if (store_.write(credential.encode())) {
        // Without a stored credential the new device could never be used or removed from here.
        revokeDevice(reply->token, reply->deviceID);
        connectFailed(generation, cloudtexts::unwritableKeyring());
        return;
    }
    credential_ = credential;
    defaults_.setBool(QLatin1StringView(kSyncEnabledKey), true);
    acknowledged_.clear();
    setConnected(true);
    setStatus(cloudtexts::preparingHistory());
    refresh();
    setBusy(false);
}

void CloudClient::connectFailed(int generation, const QString& description) {
    if (generation != generation_) return;
    setStatus(description);
    setBusy(false);
}

// Disconnecting and losing the connection.

void CloudClient::dropConnectionWork() {
    ++generation_;
    historyTask_.reset();
    firstDirtyAt_.reset();
    uploadRun_.reset();
    dirtyAgain_ = false;
    stopPoll();
    // Whatever was under way ends unheard under the old generation; nothing is busy any more.
    setBusy(false);
}

void CloudClient::clearConnection() {
    credential_.reset();
    acknowledged_.clear();
    setDevices({});
    devicesKnown_ = false;
    setPairing(std::nullopt);
    setConnected(false);
}

void CloudClient::disconnectFromWebsite() {
    dropConnectionWork();
    defaults_.setBool(QLatin1StringView(kSyncEnabledKey), false);
    const std::optional<Credential> old = credential_;
    clearConnection();
    if (old) revokeDevice(old->token, old->deviceID);
    setStatus(store_.remove() ? cloudtexts::syncOffKeyringKept() : cloudtexts::syncStopped());
}

void CloudClient::revokeDevice(const QString& token, const QString& deviceID) {
    if (token.isEmpty() || !isSafeDeviceID(deviceID)) return;
    request("DELETE", QStringLiteral("v1/devices/") + deviceID, std::nullopt, token,
            kRequestTimeout, [](Result) {});
}

void CloudClient::handleRevoked() {
    if (!connected_) return;
    dropConnectionWork();
    clearConnection();
    (void)store_.remove();
    setStatus(cloudtexts::revoked());
}

// The website link.

void CloudClient::openWebsite(const QString& purpose) {
    if (!connected_ || busy_ || !credential_) return;
    setBusy(true);
    const int generation = generation_;
    const QPointer<CloudClient> self(this);
    request("POST", QStringLiteral("v1/web/claim"),
            jsonBody(QJsonObject{{QStringLiteral("purpose"), purpose}}), credential_->token,
            kRequestTimeout, [self, generation](Result result) {
                if (!self || generation != self->generation_) return;
                std::optional<QString> failure;
                if (const auto* error = std::get_if<CloudError>(&result)) {
                    failure = error->description();
                } else if (const auto reply = ClaimReply::decode(std::get<QByteArray>(result))) {
                    const QUrl link(reply->url, QUrl::StrictMode);
                    if (!link.isValid() || link.scheme() != QLatin1StringView("https") ||
                        link.host() != self->websiteURL_->host()) {
                        failure = CloudError::of(CloudError::Kind::insecureLink).description();
                    } else if (!self->browser_.openUrl(link)) {
                        failure = cloudtexts::noBrowser();
                    }
                } else {
                    failure = cloudtexts::unreadableReply();
                }
                if (failure) self->setStatus(*failure);
                self->setBusy(false);
            });
}

void CloudClient::refresh(Done done) {
    const QPointer<CloudClient> self(this);
    upload(kRequestTimeout, [self, done = std::move(done)] {
        if (self) {
            self->refreshDevices(done);
        } else if (done) {
            done();
        }
    });
}

void CloudClient::postEvent(const QByteArray& eventJson,
                            std::function<void(std::optional<CloudError>)> done) {
    if (!credential_) {
        QTimer::singleShot(0, this, [done = std::move(done)] {
            done(CloudError::of(CloudError::Kind::notConnected));
        });
        return;
    }
    request("POST", QStringLiteral("v1/events"), eventJson, credential_->token, kRequestTimeout,
            [done = std::move(done)](Result result) {
                if (const auto* error = std::get_if<CloudError>(&result)) {
                    done(*error);
                } else {
                    done(std::nullopt);
                }
            });
}

// Published setters: every assignment is announced.

void CloudClient::setConnected(bool connected) {
    connected_ = connected;
    Q_EMIT connectedChanged(connected);
}

void CloudClient::setBusy(bool busy) {
    busy_ = busy;
    Q_EMIT busyChanged(busy);
}

void CloudClient::setStatus(const QString& status) {
    status_ = status;
    Q_EMIT statusChanged(status);
}

void CloudClient::setDevices(QList<PairedDevice> devices) {
    devices_ = std::move(devices);
    Q_EMIT devicesChanged();
}

void CloudClient::setPairing(std::optional<PairingCode> pairing) {
    pairing_ = std::move(pairing);
    Q_EMIT pairingChanged();
}

}  // namespace tw
