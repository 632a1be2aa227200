#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>

#include "platform/linux/ProcessScan.h"

#include <unistd.h>

namespace tw::SingleInstance {

bool isAnotherInstanceRunning(const Peer& self, const std::vector<Peer>& peers) {
    const Instant mine = self.launched.value_or(Instant::distantFuture());
    for (const Peer& peer : peers) {
        const Instant theirs = peer.launched.value_or(Instant::distantFuture());
        if (theirs < mine) return true;
        if (theirs == mine && peer.pid < self.pid) return true;
    }
    return false;
}

bool runsTheApplication(const QByteArray& cmdline) {
    // The same executable also answers one-shot commands (start-focus, --version, ...) and exits;
    // such a process is not a running copy, and a copy launched meanwhile must not give way to it.
    const QList<QByteArray> args = cmdline.split('\0');
    if (args.size() < 2 || args.at(1).isEmpty()) return true;
    static const QByteArray commands[] = {"start-focus", "pause-or-resume", "end-focus", "status",
                                          "--version",   "--help",          "-h"};
    for (const QByteArray& c : commands) {
        if (args.at(1) == c) return false;
    }
    return true;
}

QByteArray sessionBusAddress(const QString& processDir) {
    QByteArray address = procscan::environmentValue(processDir, "DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        // Without the variable a client finds the bus of the user's session in its runtime folder.
        const QByteArray runtime = procscan::environmentValue(processDir, "XDG_RUNTIME_DIR");
        if (!runtime.isEmpty()) address = "unix:path=" + runtime + "/bus";
    }
    // The server's id, when given, does not change which bus it is.
    QList<QByteArray> transports;
    for (const QByteArray& transport : address.split(';')) {
        QList<QByteArray> keys;
        for (const QByteArray& key : transport.split(',')) {
            if (!key.startsWith("guid=")) keys.append(key);
        }
        transports.append(keys.join(','));
    }
    return transports.join(';');
}

std::vector<Peer> findPeers(const QString& procRoot) {
    const QByteArray ourBus =
        sessionBusAddress(procscan::processDir(static_cast<qint32>(::getpid()), procRoot));
    return procscan::sameProgram(
        [&](const QString& dir) {
            return runsTheApplication(procscan::commandLine(dir)) &&
                   sessionBusAddress(dir) == ourBus;
        },
        procRoot);
}

Peer self(const QString& procRoot) {
    return procscan::self(procRoot);
}

bool isAnotherInstanceRunning() {
    return isAnotherInstanceRunning(self(), findPeers());
}

void sendShowIsland(QDBusConnection bus, int waitMs) {
    if (!bus.isConnected()) return;
    const QString name = QLatin1String(kBusName);
    QDBusConnectionInterface* busInterface = bus.interface();
    if (busInterface && !busInterface->isServiceRegistered(name).value() && waitMs > 0) {
        // The running copy takes its name only after it listens for this signal.
        QEventLoop loop;
        QDBusServiceWatcher watcher(name, bus, QDBusServiceWatcher::WatchForRegistration);
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
        // Registered between the first look and the watch.
        if (!busInterface->isServiceRegistered(name).value()) loop.exec();
    }
    const QDBusMessage signal = QDBusMessage::createSignal(
        QLatin1String(kObjectPath), QLatin1String(kInterface), QLatin1String(kShowIsland));
    bus.send(signal);
    // A round trip to the bus: the signal queued before it has then left this process.
    if (busInterface) busInterface->isServiceRegistered(name);
}

}  // namespace tw::SingleInstance
