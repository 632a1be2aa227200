// The one request routine of the TickTick client: how a request is built, timed and judged, and
// who hears of its failure.
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include "platform/PrivateNetwork.h"
#include "platform/Scheduler.h"
#include "ticktick/TickTickClient.h"

namespace tw {

namespace {

bool acceptableSegment(const QString& part) {
    return !part.isEmpty() && part != QLatin1StringView(".") && part != QLatin1StringView("..") &&
           !part.contains(u'/');
}

}  // namespace

void TickTickClient::request(const QStringList& path, const QByteArray& method,
                             const std::optional<QString>& explicitToken,
                             std::function<void(Result)> done) {
    const auto later = [this](std::function<void(Result)> done, Result result) {
        QTimer::singleShot(0, this,
                           [done = std::move(done), result = std::move(result)] { done(result); });
    };
    if (!enabled()) return later(std::move(done), std::optional<QByteArray>());

    const int generation = generation_;
    const bool accountToken = !explicitToken.has_value();
    std::optional<QString> token = explicitToken;
    if (!token && account_ && account_->accessToken) token = account_->accessToken;
    if (!token) return later(std::move(done), std::optional<QByteArray>());

    // A failure found before anything is sent is reported as one found after.
    const auto failNow = [&](TickTickError error) {
        if (accountToken && error.kind == TickTickError::Kind::expired) handleExpired();
        setStatusMessage(error.message());
        later(std::move(done), error);
    };
    if (accountToken && account_->expiresAt && !(*account_->expiresAt > scheduler_.now())) {
        return failNow(TickTickError::of(TickTickError::Kind::expired));
    }
    if (!std::all_of(path.cbegin(), path.cend(), acceptableSegment)) {
        return failNow(TickTickError::of(TickTickError::Kind::response));
    }

    QUrl url = apiURL_;
    QString fullPath = url.path(QUrl::FullyEncoded);
    while (fullPath.endsWith(u'/')) fullPath.chop(1);
    for (const QString& part : path) {
        fullPath += u'/' + QString::fromLatin1(QUrl::toPercentEncoding(part));
    }
    url.setPath(fullPath, QUrl::TolerantMode);

    QNetworkRequest request(url);
    makePrivate(request);
    // The time limits run on the scheduler's clock (below), not on Qt's own.
    request.setTransferTimeout(0);
    request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
    request.setRawHeader("Accept", "application/json");

    const QUuid id = QUuid::createUuid();
    auto flight = std::make_unique<InFlight>();
    flight->done = std::move(done);
    flight->generation = generation;
    flight->accountToken = accountToken;
    QNetworkReply* reply = network_->sendCustomRequest(request, method);
    flight->reply = reply;

    const auto timeOut = [this, id] {
        const auto it = requests_.find(id);
        if (it == requests_.end() || !it->second->reply || it->second->timedOut) return;
        it->second->timedOut = true;
        // Ended from the event loop, so that the reply's end never runs inside a clock step.
        QTimer::singleShot(0, it->second->reply.data(), &QNetworkReply::abort);
    };
    flight->total = scheduler_.callAfter(kTotalTimeout, timeOut);
    flight->idle = scheduler_.callAfter(kIdleTimeout, timeOut);
    const auto dataArrived = [this, id, timeOut] {
        const auto it = requests_.find(id);
        if (it == requests_.end() || it->second->timedOut) return;
        it->second->idle = scheduler_.callAfter(kIdleTimeout, timeOut);
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, this, dataArrived);
    QObject::connect(reply, &QNetworkReply::readyRead, this, dataArrived);
    QObject::connect(reply, &QNetworkReply::finished, this, [this, id] {
        const auto it = requests_.find(id);
        if (it == requests_.end()) return;
        QNetworkReply* reply = it->second->reply;
        if (reply) reply->deleteLater();
        const QVariant status =
            reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
        if (it->second->timedOut) {
            return finish(id, TickTickError::of(TickTickError::Kind::timeout));
        }
        if (!status.isValid()) {
            return finish(id, TickTickError::of(TickTickError::Kind::network));
        }
        const int code = status.toInt();
        if (code == 401) return finish(id, TickTickError::of(TickTickError::Kind::expired));
        if (code < 200 || code > 299) return finish(id, TickTickError::http(code));
        finish(id, std::optional<QByteArray>(reply->readAll()));
    });
    requests_.emplace(id, std::move(flight));
}

void TickTickClient::finish(const QUuid& id, Result result) {
    const auto node = requests_.extract(id);
    if (node.empty()) return;
    InFlight& flight = *node.mapped();
    const bool current = flight.generation == generation_ && enabled();
    if (std::holds_alternative<std::optional<QByteArray>>(result)) {
        if (!current) {
            flight.done(TickTickError::of(TickTickError::Kind::aborted));
            return;
        }
        setStatusMessage(std::nullopt);
        flight.done(std::move(result));
        return;
    }
    const TickTickError error = std::get<TickTickError>(result);
    if (current && error.kind != TickTickError::Kind::aborted) {
        if (error.kind == TickTickError::Kind::expired && flight.accountToken) handleExpired();
        setStatusMessage(error.message());
    }
    flight.done(error);
}

}  // namespace tw
