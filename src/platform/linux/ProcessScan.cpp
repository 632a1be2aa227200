#include "platform/linux/ProcessScan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace tw::procscan {

namespace {

QByteArray readSmallFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.read(64 * 1024);
}

QString readLink(const QString& path) {
    char buffer[PATH_MAX + 1];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, PATH_MAX);
    if (n <= 0) return {};
    return QFile::decodeName(QByteArray(buffer, static_cast<int>(n)));
}

QString pidDir(const QString& procRoot, qint64 pid) {
    return procRoot + QLatin1Char('/') + QString::number(pid);
}

}  // namespace

std::optional<ProcStat> parseProcStat(const QByteArray& text) {
    const int close = text.lastIndexOf(')');
    if (close < 0 || text.indexOf('(') < 0 || text.indexOf('(') > close) return std::nullopt;
    const QList<QByteArray> fields = text.mid(close + 1).simplified().split(' ');
    // fields[0] is field 3 (state); field 22 (starttime) is fields[19].
    if (fields.size() < 20 || fields[0].size() != 1) return std::nullopt;
    bool ok = false;
    const quint64 start = fields[19].toULongLong(&ok);
    if (!ok) return std::nullopt;
    return ProcStat{fields[0][0], start};
}

std::optional<qint64> parseBootTime(const QByteArray& text) {
    for (const QByteArray& line : text.split('\n')) {
        if (!line.startsWith("btime ")) continue;
        bool ok = false;
        const qint64 value = line.mid(6).trimmed().toLongLong(&ok);
        if (ok && value > 0) return value;
        return std::nullopt;
    }
    return std::nullopt;
}

QString normalizedExecutable(const QString& linkTarget) {
    const QString deleted = QStringLiteral(" (deleted)");
    if (linkTarget.endsWith(deleted)) return linkTarget.chopped(deleted.size());
    return linkTarget;
}

std::optional<Instant> launchDate(qint32 pid, const QString& procRoot) {
    const auto boot = parseBootTime(readSmallFile(procRoot + QStringLiteral("/stat")));
    const auto stat = parseProcStat(readSmallFile(pidDir(procRoot, pid) + QStringLiteral("/stat")));
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (!boot || !stat || ticks <= 0) return std::nullopt;
    return Instant::fromUnix(static_cast<double>(*boot) +
                             static_cast<double>(stat->startTicks) / static_cast<double>(ticks));
}

Process self(const QString& procRoot) {
    const qint32 pid = static_cast<qint32>(::getpid());
    return Process{pid, launchDate(pid, procRoot)};
}

QString processDir(qint32 pid, const QString& procRoot) {
    return pidDir(procRoot, pid);
}

QString executable(qint32 pid, const QString& procRoot) {
    if (pid <= 0) return {};
    return normalizedExecutable(readLink(pidDir(procRoot, pid) + QStringLiteral("/exe")));
}

QByteArray commandLine(const QString& dir) {
    return readSmallFile(dir + QStringLiteral("/cmdline"));
}

QByteArray environmentValue(const QString& dir, const QByteArray& name) {
    const QByteArray prefix = name + '=';
    for (const QByteArray& entry : readSmallFile(dir + QStringLiteral("/environ")).split('\0')) {
        if (entry.startsWith(prefix)) return entry.mid(prefix.size());
    }
    return {};
}

std::vector<Process> sameProgram(const std::function<bool(const QString&)>& accept,
                                 const QString& procRoot) {
    std::vector<Process> peers;
    const qint32 ownPid = static_cast<qint32>(::getpid());
    const QString ownName =
        QFileInfo(normalizedExecutable(readLink(pidDir(procRoot, ownPid) + QStringLiteral("/exe"))))
            .fileName();
    if (ownName.isEmpty()) return peers;
    const uid_t uid = ::geteuid();

    const QStringList entries = QDir(procRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        bool ok = false;
        const qint32 pid = name.toInt(&ok);
        if (!ok || pid <= 0 || pid == ownPid) continue;
        const QString dir = pidDir(procRoot, pid);
        struct stat info {};
        if (::stat(QFile::encodeName(dir).constData(), &info) != 0 || info.st_uid != uid) continue;
        const QString exe = normalizedExecutable(readLink(dir + QStringLiteral("/exe")));
        if (QFileInfo(exe).fileName() != ownName) continue;
        const auto stat = parseProcStat(readSmallFile(dir + QStringLiteral("/stat")));
        if (stat && (stat->state == 'Z' || stat->state == 'X' || stat->state == 'x')) continue;
        if (accept && !accept(dir)) continue;
        peers.push_back(Process{pid, launchDate(pid, procRoot)});
    }
    return peers;
}

}  // namespace tw::procscan
