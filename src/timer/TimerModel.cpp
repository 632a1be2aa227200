#include "timer/TimerModel.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "platform/UserDefaults.h"
#include "preferences/AppPreferences.h"
#include "support/Calendar.h"
#include "support/Uuid.h"
#include "timer/SavedSession.h"

namespace tw {

namespace {

const QString kFocusMinutesKey = QStringLiteral("focusMinutes");
const QString kBreakMinutesKey = QStringLiteral("breakMinutes");
const QString kSessionKey = QStringLiteral("activeTimerSession");
const QString kHistoryKey = QStringLiteral("weeklyFocusHistory");
const QString kHistoryCorruptKey = QStringLiteral("weeklyFocusHistory.corrupt");

constexpr double kUndoLifetime = 6.0;
constexpr qint64 kOneDay = 86400;
constexpr double kTwoDays = 172800;
constexpr double kLongSleep = 120;
constexpr double kSeriesCacheLifetime = 30;

int storedMinutes(const UserDefaults& defaults, const QString& key, int fallback) {
    const auto stored = defaults.integer(key);
    const qint64 v = stored ? *stored : fallback;
    return static_cast<int>(std::clamp<qint64>(v, 1, 120));
}

// Delay from now to the next tick, so that ticks fall 5 ms after each whole second of the
// remaining time.
double tickDelay(Instant endDate, Instant now) {
    const double d = endDate - now;
    const double f = d - std::trunc(d);
    return f > 0.001 ? f + 0.005 : 1.0;
}

}  // namespace

QString TimerModel::SessionSummary::line(qint64 streak) const {
    QStringList parts;
    parts << QString::number(minutes) + QStringLiteral(" min focused");
    if (drifts >= 1) {
        parts << QString::number(drifts) + QStringLiteral(" drift") +
                     (drifts == 1 ? QString() : QStringLiteral("s")) + QStringLiteral(" stopped");
    }
    if (streak >= 2) parts << QString::number(streak) + QStringLiteral("-day streak");
    return parts.join(QStringLiteral(" · "));
}

QString TimerModel::rawValue(RunState s) {
    switch (s) {
        case RunState::idle:
            return QStringLiteral("idle");
        case RunState::running:
            return QStringLiteral("running");
        case RunState::paused:
            return QStringLiteral("paused");
    }
    return {};
}

std::optional<TimerModel::Mode> TimerModel::modeFromRaw(const QString& raw) {
    if (raw == QLatin1String("focus")) return Mode::focus;
    if (raw == QLatin1String("rest")) return Mode::rest;
    return std::nullopt;
}

std::optional<TimerModel::RunState> TimerModel::runStateFromRaw(const QString& raw) {
    if (raw == QLatin1String("idle")) return RunState::idle;
    if (raw == QLatin1String("running")) return RunState::running;
    if (raw == QLatin1String("paused")) return RunState::paused;
    return std::nullopt;
}

TimerModel::TimerModel(AppPreferences& preferences, UserDefaults& defaults, Scheduler& scheduler,
                       std::unique_ptr<Sound> chime, QObject* parent)
    : QObject(parent),
      preferences_(preferences),
      defaults_(defaults),
      scheduler_(scheduler),
      completionChime_(std::move(chime)) {
    sessionID_ = newUuid();
    statisticsDay_ = Calendar::shared().startOfDay(now());
    loadHistory();
    focusMinutes_ = storedMinutes(defaults_, kFocusMinutesKey, 25);
    breakMinutes_ = storedMinutes(defaults_, kBreakMinutesKey, 5);
    remaining_ = qint64(focusMinutes_) * 60;
    phaseSeconds_ = remaining_;
    refreshStatisticsDay();
    restoreSession();
    focusWasRunning_ = mode_ == Mode::focus && runState_ == RunState::running;
    recordHistoryChange();
}

TimerModel::~TimerModel() = default;

qint64 TimerModel::phaseDuration() const {
    return qint64(mode_ == Mode::focus ? focusMinutes_ : breakMinutes_) * 60;
}

QString TimerModel::formatSeconds(qint64 seconds) {
    if (seconds < 0) {
        return QString::asprintf("%lld:%02lld", static_cast<long long>(seconds / 60),
                                 static_cast<long long>(seconds % 60));
    }
    // Every second, for every view of the time: without a format string.
    QString text = QString::number(seconds / 60);
    const int s = static_cast<int>(seconds % 60);
    text.append(u':').append(QChar(u'0' + s / 10)).append(QChar(u'0' + s % 10));
    return text;
}

QString TimerModel::formattedRemaining() const {
    // Several views ask each second; the text is made once per value.
    if (formattedFor_ != remaining_ || formatted_.isNull()) {
        formatted_ = formatSeconds(remaining_);
        formattedFor_ = remaining_;
    }
    return formatted_;
}

// Published setters.

void TimerModel::setMode(Mode m) {
    mode_ = m;
    Q_EMIT modeChanged(m);
}

void TimerModel::setRunState(RunState s) {
    runState_ = s;
    Q_EMIT runStateChanged(s);
}

void TimerModel::setRemaining(qint64 r) {
    // Like every published property, each assignment notifies; the ticker assigns only when the
    // value changes.
    remaining_ = r;
    Q_EMIT remainingChanged(r);
}

void TimerModel::setPhaseSeconds(qint64 s) {
    phaseSeconds_ = s;
    Q_EMIT phaseSecondsChanged(s);
}

void TimerModel::setEndDate(std::optional<Instant> d) {
    endDate_ = d;
    Q_EMIT endDateChanged();
}

void TimerModel::setCompletedToday(qint64 c) {
    completedToday_ = c;
    Q_EMIT completedTodayChanged(c);
}

void TimerModel::setSessionSummary(std::optional<SessionSummary> s) {
    sessionSummary_ = s;
    Q_EMIT sessionSummaryChanged();
}

void TimerModel::setStatisticsDay(Instant d) {
    statisticsDay_ = d;
    Q_EMIT statisticsDayChanged();
}

void TimerModel::setUndoOffer(std::optional<UndoOffer> o) {
    undoOffer_ = std::move(o);
    Q_EMIT undoOfferChanged();
}

void TimerModel::setDriftsThisSession(qint64 drifts) {
    driftsThisSession_ = drifts;
    Q_EMIT driftsThisSessionChanged(drifts);
}

void TimerModel::setFocusMinutes(int minutes) {
    focusMinutes_ = minutes;
    Q_EMIT focusMinutesChanged(minutes);
    defaults_.setInteger(kFocusMinutesKey, minutes);
    durationChanged(Mode::focus);
}

void TimerModel::setBreakMinutes(int minutes) {
    breakMinutes_ = minutes;
    Q_EMIT breakMinutesChanged(minutes);
    defaults_.setInteger(kBreakMinutesKey, minutes);
    durationChanged(Mode::rest);
}

// Ticker.

void TimerModel::startTicker(Instant endDate) {
    stopTicker();
    armTicker(endDate, ++tickerGeneration_);
}

void TimerModel::armTicker(Instant endDate, quint64 generation) {
    QPointer<TimerModel> self(this);
    ticker_ = scheduler_.callAfter(tickDelay(endDate, now()), [self, endDate, generation] {
        if (!self) return;
        self->tick();
        // Re-arm unless the tick ended the phase or the ticker was restarted meanwhile. Each
        // firing is placed afresh from the end date, so a late tick does not shift later ones.
        if (self && self->tickerGeneration_ == generation && self->endDate_) {
            self->armTicker(endDate, generation);
        }
    });
}

void TimerModel::stopTicker() {
    ++tickerGeneration_;
    ticker_.reset();
}

void TimerModel::tick() {
    if (!endDate_) return;
    const qint64 s = ceilSeconds(*endDate_ - now());
    const qint64 shown = std::max<qint64>(s, 0);
    if (shown != remaining_) setRemaining(shown);
    if (s <= 0) finishPhase(true, true, endDate_);
}

// Start, pause, toggle.

void TimerModel::start(qint64 seconds) {
    clearUndo();
    creditFocus(now());
    if (runState_ == RunState::idle) {
        setSessionID(newUuid());
        setPhaseSeconds(seconds);
    }
    setDriftsThisSession(0);
    focusSegmentStart_ = mode_ == Mode::focus ? std::optional<Instant>(now()) : std::nullopt;
    setEndDate(now() + double(seconds));
    phaseStart_ = *endDate_ - double(phaseDuration());
    setRemaining(seconds);
    setRunState(RunState::running);
    startTicker(*endDate_);
    persistSession();
}

void TimerModel::pause(std::optional<Instant> at) {
    if (!endDate_) return;
    const Instant t = at.value_or(now());
    creditFocus(t);
    stopTicker();
    setRemaining(std::max<qint64>(ceilSeconds(*endDate_ - t), 0));
    pausedElapsed_ = phaseDuration() - remaining_;
    focusSegmentStart_.reset();
    setEndDate(std::nullopt);
    setRunState(RunState::paused);
    persistSession();
}

void TimerModel::toggle() {
    refreshStatisticsDay();
    if (runState_ == RunState::running) {
        pause();
    } else {
        start(remaining_);
    }
}

// Phase ends.

void TimerModel::finishPhase(bool completed, bool announce, std::optional<Instant> at) {
    clearUndo();
    const Instant t = at.value_or(now());
    creditFocus(t);
    stopTicker();
    setEndDate(std::nullopt);
    const Mode finished = mode_;

    if (completed && finished == Mode::focus) {
        history_.recordCompletedSession(sessionID_, t);
        recordHistoryChange();
        refreshStatisticsDay();
        const double spent = double(std::max<qint64>(phaseSeconds_ - remaining_, 0)) / 60.0;
        setSessionSummary(SessionSummary{std::llround(spent), driftsThisSession_, t});
        setDriftsThisSession(0);
    }
    if (completed && announce) playChime();

    setMode(other(finished));
    setRunState(RunState::idle);
    phaseStart_.reset();
    focusSegmentStart_.reset();
    pausedElapsed_ = 0;
    setRemaining(phaseDuration());
    setPhaseSeconds(remaining_);
    persistSession();

    if (completed) Q_EMIT phaseCompleted(finished);
    if (completed && announce) Q_EMIT phaseComplete(finished);
    Q_EMIT phaseEnded(finished, completed);
}

void TimerModel::setSessionID(const QUuid& id) {
    sessionID_ = id;
    Q_EMIT sessionIDChanged();
}

void TimerModel::creditFocus(Instant until) {
    if (mode_ != Mode::focus || runState_ != RunState::running || !focusSegmentStart_ ||
        !endDate_) {
        return;
    }
    const Instant u = earlier(until, *endDate_);
    if (!(u > *focusSegmentStart_)) return;
    history_.credit(sessionID_, *focusSegmentStart_, u, now());
    focusSegmentStart_ = u;
    recordHistoryChange();
}

// Skip, reset, undo.

qint64 TimerModel::liveRemaining() const {
    if (endDate_) return std::max<qint64>(ceilSeconds(*endDate_ - now()), 0);
    return remaining_;
}

void TimerModel::captureUndo() {
    undoState_ = UndoState{mode_, runState_ == RunState::running,
                           std::max<qint64>(liveRemaining(), 1), phaseSeconds_, sessionID_};
}

void TimerModel::offerUndo(const QString& label, Mode mode) {
    setUndoOffer(UndoOffer{label, mode, newUuid()});
    const quint64 token = ++undoToken_;
    QPointer<TimerModel> self(this);
    scheduler_.post(kUndoLifetime, [self, token] {
        if (self && self->undoToken_ == token) self->clearUndo();
    });
}

void TimerModel::skip() {
    if (!isActive()) {
        finishPhase(false, true, std::nullopt);
        return;
    }
    captureUndo();
    const auto captured = undoState_;
    finishPhase(false, true, std::nullopt);
    undoState_ = captured;
    offerUndo(QStringLiteral("Phase skipped"), captured->mode);
}

void TimerModel::reset(const QString& undoLabel) {
    if (!isActive()) {
        resetSession();
        return;
    }
    captureUndo();
    const auto captured = undoState_;
    resetSession();
    undoState_ = captured;
    offerUndo(undoLabel, captured->mode);
}

void TimerModel::resetSession() {
    const bool wasActive = isActive();
    clearUndo();
    creditFocus(now());
    stopTicker();
    setEndDate(std::nullopt);
    focusSegmentStart_.reset();
    const Mode ended = mode_;
    setMode(Mode::focus);
    setRunState(RunState::idle);
    setRemaining(phaseDuration());
    setPhaseSeconds(remaining_);
    persistSession();
    if (wasActive) Q_EMIT phaseEnded(ended, false);
}

void TimerModel::undo() {
    if (!undoState_) {
        clearUndo();
        return;
    }
    if (runState_ != RunState::idle) {
        clearUndo();
        return;
    }
    const UndoState captured = *undoState_;
    clearUndo();
    setMode(captured.mode);
    setSessionID(captured.sessionID);
    setPhaseSeconds(captured.phaseSeconds);
    setRemaining(captured.remaining);
    pausedElapsed_ = phaseDuration() - remaining_;
    setRunState(RunState::paused);
    if (captured.wasRunning) {
        start(remaining_);
    } else {
        persistSession();
    }
}

void TimerModel::clearUndo() {
    ++undoToken_;
    undoState_.reset();
    if (undoOffer_) setUndoOffer(std::nullopt);
}

// Lengths and typed durations.

void TimerModel::durationChanged(Mode changed) {
    if (changed != mode_) return;
    const Instant t = now();
    creditFocus(t);
    switch (runState_) {
        case RunState::idle:
            setRemaining(phaseDuration());
            setPhaseSeconds(remaining_);
            break;
        case RunState::paused: {
            const qint64 spent = std::max<qint64>(phaseSeconds_ - remaining_, 0);
            qint64 r = phaseDuration() - pausedElapsed_;
            if (r <= 59) r = std::min<qint64>(remaining_, 60);
            setRemaining(r);
            setPhaseSeconds(std::max<qint64>(spent + r, 1));
            break;
        }
        case RunState::running: {
            if (!phaseStart_ || !endDate_) return;
            const qint64 spent = std::max<qint64>(phaseSeconds_ - remaining_, 0);
            Instant newEnd = *phaseStart_ + double(phaseDuration());
            if (newEnd < t + 60.0) newEnd = earlier(t + 60.0, *endDate_);
            if (newEnd == *endDate_) return;
            setEndDate(newEnd);
            setRemaining(std::max<qint64>(ceilSeconds(newEnd - t), 0));
            setPhaseSeconds(std::max<qint64>(spent + remaining_, 1));
            startTicker(newEnd);
            break;
        }
    }
    persistSession();
}

std::optional<qint64> TimerModel::parseDuration(const QString& text) {
    const QString trimmed = text.trimmed();
    const QStringList pieces = trimmed.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    if (pieces.size() < 1 || pieces.size() > 2) return std::nullopt;
    qint64 values[2] = {0, 0};
    for (int i = 0; i < pieces.size(); ++i) {
        const QString& piece = pieces[i];
        if (piece.isEmpty() || piece.size() > 9) return std::nullopt;
        for (const QChar c : piece) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        }
        values[i] = piece.toLongLong();
    }
    const qint64 minutes = values[0];
    const qint64 seconds = values[1];
    if (minutes > 120 || seconds > 59) return std::nullopt;
    const qint64 total = minutes * 60 + seconds;
    if (total < 1 || total > 7200) return std::nullopt;
    return total;
}

bool TimerModel::setDuration(const QString& text) {
    const auto n = parseDuration(text);
    if (!n) return false;
    clearUndo();
    switch (runState_) {
        case RunState::running:
            setPhaseSeconds(*n);
            start(*n);
            break;
        case RunState::idle: {
            const int minutes = static_cast<int>((*n + 59) / 60);
            if (mode_ == Mode::focus) {
                setFocusMinutes(minutes);
            } else {
                setBreakMinutes(minutes);
            }
            setRemaining(*n);
            setPhaseSeconds(*n);
            break;
        }
        case RunState::paused:
            setRemaining(*n);
            setPhaseSeconds(*n);
            pausedElapsed_ = phaseDuration() - *n;
            break;
    }
    persistSession();
    return true;
}

void TimerModel::selectMode(Mode m) {
    if (runState_ != RunState::idle || m == mode_) return;
    clearUndo();
    setMode(m);
    setRemaining(phaseDuration());
    setPhaseSeconds(remaining_);
}

// Statistics day.

void TimerModel::refreshStatisticsDay() {
    const Calendar& calendar = Calendar::shared();
    const Instant today = calendar.startOfDay(now());
    if (statisticsDay_ != today) setStatisticsDay(today);
    const auto it = history_.days.constFind(calendar.dayKey(today));
    const qint64 c = it == history_.days.constEnd() ? 0 : it->sessions;
    if (c != completedToday_) setCompletedToday(c);
}

// Sleep, wake and screen lock.

void TimerModel::systemWillSleep() {
    if (runState_ != RunState::running || !endDate_) return;
    const Instant t = now();
    creditFocus(t);
    stopTicker();
    sleptAt_ = t;
    persistSession();
}

void TimerModel::systemDidWake() {
    refreshStatisticsDay();
    if (!sleptAt_) {
        if (runState_ == RunState::running) tick();
        return;
    }
    const Instant slept = *sleptAt_;
    sleptAt_.reset();
    if (runState_ != RunState::running || !endDate_) return;
    const Instant end = *endDate_;
    const Instant t = now();

    if (mode_ == Mode::rest) {
        // Breaks keep counting through a sleep.
        if (t < end) {
            setRemaining(ceilSeconds(end - t));
            startTicker(end);
        } else {
            finishPhase(true, false, end);
        }
        return;
    }

    // Focus time never passes while asleep.
    const qint64 left = ceilSeconds(std::max(end - slept, 0.0));
    const double sleep = t - slept;
    if (left == 0) {
        finishPhase(true, true, end);
    } else if (sleep >= kLongSleep) {
        stopTicker();
        setEndDate(std::nullopt);
        focusSegmentStart_.reset();
        setRemaining(left);
        pausedElapsed_ = phaseDuration() - left;
        setRunState(RunState::paused);
        persistSession();
        Q_EMIT autoPaused();
    } else {
        if (phaseStart_) phaseStart_ = *phaseStart_ + sleep;
        const Instant moved = end + sleep;
        setEndDate(moved);
        focusSegmentStart_ = t;
        setRemaining(ceilSeconds(std::max(moved - t, 0.0)));
        startTicker(moved);
        persistSession();
    }
}

void TimerModel::screenDidLock() {
    if (mode_ != Mode::focus || runState_ != RunState::running) return;
    pause(sleptAt_ ? sleptAt_ : std::optional<Instant>(now()));
    sleptAt_.reset();
    Q_EMIT autoPaused();
}

// Chime.

void TimerModel::applyChimeVolume() {
    if (!completionChime_) return;
    const float volume = preferences_.effectiveChimeVolume();
    completionChime_->setVolume(volume);
    if (volume == 0.0f) completionChime_->stop();
}

void TimerModel::playChime() {
    if (!completionChime_) return;
    completionChime_->stop();
    applyChimeVolume();
    if (preferences_.effectiveChimeVolume() > 0.0f) completionChime_->play();
}

// Persistence of the running session.

void TimerModel::persistSession() {
    const bool active = mode_ == Mode::focus && runState_ == RunState::running;
    if (active != focusWasRunning_) {
        focusWasRunning_ = active;
        Q_EMIT focusActivityChanged(active);
    }
    creditFocus(now());
    if (!isActive()) {
        defaults_.remove(kSessionKey);
        return;
    }
    SavedSession s;
    s.id = sessionID_;
    s.mode = rawValue(mode_);
    s.state = rawValue(runState_);
    s.remaining = remaining_;
    s.endDate = endDate_;
    s.phaseStart = phaseStart_;
    s.pausedElapsed = pausedElapsed_;
    s.focusSegmentStart = focusSegmentStart_;
    s.phaseSeconds = phaseSeconds_;
    defaults_.setData(kSessionKey, s.encode());
}

void TimerModel::restoreSession() {
    const QCborValue stored = defaults_.object(kSessionKey);
    if (stored.isUndefined()) return;
    const auto data = defaults_.data(kSessionKey);
    const auto saved = data ? SavedSession::decode(*data) : std::nullopt;
    if (!saved || saved->state == QLatin1String("idle")) {
        defaults_.remove(kSessionKey);
        return;
    }
    if (saved->remaining < 0 || saved->remaining > kOneDay || saved->pausedElapsed < -kOneDay ||
        saved->pausedElapsed > kOneDay) {
        defaults_.remove(kSessionKey);
        return;
    }
    const Mode mode = *modeFromRaw(saved->mode);
    didRestoreSession_ = true;
    setSessionID(saved->id);
    phaseSeconds_ = std::max({saved->phaseSeconds.value_or(0), saved->remaining, qint64(1)});
    const auto fullLength = [&] {
        return qint64(mode == Mode::focus ? focusMinutes_ : breakMinutes_) * 60;
    };

    if (saved->state == QLatin1String("paused")) {
        if (saved->remaining == 0) {
            defaults_.remove(kSessionKey);
            return;
        }
        mode_ = mode;
        runState_ = RunState::paused;
        remaining_ = saved->remaining;
        pausedElapsed_ = saved->pausedElapsed;
        if (!saved->phaseSeconds) phaseSeconds_ = std::max(fullLength(), remaining_);
        return;
    }

    // Running.
    const Instant t = now();
    if (!saved->endDate || !saved->endDate->isFinite() || *saved->endDate - t > double(kOneDay)) {
        defaults_.remove(kSessionKey);
        return;
    }
    const Instant end = *saved->endDate;
    mode_ = mode;
    runState_ = RunState::running;
    endDate_ = end;
    if (mode == Mode::focus) {
        const auto seg = saved->focusSegmentStart;
        const bool usable = seg && seg->isFinite() && end - *seg >= 0 && end - *seg <= kTwoDays;
        focusSegmentStart_ = usable ? *seg : t;
    }
    const auto ps = saved->phaseStart;
    phaseStart_ =
        ps && ps->isFinite() && std::fabs(end - *ps) <= kTwoDays ? *ps : end - double(fullLength());
    remaining_ = ceilSeconds(std::max(end - t, 0.0));
    if (!saved->phaseSeconds) phaseSeconds_ = std::max(fullLength(), remaining_);
    if (remaining_ > 0) {
        startTicker(end);
    } else {
        finishPhase(true, false, end);
    }
}

// History.

void TimerModel::loadHistory() {
    const auto data = defaults_.data(kHistoryKey);
    if (!data) {
        history_ = FocusHistory{};
        saveHistory();
        return;
    }
    if (auto decoded = FocusHistory::decode(*data)) {
        history_ = *decoded;
        history_.days = FocusHistory::cleaned(history_.days);
        saveHistory();
        return;
    }
    auto salvaged = FocusHistory::salvage(*data);
    history_ = salvaged ? *salvaged : FocusHistory{};
    saveHistory();
    defaults_.setData(kHistoryCorruptKey, *data);
}

void TimerModel::recordHistoryChange() {
    ++historyRevision_;
    Q_EMIT historyChanged();
    saveHistory();
}

void TimerModel::saveHistory() {
    // An encoding that fails leaves the last stored copy in place.
    const QByteArray bytes = history_.encode();
    if (!bytes.isEmpty()) defaults_.setData(kHistoryKey, bytes);
}

FocusHistory TimerModel::liveHistory(Instant at) const {
    FocusHistory copy = history_;
    if (mode_ == Mode::focus && runState_ == RunState::running && focusSegmentStart_ && endDate_) {
        copy.credit(sessionID_, *focusSegmentStart_, earlier(at, *endDate_), at);
    }
    return copy;
}

qint64 TimerModel::focusMinutesToday() const {
    const Instant t = now();
    const FocusHistory live = liveHistory(t);
    const auto it = live.days.constFind(Calendar::shared().dayKey(t));
    if (it == live.days.constEnd()) return 0;
    return static_cast<qint64>(it->seconds / 60.0);
}

const std::vector<FocusDay>& TimerModel::fullSeries() {
    const CacheKey key{mode_,      runState_,          endDate_,
                       remaining_, focusSegmentStart_, historyRevision_};
    const Instant t = now();
    if (fullCache_ && fullCache_->key == key && t - fullCache_->computedAt < kSeriesCacheLifetime &&
        t - fullCache_->computedAt >= 0) {
        return fullCache_->days;
    }
    fullCache_ = SeriesCache{key, t, stats::series(liveHistory(t), t)};
    return fullCache_->days;
}

}  // namespace tw
