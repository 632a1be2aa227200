#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "TestEnvironment.h"
#include "common/TestSupport.h"

namespace tw::test {
namespace {

const QString kTool = QStringLiteral(TW_BIN_DIR "/tarnwhistle-shortcuts");
const QString kDefinition =
    QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle/Shortcuts/Tarnwhistle DND On.sh");

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The permission bits of a file or folder.
int mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// An importable file with any name and script, its checksum right.
QByteArray sealed(const QByteArray& name, const QByteArray& script) {
    return "Tarnwhistle-Shortcut: 1\nName: " + name +
           "\nSHA-256: " + QCryptographicHash::hash(script, QCryptographicHash::Sha256).toHex() +
           "\n\n" + script;
}

// The tool run with a private data folder holding two shortcuts: "Say hello" writes a file,
// "Fails" exits 3. Outside the shortcuts folder lies an executable "evil" that must never run.
class ShortcutsTool : public ::testing::Test {
public:
    QTemporaryDir data;
    QString shortcuts;

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kTool));
        shortcuts = data.filePath(QStringLiteral("tarnwhistle/shortcuts"));
        ASSERT_TRUE(QDir().mkpath(shortcuts));
        script(shortcuts + QStringLiteral("/Say hello"),
               QStringLiteral("#!/bin/sh\ntouch '%1/said'\n").arg(data.path()));
        script(shortcuts + QStringLiteral("/Fails"), QStringLiteral("#!/bin/sh\nexit 3\n"));
        script(data.filePath(QStringLiteral("tarnwhistle/evil")),
               QStringLiteral("#!/bin/sh\ntouch '%1/evil-ran'\n").arg(data.path()));
    }

    static void script(const QString& path, const QString& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    QProcessEnvironment env() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        return env;
    }

    int run(const QStringList& args, QString* err = nullptr) {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(kTool, args);
        if (!p.waitForFinished(10000)) return -1;
        if (err) *err = QString::fromLocal8Bit(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

TEST_F(ShortcutsTool, RunsTheNamedShortcutWithItsExitStatus) {
    EXPECT_EQ(run({QStringLiteral("run"), QStringLiteral("Say hello")}), 0);
    EXPECT_TRUE(QFile::exists(data.filePath(QStringLiteral("said"))));
    EXPECT_EQ(run({QStringLiteral("run"), QStringLiteral("Fails")}), 3);
}

TEST_F(ShortcutsTool, RefusesWhatIsNotAShortcutOfTheFolder) {
    struct Case {
        QStringList args;
        int status;
    } cases[] = {
        {{QStringLiteral("run"), QStringLiteral("No such shortcut")}, 1},
        {{QStringLiteral("run"), QStringLiteral("../evil")}, 1},
        {{QStringLiteral("run"), QStringLiteral("..")}, 1},
        {{QStringLiteral("run"), QString()}, 1},
        {{QStringLiteral("run")}, 2},
        {{QStringLiteral("start"), QStringLiteral("Say hello")}, 2},
        {{}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QString err;
        EXPECT_EQ(run(c.args, &err), c.status);
        EXPECT_FALSE(err.isEmpty()) << "says why";
    }
    EXPECT_FALSE(QFile::exists(data.filePath(QStringLiteral("evil-ran"))));
    EXPECT_FALSE(QFile::exists(data.filePath(QStringLiteral("said"))));
}

TEST_F(ShortcutsTool, SignsADefinitionIntoAnImportableFile) {
    const QString out = data.filePath(QStringLiteral("On.tarnwhistle-shortcut"));
    QString err;
    ASSERT_EQ(run({QStringLiteral("sign"), QStringLiteral("--mode"), QStringLiteral("anyone"),
                   QStringLiteral("--input"), kDefinition, QStringLiteral("--output"), out},
                  &err),
              0)
        << err.toStdString();
    // Named after the definition, the script unchanged behind the header.
    EXPECT_EQ(contents(out), sealed("Tarnwhistle DND On", contents(kDefinition)));
}

TEST_F(ShortcutsTool, SignRefusesWhatItCannotSign) {
    const auto file = [this](const char* name, const QByteArray& bytes) {
        QFile f(data.filePath(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString text = file("Plain text.sh", "echo hello\n");
    const QString huge = file("Huge.sh", "#!/bin/sh\n" + QByteArray(70 * 1024, '#'));
    const QString unnamed = file(".sh", "#!/bin/sh\n");
    const QString out = data.filePath(QStringLiteral("out.tarnwhistle-shortcut"));
    const QString in = QStringLiteral("--input"), output = QStringLiteral("--output");
    struct Case {
        QStringList args;
        int status;
    } cases[] = {
        {{QStringLiteral("--mode"), QStringLiteral("people-who-know-me"), in, kDefinition, output,
          out},
         2},
        {{in, kDefinition}, 2},
        {{in, kDefinition, output}, 2},
        {{in, kDefinition, in, kDefinition, output, out}, 2},
        {{QStringLiteral("--name"), QStringLiteral("x"), in, kDefinition, output, out}, 2},
        {{in, data.filePath(QStringLiteral("Missing.sh")), output, out}, 1},
        {{in, data.path(), output, out}, 1},
        {{in, text, output, out}, 1},
        {{in, huge, output, out}, 1},
        {{in, unnamed, output, out}, 1},
        {{in, kDefinition, output, data.filePath(QStringLiteral("no-folder/out"))}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QString err;
        EXPECT_EQ(run(QStringList{QStringLiteral("sign")} + c.args, &err), c.status);
        EXPECT_FALSE(err.isEmpty()) << "says why";
        if (c.status == 1) {
            EXPECT_EQ(err.count(u'\n'), 1) << "one sentence: " << err.toStdString();
        }
        EXPECT_FALSE(QFile::exists(out));
    }
}

TEST_F(ShortcutsTool, ImportRefusesDamagedFilesWithoutAsking) {
    const QByteArray script = contents(kDefinition);
    const QByteArray good = sealed("Tarnwhistle DND On", script);
    QByteArray flipped = good;
    flipped[flipped.size() - 2] = flipped[flipped.size() - 2] ^ 1;
    QByteArray newerFormat = good;
    newerFormat.replace("Shortcut: 1", "Shortcut: 2");
    const struct Case {
        const char* what;
        QByteArray file;
    } cases[] = {
        {"empty", QByteArray()},
        {"truncated", good.left(good.size() - 10)},
        {"a changed byte", flipped},
        {"header only", "Tarnwhistle-Shortcut: 1\nName: x\n"},
        {"another format", newerFormat},
        {"a path for a name", sealed("../evil", script)},
        {"a hidden name", sealed(".hidden", script)},
        {"no name", sealed("", script)},
        {"a control character in the name", sealed("Tarnwhistle\tDND", script)},
        {"a direction override in the name", sealed("Tarnwhistle \u202E"
                                                    "DND",
                                                    script)},
        {"not a script", sealed("Hello", "echo hello\n")},
        {"too large", sealed("Huge", "#!/bin/sh\n" + QByteArray(70 * 1024, '#'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString path = data.filePath(QStringLiteral("damaged.tarnwhistle-shortcut"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.file);
        f.close();
        QString err;
        // A dialog would keep it running past the wait.
        EXPECT_EQ(run({QStringLiteral("import"), path}, &err), 1);
        EXPECT_TRUE(err.contains(QStringLiteral("is not a shortcut Tarnwhistle can add")))
            << err.toStdString();
    }
    QString err;
    EXPECT_EQ(run({QStringLiteral("import"), data.filePath(QStringLiteral("missing"))}, &err), 1);
    EXPECT_EQ(run({QStringLiteral("import")}, &err), 2);
    EXPECT_EQ(QDir(shortcuts).entryList(QDir::Files),
              (QStringList{QStringLiteral("Fails"), QStringLiteral("Say hello")}))
        << "nothing added";
    EXPECT_FALSE(QFile::exists(data.filePath(QStringLiteral("tarnwhistle/evil-ran"))));
}

// The dialog of `import`, answered as a user would: found on the screen by its title, made
// active, and given a key (Alt+A for Add, Escape for Cancel).
class ShortcutImport : public ShortcutsTool {
public:
    QString file = data.filePath(QStringLiteral("On.tarnwhistle-shortcut"));
    QString installed = data.filePath(QStringLiteral("tarnwhistle/shortcuts/Tarnwhistle DND On"));

    void SetUp() override {
        if (!canAnswerQuestions()) {
            GTEST_SKIP() << "needs an X server and xdotool (scripts/with-desktop)";
        }
        ShortcutsTool::SetUp();
        ASSERT_EQ(run({QStringLiteral("sign"), QStringLiteral("--input"), kDefinition,
                       QStringLiteral("--output"), file}),
                  0);
    }

    // Imports the file, answering the question with `key`; the tool's exit status.
    int importAnswering(const QString& key) {
        QProcess p;
        p.setProcessEnvironment(env());
        p.start(kTool, {QStringLiteral("import"), file});
        const bool answered = answerImportQuestion(key);
        EXPECT_TRUE(answered) << "the question was not on the screen";
        if (!p.waitForFinished(15000)) {
            p.kill();
            p.waitForFinished();
            return -1;
        }
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
};

TEST_F(ShortcutImport, AddsTheShortcutOnlyWhenTheUserAgrees) {
    const QString cancel = QStringLiteral("Escape"), add = QStringLiteral("alt+a");
    EXPECT_EQ(importAnswering(cancel), 1);
    EXPECT_FALSE(QFile::exists(installed)) << "nothing written";

    EXPECT_EQ(importAnswering(add), 0);
    EXPECT_EQ(contents(installed), contents(kDefinition));
    EXPECT_EQ(mode(installed), 0700) << "an executable of the user's alone";
    EXPECT_EQ(mode(shortcuts), 0700);

    // Asked again for a shortcut of the same name, which it would replace.
    script(installed, QStringLiteral("#!/bin/sh\nexit 7\n"));
    EXPECT_EQ(importAnswering(cancel), 1);
    EXPECT_EQ(contents(installed), QByteArray("#!/bin/sh\nexit 7\n"));
    EXPECT_EQ(importAnswering(add), 0);
    EXPECT_EQ(contents(installed), contents(kDefinition));
    EXPECT_EQ(mode(installed), 0700);

    // And it is a shortcut like any other: here with no desktop session to switch.
    QProcess p;
    QProcessEnvironment bare = env();
    bare.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                QStringLiteral("unix:path=/nonexistent"));
    p.setProcessEnvironment(bare);
    p.start(kTool, {QStringLiteral("run"), QStringLiteral("Tarnwhistle DND On")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError())
                    .startsWith(QStringLiteral("Tarnwhistle DND On: no notification server runs")));
}

}  // namespace
}  // namespace tw::test
