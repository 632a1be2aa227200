#include "ticktick/TickTickFocusHook.h"

#include <QPointer>

#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

TickTickFocusHook::TickTickFocusHook(AppPreferences& preferences, QObject* parent)
    : QObject(parent), preferences_(preferences) {}

QString TickTickFocusHook::loadFailedText() {
    return QStringLiteral("Couldn't load TickTick tasks.");
}

QString TickTickFocusHook::completeFailedText(const QString& title) {
    return QStringLiteral("Couldn't complete \u201C") + title +
           QStringLiteral("\u201D in TickTick.");
}

void TickTickFocusHook::setSelectedTask(std::optional<TickTickTask> task) {
    selectedTask_ = std::move(task);
    Q_EMIT selectedTaskChanged(selectedTask_);
}

void TickTickFocusHook::setLastError(std::optional<QString> error) {
    lastError_ = std::move(error);
    Q_EMIT lastErrorChanged(lastError_);
}

void TickTickFocusHook::setTasks(std::vector<TickTickTask> tasks) {
    tasks_ = std::move(tasks);
    Q_EMIT tasksChanged(tasks_);
}

bool TickTickFocusHook::isAvailable() const {
    return preferences_.tickTickEnabled() && (selectedTask_ || !tasks_.empty());
}

void TickTickFocusHook::attach(TimerModel& model) {
    // The model's other listeners keep theirs: this is one more connection, made after them.
    QObject::connect(&model, &TimerModel::phaseCompleted, this, [this](TimerModel::Mode mode) {
        phaseCompleted(mode == TimerModel::Mode::focus);
    });
}

void TickTickFocusHook::refresh() {
    const QString projectID = preferences_.tickTickProjectID();
    if (!preferences_.tickTickEnabled() || !client_ || projectID.isEmpty()) return clear();
    const int generation = ++generation_;
    client_->tasks(projectID, [self = QPointer(this), generation,
                               projectID](TickTickTaskListing::TasksResult result) {
        if (!self || self->generation_ != generation) return;
        if (auto* list = std::get_if<std::vector<TickTickTask>>(&result)) {
            if (!self->preferences_.tickTickEnabled() ||
                self->preferences_.tickTickProjectID() != projectID) {
                return;
            }
            self->setTasks(std::move(*list));
            self->setLastError(std::nullopt);
            return;
        }
        // A load called off by the client (TickTick switched off, the account dropped) is no
        // failure the user should read about.
        if (std::get<TickTickError>(result).kind == TickTickError::Kind::aborted) return;
        self->setLastError(loadFailedText());
    });
}

void TickTickFocusHook::clear() {
    ++generation_;
    setSelectedTask(std::nullopt);
    setTasks({});
    setLastError(std::nullopt);
}

void TickTickFocusHook::select(const std::optional<TickTickTask>& task) {
    setSelectedTask(preferences_.tickTickEnabled() ? task : std::nullopt);
    setLastError(std::nullopt);
}

void TickTickFocusHook::phaseCompleted(bool focus) {
    if (!focus) return;
    if (!preferences_.tickTickEnabled() || !preferences_.tickTickCompleteOnFinish() ||
        !selectedTask_ || !client_) {
        return;
    }
    const TickTickTask task = *selectedTask_;
    client_->complete(
        task, [self = QPointer(this), task](TickTickTaskCompleting::CompleteResult failure) {
            if (!self) return;
            if (!failure) {
                if (self->selectedTask_ == task) self->setSelectedTask(std::nullopt);
                return;
            }
            // Called off because TickTick was switched off (which clears everything): no message.
            if (failure->kind == TickTickError::Kind::aborted ||
                !self->preferences_.tickTickEnabled()) {
                return;
            }
            self->setLastError(completeFailedText(task.title));
        });
}

}  // namespace tw
