#include "sync/FocusEvent.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>

namespace tw {

namespace {

constexpr std::array<std::pair<FocusEventType, const char*>, 7> kTypes{{
    {FocusEventType::focusStarted, "focus_started"},
    {FocusEventType::focusPaused, "focus_paused"},
    {FocusEventType::focusResumed, "focus_resumed"},
    {FocusEventType::focusCompleted, "focus_completed"},
    {FocusEventType::breakStarted, "break_started"},
    {FocusEventType::breakCompleted, "break_completed"},
    {FocusEventType::sessionReset, "session_reset"},
}};

const QString kTimestampFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'");

std::optional<QString> stringField(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

}  // namespace

QString rawValue(FocusEventType type) {
    for (const auto& [t, raw] : kTypes) {
        if (t == type) return QString::fromLatin1(raw);
    }
    return {};
}

std::optional<FocusEventType> focusEventTypeFromRaw(const QString& raw) {
    for (const auto& [t, text] : kTypes) {
        if (raw == QLatin1String(text)) return t;
    }
    return std::nullopt;
}

QString eventTimestamp(Instant t) {
    // Whole seconds since 1970, cut down to the second; a moment that is not a number reads as
    // 1970 rather than as garbage. Years stay within the four digits of the format.
    double unix = std::floor(t.toUnix());
    if (!std::isfinite(unix)) unix = 0;
    unix = std::clamp(unix, -62135596800.0, 253402300799.0);  // 0001-01-01 … 9999-12-31
    const QDateTime dt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(unix), Qt::UTC);
    return dt.toString(kTimestampFormat);
}

std::optional<Instant> parseEventTimestamp(const QString& text) {
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z$"));
    if (!shape.match(text).hasMatch()) return std::nullopt;
    QDateTime dt = QDateTime::fromString(text, kTimestampFormat);
    if (!dt.isValid()) return std::nullopt;
    dt.setTimeSpec(Qt::UTC);
    return Instant::fromUnix(static_cast<double>(dt.toSecsSinceEpoch()));
}

qint64 FocusEvent::clampedDuration(qint64 seconds) {
    return std::clamp<qint64>(seconds, 0, maxDurationSec);
}

QJsonObject FocusEvent::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("id"), id);
    o.insert(QStringLiteral("type"), rawValue(type));
    o.insert(QStringLiteral("mode"), mode);
    o.insert(QStringLiteral("startedAt"), startedAt);
    o.insert(QStringLiteral("endsAt"), endsAt);
    o.insert(QStringLiteral("durationSec"), durationSec);
    o.insert(QStringLiteral("sentAt"), sentAt);
    return o;
}

QByteArray FocusEvent::encoded() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<FocusEvent> FocusEvent::fromJson(const QJsonObject& o) {
    FocusEvent e;
    const auto id = stringField(o, "id");
    const auto type = stringField(o, "type");
    const auto mode = stringField(o, "mode");
    const auto startedAt = stringField(o, "startedAt");
    const auto endsAt = stringField(o, "endsAt");
    const auto sentAt = stringField(o, "sentAt");
    if (!id || !type || !mode || !startedAt || !endsAt || !sentAt) return std::nullopt;
    const auto kind = focusEventTypeFromRaw(*type);
    if (!kind) return std::nullopt;
    // A whole number of seconds within the 64-bit range.
    const QJsonValue duration = o.value(QLatin1String("durationSec"));
    if (!duration.isDouble()) return std::nullopt;
    const double d = duration.toDouble();
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9.2e18 || d > 9.2e18) return std::nullopt;
    e.id = *id;
    e.type = *kind;
    e.mode = *mode;
    e.startedAt = *startedAt;
    e.endsAt = *endsAt;
    e.durationSec = duration.toInteger(static_cast<qint64>(d));
    e.sentAt = *sentAt;
    return e;
}

std::optional<FocusEvent> FocusEvent::decode(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return fromJson(doc.object());
}

}  // namespace tw
