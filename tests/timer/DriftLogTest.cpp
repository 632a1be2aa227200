#include "timer/DriftLog.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "support/Calendar.h"

namespace tw {
namespace {

using test::at;

class DriftLogTest : public ::testing::Test {
protected:
    void writeFile(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path_).absolutePath());
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray readFile() {
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QString key(Instant t) { return Calendar::shared().dayKey(t); }

    test::ScopedTimeZone zone_{"Europe/Berlin"};
    QTemporaryDir dir_;
    QString path_ = dir_.filePath("tarnwhistle/drift-log.json");
    Instant now_ = at("Europe/Berlin", 2025, 3, 12, 15);  // a Wednesday
};

TEST_F(DriftLogTest, RecordFoldsCaseAndWritesTheFile) {
    DriftLog log(path_, now_);
    log.record("News.EXAMPLE", now_);
    log.record("news.example", now_ + 60);
    log.record("", now_);
    EXPECT_EQ(log.days(), (DriftLog::Days{{"2025-03-12", {{"news.example", 2}}}}));
    EXPECT_EQ(QJsonDocument::fromJson(readFile()).object(),
              QJsonDocument::fromJson(R"({"2025-03-12":{"news.example":2}})").object());

    // A new log reads it back.
    EXPECT_EQ(DriftLog(path_, now_).days(), log.days());
}

TEST_F(DriftLogTest, KeepsThirtyDaysAndDropsBadKeys) {
    QJsonObject stored;
    for (int i = 0; i < 40; ++i) {
        stored.insert(key(now_ - i * 86400.0), QJsonObject{{"a.example", 1}});
    }
    stored.insert("2025-3-1", QJsonObject{{"a.example", 1}});  // parses, but not a day key
    stored.insert("2999-1-1", QJsonObject{{"a.example", 1}});  // must not move the window
    stored.insert("yesterday", QJsonObject{{"a.example", 1}});
    writeFile(QJsonDocument(stored).toJson());

    DriftLog log(path_, now_);
    EXPECT_EQ(log.days().size(), 30);
    EXPECT_EQ(log.days().firstKey(), key(now_ - 29 * 86400.0));
    EXPECT_EQ(log.days().lastKey(), key(now_));

    log.record("b.example", now_);
    const auto reread = DriftLog::decode(readFile());
    ASSERT_TRUE(reread);
    EXPECT_EQ(*reread, log.days());
    EXPECT_EQ(reread->size(), 30);
    EXPECT_EQ(log.totalDrifts(30, now_), 31);
}

TEST_F(DriftLogTest, FutureEntriesKeepTheirOwnWindow) {
    writeFile(QJsonDocument(QJsonObject{
                                {key(now_ + 5 * 86400.0), QJsonObject{{"a.example", 1}}},
                                {key(now_ - 24 * 86400.0), QJsonObject{{"b.example", 1}}},
                                {key(now_ - 25 * 86400.0), QJsonObject{{"c.example", 1}}},
                            })
                  .toJson());
    DriftLog log(path_, now_);
    EXPECT_EQ(log.days().keys(), (QStringList{key(now_ - 24 * 86400.0), key(now_ + 5 * 86400.0)}));
}

TEST_F(DriftLogTest, WeekFigures) {
    DriftLog log(path_, now_);
    const Instant monday = at("Europe/Berlin", 2025, 3, 10, 9);
    for (int i = 0; i < 3; ++i) log.record("a.example", monday);
    for (int i = 0; i < 2; ++i) log.record("b.example", monday + 86400);
    for (int i = 0; i < 2; ++i) log.record("b.example", now_);
    EXPECT_EQ(log.topSite(7, now_), QStringLiteral("b.example"));
    EXPECT_EQ(log.totalDrifts(7, now_), 7);
    EXPECT_EQ(log.topSite(3, monday), QStringLiteral("a.example"));
    EXPECT_EQ(log.totalDrifts(1, monday), 3);

    // Eight days ago lies outside the week; six days ago inside.
    DriftLog older(dir_.filePath("older.json"), now_);
    older.record("old.example", now_ - 8 * 86400.0);
    EXPECT_EQ(older.topSite(7, now_), std::nullopt);
    EXPECT_EQ(older.totalDrifts(7, now_), 0);
    older.record("recent.example", at("Europe/Berlin", 2025, 3, 6, 0, 0));
    EXPECT_EQ(older.topSite(7, now_), QStringLiteral("recent.example"));
    EXPECT_EQ(older.totalDrifts(7, now_), 1);

    EXPECT_EQ(DriftLog(dir_.filePath("none.json"), now_).topSite(7, now_), std::nullopt);
}

TEST_F(DriftLogTest, DayKeysEndAtTheGivenDay) {
    EXPECT_EQ(DriftLog::dayKeys(3, at("Europe/Berlin", 2025, 3, 31, 0, 30)),
              (QStringList{"2025-03-31", "2025-03-30", "2025-03-29"}));
    EXPECT_EQ(DriftLog::dayKeys(0, now_), QStringList{"2025-03-12"});
    EXPECT_EQ(DriftLog::dayKeys(-4, now_), QStringList{"2025-03-12"});
}

TEST_F(DriftLogTest, UnreadableFileGivesAnEmptyLog) {
    const QByteArray unreadable[] = {
        "{not json",
        "[]",
        R"({"2025-03-12":{"a.example":"two"}})",
        R"({"2025-03-12":{"a.example":1.5}})",
        R"({"2025-03-12":[1]})",
        R"({"2025-03-12":{"a.example":1},"2025-03-11":3})",
        "",
    };
    for (const QByteArray& bytes : unreadable) {
        writeFile(bytes);
        DriftLog log(path_, now_);
        EXPECT_TRUE(log.days().isEmpty()) << bytes.toStdString();
        log.record("a.example", now_);
        const auto reread = DriftLog::decode(readFile());
        ASSERT_TRUE(reread) << bytes.toStdString();
        EXPECT_EQ(*reread, (DriftLog::Days{{"2025-03-12", {{"a.example", 1}}}}));
    }
    // Whole-valued doubles are integers.
    EXPECT_EQ(DriftLog::decode(R"({"2025-03-12":{"a.example":2.0}})"),
              (DriftLog::Days{{"2025-03-12", {{"a.example", 2}}}}));
}

TEST_F(DriftLogTest, FailedWritesKeepTheLogInMemory) {
    QFile blocker(dir_.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    DriftLog log(dir_.filePath("file/drift-log.json"), now_);  // its folder cannot exist
    log.record("a.example", now_);
    EXPECT_EQ(log.totalDrifts(7, now_), 1);
}

TEST_F(DriftLogTest, DefaultLocation) {
    EXPECT_TRUE(DriftLog::defaultFilePath().endsWith("/tarnwhistle/drift-log.json"));
}

}  // namespace
}  // namespace tw
