#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <memory>
#include <optional>
#include <vector>

#include "common/StandIn.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "sync/NtfyNotifier.h"
#include "sync/SyncTestSupport.h"

using tw::FocusEvent;
using tw::FocusEventType;
using tw::NtfyNotifier;
using tw::NtfyTopic;
using tw::test::at;
using tw::test::waitUntil;

namespace {

FocusEvent event(FocusEventType type, qint64 duration = 1500) {
    FocusEvent e;
    e.id = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    e.type = type;
    e.mode = QStringLiteral("focus");
    e.startedAt = QStringLiteral("2026-03-01T09:30:00Z");
    e.endsAt = QStringLiteral("2026-03-01T09:55:00Z");
    e.durationSec = duration;
    e.sentAt = e.startedAt;
    return e;
}
const FocusEvent kStarted = event(FocusEventType::focusStarted);

// A notifier on a fake clock that publishes over real HTTPS to the stand-in ntfy server, whose
// test authority the process trusts.
class NtfyNotifierTest : public ::testing::Test {
protected:
    tw::test::StandIn server{QStringLiteral("ntfy.py")};
    tw::test::ScopedTimeZone zone{"UTC"};
    tw::test::ScopedLocale locale{QLocale(QLocale::German, QLocale::Germany)};
    tw::FakeScheduler clock{at("UTC", 2026, 3, 1, 9, 30)};
    tw::UserDefaults defaults;
    tw::AppPreferences prefs{defaults};
    std::unique_ptr<NtfyNotifier> ntfy;
    QSslConfiguration savedTls = QSslConfiguration::defaultConfiguration();

    void SetUp() override {
        ASSERT_TRUE(server.ok());
        QSslConfiguration::setDefaultConfiguration(server.trusting());
        ASSERT_TRUE(prefs.setNtfyServer(server.url().toString()));
    }
    void TearDown() override {
        ntfy.reset();
        QSslConfiguration::setDefaultConfiguration(savedTls);
    }

    NtfyNotifier& make(NtfyNotifier::Limits limits = {}) {
        ntfy = std::make_unique<NtfyNotifier>(prefs, clock, nullptr, limits);
        ntfy->setEnabled(true);
        return *ntfy;
    }

    // Until every publish has finished, or one waits for its retry on the clock.
    bool idle() {
        return waitUntil([&] { return ntfy->queued() == 0 || clock.pendingCount() > 0; });
    }
    QJsonArray publishes() { return server.requestsTo(QStringLiteral("/")); }
    QJsonObject body(int i) {
        return QJsonDocument::fromJson(
                   publishes().at(i).toObject().value("body").toString().toUtf8())
            .object();
    }
    QString host() const { return QStringLiteral("127.0.0.1"); }
};

TEST_F(NtfyNotifierTest, PublishesTheEventAsJsonToTheServerItself) {
    auto& n = make();
    server.plan(QJsonObject{{"path", "/"},
                            {"status", 200},
                            {"headers", QJsonObject{{"Set-Cookie", "visit=1; Path=/"}}},
                            {"body", "{}"}});
    n.handle(kStarted);
    clock.advance(3);
    n.handle(event(FocusEventType::breakCompleted, 300));
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    EXPECT_EQ(n.delivered(), 2);
    EXPECT_EQ(n.suppressed(), 0);
    EXPECT_FALSE(n.lastError());

    const QJsonArray sent = publishes();
    ASSERT_EQ(sent.size(), 2);
    const QJsonObject first = sent.at(0).toObject();
    EXPECT_EQ(first.value("method").toString(), "POST");
    EXPECT_EQ(first.value("headers").toObject().value("Content-Type").toString(),
              "application/json");
    EXPECT_EQ(body(0), (QJsonObject{{"topic", n.topic().name},
                                    {"title", "Focus started"},
                                    {"message", QString::fromUtf8("25 min focus · ends 09:55")},
                                    {"tags", QJsonArray{"alarm_clock"}},
                                    {"priority", 3}}));
    EXPECT_EQ(body(1).value("title").toString(), "Break over");
    // The cookie of the first reply is neither kept nor sent back.
    EXPECT_FALSE(sent.at(1).toObject().value("headers").toObject().contains("Cookie"));
}

TEST_F(NtfyNotifierTest, PausesResumesResetsAndADisabledNotifierPublishNothing) {
    auto& n = make();
    for (auto type : {FocusEventType::focusPaused, FocusEventType::focusResumed,
                      FocusEventType::sessionReset}) {
        n.handle(event(type));
        clock.advance(5);
    }
    n.setEnabled(false);
    n.handle(kStarted);
    EXPECT_EQ(n.queued(), 0);
    EXPECT_EQ(n.suppressed(), 0);
    EXPECT_EQ(n.delivered(), 0);
    EXPECT_TRUE(publishes().isEmpty());
    EXPECT_FALSE(defaults.boolValue(NtfyNotifier::enabledKey));
}

// At least 3 seconds between publishes and at most 30 in any hour; refusals record nothing.
TEST_F(NtfyNotifierTest, SpacesAndCapsItsPublishes) {
    auto& n = make();
    const tw::Instant start = clock.now();
    n.handle(kStarted);
    clock.advance(2);
    n.handle(kStarted);  // 2 seconds after the last: refused
    EXPECT_EQ(n.suppressed(), 1);
    clock.advance(1);
    n.handle(kStarted);  // 3 seconds: allowed
    for (int i = 2; i < 30; ++i) {
        clock.advanceTo(start + 3.0 * i);
        n.handle(kStarted);
    }
    EXPECT_EQ(n.suppressed(), 1);
    clock.advanceTo(start + 90);
    n.handle(kStarted);  // the 31st within the hour
    EXPECT_EQ(n.suppressed(), 2);
    clock.advanceTo(start + 3599.9);
    n.handle(kStarted);  // the first is not yet an hour old
    EXPECT_EQ(n.suppressed(), 3);
    clock.advanceTo(start + 3600);
    n.handle(kStarted);  // now it is
    EXPECT_EQ(n.suppressed(), 3);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }, 30000));
    EXPECT_EQ(n.delivered(), 31);
    EXPECT_EQ(publishes().size(), 31);
}

// A 429 sets a cooldown of Retry-After seconds (at least 1), or 60 seconds without a usable
// header; nothing is published before it ends.
TEST_F(NtfyNotifierTest, RateLimitedByTheServerCoolsDown) {
    struct Case {
        std::optional<QString> retryAfter;
        double wait;
        QString seconds;
    };
    const std::vector<Case> cases = {
        {"0.2", 1, "1"},
        {std::nullopt, 60, "60"},
        {"10", 10, "10"},
        {"2.9", 2.9, "2"},
        {"Wed, 21 Oct 2015 07:28:00 GMT", 60, "60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.retryAfter.value_or("none").toStdString());
        server.reset();
        auto& n = make({0.01, 30});
        QJsonObject plan{{"path", "/"}, {"status", 429}};
        if (c.retryAfter) plan.insert("headers", QJsonObject{{"Retry-After", *c.retryAfter}});
        server.plan(plan);
        n.handle(kStarted);
        ASSERT_TRUE(idle());
        EXPECT_EQ(n.queued(), 0);  // no retry after a 429
        EXPECT_EQ(n.suppressed(), 1);
        const QString message = host() +
                                " is limiting notifications from this computer. It resumes in " +
                                c.seconds + " seconds.";
        EXPECT_EQ(n.lastError(), message);

        clock.advance(c.wait - 0.05);
        n.handle(kStarted);
        EXPECT_EQ(n.suppressed(), 2);
        EXPECT_EQ(n.lastError(), message);
        clock.advance(0.05);
        n.handle(kStarted);
        ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
        EXPECT_EQ(n.delivered(), 1);
        EXPECT_FALSE(n.lastError());
        EXPECT_EQ(publishes().size(), 2);
    }
}

// A 5xx is retried once, 2 seconds later; other answers are final. (A connection dropped
// before the answer is sent again by Qt's HTTP layer itself, so the failures on the way are shown
// with a server that is not there.)
TEST_F(NtfyNotifierTest, RetriesOnceAfterTwoSeconds) {
    const QJsonObject ok{{"status", 200}, {"body", "{}"}};
    const auto status = [](int s) { return QJsonObject{{"status", s}}; };
    const QString refused = host() + " refused the notification (HTTP %1).";
    struct Case {
        const char* what;
        std::vector<QJsonObject> answers;
        bool delivered;
        std::optional<QString> error;
    };
    const std::vector<Case> cases = {
        {"503 then 200", {status(503), ok}, true, std::nullopt},
        {"500 twice", {status(500), status(500)}, false, refused.arg(500)},
        {"502 then 404", {status(502), status(404)}, false, refused.arg(404)},
        {"400", {status(400)}, false, refused.arg(400)},
        {"a redirect is not followed",
         {QJsonObject{{"status", 302}, {"headers", QJsonObject{{"Location", "/elsewhere"}}}}},
         false,
         refused.arg(302)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.reset();
        auto& n = make();
        for (QJsonObject answer : c.answers) {
            answer.insert("path", "/");
            server.plan(answer);
        }
        n.handle(kStarted);
        ASSERT_TRUE(idle());
        if (c.answers.size() == 2) {
            EXPECT_EQ(n.queued(), 1);
            EXPECT_EQ(clock.nextDue(), clock.now() + 2.0);
            clock.advance(1.9);
            EXPECT_EQ(publishes().size(), 1);
            clock.advance(0.1);
        }
        ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
        EXPECT_EQ(publishes().size(), qsizetype(c.answers.size()));
        EXPECT_EQ(body(0), body(publishes().size() - 1));
        EXPECT_EQ(n.delivered(), c.delivered ? 1 : 0);
        EXPECT_EQ(n.suppressed(), c.delivered ? 0 : 1);
        EXPECT_EQ(n.lastError(), c.error);
    }
}

TEST_F(NtfyNotifierTest, AServerThatIsGoneCannotBeReached) {
    auto& n = make();
    server.stop();
    n.handle(kStarted);
    ASSERT_TRUE(idle());
    clock.advance(2);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    EXPECT_EQ(n.suppressed(), 1);
    EXPECT_EQ(n.lastError(),
              "Could not reach 127.0.0.1. Check this computer's internet connection.");
}

TEST_F(NtfyNotifierTest, TheRetryReachesAServerThatCameBack) {
    auto& n = make();
    server.stop();
    n.handle(kStarted);
    ASSERT_TRUE(idle());
    EXPECT_EQ(n.queued(), 1);
    ASSERT_TRUE(server.restart());
    clock.advance(2);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    EXPECT_EQ(n.delivered(), 1);
    EXPECT_FALSE(n.lastError());
    EXPECT_EQ(publishes().size(), 1);
}

TEST_F(NtfyNotifierTest, TurningOffAndOnClearsTheErrorAndKeepsTheCounters) {
    auto& n = make();
    server.plan(QJsonObject{{"path", "/"}, {"status", 400}});
    n.handle(kStarted);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    ASSERT_TRUE(n.lastError());
    n.setEnabled(false);
    EXPECT_TRUE(n.lastError());
    n.setEnabled(true);
    EXPECT_FALSE(n.lastError());
    EXPECT_EQ(n.suppressed(), 1);
    EXPECT_TRUE(defaults.boolValue(NtfyNotifier::enabledKey));
}

TEST_F(NtfyNotifierTest, ANewTopicLiftsTheCooldownAndKeepsTheCounters) {
    auto& n = make();
    server.plan(QJsonObject{{"path", "/"}, {"status", 429}});
    n.handle(kStarted);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    const NtfyTopic old = n.topic();
    n.newTopic();
    EXPECT_NE(n.topic(), old);
    EXPECT_EQ(defaults.string(NtfyNotifier::topicKey), n.topic().name);
    EXPECT_FALSE(n.lastError());
    n.handle(kStarted);  // within the old cooldown and the spacing: both dropped
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    EXPECT_EQ(n.delivered(), 1);
    EXPECT_EQ(n.suppressed(), 1);
    EXPECT_EQ(body(1).value("topic").toString(), n.topic().name);
}

TEST_F(NtfyNotifierTest, AnotherServerGetsThePublishesWithoutTheOldCooldown) {
    auto& n = make();
    server.plan(QJsonObject{{"path", "/"}, {"status", 429}});
    n.handle(kStarted);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    ASSERT_TRUE(n.lastError());

    tw::test::StandIn other{QStringLiteral("ntfy.py")};
    ASSERT_TRUE(other.ok());
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.addCaCertificates(other.authority());
    QSslConfiguration::setDefaultConfiguration(tls);
    ASSERT_TRUE(prefs.setNtfyServer(other.url().toString()));
    EXPECT_FALSE(n.lastError());
    clock.advance(3);
    n.handle(kStarted);
    ASSERT_TRUE(waitUntil([&] { return n.queued() == 0; }));
    EXPECT_EQ(n.delivered(), 1);
    EXPECT_EQ(other.requestsTo("/").size(), 1);
    EXPECT_EQ(publishes().size(), 1);
}

TEST(NtfyNotifierSetup, KeepsAReadableStoredTopicAndReplacesAnUnreadableOne) {
    tw::FakeScheduler clock;
    const QString name = "0123456789abcdefghjkmnpqrstvwxyz";
    {
        tw::UserDefaults defaults;
        defaults.setString(NtfyNotifier::topicKey, "0123-4567-89AB-CDEF-GHJK-MNPQ-RSTV-WXYZ");
        defaults.setBool(NtfyNotifier::enabledKey, true);
        tw::AppPreferences prefs(defaults);
        NtfyNotifier n(prefs, clock);
        EXPECT_EQ(n.topic().name, name);
        EXPECT_TRUE(n.enabled());
        EXPECT_EQ(defaults.string(NtfyNotifier::topicKey),
                  "0123-4567-89AB-CDEF-GHJK-MNPQ-RSTV-WXYZ");
    }
    for (const std::optional<QString>& stored :
         {std::optional<QString>(), std::optional<QString>("too short")}) {
        tw::UserDefaults defaults;
        if (stored) defaults.setString(NtfyNotifier::topicKey, *stored);
        tw::AppPreferences prefs(defaults);
        NtfyNotifier n(prefs, clock);
        EXPECT_FALSE(n.enabled());
        EXPECT_EQ(n.topic().name.size(), 32);
        EXPECT_EQ(defaults.string(NtfyNotifier::topicKey), n.topic().name);
    }
}

TEST(NtfyNotifierSetup, LinksAndQrCodeNameTheServerAndTheTopic) {
    tw::FakeScheduler clock;
    tw::UserDefaults defaults;
    defaults.setString(NtfyNotifier::topicKey, "0123456789abcdefghjkmnpqrstvwxyz");
    tw::AppPreferences prefs(defaults);
    NtfyNotifier n(prefs, clock);
    EXPECT_EQ(n.server(), QUrl("https://ntfy.sh"));
    EXPECT_EQ(n.subscribeLink(), "https://ntfy.sh/0123456789abcdefghjkmnpqrstvwxyz");
    EXPECT_EQ(n.appLink(), "ntfy://ntfy.sh/0123456789abcdefghjkmnpqrstvwxyz");
    const auto qr = n.qrCode();
    ASSERT_TRUE(qr);
    EXPECT_EQ(tw::test::decodeQr(*qr), n.subscribeLink());

    ASSERT_TRUE(prefs.setNtfyServer("https://push.example.org:8443/"));
    EXPECT_EQ(n.subscribeLink(), "https://push.example.org:8443/0123456789abcdefghjkmnpqrstvwxyz");
    EXPECT_EQ(n.appLink(), "ntfy://push.example.org:8443/0123456789abcdefghjkmnpqrstvwxyz");

    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        n.copyTopic();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "0123456789abcdefghjkmnpqrstvwxyz");
        n.copyLink();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), n.appLink());
    }
}

}  // namespace
