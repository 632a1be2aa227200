#include "sync/CloudRecords.h"

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QRegularExpression>
#include <QTime>
#include <QTimeZone>
#include <cmath>

namespace tw {

namespace {

std::optional<QJsonObject> object(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

// A required string member.
std::optional<QString> text(const QJsonObject& o, QLatin1StringView key) {
    const QJsonValue v = o.value(key);
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

// An optional string member: absent or null is fine (an empty inner value), another type is not
// (none at all).
std::optional<std::optional<QString>> optionalText(const QJsonObject& o, QLatin1StringView key) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::optional<std::optional<QString>>(std::in_place);
    if (!v.isString()) return std::nullopt;
    return std::optional<std::optional<QString>>(v.toString());
}

// A JSON number that holds a whole value within 64 bits (2 and 2.0 both give 2).
std::optional<qint64> integer(const QJsonObject& o, QLatin1StringView key) {
    const QJsonValue v = o.value(key);
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) return std::nullopt;
    return v.toInteger(static_cast<qint64>(d));
}

std::optional<PairedDevice> device(const QJsonValue& v) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    const auto id = text(o, QLatin1StringView("id"));
    const auto platform = text(o, QLatin1StringView("platform"));
    const auto name = text(o, QLatin1StringView("name"));
    const QJsonValue push = o.value(QLatin1StringView("pushEnabled"));
    if (!id || !platform || !name || !push.isBool()) return std::nullopt;
    // The optional members must still have their types when present.
    for (const char* key : {"appVersion", "createdAt", "lastSeenAt"}) {
        if (!optionalText(o, QLatin1StringView(key))) return std::nullopt;
    }
    return PairedDevice{*id, *platform, *name, push.toBool()};
}

}  // namespace

QByteArray Credential::encode() const {
    const QJsonObject o{{QStringLiteral("version"), version},
                        {QStringLiteral("token"), token},
                        {QStringLiteral("deviceID"), deviceID},
                        {QStringLiteral("accountID"), accountID},
                        {QStringLiteral("website"), website}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Credential> Credential::decode(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const auto version = integer(*o, QLatin1StringView("version"));
    const auto token = text(*o, QLatin1StringView("token"));
    const auto deviceID = text(*o, QLatin1StringView("deviceID"));
    const auto accountID = text(*o, QLatin1StringView("accountID"));
    const auto website = text(*o, QLatin1StringView("website"));
    if (!version || !token || !deviceID || !accountID || !website) return std::nullopt;
    return Credential{*version, *token, *deviceID, *accountID, *website};
}

std::optional<RegisterReply> RegisterReply::decode(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const auto accountID = text(*o, QLatin1StringView("accountID"));
    const auto deviceID = text(*o, QLatin1StringView("deviceID"));
    const auto token = text(*o, QLatin1StringView("token"));
    if (!accountID || !deviceID || !token) return std::nullopt;
    return RegisterReply{*accountID, *deviceID, *token};
}

std::optional<ServerError> ServerError::decode(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const auto error = optionalText(*o, QLatin1StringView("error"));
    const auto code = optionalText(*o, QLatin1StringView("code"));
    if (!error || !code) return std::nullopt;
    return ServerError{*error, *code};
}

std::optional<ClaimReply> ClaimReply::decode(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const auto url = text(*o, QLatin1StringView("url"));
    if (!url) return std::nullopt;
    return ClaimReply{*url};
}

std::optional<PairingReply> PairingReply::decode(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const auto code = text(*o, QLatin1StringView("code"));
    const auto qr = text(*o, QLatin1StringView("qr"));
    const auto expiresIn = integer(*o, QLatin1StringView("expiresIn"));
    if (!code || !qr || !expiresIn) return std::nullopt;
    return PairingReply{*code, *qr, *expiresIn};
}

bool PairedDevice::isPhone() const {
    return platform == QLatin1StringView("ios") || platform == QLatin1StringView("android");
}

std::optional<QList<PairedDevice>> decodeDevicesReply(const QByteArray& bytes) {
    const auto o = object(bytes);
    if (!o) return std::nullopt;
    const QJsonValue list = o->value(QLatin1StringView("devices"));
    if (!list.isArray()) return std::nullopt;
    QList<PairedDevice> devices;
    for (const QJsonValue& v : list.toArray()) {
        auto d = device(v);
        if (!d) return std::nullopt;
        devices.append(std::move(*d));
    }
    return devices;
}

bool isSafeDeviceID(const QString& id) {
    if (id.isEmpty() || id.size() > 64) return false;
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        const bool ok = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') ||
                        (u >= u'0' && u <= u'9') || u == u'-' || u == u'_';
        if (!ok) return false;
    }
    return true;
}

std::optional<Instant> parseHttpDate(const QByteArray& header) {
    static const QRegularExpression form(QStringLiteral(
        "^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), (\\d{2}) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|"
        "Dec) (\\d{4}) (\\d{2}):(\\d{2}):(\\d{2}) (GMT|UTC)$"));
    static const QStringList months{
        QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
        QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
        QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    const auto m = form.match(QString::fromLatin1(header.trimmed()));
    if (!m.hasMatch()) return std::nullopt;
    const QDate date(m.captured(4).toInt(), static_cast<int>(months.indexOf(m.captured(3))) + 1,
                     m.captured(2).toInt());
    const QTime time(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(7).toInt());
    if (!date.isValid() || !time.isValid()) return std::nullopt;
    return Instant::fromDateTime(QDateTime(date, time, QTimeZone::utc()));
}

std::optional<double> parseRetryAfter(const QByteArray& header) {
    const QByteArray text = header.trimmed();
    if (text.isEmpty()) return std::nullopt;
    bool ok = false;
    const double seconds = QString::fromLatin1(text).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0) return std::nullopt;
    return seconds;
}

}  // namespace tw
