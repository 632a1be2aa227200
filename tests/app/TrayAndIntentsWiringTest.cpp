// How the launch connects the tray menu, the phase-end notification and the actions for other
// programs to the timer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <memory>

#include "app/AppDelegate.h"
#include "app/DelegateFixture.h"
#include "app/FocusControl.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeNotifications.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSystemEvents.h"
#include "preferences/AppPreferences.h"
#include "shell/MenuBarController.h"
#include "shell/PhaseEndNotifier.h"
#include "timer/DriftLog.h"
#include "timer/TimerModel.h"

using namespace tw;
using tw::test::at;

namespace {

void drainEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class TrayAndIntentsWiring : public tw::test::DelegateFixture {};

}  // namespace

TEST_F(TrayAndIntentsWiring, ActionsReachTheLaunchedTimerAndStopWithIt) {
    AppDelegate& d = launch();
    EXPECT_EQ(FocusControl::shared().model(), &d.model());
    EXPECT_EQ(FocusControl::shared().startFocus(std::nullopt),
              QStringLiteral("Focus session started for 25 minutes."));
    EXPECT_EQ(d.model().runState(), TimerModel::RunState::running);
    delegate.reset();
    EXPECT_EQ(FocusControl::shared().endFocus(), QStringLiteral("Tarnwhistle is not running."));
}

TEST_F(TrayAndIntentsWiring, TrayQuitIsTheUsersQuit) {
    AppDelegate& d = launch();
    auto* bar = d.findChild<MenuBarController*>();
    ASSERT_NE(bar, nullptr);
    MenuItem quit;
    quit.action = MenuAction::quit;
    bar->perform(quit);
    EXPECT_FALSE(d.isTerminating());  // asked from the event loop, not from inside the menu
    drainEvents();
    EXPECT_TRUE(d.isTerminating());
    drainEvents();
    EXPECT_EQ(terminations, 1);  // idle: no question
}

TEST_F(TrayAndIntentsWiring, TrayIconFollowsThePreferenceFromLaunch) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        GTEST_SKIP() << "needs the test desktop";
    standard.setBool(QLatin1String(AppPreferences::menuBarIconEnabledKey), false);
    AppDelegate& d = launch();
    auto* bar = d.findChild<MenuBarController*>();
    ASSERT_NE(bar, nullptr);
    drainEvents();
    EXPECT_EQ(bar->statusItem(), nullptr);
    d.preferences().setMenuBarIconEnabled(true);
    drainEvents();
    ASSERT_NE(bar->statusItem(), nullptr);
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Idle \u00B7 Focus 25 min"));
}

TEST_F(TrayAndIntentsWiring, APhaseThatRunsOutIsNotifiedAndItsButtonStartsTheNextPhase) {
    AppDelegate& d = launch();
    d.model().toggle();
    scheduler.advance(1500);
    drainEvents();
    ASSERT_EQ(notifications.sent().size(), 1);
    EXPECT_EQ(notifications.sent()[0].summary, QStringLiteral("Focus complete"));
    auto* notifier = d.findChild<PhaseEndNotifier*>();
    ASSERT_NE(notifier, nullptr);
    ASSERT_TRUE(notifier->currentID());
    notifications.invoke(*notifier->currentID(), QLatin1String(PhaseEndNotifier::kStartNextKey));
    EXPECT_EQ(d.model().runState(), TimerModel::RunState::running);
    EXPECT_EQ(d.model().mode(), TimerModel::Mode::rest);
}
