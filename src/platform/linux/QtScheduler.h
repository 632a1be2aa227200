#pragma once

#include <QObject>

#include "platform/Scheduler.h"

namespace tw {

// Scheduler over the system clock and Qt's precise timers on the calling thread's event loop.
class QtScheduler final : public QObject, public Scheduler {
    Q_OBJECT
public:
    explicit QtScheduler(QObject* parent = nullptr) : QObject(parent) {}

    Instant now() const override;
    std::unique_ptr<ScheduledCall> callAfter(double seconds, std::function<void()> fn) override;
    void post(double seconds, std::function<void()> fn) override;
};

}  // namespace tw
