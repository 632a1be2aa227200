#include "widget/app/FocusWidgetTimeline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "support/ModeColors.h"

namespace tw {

namespace {

const QString kRunning = QStringLiteral("running");
const QString kPaused = QStringLiteral("paused");
const QString kFocus = QStringLiteral("Focus");

double unixSeconds(const QDateTime& t) {
    return static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0;
}

bool isRunning(const FocusWidgetSnapshot& s) {
    return s.state == kRunning;
}

// The snapshot's "%d:%02d" time as seconds; none for anything else. Up to 15 digits of minutes,
// which cannot overflow.
std::optional<qint64> clockSeconds(const QString& time) {
    constexpr qsizetype kMaxMinuteDigits = 15;
    const qsizetype colon = time.indexOf(QLatin1Char(':'));
    if (colon <= 0 || colon > kMaxMinuteDigits || time.size() != colon + 3) return std::nullopt;
    qint64 minutes = 0;
    for (qsizetype i = 0; i < colon; ++i) {
        if (!time[i].isDigit()) return std::nullopt;
        minutes = minutes * 10 + time[i].digitValue();
    }
    const QChar tens = time[colon + 1];
    const QChar ones = time[colon + 2];
    if (!tens.isDigit() || !ones.isDigit() || tens.digitValue() > 5) return std::nullopt;
    return minutes * 60 + tens.digitValue() * 10 + ones.digitValue();
}

// Rounded up to a whole second; values beyond the 64-bit range saturate.
qint64 ceilSeconds(double s) {
    if (std::isnan(s)) return 0;
    const double c = std::ceil(s);
    if (c >= 9.2e18) return std::numeric_limits<qint64>::max();
    if (c <= -9.2e18) return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(c);
}

}  // namespace

QDateTime systemWidgetClock() {
    return QDateTime::currentDateTimeUtc();
}

FocusWidgetTimeline FocusWidgetTimeline::build(const FocusWidgetSnapshot& snapshot,
                                               const QDateTime& now) {
    FocusWidgetTimeline timeline;
    if (isRunning(snapshot) && snapshot.endDate && *snapshot.endDate > unixSeconds(now)) {
        const double end = *snapshot.endDate;
        QDateTime cursor = now;
        while (unixSeconds(cursor) < end &&
               timeline.entries.size() < static_cast<std::size_t>(kMaxEntries)) {
            timeline.entries.push_back({cursor, snapshot});
            QDateTime next = cursor.addSecs(60);
            if (!next.isValid()) next = cursor.addMSecs(60 * 1000);
            if (!next.isValid()) break;
            cursor = next;
        }
    }
    if (timeline.entries.empty()) timeline.entries.push_back({now, snapshot});
    timeline.reloadAfter =
        now.addSecs(isRunning(snapshot) ? kRunningReloadSeconds : kIdleReloadSeconds);
    return timeline;
}

const FocusWidgetEntry* FocusWidgetTimeline::entryAt(const QDateTime& now) const {
    if (entries.empty()) return nullptr;
    const FocusWidgetEntry* shown = &entries.front();
    for (const auto& e : entries) {
        if (e.date <= now) shown = &e;
    }
    return shown;
}

QDateTime FocusWidgetTimeline::nextChange(const QDateTime& now) const {
    QDateTime next = reloadAfter;
    for (const auto& e : entries) {
        if (e.date > now) {
            if (e.date < next) next = e.date;
            break;
        }
    }
    return next;
}

namespace widget_text {

qint64 secondsShown(const FocusWidgetEntry& entry) {
    const FocusWidgetSnapshot& s = entry.snapshot;
    if (isRunning(s) && s.endDate) {
        return std::max<qint64>(ceilSeconds(*s.endDate - unixSeconds(entry.date)), 0);
    }
    if (s.state == kPaused) {
        if (const auto left = clockSeconds(s.time)) return *left;
    }
    return s.phaseSeconds;
}

QString countdown(qint64 seconds) {
    // A negative phase length can only come from a damaged snapshot; it shows as nothing left.
    const qint64 s = std::max<qint64>(seconds, 0);
    return QString::asprintf("%lld:%02lld", static_cast<long long>(s / 60),
                             static_cast<long long>(s % 60));
}

QString status(const FocusWidgetSnapshot& s) {
    if (s.state == kRunning) {
        return s.mode == kFocus ? QStringLiteral("Focusing now") : QStringLiteral("On a break");
    }
    if (s.state == kPaused) return QStringLiteral("Paused");
    return QStringLiteral("Ready when you are");
}

QString modeLine(const FocusWidgetSnapshot& s) {
    return s.mode.toUpper();
}

QColor modeColor(const FocusWidgetSnapshot& s) {
    // The island's accents, so that the widget and the island speak of a mode in one colour.
    return s.mode == kFocus ? modecolors::focus() : modecolors::rest();
}

QString plainLine(const FocusWidgetEntry& entry) {
    return entry.snapshot.mode + QLatin1Char(' ') + countdown(secondsShown(entry)) +
           QStringLiteral(" · ") + status(entry.snapshot);
}

QString waybarClass(const FocusWidgetSnapshot& s) {
    if (s.state == kRunning) {
        return s.mode == kFocus ? QStringLiteral("focus") : QStringLiteral("break");
    }
    if (s.state == kPaused) return QStringLiteral("paused");
    return QStringLiteral("idle");
}

QByteArray waybarJson(const FocusWidgetEntry& entry) {
    const FocusWidgetSnapshot& s = entry.snapshot;
    const qint64 shown = secondsShown(entry);
    // How much of the phase has passed, 0 to 100.
    qint64 percentage = 0;
    if (s.phaseSeconds > 0 && shown < s.phaseSeconds) {
        const double done = double(s.phaseSeconds - std::max<qint64>(shown, 0)) / s.phaseSeconds;
        percentage = std::clamp<qint64>(std::llround(done * 100.0), 0, 100);
    }
    QJsonObject o;
    o.insert(QStringLiteral("text"), s.mode + QLatin1Char(' ') + countdown(shown));
    o.insert(QStringLiteral("tooltip"),
             QLatin1String(TarnwhistleWidget::displayName) + QStringLiteral(": ") + status(s));
    o.insert(QStringLiteral("class"), waybarClass(s));
    o.insert(QStringLiteral("percentage"), percentage);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

}  // namespace widget_text

}  // namespace tw
