#include "platform/linux/LinuxSystemEvents.h"

#include <QCoreApplication>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QSocketNotifier>
#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/Calendar.h"

namespace tw {

namespace {

const QString kLogindService = QStringLiteral("org.freedesktop.login1");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kLogindManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLogindSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kTimedateService = QStringLiteral("org.freedesktop.timedate1");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

// The write end of the pipe that the termination-signal handler reports through.
int gSignalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int signo) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    if (gSignalPipe[1] >= 0) {
        [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    }
    errno = saved;
}

}  // namespace

LinuxSystemEvents::LinuxSystemEvents(Scheduler& scheduler, QObject* parent)
    : LinuxSystemEvents(scheduler, Options{}, parent) {}

LinuxSystemEvents::LinuxSystemEvents(Scheduler& scheduler, Options options, QObject* parent)
    : SystemEvents(parent), scheduler_(scheduler), options_(std::move(options)) {
    connectLogind();

    QDBusConnection& session = options_.sessionBus;
    if (session.isConnected()) {
        // Any object path: KDE announces on /ScreenSaver as well as the freedesktop path.
        session.connect(QStringLiteral("org.freedesktop.ScreenSaver"), QString(),
                        QStringLiteral("org.freedesktop.ScreenSaver"),
                        QStringLiteral("ActiveChanged"), this,
                        SLOT(onScreenSaverActiveChanged(bool)));
        session.connect(QStringLiteral("org.gnome.ScreenSaver"), QString(),
                        QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("ActiveChanged"),
                        this, SLOT(onScreenSaverActiveChanged(bool)));
    }

    watchLocalTime();
    armMidnight();

    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::applicationStateChanged, this,
                [this](Qt::ApplicationState state) {
                    if (state == Qt::ApplicationActive) Q_EMIT becameActive();
                });
#ifndef QT_NO_SESSIONMANAGER
        // The session manager asks for data to be committed when the user logs out.
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager&) { Q_EMIT sessionEnding(); });
#endif
    }

    if (options_.catchTerminationSignals) installSignalHandlers();
}

LinuxSystemEvents::~LinuxSystemEvents() {
    if (signalNotifier_) {
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        delete signalNotifier_;
        signalNotifier_ = nullptr;
        ::close(gSignalPipe[0]);
        ::close(gSignalPipe[1]);
        gSignalPipe[0] = gSignalPipe[1] = -1;
    }
}

void LinuxSystemEvents::connectLogind() {
    QDBusConnection& bus = options_.systemBus;
    if (!bus.isConnected()) return;
    bus.connect(kLogindService, kLogindPath, kLogindManager, QStringLiteral("PrepareForSleep"),
                this, SLOT(onPrepareForSleep(bool)));
    bus.connect(kLogindService, kLogindPath, kLogindManager, QStringLiteral("PrepareForShutdown"),
                this, SLOT(onPrepareForShutdown(bool)));
    bus.connect(kTimedateService, QStringLiteral("/org/freedesktop/timedate1"),
                kPropertiesInterface, QStringLiteral("PropertiesChanged"), this,
                SLOT(onTimedatePropertiesChanged(QString, QVariantMap, QStringList)));

    // Find this process's session, whose Lock signal tells that the screen locks.
    const QByteArray sessionId = qgetenv("XDG_SESSION_ID");
    QDBusMessage ask;
    if (!sessionId.isEmpty()) {
        ask = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager,
                                             QStringLiteral("GetSession"));
        ask << QString::fromUtf8(sessionId);
    } else {
        ask = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager,
                                             QStringLiteral("GetSessionByPID"));
        ask << static_cast<quint32>(::getpid());
    }
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) return;
        const QString path = reply.value().path();
        if (path.isEmpty()) return;
        sessionPath_ = path;
        options_.systemBus.connect(kLogindService, path, kLogindSession, QStringLiteral("Lock"),
                                   this, SLOT(onSessionLock()));
    });

    takeSleepInhibitor();
}

// A "delay" inhibitor lets the sleep wait (up to logind's limit) until the application has
// handled PrepareForSleep(true), so that the moment of sleep it records is the real one.
void LinuxSystemEvents::takeSleepInhibitor() {
    if (inhibitorRequested_ || sleepInhibitor_.isValid()) return;
    QDBusMessage ask = QDBusMessage::createMethodCall(kLogindService, kLogindPath, kLogindManager,
                                                      QStringLiteral("Inhibit"));
    ask << QStringLiteral("sleep") << QStringLiteral("Tarnwhistle")
        << QStringLiteral("Saving the running focus session") << QStringLiteral("delay");
    inhibitorRequested_ = true;
    auto* watcher = new QDBusPendingCallWatcher(options_.systemBus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        inhibitorRequested_ = false;
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError()) return;
        sleepInhibitor_ = reply.value();
    });
}

void LinuxSystemEvents::onPrepareForSleep(bool start) {
    if (start) {
        Q_EMIT willSleep();
        sleepInhibitor_ = QDBusUnixFileDescriptor();  // let the machine go to sleep
    } else {
        // The monotonic timers stood still during the sleep: aim at the right midnight again.
        armMidnight();
        Q_EMIT didWake();
        takeSleepInhibitor();
    }
}

void LinuxSystemEvents::onPrepareForShutdown(bool start) {
    if (start) Q_EMIT sessionEnding();
}

void LinuxSystemEvents::onSessionLock() {
    Q_EMIT screenLocked();
}

void LinuxSystemEvents::onScreenSaverActiveChanged(bool active) {
    if (active) Q_EMIT screenLocked();
}

void LinuxSystemEvents::onTimedatePropertiesChanged(const QString& interface,
                                                    const QVariantMap& changed,
                                                    const QStringList& invalidated) {
    if (interface != kTimedateService) return;
    const QString key = QStringLiteral("Timezone");
    if (!changed.contains(key) && !invalidated.contains(key)) return;
    fingerprint_ = localTimeFingerprint();  // the file watch then sees nothing new
    zoneChanged();
}

void LinuxSystemEvents::watchLocalTime() {
    if (options_.localtimePath.isEmpty()) return;
    watcher_ = new QFileSystemWatcher(this);
    const QFileInfo info(options_.localtimePath);
    // The folder too: tools replace the file (or the link) by renaming a new one over it, which
    // ends the watch on the file itself.
    if (info.absoluteDir().exists()) watcher_->addPath(info.absolutePath());
    if (info.exists()) watcher_->addPath(options_.localtimePath);
    fingerprint_ = localTimeFingerprint();
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] { onLocalTimeTouched(); });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
            [this] { onLocalTimeTouched(); });
}

void LinuxSystemEvents::onLocalTimeTouched() {
    const QString& path = options_.localtimePath;
    if (QFileInfo::exists(path) && !watcher_->files().contains(path)) watcher_->addPath(path);
    const QByteArray now = localTimeFingerprint();
    if (now == fingerprint_) return;  // another file of the folder changed
    fingerprint_ = now;
    zoneChanged();
}

// The link target and the zone data: either changes when the zone does.
QByteArray LinuxSystemEvents::localTimeFingerprint() const {
    const QString& path = options_.localtimePath;
    if (path.isEmpty()) return {};
    QByteArray print = QFileInfo(path).symLinkTarget().toUtf8();
    print.append('\0');
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) print.append(file.read(1 << 20));
    return print;
}

void LinuxSystemEvents::zoneChanged() {
    ::tzset();
    armMidnight();
    Q_EMIT timeZoneChanged();
}

void LinuxSystemEvents::armMidnight(std::optional<Instant> after) {
    const Instant now = scheduler_.now();
    const Instant from = after ? later(*after, now) : now;
    const Calendar& calendar = Calendar::shared();
    nextMidnight_ = calendar.startOfDay(calendar.localDate(from).addDays(1));
    const Instant target = nextMidnight_;
    midnightCall_ = scheduler_.callAfter(std::max(target - now, 0.0), [this, target] {
        // Aim past the midnight just reached, even when the timer fired a little early.
        armMidnight(target);
        Q_EMIT dayChanged();
    });
}

void LinuxSystemEvents::installSignalHandlers() {
    if (gSignalPipe[0] >= 0) return;  // another object already catches them
    if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        gSignalPipe[0] = gSignalPipe[1] = -1;
        return;
    }
    signalNotifier_ = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, [this] {
        unsigned char buffer[64];
        bool any = false;
        while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) any = true;
        if (any) Q_EMIT sessionEnding();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace tw
