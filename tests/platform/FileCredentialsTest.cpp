// The credentials file used where no keyring runs: its format, its modes, its atomic replacement
// and what happens to a damaged file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/linux/CredentialFile.h"
#include "platform/linux/FileCredentials.h"

using tw::CredentialFailure;
using tw::CredentialRead;
using tw::FileCredentials;

namespace {

const QString kHistory = QStringLiteral("dev.tarnwhistle.cloud-history");
const QString kTickTick = QStringLiteral("dev.tarnwhistle.ticktick");

std::optional<QByteArray> blob(const CredentialRead& read) {
    const auto* value = std::get_if<std::optional<QByteArray>>(&read);
    EXPECT_NE(value, nullptr) << std::get<CredentialFailure>(read).detail.toStdString();
    return value ? *value : std::nullopt;
}

struct stat statOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

mode_t modeOf(const QString& path) {
    return statOf(path).st_mode & 07777;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

}  // namespace

TEST(CredentialFile, DecodesWhatItCanAndSaysWhenItHadToLeaveSomethingOut) {
    struct Case {
        const char* name;
        QByteArray text;
        QMap<QString, QByteArray> items;
        bool intact;
    };
    const QList<Case> cases = {
        {"two items", R"({"a": "dG9rZW4=", "b": ""})", {{"a", "token"}, {"b", ""}}, true},
        {"empty object", "{}", {}, true},
        {"not JSON", "{\"a\": ", {}, false},
        {"an array", R"(["dG9rZW4="])", {}, false},
        {"empty file", "", {}, false},
        {"not base64", R"({"a": "dG9rZW4=", "b": "not base64!"})", {{"a", "token"}}, false},
        {"not text", R"({"a": 12, "b": "dG9rZW4="})", {{"b", "token"}}, false},
        {"no name", R"({"": "dG9rZW4="})", {}, false},
        {"beyond Latin-1", R"({"a": "dG9rZW4\u263a"})", {}, false},
    };
    for (const Case& c : cases) {
        const auto decoded = tw::credentialfile::decode(c.text);
        EXPECT_EQ(decoded.items, c.items) << c.name;
        EXPECT_EQ(decoded.intact, c.intact) << c.name;
    }
}

TEST(CredentialFile, AnyBlobSurvivesTheFile) {
    QMap<QString, QByteArray> items;
    items.insert(kHistory, QByteArray("{\"token\":\"abc\"}"));
    items.insert(kTickTick, QByteArray("\0\xff\n\"\\", 5));
    items.insert(QString::fromUtf8("dev.tarnwhistle.ü"), QByteArray());
    const auto decoded = tw::credentialfile::decode(tw::credentialfile::encode(items));
    EXPECT_TRUE(decoded.intact);
    EXPECT_EQ(decoded.items, items);
}

TEST(FileCredentials, KeepsBlobsPerServiceInAFileOnlyTheUserCanRead) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("data/tarnwhistle/credentials"));
    FileCredentials file(folder);

    // Reading or removing what was never written touches nothing.
    EXPECT_EQ(blob(file.read(kHistory)), std::nullopt);
    EXPECT_FALSE(file.remove(kHistory));
    EXPECT_FALSE(QFileInfo::exists(folder));

    const mode_t previous = ::umask(0);  // the modes must not depend on a careful umask
    const auto written = file.write(kHistory, "first");
    ::umask(previous);
    ASSERT_FALSE(written);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file.filePath()), 0600u);
    EXPECT_EQ(blob(file.read(kHistory)), QByteArray("first"));

    // A second service shares the file; replacing one leaves the other.
    ASSERT_FALSE(file.write(kTickTick, "tick"));
    const ino_t before = statOf(file.filePath()).st_ino;
    ASSERT_FALSE(file.write(kHistory, "second"));
    EXPECT_NE(statOf(file.filePath()).st_ino, before);  // replaced by a new file, not rewritten
    EXPECT_EQ(entries(folder), QStringList{QStringLiteral("credentials.json")});
    EXPECT_EQ(modeOf(file.filePath()), 0600u);
    EXPECT_EQ(blob(file.read(kHistory)), QByteArray("second"));
    EXPECT_EQ(blob(file.read(kTickTick)), QByteArray("tick"));

    // Removing twice succeeds; the file goes with its last item.
    EXPECT_FALSE(file.remove(kHistory));
    EXPECT_FALSE(file.remove(kHistory));
    EXPECT_EQ(blob(file.read(kHistory)), std::nullopt);
    EXPECT_EQ(blob(file.read(kTickTick)), QByteArray("tick"));
    EXPECT_FALSE(file.remove(kTickTick));
    EXPECT_FALSE(QFileInfo::exists(file.filePath()));
}

TEST(FileCredentials, ClosesAFolderOrFileFoundOpen) {
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("credentials"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    FileCredentials file(folder);
    writeAll(file.filePath(), tw::credentialfile::encode({{kHistory, "kept"}}));
    ::chmod(QFile::encodeName(file.filePath()).constData(), 0644);

    EXPECT_EQ(blob(file.read(kHistory)), QByteArray("kept"));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(file.filePath()), 0600u);
}

TEST(FileCredentials, RefusesAFolderThatIsALink) {
    QTemporaryDir home;
    const QString elsewhere = home.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    const QString folder = home.filePath(QStringLiteral("credentials"));
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    FileCredentials file(folder);

    EXPECT_TRUE(file.write(kHistory, "secret"));
    EXPECT_TRUE(std::holds_alternative<CredentialFailure>(file.read(kHistory)));
    EXPECT_TRUE(entries(elsewhere).isEmpty());
}

TEST(FileCredentials, KeepsADamagedFileAsideAndSalvagesWhatItCan) {
    struct Case {
        const char* name;
        QByteArray text;
        std::optional<QByteArray> history;  // what survives for the history service
        bool fileRemains;                   // whether a new file holds the salvaged items
    };
    const QList<Case> cases = {
        {"garbage", "\x01not json", std::nullopt, false},
        {"one bad entry", R"({"dev.tarnwhistle.cloud-history": "c2FsdmFnZWQ=", "x": 1})",
         QByteArray("salvaged"), true},
    };
    for (const Case& c : cases) {
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral("credentials"));
        FileCredentials file(folder);
        ASSERT_FALSE(file.write(kTickTick, "placeholder"));
        writeAll(file.filePath(), c.text);

        EXPECT_EQ(blob(file.read(kHistory)), c.history) << c.name;
        const QStringList aside = QDir(folder).entryList({QStringLiteral("*.corrupt-*")});
        ASSERT_EQ(aside.size(), 1) << c.name;
        const QString asidePath = folder + QLatin1Char('/') + aside.first();
        EXPECT_EQ(readAll(asidePath), c.text) << c.name;
        EXPECT_EQ(modeOf(asidePath), 0600u) << c.name;
        EXPECT_EQ(QFileInfo::exists(file.filePath()), c.fileRemains) << c.name;

        // The store goes on working over the new file.
        ASSERT_FALSE(file.write(kTickTick, "new")) << c.name;
        EXPECT_EQ(blob(file.read(kTickTick)), QByteArray("new")) << c.name;
        EXPECT_EQ(blob(file.read(kHistory)), c.history) << c.name;
        EXPECT_EQ(modeOf(file.filePath()), 0600u) << c.name;
    }
}
