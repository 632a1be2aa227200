#pragma once

#include <QNetworkAccessManager>

#include "sync/NtfyTransport.h"

namespace tw {

// The publish over HTTPS: one network access manager that keeps no cookies, no cache and no
// credentials, follows no redirect (a 3xx reply is the answer) and gives up on a request after
// 10 seconds without progress.
class NetworkNtfyTransport final : public NtfyTransport {
    Q_OBJECT
public:
    static constexpr int timeoutMs = 10000;

    explicit NetworkNtfyTransport(QObject* parent = nullptr);

    void send(const QByteArray& body, const QUrl& server,
              std::function<void(NtfyReply)> done) override;

private:
    QNetworkAccessManager* manager_;  // a child: its replies go before anything they call
};

}  // namespace tw
