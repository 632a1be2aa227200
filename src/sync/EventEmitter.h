#pragma once

#include <QObject>
#include <QPointer>
#include <QUuid>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Scheduler.h"
#include "sync/CloudError.h"
#include "sync/FocusEvent.h"
#include "timer/TimerModel.h"

namespace tw {

class EventDelivery;
class NtfyNotifier;

// Turns every change of the timer's run state into one focus event and hands it to the two
// recipients: the website (which forwards it to the user's phone), when this computer is
// connected and a phone may be paired, and the ntfy notifier. Website delivery is queued and
// sent one event at a time, strictly in order; a failed send is retried after 2, 4, 8, 16, 30,
// 30 … seconds (or the server's Retry-After) until the event is two minutes old.
class EventEmitter : public QObject {
    Q_OBJECT
public:
    using Mode = TimerModel::Mode;
    using RunState = TimerModel::RunState;

    static constexpr double retryWindow = 120;  // seconds an event may wait for the website
    static constexpr double retryDelay = 2;     // the first wait before a retry
    static constexpr double longestDelay = 30;  // waits double up to this

    // An event waiting for the website, with the website-clock moment it was queued.
    struct Pending {
        FocusEvent event;
        Instant sentAt;
    };

    // Either recipient may be null. Time is read from `scheduler`, which also times the retries.
    EventEmitter(EventDelivery* client, NtfyNotifier* ntfy, Scheduler& scheduler,
                 QObject* parent = nullptr);
    ~EventEmitter() override;

    // Follows `model` from now on; called once, after the model exists.
    void attach(TimerModel* model);

    // Diagnostics.
    qint64 delivered() const { return delivered_; }  // events the website accepted
    qint64 dropped() const { return dropped_; }      // events given up
    // Events neither delivered nor dropped yet, the one being sent included.
    int queueLength() const { return int(queue_.size()) + (current_ ? 1 : 0); }

    // Where event ids come from (a new random UUID each).
    void setIdSource(std::function<QUuid()> source) { newId_ = std::move(source); }

Q_SIGNALS:
    void deliveredChanged(qint64 delivered);
    void droppedChanged(qint64 dropped);
    void queueLengthChanged(int length);

private:
    void handleRunState();
    void emitEvent(FocusEventType type, std::optional<Mode> mode);
    void enqueue(const FocusEvent& event);
    void deliverNext();
    void attempt();
    void attemptFailed(const CloudError& error);
    void finishCurrent();
    void addDelivered();
    void addDropped();
    Instant now() const { return scheduler_.now(); }

    QPointer<EventDelivery> client_;
    QPointer<NtfyNotifier> ntfy_;
    Scheduler& scheduler_;
    std::function<QUuid()> newId_;
    QPointer<TimerModel> model_;

    RunState lastRunState_ = RunState::idle;
    Mode phaseMode_ = Mode::focus;
    std::optional<Instant> phaseStartedAt_;
    std::optional<Instant> phaseEndAt_;
    qint64 phaseDuration_ = 0;
    std::optional<Mode> completedPhase_;

    std::deque<Pending> queue_;       // waiting behind the one in delivery
    std::optional<Pending> current_;  // the one in delivery
    double delay_ = retryDelay;       // the next wait without Retry-After
    std::unique_ptr<ScheduledCall> retry_;

    qint64 delivered_ = 0;
    qint64 dropped_ = 0;
};

}  // namespace tw
