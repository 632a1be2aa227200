#include "sync/NetworkNtfyTransport.h"

#include <QNetworkReply>
#include <QNetworkRequest>

#include "platform/PrivateNetwork.h"

namespace tw {

NetworkNtfyTransport::NetworkNtfyTransport(QObject* parent)
    : NtfyTransport(parent), manager_(makePrivateNetwork(this)) {
    manager_->setAutoDeleteReplies(true);
}

void NetworkNtfyTransport::send(const QByteArray& body, const QUrl& server,
                                std::function<void(NtfyReply)> done) {
    QNetworkRequest request(server);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(timeoutMs);
    makePrivate(request);
    QNetworkReply* reply = manager_->post(request, body);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            done(NtfyReply::transportFailure(reply->errorString()));
            return;
        }
        done(NtfyReply::http(status.toInt(), parseRetryAfter(reply->rawHeader("Retry-After"))));
    });
}

}  // namespace tw
