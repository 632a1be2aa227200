#include "ticktick/TickTickRecords.h"

#include <QCborArray>
#include <QCborMap>
#include <cmath>

#include "support/Json.h"

namespace tw {

namespace {

std::optional<QString> text(const QCborMap& map, const char* key) {
    const QCborValue v = map.value(QLatin1StringView(key));
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

bool hasKey(const QCborMap& map, const char* key) {
    return map.contains(QLatin1StringView(key));
}

}  // namespace

QByteArray TickTickAccount::encode() const {
    QCborMap map;
    if (clientID) map.insert(QStringLiteral("clientID"), *clientID);
    if (clientSecret) map.insert(QStringLiteral("clientSecret"), *clientSecret);
    if (accessToken) map.insert(QStringLiteral("accessToken"), *accessToken);
    if (expiresAt) map.insert(QStringLiteral("expiresAt"), expiresAt->seconds);
    return json::write(map);
}

std::optional<TickTickAccount> TickTickAccount::decode(const QByteArray& bytes) {
    const auto value = json::parse(bytes);
    if (!value || !value->isMap()) return std::nullopt;
    const QCborMap map = value->toMap();
    TickTickAccount account;
    // A key that is present must have its type; an absent one is simply not known.
    for (const auto& [key, slot] : {std::pair{"clientID", &account.clientID},
                                    std::pair{"clientSecret", &account.clientSecret},
                                    std::pair{"accessToken", &account.accessToken}}) {
        if (!hasKey(map, key)) continue;
        *slot = text(map, key);
        if (!*slot) return std::nullopt;
    }
    if (hasKey(map, "expiresAt")) {
        const QCborValue v = map.value(QStringLiteral("expiresAt"));
        if (!v.isInteger() && !v.isDouble()) return std::nullopt;
        const double seconds = v.isInteger() ? double(v.toInteger()) : v.toDouble();
        if (!std::isfinite(seconds)) return std::nullopt;
        account.expiresAt = Instant::fromReference(seconds);
    }
    return account;
}

namespace ticktickreply {

std::optional<std::vector<TickTickProject>> projects(const QByteArray& body) {
    const auto value = json::parse(body);
    if (!value || !value->isArray()) return std::nullopt;
    std::vector<TickTickProject> out;
    for (const QCborValue& item : value->toArray()) {
        if (!item.isMap()) return std::nullopt;
        const QCborMap map = item.toMap();
        const auto id = text(map, "id");
        const auto name = text(map, "name");
        if (!id || !name) return std::nullopt;
        out.push_back(TickTickProject{*id, *name});
    }
    return out;
}

std::optional<std::vector<TickTickTask>> openTasks(const QByteArray& body) {
    const auto value = json::parse(body);
    if (!value || !value->isMap()) return std::nullopt;
    const QCborValue tasks = value->toMap().value(QStringLiteral("tasks"));
    if (!tasks.isArray()) return std::nullopt;
    std::vector<TickTickTask> out;
    for (const QCborValue& item : tasks.toArray()) {
        if (!item.isMap()) return std::nullopt;
        const QCborMap map = item.toMap();
        const auto id = text(map, "id");
        const auto projectID = text(map, "projectId");
        const auto title = text(map, "title");
        const QCborValue status = map.value(QStringLiteral("status"));
        if (!id || !projectID || !title || !status.isInteger()) return std::nullopt;
        if (status.toInteger() == 0) out.push_back(TickTickTask{*id, *projectID, *title});
    }
    return out;
}

}  // namespace ticktickreply

}  // namespace tw
