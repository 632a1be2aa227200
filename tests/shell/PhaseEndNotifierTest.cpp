// The phase-end notification over a real timer on fake time and a notification service in
// memory.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <functional>
#include <memory>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeNotifications.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "shell/PhaseEndNotifier.h"
#include "timer/FocusHistory.h"
#include "timer/TimerModel.h"

using namespace tw;
using tw::test::at;
using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

namespace {

const QString kStartNext = QLatin1String(PhaseEndNotifier::kStartNextKey);

class PhaseEndNotifierTest : public ::testing::Test {
public:
    tw::test::ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    std::unique_ptr<TimerModel> model;
    FakeNotifications notifications;
    std::unique_ptr<PhaseEndNotifier> notifier;

    void make() {
        notifier.reset();
        if (model) model->resetSession();  // nothing carried over into the next model
        model = std::make_unique<TimerModel>(prefs, defaults, clock, nullptr);
        notifier = std::make_unique<PhaseEndNotifier>(*model, prefs, notifications);
    }
    // Starts the current phase, lets it run out and takes the service's answer.
    void runOut() {
        model->toggle();
        clock.advance(double(model->phaseDuration()));
        QCoreApplication::processEvents();
    }
    quint32 currentID() const { return notifier->currentID().value_or(0); }
};

TEST_F(PhaseEndNotifierTest, EachPhaseThatRunsOutIsNotifiedInPlaceOfTheLast) {
    // Yesterday counted, so today's session makes a two-day streak.
    FocusHistory history;
    history.days.insert(QStringLiteral("2025-03-06"), {1500, 1});
    defaults.setData(QStringLiteral("weeklyFocusHistory"), history.encode());
    make();

    model->skip();  // ended early: nothing to notice
    model->skip();
    EXPECT_TRUE(notifications.sent().isEmpty());

    model->toggle();
    clock.advance(600);
    model->setDriftsThisSession(2);
    clock.advance(900);
    QCoreApplication::processEvents();
    const quint32 first = currentID();
    runOut();  // the break
    notifications.close(currentID());
    runOut();  // focus again

    const auto expected = [](const char* summary, const char* body, const char* label,
                             quint32 replaces) {
        NotificationRequest r;
        r.appName = QStringLiteral("Tarnwhistle");
        r.icon = QStringLiteral("dev.tarnwhistle.app");
        r.summary = QString::fromUtf8(summary);
        r.body = QString::fromUtf8(body);
        r.actions = {{kStartNext, QString::fromUtf8(label)}};
        r.desktopEntry = QStringLiteral("dev.tarnwhistle.app");
        r.category = QStringLiteral("x-tarnwhistle.phase");
        r.replacesID = replaces;
        return r;
    };
    const QList<NotificationRequest> want = {
        expected("Focus complete", "25 min focused · 2 drifts stopped · 2-day streak",
                 "Start break", 0),
        expected("Break over", "", "Start focus", first),
        // The last one was closed: nothing to replace.
        expected("Focus complete", "25 min focused · 2-day streak", "Start break", 0),
    };
    ASSERT_NE(first, 0u);
    ASSERT_EQ(notifications.sent().size(), want.size());
    for (int i = 0; i < want.size(); ++i) {
        EXPECT_EQ(notifications.sent()[i], want[i])
            << i << ": " << notifications.sent()[i].summary.toStdString() << " / "
            << notifications.sent()[i].body.toStdString();
    }
    EXPECT_TRUE(notifications.isShown(currentID()));
}

TEST_F(PhaseEndNotifierTest, ThePreferenceSwitchesItOff) {
    make();
    prefs.setPhaseEndNotification(false);
    runOut();
    EXPECT_TRUE(notifications.sent().isEmpty());
    EXPECT_FALSE(notifier->currentID());
    prefs.setPhaseEndNotification(true);
    runOut();
    ASSERT_EQ(notifications.sent().size(), 1);
    EXPECT_EQ(notifications.sent()[0].summary, QStringLiteral("Break over"));
}

TEST_F(PhaseEndNotifierTest, TheButtonStartsThePhaseThatFollows) {
    make();
    for (const Mode next : {Mode::rest, Mode::focus}) {
        runOut();
        ASSERT_EQ(model->mode(), next);
        notifications.invoke(currentID(), kStartNext);
        EXPECT_EQ(model->runState(), RunState::running) << TimerModel::rawValue(next).toStdString();
        EXPECT_EQ(model->mode(), next);
        // A second press (a desktop that keeps the notification) does not pause it.
        notifications.invoke(currentID(), kStartNext);
        EXPECT_EQ(model->runState(), RunState::running);
        model->toggle();  // paused: runOut starts it again
    }
}

TEST_F(PhaseEndNotifierTest, AButtonThatNoLongerAppliesDoesNothing) {
    struct Case {
        const char* name;
        // Arranges the situation after a focus phase ran out and answers the press to make.
        std::function<std::pair<quint32, QString>(PhaseEndNotifierTest&)> arrange;
        RunState state;
        Mode mode;
    };
    const Case cases[] = {
        {"another button",
         [](PhaseEndNotifierTest& t) {
             return std::pair{t.currentID(), QStringLiteral("default")};
         },
         RunState::idle, Mode::rest},
        {"another application's notification",
         [](PhaseEndNotifierTest& t) {
             return std::pair{t.currentID() + 40, kStartNext};
         },
         RunState::idle, Mode::rest},
        {"the break was started from elsewhere",
         [](PhaseEndNotifierTest& t) {
             t.model->toggle();
             return std::pair{t.currentID(), kStartNext};
         },
         RunState::running, Mode::rest},
        {"the break was skipped",
         [](PhaseEndNotifierTest& t) {
             t.model->skip();
             return std::pair{t.currentID(), kStartNext};
         },
         RunState::idle, Mode::focus},
        {"an older notification, closed before the next one",
         [](PhaseEndNotifierTest& t) {
             const quint32 older = t.currentID();
             t.notifications.close(older);
             t.runOut();  // the break: focus waits to start, as the older button would want
             return std::pair{older, kStartNext};
         },
         RunState::idle, Mode::focus},
        {"a press before the desktop answered",
         [](PhaseEndNotifierTest& t) {
             t.model->toggle();
             t.clock.advance(300);  // the break ran out; its answer has not come yet
             return std::pair{t.currentID(), kStartNext};
         },
         RunState::idle, Mode::focus},
        {"no notification service",
         [](PhaseEndNotifierTest& t) {
             const quint32 earlier = t.currentID();
             t.notifications.setAvailable(false);
             t.runOut();  // the break
             return std::pair{earlier, kStartNext};
         },
         RunState::idle, Mode::focus},
    };
    for (const Case& c : cases) {
        notifications.setAvailable(true);
        make();
        runOut();
        const auto [id, key] = c.arrange(*this);
        notifications.invoke(id, key);
        EXPECT_EQ(model->runState(), c.state) << c.name;
        EXPECT_EQ(model->mode(), c.mode) << c.name;
        QCoreApplication::processEvents();
    }
}

}  // namespace
