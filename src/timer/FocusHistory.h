#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUuid>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "support/Calendar.h"
#include "support/Instant.h"

namespace tw {

class DriftLog;

// Per-day focused seconds and completed focus sessions: the source of every statistic.
struct FocusHistory {
    struct Totals {
        double seconds = 0;   // focused seconds of the day, fractions kept
        qint64 sessions = 0;  // completed focus sessions of the day
        friend bool operator==(const Totals&, const Totals&) = default;
    };

    // One day as uploaded to the website.
    struct SyncDay {
        QString date;  // day key
        double seconds = 0;
        qint64 sessions = 0;
        friend bool operator==(const SyncDay&, const SyncDay&) = default;
    };

    QUuid ledgerID = QUuid::createUuid();
    QMap<QString, Totals> days;  // day key → totals; days without focus have no entry
    std::optional<QUuid> checkpointSession;
    std::optional<Instant> checkpoint;
    std::optional<QUuid> lastCompletedSession;

    // Adds the focus time between `from` and the earlier of `to` and `now`, split at local
    // midnights; idempotent per session through the checkpoint.
    void credit(const QUuid& session, Instant from, Instant to, Instant now);
    // Counts one completed session on the day of `at`, at most once per session identity.
    void recordCompletedSession(const QUuid& session, Instant at);
    qint64 totalSessions() const;

    // A valid entry: a 10-character key, 0…172800 finite seconds and 0…1000000 sessions.
    static bool isValidEntry(const QString& key, const Totals& totals);
    static QMap<QString, Totals> cleaned(const QMap<QString, Totals>& days);

    // The key of the day of `date` ("%04d-%02d-%02d") and the start of the day a key names, both
    // in the shared calendar.
    static QString dayKey(Instant date);
    static std::optional<Instant> dateFromDayKey(QStringView key);

    // The stored JSON form (no "ledgerID" is written). Empty when the history holds a number that
    // JSON cannot carry (a non-finite value): nothing should be stored then.
    QByteArray encode() const;
    // Strict decoding: a missing "days" or a wrong type anywhere rejects the whole record.
    static std::optional<FocusHistory> decode(const QByteArray& bytes);
    // Keeps what can be kept from data that does not decode: a valid "ledgerID" and every member
    // of "days" that decodes on its own. None when the data is not a JSON object.
    static std::optional<FocusHistory> salvage(const QByteArray& bytes);

    friend bool operator==(const FocusHistory&, const FocusHistory&) = default;
};

// One element of the day series.
struct FocusDay {
    Instant date;  // the day's start
    double seconds = 0;
    qint64 sessions = 0;
    // Whole minutes, truncated toward zero (0 for a value that is not a finite number).
    qint64 minutes() const {
        return std::isfinite(seconds) ? static_cast<qint64>(std::clamp(seconds / 60.0, -9e18, 9e18))
                                      : 0;
    }
    friend bool operator==(const FocusDay&, const FocusDay&) = default;
};

// The summary shown with a completed session and in the history window.
struct FocusGlance {
    qint64 minutesToday = 0;
    qint64 sessionsToday = 0;
    qint64 streak = 0;
    qint64 bestStreak = 0;
    std::optional<QString> topDistraction;
    friend bool operator==(const FocusGlance&, const FocusGlance&) = default;
};

namespace stats {

// Every day from the first recorded one to the day of `date`, zeros where nothing was recorded.
std::vector<FocusDay> series(const FocusHistory& history, Instant date);
qint64 currentStreak(const FocusHistory& history, Instant date);
qint64 bestStreak(const FocusHistory& history);
// `drifts` gives the week's top distraction; without a log there is none.
FocusGlance glance(const FocusHistory& history, Instant date, const DriftLog* drifts);

}  // namespace stats

}  // namespace tw
