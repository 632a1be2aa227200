#include "timer/SavedSession.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "support/Uuid.h"

namespace tw {

namespace {

// A JSON number that is a whole value within the 64-bit range.
std::optional<qint64> integerValue(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18) return std::nullopt;
    return v.toInteger(static_cast<qint64>(d));
}

// Optional fields: absent or null means absent; any other kind than a number is a decoding error.
bool optionalDate(const QJsonObject& o, const char* key, std::optional<Instant>& out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) return true;
    if (!v.isDouble()) return false;
    out = Instant::fromReference(v.toDouble());
    return true;
}

}  // namespace

QByteArray SavedSession::encode() const {
    QJsonObject o;
    o.insert(QStringLiteral("id"), uuidText(id));
    o.insert(QStringLiteral("mode"), mode);
    o.insert(QStringLiteral("state"), state);
    o.insert(QStringLiteral("remaining"), remaining);
    if (endDate) o.insert(QStringLiteral("endDate"), endDate->seconds);
    if (phaseStart) o.insert(QStringLiteral("phaseStart"), phaseStart->seconds);
    o.insert(QStringLiteral("pausedElapsed"), pausedElapsed);
    if (focusSegmentStart)
        o.insert(QStringLiteral("focusSegmentStart"), focusSegmentStart->seconds);
    if (phaseSeconds) o.insert(QStringLiteral("phaseSeconds"), *phaseSeconds);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<SavedSession> SavedSession::decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();

    SavedSession s;
    const QJsonValue id = o.value(QStringLiteral("id"));
    if (!id.isString()) return std::nullopt;
    const auto uuid = parseUuid(id.toString());
    if (!uuid) return std::nullopt;
    s.id = *uuid;

    const QJsonValue mode = o.value(QStringLiteral("mode"));
    const QJsonValue state = o.value(QStringLiteral("state"));
    if (!mode.isString() || !state.isString()) return std::nullopt;
    s.mode = mode.toString();
    s.state = state.toString();
    if (s.mode != QLatin1String("focus") && s.mode != QLatin1String("rest")) return std::nullopt;
    if (s.state != QLatin1String("idle") && s.state != QLatin1String("running") &&
        s.state != QLatin1String("paused")) {
        return std::nullopt;
    }

    const auto remaining = integerValue(o.value(QStringLiteral("remaining")));
    const auto pausedElapsed = integerValue(o.value(QStringLiteral("pausedElapsed")));
    if (!remaining || !pausedElapsed) return std::nullopt;
    s.remaining = *remaining;
    s.pausedElapsed = *pausedElapsed;

    if (!optionalDate(o, "endDate", s.endDate) || !optionalDate(o, "phaseStart", s.phaseStart) ||
        !optionalDate(o, "focusSegmentStart", s.focusSegmentStart)) {
        return std::nullopt;
    }
    const QJsonValue phaseSeconds = o.value(QStringLiteral("phaseSeconds"));
    if (!phaseSeconds.isUndefined() && !phaseSeconds.isNull()) {
        const auto v = integerValue(phaseSeconds);
        if (!v) return std::nullopt;
        s.phaseSeconds = *v;
    }
    return s;
}

}  // namespace tw
