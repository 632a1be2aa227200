#pragma once

// The processes of this machine as /proc shows them: when a process was launched, and which live
// processes of this user run the same executable as this one.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "support/Instant.h"

namespace tw::procscan {

struct Process {
    qint32 pid = 0;
    std::optional<Instant> launched;  // absent when the system does not know it
    friend bool operator==(const Process&, const Process&) = default;
};

// The fields of /proc/<pid>/stat that the scan needs.
struct ProcStat {
    char state = '?';
    quint64 startTicks = 0;  // start time after boot, in clock ticks
};

// Parses the text of /proc/<pid>/stat. The command name in parentheses may hold blanks and
// parentheses of its own, so the fields are counted from the last ')'.
std::optional<ProcStat> parseProcStat(const QByteArray& text);
// The boot time ("btime", seconds since 1970) from the text of /proc/stat.
std::optional<qint64> parseBootTime(const QByteArray& text);
// The executable a /proc/<pid>/exe link names, without the " (deleted)" of a replaced file.
QString normalizedExecutable(const QString& linkTarget);

// The launch date of process `pid` read from `procRoot`.
std::optional<Instant> launchDate(qint32 pid, const QString& procRoot = QStringLiteral("/proc"));
// This process.
Process self(const QString& procRoot = QStringLiteral("/proc"));
// The /proc folder of process `pid`.
QString processDir(qint32 pid, const QString& procRoot = QStringLiteral("/proc"));
// The executable process `pid` runs (its /proc/<pid>/exe link); empty when it cannot be read (a
// process of another user, one that is gone).
QString executable(qint32 pid, const QString& procRoot = QStringLiteral("/proc"));
// A process's command line, NUL-separated; empty when it cannot be read.
QByteArray commandLine(const QString& processDir);
// The value of `name` in a process's environment as it started; empty when unset or unreadable.
QByteArray environmentValue(const QString& processDir, const QByteArray& name);
// Other live (not zombie) processes of this user whose executable has the same file name as
// this one's, wherever it lies (an installed copy and one in a build folder alike), and that
// `accept` takes (given the process's /proc folder).
std::vector<Process> sameProgram(const std::function<bool(const QString& processDir)>& accept,
                                 const QString& procRoot = QStringLiteral("/proc"));

}  // namespace tw::procscan
