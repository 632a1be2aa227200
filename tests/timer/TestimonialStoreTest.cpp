#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "platform/fake/FakeScheduler.h"
#include "timer/TestimonialStore.h"

namespace tw::test {
namespace {

class TestimonialStoreTest : public ::testing::Test {
public:
    QTemporaryDir dir;
    FakeScheduler clock{Instant::fromReference(786000000.5)};
    QString path = dir.filePath(QStringLiteral("data/tarnwhistle/testimonials.json"));

    QByteArray fileBytes() const {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(TestimonialStoreTest, AddsTrimmedEntriesAndReadsThemBack) {
    {
        TestimonialStore store(clock.clock(), path);
        EXPECT_TRUE(store.entries().isEmpty());
        EXPECT_EQ(store.fileURL(), path);
        store.add(QStringLiteral("\n  It keeps me honest. \t"), true);
        clock.advance(60);
        store.add(QStringLiteral("Second"), false);
        store.add(QStringLiteral(" \n "), true);  // blanks only: not stored
        ASSERT_EQ(store.entries().size(), 2);
    }
    const QJsonArray stored = QJsonDocument::fromJson(fileBytes()).array();
    ASSERT_EQ(stored.size(), 2);
    const QJsonObject first = stored[0].toObject();
    EXPECT_EQ(first.value(QStringLiteral("text")).toString(),
              QStringLiteral("It keeps me honest."));
    EXPECT_TRUE(first.value(QStringLiteral("mayQuote")).toBool());
    EXPECT_DOUBLE_EQ(first.value(QStringLiteral("submittedAt")).toDouble(), 786000000.5);

    TestimonialStore again(clock.clock(), path);
    ASSERT_EQ(again.entries().size(), 2);
    EXPECT_EQ(again.entries()[1],
              (Testimonial{QStringLiteral("Second"), false, Instant::fromReference(786000060.5)}));
}

TEST_F(TestimonialStoreTest, UnreadableFileIsKeptAsideNotOverwritten) {
    for (const QByteArray& bad :
         {QByteArray("{not json"), QByteArray("{\"text\":\"x\"}"),
          QByteArray("[{\"text\":\"x\",\"mayQuote\":\"yes\",\"submittedAt\":1}]")}) {
        QDir(dir.path()).removeRecursively();
        writeFile(bad);
        TestimonialStore store(clock.clock(), path);
        EXPECT_TRUE(store.entries().isEmpty()) << bad.constData();
        EXPECT_EQ(fileBytes(), bad) << "left alone until the next write";

        store.add(QStringLiteral("Fresh"), true);
        ASSERT_EQ(TestimonialStore::decode(fileBytes())->size(), 1);
        const QStringList aside = QDir(QFileInfo(path).absolutePath())
                                      .entryList({QStringLiteral("testimonials.json.corrupt-*")});
        ASSERT_EQ(aside.size(), 1) << bad.constData();
        QFile kept(QFileInfo(path).absolutePath() + QLatin1Char('/') + aside[0]);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), bad);
    }
}

TEST_F(TestimonialStoreTest, FailedWriteKeepsTheEntryInMemory) {
    // The folder cannot exist: a plain file sits where it should be.
    writeFile("");
    const QString blocked = path + QStringLiteral("/testimonials.json");
    TestimonialStore store(clock.clock(), blocked);
    store.add(QStringLiteral("Still here"), false);
    ASSERT_EQ(store.entries().size(), 1);
    EXPECT_EQ(store.entries()[0].text, QStringLiteral("Still here"));
}

TEST(TestimonialStore, DefaultLocationIsTheDataFolder) {
    EXPECT_TRUE(TestimonialStore::defaultFilePath().endsWith(
        QStringLiteral("/tarnwhistle/testimonials.json")));
}

}  // namespace
}  // namespace tw::test
