#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>
#include <optional>

#include "support/Instant.h"

namespace tw {

// The copy of a running or paused phase that the timer keeps under "activeTimerSession", so that a
// session survives a crash or a kill. Dates are seconds since 2001-01-01 UTC.
struct SavedSession {
    QUuid id;
    QString mode;   // "focus" or "rest"
    QString state;  // "idle", "running" or "paused"
    qint64 remaining = 0;
    std::optional<Instant> endDate;
    std::optional<Instant> phaseStart;
    qint64 pausedElapsed = 0;
    std::optional<Instant> focusSegmentStart;
    std::optional<qint64> phaseSeconds;

    QByteArray encode() const;
    // None when the data is not a JSON object, a required key is missing, a value has the wrong
    // type, or the mode or state is not one of the known raw values.
    static std::optional<SavedSession> decode(const QByteArray& bytes);

    friend bool operator==(const SavedSession&, const SavedSession&) = default;
};

}  // namespace tw
