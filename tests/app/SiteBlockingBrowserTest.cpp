// The site blocker end to end, as a user meets it: the application delegate over the desktop's
// real applications (the front browser is the application of the active X window) and the real
// browser automation, with Chromium or Firefox ESR in a private profile showing a blocked page
// that this test serves on 127.0.0.1. Only time is the test's: each second's check falls due when
// the fake scheduler advances, and the test then waits for the browser's real answer.
#include <QGuiApplication>
#include <string>
#include <vector>

#include "app/DelegateFixture.h"
#include "common/RealBrowsers.h"
#include "common/X11Probe.h"
#include "distraction/SiteBlocker.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ExtensionBrowserAutomation.h"
#include "platform/linux/X11RunningApplications.h"
#include "timer/TimerModel.h"

namespace tw {
static void PrintTo(FocusBrowser browser, std::ostream* os) {
    *os << rawValue(browser).toStdString();
}
}  // namespace tw

namespace tw::test {
namespace {

const QString kRule = QStringLiteral("127.0.0.1/reading");
const QString kNotConnected = QStringLiteral(
    "Browser extension not connected. Add the Tarnwhistle extension to Chromium, then Retry.");
constexpr int kAnswerMs = 30000;  // a browser answers within a second; this is for a busy machine

// The warnings as "<rule> <seconds left>", "none 0" when the warning ends.
std::vector<std::string> countdown(int from, int to) {
    std::vector<std::string> out;
    for (int s = from; s >= to; --s) out.push_back(kRule.toStdString() + " " + std::to_string(s));
    return out;
}
const std::string kEnded = "none 0";

class SiteBlocking : public DelegateFixture {
protected:
    PrivateBrowser browser;
    PageServer page;
    X11Probe x11;
    std::unique_ptr<DesktopEntries> entries;
    std::unique_ptr<X11RunningApplications> desktop;
    std::unique_ptr<ExtensionBrowserAutomation> automation;
    std::vector<std::string> warnings;
    std::vector<std::string> blocked;
    int statusChanges = 0;

    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || !x11.ok()) {
            GTEST_SKIP() << "needs an X server with a window manager (scripts/with-desktop)";
        }
        ASSERT_TRUE(QFile::exists(kBrowserHost));
        entries = std::make_unique<DesktopEntries>();
        desktop = X11RunningApplications::create(*entries);
        ASSERT_TRUE(desktop);
        automation =
            std::make_unique<ExtensionBrowserAutomation>(scheduler, browser.automationOptions());
        ASSERT_TRUE(automation->server().isListening());
        applications = desktop.get();
        browsers = automation.get();
        standard.setBool(QStringLiteral("websiteBlockingEnabled"), true);
        standard.setStringArray(QStringLiteral("blockedSites"), QStringList{kRule});
        launch();
        ASSERT_NE(delegate->siteBlocker(), nullptr);
        QObject::connect(
            &blocker(), &SiteBlocker::warning,
            [this](const std::optional<QString>& rule, int secondsLeft) {
                warnings.push_back(rule.value_or(QStringLiteral("none")).toStdString() + " " +
                                   std::to_string(secondsLeft));
            });
        QObject::connect(&blocker(), &SiteBlocker::blocked,
                         [this](const QString& rule) { blocked.push_back(rule.toStdString()); });
        QObject::connect(&blocker(), &SiteBlocker::browserStatusChanged,
                         [this] { ++statusChanges; });
    }
    void TearDown() override {
        delegate.reset();  // before the applications and the automation it was built over
        browser.close();
    }

    SiteBlocker& blocker() { return *delegate->siteBlocker(); }
    qint64 driftsThisSession() { return delegate->model().driftsThisSession(); }

    // The browser's window is the active one, and the desktop reports the browser in front.
    ::testing::AssertionResult inFront(FocusBrowser b) {
        const auto front = [&] {
            const auto app = desktop->frontmost();
            return app && focusBrowserOf(*app) == b;
        };
        const qint64 pid = browser.process.processId();
        if (!waitUntil([&] { return !x11.windowsOf(pid).isEmpty(); }, kBrowserStartMs)) {
            return ::testing::AssertionFailure() << "the browser shows no window";
        }
        if (waitUntil(front, 5000)) return ::testing::AssertionSuccess();
        x11.activate(x11.windowsOf(pid).back());
        if (waitUntil(front, 10000)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "the browser's window is not the active one";
    }

    // The user's way in: allowing access writes the host manifests while the browser is not yet
    // running (so it is reported without the extension); the browser starts with the extension,
    // which connects; Retry clears the report.
    void openBrowser(FocusBrowser b) {
        blocker().requestBrowserAccess();
        ASSERT_TRUE(waitUntil([&] { return !blocker().probing(); }));
        EXPECT_EQ(blocker().statusText(b), SiteBlocker::deniedStatus(b));
        ASSERT_TRUE(browser.start(b, page.url()));
        ASSERT_TRUE(connected(*automation, b)) << "the extension connects through the manifest";
        blocker().retry(b);
        ASSERT_TRUE(inFront(b));
        ASSERT_TRUE(frontTabAt(*automation, b, page.url())) << "the page shows";
    }

    // Waits until the check under way (a read and, once the warning ran out, the blank) has its
    // answer from the browser.
    ::testing::AssertionResult settled() {
        if (waitUntil([&] { return !blocker().checking(); }, kAnswerMs)) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the browser did not answer";
    }
    // Focus starts; the first check is answered.
    ::testing::AssertionResult startFocus() {
        delegate->model().start(25 * 60);
        if (!waitUntil([&] { return blocker().active(); })) {
            return ::testing::AssertionFailure() << "the blocker did not start";
        }
        return settled();
    }
    // A second passes: the check that falls due is answered.
    ::testing::AssertionResult second() {
        scheduler.advance(1.0);
        return settled();
    }
};

class SiteBlockingBrowser : public SiteBlocking,
                            public ::testing::WithParamInterface<FocusBrowser> {
protected:
    void SetUp() override {
        if (!PrivateBrowser::installed(GetParam())) {
            GTEST_SKIP() << PrivateBrowser::executable(GetParam()).toStdString()
                         << " is not installed (scripts/deps installs it)";
        }
        SiteBlocking::SetUp();
    }
};

TEST_P(SiteBlockingBrowser, TheFrontTabIsWarnedForTenSecondsThenBlanked) {
    const FocusBrowser b = GetParam();
    ASSERT_NO_FATAL_FAILURE(openBrowser(b));
    const auto tab = frontTabAt(*automation, b, page.url());
    ASSERT_TRUE(tab);

    ASSERT_TRUE(startFocus());
    EXPECT_EQ(blocker().statusText(b), QStringLiteral("Connected"));
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(second());
    EXPECT_EQ(warnings, countdown(10, 1));
    EXPECT_TRUE(blocked.empty());

    ASSERT_TRUE(second());  // the warning runs out
    auto expected = countdown(10, 1);
    expected.push_back(kEnded);
    EXPECT_EQ(warnings, expected);
    EXPECT_EQ(blocked, std::vector<std::string>{kRule.toStdString()});
    const auto blank = frontTabAt(*automation, b, QStringLiteral("about:blank"), 10000);
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->tab, tab->tab) << "the same tab";
    EXPECT_EQ(driftsThisSession(), 1);
    ASSERT_EQ(DelegateFixture::drifts.days().size(), 1);
    EXPECT_EQ(DelegateFixture::drifts.days().first(), (QMap<QString, qint64>{{"127.0.0.1", 1}}));

    // The blank tab is off the site: the checks go on without a warning.
    ASSERT_TRUE(second());
    EXPECT_EQ(warnings, expected);
    EXPECT_EQ(blocked.size(), 1u);
}

TEST_P(SiteBlockingBrowser, LeavingTheSiteInTheLastSecondBlanksNothing) {
    const FocusBrowser b = GetParam();
    ASSERT_NO_FATAL_FAILURE(openBrowser(b));
    ASSERT_TRUE(startFocus());
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(second());
    ASSERT_EQ(warnings, countdown(10, 1));

    const QString elsewhere = page.url(QStringLiteral("/notes/elsewhere.html"));
    page.sendPagesTo(elsewhere);  // the page moves on, as a click on a link would
    ASSERT_TRUE(frontTabAt(*automation, b, elsewhere, kAnswerMs)) << "the browser went there";

    ASSERT_TRUE(second());  // the warning would have run out
    auto expected = countdown(10, 1);
    expected.push_back(kEnded);
    EXPECT_EQ(warnings, expected);
    EXPECT_TRUE(blocked.empty());
    EXPECT_TRUE(frontTabAt(*automation, b, elsewhere, 5000)) << "nothing was blanked";
    EXPECT_EQ(driftsThisSession(), 1);
}

INSTANTIATE_TEST_SUITE_P(, SiteBlockingBrowser,
                         ::testing::Values(FocusBrowser::chromium, FocusBrowser::firefox),
                         [](const auto& info) { return rawValue(info.param).toStdString(); });

// Pausing asks no browser anything, so one browser shows it.
TEST_F(SiteBlocking, PausingDuringTheWarningClearsIt) {
    if (!PrivateBrowser::installed(FocusBrowser::chromium)) GTEST_SKIP() << "no chromium";
    ASSERT_NO_FATAL_FAILURE(openBrowser(FocusBrowser::chromium));
    ASSERT_TRUE(startFocus());
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(second());
    ASSERT_EQ(warnings, countdown(10, 7));

    delegate->model().pause();
    ASSERT_TRUE(waitUntil([&] { return warnings.back() == kEnded; }));
    EXPECT_FALSE(blocker().pending().has_value());
    for (int i = 0; i < 12; ++i) {
        scheduler.advance(1.0);
        EXPECT_FALSE(blocker().checking()) << "no check while paused";
    }
    auto expected = countdown(10, 7);
    expected.push_back(kEnded);
    EXPECT_EQ(warnings, expected);
    EXPECT_TRUE(blocked.empty());
    EXPECT_TRUE(frontTabAt(*automation, FocusBrowser::chromium, page.url(), 5000));
    EXPECT_EQ(driftsThisSession(), 1);
}

TEST_F(SiteBlocking, ABrowserWithoutOurExtensionIsNotAskedAgainUntilRetry) {
    if (!PrivateBrowser::installed(FocusBrowser::chromium)) GTEST_SKIP() << "no chromium";
    ASSERT_TRUE(browser.startChromium(page.url(), false));
    ASSERT_TRUE(waitUntil([&] { return page.requests() > 0; }, kBrowserStartMs));
    ASSERT_TRUE(inFront(FocusBrowser::chromium));

    // The check waits the time limit for an extension to connect.
    delegate->model().start(25 * 60);
    ASSERT_TRUE(waitUntil([&] { return blocker().checking(); }));
    QCoreApplication::processEvents();
    scheduler.advance(BrowserAutomation::timeLimitSeconds);
    ASSERT_TRUE(settled());
    EXPECT_EQ(blocker().statusText(FocusBrowser::chromium), kNotConnected);
    const int changes = statusChanges;
    for (int i = 0; i < 5; ++i) {
        scheduler.advance(1.0);
        EXPECT_FALSE(blocker().checking()) << "not asked again";
    }
    EXPECT_EQ(statusChanges, changes);

    blocker().retry(FocusBrowser::chromium);
    EXPECT_TRUE(blocker().checking()) << "asked again";
    QCoreApplication::processEvents();
    scheduler.advance(BrowserAutomation::timeLimitSeconds);
    ASSERT_TRUE(settled());
    EXPECT_EQ(blocker().statusText(FocusBrowser::chromium), kNotConnected);
    EXPECT_EQ(statusChanges, changes + 2) << "Not checked, then not connected again";
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(driftsThisSession(), 0);
}

// The browser opens while focus runs: it comes to the front before its extension has connected,
// and the check waits for the extension rather than reporting the browser without it.
TEST_F(SiteBlocking, ABrowserOpenedDuringFocusIsCheckedOnceItsExtensionConnects) {
    if (!PrivateBrowser::installed(FocusBrowser::chromium)) GTEST_SKIP() << "no chromium";
    // The host manifests from an earlier run.
    ASSERT_EQ(text(call(*automation, probe(FocusBrowser::chromium))), "failure -1743");
    ASSERT_TRUE(startFocus());
    EXPECT_FALSE(blocker().checking()) << "no browser in front";

    ASSERT_TRUE(browser.start(FocusBrowser::chromium, page.url()));
    ASSERT_TRUE(inFront(FocusBrowser::chromium));
    ASSERT_TRUE(waitUntil([&] { return !warnings.empty(); }, kBrowserStartMs))
        << blocker().statusText(FocusBrowser::chromium).toStdString();
    EXPECT_EQ(warnings, countdown(10, 10));
    EXPECT_EQ(blocker().statusText(FocusBrowser::chromium), QStringLiteral("Connected"));
    EXPECT_EQ(driftsThisSession(), 1);
}

}  // namespace
}  // namespace tw::test
