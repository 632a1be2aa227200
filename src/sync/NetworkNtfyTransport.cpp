#include "sync/NetworkNtfyTransport.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace tw {

NetworkNtfyTransport::NetworkNtfyTransport(QObject* parent)
    : NtfyTransport(parent), manager_(new QNetworkAccessManager(this)) {
    // No cookie jar of use (cookies are neither sent nor stored, below) and no cache.
    manager_->setCache(nullptr);
    manager_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    manager_->setAutoDeleteReplies(true);
}

void NetworkNtfyTransport::send(const QByteArray& body, const QUrl& server,
                                std::function<void(NtfyReply)> done) {
    QNetworkRequest request(server);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
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
