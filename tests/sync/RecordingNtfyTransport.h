#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <vector>

#include "sync/NtfyTransport.h"

namespace tw::test {

// An ntfy transport that keeps every publish and accepts it at once.
class RecordingNtfyTransport final : public NtfyTransport {
public:
    struct Sent {
        QJsonObject body;
        QUrl server;
    };
    // Outlives the transport, which the notifier owns.
    struct Log {
        std::vector<Sent> sent;
    };

    explicit RecordingNtfyTransport(Log* log) : log_(log) {}

    void send(const QByteArray& body, const QUrl& server,
              std::function<void(NtfyReply)> done) override {
        log_->sent.push_back(Sent{QJsonDocument::fromJson(body).object(), server});
        done(NtfyReply::http(200));
    }

private:
    Log* log_;
};

}  // namespace tw::test
