#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"
#include "widget/FocusWidgetBridge.h"

namespace tw::test {
namespace {

const QString kKey = QLatin1String(FocusWidgetSnapshot::kDefaultsKey);

// A real model over a fake clock, and the app-group suite in memory, with its writes counted.
class FocusWidgetBridgeTest : public ::testing::Test {
protected:
    ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeSound::Log chime;
    TimerModel model{prefs, defaults, clock, std::make_unique<FakeSound>(&chime)};
    UserDefaults suite;
    int writes = 0;
    std::unique_ptr<FocusWidgetBridge> bridge;

    void SetUp() override {
        QObject::connect(&suite, &UserDefaults::valueChanged, [this](const QString& key) {
            if (key == kKey) ++writes;
        });
    }
    FocusWidgetBridge& make() {
        bridge = std::make_unique<FocusWidgetBridge>(model, suite);
        return *bridge;
    }
    // Runs the deliveries waiting for a later turn of the event loop.
    static void deliver() { QCoreApplication::sendPostedEvents(); }

    QJsonObject storedJson() const {
        return QJsonDocument::fromJson(suite.data(kKey).value_or(QByteArray())).object();
    }
    FocusWidgetSnapshot stored() const {
        const auto s = FocusWidgetSnapshot::decode(suite.data(kKey).value_or(QByteArray()));
        EXPECT_TRUE(s) << "a decodable snapshot is stored";
        return s.value_or(FocusWidgetSnapshot{});
    }
};

TEST_F(FocusWidgetBridgeTest, WritesAtCreationAndOnceMoreWhenTheObservationsStart) {
    make();
    EXPECT_EQ(writes, 1);
    const FocusWidgetSnapshot first = stored();
    EXPECT_EQ(first, FocusWidgetSnapshot::defaultSnapshot());
    deliver();
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(stored(), first);
    deliver();
    EXPECT_EQ(writes, 2);
}

TEST_F(FocusWidgetBridgeTest, StartingFocusStoresTheRunningPhaseInALaterTurn) {
    make();
    deliver();
    writes = 0;
    const Instant t0 = clock.now();
    model.toggle();
    EXPECT_EQ(writes, 0) << "deliveries wait for a later turn";
    EXPECT_EQ(stored().state, QStringLiteral("idle"));
    deliver();
    EXPECT_GT(writes, 0);

    const FocusWidgetSnapshot s = stored();
    EXPECT_EQ(s.mode, QStringLiteral("Focus"));
    EXPECT_EQ(s.state, QStringLiteral("running"));
    EXPECT_EQ(s.time, QStringLiteral("25:00"));
    ASSERT_TRUE(s.endDate);
    EXPECT_DOUBLE_EQ(*s.endDate, t0.toUnix() + 1500);
    EXPECT_DOUBLE_EQ(
        storedJson().value(QStringLiteral("endDate")).toDouble(),
        QDateTime(QDate(2025, 3, 7), QTime(10, 25), QTimeZone::utc()).toSecsSinceEpoch());
    EXPECT_EQ(s.phaseSeconds, 1500);

    // Ticks change only the remaining time, which is not observed.
    writes = 0;
    clock.advance(90);
    deliver();
    EXPECT_EQ(writes, 0);
    EXPECT_EQ(stored().time, QStringLiteral("25:00"));
}

TEST_F(FocusWidgetBridgeTest, PausingStoresNoEndDate) {
    make();
    model.toggle();
    clock.advance(65);
    model.toggle();
    deliver();
    const FocusWidgetSnapshot s = stored();
    EXPECT_EQ(s.state, QStringLiteral("paused"));
    EXPECT_EQ(s.time, QStringLiteral("23:55"));
    EXPECT_FALSE(storedJson().contains(QStringLiteral("endDate")));
    EXPECT_EQ(s.focusMinutesToday, 1);
}

TEST_F(FocusWidgetBridgeTest, MinutesAreNotCappedAndTodayCountsTheRunningPart) {
    auto& b = make();
    model.start(5400);
    deliver();
    EXPECT_EQ(stored().time, QStringLiteral("90:00"));
    EXPECT_EQ(stored().phaseSeconds, 5400);

    clock.advance(119);
    EXPECT_EQ(b.currentSnapshot().focusMinutesToday, 1) << "119 s still running";
    clock.advance(1);
    EXPECT_EQ(b.currentSnapshot().focusMinutesToday, 2);
    EXPECT_EQ(b.currentSnapshot().time, QStringLiteral("88:00"));
}

TEST_F(FocusWidgetBridgeTest, AFinishedFocusStoresTheIdleBreakAndTheStreak) {
    make();
    model.toggle();
    clock.advance(1500);
    deliver();
    const FocusWidgetSnapshot s = stored();
    EXPECT_EQ(s.mode, QStringLiteral("Break"));
    EXPECT_EQ(s.state, QStringLiteral("idle"));
    EXPECT_EQ(s.time, QStringLiteral("5:00"));
    EXPECT_EQ(s.phaseSeconds, 300);
    EXPECT_FALSE(s.endDate);
    EXPECT_EQ(s.focusMinutesToday, 25);
    EXPECT_EQ(s.streak, 1);
}

TEST_F(FocusWidgetBridgeTest, EveryObservedChangeIsWritten) {
    make();
    deliver();
    writes = 0;
    model.setFocusMinutes(40);  // an idle focus phase takes the new length
    deliver();
    EXPECT_GE(writes, 1);
    EXPECT_EQ(stored().phaseSeconds, 2400);
    EXPECT_EQ(stored().time, QStringLiteral("40:00"));

    // The mode and the phase length both change in one turn: one write with both.
    writes = 0;
    model.selectMode(TimerModel::Mode::rest);
    deliver();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(stored().mode, QStringLiteral("Break"));
    EXPECT_EQ(stored().phaseSeconds, 300);

    // Starting from idle and a phase running out: one write each.
    model.selectMode(TimerModel::Mode::focus);
    deliver();
    writes = 0;
    model.toggle();
    deliver();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(stored().state, QStringLiteral("running"));
    writes = 0;
    clock.advance(40 * 60);
    deliver();
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(stored().mode, QStringLiteral("Break"));
    EXPECT_EQ(stored().state, QStringLiteral("idle"));
}

TEST_F(FocusWidgetBridgeTest, ABridgeGoneBeforeItsDeliveryWritesNothing) {
    make();
    model.toggle();
    writes = 0;
    bridge.reset();
    deliver();
    EXPECT_EQ(writes, 0);
}

TEST_F(FocusWidgetBridgeTest, AnUnwritableSuiteFailsSilently) {
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("tarnwhistle")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the folder should be
    blocker.close();
    UserDefaults unwritable(dir.filePath(QStringLiteral("tarnwhistle/group.json")));
    FocusWidgetBridge b(model, unwritable);
    model.toggle();
    deliver();
    EXPECT_FALSE(QFile::exists(unwritable.filePath()));
}

}  // namespace
}  // namespace tw::test
