#include "distraction/DriftCounter.h"

#include "platform/Scheduler.h"
#include "preferences/SiteRule.h"
#include "timer/DriftLog.h"
#include "timer/TimerModel.h"

namespace tw {

DriftCounter::DriftCounter(TimerModel& model, DriftLog& log, Scheduler& scheduler, QObject* parent)
    : QObject(parent), model_(model), log_(log), scheduler_(scheduler) {}

void DriftCounter::siteWarning(const std::optional<QString>& ruleText, int secondsLeft) {
    if (!ruleText) {
        warningRule_.reset();
        warningSecondsLeft_ = 0;
        return;
    }
    const bool begins =
        !warningRule_ || *warningRule_ != *ruleText || secondsLeft > warningSecondsLeft_;
    warningRule_ = ruleText;
    warningSecondsLeft_ = secondsLeft;
    if (begins) record(key(*ruleText));
}

QString DriftCounter::key(const QString& ruleText) {
    if (const auto rule = SiteRule::parse(ruleText)) return rule->host;
    return ruleText;
}

void DriftCounter::record(const QString& key) {
    if (model_.mode() != TimerModel::Mode::focus ||
        model_.runState() == TimerModel::RunState::idle || key.isEmpty()) {
        return;
    }
    model_.setDriftsThisSession(model_.driftsThisSession() + 1);
    log_.record(key, scheduler_.now());
}

}  // namespace tw
