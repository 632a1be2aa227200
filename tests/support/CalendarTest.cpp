#include "support/Calendar.h"

#include <gtest/gtest.h>

#include "common/TestSupport.h"

namespace tw {
namespace {

using test::at;

Instant qtStartOfDay(const QTimeZone& zone, QDate date) {
    return Instant::fromDateTime(date.startOfDay(zone));
}

QDate qtLocalDate(const QTimeZone& zone, Instant t) {
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(std::floor(t.toUnix() * 1000)), zone)
        .date();
}

// The offset table must agree with QTimeZone: day starts from 1900 to 2045 (the table ends in
// 2037, so the last years exercise the fallback) and moments around each of them.
class CalendarZoneTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CalendarZoneTest, AgreesWithQTimeZone) {
    const QTimeZone zone{QByteArray(GetParam())};
    ASSERT_TRUE(zone.isValid());
    const Calendar calendar(zone);
    int mismatches = 0;
    for (QDate d(1900, 1, 2); d < QDate(2045, 1, 1) && mismatches < 5;
         d = d.addDays(d.year() < 1970 ? 5 : 2)) {
        const QDateTime qtStart = d.startOfDay(zone);
        if (!qtStart.isValid()) continue;  // a day the zone skipped; see the Apia test
        const Instant start = calendar.startOfDay(d);
        const Instant expected = qtStartOfDay(zone, d);
        if (start != expected) {
            // Where clocks went back across midnight, midnight happens twice: the day begins at
            // the first one, QTimeZone names the second.
            const bool twice = qtLocalDate(zone, expected - 3600) == d && start < expected &&
                               qtLocalDate(zone, start) == d &&
                               qtLocalDate(zone, start - 0.001) == d.addDays(-1);
            if (!twice) {
                ADD_FAILURE() << d.toString(Qt::ISODate).toStdString() << ": " << start.seconds
                              << " vs " << expected.seconds;
                ++mismatches;
            }
        }
        for (double probe : {-0.001, 0.0, 3600.0 * 3 + 0.25, 3600.0 * 23.5}) {
            const Instant t = expected + probe;
            if (calendar.localDate(t) != qtLocalDate(zone, t)) {
                ADD_FAILURE() << d.toString(Qt::ISODate).toStdString() << " + " << probe;
                ++mismatches;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zones, CalendarZoneTest,
                         ::testing::Values("Europe/Berlin", "America/New_York", "America/Santiago",
                                           "Australia/Lord_Howe", "Asia/Kathmandu",
                                           "America/Sao_Paulo", "Europe/London", "UTC", "XXX-1",
                                           "EST5EDT,M3.2.0,M11.1.0"),
                         [](const auto& info) {
                             std::string name;
                             for (char c : std::string(info.param)) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

TEST(CalendarTest, DaylightSavingDaysInBerlin) {
    const Calendar calendar{QTimeZone("Europe/Berlin")};
    // 2025-03-30 has 23 hours, 2025-10-26 has 25.
    const Instant spring = calendar.startOfDay(QDate(2025, 3, 30));
    EXPECT_EQ(spring, at("UTC", 2025, 3, 29, 23));
    EXPECT_EQ(calendar.startOfDay(QDate(2025, 3, 31)) - spring, 23 * 3600.0);
    const Instant autumn = calendar.startOfDay(QDate(2025, 10, 26));
    EXPECT_EQ(calendar.startOfDay(QDate(2025, 10, 27)) - autumn, 25 * 3600.0);
    EXPECT_EQ(calendar.localDate(spring - 0.0001), QDate(2025, 3, 29));
    EXPECT_EQ(calendar.localDate(spring), QDate(2025, 3, 30));
    EXPECT_EQ(calendar.startOfDay(at("Europe/Berlin", 2025, 10, 26, 23, 59, 59.5)), autumn);
}

TEST(CalendarTest, AddDaysKeepsTheTimeOfDay) {
    const Calendar calendar{QTimeZone("Europe/Berlin")};
    struct Case {
        Instant from;
        int days;
        Instant expected;
    };
    const Case cases[] = {
        {at("Europe/Berlin", 2025, 3, 29, 12), 1, at("Europe/Berlin", 2025, 3, 30, 12)},
        {at("Europe/Berlin", 2025, 3, 30, 12), -1, at("Europe/Berlin", 2025, 3, 29, 12)},
        {at("Europe/Berlin", 2025, 10, 25, 0), 2, at("Europe/Berlin", 2025, 10, 27, 0)},
        {at("Europe/Berlin", 2025, 1, 31, 8, 0, 0.125), 30,
         at("Europe/Berlin", 2025, 3, 2, 8, 0, 0.125)},
        // 02:30 does not exist on 2025-03-30: the first moment after the gap.
        {at("Europe/Berlin", 2025, 3, 29, 2, 30), 1, at("Europe/Berlin", 2025, 3, 30, 3, 0)},
        // Far outside the table: QTimeZone answers.
        {at("Europe/Berlin", 2100, 6, 1, 10), 3, at("Europe/Berlin", 2100, 6, 4, 10)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(calendar.addDays(c.from, c.days), c.expected)
            << c.from.toDateTime().toString(Qt::ISODate).toStdString() << " + " << c.days;
    }
}

TEST(CalendarTest, DaysBetweenCountsWholeCalendarDays) {
    const Calendar calendar{QTimeZone("Europe/Berlin")};
    const auto berlin = [](int mo, int d, int h, int mi = 0) {
        return at("Europe/Berlin", 2025, mo, d, h, mi);
    };
    struct Case {
        Instant a, b;
        qint64 expected;
    };
    const Case cases[] = {
        {berlin(3, 29, 0), berlin(3, 30, 0), 1},    // a 24-hour day
        {berlin(3, 30, 0), berlin(3, 31, 0), 1},    // a 23-hour day
        {berlin(10, 26, 0), berlin(10, 27, 0), 1},  // a 25-hour day
        {berlin(3, 29, 12), berlin(3, 30, 11, 59), 0},
        {berlin(3, 1, 0), berlin(3, 31, 0), 30},
        {berlin(3, 31, 0), berlin(3, 1, 0), -30},
        {berlin(3, 31, 0), berlin(3, 1, 0, 1), -29},
        {at("Europe/Berlin", 2100, 1, 1, 0), at("Europe/Berlin", 2100, 1, 5, 0), 4},
    };
    for (const Case& c : cases) EXPECT_EQ(calendar.daysBetween(c.a, c.b), c.expected);
}

TEST(CalendarTest, DaysWhoseMidnightIsSkipped) {
    // Santiago moved its clocks from 00:00 to 01:00 on 2024-09-08; Apia skipped 2011-12-30.
    const Calendar santiago{QTimeZone("America/Santiago")};
    const Instant start = santiago.startOfDay(QDate(2024, 9, 8));
    EXPECT_EQ(start, at("America/Santiago", 2024, 9, 8, 1));
    EXPECT_EQ(santiago.localDate(start - 1), QDate(2024, 9, 7));
    EXPECT_EQ(santiago.startOfDay(QDate(2024, 9, 9)) - start, 23 * 3600.0);

    const Calendar apia{QTimeZone("Pacific/Apia")};
    const Instant lastOf29th = apia.startOfDay(QDate(2011, 12, 29)) + 86399;
    EXPECT_EQ(apia.startOfDay(QDate(2011, 12, 30)), lastOf29th + 1);
    EXPECT_EQ(apia.startOfDay(QDate(2011, 12, 31)), lastOf29th + 1);
    EXPECT_EQ(apia.localDate(lastOf29th + 1), QDate(2011, 12, 31));
}

TEST(CalendarTest, InvalidMomentsAndDates) {
    const Calendar calendar{QTimeZone("Europe/Berlin")};
    EXPECT_FALSE(calendar.localDate(Instant{std::nan("")}).isValid());
    EXPECT_FALSE(calendar.localDate(Instant{1e300}).isValid());
    EXPECT_FALSE(calendar.startOfDay(QDate()).isFinite());
    EXPECT_EQ(calendar.daysBetween(Instant{0}, Instant{INFINITY}), 0);
}

TEST(CalendarTest, DayKeys) {
    EXPECT_EQ(Calendar::dayKey(QDate(2025, 3, 7)), QStringLiteral("2025-03-07"));
    EXPECT_EQ(Calendar::dayKey(QDate(33, 1, 5)), QStringLiteral("0033-01-05"));
    EXPECT_EQ(Calendar::dayKey(QDate(12345, 11, 30)), QStringLiteral("12345-11-30"));

    struct Case {
        const char16_t* key;
        std::optional<QDate> expected;
    };
    const Case cases[] = {
        {u"2025-03-07", QDate(2025, 3, 7)},
        {u"2025-3-7", QDate(2025, 3, 7)},
        {u"x-2025-03-07", QDate(2025, 3, 7)},  // pieces that are not integers are dropped
        {u"2025--03-07", QDate(2025, 3, 7)},
        {u"+2025-03-07", QDate(2025, 3, 7)},
        {u"2025-03", std::nullopt},
        {u"2025-03-07-01", std::nullopt},
        {u"2025-02-30", std::nullopt},
        {u"0000-01-01", std::nullopt},
        {u" 2025-03-07", std::nullopt},
        {u"2025-03-07 ", std::nullopt},
        {u"2025-0x3-07", std::nullopt},
        {u"99999999999999999999-2025-03-07", QDate(2025, 3, 7)},
        {u"9999999999-03-07", std::nullopt},
        {u"", std::nullopt},
        {u"----", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Calendar::dateFromDayKey(QStringView(c.key)), c.expected)
            << QString::fromUtf16(c.key).toStdString();
    }
    const Calendar calendar{QTimeZone("Europe/Berlin")};
    EXPECT_EQ(calendar.dayStartFromKey(u"2025-03-30"), at("Europe/Berlin", 2025, 3, 30));
    EXPECT_EQ(calendar.dayKey(at("UTC", 2025, 3, 29, 23, 30)), QStringLiteral("2025-03-30"));
}

TEST(CalendarTest, SharedFollowsTheDefaultZone) {
    const Calendar* berlin = nullptr;
    {
        test::ScopedTimeZone tz("Europe/Berlin");
        berlin = &Calendar::shared();
        EXPECT_EQ(berlin->zone().id(), QByteArray("Europe/Berlin"));
        EXPECT_EQ(&Calendar::shared(), berlin);  // kept while the zone stays
    }
    {
        test::ScopedTimeZone tz("America/New_York");
        const Calendar& newYork = Calendar::shared();
        EXPECT_EQ(newYork.zone().id(), QByteArray("America/New_York"));
        EXPECT_EQ(newYork.dayKey(at("UTC", 2025, 3, 8, 2)), QStringLiteral("2025-03-07"));
        // A calendar handed out earlier stays usable.
        EXPECT_EQ(berlin->dayKey(at("UTC", 2025, 3, 8, 2)), QStringLiteral("2025-03-08"));
    }
    {
        test::ScopedTimeZone tz("No/Such_Zone");
        const Calendar& fallback = Calendar::shared();
        EXPECT_TRUE(fallback.zone().isValid());
        EXPECT_EQ(fallback.zone().offsetFromUtc(QDateTime::currentDateTimeUtc()), 0);
    }
}

}  // namespace
}  // namespace tw
