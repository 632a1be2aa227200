// Feeds arbitrary bytes to the credentials file: the decoder must salvage only well-formed items,
// which encode and decode to themselves; a store over the file must leave behind either no file
// or one that decodes whole, holding what was salvaged.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/linux/CredentialFile.h"
#include "platform/linux/FileCredentials.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto decoded = tw::credentialfile::decode(bytes);
    for (auto it = decoded.items.constBegin(); it != decoded.items.constEnd(); ++it) {
        check(!it.key().isEmpty());
    }
    const auto again = tw::credentialfile::decode(tw::credentialfile::encode(decoded.items));
    check(again.intact && again.items == decoded.items);

    static const QString folder =
        QDir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
            .filePath(QStringLiteral("fuzz-credentials-%1").arg(getpid()));
    tw::FileCredentials store(folder);
    check(!store.write(QStringLiteral("placeholder"), "x"));
    {
        QFile file(store.filePath());
        check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    const auto read = store.read(QStringLiteral("dev.tarnwhistle.ticktick"));
    const auto* blob = std::get_if<std::optional<QByteArray>>(&read);
    check(blob != nullptr);
    check(*blob == (decoded.items.contains(QStringLiteral("dev.tarnwhistle.ticktick"))
                        ? std::optional<QByteArray>(
                              decoded.items.value(QStringLiteral("dev.tarnwhistle.ticktick")))
                        : std::nullopt));
    if (QFile::exists(store.filePath())) {
        const auto left = tw::credentialfile::decode(readAll(store.filePath()));
        check(left.intact && left.items == decoded.items);
    } else {
        check(decoded.items.isEmpty());
    }
    QDir(folder).removeRecursively();
    return 0;
}
