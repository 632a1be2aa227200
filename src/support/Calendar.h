#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTimeZone>
#include <optional>

#include "support/Instant.h"

namespace tw {

// The Gregorian calendar in the process's current time zone, through which every day computation
// goes. `shared()` hands out one calendar and builds a new one when the zone has changed, so a
// change of zone takes effect at the next computation. Days start at local midnight (days of 23
// or 25 hours around daylight-saving changes are split at their real midnights).
class Calendar {
public:
    explicit Calendar(QTimeZone zone);

    // The calendar of the current default zone (TZ, then the system setting). Main thread only.
    static const Calendar& shared();

    const QTimeZone& zone() const { return zone_; }

    QDate localDate(Instant t) const;
    Instant startOfDay(QDate date) const;
    Instant startOfDay(Instant t) const { return startOfDay(localDate(t)); }
    // `t` plus `n` calendar days, keeping the local time of day (clamped into a DST gap).
    Instant addDays(Instant t, int n) const;
    // Whole days from `a` to `b` (negative when `b` is earlier), counted like a calendar does:
    // local dates apart, less one when the time of day has not been reached yet.
    qint64 daysBetween(Instant a, Instant b) const;

    QString dayKey(Instant t) const { return dayKey(localDate(t)); }
    static QString dayKey(QDate date);
    // Splits at "-", drops pieces that are not integers; exactly three make a date.
    static std::optional<QDate> dateFromDayKey(QStringView key);
    std::optional<Instant> dayStartFromKey(QStringView key) const;

private:
    QTimeZone zone_;
};

}  // namespace tw
