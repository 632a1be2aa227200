#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <vector>

#include "common/TestSupport.h"
#include "sync/NtfyContent.h"
#include "sync/NtfyTopic.h"
#include "sync/QrCode.h"
#include "sync/SyncTestSupport.h"

using tw::FocusEvent;
using tw::FocusEventType;
using tw::NtfyContent;
using tw::NtfyTopic;
using tw::test::decodeQr;
using tw::test::ScopedLocale;

namespace {

FocusEvent event(FocusEventType type, qint64 duration, const QString& endsAt) {
    FocusEvent e;
    e.id = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
    e.type = type;
    e.mode = QStringLiteral("focus");
    e.startedAt = QStringLiteral("2026-03-01T13:00:00Z");
    e.endsAt = endsAt;
    e.durationSec = duration;
    e.sentAt = e.startedAt;
    return e;
}

TEST(NtfyTopic, IsThirtyTwoCharactersOfTheAlphabet) {
    const QString alphabet = QString::fromLatin1(NtfyTopic::alphabet);
    QSet<QString> seen;
    for (int i = 0; i < 20; ++i) {
        const NtfyTopic t = NtfyTopic::generate();
        ASSERT_EQ(t.name.size(), 32);
        for (QChar c : t.name) EXPECT_TRUE(alphabet.contains(c)) << t.name.toStdString();
        EXPECT_EQ(NtfyTopic::parse(t.name), t);
        seen.insert(t.name);
    }
    EXPECT_EQ(seen.size(), 20);

    // Base32 of the 160 bits, most significant bit first.
    EXPECT_EQ(NtfyTopic::fromBytes(QByteArray(20, '\0')).name, QString(32, u'0'));
    EXPECT_EQ(NtfyTopic::fromBytes(QByteArray(20, '\xff')).name, QString(32, u'z'));
    QByteArray counting;
    for (int i = 0; i < 20; ++i) counting.append(char(i * 13));
    EXPECT_EQ(NtfyTopic::fromBytes(counting).name, "006hm9sm8575pt3nga7ssadprf8dvtqq");
}

TEST(NtfyTopic, ParsesWhatAPersonWroteOrCopied) {
    const QString name = "0123456789abcdefghjkmnpqrstvwxyz";
    const std::vector<std::pair<QString, std::optional<QString>>> cases = {
        {name, name},
        {"0123-4567-89AB-CDEF-GHJK-MNPQ-RSTV-WXYZ", name},
        {" 0123 4567 89ab cdef ghjk mnpq rstv wxyz\n", name},
        {"O123456789abcdefghjkmnpqrstvwxyz", name},  // O reads as 0
        {"0L23456789abcdefghjkmnpqrstvwxyz", "0123456789abcdefghjkmnpqrstvwxyz"},
        {"0I23456789abcdefghjkmnpqrstvwxyzu", name},          // I as 1, u dropped
        {"0123456789abcdefghjkmnpqrstvwxy", std::nullopt},    // 31
        {"0123456789abcdefghjkmnpqrstvwxyz0", std::nullopt},  // 33
        {"", std::nullopt},
        {"ntfy://ntfy.sh/0123456789abcdefghjkmnpqrstvwxyz", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto topic = NtfyTopic::parse(text);
        EXPECT_EQ(topic ? std::optional<QString>(topic->name) : std::nullopt, expected)
            << text.toStdString();
    }
    EXPECT_EQ(NtfyTopic{name}.grouped(), "0123 4567 89ab cdef ghjk mnpq rstv wxyz");
}

TEST(NtfyContent, MinutesTextRoundsHalvesAwayFromZeroAndIsAtLeastOne) {
    const std::vector<std::pair<qint64, QString>> cases = {
        {1500, "25 min"}, {20, "1 min"}, {0, "1 min"},   {-600, "1 min"},
        {89, "1 min"},    {90, "2 min"}, {150, "3 min"}, {172800, "2880 min"},
    };
    for (const auto& [seconds, text] : cases) {
        EXPECT_EQ(NtfyContent::minutesText(seconds), text) << seconds;
    }
}

TEST(NtfyContent, EndTimeIsAShortLocalTime) {
    tw::test::ScopedTimeZone zone("Europe/Berlin");
    {
        ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(NtfyContent::endTimeText("2026-03-01T13:25:00Z"), "14:25");
    }
    {
        ScopedLocale american(QLocale(QLocale::English, QLocale::UnitedStates));
        const QString t = NtfyContent::endTimeText("2026-03-01T13:25:00Z");
        EXPECT_TRUE(t.startsWith("2:25")) << t.toStdString();
        EXPECT_TRUE(t.endsWith("PM")) << t.toStdString();
    }
    EXPECT_EQ(NtfyContent::endTimeText("in a while"), "soon");
}

TEST(NtfyContent, StartsAndEndsMakeNotificationsPausesResumesAndResetsNone) {
    tw::test::ScopedTimeZone zone("UTC");
    ScopedLocale german(QLocale(QLocale::German, QLocale::Germany));
    const QString end = "2026-03-01T13:25:00Z";
    const QString dot = QString(QChar(0x00B7));
    struct Case {
        FocusEventType type;
        qint64 duration;
        std::optional<NtfyContent> content;
    };
    const std::vector<Case> cases = {
        {FocusEventType::focusStarted, 1500,
         NtfyContent{"Focus started", "25 min focus " + dot + " ends 13:25", {"alarm_clock"}, 3}},
        {FocusEventType::focusCompleted, 1500,
         NtfyContent{
             "Focus complete", "25 min focus done. Time for a break.", {"white_check_mark"}, 3}},
        {FocusEventType::breakStarted, 300,
         NtfyContent{"Break started", "5 min break " + dot + " ends 13:25", {"coffee"}, 2}},
        {FocusEventType::breakCompleted, 300,
         NtfyContent{"Break over", "Ready to focus again?", {"coffee"}, 3}},
        {FocusEventType::focusPaused, 1500, std::nullopt},
        {FocusEventType::focusResumed, 1500, std::nullopt},
        {FocusEventType::sessionReset, 1500, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NtfyContent::forEvent(event(c.type, c.duration, end)), c.content)
            << tw::rawValue(c.type).toStdString();
    }
    const auto soon = NtfyContent::forEvent(event(FocusEventType::breakStarted, 20, "x"));
    ASSERT_TRUE(soon);
    EXPECT_EQ(soon->message, "1 min break " + dot + " ends soon");
}

TEST(NtfyContent, PublishBodyNamesTheTopic) {
    const NtfyTopic topic{"0123456789abcdefghjkmnpqrstvwxyz"};
    const NtfyContent content{"Break over", "Ready to focus again?", {"coffee"}, 3};
    const QJsonObject o = QJsonDocument::fromJson(content.publishBody(topic)).object();
    EXPECT_EQ(o.keys(), (QStringList{"message", "priority", "tags", "title", "topic"}));
    EXPECT_EQ(o.value("topic").toString(), topic.name);
    EXPECT_EQ(o.value("title").toString(), "Break over");
    EXPECT_EQ(o.value("message").toString(), "Ready to focus again?");
    EXPECT_EQ(o.value("tags").toArray(), QJsonArray{"coffee"});
    EXPECT_EQ(o.value("priority").toInteger(), 3);
}

TEST(QrCode, ScalesWholeModulesWithoutSmoothingAndReadsBack) {
    const QString link = "https://ntfy.sh/0123456789abcdefghjkmnpqrstvwxyz";
    const auto image = tw::qrImage(link, 8);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width(), image->height());
    ASSERT_EQ(image->width() % 8, 0);
    // 48 bytes at level M: version 4, 33 modules, and the quiet zone of 4 on each side.
    EXPECT_EQ(image->width(), (33 + 8) * 8);
    const QImage rgb = image->convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            ASSERT_TRUE(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255)) << x << "," << y;
            ASSERT_EQ(p, rgb.pixel(x - x % 8, y - y % 8)) << x << "," << y;
        }
    }
    EXPECT_EQ(rgb.pixel(0, 0), qRgb(255, 255, 255));  // quiet zone
    EXPECT_EQ(rgb.pixel(32, 32), qRgb(0, 0, 0));      // the top-left finder, upright
    EXPECT_EQ(decodeQr(*image), link);

    const auto small = tw::qrImage(link, 0);  // at least one pixel per module
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width(), 33 + 8);
    EXPECT_EQ(decodeQr(small->scaled(small->width() * 4, small->height() * 4)), link);

    EXPECT_FALSE(tw::qrImage(QString(), 8));
    EXPECT_FALSE(tw::qrImage(QString(3000, u'x'), 8));  // more than a QR code holds
    EXPECT_FALSE(tw::qrImage(link, 1 << 20));           // an absurd size
    const QString unicode = QString::fromUtf8("Grüße · 焦点");
    EXPECT_EQ(decodeQr(*tw::qrImage(unicode, 4)), unicode);
}

}  // namespace
