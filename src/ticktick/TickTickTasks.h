#pragma once

// What the focus hook needs of TickTick: the open tasks of a project, and marking one complete.
// The client implements both; a test or another task service may stand in for it.

#include <QString>
#include <functional>
#include <optional>
#include <variant>
#include <vector>

#include "ticktick/TickTickError.h"
#include "ticktick/TickTickRecords.h"

namespace tw {

class TickTickTaskListing {
public:
    using TasksResult = std::variant<std::vector<TickTickTask>, TickTickError>;
    virtual ~TickTickTaskListing() = default;
    // `done` is called once, later, from the event loop.
    virtual void tasks(const QString& projectID, std::function<void(TasksResult)> done) = 0;
};

class TickTickTaskCompleting {
public:
    // None: completed.
    using CompleteResult = std::optional<TickTickError>;
    virtual ~TickTickTaskCompleting() = default;
    // `done` is called once, later, from the event loop.
    virtual void complete(const TickTickTask& task, std::function<void(CompleteResult)> done) = 0;
};

// Both, as the focus hook is given them.
class TickTickTaskService : public TickTickTaskListing, public TickTickTaskCompleting {};

}  // namespace tw
