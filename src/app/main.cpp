// The program's entry: answers --version and --help, refuses to start without a display, keeps
// to one running copy, and runs the application delegate.
#include <QApplication>
#include <QDBusConnection>
#include <QMetaObject>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

#include "app/AppDelegate.h"
#include "app/FocusControl.h"
#include "app/SingleInstance.h"
#include "island/IslandController.h"
#include "island/IslandPanel.h"
#include "platform/UserDefaults.h"
#include "platform/linux/ChimeSound.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/X11HotKeys.h"
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

bool hasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Whether a window system can be reached: an X server that accepts a connection, or a Wayland
// socket. An explicit QT_QPA_PLATFORM other than those two (offscreen, vnc) is taken as is.
bool displayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 &&
        std::strncmp(platform, "wayland", 7) != 0) {
        return true;
    }
    if (hasEnv("DISPLAY")) {
        xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
        const bool ok = connection && xcb_connection_has_error(connection) == 0;
        if (connection) xcb_disconnect(connection);
        if (ok) return true;
    }
    return hasEnv("WAYLAND_DISPLAY") && (!platform || std::strncmp(platform, "wayland", 7) == 0);
}

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
    if (!displayReachable()) {
        std::fputs(
            "Tarnwhistle needs a graphical desktop session, but no display could be opened.\n",
            stderr);
        return 1;
    }

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
        [](tw::TimerModel& model, tw::AppPreferences& preferences, tw::Scheduler& scheduler,
           const tw::DriftLog* drifts, tw::TestimonialStore* testimonials, QObject* parent) {
            return tw::makeDesktopIsland(model, preferences, scheduler, drifts, testimonials,
                                         parent);
        },
    });
    // Launching has finished once the event loop runs.
    QMetaObject::invokeMethod(&delegate, &tw::AppDelegate::applicationDidFinishLaunching,
                              Qt::QueuedConnection);
    return app.exec();
}
