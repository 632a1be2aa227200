// The program's entry: answers --version and --help, refuses to start without a display, keeps
// to one running copy, and runs the application delegate.
#include <QApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QMetaObject>
#include <cstdio>
#include <memory>

#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/LinuxDesktop.h"
#include "app/SingleInstance.h"
#include "platform/BrowserAutomation.h"
#include "platform/Confirmation.h"
#include "platform/HotKeys.h"
#include "platform/Notifications.h"
#include "platform/UserDefaults.h"
#include "platform/linux/ChimeSound.h"
#include "platform/linux/DesktopCredentials.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/DisplayProbe.h"
#include "platform/linux/ExtensionBrowserAutomation.h"
#include "platform/linux/HostnamedComputerName.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/QtDesktopOpener.h"
#include "platform/linux/QtProcessLauncher.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/QtUrlOpener.h"
#include "platform/linux/UnavailableRunningApplications.h"
#include "platform/linux/X11RunningApplications.h"
#include "support/Paths.h"
#include "sync/CloudConfiguration.h"
#include "ticktick/TickTickConfiguration.h"
#include "timer/DriftLog.h"

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const tw::cli::Request request = tw::cli::parse(arguments);
    using Kind = tw::cli::Request::Kind;
    switch (request.kind) {
        case Kind::version:
            std::printf("tarnwhistle %s\n", TW_VERSION);
            return 0;
        case Kind::help:
            std::fputs(tw::cli::usage().toUtf8().constData(), stdout);
            return 0;
        case Kind::usageError:
            std::fprintf(stderr, "tarnwhistle: %s\n\n%s", request.error.toUtf8().constData(),
                         tw::cli::usage().toUtf8().constData());
            return 2;
        case Kind::action:
        case Kind::status: {
            // The commands for the running copy need neither a display nor a copy of their own.
            QCoreApplication app(argc, argv);
            return request.kind == Kind::action
                       ? tw::cli::runAction(request, QDBusConnection::sessionBus())
                       : tw::cli::runStatus(request, QDBusConnection::sessionBus());
        }
        case Kind::runApplication:
            break;
    }
    if (!tw::displayReachable()) {
        std::fputs(
            "Tarnwhistle needs a graphical desktop session, but no display could be opened.\n",
            stderr);
        return 1;
    }

    // The island repaints a small region every second. Through shared memory, Qt waits for the X
    // server to finish reading the last picture before it paints the same region again: a round
    // trip and two wake-ups a second. Sent over the connection, a few kilobytes cost neither.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM")) qputenv("QT_XCB_NO_MITSHM", "1");

    QApplication::setApplicationName(QLatin1String(tw::paths::kAppId));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarnwhistle"));
    QApplication::setApplicationVersion(QStringLiteral(TW_VERSION));
    QApplication::setDesktopFileName(QLatin1String(tw::paths::kAppId));
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);  // no main window: it lives in the tray

    // Checked once the application exists, so that copies forked a moment earlier have started
    // the same executable by now.
    if (tw::SingleInstance::isAnotherInstanceRunning()) {
        tw::SingleInstance::sendShowIsland(QDBusConnection::sessionBus());
        return 0;
    }

    tw::QtScheduler scheduler;
    tw::UserDefaults standard(tw::paths::standardDefaultsFile());
    tw::UserDefaults appGroup(tw::paths::appGroupDefaultsFile());
    tw::LinuxSystemEvents::Options options;
    options.catchTerminationSignals = true;
    tw::LinuxSystemEvents events(scheduler, options);
    const std::unique_ptr<tw::HotKeys> hotKeys = tw::createSystemHotKeys();
    const std::unique_ptr<tw::Confirmation> confirmation = tw::createConfirmation();
    const std::unique_ptr<tw::Notifications> notifications = tw::createNotifications();

    tw::QtProcessLauncher processes;
    tw::QtDesktopOpener opener;
    tw::QtUrlOpener urlOpener;
    tw::HostnamedComputerName computerName;
    tw::DesktopEntries desktopEntries;
    std::unique_ptr<tw::RunningApplications> applications =
        tw::X11RunningApplications::create(desktopEntries);
    if (!applications) applications = std::make_unique<tw::UnavailableRunningApplications>();
    // Listens for the browsers' hosts from the start, so that a browser's extension connects
    // whether or not blocking is on yet.
    std::unique_ptr<tw::BrowserAutomation> browsers =
        std::make_unique<tw::ExtensionBrowserAutomation>(scheduler);
    QElapsedTimer sinceStart;
    sinceStart.start();
    const auto uptime = [&sinceStart] { return double(sinceStart.nsecsElapsed()) / 1e9; };
    tw::AppDelegate delegate(tw::AppEnvironment{
        standard,
        appGroup,
        scheduler,
        events,
        tw::DriftLog::shared(),
        *hotKeys,
        *notifications,
        [] { return tw::loadCompletionChime(); },
        [] { QCoreApplication::exit(0); },
        QDBusConnection::sessionBus(),
        tw::desktopIslandFactory(),
        confirmation.get(),
        &processes,
        QCoreApplication::applicationDirPath() + QStringLiteral("/tarnwhistle-shortcuts"),
        applications.get(),
        browsers.get(),
        uptime,
        &opener,
        tw::paths::resourcesDir(),
        tw::cloudconfig::load(tw::cloudconfig::installedFile()),
        [](const QString& service) { return tw::makeCredentialStore(service); },
        &urlOpener,
        &computerName,
        tw::ticktickconfig::load(tw::ticktickconfig::installedFile()),
    });
    // Launching has finished once the event loop runs.
    QMetaObject::invokeMethod(&delegate, &tw::AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    return app.exec();
}
