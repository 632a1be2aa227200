#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>
#include <optional>

#include "platform/Scheduler.h"
#include "platform/SystemEvents.h"

class QFileSystemWatcher;
class QSocketNotifier;

namespace tw {

// System events on a Linux desktop:
// - sleep and wake from logind's PrepareForSleep on the system bus (holding a "delay" inhibitor
//   so the application can save its state before the machine suspends);
// - the end of the session from logind's PrepareForShutdown(true), the session manager's
//   request to commit data at log-out, and SIGTERM / SIGINT when asked to catch them;
// - the screen locking from logind's Lock signal for this session and from the screen savers'
//   ActiveChanged(true) on the session bus;
// - the day changing from a one-shot call at the next local midnight, armed again each time, on
//   wake and on a change of time zone;
// - the time zone changing from a watch on /etc/localtime (and its folder, as the file is
//   replaced by a rename) and from timedated's PropertiesChanged;
// - activation from the application's state turning active.
// A missing bus or service only means that its events never arrive.
class LinuxSystemEvents final : public SystemEvents {
    Q_OBJECT
public:
    struct Options {
        QDBusConnection systemBus = QDBusConnection::systemBus();
        QDBusConnection sessionBus = QDBusConnection::sessionBus();
        QString localtimePath = QStringLiteral("/etc/localtime");
        // Installs process-wide handlers for SIGTERM and SIGINT (only one object may do so).
        bool catchTerminationSignals = false;
    };

    explicit LinuxSystemEvents(Scheduler& scheduler, QObject* parent = nullptr);
    LinuxSystemEvents(Scheduler& scheduler, Options options, QObject* parent = nullptr);
    ~LinuxSystemEvents() override;

    // The local midnight at which the next day change is due.
    Instant nextMidnight() const { return nextMidnight_; }
    // The logind session whose Lock signal is followed, once logind has named it.
    const QString& sessionPath() const { return sessionPath_; }
    // Whether a sleep inhibitor is held right now.
    bool holdsSleepInhibitor() const { return sleepInhibitor_.isValid(); }

private Q_SLOTS:
    void onPrepareForSleep(bool start);
    void onPrepareForShutdown(bool start);
    void onSessionLock();
    void onScreenSaverActiveChanged(bool active);
    void onTimedatePropertiesChanged(const QString& interface, const QVariantMap& changed,
                                     const QStringList& invalidated);

private:
    void connectLogind();
    void takeSleepInhibitor();
    void watchLocalTime();
    void onLocalTimeTouched();
    QByteArray localTimeFingerprint() const;
    void zoneChanged();
    void armMidnight(std::optional<Instant> after = std::nullopt);
    void installSignalHandlers();

    Scheduler& scheduler_;
    Options options_;
    std::unique_ptr<ScheduledCall> midnightCall_;
    Instant nextMidnight_;
    QString sessionPath_;
    QDBusUnixFileDescriptor sleepInhibitor_;
    bool inhibitorRequested_ = false;
    QFileSystemWatcher* watcher_ = nullptr;
    QByteArray fingerprint_;
    QSocketNotifier* signalNotifier_ = nullptr;
};

}  // namespace tw
