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
#include "platform/fake/FakeComputerName.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "platform/fake/FakeUrlOpener.h"
#include "preferences/AppPreferences.h"
#include "support/Uuid.h"
#include "sync/CloudClient.h"
#include "sync/MemoryCredentialStore.h"
#include "timer/TimerModel.h"

namespace tw::test {

// A website client over the website stand-in (real HTTPS, its test authority trusted by this
// process only), a timer model on a fake clock, and credential stores in memory. One stand-in
// serves a whole suite and forgets everything before each test.
class CloudFixture : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        site_ = std::make_unique<StandIn>(QStringLiteral("website.py"));
        site_->trustInThisProcess();
    }
    static void TearDownTestSuite() { site_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(site().ok());
        site().reset();
        website = site().url();
    }
    void TearDown() override {
        // Requests still in flight end before the stand-in forgets them.
        if (client) settle();
        client.reset();
    }

    StandIn& site() { return *site_; }

    // The model's history before it is made.
    void seedHistory(const QMap<QString, FocusHistory::Totals>& days) {
        FocusHistory history;
        history.days = days;
        defaults.setData(QStringLiteral("weeklyFocusHistory"), history.encode());
    }
    // `count` days from 2022-01-01 on, a minute and a session each.
    static QMap<QString, FocusHistory::Totals> manyDays(int count) {
        QMap<QString, FocusHistory::Totals> days;
        const QDate first(2022, 1, 1);
        for (int i = 0; i < count; ++i) {
            days.insert(first.addDays(i).toString(Qt::ISODate), FocusHistory::Totals{60, 1});
        }
        return days;
    }

    TimerModel& makeModel() {
        if (!model) {
            model = std::make_unique<TimerModel>(prefs, defaults, clock,
                                                 std::make_unique<FakeSound>(&chime));
        }
        return *model;
    }
    CloudClient& make() {
        client.reset();
        client = std::make_unique<CloudClient>(
            CloudClient::Environment{makeModel(), website, store, ledgerStore, defaults, clock,
                                     browser, computerName, nullptr, historyInterval});
        return *client;
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
    // Turns sync on and waits until the connection and its first refresh are done.
    bool connectNow() {
        client->connectToWebsite();
        return waitUntil([&] { return !client->busy(); }) && settle() && client->connected();
    }

    QJsonArray sent(const QString& path) { return site().requestsTo(path); }
    static QJsonObject bodyOf(const QJsonValue& request) {
        return QJsonDocument::fromJson(
                   request.toObject().value(QStringLiteral("body")).toString().toUtf8())
            .object();
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

    // The stand-in's accounts, devices, history and events.
    QJsonObject state() {
        return QJsonDocument::fromJson(site().send("GET", QStringLiteral("/_standin/state")))
            .object();
    }
    // What a phone sends to join the account of a pairing code.
    QJsonObject redeem(const QString& code, const QString& platform = QStringLiteral("ios")) {
        return QJsonDocument::fromJson(
                   site().send(
                       "POST", QStringLiteral("/v1/pairing/redeem"),
                       QJsonObject{{QStringLiteral("code"), code},
                                   {QStringLiteral("platform"), platform},
                                   {QStringLiteral("name"), QStringLiteral("Anna's phone")}}))
            .object();
    }
    // The credential the client stored.
    std::optional<Credential> storedCredential() const {
        return store.blob ? Credential::decode(*store.blob) : std::nullopt;
    }

    ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2025, 3, 7, 10, 0)};
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeSound::Log chime;
    MemoryCredentialStore store;
    MemoryCredentialStore ledgerStore;
    FakeUrlOpener browser;
    FakeComputerName computerName;
    std::optional<QUrl> website;
    double historyInterval = 1800;
    std::unique_ptr<TimerModel> model;
    std::unique_ptr<CloudClient> client;

private:
    static inline std::unique_ptr<StandIn> site_;
};

}  // namespace tw::test
