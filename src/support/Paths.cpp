#include "support/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace tw::paths {

QString configDir() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::tempPath();
    return base + QStringLiteral("/tarnwhistle");
}

QString dataDir() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) base = QDir::tempPath();
    return base + QStringLiteral("/tarnwhistle");
}

QString resourcesDir() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/tarnwhistle"));
}

QString standardDefaultsFile() {
    return configDir() + QLatin1Char('/') + QLatin1String(kAppId) + QStringLiteral(".json");
}

QString appGroupDefaultsFile() {
    return configDir() + QLatin1Char('/') + QLatin1String(kAppGroup) + QStringLiteral(".json");
}

}  // namespace tw::paths
