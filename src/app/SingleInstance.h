#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QString>
#include <optional>
#include <vector>

#include "support/Instant.h"

namespace tw {

// One copy of the application at a time. The copies are found in /proc: processes of the same
// user running the same executable; the one launched first stays, and on equal launch dates the
// lower process id. A later copy asks the running one to show its island and exits.
namespace SingleInstance {

inline constexpr char kInterface[] = "dev.tarnwhistle.app";
inline constexpr char kObjectPath[] = "/dev/tarnwhistle/app";
inline constexpr char kBusName[] = "dev.tarnwhistle.app";
inline constexpr char kShowIsland[] = "showIsland";

struct Peer {
    qint32 pid = 0;
    std::optional<Instant> launched;  // absent when the system does not know it
    friend bool operator==(const Peer&, const Peer&) = default;
};

// The fields of /proc/<pid>/stat that the check needs.
struct ProcStat {
    char state = '?';
    quint64 startTicks = 0;  // start time after boot, in clock ticks
};

// Whether one of `peers` came first: an absent launch date counts as the distant future on
// either side; an earlier date wins, and on equal dates the lower process id.
bool isAnotherInstanceRunning(const Peer& self, const std::vector<Peer>& peers);

// Parses the text of /proc/<pid>/stat. The command name in parentheses may hold blanks and
// parentheses of its own, so the fields are counted from the last ')'.
std::optional<ProcStat> parseProcStat(const QByteArray& text);
// The boot time ("btime", seconds since 1970) from the text of /proc/stat.
std::optional<qint64> parseBootTime(const QByteArray& text);
// The executable a /proc/<pid>/exe link names, without the " (deleted)" of a replaced file.
QString normalizedExecutable(const QString& linkTarget);

// The launch date of process `pid` read from `procRoot`.
std::optional<Instant> launchDate(qint32 pid, const QString& procRoot = QStringLiteral("/proc"));
// This process as a peer.
Peer self(const QString& procRoot = QStringLiteral("/proc"));
// Other live (not zombie) processes of this user running this executable.
// Whether a process's command line (NUL-separated, as in /proc/<pid>/cmdline) is a running copy
// of the application rather than a one-shot command of the same executable.
bool runsTheApplication(const QByteArray& cmdline);
std::vector<Peer> findPeers(const QString& procRoot = QStringLiteral("/proc"));

// The whole check over the real /proc.
bool isAnotherInstanceRunning();

// Sends the showIsland signal on `bus`. When the running copy has not yet taken the bus name it
// owns once it listens, waits up to `waitMs` for it, so a copy started at the same moment is not
// missed. Without a bus the message is lost; that is not an error.
void sendShowIsland(QDBusConnection bus, int waitMs = 3000);

}  // namespace SingleInstance

}  // namespace tw
