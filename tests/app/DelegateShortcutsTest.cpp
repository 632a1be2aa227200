// The delegate's global shortcuts: registered at launch in their order, start/pause drives the
// timer, none is held while a shortcut is recorded, all are released when the application ends.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTemporaryDir>
#include <memory>

#include "app/AppDelegate.h"
#include "app/DelegateFixture.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSystemEvents.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"
#include "timer/DriftLog.h"
#include "timer/TimerModel.h"

using namespace tw;
using RunState = TimerModel::RunState;

namespace {

class DelegateShortcuts : public tw::test::DelegateFixture {
protected:
    void SetUp() override { make(); }

    bool press(ShortcutAction action) {
        const ShortcutConfiguration c = delegate->preferences().shortcut(action);
        return hotKeys.press(c.keyCode, c.modifiers);
    }
};

}  // namespace

TEST_F(DelegateShortcuts, LaunchRegistersAllThreeAndStartPauseTogglesTheTimer) {
    EXPECT_FALSE(delegate->applyShortcut(defaultShortcut(ShortcutAction::startPause),
                                         ShortcutAction::startPause));  // not launched yet
    delegate->applicationDidFinishLaunching();
    ASSERT_EQ(hotKeys.registrations().size(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(hotKeys.registrations()[i].id.id, quint32(i + 1));

    EXPECT_TRUE(press(ShortcutAction::startPause));
    EXPECT_EQ(delegate->model().runState(), RunState::running);
    EXPECT_TRUE(press(ShortcutAction::startPause));
    EXPECT_EQ(delegate->model().runState(), RunState::paused);
    EXPECT_TRUE(press(ShortcutAction::showIsland));
    EXPECT_TRUE(press(ShortcutAction::toggleStyle));
    EXPECT_EQ(delegate->model().runState(), RunState::paused);

    // A new combination through the delegate, as the settings window applies it.
    const ShortcutConfiguration f6{97, modifier::control, QStringLiteral("F6")};
    EXPECT_TRUE(delegate->applyShortcut(f6, ShortcutAction::startPause));
    EXPECT_TRUE(hotKeys.press(f6.keyCode, f6.modifiers));
    EXPECT_EQ(delegate->model().runState(), RunState::running);
}

TEST_F(DelegateShortcuts, RecordingReleasesEveryHotKeyAndTerminationReleasesThemForGood) {
    delegate->applicationDidFinishLaunching();
    delegate->preferences().setRecordingShortcut(ShortcutAction::toggleStyle);
    QCoreApplication::processEvents();
    EXPECT_EQ(hotKeys.registrations().size(), 0);
    EXPECT_FALSE(press(ShortcutAction::startPause));
    EXPECT_EQ(delegate->model().runState(), RunState::idle);

    delegate->preferences().setRecordingShortcut(std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_EQ(hotKeys.registrations().size(), 3);

    delegate->applicationWillTerminate();
    EXPECT_EQ(hotKeys.registrations().size(), 0);
    EXPECT_EQ(hotKeys.handlerCount(), 0);
    EXPECT_FALSE(press(ShortcutAction::startPause));
}
