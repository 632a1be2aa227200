#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

#include "common/TestSupport.h"
#include "platform/linux/QtScheduler.h"

namespace tw::test {
namespace {

TEST(QtSchedulerTest, RunsACallOnceAndForgetsIt) {
    QtScheduler scheduler;
    int runs = 0;
    auto call = scheduler.callAfter(0, [&] { ++runs; });
    EXPECT_EQ(scheduler.pending(), 1u);
    ASSERT_TRUE(waitUntil([&] { return runs > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(scheduler.pending(), 0u);
    call.reset();  // after it ran: nothing to cancel
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(QtSchedulerTest, DestroyingTheHandleCancels) {
    QtScheduler scheduler;
    bool cancelledRan = false;
    bool otherRan = false;
    auto cancelled = scheduler.callAfter(0, [&] { cancelledRan = true; });
    auto other = scheduler.callAfter(0, [&] { otherRan = true; });
    cancelled.reset();
    ASSERT_TRUE(waitUntil([&] { return otherRan; }));
    EXPECT_FALSE(cancelledRan);
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(QtSchedulerTest, ACallMayReplaceItsOwnHandleAsATickerDoes) {
    // Each run schedules the next and drops its own handle, as the timer's ticker does; the
    // new timer may get the id just freed, and dropping the old handle must not cancel it.
    QtScheduler scheduler;
    std::unique_ptr<ScheduledCall> ticker;
    int ticks = 0;
    std::function<void()> tick = [&] {
        ++ticks;
        if (ticks < 5) ticker = scheduler.callAfter(0, tick);
    };
    ticker = scheduler.callAfter(0, tick);
    ASSERT_TRUE(waitUntil([&] { return ticks == 5; }));
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(QtSchedulerTest, AHandleOutlivingItsSchedulerIsHarmless) {
    auto scheduler = std::make_unique<QtScheduler>();
    auto call = scheduler->callAfter(10, [] {});
    scheduler.reset();
    call.reset();  // the scheduler is gone: nothing to do, no crash
    SUCCEED();
}

}  // namespace
}  // namespace tw::test
