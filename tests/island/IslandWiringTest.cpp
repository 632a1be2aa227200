// The island as the application delegate builds and wires it at launch: over the recording
// window, a hand-moved pointer and fake time.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QTemporaryDir>
#include <memory>

#include "app/AppDelegate.h"
#include "island/IslandFixture.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeSystemEvents.h"
#include "timer/DriftLog.h"

namespace tw::test {
namespace {

using Mode = TimerModel::Mode;

class IslandWiringTest : public ::testing::Test {
protected:
    ScopedTimeZone zone{"UTC"};
    QTemporaryDir dir;
    FakeScheduler scheduler{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults standard{dir.filePath(QStringLiteral("dev.tarnwhistle.app.json"))};
    UserDefaults appGroup{dir.filePath(QStringLiteral("group.dev.tarnwhistle.app.json"))};
    FakeSystemEvents events;
    DriftLog drifts{dir.filePath(QStringLiteral("drift-log.json")), scheduler.now()};
    FakeSound::Log chime;
    FakeHotKeys hotKeys;
    FakePointerMonitor pointer;
    FakeReducedMotion motion;
    FakeIslandWindow* window = nullptr;
    int terminations = 0;
    std::unique_ptr<AppDelegate> delegate;

    void launch() {
        pointer.setLocation({100, 500});
        delegate = std::make_unique<AppDelegate>(AppEnvironment{
            standard,
            appGroup,
            scheduler,
            events,
            drifts,
            hotKeys,
            [this] { return std::make_unique<FakeSound>(&chime); },
            [this] { ++terminations; },
            QDBusConnection(QStringLiteral("no-bus")),
            [this](TimerModel& model, AppPreferences& preferences, Scheduler& clock,
                   const DriftLog* log, TestimonialStore* testimonials, QObject* parent) {
                auto w = std::make_unique<FakeIslandWindow>();
                window = w.get();
                IslandEnvironment env;
                env.scheduler = &clock;
                env.pointer = &pointer;
                env.reducedMotion = &motion;
                env.screens = [] { return QList<ScreenDescription>{mainScreen()}; };
                env.window = std::move(w);
                env.drifts = log;
                env.testimonials = testimonials;
                return std::make_unique<IslandController>(model, preferences, std::move(env),
                                                          parent);
            },
        });
        delegate->applicationDidFinishLaunching();
    }
    IslandController& island() { return *delegate->controller(); }

    static void drainEvents() {
        for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    }
};

TEST_F(IslandWiringTest, LaunchShowsAndPeeksAndReopenOpensWithoutFocus) {
    launch();
    ASSERT_NE(delegate->controller(), nullptr);
    EXPECT_TRUE(window->visible);
    EXPECT_TRUE(island().island().isExpanded());
    EXPECT_FALSE(window->key);
    scheduler.advance(1.31);
    EXPECT_FALSE(island().island().isExpanded());

    EXPECT_TRUE(delegate->applicationShouldHandleReopen(false));
    EXPECT_TRUE(island().island().isExpanded());
    EXPECT_FALSE(window->key);

    // A finished phase of the delegate's timer reaches the island as a card.
    island().collapse();
    delegate->model().start(60);
    scheduler.advance(61);
    ASSERT_TRUE(island().island().celebration().has_value());
    EXPECT_EQ(island().island().celebration()->mode, Mode::focus);
    EXPECT_EQ(window->announcements, QStringList{QStringLiteral("Focus complete")});
}

TEST_F(IslandWiringTest, QuitFromTheIslandIsTheUsersQuitWithItsCleanUp) {
    launch();
    island().island().requestQuickMenu();
    ASSERT_FALSE(window->menu.isEmpty());
    const QuickMenuItem quit = window->menu.last();
    ASSERT_EQ(quit.title, QStringLiteral("Quit Tarnwhistle"));
    quit.action();
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    drainEvents();
    scheduler.advance(10);
    EXPECT_EQ(terminations, 1);
}

}  // namespace
}  // namespace tw::test
