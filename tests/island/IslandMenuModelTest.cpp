// The island's menus as data, and what their entries and the island's controls do; no display.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>

#include "island/IslandActions.h"
#include "island/IslandFixture.h"
#include "island/IslandMenuModel.h"
#include "island/IslandState.h"
#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

using islandmenu::MenuAction;
using islandmenu::MenuEntry;
using C = IslandControl;

// "-" for a separator, else the title.
QStringList titles(const QList<MenuEntry>& entries) {
    QStringList out;
    for (const MenuEntry& e : entries) out << (e.separator ? QStringLiteral("-") : e.title);
    return out;
}

TEST(IslandMenuModel, WithoutATrayTheTrayOnlyEntrySaysWhyItIsUnavailable) {
    const QList<MenuEntry> entries = islandmenu::contextMenu(true, false, false, false);
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[1].title, QStringLiteral("Tray only (this desktop shows no tray)"));
    EXPECT_EQ(entries[1].action, MenuAction::menuBarOnly);
    EXPECT_FALSE(entries[1].enabled);
    EXPECT_TRUE(islandmenu::contextMenu(true, false, false, true)[1].enabled);
}

TEST(IslandMenuModel, ContextAndQuickMenusFollowTheState) {
    struct Case {
        const char* name;
        QList<MenuEntry> entries;
        QStringList expected;
    } cases[] = {
        {"context, notch",
         islandmenu::contextMenu(false, true, true),
         {"Float as a pill", "Tray only", "-", "History…", "Settings…", "-", "Quit Tarnwhistle"}},
        {"context, locked pill",
         islandmenu::contextMenu(true, true, false),
         {"Sit at the top edge", "Tray only", "-", "History…", "Settings…", "Unlock position",
          "Hide until hover", "-", "Quit Tarnwhistle"}},
        {"context, hidden pill",
         islandmenu::contextMenu(true, false, true),
         {"Sit at the top edge", "Tray only", "-", "History…", "Settings…", "Lock position",
          "Show pill always", "-", "Quit Tarnwhistle"}},
        {"quick, idle notch",
         islandmenu::quickMenu(false, false, false, false),
         {"Start focus", "-", "History…", "Settings…", "-", "Float as a pill", "Lock position",
          "Hide until hover", "-", "Quit Tarnwhistle"}},
        {"quick, running locked pill",
         islandmenu::quickMenu(true, true, true, true),
         {"Pause focus", "-", "History…", "Settings…", "-", "Sit at the top edge",
          "Unlock position", "Show pill always", "-", "Quit Tarnwhistle"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(titles(c.entries), c.expected);
        for (const MenuEntry& e : c.entries) {
            EXPECT_TRUE(e.enabled);
            EXPECT_FALSE(e.checked);
            EXPECT_EQ(e.separator, e.action == MenuAction::none) << e.title.toStdString();
        }
    }
}

TEST(IslandMenuModel, TaskMenuChecksTheChosenTaskAndPopUpItemsPerformTheirEntry) {
    FocusTaskSource hook;
    EXPECT_TRUE(islandmenu::taskMenu(hook).isEmpty()) << "no task list";
    const FocusTask write{QStringLiteral("t1"), QStringLiteral("p1"),
                          QStringLiteral("Write report")};
    const FocusTask review{QStringLiteral("t2"), QStringLiteral("p1"), QStringLiteral("Review")};
    hook.tasks = [=] { return std::vector<FocusTask>{write, review}; };
    hook.selected = [=] { return std::optional<FocusTask>(review); };
    const QList<MenuEntry> tasks = islandmenu::taskMenu(hook);
    ASSERT_EQ(tasks.size(), 2);
    EXPECT_EQ(tasks[0].title, QStringLiteral("Write report"));
    EXPECT_EQ(tasks[0].task, write);
    EXPECT_FALSE(tasks[0].checked);
    EXPECT_TRUE(tasks[1].checked);
    EXPECT_EQ(tasks[1].action, MenuAction::chooseTask);

    QList<MenuEntry> performed;
    const QList<QuickMenuItem> items =
        islandmenu::quickMenuItems(islandmenu::quickMenu(false, true, false, false),
                                   [&](const MenuEntry& e) { performed << e; });
    ASSERT_EQ(items.size(), 10);
    EXPECT_TRUE(items[1].isSeparator());
    items[0].action();
    items.last().action();
    ASSERT_EQ(performed.size(), 2);
    EXPECT_EQ(performed[0].action, MenuAction::toggleTimer);
    EXPECT_EQ(performed[1].action, MenuAction::quit);
}

class IslandActionsTest : public TimerFixture {
public:
    std::unique_ptr<IslandState> island;
    std::unique_ptr<IslandActions> actions;
    QStringList requests;

    void SetUp() override {
        make();
        island = std::make_unique<IslandState>(pillMetrics());
        const auto record = [this](const char* name) {
            return [this, name] { requests << QString::fromLatin1(name); };
        };
        island->requestSettings = record("settings");
        island->requestHistory = record("history");
        island->requestToggleTimer = record("toggleTimer");
        island->requestQuickMenu = record("quickMenu");
        island->requestToggleStyle = record("toggleStyle");
        island->requestToggleLock = record("toggleLock");
        island->requestToggleHideUntilHover = record("toggleHide");
        island->requestStyle = [this](IslandStyle s) {
            requests << (s == IslandStyle::pill ? QStringLiteral("pill") : QStringLiteral("bar"));
        };
        actions = std::make_unique<IslandActions>(*model, *island, *prefs);
        actions->onQuit = record("quit");
    }
};

TEST_F(IslandActionsTest, MenuEntriesAskTheControllerOrQuit) {
    const std::pair<MenuAction, const char*> cases[] = {
        {MenuAction::toggleTimer, "toggleTimer"},
        {MenuAction::toggleStyle, "toggleStyle"},
        {MenuAction::menuBarOnly, "bar"},
        {MenuAction::history, "history"},
        {MenuAction::settings, "settings"},
        {MenuAction::toggleLock, "toggleLock"},
        {MenuAction::toggleHideUntilHover, "toggleHide"},
        {MenuAction::quit, "quit"},
    };
    for (const auto& [action, request] : cases) {
        requests.clear();
        MenuEntry entry;
        entry.action = action;
        actions->perform(entry);
        EXPECT_EQ(requests, QStringList{QString::fromLatin1(request)}) << request;
    }
    EXPECT_EQ(model->runState(), RunState::idle) << "the timer is the controller's to start";
}

TEST_F(IslandActionsTest, ControlsActOnTheTimerOrAskForTheWidget) {
    QSignalSpy widget(actions.get(), &IslandActions::widgetRequested);
    struct Case {
        C control;
        IslandContent content;
        const char* request;  // empty: none
        std::function<bool(TimerModel&)> effect;
    } cases[] = {
        {C::startPause, IslandContent::collapsed, "toggleTimer",
         [](TimerModel& m) { return m.runState() == RunState::idle; }},
        {C::startPause, IslandContent::mini, "",
         [](TimerModel& m) { return m.runState() == RunState::running; }},
        {C::reset, IslandContent::mini, "",
         [](TimerModel& m) { return m.undoOffer()->label == QStringLiteral("Session reset"); }},
        {C::breakChip, IslandContent::expanded, "",
         [](TimerModel& m) { return m.mode() == Mode::rest; }},
        {C::breakPlus, IslandContent::expanded, "",
         [](TimerModel& m) { return m.breakMinutes() == 6; }},
        {C::focusMinus, IslandContent::expanded, "",
         [](TimerModel& m) { return m.focusMinutes() == 24; }},
        {C::detach, IslandContent::expanded, "pill", nullptr},
        {C::shortcutWarning, IslandContent::expanded, "settings", nullptr},
        {C::moreActions, IslandContent::collapsed, "quickMenu", nullptr},
        {C::history, IslandContent::mini, "history", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.control));
        requests.clear();
        actions->activate(c.control, c.content);
        EXPECT_EQ(requests.join(','), QString::fromLatin1(c.request));
        if (c.effect) {
            EXPECT_TRUE(c.effect(*model));
        }
    }
    EXPECT_EQ(widget.count(), 0);

    // The steppers stop at the ends of the range.
    model->setBreakMinutes(120);
    actions->activate(C::breakPlus, IslandContent::expanded);
    EXPECT_EQ(model->breakMinutes(), 120);
    model->setFocusMinutes(1);
    actions->activate(C::focusMinus, IslandContent::expanded);
    EXPECT_EQ(model->focusMinutes(), 1);

    // Fields and the task menu are the widget's.
    for (const C c : {C::countdown, C::focusValue, C::breakValue, C::taskPicker, C::quoteField})
        actions->activate(c, IslandContent::expanded);
    ASSERT_EQ(widget.count(), 5);
    EXPECT_EQ(widget[3][0].value<C>(), C::taskPicker);
}

}  // namespace
}  // namespace tw::test
