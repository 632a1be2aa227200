// The three actions for other programs, on a real timer over a fake clock, and their methods on
// the session bus.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <functional>
#include <limits>
#include <memory>

#include "app/FocusControl.h"
#include "timer/TimerFixture.h"

using namespace tw;
using namespace tw::test;

namespace {

const QString kStarted15 = QStringLiteral("Focus session started for 15 minutes.");
const QString kStarted25 = QStringLiteral("Focus session started for 25 minutes.");
const QString kOutOfRange = QStringLiteral("That duration is out of range.");
const QString kAlreadyRunning = QStringLiteral("A session is already running.");

// What the start action's callers can observe of the timer.
struct Snapshot {
    Mode mode;
    RunState runState;
    qint64 remaining;
    qint64 phaseSeconds;
    int focusMinutes;
    int breakMinutes;
    bool operator==(const Snapshot&) const = default;
};

class FocusControlTest : public TimerFixture {
protected:
    FocusControl control;

    void SetUp() override { control.setModel(&make()); }

    Snapshot snapshot() const {
        return {model->mode(),         model->runState(),     model->remaining(),
                model->phaseSeconds(), model->focusMinutes(), model->breakMinutes()};
    }
};

// The timer states the actions meet, each reached the way a user gets there.
struct State {
    const char* name;
    std::function<void(TimerModel&, FakeScheduler&)> reach;
};

const std::vector<State> kStates = {
    {"idle focus", [](TimerModel&, FakeScheduler&) {}},
    {"running focus",
     [](TimerModel& m, FakeScheduler& c) {
         m.toggle();
         c.advance(300);
     }},
    {"paused focus",
     [](TimerModel& m, FakeScheduler& c) {
         m.toggle();
         c.advance(300);
         m.toggle();
     }},
    {"waiting break", [](TimerModel& m, FakeScheduler&) { m.selectMode(Mode::rest); }},
    {"running break",
     [](TimerModel& m, FakeScheduler& c) {
         m.selectMode(Mode::rest);
         m.toggle();
         c.advance(60);
     }},
    {"paused break",
     [](TimerModel& m, FakeScheduler& c) {
         m.selectMode(Mode::rest);
         m.toggle();
         c.advance(60);
         m.toggle();
     }},
};

}  // namespace

TEST_F(FocusControlTest, WithoutTheTimerEveryActionSaysTarnwhistleIsNotRunning) {
    FocusControl none;
    for (FocusControl* c : {&none, &control}) {
        if (c == &control) model.reset();  // the timer went away
        EXPECT_EQ(c->startFocus(std::nullopt), QStringLiteral("Tarnwhistle is not running."));
        EXPECT_EQ(c->startFocus(15), QStringLiteral("Tarnwhistle is not running."));
        EXPECT_EQ(c->pauseOrResume(), QStringLiteral("Tarnwhistle is not running."));
        EXPECT_EQ(c->endFocus(), QStringLiteral("Tarnwhistle is not running."));
    }
}

TEST_F(FocusControlTest, StartWithoutLengthStartsFocusOrRefuses) {
    for (const std::optional<int> minutes :
         {std::optional<int>(), std::optional<int>(0), std::optional<int>(-3)}) {
        for (const State& s : kStates) {
            SCOPED_TRACE(std::string(s.name) + " minutes " +
                         (minutes ? std::to_string(*minutes) : std::string("none")));
            model->resetSession();
            s.reach(*model, clock);
            const bool active = model->isActive();
            const Snapshot before = snapshot();
            clearRecords();

            const QString said = control.startFocus(minutes);
            if (active) {
                EXPECT_EQ(said, kAlreadyRunning);
                EXPECT_EQ(snapshot(), before);
                EXPECT_TRUE(ends.empty());
                continue;
            }
            EXPECT_EQ(said, kStarted25);
            EXPECT_EQ(model->mode(), Mode::focus);
            EXPECT_EQ(model->runState(), RunState::running);
            EXPECT_EQ(model->remaining(), 1500);
            // A waiting break is dropped, and the observers see it end uncompleted.
            if (before.mode == Mode::rest) {
                EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::rest, false}}));
            } else {
                EXPECT_TRUE(ends.empty());
            }
            EXPECT_TRUE(completed.empty());
            EXPECT_EQ(chime.plays, 0);
        }
    }
}

TEST_F(FocusControlTest, StartWithALengthStartsFocusOfThatLengthFromEveryState) {
    for (const int minutes : {15, 1, 120}) {
        for (const State& s : kStates) {
            SCOPED_TRACE(std::string(s.name) + " minutes " + std::to_string(minutes));
            model->resetSession();
            model->setFocusMinutes(25);
            s.reach(*model, clock);
            const Mode before = model->mode();
            clearRecords();

            EXPECT_EQ(control.startFocus(minutes), QStringLiteral("Focus session started for ") +
                                                       QString::number(minutes) +
                                                       QStringLiteral(" minutes."));
            // What the sentence says holds: focus runs with the whole length ahead.
            EXPECT_EQ(model->mode(), Mode::focus);
            EXPECT_EQ(model->runState(), RunState::running);
            EXPECT_EQ(model->remaining(), minutes * 60);
            ASSERT_TRUE(model->endDate().has_value());
            EXPECT_EQ(*model->endDate(), clock.now() + double(minutes * 60));
            // A break, waiting, running or paused, ends without being completed; its length is
            // left alone.
            if (before == Mode::rest) {
                EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::rest, false}}));
            } else {
                EXPECT_TRUE(ends.empty());
            }
            EXPECT_TRUE(completed.empty());
            EXPECT_EQ(chime.plays, 0);
            EXPECT_EQ(model->breakMinutes(), 5);
            // It runs out after exactly that length, as a completed focus phase.
            clock.advance(minutes * 60);
            EXPECT_EQ(model->mode(), Mode::rest);
            EXPECT_EQ(completed, std::vector<Mode>{Mode::focus});
        }
    }
}

TEST_F(FocusControlTest, StartWithALengthKeepsTheSessionWhenFocusIsUnderWay) {
    model->toggle();
    const QUuid session = model->sessionID();
    clock.advance(300);
    EXPECT_EQ(control.startFocus(15), kStarted15);  // running: restarted with the new length
    EXPECT_EQ(model->sessionID(), session);
    model->toggle();
    clock.advance(60);
    EXPECT_EQ(control.startFocus(10),
              QStringLiteral("Focus session started for 10 minutes."));  // paused: started
    EXPECT_EQ(model->sessionID(), session);
    EXPECT_EQ(model->runState(), RunState::running);
    EXPECT_EQ(model->remaining(), 600);
}

TEST_F(FocusControlTest, TooLongALengthChangesNothing) {
    for (const int minutes : {121, 500, std::numeric_limits<int>::max()}) {
        for (const State& s : kStates) {
            SCOPED_TRACE(std::string(s.name) + " minutes " + std::to_string(minutes));
            model->resetSession();
            s.reach(*model, clock);
            const Snapshot before = snapshot();
            const auto end = model->endDate();
            clearRecords();
            EXPECT_EQ(control.startFocus(minutes), kOutOfRange);
            EXPECT_EQ(snapshot(), before);
            EXPECT_EQ(model->endDate(), end);
            EXPECT_TRUE(ends.empty());
        }
    }
}

TEST_F(FocusControlTest, PauseOrResumeInEachState) {
    EXPECT_EQ(control.pauseOrResume(),
              QStringLiteral("Nothing is running \u2014 say start focus to begin."));
    EXPECT_EQ(model->runState(), RunState::idle);

    for (const Mode mode : {Mode::focus, Mode::rest}) {
        model->resetSession();
        model->selectMode(mode);
        model->toggle();
        clock.advance(90);
        EXPECT_EQ(control.pauseOrResume(), QStringLiteral("Paused. The session is kept."));
        EXPECT_EQ(model->runState(), RunState::paused);
        const qint64 left = model->remaining();
        clock.advance(600);
        EXPECT_EQ(control.pauseOrResume(), QStringLiteral("Resumed."));
        EXPECT_EQ(model->runState(), RunState::running);
        EXPECT_EQ(model->remaining(), left);
        EXPECT_EQ(model->mode(), mode);
    }
}

TEST_F(FocusControlTest, EndFinishesTheActivePhaseUncompleted) {
    EXPECT_EQ(control.endFocus(), QStringLiteral("Nothing is running."));
    model->selectMode(Mode::rest);
    EXPECT_EQ(control.endFocus(), QStringLiteral("Nothing is running."));  // a waiting break
    EXPECT_EQ(model->mode(), Mode::rest);
    EXPECT_TRUE(ends.empty());

    for (const bool paused : {true, false}) {
        SCOPED_TRACE(paused ? "paused" : "running");
        model->resetSession();
        model->toggle();
        clock.advance(600);
        if (paused) model->toggle();
        clearRecords();
        EXPECT_EQ(control.endFocus(), QStringLiteral("Session ended."));
        EXPECT_EQ(model->mode(), Mode::rest);
        EXPECT_EQ(model->runState(), RunState::idle);
        EXPECT_EQ(ends, (std::vector<std::pair<Mode, bool>>{{Mode::focus, false}}));
        EXPECT_TRUE(completed.empty());
        EXPECT_EQ(chime.plays, 0);
        EXPECT_FALSE(model->undoOffer().has_value());
        EXPECT_EQ(model->completedToday(), 0);
    }
    // The ten minutes focused each time stay credited.
    EXPECT_NEAR(secondsOn(model->history(), "2025-03-07"), 1200.0, 0.01);
}

TEST_F(FocusControlTest, EachAnswerSaysWhetherTheRequestTookEffect) {
    // Per state in kStates' order: start without a length, start 15, start 500, pause or
    // resume, end. True: it took effect, or the timer already was as asked.
    struct Expected {
        bool start, start15, start500, toggle, end;
    };
    const Expected expected[] = {
        {true, true, false, false, true},  // idle focus: nothing to pause, nothing to end
        {true, true, false, true, true},   // running focus: already as asked
        {false, true, false, true, true},  // paused focus: not running as asked
        {true, true, false, false, true},  // waiting break: focus starts
        {false, true, false, true, true},  // running break
        {false, true, false, true, true},  // paused break
    };
    for (size_t i = 0; i < kStates.size(); ++i) {
        SCOPED_TRACE(kStates[i].name);
        const auto in = [&](const std::function<FocusAnswer()>& action) {
            // A fresh timer: what the last action left running is not restored.
            control.setModel(&make());
            model->resetSession();
            model->selectMode(Mode::focus);
            kStates[i].reach(*model, clock);
            return action().tookEffect;
        };
        EXPECT_EQ(in([&] { return control.answerStartFocus(std::nullopt); }), expected[i].start);
        EXPECT_EQ(in([&] { return control.answerStartFocus(15); }), expected[i].start15);
        EXPECT_EQ(in([&] { return control.answerStartFocus(500); }), expected[i].start500);
        EXPECT_EQ(in([&] { return control.answerPauseOrResume(); }), expected[i].toggle);
        EXPECT_EQ(in([&] { return control.answerEndFocus(); }), expected[i].end);
        EXPECT_EQ(in([&] { return control.answer(QStringLiteral("end-focus"), 0); }),
                  expected[i].end);
    }
    control.setModel(nullptr);
    EXPECT_EQ(control.answerEndFocus(), (FocusAnswer{FocusControl::notRunning(), false}));
    EXPECT_EQ(control.answer(QStringLiteral("start"), 0), FocusAnswer{});
}

TEST_F(FocusControlTest, BusMethodsAnswerTheSentences) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) GTEST_SKIP() << "needs a session bus (run under scripts/with-desktop)";
    QObject owner;
    ASSERT_NE(FocusControlService::publish(bus, control, &owner), nullptr);
    // The caller is another connection, as another program would be.
    QDBusConnection caller =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("caller"));
    ASSERT_TRUE(caller.isConnected());
    const auto call = [&](const QString& method, const QVariantList& args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            bus.baseService(), QLatin1String(FocusControlService::kObjectPath),
            QLatin1String(FocusControlService::kInterface), method);
        m.setArguments(args);
        QDBusPendingCall pending = caller.asyncCall(m, 5000);
        EXPECT_TRUE(waitUntil([&] { return pending.isFinished(); }));
        const QDBusMessage reply = pending.reply();
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        return reply.arguments().value(0).toString();
    };

    EXPECT_EQ(call(QStringLiteral("StartFocus"), {500}), kOutOfRange);
    EXPECT_EQ(call(QStringLiteral("StartFocus"), {15}), kStarted15);
    EXPECT_EQ(model->remaining(), 900);
    EXPECT_EQ(call(QStringLiteral("StartFocus"), {0}), kAlreadyRunning);
    EXPECT_EQ(call(QStringLiteral("PauseOrResume")),
              QStringLiteral("Paused. The session is kept."));
    EXPECT_EQ(call(QStringLiteral("PauseOrResume")), QStringLiteral("Resumed."));
    EXPECT_EQ(call(QStringLiteral("EndFocus")), QStringLiteral("Session ended."));
    EXPECT_EQ(call(QStringLiteral("EndFocus")), QStringLiteral("Nothing is running."));

    // Run answers the sentence and whether it took effect, for the command line.
    QDBusMessage run = QDBusMessage::createMethodCall(
        bus.baseService(), QLatin1String(FocusControlService::kObjectPath),
        QLatin1String(FocusControlService::kInterface), QStringLiteral("Run"));
    run.setArguments({QStringLiteral("pause-or-resume"), 0});
    QDBusPendingCall pending = caller.asyncCall(run, 5000);
    ASSERT_TRUE(waitUntil([&] { return pending.isFinished(); }));
    EXPECT_EQ(pending.reply().arguments(),
              (QVariantList{QStringLiteral("Nothing is running \u2014 say start focus to begin."),
                            false}));
    run.setArguments({QStringLiteral("pause"), 0});
    QDBusPendingCall refused = caller.asyncCall(run, 5000);
    ASSERT_TRUE(waitUntil([&] { return refused.isFinished(); }));
    EXPECT_EQ(refused.reply().errorName(),
              QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"));

    // The path is taken while the first service lives, and free again once its owner is gone.
    QObject second;
    EXPECT_EQ(FocusControlService::publish(bus, control, &second), nullptr);
    QDBusConnection::disconnectFromBus(QStringLiteral("caller"));
}
