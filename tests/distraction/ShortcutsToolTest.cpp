#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace tw::test {
namespace {

const QString kTool = QStringLiteral(TW_BIN_DIR "/tarnwhistle-shortcuts");

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

    int run(const QStringList& args, QString* err = nullptr) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        p.setProcessEnvironment(env);
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

}  // namespace
}  // namespace tw::test
