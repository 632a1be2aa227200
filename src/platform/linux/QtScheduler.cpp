#include "platform/linux/QtScheduler.h"

#include <QDateTime>
#include <QTimer>
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
    QtCall(double seconds, std::function<void()> fn) : timer_(new QTimer) {
        timer_->setSingleShot(true);
        timer_->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer_, &QTimer::timeout, timer_, [f = std::move(fn)] { f(); });
        timer_->start(toMilliseconds(seconds));
    }
    // The call may be cancelled from within its own firing (a ticker re-arming itself), so the
    // timer is released through the event loop rather than deleted under its own signal.
    ~QtCall() override {
        timer_->stop();
        timer_->deleteLater();
    }

private:
    QTimer* timer_;
};

}  // namespace

Instant QtScheduler::now() const {
    using namespace std::chrono;
    const auto us = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    return Instant::fromUnix(static_cast<double>(us) / 1e6);
}

std::unique_ptr<ScheduledCall> QtScheduler::callAfter(double seconds, std::function<void()> fn) {
    return std::make_unique<QtCall>(seconds, std::move(fn));
}

void QtScheduler::post(double seconds, std::function<void()> fn) {
    QTimer::singleShot(toMilliseconds(seconds), Qt::PreciseTimer, this, std::move(fn));
}

}  // namespace tw
