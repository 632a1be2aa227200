#include <QSignalSpy>

#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

class TimerModelTest : public TimerFixture {};

TEST(TimerModelFormat, MinutesAndTwoDigitSeconds) {
    const std::pair<qint64, const char*> cases[] = {
        {0, "0:00"}, {9, "0:09"}, {59, "0:59"}, {60, "1:00"}, {1500, "25:00"}, {6000, "100:00"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(TimerModel::formatSeconds(seconds), QString::fromLatin1(text)) << seconds;
    }
}

TEST_F(TimerModelTest, TheShownTimeFollowsEverySecond) {
    TimerModel& m = make();
    EXPECT_EQ(m.formattedRemaining(), QStringLiteral("25:00"));
    m.toggle();
    clock.advance(1);
    EXPECT_EQ(m.formattedRemaining(), QStringLiteral("24:59"));
    clock.advance(60);
    EXPECT_EQ(m.formattedRemaining(), QStringLiteral("23:59"));
    m.resetSession();
    EXPECT_EQ(m.formattedRemaining(), QStringLiteral("25:00"));
}

TEST_F(TimerModelTest, AFullFocusPhaseTicksCompletesAndCredits) {
    auto& m = make();
    EXPECT_EQ(m.remaining(), 1500);
    const Instant t0 = clock.now();
    QSignalSpy remainingSpy(&m, &TimerModel::remainingChanged);
    m.toggle();
    EXPECT_EQ(m.runState(), RunState::running);
    EXPECT_EQ(m.endDate(), t0 + 1500.0);
    EXPECT_EQ(activity, std::vector<bool>{true});

    clock.advance(1);
    EXPECT_EQ(m.remaining(), 1499);
    clock.advance(598.5);
    EXPECT_EQ(m.remaining(), 901);  // ceiling of the time left
    clock.advanceTo(t0 + 1500.0);

    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(m.runState(), RunState::idle);
    EXPECT_EQ(m.remaining(), 300);
    EXPECT_EQ(m.phaseSeconds(), 300);
    EXPECT_EQ(chime.plays, 1);
    EXPECT_EQ(completed, std::vector<Mode>{Mode::focus});
    EXPECT_EQ(announced, std::vector<Mode>{Mode::focus});
    EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::focus, true}}));
    EXPECT_EQ(activity, (std::vector<bool>{true, false}));
    EXPECT_EQ(remainingSpy.count(), 1502);  // the start, once per second, the break's length

    const FocusHistory h = storedHistory();
    EXPECT_DOUBLE_EQ(secondsOn(h, "2025-03-07"), 1500);
    EXPECT_EQ(sessionsOn(h, "2025-03-07"), 1);
    EXPECT_EQ(m.completedToday(), 1);
    ASSERT_TRUE(m.sessionSummary());
    EXPECT_EQ(m.sessionSummary()->minutes, 25);
    EXPECT_EQ(m.sessionSummary()->endedAt, t0 + 1500.0);
    EXPECT_FALSE(saved());
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture()) << "no timer may run while idle";
}

TEST_F(TimerModelTest, TicksFallFiveMillisecondsAfterEachWholeSecondOfTheRemainingTime) {
    const auto fraction = [](double left) { return left - std::floor(left); };
    auto& m = make();
    m.start(1500);
    clock.advance(0.5);
    m.setFocusMinutes(30);  // the end moves to 1799.5 s from now and the ticker restarts
    EXPECT_NEAR(fraction(*m.endDate() - clock.nextDue()), 0.995, 1e-6);

    // A tick that fires late is not followed by late ones: the next is placed on the boundary.
    clock.jumpTo(clock.nextDue() + 0.3);
    clock.runDue();
    EXPECT_NEAR(fraction(*m.endDate() - clock.nextDue()), 0.995, 1e-6);
    EXPECT_NEAR(clock.nextDue() - clock.now(), 0.7, 1e-6);
}

TEST_F(TimerModelTest, PauseAndResumeKeepTheSession) {
    auto& m = make();
    m.toggle();
    const QUuid session = m.sessionID();
    clock.advance(900);
    m.setDriftsThisSession(3);
    m.toggle();
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 600);
    EXPECT_FALSE(m.endDate());
    clock.advance(600);  // paused time is never credited
    EXPECT_EQ(m.remaining(), 600);
    m.toggle();
    EXPECT_EQ(m.sessionID(), session);
    EXPECT_EQ(m.phaseSeconds(), 1500);
    EXPECT_EQ(m.endDate(), clock.now() + 600.0);
    EXPECT_EQ(m.driftsThisSession(), 0);
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 900);
    EXPECT_EQ(activity, (std::vector<bool>{true, false, true}));
}

TEST_F(TimerModelTest, SkipOffersAnUndoThatExpiresAfterSixSeconds) {
    auto& m = make();
    m.toggle();
    clock.advance(1500 - 754);
    const QUuid session = m.sessionID();
    m.skip();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(chime.plays, 0);
    ASSERT_TRUE(m.undoOffer());
    EXPECT_EQ(m.undoOffer()->label, QStringLiteral("Phase skipped"));
    EXPECT_EQ(m.undoOffer()->mode, Mode::focus);
    EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::focus, false}}));
    EXPECT_TRUE(completed.empty());

    clock.advance(5.9);
    ASSERT_TRUE(m.undoOffer());
    m.undo();
    EXPECT_EQ(m.mode(), Mode::focus);
    EXPECT_EQ(m.runState(), RunState::running);
    EXPECT_EQ(m.remaining(), 754);
    EXPECT_EQ(m.sessionID(), session);
    EXPECT_FALSE(m.undoOffer());
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"),
                     746);  // the undo gap is not credited

    m.skip();
    clock.advance(6.0);
    EXPECT_FALSE(m.undoOffer());
    m.undo();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(m.runState(), RunState::idle);
}

TEST_F(TimerModelTest, AnUndoOfferEndsWithTheNextOfferOrStart) {
    auto& m = make();
    m.start(1);
    clock.advance(0.5);
    m.skip();
    const auto first = m.undoOffer();
    m.undo();  // back to running with 1 second
    EXPECT_EQ(m.remaining(), 1);
    clock.advance(1);  // the phase runs out: a completion clears nothing to undo
    EXPECT_EQ(m.mode(), Mode::rest);

    m.toggle();  // break running
    m.reset(QStringLiteral("Break reset"));
    ASSERT_TRUE(m.undoOffer());
    EXPECT_NE(m.undoOffer()->id, first->id);
    m.toggle();  // starting something else drops the offer
    EXPECT_FALSE(m.undoOffer());
    m.undo();
    EXPECT_EQ(m.mode(), Mode::focus);
    EXPECT_EQ(m.runState(), RunState::running);
}

TEST_F(TimerModelTest, SkipAtZeroSecondsOffersOneSecond) {
    auto& m = make();
    m.start(10);
    clock.jumpTo(clock.now() + 10.0);  // the tick has not run yet
    m.skip();
    m.undo();
    EXPECT_EQ(m.remaining(), 1);
}

TEST_F(TimerModelTest, ResetDuringABreakRestoresThePausedBreak) {
    auto& m = make();
    m.skip();  // idle focus → idle break, no offer
    EXPECT_FALSE(m.undoOffer());
    EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::focus, false}}));
    m.toggle();
    clock.advance(100);
    m.toggle();  // paused break, 200 s left
    m.reset(QStringLiteral("Break reset"));
    EXPECT_EQ(m.mode(), Mode::focus);
    EXPECT_EQ(m.runState(), RunState::idle);
    EXPECT_EQ(m.remaining(), 1500);
    EXPECT_EQ(m.undoOffer()->label, QStringLiteral("Break reset"));
    EXPECT_EQ(m.undoOffer()->mode, Mode::rest);
    m.undo();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 200);
    EXPECT_TRUE(activity.empty()) << "breaks never report focus activity";
}

// The transition table: from a prepared state, one event, the state it leads to and the phase-end
// observers' view.
TEST_F(TimerModelTest, TransitionTable) {
    struct Case {
        const char* name;
        std::function<void(TimerModel&)> prepare;
        std::function<void(TimerModel&)> event;
        Mode mode;
        RunState state;
        std::vector<std::pair<Mode, bool>> ends;
    };
    const auto idle = [](TimerModel&) {};
    const auto running = [](TimerModel& m) { m.toggle(); };
    const auto paused = [this](TimerModel& m) {
        m.toggle();
        clock.advance(10);
        m.toggle();
    };
    const auto restRunning = [](TimerModel& m) {
        m.selectMode(Mode::rest);
        m.toggle();
    };
    const std::vector<Case> cases = {
        {"idle start", idle, [](TimerModel& m) { m.toggle(); }, Mode::focus, RunState::running, {}},
        {"running pause",
         running,
         [](TimerModel& m) { m.toggle(); },
         Mode::focus,
         RunState::paused,
         {}},
        {"paused resume",
         paused,
         [](TimerModel& m) { m.toggle(); },
         Mode::focus,
         RunState::running,
         {}},
        {"idle skip",
         idle,
         [](TimerModel& m) { m.skip(); },
         Mode::rest,
         RunState::idle,
         {{Mode::focus, false}}},
        {"paused skip",
         paused,
         [](TimerModel& m) { m.skip(); },
         Mode::rest,
         RunState::idle,
         {{Mode::focus, false}}},
        {"break skip",
         restRunning,
         [](TimerModel& m) { m.skip(); },
         Mode::focus,
         RunState::idle,
         {{Mode::rest, false}}},
        {"idle reset",
         idle,
         [](TimerModel& m) { m.reset(QStringLiteral("x")); },
         Mode::focus,
         RunState::idle,
         {}},
        {"break reset",
         restRunning,
         [](TimerModel& m) { m.reset(QStringLiteral("x")); },
         Mode::focus,
         RunState::idle,
         {{Mode::rest, false}}},
        {"end intent",
         running,
         [](TimerModel& m) { m.finishPhase(false, true); },
         Mode::rest,
         RunState::idle,
         {{Mode::focus, false}}},
        {"idle selectMode",
         idle,
         [](TimerModel& m) { m.selectMode(Mode::rest); },
         Mode::rest,
         RunState::idle,
         {}},
        {"running selectMode",
         running,
         [](TimerModel& m) { m.selectMode(Mode::rest); },
         Mode::focus,
         RunState::running,
         {}},
        {"break lock",
         restRunning,
         [](TimerModel& m) { m.screenDidLock(); },
         Mode::rest,
         RunState::running,
         {}},
        {"focus lock",
         running,
         [](TimerModel& m) { m.screenDidLock(); },
         Mode::focus,
         RunState::paused,
         {}},
        {"paused lock",
         paused,
         [](TimerModel& m) { m.screenDidLock(); },
         Mode::focus,
         RunState::paused,
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.remove(QStringLiteral("activeTimerSession"));
        auto& m = make();
        c.prepare(m);
        clearRecords();
        c.event(m);
        EXPECT_EQ(m.mode(), c.mode);
        EXPECT_EQ(m.runState(), c.state);
        EXPECT_EQ(ends, c.ends);
        EXPECT_EQ(m.runState() == RunState::running, m.endDate().has_value());
        EXPECT_EQ(saved().has_value(), m.isActive());
        EXPECT_EQ(chime.plays, 0);
    }
}

TEST_F(TimerModelTest, FocusActivityReportsStartsAndStopsOfRunningFocusOnly) {
    auto& m = make();
    m.toggle();                                // start → true
    m.toggle();                                // pause → false
    m.toggle();                                // resume → true
    m.skip();                                  // skip → false
    m.toggle();                                // break: nothing
    m.skip();                                  // back to idle focus: nothing
    m.toggle();                                // true
    m.reset(QStringLiteral("Session reset"));  // false
    m.toggle();                                // true
    clock.advance(1500);                       // completion → false
    EXPECT_EQ(activity, (std::vector<bool>{true, false, true, false, true, false, true, false}));
}

TEST_F(TimerModelTest, ParseDuration) {
    struct Case {
        const char* text;
        std::optional<qint64> seconds;
    } cases[] = {
        {"25", 1500},   {" 5:07 ", 307},
        {"5:7", 307},   {"0:30", 30},
        {"120", 7200},  {"120:00", 7200},
        {"\n3\t", 180}, {"120:01", {}},
        {"0", {}},      {"0:00", {}},
        {"1:60", {}},   {"121", {}},
        {"1:2:3", {}},  {"5:", {}},
        {":30", {}},    {"-5", {}},
        {"5a", {}},     {"", {}},
        {"5 :07", {}},  {"٣", {}},
        {"+5", {}},     {"99999999999999999999", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TimerModel::parseDuration(QString::fromUtf8(c.text)), c.seconds) << c.text;
    }
}

TEST_F(TimerModelTest, TypedDurations) {
    auto& m = make();
    EXPECT_TRUE(m.setDuration(QStringLiteral("7:30")));
    EXPECT_EQ(m.focusMinutes(), 8);
    EXPECT_EQ(defaults.integer(QStringLiteral("focusMinutes")), 8);
    EXPECT_EQ(m.remaining(), 450);
    EXPECT_EQ(m.phaseSeconds(), 450);

    m.toggle();
    const QUuid session = m.sessionID();
    clock.advance(100);
    m.skip();
    ASSERT_TRUE(m.undoOffer());
    EXPECT_FALSE(m.setDuration(QStringLiteral("abc")));
    EXPECT_TRUE(m.undoOffer()) << "a rejected text changes nothing";
    m.undo();
    EXPECT_TRUE(m.setDuration(QStringLiteral("0:30")));
    EXPECT_EQ(m.runState(), RunState::running);
    EXPECT_EQ(m.remaining(), 30);
    EXPECT_EQ(m.phaseSeconds(), 30);
    EXPECT_EQ(m.sessionID(), session);
    EXPECT_EQ(m.endDate(), clock.now() + 30.0);

    m.toggle();
    EXPECT_TRUE(m.setDuration(QStringLiteral("12")));
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 720);
    EXPECT_EQ(saved()->remaining, 720);
    EXPECT_EQ(saved()->pausedElapsed, 480 - 720);
}

TEST_F(TimerModelTest, LengthChangesWhileRunningAndPaused) {
    struct Case {
        const char* name;
        bool pausedAt10Left;
        int newMinutes;
        qint64 remaining;
    } cases[] = {
        {"running, shorter than elapsed: one more minute", false, 5, 60},
        {"running, longer: extended by the difference", false, 50, 1500 + 300},
        {"paused, longer", true, 50, 2100},
        {"paused, shorter than elapsed", true, 15, 60},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.remove(QStringLiteral("activeTimerSession"));
        defaults.remove(QStringLiteral("focusMinutes"));
        auto& m = make();
        m.toggle();
        const Instant end = *m.endDate();
        clock.advance(c.pausedAt10Left ? 900 : 1200);
        if (c.pausedAt10Left) m.toggle();
        m.setFocusMinutes(c.newMinutes);
        EXPECT_EQ(m.remaining(), c.remaining);
        EXPECT_EQ(saved()->remaining, c.remaining);
        if (!c.pausedAt10Left) {
            EXPECT_EQ(*m.endDate(), c.newMinutes == 50 ? end + 1500.0 : clock.now() + 60.0);
            clock.advance(double(c.remaining));
            EXPECT_EQ(m.mode(), Mode::rest);
            EXPECT_EQ(chime.plays, 1);
            chime.plays = 0;
        }
    }
}

TEST_F(TimerModelTest, ABreakLengthChangeLeavesTheFocusPhaseAlone) {
    auto& m = make();
    m.toggle();
    const auto end = m.endDate();
    m.setBreakMinutes(10);
    EXPECT_EQ(m.endDate(), end);
    EXPECT_EQ(defaults.integer(QStringLiteral("breakMinutes")), 10);
    clock.advance(1500);
    EXPECT_EQ(m.remaining(), 600);
}

TEST_F(TimerModelTest, StoredLengthsAreReadAsIntegersAndClamped) {
    struct Case {
        QCborValue stored;
        int minutes;
    } cases[] = {{QCborValue(40), 40},
                 {QCborValue(0), 1},
                 {QCborValue(500), 120},
                 {QCborValue(30.0), 25},
                 {QCborValue(QStringLiteral("30")), 25},
                 {QCborValue(), 25}};
    for (const auto& c : cases) {
        defaults.setObject(QStringLiteral("focusMinutes"), c.stored);
        EXPECT_EQ(make().focusMinutes(), c.minutes);
        EXPECT_EQ(model->remaining(), c.minutes * 60);
    }
}

TEST_F(TimerModelTest, SleepWakeAndLock) {
    struct Case {
        const char* name;
        Mode mode;
        double runBefore;  // seconds run before the sleep
        double sleep;
        Mode expectMode;
        RunState expectState;
        qint64 expectRemaining;
        int expectAutoPaused;
        int expectChime;
    } cases[] = {
        {"focus, short sleep: the end moves", Mode::focus, 300, 90, Mode::focus, RunState::running,
         1200, 0, 0},
        {"focus, long sleep: paused", Mode::focus, 300, 600, Mode::focus, RunState::paused, 1200, 1,
         0},
        {"break counts through the sleep", Mode::rest, 60, 120, Mode::rest, RunState::running, 120,
         0, 0},
        {"break ends during the sleep: silent", Mode::rest, 60, 600, Mode::focus, RunState::idle,
         1500, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.remove(QStringLiteral("activeTimerSession"));
        auto& m = make();
        m.selectMode(c.mode);
        m.toggle();
        clock.advance(c.runBefore);
        clearRecords();
        m.systemWillSleep();
        EXPECT_EQ(m.runState(), RunState::running);
        EXPECT_EQ(clock.nextDue(), Instant::distantFuture()) << "the ticker stops at the sleep";
        clock.jumpTo(clock.now() + c.sleep);
        m.systemDidWake();
        EXPECT_EQ(m.mode(), c.expectMode);
        EXPECT_EQ(m.runState(), c.expectState);
        EXPECT_EQ(m.remaining(), c.expectRemaining);
        EXPECT_EQ(autoPaused, c.expectAutoPaused);
        EXPECT_EQ(chime.plays, c.expectChime);
        if (c.mode == Mode::rest && c.expectState == RunState::idle) {
            EXPECT_EQ(completed, std::vector<Mode>{Mode::rest});
            EXPECT_TRUE(announced.empty());
        }
    }
    // Focus time is never credited for the sleep: 300 s in each of the two focus cases.
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 600);
}

TEST_F(TimerModelTest, AFocusEndReachedBeforeTheSleepIsAnnouncedAtWake) {
    auto& m = make();
    m.start(10);
    clock.jumpTo(clock.now() + 12.0);  // the machine stalled before the tick
    m.systemWillSleep();
    clock.jumpTo(clock.now() + 3600.0);
    m.systemDidWake();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(chime.plays, 1);
    EXPECT_EQ(announced, std::vector<Mode>{Mode::focus});
}

TEST_F(TimerModelTest, LockDuringSleepIsDatedAtTheSleepAndTheWakeChangesNothing) {
    auto& m = make();
    m.toggle();
    clock.advance(100);
    m.systemWillSleep();
    clock.jumpTo(clock.now() + 50.0);
    m.screenDidLock();
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 1400);
    EXPECT_EQ(autoPaused, 1);
    clock.jumpTo(clock.now() + 500.0);
    m.systemDidWake();
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 1400);
    EXPECT_EQ(autoPaused, 1);
}

TEST_F(TimerModelTest, AWakeWithoutSleepTicksAPhaseThatShouldHaveEnded) {
    auto& m = make();
    m.start(60);
    clock.jumpTo(clock.now() + 3600.0);
    m.systemDidWake();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 60);
}

TEST_F(TimerModelTest, ChimeFollowsVolumeAndMute) {
    auto& m = make();
    prefs->setChimeVolume(0.4);
    m.playChime();
    EXPECT_EQ(chime.plays, 1);
    EXPECT_FLOAT_EQ(chime.playedAt.back(), 0.4f);
    prefs->setChimeMuted(true);
    m.applyChimeVolume();
    EXPECT_FALSE(chime.playing);
    m.playChime();
    EXPECT_EQ(chime.plays, 1);
}

TEST_F(TimerModelTest, WithoutAChimeNothingPlaysAndNothingBreaks) {
    model = std::make_unique<TimerModel>(*prefs, defaults, clock, nullptr);
    model->start(1);
    clock.advance(1);
    EXPECT_EQ(model->mode(), Mode::rest);
}

TEST_F(TimerModelTest, FocusAcrossMidnightIsSplitAndCountedOnTheEndDay) {
    ScopedTimeZone berlin("Europe/Berlin");
    clock.jumpTo(at("Europe/Berlin", 2025, 3, 7, 23, 50));
    auto& m = make();
    m.toggle();
    EXPECT_EQ(m.completedToday(), 0);
    clock.advance(1500);
    const FocusHistory h = storedHistory();
    EXPECT_DOUBLE_EQ(secondsOn(h, "2025-03-07"), 600);
    EXPECT_DOUBLE_EQ(secondsOn(h, "2025-03-08"), 900);
    EXPECT_EQ(sessionsOn(h, "2025-03-07"), 0);
    EXPECT_EQ(sessionsOn(h, "2025-03-08"), 1);
    EXPECT_EQ(m.completedToday(), 1);
    EXPECT_EQ(m.statisticsDay(), at("Europe/Berlin", 2025, 3, 8));
}

TEST_F(TimerModelTest, LiveHistoryAndTodaysMinutesIncludeTheRunningSegment) {
    auto& m = make();
    m.toggle();
    clock.advance(150);
    EXPECT_EQ(m.focusMinutesToday(), 2);
    EXPECT_DOUBLE_EQ(secondsOn(m.liveHistory(clock.now()), "2025-03-07"), 150);
    EXPECT_DOUBLE_EQ(secondsOn(m.history(), "2025-03-07"), 0) << "the model's own history waits";
}

TEST_F(TimerModelTest, FullSeriesIsCachedUntilThePhaseOrHistoryChanges) {
    auto& m = make();
    const auto* first = &m.fullSeries();
    const auto firstSize = first->size();
    clock.advance(10);
    EXPECT_EQ(m.fullSeries().size(), firstSize);
    const std::vector<FocusDay> before = m.fullSeries();
    m.toggle();
    clock.advance(60);
    const std::vector<FocusDay> after = m.fullSeries();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_DOUBLE_EQ(after.back().seconds, 60);
    EXPECT_DOUBLE_EQ(before.back().seconds, 0);
}

}  // namespace
}  // namespace tw::test

namespace tw::test {
namespace {

class TimerHistoryStoreTest : public TimerFixture {};

TEST_F(TimerHistoryStoreTest, UnreadableHistoryIsSalvagedAndTheOriginalKeptAside) {
    struct Case {
        QByteArray stored;
        QStringList keptDays;
    } cases[] = {
        {R"({"days":{"2025-03-07":{"seconds":60,"sessions":1},"2025-03-08":{"seconds":5}}})",
         {QStringLiteral("2025-03-07")}},
        {"not json at all", {}},
        {R"([1,2,3])", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored.constData());
        defaults.setData(QStringLiteral("weeklyFocusHistory"), c.stored);
        defaults.remove(QStringLiteral("weeklyFocusHistory.corrupt"));
        auto& m = make();
        EXPECT_EQ(m.history().days.keys(), c.keptDays);
        EXPECT_EQ(defaults.data(QStringLiteral("weeklyFocusHistory.corrupt")), c.stored);
        EXPECT_EQ(storedHistory().days.keys(), c.keptDays) << "the salvaged history is stored";
    }
    // A readable history is taken as it is, cleaned, and nothing is kept aside.
    defaults.remove(QStringLiteral("weeklyFocusHistory.corrupt"));
    defaults.setData(
        QStringLiteral("weeklyFocusHistory"),
        R"({"days":{"2025-03-07":{"seconds":60,"sessions":1},"2025-03-06":{"seconds":200000,"sessions":1}}})");
    auto& m = make();
    EXPECT_EQ(m.history().days.keys(), QStringList{QStringLiteral("2025-03-07")});
    EXPECT_EQ(m.completedToday(), 1);
    EXPECT_FALSE(defaults.contains(QStringLiteral("weeklyFocusHistory.corrupt")));
}

TEST_F(TimerHistoryStoreTest, TheStatisticsDayRollsAtMidnight) {
    defaults.setData(QStringLiteral("weeklyFocusHistory"),
                     R"({"days":{"2025-03-07":{"seconds":1500,"sessions":2}}})");
    auto& m = make();
    EXPECT_EQ(m.completedToday(), 2);
    QSignalSpy day(&m, &TimerModel::statisticsDayChanged);
    clock.jumpTo(at("UTC", 2025, 3, 8, 0, 0, 1));
    m.refreshStatisticsDay();
    EXPECT_EQ(m.completedToday(), 0);
    EXPECT_EQ(m.statisticsDay(), at("UTC", 2025, 3, 8));
    EXPECT_EQ(day.count(), 1);
    m.refreshStatisticsDay();
    EXPECT_EQ(day.count(), 1) << "published only when it changes";
}

}  // namespace
}  // namespace tw::test
