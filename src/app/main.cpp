// The program's entry: answers --version and --help, refuses to start without a display, keeps
// to one running copy, and runs the application delegate.
#include <QApplication>
#include <QDBusConnection>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/AppDelegate.h"
#include "app/FocusControl.h"
#include "app/LinuxDesktop.h"
#include "app/SingleInstance.h"
#include "platform/Confirmation.h"
#include "platform/HotKeys.h"
#include "platform/UserDefaults.h"
#include "platform/linux/ChimeSound.h"
#include "platform/linux/DisplayProbe.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/QtScheduler.h"
#include "support/Paths.h"
#include "timer/DriftLog.h"

namespace {

const char kUsage[] =
    "Usage: tarnwhistle [--version] [--help]\n"
    "       tarnwhistle start-focus [MINUTES] | pause-or-resume | end-focus\n"
    "\n"
    "Tarnwhistle is a focus timer for the desktop: it alternates focus and break phases,\n"
    "keeps a daily history of focused time, and runs as one copy per user. Starting it\n"
    "again while it runs asks the running copy to show its timer.\n"
    "\n"
    "  --version  print the version and exit\n"
    "  --help     print this help and exit\n"
    "\n"
    "The commands act on the running copy and print its answer; they start no copy:\n"
    "  start-focus [MINUTES]  start a focus session, of MINUTES (1-120) when given\n"
    "  pause-or-resume        pause the running session or resume the paused one\n"
    "  end-focus              end the session without completing it\n";

}  // namespace

int main(int argc, char** argv) {
    // The commands for the running copy need neither a display nor a copy of their own.
    if (argc >= 2 && tw::isFocusCommand(argv[1])) {
        QCoreApplication app(argc, argv);
        return tw::runFocusCommand(QCoreApplication::arguments().mid(1),
                                   QDBusConnection::sessionBus());
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tarnwhistle %s\n", TW_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
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

    tw::AppDelegate delegate(tw::AppEnvironment{
        standard,
        appGroup,
        scheduler,
        events,
        tw::DriftLog::shared(),
        *hotKeys,
        [] { return tw::loadCompletionChime(); },
        [] { QCoreApplication::exit(0); },
        QDBusConnection::sessionBus(),
        tw::desktopIslandFactory(),
        confirmation.get(),
    });
    // Launching has finished once the event loop runs.
    QMetaObject::invokeMethod(&delegate, &tw::AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    return app.exec();
}
