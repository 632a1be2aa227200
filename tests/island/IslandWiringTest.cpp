// The island as the application delegate builds and wires it at launch: over the recording
// window, a hand-moved pointer and fake time.
#include <gtest/gtest.h>

#include <memory>

#include "app/DelegateFixture.h"
#include "island/IslandFixture.h"

namespace tw::test {
namespace {

using Mode = TimerModel::Mode;

class IslandWiringTest : public DelegateFixture {
protected:
    FakePointerMonitor pointer;
    FakeReducedMotion motion;
    FakeIslandWindow* window = nullptr;

    // The island holds the pointer and motion fakes, which go before the base's delegate.
    ~IslandWiringTest() override { delegate.reset(); }

    void launch() {
        pointer.setLocation({100, 500});
        makeIsland = [this](TimerModel& model, AppPreferences& preferences, Scheduler& clock,
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
            return std::make_unique<IslandController>(model, preferences, std::move(env), parent);
        };
        DelegateFixture::launch();
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
