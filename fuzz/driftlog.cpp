// Feeds arbitrary bytes to the drift-log file reader. Whatever decodes must survive a write and a
// second read unchanged; a log created over the file must hold at most thirty well-formed days and
// answer its week figures consistently.
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "support/Calendar.h"
#include "timer/DriftLog.h"

namespace {

const tw::Instant kNow = tw::Instant::fromReference(763484400);  // 2025-03-12 in Berlin

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qputenv("TZ", "Europe/Berlin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const auto decoded = tw::DriftLog::decode(bytes);
    if (!decoded) return 0;  // the log then starts empty, as the reader is all it consults
    const QByteArray again = tw::DriftLog::encode(*decoded);
    const auto second = tw::DriftLog::decode(again);
    check(second.has_value() && *second == *decoded);
    check(tw::DriftLog::encode(*second) == again);

    static const QString path =
        QDir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("fuzz-driftlog-%1.json").arg(getpid()));
    {
        QFile file(path);
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    const tw::DriftLog log(path, kNow);
    QFile::remove(path);
    check(log.days().size() <= 30);
    for (auto it = log.days().constBegin(); it != log.days().constEnd(); ++it) {
        const auto day = tw::Calendar::dateFromDayKey(it.key());
        check(day && tw::Calendar::dayKey(*day) == it.key());
    }
    qint64 week = 0;
    for (const QString& key : tw::DriftLog::dayKeys(7, kNow)) {
        for (qint64 count : log.days().value(key)) {
            if (__builtin_add_overflow(week, count, &week))
                week = count > 0 ? INT64_MAX : INT64_MIN;
        }
    }
    check(log.totalDrifts(7, kNow) == week);
    if (const auto top = log.topSite(7, kNow)) {
        bool found = false;
        for (const QString& key : tw::DriftLog::dayKeys(7, kNow)) {
            found = found || log.days().value(key).contains(*top);
        }
        check(found);
    }
    return 0;
}
