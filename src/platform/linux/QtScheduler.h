#pragma once

#include <QObject>
#include <unordered_map>

#include "platform/Scheduler.h"

namespace tw {

// Scheduler over the system clock and Qt's precise timers on the calling thread's event loop.
// Its calls are timers of this one object: a call costs no object of its own, and cancelling
// one (even from within its own firing) leaves nothing to clean up later.
class QtScheduler final : public QObject, public Scheduler {
    Q_OBJECT

public:
    explicit QtScheduler(QObject* parent = nullptr) : QObject(parent) {}

    Instant now() const override;
    std::unique_ptr<ScheduledCall> callAfter(double seconds, std::function<void()> fn) override;
    void post(double seconds, std::function<void()> fn) override;

    // Cancels the call `serial` made on timer `timerId`, if it is still pending.
    void cancel(int timerId, quint64 serial);
    // How many calls are pending.
    size_t pending() const { return calls_.size(); }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Call {
        quint64 serial = 0;  // timer ids are reused; this is not
        std::function<void()> fn;
    };
    std::unordered_map<int, Call> calls_;
    quint64 nextSerial_ = 1;
};

}  // namespace tw
