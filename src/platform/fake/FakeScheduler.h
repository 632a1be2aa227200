#pragma once

#include <map>
#include <memory>

#include "platform/Scheduler.h"

namespace tw {

// A test clock and scheduler: time stands still until `advance` moves it, and the calls that fall
// due on the way run in time order, each with the clock set to its due moment.
class FakeScheduler final : public Scheduler {
public:
    explicit FakeScheduler(Instant start = Instant::fromReference(786000000.0)) : now_(start) {}
    ~FakeScheduler() override;

    Instant now() const override { return now_; }
    std::unique_ptr<ScheduledCall> callAfter(double seconds, std::function<void()> fn) override;
    void post(double seconds, std::function<void()> fn) override;

    // Moves the clock forward by `seconds`, running every call that falls due on the way.
    void advance(double seconds);
    void advanceTo(Instant t);
    // Sets the clock without running anything (a machine that slept, a wrong clock).
    void jumpTo(Instant t) { now_ = t; }
    // Runs the calls that are due now.
    void runDue() { advanceTo(now_); }

    int pendingCount() const { return static_cast<int>(queue_.size()); }
    // The due moment of the next pending call, or the distant future.
    Instant nextDue() const;

private:
    friend class FakeCall;
    struct Entry {
        std::function<void()> fn;
        std::shared_ptr<bool> alive;
    };
    std::multimap<std::pair<double, quint64>, Entry> queue_;
    quint64 sequence_ = 0;
    Instant now_;
};

}  // namespace tw
