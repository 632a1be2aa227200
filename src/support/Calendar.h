#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <QTimeZone>
#include <optional>
#include <vector>

#include "support/Instant.h"

namespace tw {

// The Gregorian calendar in the process's current time zone, through which every day computation
// goes. `shared()` hands out one calendar and builds a new one when the zone has changed, so a
// change of zone takes effect at the next computation. Days start at local midnight (days of 23
// or 25 hours around daylight-saving changes are split at their real midnights).
//
// The zone's offsets from 1900 to 2037 are read once into a table, so converting between moments
// and local dates costs a binary search instead of a time-zone lookup; moments outside that range
// go through QTimeZone directly.
class Calendar {
public:
    explicit Calendar(QTimeZone zone);

    // The calendar of the current default zone (TZ, then the system setting; UTC when neither
    // names a known zone). Main thread only. The reference stays valid for the life of the
    // process, also after the zone has changed.
    static const Calendar& shared();

    const QTimeZone& zone() const { return zone_; }

    // The local date of `t`; an invalid date for a non-finite or absurdly distant moment.
    QDate localDate(Instant t) const;
    // The first moment of `date`: local midnight, or the end of a daylight-saving gap that swallows
    // midnight (or the whole day). Not finite for an invalid date.
    Instant startOfDay(QDate date) const;
    Instant startOfDay(Instant t) const { return startOfDay(localDate(t)); }
    // `t` plus `n` calendar days, keeping the local time of day; a time of day that falls into a
    // daylight-saving gap becomes the first moment after the gap.
    Instant addDays(Instant t, int n) const;
    // Whole days from `a` to `b` (negative when `b` is earlier), counted like a calendar does:
    // local dates apart, less one when the time of day has not been reached yet.
    qint64 daysBetween(Instant a, Instant b) const;

    QString dayKey(Instant t) const { return dayKey(localDate(t)); }
    static QString dayKey(QDate date);
    // Splits at "-", drops pieces that are not integers (optional sign, ASCII digits, nothing
    // else); exactly three make a date, which must exist.
    static std::optional<QDate> dateFromDayKey(QStringView key);
    std::optional<Instant> dayStartFromKey(QStringView key) const;

private:
    struct Period {
        qint64 start;  // Unix seconds at which `offset` takes effect
        int offset;    // seconds east of UTC
    };

    bool inTable(double unixSeconds) const {
        return unixSeconds >= static_cast<double>(tableStart_) &&
               unixSeconds < static_cast<double>(tableEnd_);
    }
    // Index of the period holding `unixSeconds`, which must lie in the table.
    std::size_t periodAt(double unixSeconds) const;
    // Local wall-clock seconds (Unix-like, as if local time were UTC) of a moment in the table.
    double wallSeconds(double unixSeconds) const;
    // The first moment whose wall-clock time is at or after `wall`; NaN when the table cannot
    // answer.
    double firstAtOrAfterWall(double wall) const;

    QTimeZone zone_;
    std::vector<Period> periods_;
    qint64 tableStart_ = 0;
    qint64 tableEnd_ = 0;
};

}  // namespace tw
