#include "widget/FocusWidgetSnapshot.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>

namespace tw {

namespace {

std::optional<QString> stringField(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

// A JSON number with a whole value that fits in 64 bits ("1500" or "1500.0", not "1500.5").
std::optional<qint64> integerField(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) return std::nullopt;
    // toInteger answers its fallback when the number is not a representable whole number; two
    // different fallbacks tell that case apart from a stored value that equals one of them.
    const qint64 a = v.toInteger(0);
    const qint64 b = v.toInteger(1);
    if (a != b) return std::nullopt;
    return a;
}

}  // namespace

std::optional<QByteArray> FocusWidgetSnapshot::encode() const {
    if (endDate && !std::isfinite(*endDate)) return std::nullopt;
    QJsonObject o;
    o.insert(QStringLiteral("mode"), mode);
    o.insert(QStringLiteral("state"), state);
    o.insert(QStringLiteral("time"), time);
    if (endDate) o.insert(QStringLiteral("endDate"), *endDate);
    o.insert(QStringLiteral("phaseSeconds"), phaseSeconds);
    o.insert(QStringLiteral("focusMinutesToday"), focusMinutesToday);
    o.insert(QStringLiteral("streak"), streak);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<FocusWidgetSnapshot> FocusWidgetSnapshot::decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();

    auto mode = stringField(o, "mode");
    auto state = stringField(o, "state");
    auto time = stringField(o, "time");
    auto phaseSeconds = integerField(o, "phaseSeconds");
    auto focusMinutesToday = integerField(o, "focusMinutesToday");
    auto streak = integerField(o, "streak");
    if (!mode || !state || !time || !phaseSeconds || !focusMinutesToday || !streak) {
        return std::nullopt;
    }
    std::optional<double> endDate;
    if (o.contains(QLatin1String("endDate"))) {
        const QJsonValue v = o.value(QLatin1String("endDate"));
        // An explicit null is treated like an absent key, as an optional field reads it.
        if (!v.isNull()) {
            if (!v.isDouble()) return std::nullopt;
            endDate = v.toDouble();
        }
    }

    FocusWidgetSnapshot s;
    s.mode = *mode;
    s.state = *state;
    s.time = *time;
    s.endDate = endDate;
    s.phaseSeconds = *phaseSeconds;
    s.focusMinutesToday = *focusMinutesToday;
    s.streak = *streak;
    return s;
}

}  // namespace tw
