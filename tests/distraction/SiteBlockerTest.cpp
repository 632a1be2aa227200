#include <gtest/gtest.h>

#include <QCoreApplication>

#include "distraction/SiteBlocker.h"
#include "platform/fake/FakeBrowserAutomation.h"
#include "timer/TimerFixture.h"

namespace tw::test {
namespace {

using Kind = BrowserRequest::Kind;

const char* const kVideoTab =
    R"({"window":"1","tab":"7","url":"https://www.video.example/watch?v=1"})";
const char* const kVideoTabMoved = R"({"window":"1","tab":"7","url":"https://video.example/feed"})";
const char* const kVideoOtherTab = R"({"window":"1","tab":"8","url":"https://video.example/"})";
const char* const kNewsTab = R"({"window":"1","tab":"7","url":"https://news.example/today"})";
const char* const kWorkTab = R"({"window":"1","tab":"7","url":"https://work.example/"})";

// A blocker over a running focus phase with two blocked sites, Chromium in front, and browser
// requests answered by the test.
class SiteBlockerTest : public TimerFixture {
public:
    FakeBrowserAutomation browsers;
    std::optional<FocusBrowser> front = FocusBrowser::chromium;
    std::unique_ptr<SiteBlocker> blocker;
    std::vector<std::pair<std::optional<QString>, int>> warnings;
    std::vector<QString> blocked;

    void SetUp() override {
        prefs->setWebsiteBlockingEnabled(true);
        prefs->setBlockedSites({QStringLiteral("video.example"), QStringLiteral("news.example")});
        make();
        blocker = std::make_unique<SiteBlocker>(
            *model, *prefs, browsers, clock, [this] { return clock.now().seconds; },
            [this] { return front; });
        QObject::connect(blocker.get(), &SiteBlocker::warning,
                         [this](const std::optional<QString>& rule, int seconds) {
                             warnings.emplace_back(rule, seconds);
                         });
        QObject::connect(blocker.get(), &SiteBlocker::blocked,
                         [this](const QString& rule) { blocked.push_back(rule); });
        model->start(25 * 60);
        blocker->start();
    }

    // The changes of the model and the preferences reach the blocker from the event loop.
    void deliver() { QCoreApplication::processEvents(); }

    // One second passes and the check it starts reads `json`.
    void tickReading(const char* json) {
        clock.advance(1.0);
        ASSERT_EQ(browsers.waiting(), 1);
        EXPECT_FALSE(browsers.next().expected.has_value());
        browsers.answerJson(json);
    }

    std::pair<std::optional<QString>, int> lastWarning() const { return warnings.back(); }
    static std::pair<std::optional<QString>, int> warned(const char* rule, int seconds) {
        return {QString::fromLatin1(rule), seconds};
    }
    static std::pair<std::optional<QString>, int> cleared() { return {std::nullopt, 0}; }
};

TEST_F(SiteBlockerTest, CountsDownTenSecondsThenBlanksTheSameTabOnce) {
    ASSERT_EQ(browsers.waiting(), 1);  // the first check runs at once
    browsers.answerJson(kVideoTab);
    EXPECT_EQ(lastWarning(), warned("video.example", 10));
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium), QStringLiteral("Connected"));
    for (int left = 9; left >= 1; --left) {
        tickReading(left == 5 ? kVideoTabMoved : kVideoTab);  // moving within the site keeps it
        EXPECT_EQ(lastWarning(), warned("video.example", left));
    }
    tickReading(kVideoTab);
    ASSERT_EQ(browsers.waiting(), 1);
    const BrowserRequest blank = browsers.next();
    ASSERT_TRUE(blank.expected.has_value());
    EXPECT_EQ(blank.expected->url, QStringLiteral("https://www.video.example/watch?v=1"));
    browsers.answerJson("true");
    EXPECT_EQ(blocked, std::vector<QString>{QStringLiteral("video.example")});
    EXPECT_EQ(lastWarning(), cleared());
    EXPECT_FALSE(blocker->pending().has_value());
}

TEST_F(SiteBlockerTest, WarningFollowsWhatTheFrontTabShows) {
    struct Step {
        const char* read;
        std::optional<std::pair<std::optional<QString>, int>> warning;  // none: nothing said
    };
    const Step steps[] = {
        {kVideoTab, warned("video.example", 10)},
        {kVideoTab, warned("video.example", 9)},
        {kVideoOtherTab, warned("video.example", 10)},  // another tab on the site starts over
        {kNewsTab, warned("news.example", 10)},         // another rule starts over
        {kWorkTab, cleared()},                          // off the sites: the warning ends
        {"null", std::nullopt},                         // no window, nothing showing
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const size_t before = warnings.size();
        if (i == 0) {
            browsers.answerJson(steps[i].read);
        } else {
            tickReading(steps[i].read);
        }
        if (steps[i].warning) {
            EXPECT_EQ(lastWarning(), *steps[i].warning) << "step " << i;
        } else {
            EXPECT_EQ(warnings.size(), before) << "step " << i;
        }
    }
    EXPECT_TRUE(blocked.empty());
}

TEST_F(SiteBlockerTest, TabThatMovedOnInTheLastSecondIsNotBlanked) {
    browsers.answerJson(kVideoTab);
    for (int i = 0; i < 10; ++i) tickReading(kVideoTab);
    ASSERT_TRUE(browsers.next().expected.has_value());
    browsers.answerJson("false");
    EXPECT_TRUE(blocked.empty());
    EXPECT_EQ(lastWarning(), cleared());
    tickReading(kVideoTab);  // still on the site: a fresh ten seconds
    EXPECT_EQ(lastWarning(), warned("video.example", 10));
}

using Change = std::pair<const char*, std::function<void(SiteBlockerTest&)>>;
class SiteBlockerStopTest : public SiteBlockerTest, public ::testing::WithParamInterface<Change> {};

TEST_P(SiteBlockerStopTest, EndingTheRunningFocusClearsTheWarningAndDropsLateAnswers) {
    browsers.answerJson(kVideoTab);
    clock.advance(1.0);
    ASSERT_EQ(browsers.waiting(), 1);  // a check in flight
    GetParam().second(*this);
    deliver();
    EXPECT_EQ(lastWarning(), cleared());
    EXPECT_FALSE(blocker->active());
    browsers.answerJson(kVideoTab);  // its late answer changes nothing
    EXPECT_EQ(lastWarning(), cleared());
    clock.advance(15.0);
    EXPECT_EQ(browsers.waiting(), 0);
    EXPECT_TRUE(blocked.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Changes, SiteBlockerStopTest,
    ::testing::Values(Change{"pause", [](SiteBlockerTest& t) { t.model->pause(); }},
                      Change{"break", [](SiteBlockerTest& t) { t.model->skip(); }},
                      Change{"off",
                             [](SiteBlockerTest& t) { t.prefs->setWebsiteBlockingEnabled(false); }},
                      Change{"emptied", [](SiteBlockerTest& t) { t.prefs->setBlockedSites({}); }},
                      Change{"asleep", [](SiteBlockerTest& t) { t.blocker->setSuspended(true); }}),
    [](const ::testing::TestParamInfo<Change>& info) { return std::string(info.param.first); });

TEST_F(SiteBlockerTest, FailuresDelayOrStopTheBrowser) {
    // No answer: not asked again for three seconds.
    browsers.fail(BrowserFailure::noResponse);
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium),
              QStringLiteral("Browser did not respond. Retrying…"));
    clock.advance(2.0);
    EXPECT_EQ(browsers.waiting(), 0);
    clock.advance(1.0);
    ASSERT_EQ(browsers.waiting(), 1);
    browsers.answerJson("[1]");  // not JSON of a tab: the same as no answer
    clock.advance(3.0);
    ASSERT_EQ(browsers.waiting(), 1);

    // Not connected: never asked again until Retry; other browsers go on.
    browsers.fail(BrowserFailure::notConnected);
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium),
              QStringLiteral("Browser extension not connected. Add the Tarnwhistle extension to "
                             "Chromium, then Retry."));
    clock.advance(10.0);
    EXPECT_EQ(browsers.waiting(), 0);
    front = FocusBrowser::firefox;
    blocker->frontApplicationChanged();
    deliver();
    ASSERT_EQ(browsers.waiting(), 1);
    EXPECT_EQ(browsers.next().browser, FocusBrowser::firefox);
    browsers.answerJson("null");
    front = FocusBrowser::chromium;
    blocker->frontApplicationChanged();
    deliver();
    EXPECT_EQ(browsers.waiting(), 0);
    blocker->retry(FocusBrowser::chromium);
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium), QStringLiteral("Not checked"));
    ASSERT_EQ(browsers.waiting(), 1);
    browsers.answerJson(kWorkTab);
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium), QStringLiteral("Connected"));
}

TEST_F(SiteBlockerTest, NoBrowserInFrontAsksNothingAndOneCheckIsNeverDoubled) {
    EXPECT_EQ(browsers.waiting(), 1);
    clock.advance(5.0);  // a slow browser: ticks find the check in flight
    EXPECT_EQ(browsers.waiting(), 1);
    browsers.answerJson(kWorkTab);
    front.reset();
    blocker->frontApplicationChanged();
    deliver();
    clock.advance(5.0);
    EXPECT_EQ(browsers.waiting(), 0);
    EXPECT_TRUE(blocker->active());  // focus still runs: the front is still followed
}

TEST_F(SiteBlockerTest, RuleOrderDecidesWhichEntryIsReported) {
    prefs->setBlockedSites({QStringLiteral("news.example/today"), QStringLiteral("news.example")});
    deliver();
    browsers.answer(QByteArray(kNewsTab));  // the check from before the change: stale, dropped
    EXPECT_TRUE(warnings.empty());
    tickReading(kNewsTab);
    EXPECT_EQ(lastWarning(), warned("news.example/today", 10));
}

TEST_F(SiteBlockerTest, ProbeReportsEachInstalledBrowserAndQuitWaitsForIt) {
    browsers.answerJson(kWorkTab);  // chromium connected by a check
    browsers.setInstalled({FocusBrowser::firefox, FocusBrowser::chromium, FocusBrowser::brave});
    blocker->requestBrowserAccess();
    bool idle = false;
    blocker->whenIdle([&idle] { idle = true; });
    ASSERT_EQ(browsers.next().kind, Kind::probe);
    browsers.answerJson("true");
    browsers.answerJson("true");
    EXPECT_TRUE(blocker->probing());
    browsers.fail(BrowserFailure::notConnected);
    QCoreApplication::processEvents();
    EXPECT_TRUE(idle);
    EXPECT_EQ(blocker->statusText(FocusBrowser::firefox), QStringLiteral("Ready"));
    EXPECT_EQ(blocker->statusText(FocusBrowser::chromium), QStringLiteral("Connected"));
    EXPECT_EQ(blocker->statusText(FocusBrowser::brave),
              SiteBlocker::deniedStatus(FocusBrowser::brave));
    EXPECT_TRUE(blocker->browserAccessGranted());
}

TEST_F(SiteBlockerTest, SecondProbeReplacesTheFirst) {
    browsers.answerJson(kWorkTab);
    browsers.setInstalled({FocusBrowser::firefox, FocusBrowser::chrome});
    blocker->requestBrowserAccess();
    blocker->requestBrowserAccess();
    browsers.answerJson("true");  // the first probe's firefox: dropped
    EXPECT_EQ(blocker->statusText(FocusBrowser::firefox), QStringLiteral("Not checked"));
    browsers.answerJson("true");
    browsers.answerJson("true");
    EXPECT_EQ(browsers.waiting(), 0);
    EXPECT_EQ(blocker->statusText(FocusBrowser::chrome), QStringLiteral("Ready"));
}

}  // namespace
}  // namespace tw::test
