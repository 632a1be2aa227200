// The task attached to focus as the delegate wires it: the island's picker and the tray's task
// entry both list the TickTick hook's open tasks, and a choice in either is the hook's selection.
#include <gtest/gtest.h>

#include <QApplication>
#include <deque>
#include <functional>

#include "app/DelegateFixture.h"
#include "island/IslandActions.h"
#include "island/IslandController.h"
#include "island/IslandMenuModel.h"
#include "island/IslandPanel.h"
#include "island/IslandView.h"
#include "platform/fake/FakePointerMonitor.h"
#include "platform/fake/FakeReducedMotion.h"
#include "preferences/AppPreferences.h"
#include "shell/MenuBarController.h"
#include "shell/MenuModel.h"
#include "ticktick/TickTickFocusHook.h"
#include "ticktick/TickTickTasks.h"

namespace tw::test {
namespace {

// TickTick as the hook sees it, answering when the test says so.
class HeldTasks final : public TickTickTaskService {
public:
    void tasks(const QString&, std::function<void(TasksResult)> done) override {
        lists.push_back(std::move(done));
    }
    void complete(const TickTickTask&, std::function<void(CompleteResult)> done) override {
        done(std::nullopt);
    }
    std::deque<std::function<void(TasksResult)>> lists;
};

class DelegateTasks : public DelegateFixture {
protected:
    HeldTasks service;
    const TickTickTask write{QStringLiteral("t1"), QStringLiteral("p1"),
                             QStringLiteral("Write report")};
    const TickTickTask review{QStringLiteral("t2"), QStringLiteral("p1"), QStringLiteral("Review")};

    // The island on the desktop (its real view), over a hand-moved pointer; the delegate goes
    // before the fixture's members.
    ~DelegateTasks() override { delegate.reset(); }

    void SetUp() override {
        makeIsland = [](TimerModel& model, AppPreferences& preferences, Scheduler& scheduler,
                        const DriftLog* drifts, TestimonialStore* testimonials, QObject* parent) {
            DesktopIslandParts parts;
            parts.pointer = std::make_unique<FakePointerMonitor>();
            parts.reducedMotion = std::make_unique<FakeReducedMotion>();
            return makeDesktopIsland(model, preferences, scheduler, drifts, testimonials,
                                     std::move(parts), parent);
        };
        launch();
        delegate->preferences().setTickTickEnabled(true);
        delegate->preferences().setTickTickProjectID(QStringLiteral("p1"));
        delegate->tickTick()->setClient(&service);
        delegate->tickTick()->refresh();
        ASSERT_EQ(service.lists.size(), 1u);
        service.lists.front()(std::vector<TickTickTask>{write, review});
        service.lists.clear();
    }

    IslandView* islandView() const {
        for (QWidget* w : QApplication::allWidgets()) {
            if (auto* view = qobject_cast<IslandView*>(w)) return view;
        }
        return nullptr;
    }
    QList<MenuItem> trayMenu() {
        auto* bar = delegate->findChild<MenuBarController*>();
        EXPECT_NE(bar, nullptr);
        EXPECT_TRUE(bar && bar->tickTick);
        if (!bar || !bar->tickTick) return {};
        return menumodel::build(delegate->model(), delegate->preferences(), MenuIslandState{},
                                &*bar->tickTick);
    }
    static const MenuItem* taskEntry(const QList<MenuItem>& menu) {
        for (const MenuItem& item : menu) {
            if (!item.submenu.isEmpty() && item.submenu.front().action == MenuAction::pickTask)
                return &item;
        }
        return nullptr;
    }
};

TEST_F(DelegateTasks, TheIslandAndTheTrayListTheHooksTasksAndShareItsSelection) {
    IslandView* view = islandView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->actions().taskPickerHook().has_value());

    // Both list the open tasks, nothing chosen.
    const QList<islandmenu::MenuEntry> picker = view->actions().taskMenu();
    ASSERT_EQ(picker.size(), 2);
    EXPECT_EQ(picker[0].title, QStringLiteral("Write report"));
    EXPECT_EQ(picker[1].title, QStringLiteral("Review"));
    EXPECT_FALSE(picker[0].checked || picker[1].checked);
    EXPECT_EQ(view->actions().taskTitle(), QStringLiteral("No task"));
    QList<MenuItem> menu = trayMenu();
    const MenuItem* entry = taskEntry(menu);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->title, QStringLiteral("Focus Task"));
    ASSERT_EQ(entry->submenu.size(), 4);  // "No task", a separator, the two tasks
    EXPECT_EQ(entry->submenu[2].title, QStringLiteral("Write report"));
    EXPECT_EQ(entry->submenu[3].title, QStringLiteral("Review"));
    EXPECT_EQ(service.lists.size(), 1u) << "the tray menu asks for a fresh list when it opens";

    // Picked in the island: the hook holds it and the tray shows it.
    view->actions().perform(picker[1]);
    ASSERT_TRUE(delegate->tickTick()->selectedTask().has_value());
    EXPECT_EQ(*delegate->tickTick()->selectedTask(), review);
    EXPECT_EQ(view->actions().taskTitle(), QStringLiteral("Review"));
    menu = trayMenu();
    entry = taskEntry(menu);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->title, QStringLiteral("Task: Review"));
    EXPECT_TRUE(entry->submenu[3].checked);
    EXPECT_FALSE(entry->submenu[0].checked);

    // Picked in the tray: the island shows it; "No task" lets it go in both.
    auto* bar = delegate->findChild<MenuBarController*>();
    ASSERT_NE(bar, nullptr);
    bar->perform(entry->submenu[2]);
    EXPECT_EQ(*delegate->tickTick()->selectedTask(), write);
    EXPECT_TRUE(view->actions().taskMenu()[0].checked);
    EXPECT_EQ(view->actions().taskTitle(), QStringLiteral("Write report"));
    bar->perform(entry->submenu[0]);
    EXPECT_FALSE(delegate->tickTick()->selectedTask().has_value());
    EXPECT_EQ(view->actions().taskTitle(), QStringLiteral("No task"));
}

TEST_F(DelegateTasks, SwitchedOffTheIslandsPickerEmptiesAndTheTrayHasNoTaskEntry) {
    IslandView* view = islandView();
    ASSERT_NE(view, nullptr);
    view->actions().perform(view->actions().taskMenu()[0]);
    delegate->preferences().setTickTickEnabled(false);
    EXPECT_TRUE(view->actions().taskMenu().isEmpty());
    EXPECT_EQ(view->actions().taskTitle(), QStringLiteral("No task"));
    EXPECT_EQ(taskEntry(trayMenu()), nullptr);
}

}  // namespace
}  // namespace tw::test
