// The extension in real browsers: Chromium and Firefox ESR under the test desktop, each with a
// private profile, our extension loaded and our host manifest written by the program's probe,
// showing a page served by this test on 127.0.0.1.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <QDirIterator>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>

#include "platform/BrowserHostFixture.h"
#include "platform/linux/ExtensionBrowserAutomation.h"
#include "platform/linux/ProcessScan.h"
#include "platform/linux/QtScheduler.h"

namespace tw::test {
namespace {

constexpr int kBrowserStartMs = 120000;  // a cold browser on a busy two-core machine

// A one-page web server on the loopback address.
class PageServer {
public:
    PageServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n")) return;
                    ++requests;
                    const QByteArray body =
                        "<!doctype html><title>Focus page</title><p>Nothing to see.</p>";
                    s->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" +
                             body);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/reading/today.html").arg(server_.serverPort());
    }
    int requests = 0;

private:
    QTcpServer server_;
};

bool alive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const auto parsed = procscan::parseProcStat(stat.readAll());
    return parsed && parsed->state != 'Z';
}

class RealBrowser : public ::testing::Test {
public:
    QTemporaryDir root;
    QString runtime = root.filePath(QStringLiteral("run"));
    QString home = root.filePath(QStringLiteral("home"));
    QString config = root.filePath(QStringLiteral("home/.config"));
    QtScheduler scheduler;
    std::unique_ptr<ExtensionBrowserAutomation> automation;
    PageServer page;
    QProcess browser;

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kBrowserHost));
        QDir().mkpath(runtime);
        QDir().mkpath(config);
        browser.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        browser.setStandardOutputFile(QProcess::nullDevice());
    }
    void TearDown() override { closeBrowser(); }

    void startProgram() {
        ExtensionBrowserAutomation::Options o;
        o.hostExecutable = kBrowserHost;
        o.socketFolder = runtime + QStringLiteral("/tarnwhistle");
        o.manifests = browserinstalls::Locations{home, config};
        automation = std::make_unique<ExtensionBrowserAutomation>(scheduler, o);
        ASSERT_TRUE(automation->server().isListening());
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), root.filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("MOZ_CRASHREPORTER_DISABLE"), QStringLiteral("1"));
        return env;
    }

    void startChromium(bool withExtension) {
        QStringList args = {
            QStringLiteral("--user-data-dir=") + config + QStringLiteral("/chromium"),
            QStringLiteral("--no-first-run"),
            QStringLiteral("--no-default-browser-check"),
            QStringLiteral("--disable-sync"),
            QStringLiteral("--disable-background-networking"),
            QStringLiteral("--disable-component-update"),
            QStringLiteral("--password-store=basic"),
            QStringLiteral("--disable-gpu"),
            QStringLiteral("--disable-features=DisableLoadExtensionCommandLineSwitch"),
        };
        if (withExtension) {
            args << QStringLiteral("--load-extension=" TW_SOURCE_DIR "/browser-extension");
        }
        if (::getuid() == 0) args << QStringLiteral("--no-sandbox");  // Chromium's rule for root
        args << page.url();
        browser.setProcessEnvironment(environment());
        browser.start(QStringLiteral("chromium"), args);
        ASSERT_TRUE(browser.waitForStarted(10000));
    }

    void startFirefox() {
        const QString profile = root.filePath(QStringLiteral("firefox-profile"));
        ASSERT_TRUE(QDir().mkpath(profile + QStringLiteral("/extensions")));
        ASSERT_TRUE(QFile::copy(
            QStringLiteral(TW_BIN_DIR "/../browser-extension/tarnwhistle-browser.xpi"),
            profile + QStringLiteral("/extensions/") +
                QLatin1String(browserlink::kFirefoxExtensionId) + QStringLiteral(".xpi")));
        QFile prefs(profile + QStringLiteral("/user.js"));
        ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
        prefs.write(
            "user_pref(\"xpinstall.signatures.required\", false);\n"
            "user_pref(\"extensions.autoDisableScopes\", 0);\n"
            "user_pref(\"extensions.update.enabled\", false);\n"
            "user_pref(\"browser.shell.checkDefaultBrowser\", false);\n"
            "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n"
            "user_pref(\"browser.aboutwelcome.enabled\", false);\n"
            "user_pref(\"datareporting.policy.dataSubmissionEnabled\", false);\n"
            "user_pref(\"toolkit.telemetry.reportingpolicy.firstRun\", false);\n"
            "user_pref(\"app.update.disabledForTesting\", true);\n"
            "user_pref(\"network.captive-portal-service.enabled\", false);\n"
            "user_pref(\"browser.tabs.warnOnClose\", false);\n");
        prefs.close();
        browser.setProcessEnvironment(environment());
        browser.start(QStringLiteral("firefox-esr"),
                      {QStringLiteral("--profile"), profile, QStringLiteral("--no-remote"),
                       QStringLiteral("--new-instance"), page.url()});
        ASSERT_TRUE(browser.waitForStarted(10000));
    }

    void closeBrowser() {
        if (browser.state() == QProcess::NotRunning) return;
        browser.terminate();
        if (!browser.waitForFinished(20000)) {
            browser.kill();
            browser.waitForFinished(5000);
        }
    }

    bool connected(FocusBrowser b, int timeoutMs = kBrowserStartMs) {
        return waitUntil([&] { return automation->server().connectionFor(b).has_value(); },
                         timeoutMs);
    }

    // The front tab once it shows `url`, asking again until it does.
    std::optional<BrowserTab> frontTabAt(FocusBrowser b, const QString& url) {
        std::optional<BrowserTab> tab;
        waitUntil(
            [&] {
                const auto reply = call(*automation, frontTab(b));
                const auto* bytes = reply ? std::get_if<QByteArray>(&*reply) : nullptr;
                if (!bytes) return false;
                const auto decoded = decodeFrontTab(*bytes);
                const auto* t = std::get_if<std::optional<BrowserTab>>(&decoded);
                if (!t || !*t || (*t)->url != url) return false;
                tab = **t;
                return true;
            },
            kBrowserStartMs);
        return tab;
    }

    // The whole round: read, refuse to blank a tab that is not the one read, blank it; the program
    // restarting and the host restarting keep it working; the host ends with the browser.
    void readAndBlank(FocusBrowser b) {
        startProgram();
        EXPECT_EQ(text(call(*automation, probe(b))), "failure -1743") << "not running yet";
        b == FocusBrowser::firefox ? startFirefox() : startChromium(true);
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
        closeBrowser();
        EXPECT_TRUE(
            waitUntil([&] { return std::none_of(hosts.begin(), hosts.end(), alive); }, 30000));
        EXPECT_TRUE(waitUntil([&] { return automation->server().hostPids().isEmpty(); }));

        // Nothing of ours holds the address.
        const QByteArray address = page.url().toUtf8().mid(7, 15);  // "127.0.0.1:port"
        for (const QString& folder : {runtime, home + QStringLiteral("/.mozilla"),
                                      config + QStringLiteral("/chromium/NativeMessagingHosts")}) {
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
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (scripts/deps installs it)";
    }
    readAndBlank(FocusBrowser::chromium);
}

TEST_F(RealBrowser, FirefoxEsrReadsAndBlanksTheFrontTab) {
    if (QStandardPaths::findExecutable(QStringLiteral("firefox-esr")).isEmpty()) {
        GTEST_SKIP() << "firefox-esr is not installed (scripts/deps installs it)";
    }
    readAndBlank(FocusBrowser::firefox);
}

TEST_F(RealBrowser, ChromiumWithoutOurExtensionIsNotConnected) {
    if (QStandardPaths::findExecutable(QStringLiteral("chromium")).isEmpty()) {
        GTEST_SKIP() << "chromium is not installed (scripts/deps installs it)";
    }
    startProgram();
    EXPECT_EQ(text(call(*automation, probe(FocusBrowser::chromium))), "failure -1743");
    startChromium(false);
    ASSERT_TRUE(waitUntil([&] { return page.requests > 0; }, kBrowserStartMs))
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
