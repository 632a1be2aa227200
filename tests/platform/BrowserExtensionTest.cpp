// The extension in real browsers: Chromium and Firefox ESR under the test desktop, each with a
// private profile, our extension loaded and our host manifest written by the program's probe,
// showing a page served by this test on 127.0.0.1.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <memory>

#include "common/RealBrowsers.h"
#include "platform/linux/ExtensionBrowserAutomation.h"
#include "platform/linux/ProcessScan.h"
#include "platform/linux/QtScheduler.h"

namespace tw::test {
namespace {

bool alive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const auto parsed = procscan::parseProcStat(stat.readAll());
    return parsed && parsed->state != 'Z';
}

class RealBrowser : public ::testing::Test {
public:
    PrivateBrowser browser;
    QtScheduler scheduler;
    std::unique_ptr<ExtensionBrowserAutomation> automation;
    PageServer page;

    void SetUp() override { ASSERT_TRUE(QFile::exists(kBrowserHost)); }
    void TearDown() override { browser.close(); }

    void startProgram() {
        automation =
            std::make_unique<ExtensionBrowserAutomation>(scheduler, browser.automationOptions());
        ASSERT_TRUE(automation->server().isListening());
    }

    bool connected(FocusBrowser b, int timeoutMs = kBrowserStartMs) {
        return test::connected(*automation, b, timeoutMs);
    }
    std::optional<BrowserTab> frontTabAt(FocusBrowser b, const QString& url) {
        return test::frontTabAt(*automation, b, url);
    }

    // The whole round: read, refuse to blank a tab that is not the one read, blank it; the program
    // restarting and the host restarting keep it working; the host ends with the browser.
    void readAndBlank(FocusBrowser b) {
        startProgram();
        EXPECT_EQ(text(call(*automation, probe(b))), "failure -1743") << "not running yet";
        ASSERT_TRUE(browser.start(b, page.url()));
        ASSERT_TRUE(connected(b)) << "the extension connects through the manifest the probe wrote";
        EXPECT_EQ(text(call(*automation, probe(b))), "true");

        const auto tab = frontTabAt(b, page.url());
        ASSERT_TRUE(tab);
        EXPECT_FALSE(tab->window.isEmpty());
        EXPECT_FALSE(tab->tab.isEmpty());

        const BrowserTab others[] = {
            {tab->window + QStringLiteral("0"), tab->tab, tab->url},
            {tab->window, tab->tab + QStringLiteral("0"), tab->url},
            {tab->window, tab->tab, tab->url + QStringLiteral("#elsewhere")},
        };
        for (const BrowserTab& other : others) {
            EXPECT_EQ(text(call(*automation, frontTab(b, other))), "false");
        }
        EXPECT_TRUE(frontTabAt(b, page.url())) << "nothing was blanked";

        EXPECT_EQ(text(call(*automation, frontTab(b, *tab))), "true");
        const auto blank = frontTabAt(b, QStringLiteral("about:blank"));
        ASSERT_TRUE(blank);
        EXPECT_EQ(blank->tab, tab->tab) << "the same tab";

        // The program restarts: the host dials it again.
        automation.reset();
        startProgram();
        ASSERT_TRUE(connected(b, 60000));
        EXPECT_TRUE(frontTabAt(b, QStringLiteral("about:blank")));

        // The host goes: the extension starts a new one.
        const qint64 first = automation->server().hostPids().value(0);
        ASSERT_GT(first, 0);
        ::kill(static_cast<pid_t>(first), SIGKILL);
        ASSERT_TRUE(waitUntil(
            [&] {
                const auto pids = automation->server().hostPids();
                return !pids.isEmpty() && !pids.contains(first);
            },
            60000));
        EXPECT_TRUE(frontTabAt(b, QStringLiteral("about:blank")));

        // The host ends when the browser closes its input.
        const auto hosts = automation->server().hostPids();
        browser.close();
        EXPECT_TRUE(
            waitUntil([&] { return std::none_of(hosts.begin(), hosts.end(), alive); }, 30000));
        EXPECT_TRUE(waitUntil([&] { return automation->server().hostPids().isEmpty(); }));

        // Nothing of ours holds the address.
        const QByteArray address = page.url().toUtf8().mid(7, 15);  // "127.0.0.1:port"
        for (const QString& folder :
             {browser.runtime, browser.home + QStringLiteral("/.mozilla"),
              browser.config + QStringLiteral("/chromium/NativeMessagingHosts")}) {
            QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
            while (files.hasNext()) {
                QFile f(files.next());
                if (f.open(QIODevice::ReadOnly)) {
                    EXPECT_FALSE(f.readAll().contains(address)) << f.fileName().toStdString();
                }
            }
        }
    }
};

TEST_F(RealBrowser, ChromiumReadsAndBlanksTheFrontTab) {
    if (!PrivateBrowser::installed(FocusBrowser::chromium)) {
        GTEST_SKIP() << "chromium is not installed (scripts/deps installs it)";
    }
    readAndBlank(FocusBrowser::chromium);
}

TEST_F(RealBrowser, FirefoxEsrReadsAndBlanksTheFrontTab) {
    if (!PrivateBrowser::installed(FocusBrowser::firefox)) {
        GTEST_SKIP() << "firefox-esr is not installed (scripts/deps installs it)";
    }
    readAndBlank(FocusBrowser::firefox);
}

TEST_F(RealBrowser, ChromiumWithoutOurExtensionIsNotConnected) {
    if (!PrivateBrowser::installed(FocusBrowser::chromium)) {
        GTEST_SKIP() << "chromium is not installed (scripts/deps installs it)";
    }
    startProgram();
    EXPECT_EQ(text(call(*automation, probe(FocusBrowser::chromium))), "failure -1743");
    ASSERT_TRUE(browser.startChromium(page.url(), false));
    ASSERT_TRUE(waitUntil([&] { return page.requests() > 0; }, kBrowserStartMs))
        << "the browser shows the page";
    const auto reply = call(*automation, frontTab(FocusBrowser::chromium));
    ASSERT_TRUE(reply);
    const auto* failure = std::get_if<BrowserFailure>(&*reply);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, BrowserFailure::notConnected);
    EXPECT_EQ(failure->description,
              QStringLiteral("Browser extension not connected. Add the Tarnwhistle extension to "
                             "Chromium, then Retry."));
}

}  // namespace
}  // namespace tw::test
