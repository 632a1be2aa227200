#include "app/FocusTasks.h"

#include <QPointer>

#include "ticktick/TickTickFocusHook.h"

namespace tw {

namespace {

FocusTask toFocusTask(const TickTickTask& task) {
    return FocusTask{task.id, task.projectID, task.title};
}

TickTickTask toTickTickTask(const FocusTask& task) {
    return TickTickTask{task.id, task.projectID, task.title};
}

}  // namespace

FocusTaskSource focusTaskSource(TickTickFocusHook* hook) {
    const QPointer<TickTickFocusHook> weak(hook);
    FocusTaskSource source;
    source.refresh = [weak] {
        if (weak) weak->refresh();
    };
    source.isAvailable = [weak] { return weak && weak->isAvailable(); };
    source.tasks = [weak] {
        std::vector<FocusTask> tasks;
        if (!weak) return tasks;
        for (const TickTickTask& task : weak->tasks()) tasks.push_back(toFocusTask(task));
        return tasks;
    };
    source.selected = [weak]() -> std::optional<FocusTask> {
        if (!weak || !weak->selectedTask()) return std::nullopt;
        return toFocusTask(*weak->selectedTask());
    };
    source.select = [weak](const std::optional<FocusTask>& task) {
        if (!weak) return;
        weak->select(task ? std::optional<TickTickTask>(toTickTickTask(*task)) : std::nullopt);
    };
    return source;
}

}  // namespace tw
