#include "timer/DriftLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <cmath>

#include "support/AtomicFile.h"
#include "support/Calendar.h"
#include "support/Paths.h"

namespace tw {

namespace {

constexpr int kKeptDays = 30;

qint64 saturatingAdd(qint64 a, qint64 b) {
    qint64 sum;
    if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
    return sum;
}

// A JSON number that holds a whole value within 64 bits (2 and 2.0 both give 2).
std::optional<qint64> integerValue(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= -9.2e18 && d <= 9.2e18) || std::trunc(d) != d) return std::nullopt;
    return v.toInteger(static_cast<qint64>(d));
}

QStringList dayKeysEndingAt(int count, QDate day) {
    QStringList keys;
    const int n = std::max(count, 1);
    keys.reserve(n);
    for (int i = 0; i < n; ++i) keys.append(Calendar::dayKey(day.addDays(-i)));
    return keys;
}

}  // namespace

DriftLog& DriftLog::shared() {
    static DriftLog log(defaultFilePath(), Instant::fromDateTime(QDateTime::currentDateTimeUtc()));
    return log;
}

QString DriftLog::defaultFilePath() {
    return paths::dataDir() + QStringLiteral("/drift-log.json");
}

DriftLog::DriftLog(QString filePath, Instant now) : fileURL_(std::move(filePath)) {
    QDir().mkpath(QFileInfo(fileURL_).absolutePath());  // a failure shows up at the first write
    QFile file(fileURL_);
    if (file.open(QIODevice::ReadOnly)) {
        if (auto decoded = decode(file.readAll())) days_ = std::move(*decoded);
    }
    prune(now);
}

void DriftLog::record(const QString& site, Instant at) {
    const QString key = site.toLower();
    if (key.isEmpty()) return;
    const QDate day = Calendar::shared().localDate(at);
    if (!day.isValid()) return;
    qint64& count = days_[Calendar::dayKey(day)][key];
    count = saturatingAdd(count, 1);
    prune(at);
    const QByteArray bytes = encode(days_);
    writeFileAtomically(fileURL_, bytes);  // a failed write keeps the log in memory only
}

std::optional<QString> DriftLog::topSite(int days, Instant at) const {
    QMap<QString, qint64> sums;
    for (const QString& key : dayKeys(days, at)) {
        const auto entry = days_.constFind(key);
        if (entry == days_.constEnd()) continue;
        for (auto it = entry->constBegin(); it != entry->constEnd(); ++it) {
            qint64& sum = sums[it.key()];
            sum = saturatingAdd(sum, it.value());
        }
    }
    // A site whose drifts add up to nothing did not distract; ties go to the first site by name.
    std::optional<QString> top;
    qint64 best = 0;
    for (auto it = sums.constBegin(); it != sums.constEnd(); ++it) {
        if (it.value() > best) {
            best = it.value();
            top = it.key();
        }
    }
    return top;
}

qint64 DriftLog::totalDrifts(int days, Instant at) const {
    qint64 total = 0;
    for (const QString& key : dayKeys(days, at)) {
        const auto entry = days_.constFind(key);
        if (entry == days_.constEnd()) continue;
        for (qint64 count : *entry) total = saturatingAdd(total, count);
    }
    return total;
}

QStringList DriftLog::dayKeys(int count, Instant day) {
    return dayKeysEndingAt(count, Calendar::shared().localDate(day));
}

void DriftLog::prune(Instant at) {
    // The window ends at the latest day on record when that lies ahead of `at`, so entries dated
    // in the future keep their own window. Only well-formed keys count: a key that is dropped
    // anyway must not move the window and take the real entries with it.
    QDate latest;
    for (auto it = days_.constBegin(); it != days_.constEnd(); ++it) {
        const auto parsed = Calendar::dateFromDayKey(it.key());
        if (!parsed || Calendar::dayKey(*parsed) != it.key()) continue;
        if (!latest.isValid() || *parsed > latest) latest = *parsed;
    }
    QDate reference = Calendar::shared().localDate(at);
    if (!reference.isValid() || (latest.isValid() && latest > reference)) reference = latest;
    if (!reference.isValid()) {
        days_.clear();
        return;
    }
    const QStringList window = dayKeysEndingAt(kKeptDays, reference);
    const QSet<QString> kept(window.cbegin(), window.cend());
    for (auto it = days_.begin(); it != days_.end();) {
        if (kept.contains(it.key())) {
            ++it;
        } else {
            it = days_.erase(it);
        }
    }
}

std::optional<DriftLog::Days> DriftLog::decode(const QByteArray& bytes) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject root = doc.object();
    Days days;
    for (auto day = root.constBegin(); day != root.constEnd(); ++day) {
        if (!day.value().isObject()) return std::nullopt;
        const QJsonObject sites = day.value().toObject();
        QMap<QString, qint64>& counts = days[day.key()];
        for (auto site = sites.constBegin(); site != sites.constEnd(); ++site) {
            const auto count = integerValue(site.value());
            if (!count) return std::nullopt;
            counts.insert(site.key(), *count);
        }
    }
    return days;
}

QByteArray DriftLog::encode(const Days& days) {
    QJsonObject root;
    for (auto day = days.constBegin(); day != days.constEnd(); ++day) {
        QJsonObject sites;
        for (auto site = day->constBegin(); site != day->constEnd(); ++site) {
            sites.insert(site.key(), site.value());
        }
        root.insert(day.key(), sites);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

}  // namespace tw
