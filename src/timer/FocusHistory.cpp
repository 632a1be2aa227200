#include "timer/FocusHistory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "support/Uuid.h"
#include "timer/DriftLog.h"

namespace tw {

namespace {

constexpr double kMaxDaySeconds = 172800;  // two days
constexpr qint64 kMaxDaySessions = 1000000;

constexpr QLatin1StringView kDays("days");
constexpr QLatin1StringView kSeconds("seconds");
constexpr QLatin1StringView kSessions("sessions");
constexpr QLatin1StringView kCheckpointSession("checkpointSession");
constexpr QLatin1StringView kCheckpoint("checkpoint");
constexpr QLatin1StringView kLastCompletedSession("lastCompletedSession");
constexpr QLatin1StringView kLedgerID("ledgerID");

// Ten user-perceived characters. Plain ASCII keys (every real day key) are counted directly;
// anything else by grapheme clusters, so a letter with a combining mark counts once.
bool hasTenCharacters(const QString& key) {
    bool plain = true;
    for (QChar c : key) {
        if (c.unicode() >= 0x80 || c == u'\r') {
            plain = false;
            break;
        }
    }
    if (plain) return key.size() == 10;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, key);
    int count = 0;
    while (finder.toNextBoundary() >= 0) {
        if (++count > 10) return false;
    }
    return count == 10;
}

// A JSON number that holds a whole value within 64 bits (2 and 2.0 both give 2).
std::optional<qint64> integerValue(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) return std::nullopt;
    return v.toInteger(static_cast<qint64>(d));
}

std::optional<FocusHistory::Totals> decodeTotals(const QJsonValue& v) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    const QJsonValue seconds = o.value(kSeconds);
    if (!seconds.isDouble()) return std::nullopt;
    const auto sessions = integerValue(o.value(kSessions));
    if (!sessions) return std::nullopt;
    return FocusHistory::Totals{seconds.toDouble(), *sessions};
}

// An optional member: absent or null gives an empty value, a wrong type gives none at all.
template <typename T, typename Read>
std::optional<std::optional<T>> optionalMember(const QJsonObject& o, QLatin1StringView key,
                                               Read read) {
    const QJsonValue v = o.value(key);
    if (v.isUndefined() || v.isNull()) return std::optional<std::optional<T>>(std::in_place);
    std::optional<T> value = read(v);
    if (!value) return std::nullopt;
    return std::optional<std::optional<T>>(std::in_place, std::move(value));
}

std::optional<QUuid> readUuid(const QJsonValue& v) {
    if (!v.isString()) return std::nullopt;
    return parseUuid(v.toString());
}

std::optional<Instant> readDate(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    return Instant::fromReference(v.toDouble());
}

std::optional<QJsonObject> parseObject(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

// A JSON string of `text`. Everything outside printable ASCII is escaped by UTF-16 code unit, so
// any key read from JSON (even one holding half a surrogate pair) is written back unchanged.
void appendJsonString(QByteArray& out, const QString& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'"' || c == u'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            out += "\\u";
            out += hex[(c >> 12) & 0xf];
            out += hex[(c >> 8) & 0xf];
            out += hex[(c >> 4) & 0xf];
            out += hex[c & 0xf];
        }
    }
    out += '"';
}

void clean(QMap<QString, FocusHistory::Totals>& days) {
    // Look before touching: a map that is shared stays shared when nothing has to go.
    const auto& view = std::as_const(days);
    auto bad = std::find_if(view.keyValueBegin(), view.keyValueEnd(), [](const auto& entry) {
        return !FocusHistory::isValidEntry(entry.first, entry.second);
    });
    if (bad == view.keyValueEnd()) return;
    for (auto it = days.begin(); it != days.end();) {
        it = FocusHistory::isValidEntry(it.key(), it.value()) ? std::next(it) : days.erase(it);
    }
}

qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

const FocusHistory::Totals* entryFor(const FocusHistory& history, const QString& key) {
    const auto it = history.days.constFind(key);
    return it == history.days.constEnd() ? nullptr : &it.value();
}

}  // namespace

void FocusHistory::credit(const QUuid& session, Instant from, Instant to, Instant now) {
    Instant lower = from;
    if (checkpointSession == session && checkpoint) lower = later(from, *checkpoint);
    const Instant upper = earlier(to, now);
    if (!(upper > lower)) return;
    const Calendar& calendar = Calendar::shared();
    // Moments the calendar cannot place (not finite, or millions of years away) are no focus time.
    if (!calendar.localDate(lower).isValid() || !calendar.localDate(upper).isValid()) return;

    Instant c = lower;
    while (c < upper) {
        const QDate day = calendar.localDate(c);
        Instant nextDay = calendar.startOfDay(day.addDays(1));
        if (!(nextDay > c)) nextDay = upper;  // never stall on an odd zone rule
        const Instant end = earlier(nextDay, upper);
        days[Calendar::dayKey(day)].seconds += end - c;
        c = end;
    }
    checkpointSession = session;
    checkpoint = upper;
    clean(days);
}

void FocusHistory::recordCompletedSession(const QUuid& session, Instant at) {
    if (lastCompletedSession == session) return;
    const QDate day = Calendar::shared().localDate(at);
    if (!day.isValid()) return;
    Totals& totals = days[Calendar::dayKey(day)];
    totals.sessions = saturatingAdd(totals.sessions, 1);
    lastCompletedSession = session;
    clean(days);
}

qint64 FocusHistory::totalSessions() const {
    qint64 total = 0;
    for (const Totals& t : days) total = saturatingAdd(total, t.sessions);
    return total;
}

bool FocusHistory::isValidEntry(const QString& key, const Totals& totals) {
    return std::isfinite(totals.seconds) && totals.seconds >= 0 &&
           totals.seconds <= kMaxDaySeconds && totals.sessions >= 0 &&
           totals.sessions <= kMaxDaySessions && hasTenCharacters(key);
}

QMap<QString, FocusHistory::Totals> FocusHistory::cleaned(const QMap<QString, Totals>& days) {
    QMap<QString, Totals> result = days;  // shared until an entry has to go
    clean(result);
    return result;
}

QString FocusHistory::dayKey(Instant date) {
    return Calendar::shared().dayKey(date);
}

std::optional<Instant> FocusHistory::dateFromDayKey(QStringView key) {
    return Calendar::shared().dayStartFromKey(key);
}

QByteArray FocusHistory::encode() const {
    // Written directly rather than through QJsonObject, whose inserts make ten years of days
    // quadratic: compact, keys in sorted order, as QJsonDocument writes it.
    QByteArray out;
    out.reserve(64 + days.size() * 48);
    const auto number = [&out](double d) {
        if (!std::isfinite(d)) return false;
        char buffer[32];  // the shortest text that reads back as the same double
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, d).ptr;
        out.append(buffer, end - buffer);
        return true;
    };
    const auto integer = [&out](qint64 n) {
        char buffer[24];
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, n).ptr;
        out.append(buffer, end - buffer);
    };
    const auto uuid = [&out](const char* key, const QUuid& id) {
        out += key;
        out += uuidText(id).toLatin1();
        out += '"';
    };
    out += '{';
    if (checkpoint) {
        out += "\"checkpoint\":";
        if (!number(checkpoint->seconds)) return {};
        out += ',';
    }
    if (checkpointSession) {
        uuid("\"checkpointSession\":\"", *checkpointSession);
        out += ',';
    }
    out += "\"days\":{";
    for (auto it = days.constBegin(); it != days.constEnd(); ++it) {
        if (it != days.constBegin()) out += ',';
        appendJsonString(out, it.key());
        out += ":{\"seconds\":";
        if (!number(it->seconds)) return {};
        out += ",\"sessions\":";
        integer(it->sessions);
        out += '}';
    }
    out += '}';
    if (lastCompletedSession) {
        out += ',';
        uuid("\"lastCompletedSession\":\"", *lastCompletedSession);
    }
    out += '}';
    return out;
}

std::optional<FocusHistory> FocusHistory::decode(const QByteArray& bytes) {
    const auto root = parseObject(bytes);
    if (!root) return std::nullopt;
    const QJsonValue daysValue = root->value(kDays);
    if (!daysValue.isObject()) return std::nullopt;

    FocusHistory history;
    const QJsonObject daysObject = daysValue.toObject();
    for (auto it = daysObject.constBegin(); it != daysObject.constEnd(); ++it) {
        const auto totals = decodeTotals(it.value());
        if (!totals) return std::nullopt;
        history.days.insert(history.days.cend(), it.key(), *totals);  // keys arrive sorted
    }
    const auto checkpointSession = optionalMember<QUuid>(*root, kCheckpointSession, readUuid);
    const auto checkpoint = optionalMember<Instant>(*root, kCheckpoint, readDate);
    const auto lastCompleted = optionalMember<QUuid>(*root, kLastCompletedSession, readUuid);
    const auto ledgerID = optionalMember<QUuid>(*root, kLedgerID, readUuid);
    if (!checkpointSession || !checkpoint || !lastCompleted || !ledgerID) return std::nullopt;
    history.checkpointSession = *checkpointSession;
    history.checkpoint = *checkpoint;
    history.lastCompletedSession = *lastCompleted;
    if (*ledgerID) history.ledgerID = **ledgerID;
    return history;
}

std::optional<FocusHistory> FocusHistory::salvage(const QByteArray& bytes) {
    const auto root = parseObject(bytes);
    if (!root) return std::nullopt;
    FocusHistory history;
    if (const auto ledgerID = readUuid(root->value(kLedgerID))) history.ledgerID = *ledgerID;
    const QJsonValue daysValue = root->value(kDays);
    if (daysValue.isObject()) {
        const QJsonObject daysObject = daysValue.toObject();
        for (auto it = daysObject.constBegin(); it != daysObject.constEnd(); ++it) {
            if (const auto totals = decodeTotals(it.value())) {
                history.days.insert(history.days.cend(), it.key(), *totals);
            }
        }
    }
    clean(history.days);
    return history;
}

namespace stats {

std::vector<FocusDay> series(const FocusHistory& history, Instant date) {
    const Calendar& calendar = Calendar::shared();
    const QDate today = calendar.localDate(date);
    std::optional<QDate> first;
    for (auto it = history.days.constBegin(); it != history.days.constEnd(); ++it) {
        const auto parsed = Calendar::dateFromDayKey(it.key());
        if (parsed && (!first || *parsed < *first)) first = parsed;
    }
    if (!first) return {FocusDay{calendar.startOfDay(today), 0, 0}};

    const qint64 count = today.isValid() ? std::max<qint64>(first->daysTo(today), 0) : 0;
    std::vector<FocusDay> result;
    result.reserve(static_cast<std::size_t>(count) + 1);
    // Keys of consecutive days ascend as text, so one walk through the map finds every entry.
    auto it = history.days.constBegin();
    const auto end = history.days.constEnd();
    QDate day = *first;
    for (qint64 i = 0; i <= count; ++i, day = day.addDays(1)) {
        const QString key = Calendar::dayKey(day);
        const FocusHistory::Totals* totals = nullptr;
        if (day.year() >= 1 && day.year() <= 9999) {
            while (it != end && it.key() < key) ++it;
            if (it != end && it.key() == key) totals = &it.value();
        } else {
            totals = entryFor(history, key);
        }
        result.push_back(FocusDay{calendar.startOfDay(day), totals ? totals->seconds : 0,
                                  totals ? totals->sessions : 0});
    }
    return result;
}

qint64 currentStreak(const FocusHistory& history, Instant date) {
    QDate day = Calendar::shared().localDate(date);
    if (!day.isValid()) return 0;
    const auto sessionsOn = [&](QDate d) {
        const FocusHistory::Totals* totals = entryFor(history, Calendar::dayKey(d));
        return totals ? totals->sessions : 0;
    };
    // An unfinished today does not break yesterday's streak.
    if (sessionsOn(day) < 1) day = day.addDays(-1);
    qint64 streak = 0;
    while (day.isValid() && sessionsOn(day) > 0 && streak < history.days.size()) {
        ++streak;
        day = day.addDays(-1);
    }
    return streak;
}

qint64 bestStreak(const FocusHistory& history) {
    std::optional<QDate> previous;
    qint64 run = 0;
    qint64 best = 0;
    for (auto it = history.days.constBegin(); it != history.days.constEnd(); ++it) {
        if (it->sessions <= 0) continue;
        const auto day = Calendar::dateFromDayKey(it.key());
        if (!day) continue;
        run = previous && previous->daysTo(*day) == 1 ? run + 1 : 1;
        best = std::max(best, run);
        previous = day;
    }
    return best;
}

FocusGlance glance(const FocusHistory& history, Instant date, const DriftLog* drifts) {
    FocusGlance g;
    if (const FocusHistory::Totals* today = entryFor(history, Calendar::shared().dayKey(date))) {
        const double minutes = today->seconds / 60.0;
        g.minutesToday =
            std::isfinite(minutes) && std::fabs(minutes) < 9e18 ? static_cast<qint64>(minutes) : 0;
        g.sessionsToday = today->sessions;
    }
    g.streak = currentStreak(history, date);
    g.bestStreak = bestStreak(history);
    if (drifts) g.topDistraction = drifts->topSite(7, date);
    return g;
}

}  // namespace stats

}  // namespace tw
