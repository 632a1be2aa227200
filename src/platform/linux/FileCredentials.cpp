#include "platform/linux/FileCredentials.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "platform/linux/CredentialFile.h"
#include "support/AtomicFile.h"

namespace tw {

namespace {

// "<what, naming the path>: <why>", for the log.
CredentialFailure failure(const char* what, const QString& path, const QString& why = {}) {
    QString detail = QString::fromLatin1(what).arg(path);
    if (!why.isEmpty()) detail += QStringLiteral(": ") + why;
    return CredentialFailure{detail};
}

QString systemError(int error) {
    return QString::fromLocal8Bit(strerror(error));
}

// Narrows a file to its owner's read and write.
bool ownerOnly(const QString& path) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0) return errno == ENOENT;
    if ((st.st_mode & 0077) == 0) return true;
    return ::chmod(native.constData(), 0600) == 0;
}

}  // namespace

FileCredentials::FileCredentials(QString folder) : folder_(QDir::cleanPath(folder)) {}

QString FileCredentials::filePath() const {
    return folder_ + QStringLiteral("/credentials.json");
}

std::variant<bool, CredentialFailure> FileCredentials::secureFolder(bool create) {
    const QByteArray native = QFile::encodeName(folder_);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) {
        if (errno != ENOENT) {
            return failure("The credentials folder %1 cannot be examined", folder_,
                           systemError(errno));
        }
        if (!create) return false;
        QDir().mkpath(QFileInfo(folder_).absolutePath());
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
            return failure("The credentials folder %1 cannot be made", folder_, systemError(errno));
        }
        if (::lstat(native.constData(), &st) != 0) {
            return failure("The credentials folder %1 cannot be examined", folder_,
                           systemError(errno));
        }
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return failure("The credentials folder %1 is not a folder of this user", folder_);
    }
    if ((st.st_mode & 07777) != 0700 && ::chmod(native.constData(), 0700) != 0) {
        return failure("The credentials folder %1 cannot be closed to others", folder_,
                       systemError(errno));
    }
    return true;
}

std::variant<FileCredentials::Items, CredentialFailure> FileCredentials::load() {
    const auto folder = secureFolder(false);
    if (const auto* f = std::get_if<CredentialFailure>(&folder)) return *f;
    if (!std::get<bool>(folder)) return Items{};

    const QString path = filePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::OpenError && !QFileInfo::exists(path)) return Items{};
        return failure("The credentials file %1 cannot be read", path, file.errorString());
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return failure("The credentials file %1 cannot be read", path, file.errorString());
    }
    file.close();
    ownerOnly(path);

    const credentialfile::Decoded decoded = credentialfile::decode(bytes);
    if (decoded.intact) return decoded.items;

    // Keep the damaged file beside the new one: it may still hold a secret worth recovering.
    const QString aside =
        path + QStringLiteral(".corrupt-") +
        QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmsszzz"));
    if (!QFile::rename(path, aside)) {
        return failure("The damaged credentials file %1 cannot be kept aside", path);
    }
    ownerOnly(aside);
    if (auto f = save(decoded.items)) return *f;
    return decoded.items;
}

std::optional<CredentialFailure> FileCredentials::save(const Items& items) {
    const QString path = filePath();
    if (items.isEmpty()) {
        if (QFile::remove(path) || !QFileInfo::exists(path)) return std::nullopt;
        return failure("The credentials file %1 cannot be removed", path);
    }
    const auto folder = secureFolder(true);
    if (const auto* f = std::get_if<CredentialFailure>(&folder)) return *f;
    if (!writeFileAtomically(path, credentialfile::encode(items))) {
        return failure("The credentials file %1 cannot be written", path);
    }
    return std::nullopt;
}

CredentialRead FileCredentials::read(const QString& service) {
    auto loaded = load();
    if (auto* f = std::get_if<CredentialFailure>(&loaded)) return *f;
    const Items& items = std::get<Items>(loaded);
    const auto it = items.constFind(service);
    if (it == items.constEnd()) return std::optional<QByteArray>();
    return std::optional<QByteArray>(it.value());
}

std::optional<CredentialFailure> FileCredentials::write(const QString& service,
                                                        const QByteArray& data) {
    auto loaded = load();
    if (auto* f = std::get_if<CredentialFailure>(&loaded)) return *f;
    Items items = std::get<Items>(std::move(loaded));
    items.insert(service, data);
    return save(items);
}

std::optional<CredentialFailure> FileCredentials::remove(const QString& service) {
    auto loaded = load();
    if (auto* f = std::get_if<CredentialFailure>(&loaded)) return *f;
    Items items = std::get<Items>(std::move(loaded));
    if (items.remove(service) == 0) return std::nullopt;
    return save(items);
}

}  // namespace tw
