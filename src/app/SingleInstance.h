#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QString>
#include <optional>
#include <vector>

#include "platform/linux/ProcessScan.h"

namespace tw {

// One copy of the application at a time. The copies are found in /proc (ProcessScan.h):
// processes of the same user running the same executable; the one launched first stays, and on
// equal launch dates the lower process id. A later copy asks the running one to show its island and
// exits.
namespace SingleInstance {

inline constexpr char kInterface[] = "dev.tarnwhistle.app";
inline constexpr char kObjectPath[] = "/dev/tarnwhistle/app";
inline constexpr char kBusName[] = "dev.tarnwhistle.app";
inline constexpr char kShowIsland[] = "showIsland";

using Peer = procscan::Process;

// Whether one of `peers` came first: an absent launch date counts as the distant future on
// either side; an earlier date wins, and on equal dates the lower process id.
bool isAnotherInstanceRunning(const Peer& self, const std::vector<Peer>& peers);

// This process as a peer.
Peer self(const QString& procRoot = QStringLiteral("/proc"));
// Whether a process's command line (NUL-separated, as in /proc/<pid>/cmdline) is a running copy
// of the application rather than a one-shot command of the same executable.
bool runsTheApplication(const QByteArray& cmdline);
// The session bus a process was started with, from its environment (DBUS_SESSION_BUS_ADDRESS,
// else the bus in its XDG_RUNTIME_DIR), without the server id; empty when it has none.
QByteArray sessionBusAddress(const QString& processDir);
// Other live (not zombie) processes of this user that run the application (an executable of the
// same name, from any folder) in the same desktop session: with the same session bus.
std::vector<Peer> findPeers(const QString& procRoot = QStringLiteral("/proc"));

// The whole check over the real /proc.
bool isAnotherInstanceRunning();

// Sends the showIsland signal on `bus`. When the running copy has not yet taken the bus name it
// owns once it listens, waits up to `waitMs` for it, so a copy started at the same moment is not
// missed. Without a bus the message is lost; that is not an error.
void sendShowIsland(QDBusConnection bus, int waitMs = 3000);

}  // namespace SingleInstance

}  // namespace tw
