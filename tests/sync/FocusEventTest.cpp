#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <limits>
#include <vector>

#include "sync/FocusEvent.h"

using tw::FocusEvent;
using tw::FocusEventType;
using tw::Instant;

namespace {

FocusEvent sample() {
    FocusEvent e;
    e.id = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    e.type = FocusEventType::breakCompleted;
    e.mode = QStringLiteral("rest");
    e.startedAt = QStringLiteral("2026-03-01T09:30:00Z");
    e.endsAt = QStringLiteral("2026-03-01T09:35:00Z");
    e.durationSec = 300;
    e.sentAt = QStringLiteral("2026-03-01T09:35:01Z");
    return e;
}

TEST(FocusEvent, TypesTravelInSnakeCase) {
    const std::vector<std::pair<FocusEventType, QString>> types = {
        {FocusEventType::focusStarted, "focus_started"},
        {FocusEventType::focusPaused, "focus_paused"},
        {FocusEventType::focusResumed, "focus_resumed"},
        {FocusEventType::focusCompleted, "focus_completed"},
        {FocusEventType::breakStarted, "break_started"},
        {FocusEventType::breakCompleted, "break_completed"},
        {FocusEventType::sessionReset, "session_reset"},
    };
    for (const auto& [type, raw] : types) {
        EXPECT_EQ(tw::rawValue(type), raw);
        EXPECT_EQ(tw::focusEventTypeFromRaw(raw), type);
    }
    EXPECT_FALSE(tw::focusEventTypeFromRaw("Focus_Started"));
    EXPECT_FALSE(tw::focusEventTypeFromRaw("focus_skipped"));
}

TEST(FocusEvent, TimestampsAreWholeSecondsInUtc) {
    const Instant t = Instant::fromUnix(1772357400);  // 2026-03-01 09:30:00 UTC
    const std::vector<std::pair<double, QString>> cases = {
        {0, "2026-03-01T09:30:00Z"},
        {0.999, "2026-03-01T09:30:00Z"},
        {-0.001, "2026-03-01T09:29:59Z"},
        {86400 * 365.0, "2027-03-01T09:30:00Z"},
    };
    for (const auto& [offset, text] : cases) {
        EXPECT_EQ(tw::eventTimestamp(t + offset), text) << offset;
    }
    EXPECT_EQ(tw::eventTimestamp(Instant::fromUnix(0)), "1970-01-01T00:00:00Z");
    EXPECT_EQ(tw::eventTimestamp(Instant{std::numeric_limits<double>::quiet_NaN()}),
              "1970-01-01T00:00:00Z");
    EXPECT_EQ(tw::eventTimestamp(Instant{1e300}), "9999-12-31T23:59:59Z");

    EXPECT_EQ(tw::parseEventTimestamp("2026-03-01T09:30:00Z"), t);
    for (const char* bad :
         {"", "2026-03-01T09:30:00", "2026-03-01T09:30:00.5Z", "2026-03-01 09:30:00Z",
          "2026-03-01T09:30:00+01:00", "2026-02-30T09:30:00Z", "2026-03-01T24:00:00Z",
          " 2026-03-01T09:30:00Z"}) {
        EXPECT_FALSE(tw::parseEventTimestamp(bad)) << bad;
    }
}

TEST(FocusEvent, DurationIsClampedToTwoDays) {
    const std::vector<std::pair<qint64, qint64>> cases = {
        {-1, 0},
        {0, 0},
        {1500, 1500},
        {172800, 172800},
        {172801, 172800},
        {std::numeric_limits<qint64>::min(), 0},
        {std::numeric_limits<qint64>::max(), 172800},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(FocusEvent::clampedDuration(in), out) << in;
}

TEST(FocusEvent, JsonHasExactlyTheSevenKeys) {
    const FocusEvent e = sample();
    const QJsonObject o = QJsonDocument::fromJson(e.encoded()).object();
    EXPECT_EQ(o.keys(),
              (QStringList{"durationSec", "endsAt", "id", "mode", "sentAt", "startedAt", "type"}));
    EXPECT_EQ(o.value("type").toString(), "break_completed");
    EXPECT_EQ(o.value("durationSec").toInteger(), 300);
    EXPECT_FALSE(e.encoded().contains("300.0"));
    EXPECT_EQ(FocusEvent::decode(e.encoded()), e);
}

TEST(FocusEvent, DecodingRejectsMissingKeysWrongTypesAndUnknownTypes) {
    const QJsonObject good = sample().toJson();
    QJsonObject extra = good;
    extra.insert("phone", "yes");
    EXPECT_EQ(FocusEvent::fromJson(extra), sample());  // unknown keys are ignored

    for (const QString& key : good.keys()) {
        QJsonObject missing = good;
        missing.remove(key);
        EXPECT_FALSE(FocusEvent::fromJson(missing)) << key.toStdString();
    }
    const std::vector<std::pair<const char*, QJsonValue>> wrong = {
        {"type", "focus_skipped"},
        {"type", 3},
        {"durationSec", 1.5},
        {"durationSec", "300"},
        {"durationSec", 1e30},
        {"id", QJsonValue::Null},
        {"mode", true},
        {"sentAt", 0},
    };
    for (const auto& [key, value] : wrong) {
        QJsonObject o = good;
        o.insert(key, value);
        EXPECT_FALSE(FocusEvent::fromJson(o)) << key;
    }
    EXPECT_FALSE(FocusEvent::decode("[]"));
    EXPECT_FALSE(FocusEvent::decode("{"));
}

}  // namespace
