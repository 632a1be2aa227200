#include <QJsonDocument>
#include <QJsonObject>

#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

class SessionRestoreTest : public TimerFixture {
public:
    void store(const SavedSession& s) {
        defaults.setData(QStringLiteral("activeTimerSession"), s.encode());
    }

    SavedSession runningFocus(double startedAgo, double length = 1500) {
        SavedSession s;
        s.id = QUuid::createUuid();
        s.mode = QStringLiteral("focus");
        s.state = QStringLiteral("running");
        const Instant start = clock.now() - startedAgo;
        s.endDate = start + length;
        s.phaseStart = start;
        s.focusSegmentStart = start;
        s.remaining = qint64(length);
        s.pausedElapsed = 0;
        s.phaseSeconds = qint64(length);
        return s;
    }
};

TEST_F(SessionRestoreTest, CopiesThatAreRejectedAreRemoved) {
    struct Case {
        const char* name;
        std::function<void(SessionRestoreTest&)> write;
    };
    const std::vector<Case> cases = {
        {"not JSON",
         [](SessionRestoreTest& t) {
             t.defaults.setData(QStringLiteral("activeTimerSession"), "{nope");
         }},
        {"not data",
         [](SessionRestoreTest& t) {
             t.defaults.setString(QStringLiteral("activeTimerSession"), QStringLiteral("{}"));
         }},
        {"unknown mode",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.mode = QStringLiteral("pomodoro");
             t.store(s);
         }},
        {"idle",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.state = QStringLiteral("idle");
             t.store(s);
         }},
        {"remaining 90000",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.remaining = 90000;
             t.store(s);
         }},
        {"pausedElapsed below a day back",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.pausedElapsed = -86401;
             t.store(s);
         }},
        {"end two days ahead",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.endDate = t.clock.now() + 172800.0;
             t.store(s);
         }},
        {"running without end",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.endDate.reset();
             t.store(s);
         }},
        {"paused with nothing left",
         [](SessionRestoreTest& t) {
             auto s = t.runningFocus(10);
             s.state = QStringLiteral("paused");
             s.remaining = 0;
             s.endDate.reset();
             t.store(s);
         }},
        {"missing id",
         [](SessionRestoreTest& t) {
             t.defaults.setData(
                 QStringLiteral("activeTimerSession"),
                 R"({"mode":"focus","state":"paused","remaining":5,"pausedElapsed":0})");
         }},
        {"remaining not an integer",
         [](SessionRestoreTest& t) {
             t.defaults.setData(
                 QStringLiteral("activeTimerSession"),
                 R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","mode":"focus","state":"paused","remaining":5.5,"pausedElapsed":0})");
         }},
        {"endDate as text",
         [](SessionRestoreTest& t) {
             t.defaults.setData(
                 QStringLiteral("activeTimerSession"),
                 R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","mode":"focus","state":"running","remaining":5,"pausedElapsed":0,"endDate":"soon"})");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.write(*this);
        auto& m = make();
        EXPECT_FALSE(defaults.contains(QStringLiteral("activeTimerSession")));
        EXPECT_EQ(m.mode(), Mode::focus);
        EXPECT_EQ(m.runState(), RunState::idle);
        EXPECT_EQ(m.remaining(), 1500);
        EXPECT_FALSE(m.endDate());
    }
}

TEST_F(SessionRestoreTest, ARunningFocusSessionResumesAgainstItsEndDate) {
    // Killed ten minutes into a 25-minute phase and started again five minutes later.
    auto& first = make();
    first.toggle();
    const QUuid session = first.sessionID();
    const Instant end = *first.endDate();
    clock.advance(600);
    model.reset();  // a kill: nothing runs on the way out
    clock.advance(300);
    clearRecords();

    auto& m = make();
    EXPECT_TRUE(m.didRestoreSession());
    EXPECT_EQ(m.runState(), RunState::running);
    EXPECT_EQ(m.sessionID(), session);
    EXPECT_EQ(m.endDate(), end);
    EXPECT_EQ(m.remaining(), 600);
    EXPECT_EQ(m.phaseSeconds(), 1500);
    EXPECT_TRUE(activity.empty()) << "construction calls no callback";
    m.toggle();
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 900) << "the time away counts";
    clock.advance(1);
    EXPECT_EQ(m.remaining(), 600) << "paused: the ticker is gone";
}

TEST_F(SessionRestoreTest, AFocusSessionWhoseEndPassedCompletesSilentlyOnItsEndDay) {
    ScopedTimeZone berlin("Europe/Berlin");
    clock.jumpTo(at("Europe/Berlin", 2025, 3, 7, 23, 40));
    auto s = runningFocus(0);
    store(s);
    clock.jumpTo(at("Europe/Berlin", 2025, 3, 9, 9, 0));  // two mornings later
    auto& m = make();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(m.runState(), RunState::idle);
    EXPECT_FALSE(defaults.contains(QStringLiteral("activeTimerSession")));
    EXPECT_EQ(chime.plays, 0);
    const FocusHistory h = storedHistory();
    EXPECT_DOUBLE_EQ(secondsOn(h, "2025-03-07"), 1200);
    EXPECT_DOUBLE_EQ(secondsOn(h, "2025-03-08"), 300);
    EXPECT_EQ(sessionsOn(h, "2025-03-08"), 1);
    EXPECT_EQ(m.completedToday(), 0) << "today is the 9th";
    ASSERT_TRUE(m.sessionSummary());
    EXPECT_EQ(m.sessionSummary()->minutes, 25);
    EXPECT_EQ(m.sessionSummary()->endedAt, *s.endDate);
}

TEST_F(SessionRestoreTest, PausedAndBreakCopies) {
    SavedSession paused = runningFocus(100);
    paused.mode = QStringLiteral("rest");
    paused.state = QStringLiteral("paused");
    paused.endDate.reset();
    paused.focusSegmentStart.reset();
    paused.phaseStart.reset();
    paused.remaining = 200;
    paused.pausedElapsed = 100;
    paused.phaseSeconds.reset();
    store(paused);
    clock.advance(30 * 86400.0);  // however long it was gone
    auto& m = make();
    EXPECT_EQ(m.mode(), Mode::rest);
    EXPECT_EQ(m.runState(), RunState::paused);
    EXPECT_EQ(m.remaining(), 200);
    EXPECT_EQ(m.phaseSeconds(), 300)
        << "without phaseSeconds: the larger of the full length and remaining";
    EXPECT_EQ(m.sessionID(), paused.id);
    m.toggle();
    EXPECT_EQ(m.endDate(), clock.now() + 200.0);

    // A running break continues and is never credited.
    SavedSession brk = runningFocus(100, 300);
    brk.mode = QStringLiteral("rest");
    brk.focusSegmentStart.reset();
    store(brk);
    auto& b = make();
    EXPECT_EQ(b.runState(), RunState::running);
    EXPECT_EQ(b.remaining(), 200);
    clock.advance(200);
    EXPECT_EQ(b.mode(), Mode::focus);
    EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 0);
}

TEST_F(SessionRestoreTest, ImplausibleSegmentStartsRestartAtLaunch) {
    for (double offset : {+10.0, -(172800.0 + 3600.0)}) {
        SCOPED_TRACE(offset);
        defaults.remove(QStringLiteral("weeklyFocusHistory"));
        auto s = runningFocus(60);
        s.focusSegmentStart = *s.endDate + offset;
        s.phaseSeconds.reset();
        store(s);
        auto& m = make();
        EXPECT_EQ(m.runState(), RunState::running);
        EXPECT_EQ(m.phaseSeconds(), 1500);
        clock.advance(30);
        m.toggle();
        EXPECT_DOUBLE_EQ(secondsOn(storedHistory(), "2025-03-07"), 30) << "only time since launch";
    }
}

TEST_F(SessionRestoreTest, AQuitThroughResetLeavesNothingToRestore) {
    auto& m = make();
    m.toggle();
    m.resetSession();
    EXPECT_FALSE(defaults.contains(QStringLiteral("activeTimerSession")));
    EXPECT_EQ(make().runState(), RunState::idle);
    EXPECT_FALSE(model->didRestoreSession());
}

TEST_F(SessionRestoreTest, TheStoredFormMatchesTheDocumentedExample) {
    auto& m = make();
    m.toggle();
    const auto data = defaults.data(QStringLiteral("activeTimerSession"));
    ASSERT_TRUE(data);
    const QJsonObject o = QJsonDocument::fromJson(*data).object();
    const double end = (clock.now() + 1500.0).seconds;
    EXPECT_EQ(o.value(QStringLiteral("mode")).toString(), QStringLiteral("focus"));
    EXPECT_EQ(o.value(QStringLiteral("state")).toString(), QStringLiteral("running"));
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("endDate")).toDouble(), end);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("phaseStart")).toDouble(), end - 1500);
    EXPECT_DOUBLE_EQ(o.value(QStringLiteral("focusSegmentStart")).toDouble(), end - 1500);
    EXPECT_EQ(o.value(QStringLiteral("remaining")).toInteger(), 1500);
    EXPECT_EQ(o.value(QStringLiteral("pausedElapsed")).toInteger(), 0);
    EXPECT_EQ(o.value(QStringLiteral("phaseSeconds")).toInteger(), 1500);
    EXPECT_EQ(o.value(QStringLiteral("id")).toString(),
              m.sessionID().toString(QUuid::WithoutBraces).toUpper());
    m.toggle();
    const QJsonObject p =
        QJsonDocument::fromJson(*defaults.data(QStringLiteral("activeTimerSession"))).object();
    EXPECT_FALSE(p.contains(QStringLiteral("endDate"))) << "absent values are left out, never null";
    EXPECT_FALSE(p.contains(QStringLiteral("focusSegmentStart")));
}

}  // namespace
}  // namespace tw::test
