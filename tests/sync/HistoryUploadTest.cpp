#include <gtest/gtest.h>

#include <QLocale>
#include <cmath>
#include <limits>

#include "sync/CloudFixture.h"

namespace tw::test {
namespace {

const QString kKept = QStringLiteral(" History stays on this computer and retries in a moment.");

QStringList datesOf(const QJsonValue& request) {
    QStringList dates;
    for (const QJsonValue& day : CloudFixture::bodyOf(request).value("days").toArray()) {
        dates << day.toObject().value("date").toString();
    }
    return dates;
}

QString lastSynced(Instant at) {
    return QStringLiteral("Last synced ") +
           QLocale::system().toString(at.toDateTime().toLocalTime().time(), QLocale::ShortFormat) +
           QLatin1Char('.');
}

TEST(HistorySyncDays, OnlyDaysTheWebsiteTakesInDateOrder) {
    FocusHistory history;
    history.days = {{"2025-03-02", {172800, 1000000}},
                    {"2025-03-01", {0, 0}},
                    {"2025-03-03", {200000, 1}},
                    {"2025-03-04", {-1, 1}},
                    {"2025-03-05", {std::numeric_limits<double>::quiet_NaN(), 1}},
                    {"2025-03-06", {std::numeric_limits<double>::infinity(), 1}},
                    {"2025-03-07", {60, 1000001}},
                    {"2025-03-08", {60, -1}},
                    {"2025-03-09", {1500.25, 1}}};
    const auto days = CloudClient::syncDays(history);
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0], (FocusHistory::SyncDay{"2025-03-01", 0, 0}));
    EXPECT_EQ(days[1], (FocusHistory::SyncDay{"2025-03-02", 172800, 1000000}));
    EXPECT_EQ(days[2], (FocusHistory::SyncDay{"2025-03-09", 1500.25, 1}));
}

class HistoryUploadTest : public CloudFixture {
public:
    int uploads() { return sent(QStringLiteral("/v1/history")).size(); }
    // Focus runs for `seconds` and pauses: one change of the history.
    void focusFor(double seconds) {
        model->toggle();
        clock.advance(seconds);
        model->toggle();
    }
};

TEST_F(HistoryUploadTest, ManyDaysGoInBatchesOf500InDateOrder) {
    seedHistory(manyDays(1200));
    make();
    client->start();
    ASSERT_TRUE(connectNow());
    const QJsonArray puts = sent(QStringLiteral("/v1/history"));
    ASSERT_EQ(puts.size(), 3);
    QStringList all;
    const int sizes[] = {500, 500, 200};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(puts[i].toObject().value("method"), "PUT");
        EXPECT_EQ(header(puts[i], "Authorization"), "Bearer " + storedCredential()->token);
        const QStringList dates = datesOf(puts[i]);
        EXPECT_EQ(dates.size(), sizes[i]);
        all << dates;
    }
    EXPECT_EQ(all, QStringList(manyDays(1200).keys()));
    const QJsonObject day = bodyOf(puts[0]).value("days").toArray()[0].toObject();
    EXPECT_EQ(day, (QJsonObject{{"date", "2022-01-01"}, {"seconds", 60}, {"sessions", 1}}));
    EXPECT_EQ(client->status(), lastSynced(clock.now()));
    const QJsonObject ledger =
        state().value("history").toObject().value(uuidText(client->ledgerID())).toObject();
    EXPECT_EQ(ledger.size(), 1200);

    // Nothing changed: nothing is sent again.
    client->syncNow();
    EXPECT_TRUE(settle());
    EXPECT_EQ(uploads(), 3);
}

TEST_F(HistoryUploadTest, BatchesAcceptedBeforeAFailureAreNotSentAgain) {
    seedHistory(manyDays(1200));
    make();
    site().plan(QJsonObject{{"path", "/v1/history"}, {"status", 200}, {"body", "{}"}});
    site().plan(QJsonObject{{"path", "/v1/history"}, {"status", 500}});
    ASSERT_TRUE(connectNow());
    EXPECT_EQ(uploads(), 2);
    EXPECT_EQ(client->status(), "The Tarnwhistle website is temporarily unavailable." + kKept);

    ASSERT_DOUBLE_EQ(clock.nextDue() - clock.now(), 10);
    clock.advance(10);
    ASSERT_TRUE(settle());
    const QJsonArray puts = sent(QStringLiteral("/v1/history"));
    ASSERT_EQ(puts.size(), 4);
    const QStringList all = manyDays(1200).keys();
    EXPECT_EQ(datesOf(puts[0]), all.mid(0, 500));
    EXPECT_EQ(datesOf(puts[1]), all.mid(500, 500));  // failed
    EXPECT_EQ(datesOf(puts[2]), all.mid(500, 500));
    EXPECT_EQ(datesOf(puts[3]), all.mid(1000, 200));
    EXPECT_EQ(client->status(), lastSynced(clock.now()));
}

TEST_F(HistoryUploadTest, ChangesAreSentHalfAnHourAfterTheFirst) {
    seedHistory(manyDays(1));
    make();
    client->start();
    ASSERT_TRUE(connectNow());
    ASSERT_EQ(uploads(), 1);

    std::optional<Instant> firstChange;
    int changes = 0;
    QObject::connect(model.get(), &TimerModel::historyChanged, [&] {
        ++changes;
        if (!firstChange) firstChange = clock.now();
    });
    // Ten changes within twenty minutes.
    for (int i = 0; i < 10; ++i) {
        focusFor(60);
        clock.advance(60);
    }
    ASSERT_TRUE(firstChange);
    EXPECT_GE(changes, 10);
    EXPECT_LE(clock.now() - *firstChange, 20 * 60);
    clock.advanceTo(*firstChange + 1799);
    EXPECT_TRUE(settle());
    EXPECT_EQ(uploads(), 1);
    clock.advanceTo(*firstChange + 1800);
    EXPECT_TRUE(settle());
    ASSERT_EQ(uploads(), 2);
    const QJsonArray days = bodyOf(sent(QStringLiteral("/v1/history"))[1]).value("days").toArray();
    ASSERT_EQ(days.size(), 1);
    EXPECT_EQ(days[0].toObject().value("date"), "2025-03-07");
    EXPECT_DOUBLE_EQ(days[0].toObject().value("seconds").toDouble(), 600);

    // And once only.
    clock.advance(3600);
    EXPECT_TRUE(settle());
    EXPECT_EQ(uploads(), 2);
}

TEST_F(HistoryUploadTest, APhaseEndUploadsAtOnce) {
    seedHistory(manyDays(1));
    make();
    client->start();
    ASSERT_TRUE(connectNow());
    ASSERT_EQ(uploads(), 1);

    model->toggle();  // 25 minutes of focus
    clock.advance(1500);
    ASSERT_EQ(model->mode(), TimerModel::Mode::rest);
    EXPECT_TRUE(waitUntil([&] { return uploads() == 2; }));
    EXPECT_TRUE(settle());
    const QJsonObject today =
        bodyOf(sent(QStringLiteral("/v1/history"))[1]).value("days").toArray().last().toObject();
    EXPECT_EQ(today, (QJsonObject{{"date", "2025-03-07"}, {"seconds", 1500}, {"sessions", 1}}));

    // The half-hour upload the running phase asked for was dropped.
    clock.advance(3600);
    EXPECT_TRUE(settle());
    EXPECT_EQ(uploads(), 2);

    // A phase ended early (a skip) uploads too.
    model->toggle();  // the break
    clock.advance(60);
    model->skip();
    model->toggle();  // focus again, skipped after a minute
    clock.advance(60);
    model->skip();
    EXPECT_TRUE(waitUntil([&] { return uploads() == 3; }));
}

TEST_F(HistoryUploadTest, RetriesWaitLongerEachTimeAndStartOverAfterASuccess) {
    seedHistory(manyDays(1));
    make();
    site().plan(QJsonObject{{"path", "/v1/history"},
                            {"times", 8},
                            {"status", 503},
                            {"body", R"({"error": "Down for maintenance."})"}});
    ASSERT_TRUE(connectNow());
    ASSERT_EQ(uploads(), 1);
    EXPECT_EQ(client->status(), "Down for maintenance." + kKept);
    for (const double wait : {10, 20, 40, 80, 160, 300, 300}) {
        SCOPED_TRACE(wait);
        ASSERT_DOUBLE_EQ(clock.nextDue() - clock.now(), wait);
        const int before = uploads();
        clock.advance(wait);
        ASSERT_TRUE(settle());
        EXPECT_EQ(uploads(), before + 1);
        EXPECT_EQ(client->status(), "Down for maintenance." + kKept);
    }
    // The ninth attempt, 300 seconds later, goes through.
    ASSERT_DOUBLE_EQ(clock.nextDue() - clock.now(), 300);
    clock.advance(300);
    ASSERT_TRUE(settle());
    EXPECT_EQ(client->status(), lastSynced(clock.now()));
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture());

    // The next failure waits 10 seconds again.
    focusFor(60);
    site().plan(QJsonObject{{"path", "/v1/history"}, {"status", 500}});
    client->syncNow();
    ASSERT_TRUE(waitUntil([&] { return client->status().endsWith(kKept); }));
    ASSERT_TRUE(settle());
    EXPECT_DOUBLE_EQ(clock.nextDue() - clock.now(), 10);
}

TEST_F(HistoryUploadTest, ASecondUploadJoinsTheRunningOneAndOnePassFollows) {
    seedHistory(manyDays(1));
    make();
    ASSERT_TRUE(connectNow());
    ASSERT_EQ(uploads(), 1);

    focusFor(60);
    site().plan(
        QJsonObject{{"path", "/v1/history"}, {"delay", 0.5}, {"status", 200}, {"body", "{}"}});
    int joined = 0;
    client->upload(20, [&] { ++joined; });
    ASSERT_EQ(client->requestsInFlight(), 1);
    focusFor(60);  // changes while the first pass runs
    client->syncNow();
    client->upload(20, [&] { ++joined; });
    int most = 0;
    EXPECT_TRUE(waitUntil([&] {
        most = std::max(most, client->requestsInFlight());
        return joined == 2 && client->requestsInFlight() == 0;
    }));
    EXPECT_TRUE(settle());
    EXPECT_EQ(most, 1);
    const QJsonArray puts = sent(QStringLiteral("/v1/history"));
    ASSERT_EQ(puts.size(), 3);
    const auto secondsOf = [&](int i) {
        return bodyOf(puts[i])
            .value("days")
            .toArray()
            .last()
            .toObject()
            .value("seconds")
            .toDouble();
    };
    EXPECT_DOUBLE_EQ(secondsOf(1), 60);
    EXPECT_DOUBLE_EQ(secondsOf(2), 120);
}

TEST_F(HistoryUploadTest, TheFinalUploadGivesUpAtItsTimeOut) {
    seedHistory(manyDays(1));
    make();
    bool done = false;
    client->finalUpload(3, [&] { done = true; });
    EXPECT_TRUE(done);  // not connected: at once

    ASSERT_TRUE(connectNow());
    focusFor(60);
    site().plan(QJsonObject{{"path", "/v1/history"}, {"delay", 30}, {"status", 200}});
    done = false;
    client->finalUpload(0.5, [&] { done = true; });
    EXPECT_TRUE(waitUntil([&] { return done; }, 5000));
    EXPECT_EQ(client->status(), "The request timed out." + kKept);
    EXPECT_EQ(uploads(), 2);
}

TEST_F(HistoryUploadTest, DisconnectingDropsTheUploadInFlight) {
    seedHistory(manyDays(1));
    make();
    ASSERT_TRUE(connectNow());
    focusFor(60);
    site().plan(QJsonObject{{"path", "/v1/history"}, {"delay", 0.5}, {"status", 500}});
    client->syncNow();
    ASSERT_TRUE(waitUntil([&] { return client->requestsInFlight() == 1; }));
    client->disconnectFromWebsite();
    EXPECT_TRUE(settle());
    EXPECT_EQ(client->status(), "Sync stopped on this computer. Synced history is kept.");
    // A change while disconnected schedules nothing.
    focusFor(60);
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture());
}

}  // namespace
}  // namespace tw::test
