#include "distraction/FocusShortcuts.h"

#include <QCoreApplication>

#include "distraction/ProcessTimeLimit.h"
#include "platform/ChildProcess.h"
#include "platform/Scheduler.h"
#include "preferences/AppPreferences.h"

namespace tw {

namespace {

QString quoted(const QString& name) {
    return QStringLiteral("\u2018") + name + QStringLiteral("\u2019");
}

}  // namespace

FocusShortcuts::FocusShortcuts(AppPreferences& preferences, ProcessLauncher& launcher,
                               Scheduler& scheduler, QString tool, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      launcher_(launcher),
      scheduler_(scheduler),
      tool_(std::move(tool)) {}

FocusShortcuts::~FocusShortcuts() {
    // Whoever waits for the queue is still told, even if the runs it waited for will not happen.
    for (Job& job : queue_) {
        if (job.done) deliver(std::move(job.done));
    }
}

void FocusShortcuts::deliver(std::function<void()> done) {
    // From the event loop, after whatever called this; the application, not this object, carries
    // it, so that it arrives even if this object is gone by then.
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(done), Qt::QueuedConnection);
}

void FocusShortcuts::run(bool active) {
    const QString name =
        (active ? preferences_.focusStartShortcut() : preferences_.focusEndShortcut()).trimmed();
    if (name.isEmpty()) return;  // nothing to run: an earlier error stays
    preferences_.setFocusShortcutError(std::nullopt);
    queue_.enqueue(Job{name, {}});
    if (!process_) next();
}

void FocusShortcuts::whenDone(std::function<void()> done) {
    queue_.enqueue(Job{QString(), std::move(done)});
    if (!process_) next();
}

qsizetype FocusShortcuts::pending() const {
    return queue_.size() + (process_ ? 1 : 0);
}

void FocusShortcuts::next() {
    while (!process_ && !queue_.isEmpty()) {
        Job job = queue_.dequeue();
        if (job.name.isEmpty()) {
            if (job.done) deliver(std::move(job.done));
            continue;
        }
        startRun(job.name);
    }
}

void FocusShortcuts::startRun(const QString& name) {
    running_ = name;
    process_ = launcher_.start(tool_, {QStringLiteral("run"), name});
    ChildProcess* process = process_.get();
    connect(process, &ChildProcess::finished, this, [this, process](int status) {
        if (process != process_.get()) return;
        if (limit_->expired()) {
            ended(QStringLiteral("The Shortcut ") + quoted(running_) +
                  QStringLiteral(" took too long. It was stopped."));
        } else if (status != 0) {
            ended(QStringLiteral("Could not run Shortcut ") + quoted(running_) +
                  QStringLiteral(". Check its name and run it with tarnwhistle-shortcuts first."));
        } else {
            ended(std::nullopt);
        }
    });
    connect(process, &ChildProcess::failedToStart, this, [this, process](const QString& reason) {
        if (process != process_.get()) return;
        ended(QStringLiteral("Could not start Shortcut ") + quoted(running_) +
              QStringLiteral(": ") + reason);
    });
    limit_ = std::make_unique<ProcessTimeLimit>(*process, scheduler_, timeLimitSeconds);
}

void FocusShortcuts::ended(const std::optional<QString>& message) {
    limit_.reset();
    // Released through the event loop: this runs inside the process's own signal.
    process_.release()->deleteLater();
    running_.clear();
    if (message) preferences_.setFocusShortcutError(message);
    next();
}

}  // namespace tw
