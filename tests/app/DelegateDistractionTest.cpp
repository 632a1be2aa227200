// The distraction features as the delegate wires them: the application hider, the site blocker
// with the drift count, sleep and quit, and the Do Not Disturb set-up dropped at quit.
#include <QCoreApplication>

#include "app/DelegateFixture.h"
#include "distraction/DNDSetup.h"
#include "distraction/SiteBlocker.h"
#include "platform/fake/FakeBrowserAutomation.h"
#include "platform/fake/FakeDesktopOpener.h"
#include "platform/fake/FakeRunningApplications.h"
#include "platform/linux/QtProcessLauncher.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

const RunningApplication kChromium{"chromium", "Chromium", 4100, "/usr/lib/chromium/chromium"};
const RunningApplication kChat{"org.example.Chat", "Chat", 4200, "/usr/bin/chat"};
const char* const kVideoTab = R"({"window":"1","tab":"7","url":"https://video.example/"})";

class DelegateDistraction : public DelegateFixture {
protected:
    FakeRunningApplications apps;
    FakeBrowserAutomation tabs;

    void SetUp() override {
        applications = &apps;
        browsers = &tabs;
        apps.add(kChat);
        apps.add(kChromium);
        apps.activate(kChromium);
        standard.setBool(QStringLiteral("websiteBlockingEnabled"), true);
        standard.setStringArray(QStringLiteral("blockedSites"),
                                QStringList{QStringLiteral("video.example")});
        launch();
        delegate->preferences().addHiddenApp(kChat.desktopId, QStringLiteral("Chat"));
    }

    void startFocus() {
        delegate->model().start(25 * 60);
        QCoreApplication::processEvents();
    }
    qint64 drifts() { return delegate->model().driftsThisSession(); }
};

TEST_F(DelegateDistraction, FocusHidesListedAppsAndOneCountdownIsOneDrift) {
    startFocus();
    EXPECT_TRUE(apps.hidden(kChat));
    EXPECT_FALSE(apps.hidden(kChromium));

    ASSERT_EQ(tabs.waiting(), 1);
    tabs.answerJson(kVideoTab);
    for (int i = 0; i < 5; ++i) {
        scheduler.advance(1.0);
        tabs.answerJson(kVideoTab);
    }
    EXPECT_EQ(delegate->siteBlocker()->pending()->rule, QStringLiteral("video.example"));
    EXPECT_EQ(drifts(), 1);
    EXPECT_EQ(DelegateFixture::drifts.totalDrifts(7, scheduler.now()), 1);
}

TEST_F(DelegateDistraction, SleepStopsTheWarningAndWakeChecksAgain) {
    startFocus();
    tabs.answerJson(kVideoTab);
    events.emitWillSleep();
    EXPECT_FALSE(delegate->siteBlocker()->pending().has_value());
    scheduler.advance(5.0);
    EXPECT_EQ(tabs.waiting(), 0);
    events.emitDidWake();
    QCoreApplication::processEvents();
    EXPECT_EQ(tabs.waiting(), 1);
}

TEST_F(DelegateDistraction, QuitWaitsForTheCheckInFlight) {
    startFocus();
    ASSERT_EQ(tabs.waiting(), 1);
    EXPECT_EQ(delegate->applicationShouldTerminate(AppDelegate::QuitReason::system),
              AppDelegate::TerminateReply::later);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(terminations, 0);
    tabs.answerJson(kVideoTab);  // too late to matter: no warning, no drift
    ASSERT_TRUE(waitUntil([this] { return terminations == 1; }));
    EXPECT_EQ(drifts(), 0);
}

TEST_F(DelegateDistraction, QuitDropsAHalfFinishedDoNotDisturbSetUp) {
    QtProcessLauncher launcher;
    FakeDesktopOpener desktop;
    processes = &launcher;
    opener = &desktop;
    launch();
    DNDSetup* setup = delegate->dndSetup();
    ASSERT_NE(setup, nullptr);
    const int generation = setup->dndSetupGeneration();
    delegate->applicationShouldTerminate(AppDelegate::QuitReason::system);
    EXPECT_EQ(setup->dndSetupGeneration(), generation + 1);
    EXPECT_EQ(setup->dndSetupStep(), 0);
}

}  // namespace
}  // namespace tw::test
