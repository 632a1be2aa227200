// The Linux system events against real D-Bus daemons: a private daemon stands in for the system
// bus, with a fake logind and timedated registered on it from this process; the screen savers
// announce themselves on the desktop's session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <poll.h>
#include <unistd.h>

#include <memory>

#include "common/PrivateBus.h"
#include "common/TestSupport.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/LinuxSystemEvents.h"
#include "support/Calendar.h"

using tw::FakeScheduler;
using tw::LinuxSystemEvents;
using tw::test::waitUntil;

namespace {

using tw::test::PrivateBus;

const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kLogindPath = QStringLiteral("/org/freedesktop/login1");
const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_33");

}  // namespace

// logind's manager as far as the events use it: it names the caller's session and hands out a
// sleep inhibitor, the read end of a pipe whose write end the test keeps to see it released.
class FakeLogindManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    ~FakeLogindManager() override {
        if (writeEnd >= 0) ::close(writeEnd);
    }
    int inhibits = 0;
    int writeEnd = -1;
    QString askedSession;

    // Whether the last inhibitor handed out is still held by someone.
    bool inhibitorHeld() const {
        pollfd p{writeEnd, POLLOUT, 0};
        return ::poll(&p, 1, 0) >= 0 && !(p.revents & POLLERR);
    }

public Q_SLOTS:
    QDBusObjectPath GetSession(const QString& id) {
        askedSession = id;
        return QDBusObjectPath(kSessionPath);
    }
    QDBusObjectPath GetSessionByPID(uint) { return QDBusObjectPath(kSessionPath); }
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString&, const QString&,
                                    const QString& mode) {
        EXPECT_EQ(what, QStringLiteral("sleep"));
        EXPECT_EQ(mode, QStringLiteral("delay"));
        ++inhibits;
        int fds[2];
        if (::pipe(fds) != 0) return {};
        if (writeEnd >= 0) ::close(writeEnd);
        writeEnd = fds[1];
        QDBusUnixFileDescriptor handed(fds[0]);  // keeps a copy of its own
        ::close(fds[0]);
        return handed;
    }
};

namespace {

class SystemBusEvents : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        logind = bus.connect(QStringLiteral("fake-logind"));
        ASSERT_TRUE(logind.isConnected());
        ASSERT_TRUE(logind.registerObject(kLogindPath, &manager, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.timedate1")));

        qputenv("XDG_SESSION_ID", "33");
        LinuxSystemEvents::Options options;
        options.systemBus = bus.connect(QStringLiteral("events-system"));
        options.sessionBus = QDBusConnection(QStringLiteral("no-session-bus"));
        options.localtimePath = QString();
        events = std::make_unique<LinuxSystemEvents>(scheduler, options);
        ASSERT_TRUE(waitUntil([&] { return !events->sessionPath().isEmpty(); }));
        ASSERT_TRUE(waitUntil([&] { return events->holdsSleepInhibitor(); }));
    }
    void TearDown() override {
        events.reset();
        qunsetenv("XDG_SESSION_ID");
    }

    void emitSignal(const QString& path, const QString& interface, const QString& name,
                    const QVariantList& args) {
        QDBusMessage message = QDBusMessage::createSignal(path, interface, name);
        message.setArguments(args);
        ASSERT_TRUE(logind.send(message));
    }

    PrivateBus bus;
    QDBusConnection logind{QString()};
    FakeLogindManager manager;
    FakeScheduler scheduler;
    std::unique_ptr<LinuxSystemEvents> events;
};

}  // namespace

TEST_F(SystemBusEvents, SleepAndWakeReleaseAndRetakeTheInhibitor) {
    EXPECT_EQ(manager.askedSession, QStringLiteral("33"));
    QSignalSpy sleep(events.get(), &LinuxSystemEvents::willSleep);
    QSignalSpy wake(events.get(), &LinuxSystemEvents::didWake);
    EXPECT_EQ(manager.inhibits, 1);
    EXPECT_TRUE(manager.inhibitorHeld());

    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForSleep"), {true});
    ASSERT_TRUE(waitUntil([&] { return sleep.count() == 1; }));
    EXPECT_EQ(wake.count(), 0);
    // The machine may go to sleep as soon as the application has dealt with it.
    EXPECT_FALSE(events->holdsSleepInhibitor());
    ASSERT_TRUE(waitUntil([&] { return !manager.inhibitorHeld(); }));

    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForSleep"), {false});
    ASSERT_TRUE(waitUntil([&] { return wake.count() == 1; }));
    EXPECT_EQ(sleep.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return events->holdsSleepInhibitor(); }));
    EXPECT_EQ(manager.inhibits, 2);
}

TEST_F(SystemBusEvents, ShutdownEndsTheSessionOnlyWhenItStarts) {
    QSignalSpy ending(events.get(), &LinuxSystemEvents::sessionEnding);
    QSignalSpy sleep(events.get(), &LinuxSystemEvents::willSleep);
    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForShutdown"), {false});
    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForShutdown"), {true});
    ASSERT_TRUE(waitUntil([&] { return ending.count() >= 1; }));
    // A round trip so that anything else sent has arrived too.
    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForSleep"), {true});
    ASSERT_TRUE(waitUntil([&] { return sleep.count() == 1; }));
    EXPECT_EQ(ending.count(), 1);
}

TEST_F(SystemBusEvents, OnlyThisSessionsLockLocksTheScreen) {
    EXPECT_EQ(events->sessionPath(), kSessionPath);
    QSignalSpy locked(events.get(), &LinuxSystemEvents::screenLocked);
    QSignalSpy sleep(events.get(), &LinuxSystemEvents::willSleep);
    emitSignal(QStringLiteral("/org/freedesktop/login1/session/_7"),
               QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Lock"), {});
    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForSleep"), {true});
    ASSERT_TRUE(waitUntil([&] { return sleep.count() == 1; }));
    EXPECT_EQ(locked.count(), 0);

    emitSignal(kSessionPath, QStringLiteral("org.freedesktop.login1.Session"),
               QStringLiteral("Lock"), {});
    ASSERT_TRUE(waitUntil([&] { return locked.count() == 1; }));
}

TEST_F(SystemBusEvents, TimedatedZoneChangeIsATimeZoneChange) {
    QSignalSpy zone(events.get(), &LinuxSystemEvents::timeZoneChanged);
    QSignalSpy sleep(events.get(), &LinuxSystemEvents::willSleep);
    const QString path = QStringLiteral("/org/freedesktop/timedate1");
    const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
    emitSignal(path, props, QStringLiteral("PropertiesChanged"),
               {QStringLiteral("org.freedesktop.timedate1"),
                QVariantMap{{QStringLiteral("NTP"), true}}, QStringList{}});
    emitSignal(kLogindPath, kManager, QStringLiteral("PrepareForSleep"), {true});
    ASSERT_TRUE(waitUntil([&] { return sleep.count() == 1; }));
    EXPECT_EQ(zone.count(), 0);

    emitSignal(
        path, props, QStringLiteral("PropertiesChanged"),
        {QStringLiteral("org.freedesktop.timedate1"),
         QVariantMap{{QStringLiteral("Timezone"), QStringLiteral("Asia/Tokyo")}}, QStringList{}});
    ASSERT_TRUE(waitUntil([&] { return zone.count() == 1; }));
}

TEST(LinuxSystemEvents, ScreenSaversOnTheSessionBusLockTheScreen) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) GTEST_SKIP() << "no session bus (run under scripts/with-desktop)";
    FakeScheduler scheduler;
    LinuxSystemEvents::Options options;
    options.systemBus = QDBusConnection(QStringLiteral("no-system-bus"));
    options.localtimePath = QString();
    LinuxSystemEvents events(scheduler, options);
    QSignalSpy locked(&events, &LinuxSystemEvents::screenLocked);

    struct Saver {
        QString service, path;
    };
    const Saver savers[] = {
        {QStringLiteral("org.freedesktop.ScreenSaver"),
         QStringLiteral("/org/freedesktop/ScreenSaver")},
        {QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/ScreenSaver")},
        {QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("/org/gnome/ScreenSaver")},
    };
    int expected = 0;
    for (const Saver& saver : savers) {
        SCOPED_TRACE(saver.path.toStdString());
        const QString name = QStringLiteral("saver-") + QString::number(expected);
        {
            QDBusConnection emitter =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
            ASSERT_TRUE(emitter.registerService(saver.service));
            // Our connection follows the owner of the name before it trusts the signal.
            waitUntil([] { return false; }, 100);
            for (bool active : {false, true}) {
                QDBusMessage message = QDBusMessage::createSignal(saver.path, saver.service,
                                                                  QStringLiteral("ActiveChanged"));
                message << active;
                ASSERT_TRUE(emitter.send(message));
            }
            ++expected;
            EXPECT_TRUE(waitUntil([&] { return locked.count() == expected; }));
            emitter.unregisterService(saver.service);
        }
        QDBusConnection::disconnectFromBus(name);
    }
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(locked.count(), expected);
}

TEST(LinuxSystemEvents, WithoutAnyBusNothingArrivesAndNothingFails) {
    FakeScheduler scheduler;
    LinuxSystemEvents::Options options;
    options.systemBus = QDBusConnection(QStringLiteral("absent-system"));
    options.sessionBus = QDBusConnection(QStringLiteral("absent-session"));
    options.localtimePath = QStringLiteral("/nonexistent/localtime");
    LinuxSystemEvents events(scheduler, options);
    EXPECT_TRUE(events.sessionPath().isEmpty());
    EXPECT_FALSE(events.holdsSleepInhibitor());
    EXPECT_GT(events.nextMidnight(), scheduler.now());
}

TEST(LinuxSystemEvents, DayChangesAtEachLocalMidnight) {
    tw::test::ScopedTimeZone zone("Europe/Berlin");
    // The night before the clocks go forward: the next day has 23 hours.
    FakeScheduler scheduler(tw::test::at("Europe/Berlin", 2025, 3, 29, 23, 59, 30));
    LinuxSystemEvents::Options options;
    options.systemBus = QDBusConnection(QStringLiteral("absent-system"));
    options.sessionBus = QDBusConnection(QStringLiteral("absent-session"));
    options.localtimePath = QString();
    LinuxSystemEvents events(scheduler, options);
    QSignalSpy day(&events, &LinuxSystemEvents::dayChanged);

    const tw::Instant march30 = tw::test::at("Europe/Berlin", 2025, 3, 30);
    const tw::Instant march31 = tw::test::at("Europe/Berlin", 2025, 3, 31);
    EXPECT_EQ(events.nextMidnight(), march30);
    scheduler.advance(29.9);
    EXPECT_EQ(day.count(), 0);
    scheduler.advance(0.1);
    EXPECT_EQ(day.count(), 1);
    EXPECT_EQ(events.nextMidnight(), march31);
    EXPECT_DOUBLE_EQ(march31 - march30, 23 * 3600.0);
    scheduler.advance(23 * 3600.0 - 1);
    EXPECT_EQ(day.count(), 1);
    scheduler.advance(1);
    EXPECT_EQ(day.count(), 2);
    EXPECT_EQ(scheduler.pendingCount(), 1);
}

TEST(LinuxSystemEvents, LocalTimeReplacedByRenameIsATimeZoneChange) {
    QTemporaryDir dir;
    const QString zoneinfo = QStringLiteral("/usr/share/zoneinfo/");
    if (!QFile::exists(zoneinfo + "Europe/Berlin") || !QFile::exists(zoneinfo + "Asia/Tokyo"))
        GTEST_SKIP() << "no zoneinfo";
    const QString localtime = dir.filePath(QStringLiteral("localtime"));
    ASSERT_TRUE(QFile::link(zoneinfo + "Europe/Berlin", localtime));

    FakeScheduler scheduler;
    LinuxSystemEvents::Options options;
    options.systemBus = QDBusConnection(QStringLiteral("absent-system"));
    options.sessionBus = QDBusConnection(QStringLiteral("absent-session"));
    options.localtimePath = localtime;
    LinuxSystemEvents events(scheduler, options);
    QSignalSpy zone(&events, &LinuxSystemEvents::timeZoneChanged);

    // Another file of the folder changing is no change of zone.
    {
        QFile other(dir.filePath(QStringLiteral("hosts")));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("127.0.0.1 localhost\n");
    }
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(zone.count(), 0);

    // The way timedatectl and ln -sf do it: a new link renamed over the old one.
    const QString fresh = dir.filePath(QStringLiteral(".localtime.new"));
    ASSERT_TRUE(QFile::link(zoneinfo + "Asia/Tokyo", fresh));
    ASSERT_EQ(
        ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(localtime).constData()),
        0);
    ASSERT_TRUE(waitUntil([&] { return zone.count() >= 1; }));
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(zone.count(), 1);

    // And once more, to show the watch survived the replacement.
    ASSERT_TRUE(QFile::link(zoneinfo + "Europe/Berlin", fresh));
    ASSERT_EQ(
        ::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(localtime).constData()),
        0);
    ASSERT_TRUE(waitUntil([&] { return zone.count() == 2; }));
}

#include "LinuxSystemEventsTest.moc"
