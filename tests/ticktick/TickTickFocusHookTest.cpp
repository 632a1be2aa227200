#include <gtest/gtest.h>

#include <deque>

#include "platform/fake/FakeSound.h"
#include "ticktick/TickTickFixture.h"
#include "ticktick/TickTickFocusHook.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

using Kind = TickTickError::Kind;

const TickTickTask kWriteReport{QStringLiteral("t1"), QStringLiteral("p1"),
                                QStringLiteral("Write report")};
const TickTickTask kPlanSprint{QStringLiteral("t2"), QStringLiteral("p1"),
                               QStringLiteral("Plan the sprint")};

// A task service the test answers by hand, in any order.
class ScriptedTasks final : public TickTickTaskService {
public:
    void tasks(const QString& projectID, std::function<void(TasksResult)> done) override {
        listed.push_back(projectID);
        pendingLists.push_back(std::move(done));
    }
    void complete(const TickTickTask& task, std::function<void(CompleteResult)> done) override {
        completed.push_back(task);
        pendingCompletions.push_back(std::move(done));
    }

    std::vector<QString> listed;
    std::vector<TickTickTask> completed;
    std::deque<std::function<void(TasksResult)>> pendingLists;
    std::deque<std::function<void(CompleteResult)>> pendingCompletions;
};

class TickTickFocusHookTest : public TickTickFixture {
public:
    void SetUp() override {
        TickTickFixture::SetUp();
        prefs.setTickTickProjectID(QStringLiteral("p1"));
        prefs.setTickTickCompleteOnFinish(true);
        hook.setClient(&scripted);
        hook.attach(model);
    }

    // A focus phase (or a break) started and run to its end on the clock.
    void runPhaseToEnd() {
        model.toggle();
        clock.advance(model.phaseSeconds() + 1);
    }
    void runFocusToEnd() {
        model.selectMode(TimerModel::Mode::focus);
        runPhaseToEnd();
    }

    FakeSound::Log chime;
    TimerModel model{prefs, defaults, clock, std::make_unique<FakeSound>(&chime)};
    ScriptedTasks scripted;
    TickTickFocusHook hook{prefs};
};

TEST_F(TickTickFocusHookTest, RefreshKeepsOnlyTheLatestAnswer) {
    hook.select(kPlanSprint);
    hook.refresh();
    hook.refresh();
    ASSERT_EQ(scripted.pendingLists.size(), 2u);
    // The second answer arrives first; the first is then too late.
    scripted.pendingLists[1](std::vector<TickTickTask>{kWriteReport});
    scripted.pendingLists[0](std::vector<TickTickTask>{kPlanSprint, kWriteReport});
    EXPECT_EQ(hook.tasks(), std::vector<TickTickTask>{kWriteReport});
    // The selection stays even though the list lacks it.
    EXPECT_EQ(hook.selectedTask(), kPlanSprint);
    EXPECT_TRUE(hook.isAvailable());
}

TEST_F(TickTickFocusHookTest, RefreshThatCannotRunClears) {
    struct Case {
        const char* name;
        bool enabled;
        QString project;
        bool client;
    };
    const Case cases[] = {{"no project", true, QString(), true},
                          {"off", false, QStringLiteral("p1"), true},
                          {"no client", true, QStringLiteral("p1"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs.setTickTickEnabled(true);
        hook.setClient(&scripted);
        hook.select(kWriteReport);
        hook.refresh();
        scripted.pendingLists.back()(std::vector<TickTickTask>{kWriteReport});
        ASSERT_FALSE(hook.tasks().empty());

        prefs.setTickTickEnabled(c.enabled);
        prefs.setTickTickProjectID(c.project);
        if (!c.client) hook.setClient(nullptr);
        const size_t asked = scripted.listed.size();
        hook.refresh();
        EXPECT_EQ(scripted.listed.size(), asked);
        EXPECT_TRUE(hook.tasks().empty());
        EXPECT_EQ(hook.selectedTask(), std::nullopt);
        EXPECT_FALSE(hook.isAvailable());
        prefs.setTickTickProjectID(QStringLiteral("p1"));
    }
}

TEST_F(TickTickFocusHookTest, LateOrFailedListsChangeNothingTheyShouldNot) {
    using Result = TickTickTaskListing::TasksResult;
    struct Case {
        const char* name;
        std::function<void()> meanwhile;
        Result answer;
        std::vector<TickTickTask> tasks;
        std::optional<QString> error;
    };
    const std::vector<TickTickTask> before{kPlanSprint};
    const std::vector<TickTickTask> after{kWriteReport, kPlanSprint};
    const Case cases[] = {
        {"applied", [] {}, after, after, std::nullopt},
        {"switched off", [&] { prefs.setTickTickEnabled(false); }, after, before, std::nullopt},
        {"cleared", [&] { hook.clear(); }, after, {}, std::nullopt},
        {"other project", [&] { prefs.setTickTickProjectID(QStringLiteral("p2")); }, after, before,
         std::nullopt},
        {"failed", [] {}, TickTickError::http(503), before,
         QStringLiteral("Couldn't load TickTick tasks.")},
        {"called off", [] {}, TickTickError::of(Kind::aborted), before, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs.setTickTickEnabled(true);
        prefs.setTickTickProjectID(QStringLiteral("p1"));
        hook.refresh();
        scripted.pendingLists.back()(before);
        hook.refresh();
        c.meanwhile();
        scripted.pendingLists.back()(c.answer);
        EXPECT_EQ(hook.tasks(), c.tasks);
        EXPECT_EQ(hook.lastError(), c.error);
    }
}

TEST_F(TickTickFocusHookTest, OnlyACompletedFocusPhaseCompletesTheTask) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        std::function<void()> phase;
        bool sent;
    };
    const Case cases[] = {
        {"focus ran out", [] {}, [&] { runFocusToEnd(); }, true},
        {"break ran out", [] {},
         [&] {
             model.selectMode(TimerModel::Mode::rest);
             runPhaseToEnd();
         },
         false},
        {"focus skipped", [] {},
         [&] {
             model.selectMode(TimerModel::Mode::focus);
             model.toggle();
             clock.advance(60);
             model.skip();
         },
         false},
        {"completion off", [&] { prefs.setTickTickCompleteOnFinish(false); },
         [&] { runFocusToEnd(); }, false},
        {"nothing selected", [&] { hook.select(std::nullopt); }, [&] { runFocusToEnd(); }, false},
        {"no client", [&] { hook.setClient(nullptr); }, [&] { runFocusToEnd(); }, false},
        {"switched off", [&] { prefs.setTickTickEnabled(false); }, [&] { runFocusToEnd(); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs.setTickTickEnabled(true);
        prefs.setTickTickCompleteOnFinish(true);
        hook.setClient(&scripted);
        hook.select(kWriteReport);
        scripted.completed.clear();
        c.setUp();
        c.phase();
        EXPECT_EQ(scripted.completed.size(), c.sent ? 1u : 0u);
        if (c.sent) {
            EXPECT_EQ(scripted.completed[0], kWriteReport);
        }
    }
}

TEST_F(TickTickFocusHookTest, CompletionOutcomes) {
    using Result = TickTickTaskCompleting::CompleteResult;
    struct Case {
        const char* name;
        std::function<void()> meanwhile;
        Result answer;
        std::optional<TickTickTask> selected;
        std::optional<QString> error;
    };
    const Case cases[] = {
        {"completed", [] {}, std::nullopt, std::nullopt, std::nullopt},
        {"another picked meanwhile", [&] { hook.select(kPlanSprint); }, std::nullopt, kPlanSprint,
         std::nullopt},
        {"failed", [] {}, TickTickError::http(500), kWriteReport,
         QStringLiteral("Couldn't complete \u201CWrite report\u201D in TickTick.")},
        {"called off", [] {}, TickTickError::of(Kind::aborted), kWriteReport, std::nullopt},
        {"failed after switching off",
         [&] {
             prefs.setTickTickEnabled(false);
             hook.clear();
         },
         TickTickError::of(Kind::network), std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prefs.setTickTickEnabled(true);
        hook.select(kWriteReport);
        runFocusToEnd();
        ASSERT_EQ(scripted.pendingCompletions.size(), 1u);
        auto done = std::move(scripted.pendingCompletions.front());
        scripted.pendingCompletions.clear();
        c.meanwhile();
        done(c.answer);
        EXPECT_EQ(hook.selectedTask(), c.selected);
        EXPECT_EQ(hook.lastError(), c.error);
    }
}

TEST_F(TickTickFocusHookTest, SelectingNeedsTheSwitchOn) {
    hook.select(kWriteReport);
    EXPECT_EQ(hook.selectedTask(), kWriteReport);
    prefs.setTickTickEnabled(false);
    hook.select(kPlanSprint);
    EXPECT_EQ(hook.selectedTask(), std::nullopt);
    EXPECT_FALSE(hook.isAvailable());
}

// The hook over the real client and the TickTick stand-in.
TEST_F(TickTickFocusHookTest, TaskPickedIsCompletedAtTickTickWhenFocusEnds) {
    make(pasted());
    hook.setClient(client.get());
    prefs.setTickTickProjectID(QLatin1StringView(kWork));
    hook.refresh();
    ASSERT_TRUE(waitUntil([&] { return !hook.tasks().empty(); }));
    ASSERT_EQ(hook.tasks().size(), 2u);
    const TickTickTask report = hook.tasks()[0];
    EXPECT_EQ(report.title, QStringLiteral("Write report"));

    // A failing completion keeps the selection and says which task.
    hook.select(report);
    plan(QStringLiteral("project/%1/task/%2/complete").arg(kWork, kReport), {{"status", 500}});
    runFocusToEnd();
    ASSERT_TRUE(waitUntil([&] { return hook.lastError().has_value(); }));
    EXPECT_EQ(hook.lastError(), QStringLiteral("Couldn't complete “Write report” in TickTick."));
    EXPECT_EQ(hook.selectedTask(), report);
    EXPECT_EQ(client->statusMessage(), TickTickError::http(500).message());
    EXPECT_EQ(statusOf(QLatin1StringView(kReport)), 0);

    runFocusToEnd();
    ASSERT_TRUE(waitUntil([&] { return !hook.selectedTask().has_value(); }));
    EXPECT_EQ(statusOf(QLatin1StringView(kReport)), 2);
    EXPECT_EQ(client->statusMessage(), std::nullopt);
}

}  // namespace
}  // namespace tw::test
