#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <functional>
#include <memory>

#include "distraction/ProcessTimeLimit.h"

namespace tw {

class AppPreferences;
class ChildProcess;
class ProcessLauncher;
class Scheduler;

// Runs the user's focus-start and focus-end shortcuts (`tool run NAME`) one at a time, strictly
// in the order asked. A run that fails, or takes longer than ten seconds (it is stopped), leaves
// one sentence in the preferences' focus-shortcut error; a success leaves none.
class FocusShortcuts final : public QObject {
    Q_OBJECT

public:
    FocusShortcuts(AppPreferences& preferences, ProcessLauncher& launcher, Scheduler& scheduler,
                   QString tool, QObject* parent = nullptr);
    ~FocusShortcuts() override;

    // Focus became running (start, resume) or stopped running (pause, end, reset).
    void run(bool active);

    // Calls `done` once every run asked for before has finished (the quit waits for the
    // focus-end shortcut this way).
    void whenDone(std::function<void()> done);

    // Runs waiting or under way.
    qsizetype pending() const;

    static constexpr double timeLimitSeconds = 10;
    static constexpr double killGraceSeconds = ProcessTimeLimit::killGraceSeconds;

private:
    struct Job {
        QString name;                // empty: a completion, not a run
        std::function<void()> done;  // the completion
    };

    void next();
    static void deliver(std::function<void()> done);
    void startRun(const QString& name);
    void ended(const std::optional<QString>& message);

    AppPreferences& preferences_;
    ProcessLauncher& launcher_;
    Scheduler& scheduler_;
    QString tool_;
    QQueue<Job> queue_;
    QString running_;  // the name under way
    std::unique_ptr<ChildProcess> process_;
    std::unique_ptr<ProcessTimeLimit> limit_;  // of the run under way; goes before the process
};

}  // namespace tw
