#include <gtest/gtest.h>

#include <QSignalSpy>

#include <sys/stat.h>

#include <QCborArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/UserDefaults.h"

using tw::UserDefaults;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(UserDefaults, TypedValuesSurviveTheFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/dev.tarnwhistle.app.json"));
    {
        UserDefaults d(path);
        d.setBool(QStringLiteral("b"), true);
        d.setInteger(QStringLiteral("i"), 25);
        d.setDouble(QStringLiteral("whole"), 1.0);
        d.setString(QStringLiteral("s"), QStringLiteral("follow"));
        d.setStringArray(QStringLiteral("a"), {QStringLiteral("x"), QStringLiteral("y")});
        d.setData(QStringLiteral("blob"), QByteArray("{\"days\":{}}"));
    }
    const QByteArray file = readAll(path);
    EXPECT_TRUE(file.contains("\"whole\":1.0")) << file.constData();
    EXPECT_TRUE(file.contains("\"blob\":{\"$data\":\"")) << file.constData();
    EXPECT_EQ(QFile(path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);

    UserDefaults d(path);
    EXPECT_TRUE(d.boolValue(QStringLiteral("b")));
    EXPECT_EQ(d.integer(QStringLiteral("i")), 25);
    EXPECT_FALSE(d.integer(QStringLiteral("whole")));  // a double is not an integer
    EXPECT_EQ(d.object(QStringLiteral("whole")).toDouble(), 1.0);
    EXPECT_EQ(d.string(QStringLiteral("s")), QStringLiteral("follow"));
    EXPECT_EQ(d.stringArray(QStringLiteral("a")),
              (QStringList{QStringLiteral("x"), QStringLiteral("y")}));
    EXPECT_EQ(d.data(QStringLiteral("blob")), QByteArray("{\"days\":{}}"));
    EXPECT_FALSE(d.data(QStringLiteral("s")));
    EXPECT_FALSE(d.contains(QStringLiteral("missing")));
    EXPECT_TRUE(d.object(QStringLiteral("missing")).isUndefined());
}

TEST(UserDefaults, BooleanReadsFollowThePlatformRules) {
    UserDefaults d;
    struct Case {
        QCborValue stored;
        bool expected;
    } cases[] = {
        {QCborValue(true), true},
        {QCborValue(false), false},
        {QCborValue(0), false},
        {QCborValue(2), true},
        {QCborValue(0.5), true},
        {QCborValue(QStringLiteral("YES")), true},
        {QCborValue(QStringLiteral("true")), true},
        {QCborValue(QStringLiteral("no")), false},
        {QCborValue(QStringLiteral("1")), true},
        {QCborValue(QCborArray{}), false},
    };
    for (const auto& c : cases) {
        d.setObject(QStringLiteral("k"), c.stored);
        EXPECT_EQ(d.boolValue(QStringLiteral("k")), c.expected)
            << c.stored.toDiagnosticNotation().toStdString();
    }
    d.remove(QStringLiteral("k"));
    EXPECT_FALSE(d.boolValue(QStringLiteral("k")));
}

TEST(UserDefaults, StringArrayOnlyWhenEveryElementIsAString) {
    UserDefaults d;
    d.setObject(QStringLiteral("a"), QCborArray{QStringLiteral("x"), 1});
    EXPECT_FALSE(d.stringArray(QStringLiteral("a")));
    d.setObject(QStringLiteral("a"), QCborArray{});
    EXPECT_EQ(d.stringArray(QStringLiteral("a")), QStringList{});
}

TEST(UserDefaults, CorruptFileIsKeptAsideAndTheSuiteStartsEmpty) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("suite.json"));
    for (const QByteArray& bad :
         {QByteArray("{\"a\":"), QByteArray("[1,2]"), QByteArray("{\"d\":{\"$data\":\"@@\"}}")}) {
        writeAll(path, bad);
        UserDefaults d(path);
        EXPECT_FALSE(d.contains(QStringLiteral("a")));
        EXPECT_FALSE(QFile::exists(path));
        const QStringList aside =
            QDir(dir.path()).entryList({QStringLiteral("suite.json.corrupt-*")});
        ASSERT_EQ(aside.size(), 1) << bad.constData();
        EXPECT_EQ(readAll(dir.filePath(aside.first())), bad);
        QFile::remove(dir.filePath(aside.first()));
        d.setInteger(QStringLiteral("a"), 1);
        EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("a")), 1);
        QFile::remove(path);
    }
}

TEST(UserDefaults, FileThatCannotBeReadIsKeptAsideNotOverwritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("suite.json"));
    const QByteArray stored("{\"a\":1}\n");
    writeAll(path, stored);
    QFile::setPermissions(path, QFileDevice::Permissions());
    if (QFile f(path); f.open(QIODevice::ReadOnly)) {
        GTEST_SKIP() << "this user reads files regardless of their permissions";
    }
    UserDefaults d(path);
    EXPECT_FALSE(d.contains(QStringLiteral("a")));
    d.setInteger(QStringLiteral("b"), 2);
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("suite.json.corrupt-*")});
    ASSERT_EQ(aside.size(), 1);
    const QString kept = dir.filePath(aside.first());
    QFile::setPermissions(kept, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(readAll(kept), stored);
    EXPECT_EQ(UserDefaults(path).integer(QStringLiteral("b")), 2);
}

TEST(UserDefaults, ReloadSeesAnotherWriter) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("group.json"));
    UserDefaults reader(path);
    UserDefaults writer(path);
    writer.setString(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_FALSE(reader.contains(QStringLiteral("k")));
    reader.reload();
    EXPECT_EQ(reader.string(QStringLiteral("k")), QStringLiteral("v"));
}

TEST(UserDefaults, TheSameValueAgainIsNotWrittenAgain) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("suite.json"));
    tw::UserDefaults d(path);
    // Every write replaces the file, so a new file means a write.
    const auto inode = [&] {
        struct stat info {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    QSignalSpy changed(&d, &tw::UserDefaults::valueChanged);
    d.setObject(QStringLiteral("n"), QCborValue(1));
    const ino_t first = inode();
    ASSERT_NE(first, ino_t(0));
    struct Step {
        const char* name;
        QCborValue value;
        bool written;
    } steps[] = {
        {"the same integer", QCborValue(1), false},
        {"the same number as a double", QCborValue(1.0), true},
        {"the same double", QCborValue(1.0), false},
        {"another value", QCborValue(QStringLiteral("one")), true},
    };
    ino_t last = first;
    for (const Step& s : steps) {
        d.setObject(QStringLiteral("n"), s.value);
        EXPECT_EQ(inode() != last, s.written) << s.name;
        last = inode();
    }
    // Observers hear of every assignment all the same.
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(tw::UserDefaults(path).object(QStringLiteral("n")), QCborValue(QStringLiteral("one")));
}
