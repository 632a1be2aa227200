#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace tw {

// A program started with its standard input, output and error on the null device. It reports
// once how it ended: `finished` with its exit status (a process ended by a signal reports a
// non-zero status), or `failedToStart` with the reason.
class ChildProcess : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ChildProcess() override = default;

    virtual bool isRunning() const = 0;
    virtual void terminate() = 0;  // SIGTERM
    virtual void kill() = 0;       // SIGKILL

Q_SIGNALS:
    void finished(int exitStatus);
    void failedToStart(const QString& reason);
};

// Starts child processes.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    // The process starts from the event loop; its outcome arrives through the signals.
    virtual std::unique_ptr<ChildProcess> start(const QString& program,
                                                const QStringList& arguments) = 0;
};

}  // namespace tw
