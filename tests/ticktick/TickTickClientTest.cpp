#include <gtest/gtest.h>

#include "ticktick/TickTickFixture.h"

namespace tw::test {
namespace {

using Kind = TickTickError::Kind;

QString text(Kind kind) {
    return TickTickError::of(kind).message();
}

class TickTickClientTest : public TickTickFixture {
public:
    // projects() to its end.
    TickTickClient::ProjectsResult projectsNow() {
        std::optional<TickTickClient::ProjectsResult> result;
        client->projects([&](TickTickClient::ProjectsResult r) { result = std::move(r); });
        EXPECT_TRUE(await(result));
        return result.value_or(TickTickError::of(Kind::network));
    }
    TickTickClient::TasksResult tasksNow(const QString& projectID) {
        std::optional<TickTickClient::TasksResult> result;
        client->tasks(projectID, [&](TickTickClient::TasksResult r) { result = std::move(r); });
        EXPECT_TRUE(await(result));
        return result.value_or(TickTickError::of(Kind::network));
    }
    bool connectNow(const QString& token) {
        client->connectWithToken(token);
        return waitUntil([&] { return !client->isConnecting(); }) && settle();
    }
};

TEST_F(TickTickClientTest, AcceptedTokenIsCheckedThenKept) {
    make();
    EXPECT_FALSE(client->isConnected());
    client->connectWithToken(QStringLiteral("  tt-valid-token\n"));
    EXPECT_TRUE(client->isConnecting());
    ASSERT_TRUE(waitUntil([&] { return !client->isConnecting(); }));
    EXPECT_TRUE(client->isConnected());
    EXPECT_EQ(client->statusMessage(), std::nullopt);
    ASSERT_TRUE(keyring.blob);
    EXPECT_EQ(TickTickAccount::decode(*keyring.blob), pasted());
    EXPECT_EQ(QJsonDocument::fromJson(*keyring.blob).object().keys(),
              QStringList{QStringLiteral("accessToken")});

    const QJsonArray requests = sent();
    ASSERT_EQ(requests.size(), 1);
    const QJsonObject check = requests[0].toObject();
    EXPECT_EQ(check.value(QStringLiteral("method")).toString(), QStringLiteral("GET"));
    EXPECT_EQ(check.value(QStringLiteral("path")).toString(), QStringLiteral("/open/v1/project"));
    EXPECT_EQ(header(check, "Authorization"), QStringLiteral("Bearer tt-valid-token"));
    EXPECT_EQ(header(check, "Accept"), QStringLiteral("application/json"));
    EXPECT_EQ(header(check, "Cookie"), QString());
    EXPECT_EQ(check.value(QStringLiteral("body")).toString(), QString());

    // The stored account is loaded at the next start.
    make();
    EXPECT_TRUE(client->isConnected());
}

TEST_F(TickTickClientTest, TokensThatCannotBeTokensAreRefusedWithoutARequest) {
    const QString cases[] = {
        QString(),          QStringLiteral("   \n"),      QStringLiteral("tt valid"),
        QString(513, u'a'), QStringLiteral("t\u00f6ken"), QStringLiteral("tab\there")};
    make();
    for (const QString& token : cases) {
        SCOPED_TRACE(token.left(20).toStdString());
        client->connectWithToken(token);
        EXPECT_FALSE(client->isConnecting());
        EXPECT_EQ(client->statusMessage(), text(Kind::token));
    }
    EXPECT_TRUE(TickTickClient::acceptableToken(QString(512, u'~')).has_value());
    settle();
    EXPECT_EQ(sent().size(), 0);
    EXPECT_EQ(keyring.writes, 0);
    EXPECT_FALSE(client->isConnected());
}

TEST_F(TickTickClientTest, RefusedChecksStoreNothing) {
    struct Case {
        const char* name;
        QString token;
        int status;  // 0: the stand-in's own answer
        QString message;
    };
    const Case cases[] = {
        {"unknown token", QStringLiteral("tt-wrong"), 0, text(Kind::expired)},
        {"403", QLatin1StringView(kToken), 403, TickTickError::http(403).message()},
        {"429", QLatin1StringView(kToken), 429,
         QStringLiteral("TickTick is receiving too many requests. Wait before trying again.")},
        {"500", QLatin1StringView(kToken), 500,
         QStringLiteral("TickTick is unavailable. Try again later.")},
        {"404", QLatin1StringView(kToken), 404,
         QStringLiteral(
             "TickTick could not complete the request. Check your settings and try again.")},
        {"redirect", QLatin1StringView(kToken), 302, TickTickError::http(302).message()},
    };
    make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.status) {
            plan(QStringLiteral("project"),
                 {{"status", c.status}, {"headers", QJsonObject{{"Location", "https://x.test/"}}}});
        }
        ASSERT_TRUE(connectNow(c.token));
        EXPECT_EQ(client->statusMessage(), c.message);
        EXPECT_FALSE(client->isConnected());
        EXPECT_FALSE(client->account().has_value());
    }
    EXPECT_EQ(keyring.writes, 0);
    EXPECT_FALSE(keyring.blob);
}

TEST_F(TickTickClientTest, ProjectsTasksAndCompletion) {
    make(pasted());
    ASSERT_TRUE(client->isConnected());

    const auto projects = projectsNow();
    ASSERT_TRUE(std::holds_alternative<std::vector<TickTickProject>>(projects));
    EXPECT_EQ(std::get<std::vector<TickTickProject>>(projects),
              (std::vector<TickTickProject>{{"inbox116", "Inbox"}, {kWork, "Work"}}));

    // Only the open tasks, in TickTick's order.
    const auto tasks = tasksNow(QLatin1StringView(kWork));
    ASSERT_TRUE(std::holds_alternative<std::vector<TickTickTask>>(tasks));
    const std::vector<TickTickTask> open{{kReport, kWork, "Write report"},
                                         {"63b7bebb91c0a5474805fcd6", kWork, "Plan the sprint"}};
    EXPECT_EQ(std::get<std::vector<TickTickTask>>(tasks), open);

    std::optional<TickTickTaskCompleting::CompleteResult> done;
    client->complete(open[0], [&](auto r) { done = r; });
    ASSERT_TRUE(await(done));
    EXPECT_EQ(*done, std::nullopt);
    EXPECT_EQ(statusOf(QLatin1StringView(kReport)), 2);

    const QJsonArray requests = sent();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[1].toObject().value(QStringLiteral("path")).toString(),
              QStringLiteral("/open/v1/project/%1/data").arg(kWork));
    EXPECT_EQ(requests[2].toObject().value(QStringLiteral("method")).toString(),
              QStringLiteral("POST"));
    EXPECT_EQ(requests[2].toObject().value(QStringLiteral("path")).toString(),
              QStringLiteral("/open/v1/project/%1/task/%2/complete").arg(kWork, kReport));
    for (const auto& r : requests) {
        EXPECT_EQ(header(r, "Authorization"), QStringLiteral("Bearer tt-valid-token"));
        EXPECT_EQ(r.toObject().value(QStringLiteral("body")).toString(), QString());
    }
    EXPECT_EQ(client->statusMessage(), std::nullopt);
}

TEST_F(TickTickClientTest, FailingAnswersBecomeTheirSentences) {
    struct Case {
        const char* name;
        QString path;  // below /open/v1
        QJsonObject answer;
        QString message;
    };
    const QString data = QStringLiteral("project/%1/data").arg(kWork);
    const Case cases[] = {
        {"403", "project", {{"status", 403}}, TickTickError::http(403).message()},
        {"429", "project", {{"status", 429}}, TickTickError::http(429).message()},
        {"503", "project", {{"status", 503}}, TickTickError::http(503).message()},
        {"not json",
         "project",
         {{"status", 200}, {"body", "<html>oops</html>"}},
         text(Kind::response)},
        {"object for array", "project", {{"status", 200}, {"body", "{}"}}, text(Kind::response)},
        {"id not text",
         "project",
         {{"status", 200}, {"body", "[{\"id\":1,\"name\":\"x\"}]"}},
         text(Kind::response)},
        {"empty body", data, {{"status", 200}, {"body", ""}}, text(Kind::response)},
        {"status as text",
         data,
         {{"status", 200},
          {"body",
           "{\"tasks\":[{\"id\":\"a\",\"projectId\":\"b\",\"title\":\"c\","
           "\"status\":\"0\"}]}"}},
         text(Kind::response)},
        {"no tasks", data, {{"status", 200}, {"body", "{\"project\":{}}"}}, text(Kind::response)},
        // Qt sends a GET again a few times when the connection drops before an answer.
        {"dropped", "project", {{"close", true}, {"times", 8}}, text(Kind::network)},
    };
    make(pasted());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plan(c.path, c.answer);
        const auto result =
            c.path == QLatin1StringView("project")
                ? std::visit(
                      [](auto&& v) -> std::optional<TickTickError> {
                          if constexpr (std::is_same_v<std::decay_t<decltype(v)>, TickTickError>) {
                              return v;
                          }
                          return std::nullopt;
                      },
                      projectsNow())
                : std::visit(
                      [](auto&& v) -> std::optional<TickTickError> {
                          if constexpr (std::is_same_v<std::decay_t<decltype(v)>, TickTickError>) {
                              return v;
                          }
                          return std::nullopt;
                      },
                      tasksNow(QLatin1StringView(kWork)));
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->message(), c.message);
        EXPECT_EQ(client->statusMessage(), c.message);
        // Failures other than 401 keep the account.
        EXPECT_TRUE(client->isConnected());
        EXPECT_TRUE(keyring.blob);
    }
    // The next success clears the message.
    api().reset();
    ASSERT_TRUE(std::holds_alternative<std::vector<TickTickProject>>(projectsNow()));
    EXPECT_EQ(client->statusMessage(), std::nullopt);
}

TEST_F(TickTickClientTest, RevokedTokenDropsTheAccount) {
    struct Case {
        const char* name;
        TickTickAccount stored;
        std::optional<TickTickAccount> kept;
    };
    TickTickAccount own = pasted(QStringLiteral("tt-revoked"));
    own.clientID = QStringLiteral("client");
    own.clientSecret = QStringLiteral("secret");
    own.expiresAt = clock.now() + 3600;
    TickTickAccount ownKept = own;
    ownKept.accessToken.reset();
    ownKept.expiresAt.reset();
    const Case cases[] = {
        {"pasted", pasted(QStringLiteral("tt-revoked")), std::nullopt},
        {"own client", own, ownKept},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        make(c.stored);
        ASSERT_TRUE(client->isConnected());
        const auto result = projectsNow();
        ASSERT_TRUE(std::holds_alternative<TickTickError>(result));
        EXPECT_EQ(std::get<TickTickError>(result).kind, Kind::expired);
        EXPECT_EQ(client->statusMessage(), text(Kind::expired));
        EXPECT_FALSE(client->isConnected());
        EXPECT_EQ(keyring.blob ? TickTickAccount::decode(*keyring.blob) : std::nullopt, c.kept);
    }
}

TEST_F(TickTickClientTest, ExpiredStoredAccountFailsBeforeAnyTraffic) {
    struct Case {
        const char* name;
        double expiresIn;
        bool ownClient;
    };
    const Case cases[] = {{"passed", -1, false}, {"this moment", 0, false}, {"own", -60, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TickTickAccount stored = pasted();
        stored.expiresAt = clock.now() + c.expiresIn;
        if (c.ownClient) stored.clientID = QStringLiteral("client");
        keyring.removes = 0;
        make(stored);
        EXPECT_TRUE(client->isConnected());
        const auto result = tasksNow(QLatin1StringView(kWork));
        ASSERT_TRUE(std::holds_alternative<TickTickError>(result));
        EXPECT_EQ(std::get<TickTickError>(result).kind, Kind::expired);
        EXPECT_EQ(client->statusMessage(), text(Kind::expired));
        EXPECT_FALSE(client->isConnected());
        if (c.ownClient) {
            ASSERT_TRUE(keyring.blob);
            const auto kept = TickTickAccount::decode(*keyring.blob);
            ASSERT_TRUE(kept);
            EXPECT_EQ(kept->clientID, QStringLiteral("client"));
            EXPECT_FALSE(kept->accessToken);
        } else {
            EXPECT_FALSE(keyring.blob);
            EXPECT_EQ(keyring.removes, 1);
        }
    }
    EXPECT_EQ(sent().size(), 0);
}

TEST_F(TickTickClientTest, SilentServerTimesOutOnTheClock) {
    make(pasted());
    plan(QStringLiteral("project"), {{"delay", 60}});
    std::optional<TickTickClient::ProjectsResult> result;
    client->projects([&](TickTickClient::ProjectsResult r) { result = std::move(r); });
    ASSERT_TRUE(waitUntil([&] { return sent().size() == 1; }));
    clock.advance(TickTickClient::kIdleTimeout - 0.5);
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    clock.advance(0.5);
    ASSERT_TRUE(await(result));
    ASSERT_TRUE(std::holds_alternative<TickTickError>(*result));
    EXPECT_EQ(std::get<TickTickError>(*result).kind, Kind::timeout);
    EXPECT_EQ(client->statusMessage(),
              QStringLiteral("TickTick took too long to respond. Try again later."));
    EXPECT_TRUE(client->isConnected());
}

TEST_F(TickTickClientTest, SwitchingOffDuringACheckLeavesNoTrace) {
    make();
    plan(QStringLiteral("project"), {{"delay", 2}});
    client->connectWithToken(QLatin1StringView(kToken));
    ASSERT_TRUE(waitUntil([&] { return sent().size() == 1; }));
    EXPECT_TRUE(client->isConnecting());
    prefs.setTickTickEnabled(false);
    EXPECT_FALSE(client->isConnecting());
    EXPECT_EQ(client->requestsInFlight(), 0);
    // Whatever comes back later is ignored.
    waitUntil([] { return false; }, 2500);
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(client->statusMessage(), std::nullopt);
    EXPECT_EQ(keyring.writes, 0);
    EXPECT_FALSE(keyring.blob);
}

TEST_F(TickTickClientTest, RequestCalledOffByDisconnectFailsQuietly) {
    make(pasted());
    plan(QStringLiteral("project"), {{"delay", 1}});
    std::optional<TickTickClient::ProjectsResult> result;
    client->projects([&](TickTickClient::ProjectsResult r) { result = std::move(r); });
    ASSERT_TRUE(waitUntil([&] { return sent().size() == 1; }));
    client->disconnectAccount();
    EXPECT_FALSE(result);  // never from inside the call
    ASSERT_TRUE(await(result));
    EXPECT_EQ(std::get<TickTickError>(*result).kind, Kind::aborted);
    EXPECT_EQ(client->statusMessage(), std::nullopt);
    EXPECT_FALSE(client->isConnected());
    EXPECT_FALSE(keyring.blob);
}

TEST_F(TickTickClientTest, TheSwitchAndTheKeyring) {
    // Off: nothing is loaded or sent, and the operations answer empty.
    prefs.setTickTickEnabled(false);
    make(pasted());
    EXPECT_FALSE(client->isConnected());
    const auto off = projectsNow();
    ASSERT_TRUE(std::holds_alternative<std::vector<TickTickProject>>(off));
    EXPECT_TRUE(std::get<std::vector<TickTickProject>>(off).empty());
    client->connectWithToken(QLatin1StringView(kToken));
    EXPECT_FALSE(client->isConnecting());
    EXPECT_EQ(keyring.reads, 0);

    // On loads the stored account; the same value again changes nothing.
    prefs.setTickTickEnabled(true);
    EXPECT_TRUE(client->isConnected());
    prefs.setTickTickEnabled(true);
    EXPECT_EQ(keyring.reads, 1);

    // Off keeps the stored account.
    prefs.setTickTickEnabled(false);
    EXPECT_FALSE(client->isConnected());
    EXPECT_TRUE(keyring.blob);

    struct Case {
        const char* name;
        std::optional<QByteArray> blob;
        bool failReads;
    };
    const Case cases[] = {
        {"locked", pasted().encode(), true},
        {"not json", QByteArray("not json"), false},
        {"token not text", QByteArray(R"({"accessToken": 5})"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        keyring.blob = c.blob;
        keyring.failReads = c.failReads;
        prefs.setTickTickEnabled(true);
        EXPECT_FALSE(client->isConnected());
        EXPECT_EQ(client->statusMessage(),
                  QStringLiteral("Could not access TickTick credentials in the keyring. Unlock "
                                 "your keyring and try again."));
        prefs.setTickTickEnabled(false);
        EXPECT_EQ(client->statusMessage(), std::nullopt);
    }
    EXPECT_EQ(sent().size(), 0);
}

TEST_F(TickTickClientTest, KeyringFailuresWhileConnectingAndDisconnecting) {
    make();
    keyring.failWrites = true;
    ASSERT_TRUE(connectNow(QLatin1StringView(kToken)));
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(client->statusMessage(), text(Kind::keychain));

    keyring.failWrites = false;
    ASSERT_TRUE(connectNow(QLatin1StringView(kToken)));
    EXPECT_TRUE(client->isConnected());

    keyring.failRemoves = true;
    client->disconnectAccount();
    EXPECT_FALSE(client->isConnected());
    EXPECT_EQ(client->statusMessage(), text(Kind::keychain));
    keyring.failRemoves = false;
    client->disconnectAccount();
    EXPECT_FALSE(keyring.blob);
}

TEST_F(TickTickClientTest, UnsafePathPartsAreNeverSent) {
    make(pasted());
    for (const QString& id : {QString(), QStringLiteral("."), QStringLiteral(".."),
                              QStringLiteral("a/b"), QStringLiteral("../../x")}) {
        SCOPED_TRACE(id.toStdString());
        const auto result = tasksNow(id);
        ASSERT_TRUE(std::holds_alternative<TickTickError>(result));
        EXPECT_EQ(std::get<TickTickError>(result).kind, Kind::response);
        EXPECT_EQ(client->statusMessage(), text(Kind::response));
    }
    // Other characters travel inside their one segment.
    plan(QStringLiteral("project/a%3Fb%23c/data"), {{"status", 404}});
    tasksNow(QStringLiteral("a?b#c"));
    const QJsonArray requests = sent();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].toObject().value(QStringLiteral("path")).toString(),
              QStringLiteral("/open/v1/project/a%3Fb%23c/data"));
    EXPECT_TRUE(client->isConnected());
}

}  // namespace
}  // namespace tw::test
