#pragma once

// Who is at the other end of a local socket, and the private folder the socket lives in.

#include <sys/types.h>

#include <QString>
#include <optional>

namespace tw::browserlink {

// The process at the other end of a connected local socket, as the kernel recorded it when the
// connection was made (SO_PEERCRED).
struct PeerCredentials {
    qint64 pid = 0;
    uid_t uid = 0;
};
std::optional<PeerCredentials> peerCredentials(int socketDescriptor);

// The executable a process runs, from /proc/<pid>/exe (without the " (deleted)" of a replaced
// file); empty when it cannot be read.
QString executableOf(qint64 pid, const QString& procRoot = QStringLiteral("/proc"));

// Whether process `pid` runs the program at `path`: the same file, or (after an update replaced
// it) a file that lay at that path.
bool runsExecutable(qint64 pid, const QString& path,
                    const QString& procRoot = QStringLiteral("/proc"));

// Makes `path` a folder only this user can open: creates it (and missing parents) with mode
// 0700, or checks that the folder there is a real folder owned by this user and sets its mode to
// 0700. False, with the reason, when that cannot be.
bool preparePrivateFolder(const QString& path, QString* why = nullptr);

}  // namespace tw::browserlink
