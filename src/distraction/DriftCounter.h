#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace tw {

class DriftLog;
class Scheduler;
class TimerModel;

// Counts drifts: visits to a blocked site during a focus session, in the session's count and in
// the drift log. The site blocker repeats its warning on every check while the countdown runs;
// one countdown is one drift.
class DriftCounter final : public QObject {
    Q_OBJECT
public:
    DriftCounter(TimerModel& model, DriftLog& log, Scheduler& scheduler, QObject* parent = nullptr);

    // The blocker's warning for `ruleText` (none when the warning ends) with the seconds left
    // before the tab is blanked. A countdown begins when a rule first shows, when another rule
    // takes its place, or when the count starts over (another matching tab); nothing ends it.
    void siteWarning(const std::optional<QString>& ruleText, int secondsLeft);
    // Counts a drift in the running or paused focus session and in the drift log.
    void record(const QString& key);
    // The drift-log key of a rule: its host, or the text itself when it is not a rule.
    static QString key(const QString& ruleText);

private:
    TimerModel& model_;
    DriftLog& log_;
    Scheduler& scheduler_;
    std::optional<QString> warningRule_;  // the rule whose countdown is showing
    int warningSecondsLeft_ = 0;
};

}  // namespace tw
