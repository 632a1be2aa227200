#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <limits>

#include "widget/FocusWidgetSnapshot.h"

namespace tw {
namespace {

QJsonObject objectOf(const QByteArray& bytes) {
    return QJsonDocument::fromJson(bytes).object();
}

const char kFull[] = R"({"mode":"Break","state":"running","time":"4:05","endDate":1741341600.25,)"
                     R"("phaseSeconds":300,"focusMinutesToday":42,"streak":3})";

TEST(FocusWidgetSnapshot, EncodesEveryFieldAndLeavesOutAMissingEndDate) {
    FocusWidgetSnapshot s;
    s.mode = QStringLiteral("Break");
    s.state = QStringLiteral("running");
    s.time = QStringLiteral("4:05");
    s.endDate = 1741341600.25;
    s.phaseSeconds = 300;
    s.focusMinutesToday = 42;
    s.streak = 3;
    const auto bytes = s.encode();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(objectOf(*bytes), objectOf(kFull));
    EXPECT_EQ(FocusWidgetSnapshot::decode(*bytes), s);

    s.endDate.reset();
    const QJsonObject o = objectOf(*s.encode());
    EXPECT_FALSE(o.contains(QStringLiteral("endDate")));
    EXPECT_EQ(o.size(), 6);
    EXPECT_EQ(FocusWidgetSnapshot::decode(*s.encode()), s);
}

TEST(FocusWidgetSnapshot, ANumberJsonCannotCarryFailsTheEncoding) {
    FocusWidgetSnapshot s;
    s.endDate = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(s.encode());
    s.endDate = std::nan("");
    EXPECT_FALSE(s.encode());
}

TEST(FocusWidgetSnapshot, TheDefaultIsAnIdleFocusOfTwentyFiveMinutes) {
    const auto d = FocusWidgetSnapshot::defaultSnapshot();
    EXPECT_EQ(d.mode, QStringLiteral("Focus"));
    EXPECT_EQ(d.state, QStringLiteral("idle"));
    EXPECT_EQ(d.time, QStringLiteral("25:00"));
    EXPECT_FALSE(d.endDate);
    EXPECT_EQ(d.phaseSeconds, 1500);
    EXPECT_EQ(d.focusMinutesToday, 0);
    EXPECT_EQ(d.streak, 0);
}

// Each case changes one key of the full record; `accepted` says whether the record still decodes.
struct DecodeCase {
    const char* what;
    const char* key;
    const char* value;  // JSON text, or nullptr to remove the key
    bool accepted;
};

class FocusWidgetSnapshotDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(FocusWidgetSnapshotDecode, RejectsTheWholeRecordOnAMissingKeyOrAWrongType) {
    const DecodeCase& c = GetParam();
    QJsonObject o = objectOf(kFull);
    if (c.value) {
        const QByteArray wrapped = QByteArray("{\"v\":") + c.value + "}";
        o.insert(QLatin1String(c.key), objectOf(wrapped).value(QStringLiteral("v")));
    } else {
        o.remove(QLatin1String(c.key));
    }
    const auto decoded = FocusWidgetSnapshot::decode(QJsonDocument(o).toJson());
    EXPECT_EQ(decoded.has_value(), c.accepted) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FocusWidgetSnapshotDecode,
    ::testing::Values(DecodeCase{"no mode", "mode", nullptr, false},
                      DecodeCase{"no state", "state", nullptr, false},
                      DecodeCase{"no time", "time", nullptr, false},
                      DecodeCase{"no phaseSeconds", "phaseSeconds", nullptr, false},
                      DecodeCase{"no focusMinutesToday", "focusMinutesToday", nullptr, false},
                      DecodeCase{"no streak", "streak", nullptr, false},
                      DecodeCase{"no endDate", "endDate", nullptr, true},
                      DecodeCase{"null endDate", "endDate", "null", true},
                      DecodeCase{"mode a number", "mode", "1", false},
                      DecodeCase{"state null", "state", "null", false},
                      DecodeCase{"time a number", "time", "245", false},
                      DecodeCase{"phaseSeconds text", "phaseSeconds", "\"1500\"", false},
                      DecodeCase{"phaseSeconds fractional", "phaseSeconds", "1500.5", false},
                      DecodeCase{"phaseSeconds whole double", "phaseSeconds", "1500.0", true},
                      DecodeCase{"streak a boolean", "streak", "true", false},
                      DecodeCase{"streak too large", "streak", "1e30", false},
                      DecodeCase{"endDate text", "endDate", "\"soon\"", false},
                      DecodeCase{"unknown key kept out", "colour", "\"teal\"", true}));

TEST(FocusWidgetSnapshot, DecodesOnlyAJsonObject) {
    for (const char* text : {"", "null", "[]", "\"Focus\"", "{\"mode\":", "{} trailing"}) {
        EXPECT_FALSE(FocusWidgetSnapshot::decode(text)) << text;
    }
    const auto s = FocusWidgetSnapshot::decode(kFull);
    ASSERT_TRUE(s);
    EXPECT_DOUBLE_EQ(*s->endDate, 1741341600.25);
    EXPECT_EQ(s->focusMinutesToday, 42);
}

}  // namespace
}  // namespace tw
