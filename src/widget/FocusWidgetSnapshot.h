#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace tw {

// What the application publishes about its timer for the desktop widget, and the only definition
// the two programs share. Stored as one JSON object (as a data value) under `kDefaultsKey` in the
// app-group suite.
struct FocusWidgetSnapshot {
    static constexpr char kDefaultsKey[] = "focus-widget-snapshot";

    QString mode = QStringLiteral("Focus");  // "Focus" or "Break"
    QString state = QStringLiteral("idle");  // "idle", "running" or "paused"
    QString time = QStringLiteral("25:00");  // the remaining time as "%d:%02d"
    std::optional<double> endDate;           // planned end, seconds since 1970-01-01 UTC
    qint64 phaseSeconds = 1500;
    qint64 focusMinutesToday = 0;
    qint64 streak = 0;

    // Focus, idle, 25:00, no end date: what the widget shows when nothing usable is stored.
    static FocusWidgetSnapshot defaultSnapshot() { return {}; }

    // The JSON bytes; none when the record holds a number JSON cannot carry (a non-finite end).
    std::optional<QByteArray> encode() const;
    // Strict: the input must be a JSON object in which every required key is present with the
    // right type ("endDate" may be missing; integers may be written with a zero fraction). Unknown
    // keys are ignored.
    static std::optional<FocusWidgetSnapshot> decode(const QByteArray& bytes);

    friend bool operator==(const FocusWidgetSnapshot&, const FocusWidgetSnapshot&) = default;
};

}  // namespace tw
