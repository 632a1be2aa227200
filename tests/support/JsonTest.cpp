#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>

#include "support/Json.h"

using tw::json::parse;
using tw::json::write;

TEST(Json, KeepsIntegersAndDoublesApartByTheirWrittenForm) {
    struct Case {
        const char* text;
        QCborValue::Type type;
    } cases[] = {
        {"3", QCborValue::Integer},
        {"-0", QCborValue::Integer},
        {"3.0", QCborValue::Double},
        {"3e0", QCborValue::Double},
        {"-2.5E-3", QCborValue::Double},
        {"92233720368547758070", QCborValue::Double},  // beyond 64 bits
    };
    for (const auto& c : cases) {
        auto v = parse(c.text);
        ASSERT_TRUE(v) << c.text;
        EXPECT_EQ(v->type(), c.type) << c.text;
    }
}

TEST(Json, WritesDoublesWithAFraction) {
    QCborMap m;
    m.insert(QStringLiteral("i"), 2);
    m.insert(QStringLiteral("d"), 2.0);
    m.insert(QStringLiteral("f"), 0.65);
    const QByteArray text = write(m);
    EXPECT_EQ(text, QByteArray(R"({"i":2,"d":2.0,"f":0.65})"));
    EXPECT_EQ(parse(text)->toMap().value(QStringLiteral("d")).type(), QCborValue::Double);
}

TEST(Json, RejectsWhatIsNotJson) {
    for (const char* bad : {"", "{", "[1,]", "{\"a\":}", "01", "1.", ".5", "tru", "\"\\x\"",
                            "{\"a\":1}x", "\"a\nb\"", "+1", "{a:1}", "NaN"}) {
        EXPECT_FALSE(parse(bad)) << bad;
    }
}

TEST(Json, RoundTripsStringsWithEscapesAndUnicode) {
    const QString s = QStringLiteral("tab\t quote\" back\\ café \u2193 \U0001F600 \x01");
    const auto v = parse(write(QCborValue(s)));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->toString(), s);
    EXPECT_EQ(parse(R"("\u00e9\ud83d\ude00")")->toString(), QStringLiteral("é\U0001F600"));
}

TEST(Json, RefusesNestingBeyondTheLimit) {
    EXPECT_TRUE(parse(QByteArray(200, '[') + QByteArray(200, ']')));
    EXPECT_FALSE(parse(QByteArray(300, '[') + QByteArray(300, ']')));
}
