#pragma once

#include <functional>
#include <memory>

#include "support/Instant.h"

namespace tw {

// The source of the current time that components read instead of the system clock.
using Clock = std::function<Instant()>;

// A pending call made by a Scheduler. Destroying the handle cancels the call.
class ScheduledCall {
public:
    virtual ~ScheduledCall() = default;
};

// Delayed work on the main thread. Production code runs on Qt's precise timers; tests advance a
// fake clock and the due calls run in order, so no test waits for real time to pass.
class Scheduler {
public:
    virtual ~Scheduler() = default;

    // The clock that this scheduler's delays are measured against.
    virtual Instant now() const = 0;
    Clock clock() const {
        return [this] { return now(); };
    }

    // Runs `fn` once, `seconds` from now, unless the returned handle is destroyed first.
    [[nodiscard]] virtual std::unique_ptr<ScheduledCall> callAfter(double seconds,
                                                                   std::function<void()> fn) = 0;
    // Runs `fn` once, `seconds` from now; the caller keeps no handle (closures guard their own
    // targets).
    virtual void post(double seconds, std::function<void()> fn) = 0;
};

}  // namespace tw
