#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

#include "sync/FocusEvent.h"
#include "sync/NtfyTopic.h"

namespace tw {

// What a phone notification shows for one focus event.
struct NtfyContent {
    QString title;
    QString message;
    QStringList tags;  // ntfy's emoji short codes
    int priority = 3;  // 1 … 5, ntfy's default 3

    // The notification for `event`: focus and break starts and ends only; pauses, resumes and
    // resets give none. End times are shown in the user's locale and time zone.
    static std::optional<NtfyContent> forEvent(const FocusEvent& event);
    // "25 min": the duration in minutes, halves rounded away from zero, at least 1.
    static QString minutesText(qint64 durationSec);
    // The planned end as a short local time ("14:25", "2:25 PM"), or "soon" when the timestamp
    // does not read.
    static QString endTimeText(const QString& endsAt);

    // The JSON publish body: {"topic", "title", "message", "tags", "priority"}.
    QByteArray publishBody(const NtfyTopic& topic) const;

    friend bool operator==(const NtfyContent&, const NtfyContent&) = default;
};

}  // namespace tw
