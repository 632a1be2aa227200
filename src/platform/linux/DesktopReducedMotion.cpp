#include "platform/linux/DesktopReducedMotion.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace tw {

DesktopReducedMotion::DesktopReducedMotion(QString configHome)
    : configHome_(std::move(configHome)) {
    if (configHome_.isEmpty()) {
        configHome_ = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    }
}

bool DesktopReducedMotion::kdeAnimationsOff(const QByteArray& kdeglobals) {
    // [KDE] AnimationDurationFactor=0 switches animations off.
    bool inKde = false;
    for (QByteArray line : kdeglobals.split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inKde = line == "[KDE]";
            continue;
        }
        if (!inKde) continue;
        const int eq = line.indexOf('=');
        if (eq < 0 || line.left(eq).trimmed() != "AnimationDurationFactor") continue;
        bool ok = false;
        const double factor = line.mid(eq + 1).trimmed().toDouble(&ok);
        return ok && factor == 0;
    }
    return false;
}

bool DesktopReducedMotion::gnomeAnimationsOff(const QByteArray& dconfOutput) {
    return dconfOutput.trimmed() == "false";
}

bool DesktopReducedMotion::changed(const QString& path, CachedFile& cache) {
    const QFileInfo info(path);
    const bool exists = info.exists();
    const QDateTime modified = exists ? info.lastModified() : QDateTime();
    const qint64 size = exists ? info.size() : -1;
    if (cache.read && exists == cache.exists && modified == cache.modified && size == cache.size) {
        return false;
    }
    cache.read = true;
    cache.exists = exists;
    cache.modified = modified;
    cache.size = size;
    return true;
}

bool DesktopReducedMotion::isReduced() {
    if (qEnvironmentVariable("TARNWHISTLE_REDUCED_MOTION") == QLatin1String("1")) return true;

    const QString kdePath = configHome_ + QStringLiteral("/kdeglobals");
    if (changed(kdePath, kde_)) {
        QFile f(kdePath);
        kde_.value = f.open(QIODevice::ReadOnly) && kdeAnimationsOff(f.read(1 << 20));
    }
    if (kde_.value) return true;

    // dconf keeps the user's settings in one database file; read the key again only after it
    // changed. Without dconf the setting does not exist.
    const QString dconfPath = configHome_ + QStringLiteral("/dconf/user");
    if (changed(dconfPath, gnome_)) {
        gnome_.value = false;
        const QString dconf = QStandardPaths::findExecutable(QStringLiteral("dconf"));
        if (gnome_.exists && !dconf.isEmpty()) {
            QProcess p;
            p.start(dconf, {QStringLiteral("read"),
                            QStringLiteral("/org/gnome/desktop/interface/enable-animations")});
            if (p.waitForFinished(1000) && p.exitStatus() == QProcess::NormalExit) {
                gnome_.value = gnomeAnimationsOff(p.readAllStandardOutput());
            } else {
                p.kill();
                p.waitForFinished(100);
            }
        }
    }
    return gnome_.value;
}

}  // namespace tw
