#include "browserlink/LocalPeers.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstring>

namespace tw::browserlink {

std::optional<PeerCredentials> peerCredentials(int socketDescriptor) {
    struct ucred cred {};
    socklen_t size = sizeof cred;
    if (socketDescriptor < 0 ||
        ::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0 ||
        size != sizeof cred || cred.pid <= 0) {
        return std::nullopt;
    }
    return PeerCredentials{cred.pid, cred.uid};
}

QString executableOf(qint64 pid, const QString& procRoot) {
    char buffer[PATH_MAX + 1];
    const QByteArray link =
        QFile::encodeName(procRoot + QLatin1Char('/') + QString::number(pid) + "/exe");
    const ssize_t n = ::readlink(link.constData(), buffer, PATH_MAX);
    if (n <= 0) return {};
    QString target = QFile::decodeName(QByteArray(buffer, static_cast<int>(n)));
    const QString deleted = QStringLiteral(" (deleted)");
    if (target.endsWith(deleted)) target.chop(deleted.size());
    return target;
}

bool runsExecutable(qint64 pid, const QString& path, const QString& procRoot) {
    if (pid <= 0 || path.isEmpty()) return false;
    struct stat running {};
    struct stat wanted {};
    const QByteArray link =
        QFile::encodeName(procRoot + QLatin1Char('/') + QString::number(pid) + "/exe");
    if (::stat(link.constData(), &running) == 0 &&
        ::stat(QFile::encodeName(path).constData(), &wanted) == 0 &&
        running.st_dev == wanted.st_dev && running.st_ino == wanted.st_ino) {
        return true;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString target = executableOf(pid, procRoot);
    return !target.isEmpty() && (target == canonical || target == QDir::cleanPath(path));
}

bool preparePrivateFolder(const QString& path, QString* why) {
    const auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        const QString parent = info.absolutePath();
        if (!QDir().mkpath(parent)) return fail(QStringLiteral("cannot make ") + parent);
        if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST) {
            return fail(QStringLiteral("cannot make ") + path + QStringLiteral(": ") +
                        QString::fromLocal8Bit(std::strerror(errno)));
        }
    }
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return fail(path + QStringLiteral(" cannot be read"));
    }
    if (!S_ISDIR(st.st_mode)) return fail(path + QStringLiteral(" is not a folder"));
    if (st.st_uid != ::getuid()) return fail(path + QStringLiteral(" belongs to another user"));
    if ((st.st_mode & 07777) != 0700 && ::chmod(QFile::encodeName(path).constData(), 0700) != 0) {
        return fail(QStringLiteral("cannot limit ") + path + QStringLiteral(" to its owner"));
    }
    return true;
}

}  // namespace tw::browserlink
