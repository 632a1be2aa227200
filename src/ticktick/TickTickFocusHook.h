#pragma once

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

#include "ticktick/TickTickRecords.h"
#include "ticktick/TickTickTasks.h"

namespace tw {

class AppPreferences;
class TimerModel;

// The TickTick task attached to focus, and the task list both the island's picker and the tray
// menu offer: the open tasks of the project chosen in the settings, the task the user picked,
// and, when a focus phase runs to its end, that task marked complete in TickTick (when the user
// asked for that) and then let go. It reaches TickTick only through TickTickTaskService, so any
// task source can drive it. Main thread only.
class TickTickFocusHook final : public QObject {
    Q_OBJECT

public:
    explicit TickTickFocusHook(AppPreferences& preferences, QObject* parent = nullptr);

    // Published state.
    const std::optional<TickTickTask>& selectedTask() const { return selectedTask_; }
    const std::optional<QString>& lastError() const { return lastError_; }
    const std::vector<TickTickTask>& tasks() const { return tasks_; }

    // True while TickTick is on and there is a task to offer or one is attached.
    bool isAvailable() const;
    int generation() const { return generation_; }

    // Set once, by whoever builds the hook; it must outlive the hook.
    void setClient(TickTickTaskService* client) { client_ = client; }
    // Completes the selected task whenever `model` reports a focus phase that ran to its end.
    void attach(TimerModel& model);

    // Reloads the open tasks of the chosen project; without one (or with TickTick off), clears.
    void refresh();
    // Forgets the tasks, the selection and the last problem.
    void clear();
    // Attaches `task` (nothing: none) to focus.
    void select(const std::optional<TickTickTask>& task);

    static QString loadFailedText();
    static QString completeFailedText(const QString& title);

Q_SIGNALS:
    void selectedTaskChanged(const std::optional<tw::TickTickTask>& task);
    void lastErrorChanged(const std::optional<QString>& error);
    void tasksChanged(const std::vector<tw::TickTickTask>& tasks);

private:
    void setSelectedTask(std::optional<TickTickTask> task);
    void setLastError(std::optional<QString> error);
    void setTasks(std::vector<TickTickTask> tasks);
    void phaseCompleted(bool focus);

    AppPreferences& preferences_;
    TickTickTaskService* client_ = nullptr;
    std::optional<TickTickTask> selectedTask_;
    std::optional<QString> lastError_;
    std::vector<TickTickTask> tasks_;
    int generation_ = 0;
};

}  // namespace tw
