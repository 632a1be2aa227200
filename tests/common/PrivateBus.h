#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "common/TestSupport.h"

namespace tw::test {

// A dbus-daemon of our own, listening on a socket in a temporary folder: a bus that stands in for
// the system bus or a desktop's services without touching the session's.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                              QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                              QStringLiteral("--address=unix:path=") + dir_.filePath("bus")});
        daemon_.start();
        if (!daemon_.waitForStarted(5000)) return;
        waitUntil([this] { return daemon_.canReadLine(); }, 5000);
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const QString& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }
    QDBusConnection connect(const QString& name) {
        names_.append(name);
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

}  // namespace tw::test
