#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>
#include <vector>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "preferences/AppPreferences.h"
#include "timer/SavedSession.h"
#include "timer/TimerModel.h"

namespace tw::test {

using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

// A model over an in-memory defaults suite, a fake clock and a fake chime, with every callback
// recorded.
class TimerFixture : public ::testing::Test {
public:
    ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    std::unique_ptr<AppPreferences> prefs = std::make_unique<AppPreferences>(defaults);
    FakeSound::Log chime;
    std::unique_ptr<TimerModel> model;

    std::vector<std::pair<Mode, bool>> ends;
    std::vector<Mode> completed;  // phaseCompleted
    std::vector<Mode> announced;  // phaseComplete
    std::vector<bool> activity;   // focusActivityChanged
    int autoPaused = 0;

    TimerModel& make() {
        model.reset();
        model = std::make_unique<TimerModel>(*prefs, defaults, clock,
                                             std::make_unique<FakeSound>(&chime));
        QObject::connect(model.get(), &TimerModel::phaseCompleted,
                         [this](Mode m) { completed.push_back(m); });
        QObject::connect(model.get(), &TimerModel::phaseComplete,
                         [this](Mode m) { announced.push_back(m); });
        QObject::connect(model.get(), &TimerModel::autoPaused, [this] { ++autoPaused; });
        QObject::connect(model.get(), &TimerModel::focusActivityChanged,
                         [this](bool a) { activity.push_back(a); });
        QObject::connect(model.get(), &TimerModel::phaseEnded,
                         [this](Mode m, bool c) { ends.emplace_back(m, c); });
        return *model;
    }

    void clearRecords() {
        ends.clear();
        completed.clear();
        announced.clear();
        activity.clear();
        autoPaused = 0;
        chime.plays = 0;
    }

    std::optional<SavedSession> saved() const {
        const auto data = defaults.data(QStringLiteral("activeTimerSession"));
        if (!data) return std::nullopt;
        return SavedSession::decode(*data);
    }

    FocusHistory storedHistory() const {
        return *FocusHistory::decode(*defaults.data(QStringLiteral("weeklyFocusHistory")));
    }

    double secondsOn(const FocusHistory& h, const char* key) const {
        const auto it = h.days.constFind(QString::fromLatin1(key));
        return it == h.days.constEnd() ? 0 : it->seconds;
    }
    qint64 sessionsOn(const FocusHistory& h, const char* key) const {
        const auto it = h.days.constFind(QString::fromLatin1(key));
        return it == h.days.constEnd() ? 0 : it->sessions;
    }
};

}  // namespace tw::test
