#pragma once

#include <memory>

namespace tw {

class ChildProcess;
class ScheduledCall;
class Scheduler;

// Bounds the run of a child process: once `limit` seconds have passed it is told to stop
// (SIGTERM), and killed if it still runs `killGraceSeconds` later. The process still reports how
// it ended. Destroy the limit before the process.
class ProcessTimeLimit {
public:
    static constexpr double killGraceSeconds = 0.2;

    ProcessTimeLimit(ChildProcess& process, Scheduler& scheduler, double limit);
    ~ProcessTimeLimit();

    // The limit passed: the process was told to stop.
    bool expired() const { return expired_; }

private:
    void expire();

    ChildProcess& process_;
    Scheduler& scheduler_;
    std::unique_ptr<ScheduledCall> call_;
    bool expired_ = false;
};

}  // namespace tw
