#include "distraction/ProcessTimeLimit.h"

#include "platform/ChildProcess.h"
#include "platform/Scheduler.h"

namespace tw {

ProcessTimeLimit::ProcessTimeLimit(ChildProcess& process, Scheduler& scheduler, double limit)
    : process_(process), scheduler_(scheduler) {
    // The calls belong to this object, which goes before the process: they never outlive it.
    call_ = scheduler_.callAfter(limit, [this] { expire(); });
}

ProcessTimeLimit::~ProcessTimeLimit() = default;

void ProcessTimeLimit::expire() {
    expired_ = true;
    if (process_.isRunning()) process_.terminate();
    // Still there a moment later: killed. Either way its end is awaited.
    call_ = scheduler_.callAfter(killGraceSeconds, [this] {
        if (process_.isRunning()) process_.kill();
    });
}

}  // namespace tw
