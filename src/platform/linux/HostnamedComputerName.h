#pragma once

#include <QDBusConnection>
#include <QObject>

#include "platform/ComputerName.h"

namespace tw {

// The computer's pretty host name from systemd-hostnamed ("Anna's laptop"), asked over the
// system bus without waiting on it; where hostnamed does not answer or holds no pretty name, the
// host name of the network configuration.
class HostnamedComputerName final : public QObject, public ComputerName {
    Q_OBJECT

public:
    explicit HostnamedComputerName(QDBusConnection systemBus = QDBusConnection::systemBus(),
                                   QObject* parent = nullptr);

    void lookUp(std::function<void(const QString&)> done) override;

    // How long hostnamed may take to answer (it is started on demand).
    static constexpr int kTimeoutMs = 3000;

private:
    QDBusConnection bus_;
};

}  // namespace tw
