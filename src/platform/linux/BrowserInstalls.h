#pragma once

// The browsers installed on this computer, and the native messaging host manifests through which
// each finds `tarnwhistle-browser-host`.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "platform/BrowserAutomation.h"

namespace tw::browserinstalls {

// Where a user's browsers keep their settings.
struct Locations {
    QString home;        // ~ (Firefox reads ~/.mozilla/native-messaging-hosts)
    QString configHome;  // $XDG_CONFIG_HOME or ~/.config (the Chromium family)
};
Locations locationsForThisUser();

// The folders of user-level host manifests a browser reads.
QStringList manifestFolders(FocusBrowser browser, const Locations& at);
// The manifest registering the host at `hostExecutable` (an absolute path) for our extension
// alone in that browser.
QByteArray manifest(FocusBrowser browser, const QString& hostExecutable);
// The manifest's file name in those folders.
QString manifestFileName();
// Writes the manifest into every folder of the browser (a file already holding the same text is
// left alone). False, with the reason, when one could not be written.
bool installManifests(FocusBrowser browser, const QString& hostExecutable, const Locations& at,
                      QString* why = nullptr);

// The browsers with a desktop entry in one of `applicationDirs` or an executable in one of
// `searchPath`, in case order.
QList<FocusBrowser> installedBrowsers(const QStringList& applicationDirs,
                                      const QStringList& searchPath);
// The same for this user's desktop (the XDG data folders' applications and $PATH).
QList<FocusBrowser> installedBrowsers();

}  // namespace tw::browserinstalls
