// The real program, started as a user would start it, inside the test desktop; each test has its
// own configuration and data folders. The running copy is observed through its status object on
// the session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <memory>
#include <vector>

#include "app/SingleInstance.h"
#include "common/PrivateBus.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "support/Calendar.h"
#include "support/Uuid.h"
#include "timer/FocusHistory.h"
#include "timer/SavedSession.h"

using namespace tw;
using tw::test::waitUntil;

// Counts the running copy's IslandRequested signals.
class IslandRequests : public QObject {
    Q_OBJECT
public:
    int count = 0;
public Q_SLOTS:
    void seen() { ++count; }
};

namespace {

const QString kBusName = QLatin1String(SingleInstance::kBusName);
const QString kProgram = QStringLiteral(TW_BIN_DIR "/tarnwhistle");

Instant wallClock() {
    return Instant::fromUnix(static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0);
}

class ProgramCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kProgram));
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QProcess* start(const QStringList& args = {}, const QProcessEnvironment* custom = nullptr,
                    const QString& program = kProgram) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(custom ? *custom : env);
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        processes.push_back(std::move(p));
        return processes.back().get();
    }
    static bool finished(QProcess* p) { return p->state() == QProcess::NotRunning; }

    // Launched: the copy has put its status object on the bus.
    bool waitForLaunch(QProcess* p) {
        return waitUntil(
            [&] {
                const QDBusReply<uint> pid = bus.interface()->servicePid(kBusName);
                return pid.isValid() && qint64(pid.value()) == p->processId();
            },
            15000);
    }

    QVariant property(const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kBusName, QLatin1String(SingleInstance::kObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QLatin1String(SingleInstance::kInterface) << QLatin1String(name);
        const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    void quit() {
        bus.call(QDBusMessage::createMethodCall(
                     kBusName, QLatin1String(SingleInstance::kObjectPath),
                     QLatin1String(SingleInstance::kInterface), QStringLiteral("Quit")),
                 QDBus::Block, 5000);
    }

    QString defaultsFile() const {
        return config.filePath(QStringLiteral("tarnwhistle/dev.tarnwhistle.app.json"));
    }

    // The defaults file as another program would leave it: one JSON object with the session as
    // a data value.
    void writeSession(const SavedSession& session) {
        QDir().mkpath(config.filePath(QStringLiteral("tarnwhistle")));
        QJsonObject data{
            {QStringLiteral("$data"), QString::fromLatin1(session.encode().toBase64())}};
        QJsonObject root{{QStringLiteral("activeTimerSession"), data}};
        QFile file(defaultsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    }

    SavedSession runningFocus(Instant end, Instant segmentStart) {
        SavedSession s;
        s.id = newUuid();
        s.mode = QStringLiteral("focus");
        s.state = QStringLiteral("running");
        s.remaining = std::max<qint64>(ceilSeconds(end - wallClock()), 0);
        s.endDate = end;
        s.phaseStart = end - 1500.0;
        s.pausedElapsed = 0;
        s.focusSegmentStart = segmentStart;
        s.phaseSeconds = 1500;
        return s;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    QTemporaryDir config;
    QTemporaryDir data;
    QProcessEnvironment env;
    std::vector<std::unique_ptr<QProcess>> processes;
};

// The program on the test desktop.
class Program : public ProgramCli {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("DISPLAY") || !bus.isConnected())
            GTEST_SKIP() << "needs the test desktop (run under scripts/with-desktop)";
        ProgramCli::SetUp();
        // A copy left over from another test would take the place of ours.
        ASSERT_TRUE(
            waitUntil([&] { return !bus.interface()->isServiceRegistered(kBusName).value(); }));
    }
};

}  // namespace

TEST_F(ProgramCli, PrintsItsVersion) {
    QProcess* p = start({QStringLiteral("--version")});
    ASSERT_TRUE(p->waitForFinished(10000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_EQ(p->readAllStandardOutput(), QByteArray("tarnwhistle " TW_VERSION "\n"));
}

TEST_F(ProgramCli, WithoutADisplaySaysSoInOneSentence) {
    QProcessEnvironment none = env;
    none.remove(QStringLiteral("DISPLAY"));
    none.remove(QStringLiteral("WAYLAND_DISPLAY"));
    QProcessEnvironment unreachable = env;
    unreachable.insert(QStringLiteral("DISPLAY"), QStringLiteral(":4711"));
    unreachable.remove(QStringLiteral("WAYLAND_DISPLAY"));
    for (const QProcessEnvironment* e : {&none, &unreachable}) {
        QProcess* p = start({}, e);
        ASSERT_TRUE(p->waitForFinished(10000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);  // no abort
        EXPECT_EQ(p->exitCode(), 1);
        const QString said = QString::fromUtf8(p->readAllStandardError());
        EXPECT_TRUE(said.endsWith(QStringLiteral(".\n"))) << said.toStdString();
        EXPECT_EQ(said.count(QLatin1Char('\n')), 1) << said.toStdString();
        EXPECT_EQ(said.count(QLatin1Char('.')), 1) << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("display"))) << said.toStdString();
    }
}

TEST_F(Program, CopiesStartedTogetherLeaveExactlyOne) {
    for (const int copies : {2, 5}) {
        SCOPED_TRACE(copies);
        IslandRequests requests;
        ASSERT_TRUE(bus.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                                QLatin1String(SingleInstance::kInterface),
                                QStringLiteral("IslandRequested"), &requests, SLOT(seen())));
        std::vector<QProcess*> started;
        for (int i = 0; i < copies; ++i) started.push_back(start());

        const auto done = [&] {
            return int(std::count_if(started.begin(), started.end(), finished));
        };
        ASSERT_TRUE(waitUntil([&] { return done() == copies - 1; }, 30000));
        QProcess* survivor = nullptr;
        for (QProcess* p : started) {
            if (!finished(p)) {
                survivor = p;
                continue;
            }
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0);
        }
        ASSERT_NE(survivor, nullptr);
        ASSERT_TRUE(waitForLaunch(survivor));
        // Every later copy asked the survivor to show its island, and it heard each one.
        EXPECT_TRUE(waitUntil([&] { return requests.count == copies - 1; }));
        waitUntil([] { return false; }, 200);
        EXPECT_EQ(requests.count, copies - 1);
        EXPECT_EQ(done(), copies - 1);

        quit();  // idle: no question
        ASSERT_TRUE(waitUntil([&] { return finished(survivor); }, 10000));
        EXPECT_EQ(survivor->exitCode(), 0);
        bus.disconnect(QString(), QLatin1String(SingleInstance::kObjectPath),
                       QLatin1String(SingleInstance::kInterface), QStringLiteral("IslandRequested"),
                       &requests, SLOT(seen()));
        ASSERT_TRUE(
            waitUntil([&] { return !bus.interface()->isServiceRegistered(kBusName).value(); }));
    }
}

TEST_F(Program, ACopyInAnotherDesktopSessionIsNoPeer) {
    QProcess* first = start();
    ASSERT_TRUE(waitForLaunch(first));
    // Another session of the same user: its own session bus.
    tw::test::PrivateBus other;
    ASSERT_FALSE(other.address().isEmpty());
    QProcessEnvironment otherSession = env;
    otherSession.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), other.address());
    QProcess* second = start({}, &otherSession);
    QDBusConnection otherBus = other.connect(QStringLiteral("other-session"));
    ASSERT_TRUE(otherBus.isConnected());
    // It starts there at once, without waiting for a hand-over, and both go on running.
    EXPECT_TRUE(waitUntil(
        [&] {
            const QDBusReply<uint> pid = otherBus.interface()->servicePid(kBusName);
            return pid.isValid() && qint64(pid.value()) == second->processId();
        },
        3000));
    EXPECT_FALSE(finished(first));
    EXPECT_FALSE(finished(second));
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(first); }, 10000));
    otherBus.call(QDBusMessage::createMethodCall(
                      kBusName, QLatin1String(SingleInstance::kObjectPath),
                      QLatin1String(SingleInstance::kInterface), QStringLiteral("Quit")),
                  QDBus::Block, 5000);
    ASSERT_TRUE(waitUntil([&] { return finished(second); }, 10000));
    EXPECT_EQ(second->exitCode(), 0);
}

TEST_F(Program, ACopyFromAnotherFolderHandsOverToTheRunningOne) {
    // An installed copy and one in a build folder: the same program at two paths.
    QTemporaryDir installed;
    const QString elsewhere = installed.filePath(QStringLiteral("tarnwhistle"));
    ASSERT_TRUE(QFile::copy(kProgram, elsewhere));
    QProcess* first = start();
    ASSERT_TRUE(waitForLaunch(first));
    IslandRequests requests;
    ASSERT_TRUE(bus.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                            QLatin1String(SingleInstance::kInterface),
                            QStringLiteral("IslandRequested"), &requests, SLOT(seen())));
    QProcess* second = start({}, nullptr, elsewhere);
    ASSERT_TRUE(waitUntil([&] { return finished(second); }, 10000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return requests.count == 1; }));
    EXPECT_FALSE(finished(first));
    bus.disconnect(QString(), QLatin1String(SingleInstance::kObjectPath),
                   QLatin1String(SingleInstance::kInterface), QStringLiteral("IslandRequested"),
                   &requests, SLOT(seen()));
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(first); }, 10000));
}

TEST_F(Program, FocusThatEndedWhileNotRunningIsCompletedAtItsEnd) {
    const Instant end = wallClock() - 600.0;
    const SavedSession saved = runningFocus(end, end - 300.0);
    writeSession(saved);

    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    EXPECT_EQ(property("Mode").toString(), QStringLiteral("rest"));
    EXPECT_EQ(property("RunState").toString(), QStringLiteral("idle"));
    EXPECT_EQ(property("EndDate").toDouble(), 0.0);

    UserDefaults stored(defaultsFile());
    EXPECT_FALSE(stored.contains(QStringLiteral("activeTimerSession")));
    const auto history = FocusHistory::decode(
        stored.data(QStringLiteral("weeklyFocusHistory")).value_or(QByteArray()));
    ASSERT_TRUE(history.has_value());
    double seconds = 0;
    qint64 sessions = 0;
    for (const auto& totals : history->days) {
        seconds += totals.seconds;
        sessions += totals.sessions;
    }
    EXPECT_NEAR(seconds, 300.0, 0.01);  // up to the end date, not up to now
    EXPECT_EQ(sessions, 1);
    EXPECT_EQ(history->days.value(Calendar::shared().dayKey(end)).sessions, 1);

    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, 10000));
    EXPECT_EQ(p->exitCode(), 0);
}

TEST_F(Program, KilledDuringFocusResumesTheSameSessionAgainstTheSameEnd) {
    const Instant now = wallClock();
    const SavedSession saved = runningFocus(now + 1200.0, now - 300.0);
    writeSession(saved);

    QProcess* first = start();
    ASSERT_TRUE(waitForLaunch(first));
    EXPECT_EQ(property("RunState").toString(), QStringLiteral("running"));
    EXPECT_EQ(property("SessionID").toString(), uuidText(saved.id));
    EXPECT_NEAR(property("EndDate").toDouble(), saved.endDate->toUnix(), 0.001);
    first->kill();  // SIGKILL: no chance to clean up
    ASSERT_TRUE(first->waitForFinished(5000));
    ASSERT_TRUE(waitUntil([&] { return !bus.interface()->isServiceRegistered(kBusName).value(); }));

    QProcess* second = start();
    ASSERT_TRUE(waitForLaunch(second));
    EXPECT_EQ(property("Mode").toString(), QStringLiteral("focus"));
    EXPECT_EQ(property("RunState").toString(), QStringLiteral("running"));
    EXPECT_EQ(property("SessionID").toString(), uuidText(saved.id));
    EXPECT_NEAR(property("EndDate").toDouble(), saved.endDate->toUnix(), 0.001);
    const int remaining = property("Remaining").toInt();
    EXPECT_GT(remaining, 1100);
    EXPECT_LE(remaining, 1200);
}

TEST_F(Program, TerminationSignalEndsTheSessionAndExitsCleanly) {
    const Instant now = wallClock();
    writeSession(runningFocus(now + 900.0, now - 600.0));
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    ASSERT_EQ(property("RunState").toString(), QStringLiteral("running"));

    p->terminate();  // SIGTERM, as at shut-down: no question
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, 5000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    UserDefaults stored(defaultsFile());
    EXPECT_FALSE(stored.contains(QStringLiteral("activeTimerSession")));
    // The ten minutes of focus before the end were kept.
    const auto history = FocusHistory::decode(
        stored.data(QStringLiteral("weeklyFocusHistory")).value_or(QByteArray()));
    ASSERT_TRUE(history.has_value());
    double seconds = 0;
    for (const auto& totals : history->days) seconds += totals.seconds;
    EXPECT_GE(seconds, 600.0);
    EXPECT_EQ(history->totalSessions(), 0);
}

TEST_F(Program, PublishesItsSnapshotForTheDesktopWidget) {
    const Instant now = wallClock();
    writeSession(runningFocus(now + 1200.0, now - 300.0));
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    const QString suite =
        config.filePath(QStringLiteral("tarnwhistle/group.dev.tarnwhistle.app.json"));
    ASSERT_TRUE(waitUntil(
        [&] { return UserDefaults(suite).contains(QStringLiteral("focus-widget-snapshot")); }));

    QProcess widget;
    widget.setProcessEnvironment(env);
    widget.start(QStringLiteral(TW_BIN_DIR "/tarnwhistle-widget"), {QStringLiteral("--print")});
    ASSERT_TRUE(widget.waitForFinished(10000));
    EXPECT_EQ(widget.exitCode(), 0);
    const QString line = QString::fromUtf8(widget.readAllStandardOutput()).trimmed();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Focus (19|20):\\d\\d\\b")).match(line).hasMatch())
        << line.toStdString();
    EXPECT_TRUE(line.contains(QStringLiteral("Focusing now"))) << line.toStdString();
}

namespace {

struct Answer {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs one of the command lines for the running copy and waits for it to finish.
Answer runCommand(const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(kProgram, args);
    Answer a;
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(5000);
        return a;
    }
    a.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    a.out = QString::fromUtf8(p.readAllStandardOutput());
    a.err = QString::fromUtf8(p.readAllStandardError());
    return a;
}

// The window the window manager has made active, as xprop reads it; 0 when none.
quint64 activeWindow() {
    QProcess p;
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-root"), QStringLiteral("_NET_ACTIVE_WINDOW")});
    if (!p.waitForFinished(5000)) return 0;
    const QString text = QString::fromUtf8(p.readAllStandardOutput());
    const auto m = QRegularExpression(QStringLiteral("0x([0-9a-fA-F]+)")).match(text);
    return m.hasMatch() ? m.captured(1).toULongLong(nullptr, 16) : 0;
}

// The process that owns an X window, from its _NET_WM_PID; 0 when unknown.
qint64 windowPid(quint64 window) {
    if (window == 0) return 0;
    QProcess p;
    p.start(QStringLiteral("xprop"),
            {QStringLiteral("-id"), QString::number(window), QStringLiteral("_NET_WM_PID")});
    if (!p.waitForFinished(5000)) return 0;
    const auto m = QRegularExpression(QStringLiteral("= (\\d+)"))
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

}  // namespace

TEST_F(Program, CommandsWithoutARunningCopySaySoAndStartNone) {
    QProcessEnvironment headless = env;  // and they need no display
    headless.remove(QStringLiteral("DISPLAY"));
    headless.remove(QStringLiteral("WAYLAND_DISPLAY"));
    struct Case {
        QStringList args;
        QString out;
    };
    const QString notRunning = QStringLiteral("Tarnwhistle is not running.\n");
    for (const Case& c : {Case{{QStringLiteral("start-focus")}, notRunning},
                          Case{{QStringLiteral("start-focus"), QStringLiteral("15")}, notRunning},
                          Case{{QStringLiteral("pause-or-resume")}, notRunning},
                          Case{{QStringLiteral("end-focus")}, notRunning},
                          Case{{QStringLiteral("status")}, notRunning},
                          Case{{QStringLiteral("status"), QStringLiteral("--json")},
                               QStringLiteral("{\"running\":false}\n")}}) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Answer a = runCommand(c.args, headless);
        EXPECT_EQ(a.exitCode, 1);
        EXPECT_EQ(a.out, c.out);
        EXPECT_EQ(a.err, QString());
        EXPECT_FALSE(bus.interface()->isServiceRegistered(kBusName).value());
    }
    // A malformed or mistyped command line is refused before anything is asked or started,
    // with the display there.
    for (const QStringList& args :
         {QStringList{QStringLiteral("start-focus"), QStringLiteral("ten")},
          QStringList{QStringLiteral("start-focus"), QStringLiteral("15"), QStringLiteral("20")},
          QStringList{QStringLiteral("end-focus"), QStringLiteral("now")},
          QStringList{QStringLiteral("pause")}, QStringList{QStringLiteral("--bogus")}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const Answer a = runCommand(args, env);
        EXPECT_EQ(a.exitCode, 2);
        EXPECT_EQ(a.out, QString());
        EXPECT_TRUE(a.err.startsWith(QStringLiteral("tarnwhistle: "))) << a.err.toStdString();
        EXPECT_TRUE(a.err.contains(QStringLiteral("Usage: tarnwhistle"))) << a.err.toStdString();
        EXPECT_FALSE(bus.interface()->isServiceRegistered(kBusName).value());
    }
}

TEST_F(Program, CommandsDriveTheRunningCopyWithoutBringingItForward) {
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    // A window of the test's own holds the focus; the commands must leave it there.
    QWidget own;
    own.setWindowTitle(QStringLiteral("Focus holder"));
    own.resize(200, 100);
    own.show();
    own.activateWindow();
    const quint64 activeBefore = own.winId();
    ASSERT_TRUE(waitUntil([&] { return activeWindow() == activeBefore; }))
        << "the window manager did not activate the test's window";

    struct Step {
        QStringList args;
        QString said;
        QString mode;
        QString runState;
        int remainingAtLeast;
        int remainingAtMost;
        int status = 0;
    };
    const QString start = QStringLiteral("start-focus");
    const QString toggle = QStringLiteral("pause-or-resume");
    const QString end = QStringLiteral("end-focus");
    const QString focus = QStringLiteral("focus");
    const QString rest = QStringLiteral("rest");
    const QString idle = QStringLiteral("idle");
    const QString running = QStringLiteral("running");
    const QString paused = QStringLiteral("paused");
    const std::vector<Step> steps = {
        {{toggle},
         QStringLiteral("Nothing is running \u2014 say start focus to begin."),
         focus,
         idle,
         1500,
         1500,
         1},
        {{end}, QStringLiteral("Nothing is running."), focus, idle, 1500, 1500},
        {{start},
         QStringLiteral("Focus session started for 25 minutes."),
         focus,
         running,
         1490,
         1500},
        {{start}, QStringLiteral("A session is already running."), focus, running, 1490, 1500},
        {{start, QStringLiteral("500")},
         QStringLiteral("That duration is out of range."),
         focus,
         running,
         1490,
         1500,
         1},
        {{start, QStringLiteral("15")},
         QStringLiteral("Focus session started for 15 minutes."),
         focus,
         running,
         890,
         900},
        {{toggle}, QStringLiteral("Paused. The session is kept."), focus, paused, 890, 900},
        {{toggle}, QStringLiteral("Resumed."), focus, running, 880, 900},
        {{end}, QStringLiteral("Session ended."), rest, idle, 300, 300},
        // A waiting break gives way to focus of the asked length, which starts at once.
        {{start, QStringLiteral("10")},
         QStringLiteral("Focus session started for 10 minutes."),
         focus,
         running,
         590,
         600},
        {{start, QStringLiteral("0")},
         QStringLiteral("A session is already running."),
         focus,
         running,
         580,
         600},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.args.join(QLatin1Char(' ')).toStdString());
        const Answer a = runCommand(step.args, env);
        EXPECT_EQ(a.exitCode, step.status);
        EXPECT_EQ(a.out, step.said + QLatin1Char('\n'));
        EXPECT_EQ(a.err, QString());
        EXPECT_EQ(property("Mode").toString(), step.mode);
        EXPECT_EQ(property("RunState").toString(), step.runState);
        const int remaining = property("Remaining").toInt();
        EXPECT_GE(remaining, step.remainingAtLeast);
        EXPECT_LE(remaining, step.remainingAtMost);
        // The status command reads the same.
        const Answer status = runCommand({QStringLiteral("status"), QStringLiteral("--json")}, env);
        EXPECT_EQ(status.exitCode, 0);
        const QJsonObject o = QJsonDocument::fromJson(status.out.toUtf8()).object();
        EXPECT_EQ(o.value(QStringLiteral("mode")).toString(), step.mode);
        EXPECT_EQ(o.value(QStringLiteral("state")).toString(), step.runState);
        EXPECT_GE(o.value(QStringLiteral("remaining")).toInt(), step.remainingAtLeast);
        // Still the one copy, and not brought to the front.
        EXPECT_FALSE(finished(p));
        const quint64 active = activeWindow();
        EXPECT_EQ(active, activeBefore);
        EXPECT_NE(windowPid(active), p->processId());
    }

    const Answer line = runCommand({QStringLiteral("status")}, env);
    EXPECT_EQ(line.exitCode, 0);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Focus \u00b7 running \u00b7 (9|10):\\d\\d left\n$"))
            .match(line.out)
            .hasMatch())
        << line.out.toStdString();

    // Quitting during focus would ask; end the session first so it quits at once.
    EXPECT_EQ(runCommand({end}, env).out, QStringLiteral("Session ended.\n"));
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, 10000));
    EXPECT_EQ(p->exitCode(), 0);
}

TEST_F(Program, TheStartPauseShortcutStartsAndPausesTheTimerFromAnyApplication) {
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    ASSERT_EQ(property("RunState").toString(), QStringLiteral("idle"));
    const auto press = [] {
        return QProcess::execute(QStringLiteral("xdotool"),
                                 {QStringLiteral("key"), QStringLiteral("ctrl+alt+space")});
    };
    ASSERT_EQ(press(), 0);
    EXPECT_TRUE(
        waitUntil([&] { return property("RunState").toString() == QStringLiteral("running"); }));
    EXPECT_EQ(property("Mode").toString(), QStringLiteral("focus"));
    ASSERT_EQ(press(), 0);
    EXPECT_TRUE(
        waitUntil([&] { return property("RunState").toString() == QStringLiteral("paused"); }));
}

namespace {

// The program's visible windows and their geometry, as the window manager reports them.
QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(5000)) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

QRect windowGeometry(qint64 pid) {
    const QStringList ids = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                     QStringLiteral("--pid"), QString::number(pid)})
                                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (ids.size() != 1) return {};
    const QString out = xdotool({QStringLiteral("getwindowgeometry"), ids.first()});
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Position: (-?\\d+),(-?\\d+).*Geometry: (\\d+)x(\\d+)"),
                           QRegularExpression::DotMatchesEverythingOption)
            .match(out);
    if (!m.hasMatch()) return {};
    return QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                 m.captured(4).toInt());
}

}  // namespace

TEST_F(Program, TheIslandPeeksThenSitsAtTheTopCentreAndOpensOnAClick) {
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    // The launch peek shows the open island for a moment, then it collapses to the pill.
    QRect collapsed;
    ASSERT_TRUE(waitUntil([&] {
        collapsed = windowGeometry(p->processId());
        return collapsed.size() == QSize(208, 26);
    })) << "last seen "
        << collapsed.width() << "x" << collapsed.height();
    EXPECT_EQ(collapsed.left() + collapsed.width() / 2, screen.left() + screen.width() / 2);
    EXPECT_EQ(collapsed.top(), screen.top() + 6);

    const QPoint onPill = collapsed.center();
    xdotool({QStringLiteral("mousemove"), QString::number(onPill.x()), QString::number(onPill.y()),
             QStringLiteral("click"), QStringLiteral("1")});
    QRect opened;
    ASSERT_TRUE(waitUntil([&] {
        opened = windowGeometry(p->processId());
        return opened.width() > collapsed.width() && opened.height() > collapsed.height();
    }));
    EXPECT_EQ(opened.left() + opened.width() / 2, screen.left() + screen.width() / 2);

    xdotool({QStringLiteral("mousemove"), QString::number(screen.left() + 200),
             QString::number(screen.bottom() - 200), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return windowGeometry(p->processId()) == collapsed; }));
}

TEST_F(Program, TrayOnlyOnADesktopWithoutATrayStillShowsTheIsland) {
    // The test desktop (openbox) has no tray host, like GNOME without its tray extension.
    QDir().mkpath(config.filePath(QStringLiteral("tarnwhistle")));
    {
        QFile file(defaultsFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(R"({"islandStyle": "menuBarOnly"})");
    }
    QProcess* p = start();
    ASSERT_TRUE(waitForLaunch(p));
    QRect pill;
    ASSERT_TRUE(waitUntil([&] {
        pill = windowGeometry(p->processId());
        return pill.size() == QSize(208, 26);
    })) << "no island on screen";
    // The show-island shortcut opens it, and a second launch shows it too.
    xdotool({QStringLiteral("key"), QStringLiteral("alt+Down")});
    ASSERT_TRUE(waitUntil([&] {
        const QRect g = windowGeometry(p->processId());
        return g.width() > pill.width() && g.height() > pill.height();
    }));
    xdotool({QStringLiteral("key"), QStringLiteral("alt+Down")});
    ASSERT_TRUE(waitUntil([&] { return windowGeometry(p->processId()) == pill; }));
    QProcess* second = start();
    ASSERT_TRUE(waitUntil([&] { return finished(second); }, 10000));
    EXPECT_EQ(second->exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return windowGeometry(p->processId()).width() > pill.width(); }));
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, 10000));
}

#include "ProgramTest.moc"
