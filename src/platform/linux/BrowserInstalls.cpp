#include "platform/linux/BrowserInstalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include "browserlink/LinkMessages.h"
#include "platform/RunningApplications.h"
#include "support/AtomicFile.h"

namespace tw::browserinstalls {

namespace bl = browserlink;

Locations locationsForThisUser() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return Locations{QDir::homePath(), config};
}

QStringList manifestFolders(FocusBrowser browser, const Locations& at) {
    const QString hosts = QStringLiteral("/NativeMessagingHosts");
    switch (browser) {
        case FocusBrowser::firefox:
            return {at.home + QStringLiteral("/.mozilla/native-messaging-hosts")};
        case FocusBrowser::chrome:
            return {at.configHome + QStringLiteral("/google-chrome") + hosts};
        case FocusBrowser::chromium:
            return {at.configHome + QStringLiteral("/chromium") + hosts};
        case FocusBrowser::brave:
            return {at.configHome + QStringLiteral("/BraveSoftware/Brave-Browser") + hosts};
        case FocusBrowser::edge:
            return {at.configHome + QStringLiteral("/microsoft-edge") + hosts};
    }
    return {};
}

QString manifestFileName() {
    return QLatin1String(bl::kHostName) + QStringLiteral(".json");
}

QByteArray manifest(FocusBrowser browser, const QString& hostExecutable) {
    QJsonObject o;
    o.insert(QStringLiteral("name"), QLatin1String(bl::kHostName));
    o.insert(QStringLiteral("description"),
             QStringLiteral("Tarnwhistle: reads and blanks the front tab during focus"));
    o.insert(QStringLiteral("path"), hostExecutable);
    o.insert(QStringLiteral("type"), QStringLiteral("stdio"));
    if (browser == FocusBrowser::firefox) {
        o.insert(QStringLiteral("allowed_extensions"),
                 QJsonArray{QLatin1String(bl::kFirefoxExtensionId)});
    } else {
        o.insert(QStringLiteral("allowed_origins"), QJsonArray{bl::chromiumOrigin()});
    }
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

bool installManifests(FocusBrowser browser, const QString& hostExecutable, const Locations& at,
                      QString* why) {
    const QByteArray text = manifest(browser, hostExecutable);
    bool ok = true;
    for (const QString& folder : manifestFolders(browser, at)) {
        const QString path = folder + QLatin1Char('/') + manifestFileName();
        QFile existing(path);
        if (existing.open(QIODevice::ReadOnly) && existing.readAll() == text) continue;
        if (!writeFileAtomically(path, text)) {
            ok = false;
            if (why) *why = QStringLiteral("cannot write ") + path;
        }
    }
    return ok;
}

namespace {

// Executable names the browsers' packages put on the search path.
const char* const kExecutables[] = {
    "firefox",        "firefox-esr",           "google-chrome", "google-chrome-stable",
    "chromium",       "chromium-browser",      "brave-browser", "brave",
    "microsoft-edge", "microsoft-edge-stable",
};

}  // namespace

QList<FocusBrowser> installedBrowsers(const QStringList& applicationDirs,
                                      const QStringList& searchPath) {
    QList<FocusBrowser> found;
    const auto add = [&found](std::optional<FocusBrowser> b) {
        if (b && !found.contains(*b)) found.append(*b);
    };
    for (const QString& dir : applicationDirs) {
        const QStringList entries =
            QDir(dir).entryList({QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable);
        for (const QString& entry : entries) {
            RunningApplication app;
            app.desktopId = entry.chopped(8);  // without ".desktop"
            add(focusBrowserOf(app));
        }
    }
    for (const QString& dir : searchPath) {
        if (dir.isEmpty()) continue;
        for (const char* name : kExecutables) {
            const QFileInfo file(dir + QLatin1Char('/') + QLatin1String(name));
            if (!file.isFile() || !file.isExecutable()) continue;
            RunningApplication app;
            app.executable = file.filePath();
            add(focusBrowserOf(app));
        }
    }
    QList<FocusBrowser> ordered;
    for (FocusBrowser b : kAllFocusBrowsers) {
        if (found.contains(b)) ordered.append(b);
    }
    return ordered;
}

QList<FocusBrowser> installedBrowsers() {
    return installedBrowsers(
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation),
        qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts));
}

}  // namespace tw::browserinstalls
