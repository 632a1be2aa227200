#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Scheduler.h"
#include "platform/Sound.h"
#include "timer/FocusHistory.h"

namespace tw {

class AppPreferences;
class UserDefaults;

// The one countdown of the application: a focus phase and a break phase that alternate, started,
// paused, resumed, skipped, reset and undone from the island, the tray, the shortcuts and the
// command line. It owns the per-day focus history and the saved copy of the running session,
// credits focused time as it passes, plays the chime when a phase runs out, and reports phase
// ends, automatic pauses and focus activity through its callback fields.
class TimerModel : public QObject {
    Q_OBJECT
public:
    enum class Mode { focus, rest };
    Q_ENUM(Mode)
    enum class RunState { idle, running, paused };
    Q_ENUM(RunState)

    struct SessionSummary {
        qint64 minutes = 0;
        qint64 drifts = 0;
        Instant endedAt;
        // The line shown with a completed focus session, with the streak of days it belongs to:
        // "25 min focused · 3 drifts stopped · 4-day streak" (drifts from 1, a streak from 2).
        QString line(qint64 streak) const;
        friend bool operator==(const SessionSummary&, const SessionSummary&) = default;
    };

    struct UndoOffer {
        QString label;
        Mode mode = Mode::focus;
        QUuid id;
        friend bool operator==(const UndoOffer&, const UndoOffer&) = default;
    };

    static QString rawValue(Mode m) {
        return m == Mode::focus ? QStringLiteral("focus") : QStringLiteral("rest");
    }
    static QString title(Mode m) {
        return m == Mode::focus ? QStringLiteral("Focus") : QStringLiteral("Break");
    }
    static QString rawValue(RunState s);
    static std::optional<Mode> modeFromRaw(const QString& raw);
    static std::optional<RunState> runStateFromRaw(const QString& raw);
    static Mode other(Mode m) { return m == Mode::focus ? Mode::rest : Mode::focus; }

    // Loads the durations and the history, restores a saved session; never fails. The chime may be
    // null (no sound could be loaded). Time is read from `scheduler`, which also drives the ticker
    // and the undo expiry.
    TimerModel(AppPreferences& preferences, UserDefaults& defaults, Scheduler& scheduler,
               std::unique_ptr<Sound> chime, QObject* parent = nullptr);
    ~TimerModel() override;

    // Published state.
    Mode mode() const { return mode_; }
    RunState runState() const { return runState_; }
    qint64 remaining() const { return remaining_; }
    qint64 phaseSeconds() const { return phaseSeconds_; }
    std::optional<Instant> endDate() const { return endDate_; }
    qint64 completedToday() const { return completedToday_; }
    std::optional<SessionSummary> sessionSummary() const { return sessionSummary_; }
    qint64 driftsThisSession() const { return driftsThisSession_; }
    const FocusHistory& history() const { return history_; }
    Instant statisticsDay() const { return statisticsDay_; }
    std::optional<UndoOffer> undoOffer() const { return undoOffer_; }
    int focusMinutes() const { return focusMinutes_; }
    int breakMinutes() const { return breakMinutes_; }

    bool didRestoreSession() const { return didRestoreSession_; }
    QUuid sessionID() const { return sessionID_; }
    qint64 historyRevision() const { return historyRevision_; }
    bool isActive() const { return runState_ != RunState::idle; }
    qint64 phaseDuration() const;  // full length of the current mode, seconds
    QString formattedRemaining() const;
    static QString formatSeconds(qint64 seconds);  // "%d:%02d"

    // Assigning a length (1…120) stores it and adjusts the current phase of that mode.
    void setFocusMinutes(int minutes);
    void setBreakMinutes(int minutes);
    void setDriftsThisSession(qint64 drifts);

    // Operations.
    void start(qint64 seconds);
    void pause(std::optional<Instant> at = std::nullopt);
    void toggle();
    void skip();
    void reset(const QString& undoLabel);
    void resetSession();
    void undo();
    void finishPhase(bool completed, bool announce, std::optional<Instant> at = std::nullopt);
    bool setDuration(const QString& text);
    void selectMode(Mode mode);
    static std::optional<qint64> parseDuration(const QString& text);
    void refreshStatisticsDay();
    void systemWillSleep();
    void systemDidWake();
    void screenDidLock();
    void applyChimeVolume();
    void playChime();

    // Statistics.
    FocusHistory liveHistory(Instant now) const;
    qint64 focusMinutesToday() const;
    const std::vector<FocusDay>& fullSeries();

    Instant now() const { return scheduler_.now(); }

Q_SIGNALS:
    // A phase ran out and was announced (the chime was played).
    void phaseComplete(tw::TimerModel::Mode mode);
    // A phase ran out, announced or silently.
    void phaseCompleted(tw::TimerModel::Mode mode);
    // Every phase end: run out (`completed`) or ended early by a skip or a reset.
    void phaseEnded(tw::TimerModel::Mode mode, bool completed);
    // The model paused a running focus phase by itself (a long sleep, the screen locked).
    void autoPaused();
    // A focus phase started or stopped running.
    void focusActivityChanged(bool focusing);

    void modeChanged(tw::TimerModel::Mode mode);
    void runStateChanged(tw::TimerModel::RunState state);
    void remainingChanged(qint64 remaining);
    void phaseSecondsChanged(qint64 phaseSeconds);
    void endDateChanged();
    void sessionIDChanged();
    void completedTodayChanged(qint64 completed);
    void sessionSummaryChanged();
    void driftsThisSessionChanged(qint64 drifts);
    void historyChanged();
    void statisticsDayChanged();
    void undoOfferChanged();
    void focusMinutesChanged(int minutes);
    void breakMinutesChanged(int minutes);

private:
    struct UndoState {
        Mode mode;
        bool wasRunning;
        qint64 remaining;
        qint64 phaseSeconds;
        QUuid sessionID;
    };
    struct CacheKey {
        Mode mode;
        RunState runState;
        std::optional<Instant> endDate;
        qint64 remaining;
        std::optional<Instant> focusSegmentStart;
        qint64 revision;
        friend bool operator==(const CacheKey&, const CacheKey&) = default;
    };
    struct SeriesCache {
        CacheKey key;
        Instant computedAt;
        std::vector<FocusDay> days;
    };

    // Published setters: each assignment notifies.
    void setMode(Mode m);
    void setRunState(RunState s);
    void setRemaining(qint64 r);  // notifies only on change
    void setPhaseSeconds(qint64 s);
    void setEndDate(std::optional<Instant> d);
    void setCompletedToday(qint64 c);
    void setSessionSummary(std::optional<SessionSummary> s);
    void setStatisticsDay(Instant d);
    void setUndoOffer(std::optional<UndoOffer> o);

    void tick();
    void startTicker(Instant endDate);
    void armTicker(Instant endDate, quint64 generation);
    void stopTicker();
    void creditFocus(Instant until);
    void clearUndo();
    void durationChanged(Mode mode);
    void setSessionID(const QUuid& id);
    void persistSession();
    void restoreSession();
    void loadHistory();
    void recordHistoryChange();
    void saveHistory();
    void captureUndo();
    void offerUndo(const QString& label, Mode mode);
    qint64 liveRemaining() const;

    AppPreferences& preferences_;
    UserDefaults& defaults_;
    Scheduler& scheduler_;

    Mode mode_ = Mode::focus;
    RunState runState_ = RunState::idle;
    qint64 remaining_ = 1500;
    mutable qint64 formattedFor_ = -1;  // the value formatted_ shows
    mutable QString formatted_;
    qint64 phaseSeconds_ = 1500;
    std::optional<Instant> endDate_;
    qint64 completedToday_ = 0;
    std::optional<SessionSummary> sessionSummary_;
    qint64 driftsThisSession_ = 0;
    FocusHistory history_;
    Instant statisticsDay_;
    std::optional<UndoOffer> undoOffer_;
    bool didRestoreSession_ = false;
    int focusMinutes_ = 25;
    int breakMinutes_ = 5;
    std::optional<UndoState> undoState_;
    quint64 undoToken_ = 0;
    qint64 historyRevision_ = 0;
    bool focusWasRunning_ = false;
    std::optional<Instant> sleptAt_;
    std::unique_ptr<ScheduledCall> ticker_;
    quint64 tickerGeneration_ = 0;
    std::unique_ptr<Sound> completionChime_;
    std::optional<Instant> phaseStart_;
    qint64 pausedElapsed_ = 0;
    QUuid sessionID_;
    std::optional<Instant> focusSegmentStart_;
    std::optional<SeriesCache> fullCache_;
};

}  // namespace tw
