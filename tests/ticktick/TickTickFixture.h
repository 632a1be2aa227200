#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <memory>
#include <optional>

#include "common/StandIn.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeCredentialStore.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "ticktick/TickTickClient.h"

namespace tw::test {

inline constexpr char kToken[] = "tt-valid-token";
inline constexpr char kWork[] = "6226ff9877acee87727f6bca";
inline constexpr char kReport[] = "63b7bebb91c0a5474805fcd4";

// A TickTick client over the TickTick stand-in (real HTTPS, its test authority trusted by this
// process only), on a fake clock, with the keyring in memory. One stand-in serves the suite and
// forgets everything before each test.
class TickTickFixture : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        api_ = std::make_unique<StandIn>(QStringLiteral("ticktick.py"));
        api_->trustInThisProcess();
    }
    static void TearDownTestSuite() { api_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(api().ok());
        api().reset();
        prefs.setTickTickEnabled(true);
    }
    void TearDown() override {
        if (client) settle();
        client.reset();
    }

    StandIn& api() { return *api_; }
    QUrl apiURL() const { return api_->url(QStringLiteral("/open/v1")); }

    // The client, with `stored` in the keyring when given.
    TickTickClient& make(std::optional<TickTickAccount> stored = std::nullopt) {
        if (stored) keyring.blob = stored->encode();
        client.reset();
        client = std::make_unique<TickTickClient>(
            TickTickClient::Environment{prefs, store, clock, apiURL(), nullptr});
        return *client;
    }
    static TickTickAccount pasted(const QString& token = QLatin1StringView(kToken)) {
        TickTickAccount account;
        account.accessToken = token;
        return account;
    }

    // Every request answered and every follow-up it queued has run.
    bool settle(int timeoutMs = 10000) {
        int quiet = 0;
        return waitUntil(
            [&] {
                QCoreApplication::processEvents();
                quiet = client->requestsInFlight() == 0 ? quiet + 1 : 0;
                return quiet >= 3;
            },
            timeoutMs);
    }
    // Waits for a result slot filled by a callback.
    template <typename T>
    static bool await(const std::optional<T>& slot) {
        return waitUntil([&] { return slot.has_value(); });
    }

    // What the stand-in was sent on the API, oldest first.
    QJsonArray sent() {
        QJsonArray out;
        for (const auto& r : api().requests()) {
            if (r.toObject()
                    .value(QStringLiteral("path"))
                    .toString()
                    .startsWith(QStringLiteral("/open/v1"))) {
                out.append(r);
            }
        }
        return out;
    }
    static QString header(const QJsonValue& request, const char* name) {
        const QJsonObject headers = request.toObject().value(QStringLiteral("headers")).toObject();
        for (auto it = headers.begin(); it != headers.end(); ++it) {
            if (it.key().compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0) {
                return it.value().toString();
            }
        }
        return {};
    }
    QJsonObject state() {
        return QJsonDocument::fromJson(api().send("GET", QStringLiteral("/_standin/state")))
            .object();
    }
    // The stand-in's status of a task.
    int statusOf(const QString& taskID) {
        for (const auto& t : state().value(QStringLiteral("tasks")).toArray()) {
            if (t.toObject().value(QStringLiteral("id")).toString() == taskID) {
                return t.toObject().value(QStringLiteral("status")).toInt();
            }
        }
        return -1;
    }
    // The next answer to `path` (below /open/v1) as planned.
    void plan(const QString& path, QJsonObject answer) {
        answer.insert(QStringLiteral("path"), QStringLiteral("/open/v1/") + path);
        api().plan(answer);
    }

    FakeScheduler clock{Instant::fromReference(763000000.0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeCredentialStore::Keyring keyring;
    FakeCredentialStore store{&keyring};
    std::unique_ptr<TickTickClient> client;

private:
    static inline std::unique_ptr<StandIn> api_;
};

}  // namespace tw::test
