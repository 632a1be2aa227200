#include "platform/linux/QtProcessLauncher.h"

#include <QProcess>

namespace tw {

namespace {

class QtChildProcess final : public ChildProcess {
public:
    QtChildProcess(const QString& program, const QStringList& arguments) {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setStandardInputFile(QProcess::nullDevice());
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        // Ended by a signal: reported as the shell does, 128 and more.
        connect(&process_, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    Q_EMIT finished(status == QProcess::NormalExit ? code : 128 + 15);
                });
        // A program that cannot start says so within start(), before anyone has connected:
        // the report waits for the event loop.
        connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart) return;
            const QString reason = process_.errorString();
            QMetaObject::invokeMethod(
                this, [this, reason] { Q_EMIT failedToStart(reason); }, Qt::QueuedConnection);
        });
        process_.start();
    }

    ~QtChildProcess() override {
        // A handle let go of a running child does not leave it behind.
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }

    bool isRunning() const override { return process_.state() != QProcess::NotRunning; }
    void terminate() override { process_.terminate(); }
    void kill() override { process_.kill(); }

private:
    QProcess process_;
};

}  // namespace

std::unique_ptr<ChildProcess> QtProcessLauncher::start(const QString& program,
                                                       const QStringList& arguments) {
    return std::make_unique<QtChildProcess>(program, arguments);
}

}  // namespace tw
