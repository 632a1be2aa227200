// The tray menu as data, built from a real timer over a fake clock.
#include <gtest/gtest.h>

#include <QStringList>
#include <functional>
#include <memory>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "shell/MenuModel.h"
#include "timer/TimerModel.h"

using namespace tw;
using tw::test::at;
using Mode = TimerModel::Mode;

namespace {

const QString kSep = QStringLiteral("---");

QStringList titles(const QList<MenuItem>& items) {
    QStringList out;
    for (const MenuItem& i : items) out << (i.separator ? kSep : i.title);
    return out;
}

const MenuItem* find(const QList<MenuItem>& items, const QString& title) {
    for (const MenuItem& i : items)
        if (!i.separator && i.title == title) return &i;
    return nullptr;
}

class MenuModelTest : public ::testing::Test {
protected:
    tw::test::ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    TimerModel model{prefs, defaults, clock, nullptr};

    QList<MenuItem> build(const MenuIslandState& island = {},
                          const FocusTaskSource* tasks = nullptr) {
        return menumodel::build(model, prefs, island, tasks);
    }
};

struct TimerCase {
    const char* name;
    std::function<void(TimerModel&, FakeScheduler&)> setup;
    QString status;
    QStringList menu;
};

const QStringList kHead{QString(), kSep, QStringLiteral("Open Island"),
                        QStringLiteral("Float as a pill"), QStringLiteral("Island style")};
const QStringList kTail{kSep, QStringLiteral("History\u2026"), QStringLiteral("Settings\u2026"),
                        kSep, QStringLiteral("Quit Tarnwhistle")};

QStringList menuOf(const QString& status, const QStringList& middle) {
    QStringList m = kHead;
    m[0] = status;
    return m + middle + kTail;
}

}  // namespace

TEST_F(MenuModelTest, FollowsTheTimerInEveryState) {
    const std::vector<TimerCase> cases = {
        {"idle focus",
         [](TimerModel&, FakeScheduler&) {},
         QStringLiteral("Idle \u00B7 Focus 25 min"),
         {QStringLiteral("Start Focus")}},
        {"idle break",
         [](TimerModel& m, FakeScheduler&) { m.selectMode(Mode::rest); },
         QStringLiteral("Idle \u00B7 Break 5 min"),
         {QStringLiteral("Start Break")}},
        {"running focus",
         [](TimerModel& m, FakeScheduler& c) {
             m.toggle();
             c.advance(61);
         },
         QStringLiteral("Focus \u00B7 23:59 left"),
         {QStringLiteral("Pause Focus"), QStringLiteral("Reset Focus")}},
        {"paused break with 3:07 left",
         [](TimerModel& m, FakeScheduler& c) {
             m.selectMode(Mode::rest);
             m.toggle();
             c.advance(113);
             m.toggle();
         },
         QStringLiteral("Break paused \u00B7 3:07 left"),
         {QStringLiteral("Resume Break"), QStringLiteral("Reset Break")}},
        {"running break, custom length",
         [](TimerModel& m, FakeScheduler&) {
             m.setBreakMinutes(12);
             m.selectMode(Mode::rest);
             m.toggle();
         },
         QStringLiteral("Break \u00B7 12:00 left"),
         {QStringLiteral("Pause Break"), QStringLiteral("Reset Break")}},
        {"right after a reset in focus",
         [](TimerModel& m, FakeScheduler& c) {
             m.toggle();
             c.advance(30);
             m.reset(menumodel::resetUndoLabel(m.mode()));
         },
         QStringLiteral("Idle \u00B7 Focus 25 min"),
         {QStringLiteral("Start Focus"), QStringLiteral("Undo session reset")}},
        {"right after a reset of a break",
         [](TimerModel& m, FakeScheduler&) {
             m.selectMode(Mode::rest);
             m.toggle();
             m.reset(menumodel::resetUndoLabel(m.mode()));
         },
         QStringLiteral("Idle \u00B7 Focus 25 min"),
         {QStringLiteral("Start Focus"), QStringLiteral("Undo break reset")}},
        {"the undo offer has expired",
         [](TimerModel& m, FakeScheduler& c) {
             m.toggle();
             m.reset(menumodel::resetUndoLabel(m.mode()));
             c.advance(10);
         },
         QStringLiteral("Idle \u00B7 Focus 25 min"),
         {QStringLiteral("Start Focus")}},
    };
    for (const TimerCase& c : cases) {
        SCOPED_TRACE(c.name);
        TimerModel m(prefs, defaults, clock, nullptr);
        c.setup(m, clock);
        EXPECT_EQ(menumodel::statusText(m), c.status);
        EXPECT_EQ(menumodel::toolTip(m), QStringLiteral("Tarnwhistle \u2014 ") + c.status);
        const QList<MenuItem> menu = menumodel::build(m, prefs, {}, nullptr);
        EXPECT_EQ(titles(menu), menuOf(c.status, c.menu));
        ASSERT_FALSE(menu.isEmpty());
        EXPECT_FALSE(menu[0].enabled);  // the status line only tells
        EXPECT_EQ(menu[0].action, MenuAction::none);
        m.resetSession();
        m.setBreakMinutes(5);
    }
}

TEST_F(MenuModelTest, EntriesCarryTheirActions) {
    model.toggle();
    const QList<MenuItem> menu = build();
    const std::vector<std::pair<QString, MenuAction>> expected = {
        {QStringLiteral("Open Island"), MenuAction::toggleIsland},
        {QStringLiteral("Float as a pill"), MenuAction::toggleIslandStyle},
        {QStringLiteral("Island style"), MenuAction::none},
        {QStringLiteral("Pause Focus"), MenuAction::toggleTimer},
        {QStringLiteral("Reset Focus"), MenuAction::resetTimer},
        {QStringLiteral("History\u2026"), MenuAction::showHistory},
        {QStringLiteral("Settings\u2026"), MenuAction::showSettings},
        {QStringLiteral("Quit Tarnwhistle"), MenuAction::quit},
    };
    for (const auto& [title, action] : expected) {
        const MenuItem* i = find(menu, title);
        ASSERT_NE(i, nullptr) << title.toStdString();
        EXPECT_EQ(i->action, action) << title.toStdString();
        EXPECT_TRUE(i->enabled) << title.toStdString();
    }
    // Only the style switch has a key equivalent.
    for (const MenuItem& i : menu) {
        EXPECT_EQ(i.keyEquivalent.isEmpty(), i.action != MenuAction::toggleIslandStyle)
            << i.title.toStdString();
    }
}

TEST_F(MenuModelTest, IslandEntriesFollowTheIslandAndTheStoredStyle) {
    struct Case {
        MenuIslandState island;
        QString toggle;
        QString styleSwitch;
        IslandStyle checked;
    };
    const std::vector<Case> cases = {
        {{false, IslandStyle::notch, IslandStyle::notch},
         QStringLiteral("Open Island"),
         QStringLiteral("Float as a pill"),
         IslandStyle::notch},
        // The preference automatic resolved to a pill: the switch looks at the style in effect,
        // the submenu at the preference.
        {{true, IslandStyle::pill, IslandStyle::automatic},
         QStringLiteral("Close Island"),
         QStringLiteral("Sit at the top edge"),
         IslandStyle::automatic},
        {{false, IslandStyle::menuBarOnly, IslandStyle::menuBarOnly},
         QStringLiteral("Open Island"),
         QStringLiteral("Float as a pill"),
         IslandStyle::menuBarOnly},
        {{true, IslandStyle::pill, IslandStyle::pill},
         QStringLiteral("Close Island"),
         QStringLiteral("Sit at the top edge"),
         IslandStyle::pill},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.toggle.toStdString() + " / " + c.styleSwitch.toStdString());
        const QList<MenuItem> menu = build(c.island);
        EXPECT_EQ(menu[2].title, c.toggle);
        EXPECT_EQ(menu[3].title, c.styleSwitch);
        const MenuItem* styles = find(menu, QStringLiteral("Island style"));
        ASSERT_NE(styles, nullptr);
        EXPECT_EQ(titles(styles->submenu),
                  (QStringList{QStringLiteral("Automatic"), QStringLiteral("Top edge"),
                               QStringLiteral("Pill"), QStringLiteral("Tray only")}));
        for (int k = 0; k < styles->submenu.size(); ++k) {
            const MenuItem& choice = styles->submenu[k];
            EXPECT_EQ(choice.action, MenuAction::selectStyle);
            EXPECT_EQ(choice.style, allIslandStyles[k]);
            EXPECT_EQ(choice.checked, allIslandStyles[k] == c.checked) << k;
        }
    }
}

TEST_F(MenuModelTest, StyleSwitchKeyComesFromTheToggleStyleShortcutsKeyLabel) {
    struct Case {
        ShortcutConfiguration shortcut;
        QString key;
        QString text;
    };
    const std::vector<Case> cases = {
        {defaultShortcut(ShortcutAction::toggleStyle), QStringLiteral("p"),
         QStringLiteral("Ctrl+Alt+P")},
        // The modifiers of the shortcut do not matter: always Ctrl+Alt.
        {{96, modifier::command | modifier::shift, QStringLiteral("F5")},
         QStringLiteral("f"),
         QStringLiteral("Ctrl+Alt+F")},
        {{125, modifier::option, QStringLiteral("\u2193")}, QString(), QString()},
        {{18, modifier::control, QStringLiteral("1")},
         QStringLiteral("1"),
         QStringLiteral("Ctrl+Alt+1")},
        {{49, modifier::control | modifier::option, QStringLiteral("Space")},
         QStringLiteral("s"),
         QStringLiteral("Ctrl+Alt+S")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shortcut.keyLabel.toStdString());
        ASSERT_TRUE(prefs.setShortcut(ShortcutAction::toggleStyle, c.shortcut));
        EXPECT_EQ(menumodel::keyEquivalent(c.shortcut), c.key);
        const MenuItem& styleSwitch = build()[3];
        EXPECT_EQ(styleSwitch.action, MenuAction::toggleIslandStyle);
        EXPECT_EQ(styleSwitch.keyEquivalent, c.key);
        EXPECT_EQ(styleSwitch.keyEquivalentText(), c.text);
    }
}

// The task list behind the task entry, with what the menu asked of it.
struct FakeTasks {
    bool available = false;
    std::vector<FocusTask> list;
    std::optional<FocusTask> chosen;
    int refreshes = 0;

    FocusTaskSource source() {
        FocusTaskSource s;
        s.refresh = [this] { ++refreshes; };
        s.isAvailable = [this] { return available; };
        s.tasks = [this] { return list; };
        s.selected = [this] { return chosen; };
        s.select = [this](const std::optional<FocusTask>& t) { chosen = t; };
        return s;
    }
};

TEST_F(MenuModelTest, TaskEntryNeedsTheSettingAndAnAvailableList) {
    FakeTasks tasks;
    const FocusTaskSource source = tasks.source();
    const FocusTask write{QStringLiteral("t1"), QStringLiteral("p1"), QStringLiteral("Write")};
    const FocusTask read{QStringLiteral("t2"), QStringLiteral("p1"), QStringLiteral("Read")};

    // TickTick off: the list is not even asked.
    EXPECT_EQ(titles(build({}, &source)), titles(build()));
    EXPECT_EQ(tasks.refreshes, 0);

    // On, nothing selected and an empty list: not available, but asked to refresh.
    prefs.setTickTickEnabled(true);
    EXPECT_EQ(titles(build({}, &source)), titles(build()));
    EXPECT_EQ(tasks.refreshes, 1);

    tasks.available = true;
    tasks.list = {write, read};
    QList<MenuItem> menu = build({}, &source);
    EXPECT_EQ(tasks.refreshes, 2);
    EXPECT_EQ(menu[6].title, QStringLiteral("Focus Task"));  // right after the timer item
    EXPECT_EQ(menu[5].title, QStringLiteral("Start Focus"));
    EXPECT_EQ(menu[6].action, MenuAction::none);
    EXPECT_EQ(titles(menu[6].submenu),
              (QStringList{QStringLiteral("No task"), kSep, QStringLiteral("Write"),
                           QStringLiteral("Read")}));
    EXPECT_TRUE(menu[6].submenu[0].checked);
    EXPECT_FALSE(menu[6].submenu[0].task.has_value());
    EXPECT_EQ(menu[6].submenu[2].task, write);
    EXPECT_EQ(menu[6].submenu[2].action, MenuAction::pickTask);

    // A selected task is checked by id, project and title; a renamed copy is another task.
    tasks.chosen = read;
    model.toggle();
    menu = build({}, &source);
    EXPECT_EQ(menu[6].title, QStringLiteral("Task: Read"));
    EXPECT_EQ(menu[7].title, QStringLiteral("Reset Focus"));
    EXPECT_FALSE(menu[6].submenu[0].checked);
    EXPECT_FALSE(menu[6].submenu[2].checked);
    EXPECT_TRUE(menu[6].submenu[3].checked);
    tasks.chosen = FocusTask{read.id, read.projectID, QStringLiteral("Read again")};
    menu = build({}, &source);
    EXPECT_FALSE(menu[6].submenu[3].checked);
}
