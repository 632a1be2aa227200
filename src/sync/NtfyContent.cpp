#include "sync/NtfyContent.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <algorithm>
#include <cmath>

namespace tw {

namespace {

const QString kMiddleDot = QString(QChar(0x00B7));

}  // namespace

QString NtfyContent::minutesText(qint64 durationSec) {
    const qint64 minutes = std::max<qint64>(std::llround(double(durationSec) / 60.0), 1);
    return QString::number(minutes) + QStringLiteral(" min");
}

QString NtfyContent::endTimeText(const QString& endsAt) {
    const auto end = parseEventTimestamp(endsAt);
    if (!end) return QStringLiteral("soon");
    const QDateTime local = end->toDateTime().toLocalTime();
    return QLocale().toString(local.time(), QLocale::ShortFormat);
}

std::optional<NtfyContent> NtfyContent::forEvent(const FocusEvent& event) {
    const QString minutes = minutesText(event.durationSec);
    switch (event.type) {
        case FocusEventType::focusStarted:
            return NtfyContent{QStringLiteral("Focus started"),
                               minutes + QStringLiteral(" focus ") + kMiddleDot +
                                   QStringLiteral(" ends ") + endTimeText(event.endsAt),
                               {QStringLiteral("alarm_clock")},
                               3};
        case FocusEventType::focusCompleted:
            return NtfyContent{QStringLiteral("Focus complete"),
                               minutes + QStringLiteral(" focus done. Time for a break."),
                               {QStringLiteral("white_check_mark")},
                               3};
        case FocusEventType::breakStarted:
            return NtfyContent{QStringLiteral("Break started"),
                               minutes + QStringLiteral(" break ") + kMiddleDot +
                                   QStringLiteral(" ends ") + endTimeText(event.endsAt),
                               {QStringLiteral("coffee")},
                               2};
        case FocusEventType::breakCompleted:
            return NtfyContent{QStringLiteral("Break over"),
                               QStringLiteral("Ready to focus again?"),
                               {QStringLiteral("coffee")},
                               3};
        case FocusEventType::focusPaused:
        case FocusEventType::focusResumed:
        case FocusEventType::sessionReset:
            return std::nullopt;
    }
    return std::nullopt;
}

QByteArray NtfyContent::publishBody(const NtfyTopic& topic) const {
    QJsonObject o;
    o.insert(QStringLiteral("topic"), topic.name);
    o.insert(QStringLiteral("title"), title);
    o.insert(QStringLiteral("message"), message);
    o.insert(QStringLiteral("tags"), QJsonArray::fromStringList(tags));
    o.insert(QStringLiteral("priority"), priority);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace tw
