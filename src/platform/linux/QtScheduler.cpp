#include "platform/linux/QtScheduler.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QTimerEvent>
#include <chrono>
#include <cmath>

namespace tw {

namespace {

int toMilliseconds(double seconds) {
    if (!(seconds > 0)) return 0;
    // Nearest millisecond: Qt's precise timers fire on whole milliseconds, and rounding up
    // would put every tick up to a millisecond late.
    const double ms = std::round(seconds * 1000.0);
    return ms > 2e9 ? 2000000000 : static_cast<int>(ms);
}

class QtCall final : public ScheduledCall {
public:
    QtCall(QtScheduler* scheduler, int timerId, quint64 serial)
        : scheduler_(scheduler), timerId_(timerId), serial_(serial) {}
    ~QtCall() override {
        if (scheduler_) scheduler_->cancel(timerId_, serial_);
    }

private:
    QPointer<QtScheduler> scheduler_;
    int timerId_;
    quint64 serial_;
};

}  // namespace

Instant QtScheduler::now() const {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return Instant::fromUnix(static_cast<double>(us) / 1e6);
}

std::unique_ptr<ScheduledCall> QtScheduler::callAfter(double seconds, std::function<void()> fn) {
    const int id = startTimer(toMilliseconds(seconds), Qt::PreciseTimer);
    if (id == 0) return std::make_unique<QtCall>(nullptr, 0, 0);  // no timer: it never runs
    const quint64 serial = nextSerial_++;
    calls_[id] = Call{serial, std::move(fn)};
    return std::make_unique<QtCall>(this, id, serial);
}

void QtScheduler::cancel(int timerId, quint64 serial) {
    const auto it = calls_.find(timerId);
    if (it == calls_.end() || it->second.serial != serial) return;  // ran, or an id reused
    calls_.erase(it);
    killTimer(timerId);
}

void QtScheduler::timerEvent(QTimerEvent* event) {
    const int id = event->timerId();
    const auto it = calls_.find(id);
    if (it == calls_.end()) return;
    // Taken out before it runs: the call may cancel itself or schedule the next one.
    std::function<void()> fn = std::move(it->second.fn);
    calls_.erase(it);
    killTimer(id);
    fn();
}

void QtScheduler::post(double seconds, std::function<void()> fn) {
    QTimer::singleShot(toMilliseconds(seconds), Qt::PreciseTimer, this, std::move(fn));
}

}  // namespace tw
