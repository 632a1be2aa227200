#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

#include "support/Instant.h"

namespace tw {

// What happened to the timer, as the website and the phone notifications name it.
enum class FocusEventType {
    focusStarted,
    focusPaused,
    focusResumed,
    focusCompleted,
    breakStarted,
    breakCompleted,
    sessionReset,
};

// "focus_started", "focus_paused", … as sent on the wire.
QString rawValue(FocusEventType type);
std::optional<FocusEventType> focusEventTypeFromRaw(const QString& raw);

// Timestamps of the events: ISO 8601 in UTC with a literal Z and whole seconds
// ("2026-03-01T09:30:00Z"); a fraction of a second is cut off.
QString eventTimestamp(Instant t);
// Reads back exactly the form `eventTimestamp` writes.
std::optional<Instant> parseEventTimestamp(const QString& text);

// One change of the timer, sent to the website (which forwards it to the user's phone) and to
// the ntfy notifier. Its JSON object has exactly these keys, all required.
struct FocusEvent {
    static constexpr qint64 maxDurationSec = 172800;  // 48 hours

    QString id;  // a random UUID, canonical form with upper-case hex digits
    FocusEventType type = FocusEventType::focusStarted;
    QString mode;            // "focus" or "rest"
    QString startedAt;       // start of the phase, a timestamp
    QString endsAt;          // planned end of the phase, a timestamp
    qint64 durationSec = 0;  // planned length of the phase, 0 … maxDurationSec
    QString sentAt;          // moment of emission on the website's clock, a timestamp

    QJsonObject toJson() const;
    QByteArray encoded() const;  // compact JSON text
    // Rejects a missing key, a value of the wrong type and an unknown type; other keys are
    // ignored.
    static std::optional<FocusEvent> fromJson(const QJsonObject& object);
    static std::optional<FocusEvent> decode(const QByteArray& json);

    // `seconds` limited to 0 … maxDurationSec.
    static qint64 clampedDuration(qint64 seconds);

    friend bool operator==(const FocusEvent&, const FocusEvent&) = default;
};

}  // namespace tw
