#include "timer/FocusHistory.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "support/Uuid.h"
#include "timer/DriftLog.h"

namespace tw {

static void PrintTo(const FocusHistory::Totals& t, std::ostream* os) {
    *os << "{" << t.seconds << " s, " << t.sessions << " sessions}";
}

namespace {

using test::at;
using Days = QMap<QString, FocusHistory::Totals>;

std::string describe(const Days& days) {
    std::string out;
    for (auto it = days.constBegin(); it != days.constEnd(); ++it) {
        out += it.key().toStdString() + "=" + std::to_string(it->seconds) + "/" +
               std::to_string(it->sessions) + " ";
    }
    return out;
}

FocusHistory withSessions(std::initializer_list<std::pair<const char*, qint64>> entries) {
    FocusHistory h;
    for (const auto& [key, sessions] : entries)
        h.days.insert(QString::fromLatin1(key), {60, sessions});
    return h;
}

class FocusHistoryTest : public ::testing::Test {
protected:
    test::ScopedTimeZone zone_{"Europe/Berlin"};
    QUuid session_ = QUuid::createUuid();
};

// Intervals are split at the real local midnights, including the 23- and 25-hour days.
TEST_F(FocusHistoryTest, CreditSplitsAtLocalMidnights) {
    struct Case {
        const char* name;
        Instant from, to;
        Days expected;
    };
    const auto berlin = [](int mo, int d, int h, int mi) {
        return at("Europe/Berlin", 2025, mo, d, h, mi);
    };
    const Case cases[] = {
        {"across midnight",
         berlin(3, 7, 23, 50),
         berlin(3, 8, 0, 15),
         {{"2025-03-07", {600, 0}}, {"2025-03-08", {900, 0}}}},
        {"within a day", berlin(3, 7, 9, 0), berlin(3, 7, 9, 25), {{"2025-03-07", {1500, 0}}}},
        {"over the 23-hour day",
         berlin(3, 29, 23, 0),
         berlin(3, 31, 1, 0),
         {{"2025-03-29", {3600, 0}}, {"2025-03-30", {23 * 3600, 0}}, {"2025-03-31", {3600, 0}}}},
        {"over the 25-hour day",
         berlin(10, 25, 23, 30),
         berlin(10, 27, 0, 30),
         {{"2025-10-25", {1800, 0}}, {"2025-10-26", {25 * 3600, 0}}, {"2025-10-27", {1800, 0}}}},
        {"through the skipped hour",
         berlin(3, 30, 1, 50),
         berlin(3, 30, 3, 10),
         {{"2025-03-30", {1200, 0}}}},
    };
    for (const Case& c : cases) {
        FocusHistory h;
        h.credit(session_, c.from, c.to, c.to + 3600);
        EXPECT_EQ(h.days, c.expected) << c.name << ": " << describe(h.days);
        EXPECT_EQ(h.checkpointSession, session_) << c.name;
        EXPECT_EQ(h.checkpoint, c.to) << c.name;
    }
}

TEST_F(FocusHistoryTest, CreditIsIdempotentPerSession) {
    const Instant start = at("Europe/Berlin", 2025, 3, 7, 10);
    FocusHistory h;
    h.credit(session_, start, start + 600, start + 600);
    h.credit(session_, start, start + 600, start + 600);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 600);

    // An overlapping interval adds only what lies after the checkpoint.
    h.credit(session_, start + 300, start + 900, start + 900);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 900);

    // Another session is credited from its own start.
    const QUuid next = QUuid::createUuid();
    h.credit(next, start + 600, start + 660, start + 660);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 960);
    EXPECT_EQ(h.checkpointSession, next);
}

TEST_F(FocusHistoryTest, CreditStopsAtNow) {
    const Instant start = at("Europe/Berlin", 2025, 3, 7, 10);
    FocusHistory h;
    h.credit(session_, start, start + 1500, start + 400.5);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 400.5);
    EXPECT_EQ(h.checkpoint, start + 400.5);
    h.credit(session_, start, start + 1500, start + 2000);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 1500);
    EXPECT_EQ(h.checkpoint, start + 1500);
}

TEST_F(FocusHistoryTest, EmptyOrBrokenIntervalsChangeNothing) {
    const Instant start = at("Europe/Berlin", 2025, 3, 7, 10);
    struct Case {
        const char* name;
        Instant from, to, now;
    };
    const Case cases[] = {
        {"to equals from", start, start, start + 10},
        {"now before from", start, start + 600, start - 1},
        {"to before from", start, start - 600, start + 600},
        {"not a number", start, Instant{std::nan("")}, start + 600},
        {"endless", start, Instant{INFINITY}, Instant{INFINITY}},
        {"from far in the past", Instant{-1e300}, start, start},
    };
    for (const Case& c : cases) {
        FocusHistory h;
        h.credit(session_, c.from, c.to, c.now);
        EXPECT_TRUE(h.days.isEmpty()) << c.name;
        EXPECT_FALSE(h.checkpoint) << c.name;
        EXPECT_FALSE(h.checkpointSession) << c.name;
    }
    // Nothing after the checkpoint: the checkpoint stays where it was.
    FocusHistory h;
    h.credit(session_, start, start + 600, start + 600);
    h.credit(session_, start, start + 300, start + 900);
    EXPECT_EQ(h.checkpoint, start + 600);
    EXPECT_EQ(h.days.value("2025-03-07").seconds, 600);
}

TEST_F(FocusHistoryTest, RecordCompletedSessionCountsOncePerSession) {
    const Instant end = at("Europe/Berlin", 2025, 3, 8, 0, 15);
    FocusHistory h;
    h.credit(session_, end - 1500, end, end);
    h.recordCompletedSession(session_, end);
    h.recordCompletedSession(session_, end);
    EXPECT_EQ(h.days, (Days{{"2025-03-07", {600, 0}}, {"2025-03-08", {900, 1}}}))
        << describe(h.days);
    EXPECT_EQ(h.lastCompletedSession, session_);

    h.recordCompletedSession(QUuid::createUuid(), end + 3600);
    EXPECT_EQ(h.days.value("2025-03-08").sessions, 2);
    EXPECT_EQ(h.totalSessions(), 2);
}

TEST_F(FocusHistoryTest, CleaningDropsImpossibleEntries) {
    const Days days{
        {"2025-03-01", {200000, 1}},        // more than two days of seconds
        {"2025-03-02", {60, -5}},           // negative sessions
        {"2025-03-03", {-0.5, 0}},          // negative seconds
        {"2025-03-04", {std::nan(""), 1}},  // not a number
        {"2025-03-05", {INFINITY, 1}},      // not finite
        {"2025-03-06", {60, 1000001}},      // more than a million sessions
        {"2025-3-7", {60, 1}},              // too short
        {"2025-03-080", {60, 1}},           // too long
        {"2025-03-10", {172800, 1000000}},  // the largest valid values
        {"2025-03-11", {0, 0}},
        {"abcdefghij", {60, 1}},                          // ten characters, not a date: kept
        {QStringLiteral("2025-03-1\u00e9"), {60, 1}},     // ten characters
        {QStringLiteral("2025-03-1e\u0301"), {60, 1}},    // ten characters, eleven code units
        {QStringLiteral("2025-03-\U0001F600"), {60, 1}},  // nine characters
    };
    const Days cleaned = FocusHistory::cleaned(days);
    EXPECT_EQ(cleaned.keys(),
              (QStringList{"2025-03-10", "2025-03-11", QStringLiteral("2025-03-1e\u0301"),
                           QStringLiteral("2025-03-1\u00e9"), "abcdefghij"}));

    // Crediting and counting clean the whole map as well.
    FocusHistory h;
    h.days = days;
    h.recordCompletedSession(session_, at("Europe/Berlin", 2025, 3, 10, 12));
    EXPECT_FALSE(h.days.contains("2025-03-10"));  // a million and one sessions
    EXPECT_FALSE(h.days.contains("2025-03-01"));
    EXPECT_EQ(h.days.size(), cleaned.size() - 1);
}

TEST_F(FocusHistoryTest, EncodeWritesTheStoredForm) {
    FocusHistory h;
    h.days.insert("2025-03-07", {600.25, 1});
    h.checkpointSession = QUuid::fromString(QStringLiteral("0b6e8a52-7b8f-4f0e-9c4e-2d1f3a5b6c7d"));
    h.checkpoint = Instant{762994800.125};
    const QByteArray bytes = h.encode();
    const QJsonObject o = QJsonDocument::fromJson(bytes).object();
    EXPECT_EQ(o.keys(), (QStringList{"checkpoint", "checkpointSession", "days"}));
    EXPECT_EQ(o.value("checkpointSession").toString(),
              QStringLiteral("0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D"));
    EXPECT_EQ(o.value("checkpoint").toDouble(), 762994800.125);
    const QJsonObject day = o.value("days").toObject().value("2025-03-07").toObject();
    EXPECT_EQ(day.value("seconds").toDouble(), 600.25);
    EXPECT_EQ(day.value("sessions").toInteger(-1), 1);
    EXPECT_FALSE(bytes.contains("null"));
    EXPECT_EQ(bytes, QJsonDocument::fromJson(bytes).toJson(QJsonDocument::Compact));

    // Round trip: everything but the ledger identifier, which is never written.
    h.lastCompletedSession = QUuid::createUuid();
    auto back = FocusHistory::decode(h.encode());
    ASSERT_TRUE(back);
    EXPECT_NE(back->ledgerID, h.ledgerID);
    back->ledgerID = h.ledgerID;
    EXPECT_EQ(*back, h);

    // Keys come back exactly, whatever they hold.
    FocusHistory odd;
    odd.days.insert(QStringLiteral("\"\\\n\u00e9\u20ac") + QChar(0xd800) + QStringLiteral("end"),
                    {1, 1});
    const auto oddBack = FocusHistory::decode(odd.encode());
    ASSERT_TRUE(oddBack);
    EXPECT_EQ(oddBack->days, odd.days);

    // A number JSON cannot carry makes the encoding fail.
    h.checkpoint = Instant{INFINITY};
    EXPECT_TRUE(h.encode().isEmpty());
}

TEST_F(FocusHistoryTest, DecodeIsStrict) {
    const QByteArray ledger = "\"ledgerID\":\"0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D\"";
    struct Case {
        const char* name;
        QByteArray json;
        bool decodes;
    };
    const Case cases[] = {
        {"minimal", R"({"days":{}})", true},
        {"full",
         R"({"days":{"2025-03-07":{"seconds":600.5,"sessions":1}},"checkpoint":5.5,)"
         R"("checkpointSession":"0b6e8a52-7b8f-4f0e-9c4e-2d1f3a5b6c7d",)"
         R"("lastCompletedSession":"0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D",)" +
             ledger + "}",
         true},
        {"unknown keys", R"({"days":{"2025-03-07":{"seconds":1,"sessions":0,"x":1}},"y":[]})",
         true},
        {"null optionals", R"({"days":{},"checkpoint":null,"checkpointSession":null})", true},
        {"whole-valued double sessions", R"({"days":{"2025-03-07":{"seconds":1,"sessions":2.0}}})",
         true},
        {"days missing", R"({"checkpoint":5})", false},
        {"days not an object", R"({"days":[]})", false},
        {"sessions missing", R"({"days":{"2025-03-07":{"seconds":1}}})", false},
        {"seconds missing", R"({"days":{"2025-03-07":{"sessions":1}}})", false},
        {"fractional sessions", R"({"days":{"2025-03-07":{"seconds":1,"sessions":1.5}}})", false},
        {"sessions as text", R"({"days":{"2025-03-07":{"seconds":1,"sessions":"1"}}})", false},
        {"sessions too large", R"({"days":{"2025-03-07":{"seconds":1,"sessions":1e30}}})", false},
        {"seconds as text", R"({"days":{"2025-03-07":{"seconds":"1","sessions":1}}})", false},
        {"day not an object", R"({"days":{"2025-03-07":5}})", false},
        {"checkpoint as text", R"({"days":{},"checkpoint":"5"})", false},
        {"bad session id", R"({"days":{},"checkpointSession":"not-a-uuid"})", false},
        {"session id as number", R"({"days":{},"lastCompletedSession":5})", false},
        {"bad ledger id", R"({"days":{},"ledgerID":"{0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D}"})",
         false},
        {"top level array", R"([{"days":{}}])", false},
        {"not JSON", "days", false},
        {"empty", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FocusHistory::decode(c.json).has_value(), c.decodes) << c.name;
    }
    const auto full = FocusHistory::decode(cases[1].json);
    ASSERT_TRUE(full);
    EXPECT_EQ(uuidText(full->ledgerID), QStringLiteral("0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D"));
    EXPECT_EQ(full->checkpoint, Instant{5.5});
    EXPECT_EQ(full->checkpointSession, full->lastCompletedSession);
    EXPECT_EQ(full->days.value("2025-03-07"), (FocusHistory::Totals{600.5, 1}));
    EXPECT_EQ(FocusHistory::decode(cases[4].json)->days.value("2025-03-07").sessions, 2);
}

TEST_F(FocusHistoryTest, SalvageKeepsTheMembersThatDecode) {
    const QByteArray broken =
        R"({"days":{"2025-03-07":{"seconds":600,"sessions":1},"2025-03-08":{"seconds":300},)"
        R"("2025-03-09":{"seconds":200000,"sessions":1}},"checkpoint":"soon",)"
        R"("checkpointSession":"0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D"})";
    ASSERT_FALSE(FocusHistory::decode(broken));
    const auto first = FocusHistory::salvage(broken);
    const auto second = FocusHistory::salvage(broken);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->days, (Days{{"2025-03-07", {600, 1}}})) << describe(first->days);
    EXPECT_FALSE(first->checkpoint || first->checkpointSession || first->lastCompletedSession);
    EXPECT_NE(first->ledgerID, second->ledgerID);  // a new identifier each time

    // A valid ledger identifier survives; a broken one is replaced.
    const auto keeps = FocusHistory::salvage(
        R"({"days":5,"ledgerID":"0b6e8a52-7b8f-4f0e-9c4e-2d1f3a5b6c7d","checkpoint":"x"})");
    ASSERT_TRUE(keeps);
    EXPECT_EQ(uuidText(keeps->ledgerID), QStringLiteral("0B6E8A52-7B8F-4F0E-9C4E-2D1F3A5B6C7D"));
    EXPECT_TRUE(keeps->days.isEmpty());
    const auto replaced = FocusHistory::salvage(R"({"ledgerID":"nope"})");
    ASSERT_TRUE(replaced);
    EXPECT_FALSE(replaced->ledgerID.isNull());

    for (const char* nothing : {"", "[1,2]", "\"text\"", "{\"days\":", "null"}) {
        EXPECT_FALSE(FocusHistory::salvage(nothing)) << nothing;
    }
}

TEST_F(FocusHistoryTest, SeriesCoversEveryDayFromTheFirstEntry) {
    const Calendar& calendar = Calendar::shared();
    const auto day = [&](int mo, int d) { return calendar.startOfDay(QDate(2025, mo, d)); };

    FocusHistory h;
    h.days.insert("2025-03-01", {1500, 1});
    h.days.insert("2025-03-04", {300, 0});
    h.days.insert("abcdefghij", {60, 5});  // ignored: not a date
    const auto gaps = stats::series(h, at("Europe/Berlin", 2025, 3, 5, 18));
    const std::vector<FocusDay> expected{
        {day(3, 1), 1500, 1}, {day(3, 2), 0, 0}, {day(3, 3), 0, 0},
        {day(3, 4), 300, 0},  {day(3, 5), 0, 0},
    };
    EXPECT_EQ(gaps, expected);
    EXPECT_EQ(gaps.front().minutes(), 25);

    // Only today, nothing at all, and a first day after the given date.
    FocusHistory today;
    today.days.insert("2025-03-05", {60, 1});
    EXPECT_EQ(stats::series(today, at("Europe/Berlin", 2025, 3, 5, 23, 59)),
              (std::vector<FocusDay>{{day(3, 5), 60, 1}}));
    EXPECT_EQ(stats::series(FocusHistory{}, at("Europe/Berlin", 2025, 3, 5, 12)),
              (std::vector<FocusDay>{{day(3, 5), 0, 0}}));
    FocusHistory future;
    future.days.insert("2025-04-01", {60, 1});
    future.days.insert("2025-04-03", {60, 1});
    EXPECT_EQ(stats::series(future, at("Europe/Berlin", 2025, 3, 5, 12)),
              (std::vector<FocusDay>{{day(4, 1), 60, 1}}));
}

TEST_F(FocusHistoryTest, SeriesDaysStartAtLocalMidnightAcrossDaylightSaving) {
    FocusHistory h;
    h.days.insert("2025-03-29", {60, 1});
    h.days.insert("2025-3-31", {60, 1});  // parses, so it counts for the first day only
    const auto days = stats::series(h, at("Europe/Berlin", 2025, 3, 31, 12));
    ASSERT_EQ(days.size(), 3u);
    EXPECT_EQ(days[0].date, at("Europe/Berlin", 2025, 3, 29));
    EXPECT_EQ(days[1].date - days[0].date, 24 * 3600.0);
    EXPECT_EQ(days[2].date - days[1].date, 23 * 3600.0);
    EXPECT_EQ(days[2].sessions, 0);
}

TEST_F(FocusHistoryTest, CurrentStreak) {
    const Instant today = at("Europe/Berlin", 2025, 3, 10, 15);
    struct Case {
        const char* name;
        FocusHistory history;
        qint64 expected;
    };
    const Case cases[] = {
        {"three days before, none yet today",
         withSessions({{"2025-03-07", 1}, {"2025-03-08", 2}, {"2025-03-09", 1}}), 3},
        {"and one today",
         withSessions({{"2025-03-07", 1}, {"2025-03-08", 2}, {"2025-03-09", 1}, {"2025-03-10", 1}}),
         4},
        {"yesterday empty, one today", withSessions({{"2025-03-08", 1}, {"2025-03-10", 1}}), 1},
        {"yesterday empty, none today", withSessions({{"2025-03-08", 1}}), 0},
        {"focus time without a session breaks it",
         withSessions({{"2025-03-07", 1}, {"2025-03-08", 0}, {"2025-03-09", 1}}), 1},
        {"nothing", FocusHistory{}, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(stats::currentStreak(c.history, today), c.expected) << c.name;
    }
    // Across the 23-hour day.
    EXPECT_EQ(stats::currentStreak(withSessions({{"2025-03-29", 1}, {"2025-03-30", 1}}),
                                   at("Europe/Berlin", 2025, 3, 31, 0, 30)),
              2);
}

TEST_F(FocusHistoryTest, BestStreak) {
    struct Case {
        const char* name;
        FocusHistory history;
        qint64 expected;
    };
    const Case cases[] = {
        {"design example",
         withSessions({{"2025-03-01", 1},
                       {"2025-03-02", 1},
                       {"2025-03-04", 1},
                       {"2025-03-05", 3},
                       {"2025-03-06", 1}}),
         3},
        {"a day without sessions breaks it",
         withSessions({{"2025-03-01", 1}, {"2025-03-02", 0}, {"2025-03-03", 1}}), 1},
        {"across the daylight-saving change and a month end",
         withSessions({{"2025-03-29", 1}, {"2025-03-30", 1}, {"2025-03-31", 1}, {"2025-04-01", 1}}),
         4},
        {"unparsable keys are skipped",
         withSessions({{"2025-03-01", 1}, {"2025-03-02", 1}, {"abcdefghij", 1}}), 2},
        {"nothing", FocusHistory{}, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(stats::bestStreak(c.history), c.expected) << c.name;
}

TEST_F(FocusHistoryTest, Glance) {
    QTemporaryDir dir;
    const Instant now = at("Europe/Berlin", 2025, 3, 10, 15);
    DriftLog drifts(dir.filePath("drift-log.json"), now);
    drifts.record("news.example", now - 86400);
    drifts.record("news.example", now);
    drifts.record("video.example", now);

    FocusHistory h = withSessions({{"2025-03-08", 1}, {"2025-03-09", 1}});
    h.days.insert("2025-03-10", {1799.9, 2});
    h.days.insert("2025-03-01", {0, 4});
    const FocusGlance g = stats::glance(h, now, &drifts);
    EXPECT_EQ(g, (FocusGlance{29, 2, 3, 3, QStringLiteral("news.example")}));
    EXPECT_EQ(h.totalSessions(), 8);

    EXPECT_EQ(stats::glance(FocusHistory{}, now, nullptr), FocusGlance{});
}

// The calendar follows the default time zone at each computation.
TEST_F(FocusHistoryTest, TimeZoneChangeMovesTheDayOfTheNextCredit) {
    const Instant moment =
        at("UTC", 2025, 3, 8, 1, 0);  // 02:00 at UTC+1, 20:00 the day before at UTC−5
    FocusHistory h;
    {
        test::ScopedTimeZone plusOne("Etc/GMT-1");
        h.credit(session_, moment - 600, moment, moment);
        EXPECT_EQ(stats::currentStreak(withSessions({{"2025-03-08", 1}}), moment), 1);
    }
    {
        test::ScopedTimeZone minusFive("Etc/GMT+5");
        h.credit(session_, moment - 600, moment + 600, moment + 600);
        h.recordCompletedSession(session_, moment + 600);
        EXPECT_EQ(stats::currentStreak(withSessions({{"2025-03-08", 1}}), moment), 0);
        EXPECT_EQ(stats::series(h, moment).size(), 1u);  // it is still 03-07 here
    }
    EXPECT_EQ(h.days, (Days{{"2025-03-07", {600, 1}}, {"2025-03-08", {600, 0}}}))
        << describe(h.days);
}

}  // namespace
}  // namespace tw
