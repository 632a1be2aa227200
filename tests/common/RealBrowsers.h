#pragma once

// Real browsers for the tests of the browser extension: Chromium and Firefox ESR under the test
// desktop, each in a private profile inside private home, configuration and runtime folders,
// with our extension loaded (or, for Chromium, not), showing pages that the test serves itself on
// 127.0.0.1; the program's automation set up over the same folders, and synchronous calls into it.

#include <gtest/gtest.h>

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <utility>

#include "browserlink/LinkMessages.h"
#include "common/TestSupport.h"
#include "platform/BrowserAutomation.h"
#include "platform/linux/ExtensionBrowserAutomation.h"

namespace tw::test {

inline const QString kBrowserHost = QStringLiteral(TW_BIN_DIR "/tarnwhistle-browser-host");
constexpr int kBrowserStartMs = 120000;  // a cold browser on a busy two-core machine

// Runs one request and waits for its answer.
inline std::optional<BrowserReply> call(BrowserAutomation& automation,
                                        const BrowserRequest& request, int timeoutMs = 10000) {
    std::optional<BrowserReply> reply;
    automation.execute(request, [&reply](BrowserReply r) { reply = std::move(r); });
    waitUntil([&reply] { return reply.has_value(); }, timeoutMs);
    return reply;
}

inline BrowserRequest frontTab(FocusBrowser browser, std::optional<BrowserTab> expected = {}) {
    return BrowserRequest{browser, BrowserRequest::Kind::frontTab, std::move(expected)};
}

inline BrowserRequest probe(FocusBrowser browser) {
    return BrowserRequest{browser, BrowserRequest::Kind::probe, std::nullopt};
}

// The answer's JSON text, or the failure as "failure <code>".
inline QByteArray text(const std::optional<BrowserReply>& reply) {
    if (!reply) return "no reply";
    if (const auto* bytes = std::get_if<QByteArray>(&*reply)) return *bytes;
    return "failure " + QByteArray::number(std::get<BrowserFailure>(*reply).code);
}

// Whether the extension in `browser` has connected to the program.
inline bool connected(ExtensionBrowserAutomation& automation, FocusBrowser browser,
                      int timeoutMs = kBrowserStartMs) {
    return waitUntil([&] { return automation.server().connectionFor(browser).has_value(); },
                     timeoutMs);
}

// The front tab once it shows `url`, asking again until it does.
inline std::optional<BrowserTab> frontTabAt(BrowserAutomation& automation, FocusBrowser browser,
                                            const QString& url, int timeoutMs = kBrowserStartMs) {
    std::optional<BrowserTab> tab;
    waitUntil(
        [&] {
            const auto reply = call(automation, frontTab(browser));
            const auto* bytes = reply ? std::get_if<QByteArray>(&*reply) : nullptr;
            if (!bytes) return false;
            const auto decoded = decodeFrontTab(*bytes);
            const auto* t = std::get_if<std::optional<BrowserTab>>(&decoded);
            if (!t || !*t || (*t)->url != url) return false;
            tab = **t;
            return true;
        },
        timeoutMs);
    return tab;
}

// A small web server on the loopback address. Every path answers the same short page, which asks
// the server where to go next and goes there once `sendPagesTo` tells it: a navigation in the
// page's own tab, as a click on a link makes one, whenever the test wants it.
class PageServer {
public:
    PageServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                // The request read so far lives with the connection: a connection still open
                // closes while this server goes.
                auto head = std::make_shared<QByteArray>();
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, head] {
                    *head += s->readAll();
                    if (!head->contains("\r\n\r\n")) return;
                    const QString path = QString::fromLatin1(head->split(' ').value(1));
                    head->clear();
                    paths << path;
                    if (path == QLatin1String(kNext)) {
                        held_ << s;
                    } else {
                        answer(s, "text/html",
                               "<!doctype html><title>Focus page</title><p>Nothing to see.</p>"
                               "<script>fetch(\"/next\").then((r) => r.text())"
                               ".then((u) => { location.href = u; });</script>");
                    }
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString url(const QString& path = QStringLiteral("/reading/today.html")) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
    }
    qsizetype requests() const { return paths.size(); }

    // The pages showing now go to `url`.
    void sendPagesTo(const QString& url) {
        for (const QPointer<QTcpSocket>& s : std::exchange(held_, {})) {
            if (s) answer(s, "text/plain", url.toUtf8());
        }
    }

    QStringList paths;  // the paths asked for, in order

private:
    static constexpr const char* kNext = "/next";

    static void answer(QTcpSocket* s, const QByteArray& type, const QByteArray& body) {
        s->write("HTTP/1.1 200 OK\r\nContent-Type: " + type +
                 "\r\nContent-Length: " + QByteArray::number(body.size()) +
                 "\r\nCache-Control: no-store" + "\r\nConnection: close\r\n\r\n" + body);
        s->disconnectFromHost();
    }

    QTcpServer server_;
    QList<QPointer<QTcpSocket>> held_;  // the pages' questions where to go
};

// One browser process in folders of its own: its profile, and the home, configuration, cache and
// runtime folders it and the host it starts see. The program's automation for it is set up with
// `automationOptions`: its socket in that runtime folder, the host manifests written into that
// home and configuration.
class PrivateBrowser {
public:
    QTemporaryDir root;
    QString runtime = root.filePath(QStringLiteral("run"));
    QString home = root.filePath(QStringLiteral("home"));
    QString config = root.filePath(QStringLiteral("home/.config"));
    QProcess process;

    PrivateBrowser() {
        QDir().mkpath(runtime);
        QDir().mkpath(config);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
    }
    ~PrivateBrowser() {
        close();
        // The browser's helper processes may still write into its folders for a moment after it
        // ended.
        waitUntil([this] { return QDir(root.path()).removeRecursively(); });
    }
    PrivateBrowser(const PrivateBrowser&) = delete;
    PrivateBrowser& operator=(const PrivateBrowser&) = delete;

    static QString executable(FocusBrowser browser) {
        return browser == FocusBrowser::firefox ? QStringLiteral("firefox-esr")
                                                : QStringLiteral("chromium");
    }
    static bool installed(FocusBrowser browser) {
        return !QStandardPaths::findExecutable(executable(browser)).isEmpty();
    }

    ExtensionBrowserAutomation::Options automationOptions() const {
        ExtensionBrowserAutomation::Options o;
        o.hostExecutable = kBrowserHost;
        o.socketFolder = runtime + QStringLiteral("/tarnwhistle");
        o.manifests = browserinstalls::Locations{home, config};
        return o;
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

    // Chromium or Firefox ESR with our extension, showing `url`.
    ::testing::AssertionResult start(FocusBrowser browser, const QString& url) {
        return browser == FocusBrowser::firefox ? startFirefox(url) : startChromium(url, true);
    }

    ::testing::AssertionResult startChromium(const QString& url, bool withExtension) {
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
        args << url;
        return run(QStringLiteral("chromium"), args);
    }

    ::testing::AssertionResult startFirefox(const QString& url) {
        const QString profile = root.filePath(QStringLiteral("firefox-profile"));
        if (!QDir().mkpath(profile + QStringLiteral("/extensions"))) {
            return ::testing::AssertionFailure() << "no profile folder";
        }
        if (!QFile::copy(QStringLiteral(TW_BIN_DIR "/../browser-extension/tarnwhistle-browser.xpi"),
                         profile + QStringLiteral("/extensions/") +
                             QLatin1String(browserlink::kFirefoxExtensionId) +
                             QStringLiteral(".xpi"))) {
            return ::testing::AssertionFailure() << "the add-on is not built";
        }
        QFile prefs(profile + QStringLiteral("/user.js"));
        if (!prefs.open(QIODevice::WriteOnly)) {
            return ::testing::AssertionFailure() << "cannot write user.js";
        }
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
        return run(QStringLiteral("firefox-esr"),
                   {QStringLiteral("--profile"), profile, QStringLiteral("--no-remote"),
                    QStringLiteral("--new-instance"), url});
    }

    void close() {
        if (process.state() == QProcess::NotRunning) return;
        process.terminate();
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

private:
    ::testing::AssertionResult run(const QString& program, const QStringList& args) {
        process.setProcessEnvironment(environment());
        process.start(program, args);
        if (!process.waitForStarted(10000)) {
            return ::testing::AssertionFailure() << program.toStdString() << " did not start";
        }
        return ::testing::AssertionSuccess();
    }
};

}  // namespace tw::test
