#pragma once

// A task the user can attach to focus, and the list of them that the island's task picker and
// the tray menu's task entry both offer. The application backs it with the TickTick hook; the
// pickers see only this, so either can be checked without TickTick.

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace tw {

// Two tasks are the same when id, project and title agree.
struct FocusTask {
    QString id;
    QString projectID;
    QString title;
    friend bool operator==(const FocusTask&, const FocusTask&) = default;
};

// The task list behind a picker: asked to refresh when the tray menu opens, offered only while
// available, and told the user's choice (nothing: no task). Unset functions stand for "nothing".
struct FocusTaskSource {
    std::function<void()> refresh;
    std::function<bool()> isAvailable;
    std::function<std::vector<FocusTask>()> tasks;
    std::function<std::optional<FocusTask>()> selected;
    std::function<void(const std::optional<FocusTask>&)> select;
};

}  // namespace tw
