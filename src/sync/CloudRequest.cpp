// The one request routine of the website client: how a request is built and how its reply is
// judged.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <cmath>

#include "platform/PrivateNetwork.h"
#include "sync/CloudClient.h"
#include "sync/CloudTexts.h"

namespace tw {

namespace {

int milliseconds(double seconds) {
    if (!(seconds > 0.001)) return 1;
    return seconds > 2e6 ? 2000000000 : static_cast<int>(std::ceil(seconds * 1000.0));
}

// The network layer's own description of a failure on the way; a time-out shows as Qt's
// cancellation, which would tell the user nothing.
QString transportText(const QNetworkReply* reply) {
    if (reply->error() == QNetworkReply::OperationCanceledError ||
        reply->error() == QNetworkReply::TimeoutError) {
        return cloudtexts::timedOut();
    }
    return reply->errorString();
}

}  // namespace

void CloudClient::request(const QByteArray& method, const QString& path,
                          const std::optional<QByteArray>& body,
                          const std::optional<QString>& token, double timeout,
                          std::function<void(Result)> done) {
    if (!websiteURL_) {
        QTimer::singleShot(0, this, [done = std::move(done)] {
            done(CloudError::of(CloudError::Kind::notConfigured));
        });
        return;
    }
    QUrl url = *websiteURL_;
    QString base = url.path();
    if (!base.endsWith(u'/')) base += u'/';
    url.setPath(base + path);

    QNetworkRequest request(url);
    makePrivate(request);
    request.setTransferTimeout(milliseconds(timeout));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    if (token) request.setRawHeader("Authorization", "Bearer " + token->toUtf8());

    QNetworkReply* reply = nullptr;
    if (method == "GET" || method == "DELETE" || !body) {
        reply = network_->sendCustomRequest(request, method);
    } else {
        reply = network_->sendCustomRequest(request, method, *body);
    }
    ++inFlight_;
    connect(reply, &QNetworkReply::finished, this, [this, reply, token, done = std::move(done)] {
        reply->deleteLater();
        --inFlight_;

        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            done(reply->error() != QNetworkReply::NoError
                     ? CloudError::transportFailure(transportText(reply))
                     : CloudError::of(CloudError::Kind::unreachable));
            return;
        }
        if (const auto date = parseHttpDate(reply->rawHeader("Date"))) {
            clockOffset_ = *date - now();
        }
        const int code = status.toInt();
        const QByteArray bytes = reply->readAll();
        if (code >= 200 && code <= 299) {
            done(bytes);
            return;
        }
        if (code == 401) {
            // Only a refusal of the credential held now loses the connection; a late answer to
            // an old credential (a revocation after reconnecting) does not.
            if (token && credential_ && credential_->token == *token) handleRevoked();
            done(CloudError::of(CloudError::Kind::unauthorized));
            return;
        }
        const ServerError server = ServerError::decode(bytes).value_or(ServerError{});
        done(CloudError::http(
            code, CloudError::ServerFailure{server.error, server.code,
                                            parseRetryAfter(reply->rawHeader("Retry-After"))}));
    });
}

}  // namespace tw
