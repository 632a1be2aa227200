// Measures one browser check as the program makes it, and beside it, in the same run, the cost of
// starting one script interpreter per check (`python3 -c pass`):
// - the program's side: a front-tab request through the real socket to a stand-in host (this
//   program started again with --stand-in-host) that answers at once;
// - the whole chain: the same request through the real tarnwhistle-browser-host, with this
//   process answering at once in the extension's place on the host's pipes.
// Prints the time per check, the CPU time of the processes per check, and the ratios.
// Usage: tw-browser-check-probe [CHECKS] [INTERPRETER RUNS] (default 3000 and 60).
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"
#include "platform/linux/ExtensionBrowserAutomation.h"
#include "platform/linux/ProcessScan.h"
#include "platform/linux/QtScheduler.h"

extern char** environ;

namespace {

namespace bl = tw::browserlink;
using Clock = std::chrono::steady_clock;

double cpuSeconds(const rusage& u) {
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double selfCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpuSeconds(u);
}

double childrenCpu() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return cpuSeconds(u);
}

// User and system time of a running process, from /proc/<pid>/stat (fields 14 and 15).
double processCpu(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

const QJsonObject kTab{{"window", "1"}, {"tab", "7"}, {"url", "https://example.org/"}};

// The stand-in host: greets the program as a Chromium host and answers every request at once.
int standInHost(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(5000)) return 1;
    bl::FrameReader frames;
    QObject::connect(&socket, &QLocalSocket::readyRead, [&] {
        frames.append(socket.readAll());
        while (const auto m = frames.next()) {
            if (const auto request = bl::decodeRequest(*m)) {
                socket.write(bl::frame(bl::encode(bl::Answer{request->id, kTab})));
                socket.flush();
            }
        }
    });
    QObject::connect(&socket, &QLocalSocket::disconnected, qApp, &QCoreApplication::quit);
    socket.write(
        bl::frame(bl::encode(bl::Hello{QStringLiteral("chromium"), bl::chromiumOrigin(), true})));
    socket.flush();
    return QCoreApplication::exec();
}

struct Figures {
    double medianWall = 0;
    double meanWall = 0;
    double programCpu = 0;  // per check, this process
    double peerCpu = 0;     // per check, the other process
};

// Runs `checks` front-tab requests one after another, after a warm-up.
std::optional<Figures> measure(tw::ExtensionBrowserAutomation& automation, qint64 peer,
                               int checks) {
    QEventLoop loop;
    while (automation.server().hostPids().isEmpty()) {
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    const tw::BrowserRequest request{tw::FocusBrowser::chromium, tw::BrowserRequest::Kind::frontTab,
                                     std::nullopt};
    const auto check = [&] {
        bool done = false;
        bool ok = false;
        automation.execute(request, [&](tw::BrowserReply reply) {
            ok = std::holds_alternative<QByteArray>(reply);
            done = true;
            loop.quit();
        });
        if (!done) loop.exec();
        return ok;
    };
    for (int i = 0; i < 100; ++i) check();  // warm up

    std::vector<double> wall;
    wall.reserve(checks);
    const double selfBefore = selfCpu();
    const double peerBefore = processCpu(peer);
    const auto started = Clock::now();
    for (int i = 0; i < checks; ++i) {
        const auto t0 = Clock::now();
        if (!check()) return std::nullopt;
        wall.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    const double total = std::chrono::duration<double>(Clock::now() - started).count();
    return Figures{median(wall), total / checks, (selfCpu() - selfBefore) / checks,
                   (processCpu(peer) - peerBefore) / checks};
}

tw::ExtensionBrowserAutomation::Options optionsIn(const QTemporaryDir& runtime,
                                                  const QString& host) {
    tw::ExtensionBrowserAutomation::Options options;
    options.hostExecutable = host;
    options.socketFolder = runtime.filePath(QStringLiteral("tarnwhistle"));
    options.manifests = tw::browserinstalls::Locations{runtime.path(), runtime.path()};
    options.browserOf = [](const QString&) { return std::optional(tw::FocusBrowser::chromium); };
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--stand-in-host") {
        return standInHost(QFile::decodeName(argv[2]));
    }
    const int checks = argc > 1 ? std::max(10, atoi(argv[1])) : 3000;
    const int runs = argc > 2 ? std::max(3, atoi(argv[2])) : 60;
    tw::QtScheduler scheduler;

    // The program's side, with the stand-in host.
    std::optional<Figures> side;
    {
        QTemporaryDir runtime;
        tw::ExtensionBrowserAutomation automation(
            scheduler, optionsIn(runtime, QCoreApplication::applicationFilePath()));
        QProcess standIn;
        standIn.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--stand-in-host"), automation.server().socketPath()});
        if (!standIn.waitForStarted(5000)) return 1;
        side = measure(automation, standIn.processId(), checks);
        standIn.kill();
        standIn.waitForFinished(5000);
    }

    // The whole chain, with the real host and this process in the extension's place.
    std::optional<Figures> chain;
    {
        QTemporaryDir runtime;
        const QString hostPath = QCoreApplication::applicationDirPath() + QStringLiteral("/") +
                                 QLatin1String(bl::kHostExecutableName);
        tw::ExtensionBrowserAutomation automation(scheduler, optionsIn(runtime, hostPath));
        QProcess host;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        host.setProcessEnvironment(env);
        bl::FrameReader frames;
        QObject::connect(&host, &QProcess::readyReadStandardOutput, [&] {
            frames.append(host.readAllStandardOutput());
            while (const auto m = frames.next()) {
                if (const auto request = bl::decodeRequest(*m)) {
                    host.write(bl::frame(bl::encode(bl::Answer{request->id, kTab})));
                }
            }
        });
        host.start(hostPath, {bl::chromiumOrigin()});
        if (!host.waitForStarted(5000)) {
            std::fprintf(stderr, "cannot start %s\n", qPrintable(hostPath));
            return 1;
        }
        chain = measure(automation, host.processId(), checks);
        host.closeWriteChannel();
        host.waitForFinished(5000);
    }
    if (!side || !chain) {
        std::fprintf(stderr, "a check failed\n");
        return 1;
    }

    // One interpreter per check.
    QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python)) python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    const QByteArray pythonPath = QFile::encodeName(python);
    std::vector<double> spawnWall;
    const double childBefore = childrenCpu();
    for (int i = 0; i < runs; ++i) {
        char* args[] = {const_cast<char*>(pythonPath.constData()), const_cast<char*>("-c"),
                        const_cast<char*>("pass"), nullptr};
        const auto t0 = Clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, pythonPath.constData(), nullptr, nullptr, args, environ) != 0) {
            std::fprintf(stderr, "cannot start %s\n", pythonPath.constData());
            return 1;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        spawnWall.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    const double spawnCpu = (childrenCpu() - childBefore) / runs;
    const double pythonWall = median(spawnWall);

    std::printf(
        "program side (request to answer, stand-in host answering at once): median %.1f us, "
        "mean %.1f us; CPU %.1f us in the program\n",
        side->medianWall * 1e6, side->meanWall * 1e6, side->programCpu * 1e6);
    std::printf(
        "whole chain (program, tarnwhistle-browser-host, extension stand-in): median "
        "%.1f us; CPU per check %.1f us (program and extension stand-in %.1f us, host "
        "%.1f us)\n",
        chain->medianWall * 1e6, (chain->programCpu + chain->peerCpu) * 1e6,
        chain->programCpu * 1e6, chain->peerCpu * 1e6);
    std::printf("%s -c pass per check: median %.2f ms wall, %.2f ms CPU over %d runs\n",
                pythonPath.constData(), pythonWall * 1e3, spawnCpu * 1e3, runs);
    const double ratio = pythonWall / side->medianWall;
    std::printf("ratio, program side: %.0fx cheaper in time (goal: at least 50x): %s\n", ratio,
                ratio >= 50 ? "met" : "NOT MET");
    std::printf("ratio, whole chain: %.0fx cheaper in time, %.0fx in CPU\n",
                pythonWall / chain->medianWall, spawnCpu / (chain->programCpu + chain->peerCpu));
    return ratio >= 50 ? 0 : 2;
}
