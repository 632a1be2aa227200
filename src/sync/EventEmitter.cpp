#include "sync/EventEmitter.h"

#include <algorithm>
#include <cmath>

#include "support/Uuid.h"
#include "sync/EventDelivery.h"
#include "sync/NtfyNotifier.h"

namespace tw {

namespace {

bool isActive(TimerModel::RunState s) {
    return s != TimerModel::RunState::idle;
}

// Failures worth another try within the window: the website asked to wait (429), had a passing
// fault (5xx), or could not be reached at all (no HTTP answer, no network, a time-out).
std::optional<double> retryWait(const CloudError& error, double delay) {
    switch (error.kind) {
        case CloudError::Kind::http:
            if (error.status == 429 || (error.status >= 500 && error.status <= 599)) {
                const auto after = error.failure.retryAfter;
                if (after && std::isfinite(*after) && *after >= 0) return *after;
                return delay;
            }
            return std::nullopt;
        case CloudError::Kind::unreachable:
        case CloudError::Kind::transport:
            return delay;
        case CloudError::Kind::notConfigured:
        case CloudError::Kind::notConnected:
        case CloudError::Kind::unauthorized:
        case CloudError::Kind::insecureLink:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

EventEmitter::EventEmitter(EventDelivery* client, NtfyNotifier* ntfy, Scheduler& scheduler,
                           QObject* parent)
    : QObject(parent), client_(client), ntfy_(ntfy), scheduler_(scheduler), newId_(newUuid) {}

EventEmitter::~EventEmitter() = default;

void EventEmitter::attach(TimerModel* model) {
    if (model_ || model == nullptr) return;
    model_ = model;
    lastRunState_ = model->runState();
    phaseMode_ = model->mode();

    connect(model, &TimerModel::phaseEnded, this, [this](Mode mode, bool completed) {
        completedPhase_ = completed ? std::optional<Mode>(mode) : std::nullopt;
    });
    // The run-state handler reads the model on a later turn of the event loop, once the change
    // is complete: changes that cancel out before then make no event.
    const auto later = [this] {
        QMetaObject::invokeMethod(this, &EventEmitter::handleRunState, Qt::QueuedConnection);
    };
    connect(model, &TimerModel::runStateChanged, this, later);
    connect(model, &TimerModel::modeChanged, this, later);
    // Added time, typed durations and changed lengths of the running or paused phase.
    connect(model, &TimerModel::phaseSecondsChanged, this, [this](qint64 seconds) {
        if (model_ && isActive(model_->runState())) phaseDuration_ = seconds;
    });
    connect(model, &TimerModel::endDateChanged, this, [this] {
        if (!model_ || !isActive(model_->runState())) return;
        if (const auto end = model_->endDate()) phaseEndAt_ = *end;
    });
}

void EventEmitter::handleRunState() {
    if (!model_) return;
    const RunState previous = lastRunState_;
    const RunState state = model_->runState();
    if (state == previous) return;
    lastRunState_ = state;

    if (previous == RunState::idle && state == RunState::running) {
        phaseMode_ = model_->mode();
        phaseStartedAt_ = now();
        phaseEndAt_ = model_->endDate();
        phaseDuration_ = model_->phaseSeconds();
        emitEvent(
            phaseMode_ == Mode::focus ? FocusEventType::focusStarted : FocusEventType::breakStarted,
            std::nullopt);
    } else if (previous == RunState::idle && state == RunState::paused) {
        // A phase brought back paused (an undone reset): its planned end stays as it was.
        phaseMode_ = model_->mode();
        phaseStartedAt_ = now();
        phaseDuration_ = model_->phaseSeconds();
        emitEvent(FocusEventType::focusResumed, std::nullopt);
    } else if (previous == RunState::running && state == RunState::paused) {
        emitEvent(FocusEventType::focusPaused, std::nullopt);
    } else if (previous == RunState::paused && state == RunState::running) {
        emitEvent(FocusEventType::focusResumed, std::nullopt);
    } else if (state == RunState::idle) {
        if (const auto completed = completedPhase_) {
            completedPhase_.reset();
            emitEvent(*completed == Mode::focus ? FocusEventType::focusCompleted
                                                : FocusEventType::breakCompleted,
                      *completed);
        } else {
            emitEvent(FocusEventType::sessionReset, std::nullopt);
        }
    }
}

void EventEmitter::emitEvent(FocusEventType type, std::optional<Mode> mode) {
    const bool website = client_ && client_->connected() && client_->hasPhone();
    if (!website && (!ntfy_ || !ntfy_->enabled())) return;

    const std::optional<Instant> modelEnd = model_ ? model_->endDate() : std::nullopt;
    const qint64 modelSeconds = model_ ? model_->phaseSeconds() : 0;
    Instant startedAt = now();
    if (phaseStartedAt_) {
        startedAt = *phaseStartedAt_;
    } else if (modelEnd) {
        startedAt = *modelEnd - double(modelSeconds);
    }
    Instant endsAt = now() + double(model_ ? model_->remaining() : 0);
    if (modelEnd) {
        endsAt = *modelEnd;
    } else if (phaseEndAt_) {
        endsAt = *phaseEndAt_;
    }
    const Instant sentAt = client_ ? client_->serverNow() : now();

    FocusEvent event;
    event.id = uuidText(newId_());
    event.type = type;
    event.mode = TimerModel::rawValue(mode.value_or(phaseMode_));
    event.startedAt = eventTimestamp(startedAt);
    event.endsAt = eventTimestamp(endsAt);
    event.durationSec = FocusEvent::clampedDuration(phaseDuration_);
    event.sentAt = eventTimestamp(sentAt);

    if (website) enqueue(event);
    if (ntfy_) ntfy_->handle(event);
}

void EventEmitter::enqueue(const FocusEvent& event) {
    queue_.push_back(Pending{event, client_->serverNow()});
    Q_EMIT queueLengthChanged(queueLength());
    if (!current_) deliverNext();
}

// Takes the oldest waiting event into delivery, until none is left.
void EventEmitter::deliverNext() {
    if (queue_.empty()) return;
    current_ = std::move(queue_.front());
    queue_.pop_front();
    delay_ = retryDelay;
    attempt();
}

void EventEmitter::attempt() {
    if (!current_) return;
    if (!client_) {
        current_.reset();
        queue_.clear();
        Q_EMIT queueLengthChanged(0);
        return;
    }
    const double age = client_->serverNow() - current_->sentAt;
    if (!(age < retryWindow)) {
        addDropped();
        finishCurrent();
        return;
    }
    QPointer<EventEmitter> self(this);
    client_->postEvent(current_->event.encoded(), [self](std::optional<CloudError> error) {
        if (!self || !self->current_) return;
        if (!error) {
            self->addDelivered();
            self->finishCurrent();
        } else {
            self->attemptFailed(*error);
        }
    });
}

void EventEmitter::attemptFailed(const CloudError& error) {
    const auto wait = retryWait(error, delay_);
    if (!wait) {
        addDropped();
        finishCurrent();
        return;
    }
    QPointer<EventEmitter> self(this);
    retry_ = scheduler_.callAfter(*wait, [self] {
        if (!self) return;
        self->delay_ = std::min(2 * self->delay_, longestDelay);
        self->attempt();
    });
}

void EventEmitter::finishCurrent() {
    current_.reset();
    retry_.reset();
    Q_EMIT queueLengthChanged(queueLength());
    deliverNext();
}

void EventEmitter::addDelivered() {
    ++delivered_;
    Q_EMIT deliveredChanged(delivered_);
}

void EventEmitter::addDropped() {
    ++dropped_;
    Q_EMIT droppedChanged(dropped_);
}

}  // namespace tw
