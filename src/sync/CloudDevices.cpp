// The account's devices as the website client sees them: the device list, phone pairing with a
// short-lived code (polling the list while the code is valid, so that a new phone shows up by
// itself), and removing a device.
#include <QPointer>

#include "sync/CloudClient.h"
#include "sync/CloudTexts.h"

namespace tw {

void CloudClient::refreshDevices(Done done) {
    if (!connected_ || !credential_) {
        if (done) done();
        return;
    }
    const int generation = generation_;
    const QPointer<CloudClient> self(this);
    request("GET", QStringLiteral("v1/devices"), std::nullopt, credential_->token, kRequestTimeout,
            [self, generation, done = std::move(done)](Result result) {
                // Any failure leaves the last list as it was.
                if (self && generation == self->generation_) {
                    if (const auto* bytes = std::get_if<QByteArray>(&result)) {
                        if (auto devices = decodeDevicesReply(*bytes)) {
                            self->devicesKnown_ = true;
                            self->setDevices(std::move(*devices));
                        }
                    }
                }
                if (done) done();
            });
}

void CloudClient::startPairing() {
    if (!connected_ || busy_ || !credential_) return;
    setBusy(true);
    const int generation = generation_;
    const QPointer<CloudClient> self(this);
    request("POST", QStringLiteral("v1/pairing-codes"), QByteArray("{}"), credential_->token,
            kRequestTimeout, [self, generation](Result result) {
                if (!self || generation != self->generation_) return;
                std::optional<PairingReply> reply;
                if (const auto* error = std::get_if<CloudError>(&result)) {
                    self->setStatus(error->description());
                } else if (!(reply = PairingReply::decode(std::get<QByteArray>(result)))) {
                    self->setStatus(cloudtexts::unreadableReply());
                } else {
                    self->setPairing(PairingCode{reply->code, reply->qr,
                                                 self->now() + double(reply->expiresIn)});
                    self->setStatus(cloudtexts::scanPairingCode());
                    self->startPoll();
                }
                self->setBusy(false);
            });
}

void CloudClient::hidePairing() {
    stopPoll();
    setPairing(std::nullopt);
}

void CloudClient::stopPoll() {
    pairingPollTask_.reset();
    ++poll_;  // a device list being fetched for the old poll no longer continues it
}

void CloudClient::startPoll() {
    stopPoll();
    pollStep(generation_, poll_);
}

void CloudClient::pollStep(int generation, quint64 poll) {
    if (pairing_ && now() < pairing_->expiresAt) {
        const QPointer<CloudClient> self(this);
        pairingPollTask_ = scheduler_.callAfter(kPairingPollInterval, [self, generation, poll] {
            if (!self || poll != self->poll_ || generation != self->generation_) return;
            self->refreshDevices([self, generation, poll] {
                if (self && poll == self->poll_) self->pollStep(generation, poll);
            });
        });
        return;
    }
    pairingPollTask_.reset();
    if (generation == generation_ && pairing_ && !(now() < pairing_->expiresAt)) {
        setPairing(std::nullopt);
    }
}

void CloudClient::removeDevice(const PairedDevice& device) {
    if (!connected_ || !credential_) return;
    // The identifier goes into the request's path: one the website could not have meant as a
    // device (a "/", "..", a query) is never sent.
    if (!isSafeDeviceID(device.id)) {
        setStatus(cloudtexts::deviceNotRemovable());
        return;
    }
    const int generation = generation_;
    const QPointer<CloudClient> self(this);
    request("DELETE", QStringLiteral("v1/devices/") + device.id, std::nullopt, credential_->token,
            kRequestTimeout, [self, generation, id = device.id](Result result) {
                if (!self || generation != self->generation_) return;
                if (const auto* error = std::get_if<CloudError>(&result)) {
                    self->setStatus(error->description());
                } else if (id == self->thisDeviceID()) {
                    self->disconnectFromWebsite();  // this computer removed itself
                } else {
                    self->refreshDevices();
                }
            });
}

}  // namespace tw
