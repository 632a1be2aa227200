#pragma once

#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include "common/TestSupport.h"

namespace tw::test {

// A dbus-daemon of our own, listening on a socket in a temporary folder: a bus that stands in for
// the system bus or a desktop's services without touching the session's.
class PrivateBus {
public:
    // `startable`: the installed services start on demand, as on a session bus. `none`: only
    // what a test puts on the bus is there (a call to anything else fails at once).
    enum class Services { startable, none };

    explicit PrivateBus(Services services = Services::startable) {
        QString config = QStringLiteral("--session");
        if (services == Services::none) {
            QFile file(dir_.filePath("bus.conf"));
            if (file.open(QIODevice::WriteOnly)) file.write(kNoServicesConfig);
            file.close();
            config = QStringLiteral("--config-file=") + file.fileName();
        }
        daemon_.setProgram(QStringLiteral("dbus-daemon"));
        daemon_.setArguments({config, QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                              QStringLiteral("--print-address=1"),
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
    static constexpr char kNoServicesConfig[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

}  // namespace tw::test
