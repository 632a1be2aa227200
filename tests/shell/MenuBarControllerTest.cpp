// The tray controller: its actions over a real timer and, on the test desktop, the tray icon it
// keeps (the test desktop has no tray host, so the icon waits unseen, as it would on a desktop
// without a tray).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QSystemTrayIcon>
#include <memory>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "shell/MenuBarController.h"
#include "timer/TimerModel.h"

using namespace tw;
using tw::test::at;
using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

namespace {

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

void drainEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

MenuItem entry(MenuAction action) {
    MenuItem i;
    i.action = action;
    return i;
}

class MenuBarControllerTest : public ::testing::Test {
protected:
    tw::test::ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    TimerModel model{prefs, defaults, clock, nullptr};
    std::unique_ptr<MenuBarController> bar;
    QStringList calls;
    std::optional<FocusTask> picked;
    int picks = 0;

    MenuBarController& make() {
        bar = std::make_unique<MenuBarController>(model, prefs);
        bar->onToggleIsland = [this] { calls << QStringLiteral("toggleIsland"); };
        bar->onToggleIslandStyle = [this] { calls << QStringLiteral("toggleStyle"); };
        bar->onSelectStyle = [this](IslandStyle s) {
            calls << QStringLiteral("select ") + rawValue(s);
        };
        bar->onShowHistory = [this] { calls << QStringLiteral("history"); };
        bar->onShowSettings = [this] { calls << QStringLiteral("settings"); };
        bar->onQuit = [this] { calls << QStringLiteral("quit"); };
        return *bar;
    }

    QList<QSystemTrayIcon*> icons() const {
        return bar ? bar->findChildren<QSystemTrayIcon*>() : QList<QSystemTrayIcon*>{};
    }
};

}  // namespace

TEST_F(MenuBarControllerTest, ActionsReachTheirTargets) {
    MenuBarController& b = make();
    const std::vector<std::pair<MenuAction, QString>> hooks = {
        {MenuAction::toggleIsland, QStringLiteral("toggleIsland")},
        {MenuAction::toggleIslandStyle, QStringLiteral("toggleStyle")},
        {MenuAction::showHistory, QStringLiteral("history")},
        {MenuAction::showSettings, QStringLiteral("settings")},
        {MenuAction::quit, QStringLiteral("quit")},
        {MenuAction::none, QString()},
    };
    for (const auto& [action, call] : hooks) {
        calls.clear();
        b.perform(entry(action));
        EXPECT_EQ(calls, call.isEmpty() ? QStringList{} : QStringList{call});
    }

    // A style choice passes its style; an entry without one does nothing.
    calls.clear();
    MenuItem pill = entry(MenuAction::selectStyle);
    pill.style = IslandStyle::pill;
    b.perform(pill);
    b.perform(entry(MenuAction::selectStyle));
    EXPECT_EQ(calls, QStringList{QStringLiteral("select pill")});
    EXPECT_EQ(model.runState(), RunState::idle);  // none of these touched the timer
}

TEST_F(MenuBarControllerTest, TimerActionsStartResetAndUndo) {
    MenuBarController& b = make();
    b.perform(entry(MenuAction::toggleTimer));
    EXPECT_EQ(model.runState(), RunState::running);
    clock.advance(60);
    b.perform(entry(MenuAction::toggleTimer));
    EXPECT_EQ(model.runState(), RunState::paused);

    b.perform(entry(MenuAction::resetTimer));
    EXPECT_EQ(model.runState(), RunState::idle);
    ASSERT_TRUE(model.undoOffer().has_value());
    EXPECT_EQ(model.undoOffer()->label, QStringLiteral("Session reset"));
    b.perform(entry(MenuAction::undoReset));
    EXPECT_EQ(model.runState(), RunState::paused);
    EXPECT_EQ(model.remaining(), 1440);

    model.resetSession();
    model.selectMode(Mode::rest);
    b.perform(entry(MenuAction::toggleTimer));
    b.perform(entry(MenuAction::resetTimer));
    ASSERT_TRUE(model.undoOffer().has_value());
    EXPECT_EQ(model.undoOffer()->label, QStringLiteral("Break reset"));
}

TEST_F(MenuBarControllerTest, TaskChoiceGoesToTheTaskListAndNeedsOne) {
    MenuBarController& b = make();
    MenuItem task = entry(MenuAction::pickTask);
    task.task = FocusTask{QStringLiteral("t1"), QStringLiteral("p1"), QStringLiteral("Write")};
    b.perform(task);  // no task list: nothing happens
    EXPECT_EQ(picks, 0);

    FocusTaskSource source;
    source.select = [this](const std::optional<FocusTask>& t) {
        ++picks;
        picked = t;
    };
    b.tickTick = source;
    b.perform(task);
    EXPECT_EQ(picks, 1);
    EXPECT_EQ(picked, task.task);
    b.perform(entry(MenuAction::pickTask));  // "No task"
    EXPECT_EQ(picks, 2);
    EXPECT_FALSE(picked.has_value());
}

TEST_F(MenuBarControllerTest, IconFollowsThePreferenceWithOneItemAtMost) {
    if (!haveWidgets()) GTEST_SKIP() << "needs the test desktop";
    make();
    EXPECT_EQ(bar->statusItem(), nullptr);  // the preference arrives from the event loop
    drainEvents();
    ASSERT_NE(bar->statusItem(), nullptr);
    EXPECT_FALSE(bar->statusItem()->icon().isNull());
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Idle \u00B7 Focus 25 min"));
    QSystemTrayIcon* first = bar->statusItem();

    // Off and on twice in quick succession, then the current value again: the icon stays.
    for (const bool value : {false, true, false, true, true}) {
        prefs.setMenuBarIconEnabled(value);
        EXPECT_LE(icons().size(), 1);
    }
    drainEvents();
    EXPECT_EQ(bar->statusItem(), first);
    EXPECT_EQ(icons().size(), 1);

    prefs.setMenuBarIconEnabled(false);
    drainEvents();
    EXPECT_EQ(bar->statusItem(), nullptr);
    EXPECT_TRUE(icons().isEmpty());
    prefs.setMenuBarIconEnabled(true);
    drainEvents();
    EXPECT_NE(bar->statusItem(), nullptr);
    EXPECT_EQ(icons().size(), 1);

    // The launch's direct call applies the preference at once.
    prefs.setMenuBarIconEnabled(false);
    bar->updateVisibility();
    EXPECT_EQ(bar->statusItem(), nullptr);
    drainEvents();
    EXPECT_EQ(bar->statusItem(), nullptr);

    // A direct call between a switch and its delivery: the icon still ends as the preference.
    prefs.setMenuBarIconEnabled(true);
    drainEvents();
    ASSERT_NE(bar->statusItem(), nullptr);
    prefs.setMenuBarIconEnabled(false);
    bar->updateVisibility();
    prefs.setMenuBarIconEnabled(true);
    drainEvents();
    EXPECT_NE(bar->statusItem(), nullptr);
    EXPECT_EQ(icons().size(), 1);
}

TEST_F(MenuBarControllerTest, TooltipFollowsRunStateAndMode) {
    if (!haveWidgets()) GTEST_SKIP() << "needs the test desktop";
    make();
    drainEvents();
    ASSERT_NE(bar->statusItem(), nullptr);
    model.toggle();
    drainEvents();
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Focus \u00B7 25:00 left"));
    clock.advance(100);  // seconds passing do not change it
    drainEvents();
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Focus \u00B7 25:00 left"));
    model.toggle();
    drainEvents();
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Focus paused \u00B7 23:20 left"));
    model.skip();
    drainEvents();
    EXPECT_EQ(bar->toolTip(), QStringLiteral("Tarnwhistle \u2014 Idle \u00B7 Break 5 min"));
}

TEST_F(MenuBarControllerTest, MenuIsRebuiltEachTimeItOpens) {
    if (!haveWidgets()) GTEST_SKIP() << "needs the test desktop";
    make();
    bool expanded = false;
    bar->islandExpanded = [&] { return expanded; };
    drainEvents();
    QMenu* menu = bar->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(bar->statusItem()->contextMenu(), menu);

    const auto texts = [&] {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("---") : a->text());
        return out;
    };
    const auto action = [&](const QString& text) -> QAction* {
        for (QAction* a : menu->actions())
            if (a->text() == text) return a;
        return nullptr;
    };

    Q_EMIT menu->aboutToShow();
    EXPECT_EQ(texts(),
              (QStringList{QStringLiteral("Idle \u00B7 Focus 25 min"), QStringLiteral("---"),
                           QStringLiteral("Open Island"), QStringLiteral("Float as a pill"),
                           QStringLiteral("Island style"), QStringLiteral("Start Focus"),
                           QStringLiteral("---"), QStringLiteral("History\u2026"),
                           QStringLiteral("Settings\u2026"), QStringLiteral("---"),
                           QStringLiteral("Quit Tarnwhistle")}));
    EXPECT_FALSE(menu->actions().first()->isEnabled());
    EXPECT_EQ(action(QStringLiteral("Float as a pill"))->shortcut(),
              QKeySequence(QStringLiteral("Ctrl+Alt+P")));
    QAction* styles = action(QStringLiteral("Island style"));
    ASSERT_NE(styles->menu(), nullptr);
    const QList<QAction*> choices = styles->menu()->actions();
    ASSERT_EQ(choices.size(), 4);
    EXPECT_TRUE(choices[0]->isChecked());  // Automatic, the stored preference
    EXPECT_FALSE(choices[2]->isChecked());

    // Choosing an entry runs its action; the next opening shows the new state.
    action(QStringLiteral("Start Focus"))->trigger();
    EXPECT_EQ(model.runState(), RunState::running);
    choices[2]->trigger();
    EXPECT_EQ(calls, QStringList{QStringLiteral("select pill")});
    expanded = true;
    Q_EMIT menu->aboutToShow();
    EXPECT_EQ(texts().first(), QStringLiteral("Focus \u00B7 25:00 left"));
    EXPECT_NE(action(QStringLiteral("Close Island")), nullptr);
    EXPECT_NE(action(QStringLiteral("Pause Focus")), nullptr);
    EXPECT_NE(action(QStringLiteral("Reset Focus")), nullptr);
    // The old submenus went with the old entries.
    EXPECT_EQ(menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly).size(), 1);
    action(QStringLiteral("Quit Tarnwhistle"))->trigger();
    EXPECT_EQ(calls.last(), QStringLiteral("quit"));
}
