// The shipped Do Not Disturb definitions against stand-ins: a private bus on which this process
// plays the notification server (it names itself as each real one does), and tools on PATH that
// record how they were called instead of switching anything.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "common/PrivateBus.h"
#include "common/TestSupport.h"

namespace tw::test {

// Answers GetServerInformation with `name` first, as the freedesktop servers do.
class NamedNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QString name;

public Q_SLOTS:
    QString GetServerInformation(QString& vendor, QString& version, QString& specVersion) {
        vendor = QStringLiteral("Stand-in");
        version = QStringLiteral("1.0");
        specVersion = QStringLiteral("1.2");
        return name;
    }
};

namespace {

const QString kShortcuts = QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle/Shortcuts/");
const QString kOn = kShortcuts + QStringLiteral("Tarnwhistle DND On.sh");
const QString kOff = kShortcuts + QStringLiteral("Tarnwhistle DND Off.sh");

// Logs its name and arguments ("dunstctl [set-paused] [true]") and exits with
// $TW_FAKE_STATUS; with $TW_FAKE_NO_NOTIFY set it refuses --notify, as an older kwriteconfig does.
constexpr char kRecordingTool[] = R"(#!/bin/sh
if [ -n "$TW_FAKE_NO_NOTIFY" ] && [ "$1" = --notify ]; then exit 1; fi
{ printf '%s' "${0##*/}"; for a in "$@"; do printf ' [%s]' "$a"; done; echo; } >> "$TW_FAKE_LOG"
exit "${TW_FAKE_STATUS:-0}"
)";

class DNDDefinitions : public ::testing::Test {
public:
    PrivateBus bus;
    QDBusConnection serverBus{QString()};
    NamedNotificationServer server;
    QTemporaryDir dir;
    QString bin;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(QFile::exists(kOn) && QFile::exists(kOff));
        serverBus = bus.connect(QStringLiteral("dnd-notification-server"));
        ASSERT_TRUE(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"),
                                             &server, QDBusConnection::ExportAllSlots));
        bin = dir.filePath(QStringLiteral("bin"));
        ASSERT_TRUE(QDir().mkpath(bin));
        for (const char* tool : {"gsettings", "kwriteconfig6", "xfconf-query", "dunstctl",
                                 "makoctl", "swaync-client", "gdbus"}) {
            QFile f(bin + u'/' + QLatin1String(tool));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(kRecordingTool);
            f.close();
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        // The stand-ins first; the rest of the system only for sh, dbus-send, sed and date.
        env.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address());
        env.insert(QStringLiteral("TW_FAKE_LOG"), dir.filePath(QStringLiteral("log")));
    }

    void serve(const QString& name) {
        server.name = name;
        ASSERT_TRUE(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    struct Run {
        int status = -1;
        QString error;
        QStringList calls;
    };

    // Runs a definition as the shortcuts tool would, answering its question meanwhile.
    Run run(const QString& definition) {
        QFile::remove(dir.filePath(QStringLiteral("log")));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(definition, {});
        Run r;
        if (!p.waitForStarted(5000) ||
            !waitUntil([&p] { return p.state() == QProcess::NotRunning; }, 15000)) {
            p.kill();
            p.waitForFinished();
            return r;
        }
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.error = QString::fromUtf8(p.readAllStandardError());
        QFile log(dir.filePath(QStringLiteral("log")));
        if (log.open(QIODevice::ReadOnly)) {
            r.calls = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
        }
        return r;
    }
};

TEST_F(DNDDefinitions, SwitchTheServerThatRuns) {
    struct Case {
        QString server;
        QString on;
        QString off;
    } cases[] = {
        {QStringLiteral("gnome-shell"),
         QStringLiteral("gsettings [set] [org.gnome.desktop.notifications] [show-banners] [false]"),
         QStringLiteral("gsettings [set] [org.gnome.desktop.notifications] [show-banners] [true]")},
        {QStringLiteral("Plasma"),
         QStringLiteral("kwriteconfig6 [--notify] [--file] [plasmanotifyrc] [--group] "
                        "[DoNotDisturb] [--key] [Until] [%1]"),
         QStringLiteral("kwriteconfig6 [--notify] [--file] [plasmanotifyrc] [--group] "
                        "[DoNotDisturb] [--key] [Until] [--delete]")},
        {QStringLiteral("Xfce Notify Daemon"),
         QStringLiteral("xfconf-query [-c] [xfce4-notifyd] [-p] [/do-not-disturb] [-n] [-t] "
                        "[bool] [-s] [true]"),
         QStringLiteral("xfconf-query [-c] [xfce4-notifyd] [-p] [/do-not-disturb] [-n] [-t] "
                        "[bool] [-s] [false]")},
        {QStringLiteral("dunst"), QStringLiteral("dunstctl [set-paused] [true]"),
         QStringLiteral("dunstctl [set-paused] [false]")},
        {QStringLiteral("mako"), QStringLiteral("makoctl [mode] [-a] [do-not-disturb]"),
         QStringLiteral("makoctl [mode] [-r] [do-not-disturb]")},
        {QStringLiteral("SwayNotificationCenter"), QStringLiteral("swaync-client [--dnd-on]"),
         QStringLiteral("swaync-client [--dnd-off]")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.server.toStdString());
        serve(c.server);
        const Run on = run(kOn);
        EXPECT_EQ(on.status, 0) << on.error.toStdString();
        ASSERT_EQ(on.calls.size(), 1) << on.calls.join(u'\n').toStdString();
        if (c.on.contains(QStringLiteral("%1"))) {
            // Plasma: Do Not Disturb until this moment next year ("Y,M,D,h,m,s", local time).
            const QRegularExpression until(QRegularExpression::escape(c.on).replace(
                QRegularExpression::escape(QStringLiteral("%1")),
                QStringLiteral("(\\d{4}),(\\d\\d),(\\d\\d),\\d\\d,\\d\\d,\\d\\d")));
            const auto match = until.match(on.calls[0]);
            ASSERT_TRUE(match.hasMatch()) << on.calls[0].toStdString();
            const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                             match.captured(3).toInt());
            EXPECT_TRUE(date.isValid());
            EXPECT_NEAR(QDate::currentDate().daysTo(date), 365, 2);
        } else {
            EXPECT_EQ(on.calls[0], c.on);
        }
        const Run off = run(kOff);
        EXPECT_EQ(off.status, 0) << off.error.toStdString();
        EXPECT_EQ(off.calls, QStringList{c.off});
        serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }
}

TEST_F(DNDDefinitions, AnOlderKWriteConfigIsHelpedToTellPlasma) {
    serve(QStringLiteral("Plasma"));
    env.insert(QStringLiteral("TW_FAKE_NO_NOTIFY"), QStringLiteral("1"));
    const Run off = run(kOff);
    EXPECT_EQ(off.status, 0) << off.error.toStdString();
    EXPECT_EQ(off.calls,
              (QStringList{QStringLiteral("kwriteconfig6 [--file] [plasmanotifyrc] [--group] "
                                          "[DoNotDisturb] [--key] [Until] [--delete]"),
                           QStringLiteral("gdbus [emit] [--session] [--object-path] "
                                          "[/plasmanotifyrc] [--signal] "
                                          "[org.kde.kconfig.notify.ConfigChanged] "
                                          "[{'DoNotDisturb': [b'Until']}]")}));
}

TEST_F(DNDDefinitions, FailWithOneLineWhenNothingCanBeSwitched) {
    struct Case {
        const char* what;
        QString server;  // empty: no server runs
        const char* missingTool;
        bool toolFails;
        QString says;
    } cases[] = {
        {"no server", {}, nullptr, false, QStringLiteral("no notification server runs")},
        {"an unknown server", QStringLiteral("Notification Daemon"), nullptr, false,
         QStringLiteral("\"Notification Daemon\" is not one this shortcut can switch")},
        {"its tool missing", QStringLiteral("dunst"), "dunstctl", false,
         QStringLiteral("dunst runs, but dunstctl is not installed.")},
        {"its tool failing", QStringLiteral("mako"), nullptr, true,
         QStringLiteral("makoctl could not change mako's do-not-disturb mode.")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.server.isEmpty()) serve(c.server);
        if (c.missingTool) QFile::remove(bin + u'/' + QLatin1String(c.missingTool));
        env.insert(QStringLiteral("TW_FAKE_STATUS"),
                   c.toolFails ? QStringLiteral("1") : QStringLiteral("0"));
        for (const QString& definition : {kOn, kOff}) {
            const Run r = run(definition);
            EXPECT_EQ(r.status, 1);
            EXPECT_TRUE(r.error.contains(c.says)) << r.error.toStdString();
            EXPECT_EQ(r.error.count(u'\n'), 1) << "one line: " << r.error.toStdString();
        }
        serverBus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    }
}

}  // namespace
}  // namespace tw::test

#include "DNDDefinitionsTest.moc"
