#include "support/Calendar.h"

#include <memory>

namespace tw {

Calendar::Calendar(QTimeZone zone) : zone_(std::move(zone)) {}

const Calendar& Calendar::shared() {
    static std::unique_ptr<Calendar> kept;
    static QByteArray keptId;
    const QByteArray id = QTimeZone::systemTimeZoneId();
    if (!kept || id != keptId) {
        QTimeZone zone(id);
        if (!zone.isValid()) zone = QTimeZone::systemTimeZone();
        kept = std::make_unique<Calendar>(zone);
        keptId = id;
    }
    return *kept;
}

QDate Calendar::localDate(Instant t) const {
    return QDateTime::fromMSecsSinceEpoch(t.toUnixMSecs(), zone_).date();
}

Instant Calendar::startOfDay(QDate date) const {
    return Instant::fromDateTime(date.startOfDay(zone_));
}

Instant Calendar::addDays(Instant t, int n) const {
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(t.toUnixMSecs(), zone_);
    const QDateTime moved(local.date().addDays(n), local.time(), zone_);
    if (!moved.isValid()) return startOfDay(local.date().addDays(n));
    return Instant::fromDateTime(moved) + (t.seconds - std::floor(t.seconds * 1000.0) / 1000.0);
}

qint64 Calendar::daysBetween(Instant a, Instant b) const {
    const QDateTime la = QDateTime::fromMSecsSinceEpoch(a.toUnixMSecs(), zone_);
    const QDateTime lb = QDateTime::fromMSecsSinceEpoch(b.toUnixMSecs(), zone_);
    qint64 n = la.date().daysTo(lb.date());
    if (n > 0 && lb.time() < la.time()) --n;
    if (n < 0 && lb.time() > la.time()) ++n;
    return n;
}

QString Calendar::dayKey(QDate date) {
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

std::optional<QDate> Calendar::dateFromDayKey(QStringView key) {
    int parts[3];
    int count = 0;
    for (QStringView piece : key.split(u'-')) {
        bool ok = false;
        const int v = piece.toInt(&ok);
        if (!ok) continue;
        if (count == 3) return std::nullopt;
        parts[count++] = v;
    }
    if (count != 3) return std::nullopt;
    const QDate date(parts[0], parts[1], parts[2]);
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<Instant> Calendar::dayStartFromKey(QStringView key) const {
    const auto date = dateFromDayKey(key);
    if (!date) return std::nullopt;
    return startOfDay(*date);
}

}  // namespace tw
