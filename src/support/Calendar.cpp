#include "support/Calendar.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>

namespace tw {

namespace {

constexpr qint64 kUnixEpochJulianDay = 2440588;  // 1970-01-01
constexpr double kDay = 86400.0;
constexpr qint64 kTableStart = -2208988800;  // 1900-01-01 00:00 UTC
// The zone files carry explicit transitions up to 2037; later years come from a rule that
// QTimeZone applies itself, so the table stops there.
constexpr qint64 kTableEnd = 2114380800;  // 2037-01-01 00:00 UTC
// Beyond this QDateTime's millisecond arithmetic is no longer trustworthy.
constexpr double kFarAway = 1e14;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

qint64 unixMSecs(double unixSeconds) {
    return static_cast<qint64>(std::floor(unixSeconds * 1000.0));
}

// A piece of a day key as an integer: an optional "+" and ASCII digits only (no spaces), within
// 64 bits. ("-" never reaches here: the key is split at it.)
std::optional<qint64> parseInteger(QStringView piece) {
    qsizetype i = 0;
    if (i < piece.size() && piece[i] == u'+') ++i;
    if (i == piece.size()) return std::nullopt;
    qint64 value = 0;
    for (; i < piece.size(); ++i) {
        const char16_t c = piece[i].unicode();
        if (c < u'0' || c > u'9') return std::nullopt;
        if (__builtin_mul_overflow(value, 10, &value)) return std::nullopt;
        if (__builtin_add_overflow(value, c - u'0', &value)) return std::nullopt;
    }
    return value;
}

bool isDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

}  // namespace

Calendar::Calendar(QTimeZone zone) : zone_(std::move(zone)) {
    if (!zone_.isValid()) return;
    const QDateTime from = QDateTime::fromSecsSinceEpoch(kTableStart, Qt::UTC);
    const QDateTime to = QDateTime::fromSecsSinceEpoch(kTableEnd, Qt::UTC);
    periods_.push_back({kTableStart, zone_.offsetFromUtc(from)});
    if (zone_.hasTransitions()) {
        for (const QTimeZone::OffsetData& t : zone_.transitions(from, to)) {
            const qint64 at = t.atUtc.toSecsSinceEpoch();
            if (at >= kTableEnd) break;
            if (at <= periods_.back().start) {
                periods_.back().offset = t.offsetFromUtc;
            } else if (t.offsetFromUtc != periods_.back().offset) {
                periods_.push_back({at, t.offsetFromUtc});
            }
        }
    }
    tableStart_ = kTableStart;
    tableEnd_ = kTableEnd;
}

const Calendar& Calendar::shared() {
    // Calendars are kept per zone and never destroyed, so a reference handed out before a change
    // of zone stays usable and returning to an earlier zone reuses its table.
    static std::map<QByteArray, std::unique_ptr<Calendar>> kept;
    static const Calendar* current = nullptr;
    static QByteArray currentId;
    const QByteArray id = QTimeZone::systemTimeZoneId();
    if (current && id == currentId) return *current;
    auto it = kept.find(id);
    if (it == kept.end()) {
        QTimeZone zone(id);
        if (!zone.isValid()) zone = QTimeZone::systemTimeZone();
        if (!zone.isValid()) zone = QTimeZone::utc();  // what the C library does with a bad TZ
        it = kept.emplace(id, std::make_unique<Calendar>(zone)).first;
    }
    current = it->second.get();
    currentId = id;
    return *current;
}

std::size_t Calendar::periodAt(double unixSeconds) const {
    const auto next = std::upper_bound(
        periods_.begin(), periods_.end(), unixSeconds,
        [](double s, const Period& p) { return s < static_cast<double>(p.start); });
    return static_cast<std::size_t>(next - periods_.begin()) - 1;
}

double Calendar::wallSeconds(double unixSeconds) const {
    return unixSeconds + periods_[periodAt(unixSeconds)].offset;
}

double Calendar::firstAtOrAfterWall(double wall) const {
    // No offset exceeds a day, so the answer lies after `wall` minus two days.
    const double low = wall - 2 * kDay;
    if (!inTable(low)) return kNaN;
    for (std::size_t j = periodAt(low); j < periods_.size(); ++j) {
        const double start = static_cast<double>(periods_[j].start);
        const double end = j + 1 < periods_.size() ? static_cast<double>(periods_[j + 1].start)
                                                   : static_cast<double>(tableEnd_);
        // Within one period the wall clock is the moment plus a fixed offset.
        const double candidate = std::max(start, wall - periods_[j].offset);
        if (candidate < end) return candidate;
    }
    return kNaN;
}

QDate Calendar::localDate(Instant t) const {
    if (!t.isFinite()) return QDate();
    const double u = t.toUnix();
    if (inTable(u)) {
        const double wall = wallSeconds(u);
        return QDate::fromJulianDay(static_cast<qint64>(std::floor(wall / kDay)) +
                                    kUnixEpochJulianDay);
    }
    if (std::fabs(u) > kFarAway) return QDate();
    return QDateTime::fromMSecsSinceEpoch(unixMSecs(u), zone_).date();
}

Instant Calendar::startOfDay(QDate date) const {
    if (!date.isValid()) return Instant{kNaN};
    const double midnight = static_cast<double>(date.toJulianDay() - kUnixEpochJulianDay) * kDay;
    const double first = firstAtOrAfterWall(midnight);
    if (!std::isnan(first)) return Instant::fromUnix(first);
    // A day can be missing altogether (a zone moving across the date line); it then starts
    // where the next existing day starts.
    for (int i = 0; i < 3; ++i) {
        const QDateTime dt = date.addDays(i).startOfDay(zone_);
        if (dt.isValid()) return Instant::fromDateTime(dt);
    }
    return Instant::fromUnix(midnight);
}

Instant Calendar::addDays(Instant t, int n) const {
    if (!t.isFinite()) return t;
    const double u = t.toUnix();
    if (inTable(u)) {
        const double moved = firstAtOrAfterWall(wallSeconds(u) + n * kDay);
        if (!std::isnan(moved)) return Instant::fromUnix(moved);
    }
    if (std::fabs(u) > kFarAway) return t + n * kDay;
    const qint64 ms = unixMSecs(u);
    const double fraction = u - static_cast<double>(ms) / 1000.0;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms, zone_);
    const QDateTime moved(local.date().addDays(n), local.time(), zone_);
    if (!moved.isValid()) return startOfDay(local.date().addDays(n));
    return Instant::fromDateTime(moved) + fraction;
}

qint64 Calendar::daysBetween(Instant a, Instant b) const {
    if (!a.isFinite() || !b.isFinite()) return 0;
    const double ua = a.toUnix();
    const double ub = b.toUnix();
    if (inTable(ua) && inTable(ub)) {
        const double wa = wallSeconds(ua);
        const double wb = wallSeconds(ub);
        const double da = std::floor(wa / kDay);
        const double db = std::floor(wb / kDay);
        qint64 n = static_cast<qint64>(db - da);
        const double ta = wa - da * kDay;
        const double tb = wb - db * kDay;
        if (n > 0 && tb < ta) --n;
        if (n < 0 && tb > ta) ++n;
        return n;
    }
    if (std::fabs(ua) > kFarAway || std::fabs(ub) > kFarAway) {
        return static_cast<qint64>((ub - ua) / kDay);
    }
    const QDateTime la = QDateTime::fromMSecsSinceEpoch(unixMSecs(ua), zone_);
    const QDateTime lb = QDateTime::fromMSecsSinceEpoch(unixMSecs(ub), zone_);
    qint64 n = la.date().daysTo(lb.date());
    if (n > 0 && lb.time() < la.time()) --n;
    if (n < 0 && lb.time() > la.time()) ++n;
    return n;
}

QString Calendar::dayKey(QDate date) {
    if (date.isValid() && date.year() >= 1 && date.year() <= 9999) {
        // "%04d-%02d-%02d", written by hand: keys are made for every day of every series.
        const int y = date.year();
        const int m = date.month();
        const int d = date.day();
        QString key(10, Qt::Uninitialized);
        QChar* out = key.data();
        out[0] = QChar(u'0' + y / 1000);
        out[1] = QChar(u'0' + y / 100 % 10);
        out[2] = QChar(u'0' + y / 10 % 10);
        out[3] = QChar(u'0' + y % 10);
        out[4] = QChar(u'-');
        out[5] = QChar(u'0' + m / 10);
        out[6] = QChar(u'0' + m % 10);
        out[7] = QChar(u'-');
        out[8] = QChar(u'0' + d / 10);
        out[9] = QChar(u'0' + d % 10);
        return key;
    }
    return QString::asprintf("%04d-%02d-%02d", date.year(), date.month(), date.day());
}

std::optional<QDate> Calendar::dateFromDayKey(QStringView key) {
    // The usual "dddd-dd-dd" directly; anything else through the general rule.
    if (key.size() == 10 && key[4] == u'-' && key[7] == u'-' && isDigit(key[0]) &&
        isDigit(key[1]) && isDigit(key[2]) && isDigit(key[3]) && isDigit(key[5]) &&
        isDigit(key[6]) && isDigit(key[8]) && isDigit(key[9])) {
        const auto digit = [&](int i) { return key[i].unicode() - u'0'; };
        const QDate date(digit(0) * 1000 + digit(1) * 100 + digit(2) * 10 + digit(3),
                         digit(5) * 10 + digit(6), digit(8) * 10 + digit(9));
        if (!date.isValid()) return std::nullopt;
        return date;
    }
    qint64 parts[3];
    int count = 0;
    qsizetype begin = 0;
    while (begin <= key.size()) {
        qsizetype end = key.indexOf(u'-', begin);
        if (end < 0) end = key.size();
        if (const auto v = parseInteger(key.mid(begin, end - begin))) {
            if (count == 3) return std::nullopt;
            parts[count++] = *v;
        }
        begin = end + 1;
    }
    if (count != 3) return std::nullopt;
    for (qint64 p : parts) {
        if (p < std::numeric_limits<int>::min() || p > std::numeric_limits<int>::max()) {
            return std::nullopt;
        }
    }
    const QDate date(static_cast<int>(parts[0]), static_cast<int>(parts[1]),
                     static_cast<int>(parts[2]));
    if (!date.isValid()) return std::nullopt;
    return date;
}

std::optional<Instant> Calendar::dayStartFromKey(QStringView key) const {
    const auto date = dateFromDayKey(key);
    if (!date) return std::nullopt;
    return startOfDay(*date);
}

}  // namespace tw
