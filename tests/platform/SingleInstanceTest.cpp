#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <optional>
#include <vector>

#include "app/SingleInstance.h"

namespace si = tw::SingleInstance;
using tw::Instant;
using Peer = si::Peer;

namespace {

std::optional<Instant> at(double s) {
    return Instant::fromReference(s);
}

}  // namespace

TEST(SingleInstance, EarlierLaunchWinsThenLowerPid) {
    struct Case {
        const char* name;
        Peer self;
        std::vector<Peer> peers;
        bool anotherRuns;
    };
    const Case cases[] = {
        {"alone", {100, at(10)}, {}, false},
        {"peer launched earlier", {100, at(10)}, {{200, at(9)}}, true},
        {"peer launched later", {100, at(10)}, {{50, at(11)}}, false},
        {"same date, peer has lower pid", {100, at(10)}, {{99, at(10)}}, true},
        {"same date, peer has higher pid", {100, at(10)}, {{101, at(10)}}, false},
        {"own date unknown, peer known", {100, std::nullopt}, {{200, at(10)}}, true},
        {"peer date unknown, own known", {100, at(10)}, {{50, std::nullopt}}, false},
        {"both unknown, peer lower pid", {100, std::nullopt}, {{50, std::nullopt}}, true},
        {"both unknown, peer higher pid", {100, std::nullopt}, {{150, std::nullopt}}, false},
        {"one of several earlier", {100, at(10)}, {{300, at(12)}, {301, at(9.99)}}, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(si::isAnotherInstanceRunning(c.self, c.peers), c.anotherRuns) << c.name;
    }
}

TEST(SingleInstance, FiveCopiesStartedTogetherLeaveExactlyOne) {
    const std::vector<Peer> copies = {
        {40, at(5.01)}, {41, at(5.0)}, {39, at(5.0)}, {42, std::nullopt}, {43, at(5.02)}};
    int survivors = 0;
    for (size_t i = 0; i < copies.size(); ++i) {
        std::vector<Peer> others;
        for (size_t j = 0; j < copies.size(); ++j)
            if (j != i) others.push_back(copies[j]);
        if (!si::isAnotherInstanceRunning(copies[i], others)) {
            ++survivors;
            EXPECT_EQ(copies[i].pid, 39);
        }
    }
    EXPECT_EQ(survivors, 1);
}

TEST(SingleInstance, ParsesProcStatFromTheLastParenthesis) {
    // Fields 3 (state) to 22 (start time) after the command name.
    const QByteArray tail = " 1 1 1 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 123456 9999 99";
    struct Case {
        QByteArray text;
        std::optional<char> state;
        quint64 start;
    };
    const Case cases[] = {
        {"4242 (tarnwhistle) S" + tail, 'S', 123456},
        {"4242 (a) (b) S" + tail, 'S', 123456},
        {"4242 (odd ) R 1 (x)) Z" + tail, 'Z', 123456},
        {"4242 (with spaces in it) R" + tail, 'R', 123456},
        {"4242 tarnwhistle S" + tail, std::nullopt, 0},
        {"4242 (tarnwhistle) S 1 1", std::nullopt, 0},
        {"", std::nullopt, 0},
        {"4242 (x) S 1 1 1 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 notanumber", std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const auto parsed = tw::procscan::parseProcStat(c.text);
        ASSERT_EQ(parsed.has_value(), c.state.has_value()) << c.text.constData();
        if (!parsed) continue;
        EXPECT_EQ(parsed->state, *c.state) << c.text.constData();
        EXPECT_EQ(parsed->startTicks, c.start) << c.text.constData();
    }
    EXPECT_EQ(tw::procscan::parseBootTime("cpu  1 2 3\nintr 5\nbtime 1700000000\nprocesses 9\n"),
              1700000000);
    EXPECT_EQ(tw::procscan::parseBootTime("cpu  1 2 3\n"), std::nullopt);
    EXPECT_EQ(tw::procscan::normalizedExecutable(QStringLiteral("/usr/bin/tarnwhistle (deleted)")),
              QStringLiteral("/usr/bin/tarnwhistle"));
}

namespace {

// A /proc of our own making: the boot time, this process and a few others.
class FakeProc {
public:
    FakeProc() { write(QStringLiteral("stat"), "cpu 1 2 3\nbtime 1700000000\n"); }
    void process(int pid, const QString& exe, const QByteArray& stat,
                 const QByteArray& environ = {}) {
        const QString dir = QString::number(pid);
        QDir(root.path()).mkpath(dir);
        QFile::link(exe, root.filePath(dir + QStringLiteral("/exe")));
        write(dir + QStringLiteral("/stat"), stat);
        if (!environ.isEmpty()) write(dir + QStringLiteral("/environ"), environ);
    }
    QString path() const { return root.path(); }

private:
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(root.filePath(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QTemporaryDir root;
};

QByteArray statLine(int pid, const char* comm, char state, quint64 start) {
    return QByteArray::number(pid) + " (" + comm + ") " + state +
           " 1 1 1 0 -1 4194560 100 0 0 0 5 3 0 0 20 0 1 0 " + QByteArray::number(start) +
           " 9999 99\n";
}

}  // namespace

TEST(SingleInstance, FindsLiveCopiesOfTheSameExecutable) {
    FakeProc proc;
    const int me = static_cast<int>(::getpid());
    const QString exe = QStringLiteral("/opt/tw/bin/tarnwhistle");
    const long hz = ::sysconf(_SC_CLK_TCK);
    proc.process(me, exe, statLine(me, "tarnwhistle", 'R', 5000));
    proc.process(100, exe, statLine(100, "tarnwhistle", 'S', 4000));
    proc.process(101, exe, statLine(101, "tarnwhistle", 'Z', 100));  // zombie
    proc.process(102, QStringLiteral("/usr/bin/bash"), statLine(102, "bash", 'S', 1));
    proc.process(103, exe + QStringLiteral(" (deleted)"), statLine(103, "tw) (x", 'S', 6000));
    proc.process(104, exe, "garbage");  // unreadable start: date unknown

    const Peer self = si::self(proc.path());
    EXPECT_EQ(self.pid, me);
    ASSERT_TRUE(self.launched.has_value());
    EXPECT_DOUBLE_EQ(self.launched->toUnix(), 1700000000.0 + 5000.0 / hz);

    std::vector<Peer> peers = si::findPeers(proc.path());
    std::sort(peers.begin(), peers.end(),
              [](const Peer& a, const Peer& b) { return a.pid < b.pid; });
    ASSERT_EQ(peers.size(), 3u);
    EXPECT_EQ(peers[0].pid, 100);
    EXPECT_DOUBLE_EQ(peers[0].launched->toUnix(), 1700000000.0 + 4000.0 / hz);
    EXPECT_EQ(peers[1].pid, 103);
    EXPECT_EQ(peers[2].pid, 104);
    EXPECT_FALSE(peers[2].launched.has_value());
    EXPECT_TRUE(si::isAnotherInstanceRunning(self, peers));
}

TEST(SingleInstance, PeersRunInTheSameDesktopSessionFromAnyFolder) {
    FakeProc proc;
    const int me = static_cast<int>(::getpid());
    const QByteArray session = QByteArray("HOME=/root") + '\0' +
                               "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus" + '\0';
    const auto line = [](int pid) { return statLine(pid, "tarnwhistle", 'S', 4000); };
    proc.process(me, QStringLiteral("/usr/bin/tarnwhistle"), line(me), session);
    struct Case {
        int pid;
        const char* exe;
        QByteArray environ;
        bool peer;
    } cases[] = {
        {200, "/home/u/src/build/bin/tarnwhistle", session, true},  // a build folder
        {201, "/usr/bin/tarnwhistle",
         QByteArray("DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus,guid=0123abcd") + '\0',
         true},  // the same bus with its server id
        {202, "/usr/bin/tarnwhistle", QByteArray("XDG_RUNTIME_DIR=/run/user/1000") + '\0',
         true},  // no address: the bus in the runtime folder
        {203, "/usr/bin/tarnwhistle",
         QByteArray("DBUS_SESSION_BUS_ADDRESS=unix:path=/tmp/other/bus") + '\0',
         false},                                               // another desktop session
        {204, "/usr/bin/tarnwhistle-widget", session, false},  // another program
    };
    for (const Case& c : cases) {
        proc.process(c.pid, QLatin1String(c.exe), line(c.pid), c.environ);
    }
    std::vector<int> found;
    for (const Peer& p : si::findPeers(proc.path())) found.push_back(p.pid);
    std::sort(found.begin(), found.end());
    std::vector<int> expected;
    for (const Case& c : cases) {
        if (c.peer) expected.push_back(c.pid);
    }
    EXPECT_EQ(found, expected);
}

TEST(SingleInstance, RealProcKnowsThisProcess) {
    const Peer self = si::self();
    ASSERT_TRUE(self.launched.has_value());
    EXPECT_LE(self.launched->toUnix(), static_cast<double>(QDateTime::currentSecsSinceEpoch()) + 1);
    // No other copy of this test program runs alongside.
    for (const Peer& peer : si::findPeers()) EXPECT_NE(peer.pid, self.pid);
}

TEST(SingleInstance, OneShotCommandsOfTheSameExecutableAreNoRunningCopy) {
    using tw::SingleInstance::runsTheApplication;
    struct Case {
        QByteArray cmdline;
        bool copy;
    } cases[] = {
        {QByteArray("/usr/bin/tarnwhistle\0", 21), true},
        {QByteArray("tarnwhistle"), true},
        {QByteArray("/usr/bin/tarnwhistle\0start-focus\0"
                    "15\0",
                    37),
         false},
        {QByteArray("/usr/bin/tarnwhistle\0pause-or-resume\0", 37), false},
        {QByteArray("/usr/bin/tarnwhistle\0end-focus\0", 31), false},
        {QByteArray("/usr/bin/tarnwhistle\0--version\0", 31), false},
        {QByteArray("/usr/bin/tarnwhistle\0-platform\0xcb\0", 35), true},
        {QByteArray(), true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runsTheApplication(c.cmdline), c.copy) << c.cmdline.constData();
}
