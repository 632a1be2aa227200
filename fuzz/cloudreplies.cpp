// Feeds arbitrary bytes to every decoder of the website's replies (registration, device list,
// pairing code, website link, the website's error) and to the readers of the Date and Retry-After
// headers and of the configured address. What decodes must encode and decode to itself; nothing
// may crash.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "sync/CloudConfiguration.h"
#include "sync/CloudRecords.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

QByteArray json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto r = tw::RegisterReply::decode(bytes)) {
        const auto back = tw::RegisterReply::decode(
            json({{"accountID", r->accountID}, {"deviceID", r->deviceID}, {"token", r->token}}));
        check(back && back->accountID == r->accountID && back->deviceID == r->deviceID &&
              back->token == r->token);
    }
    if (const auto e = tw::ServerError::decode(bytes)) {
        QJsonObject o;
        if (e->error) o.insert("error", *e->error);
        if (e->code) o.insert("code", *e->code);
        const auto back = tw::ServerError::decode(json(o));
        check(back && back->error == e->error && back->code == e->code);
    }
    if (const auto c = tw::ClaimReply::decode(bytes)) {
        const auto back = tw::ClaimReply::decode(json({{"url", c->url}}));
        check(back && back->url == c->url);
    }
    if (const auto p = tw::PairingReply::decode(bytes)) {
        const auto back = tw::PairingReply::decode(
            json({{"code", p->code}, {"qr", p->qr}, {"expiresIn", p->expiresIn}}));
        // Whole numbers beyond 2^53 do not survive a JSON double; the rest must.
        check(back.has_value() || std::abs(double(p->expiresIn)) > 9e15);
        if (back && std::abs(double(p->expiresIn)) < 9e15) {
            check(back->code == p->code && back->qr == p->qr && back->expiresIn == p->expiresIn);
        }
    }
    if (const auto devices = tw::decodeDevicesReply(bytes)) {
        QJsonArray list;
        for (const auto& d : *devices) {
            list.append(QJsonObject{{"id", d.id},
                                    {"platform", d.platform},
                                    {"name", d.name},
                                    {"pushEnabled", d.pushEnabled}});
        }
        const auto back = tw::decodeDevicesReply(json({{"devices", list}}));
        check(back && *back == *devices);
        for (const auto& d : *devices) {
            if (tw::isSafeDeviceID(d.id)) {
                check(!d.id.contains(u'/') && !d.id.contains(u'.') && !d.id.contains(u'?') &&
                      !d.id.contains(u'%') && d.id.size() <= 64);
            }
        }
    }
    if (const auto date = tw::parseHttpDate(bytes)) check(date->isFinite());
    if (const auto wait = tw::parseRetryAfter(bytes)) check(std::isfinite(*wait) && *wait >= 0);
    if (const auto url = tw::cloudconfig::websiteURL(QString::fromUtf8(bytes))) {
        check(url->scheme() == QLatin1StringView("https") && !url->host().isEmpty() &&
              !url->hasQuery() && !url->hasFragment() && url->userInfo().isEmpty());
        check(url->path().isEmpty() || url->path() == QLatin1StringView("/"));
    }
    return 0;
}
