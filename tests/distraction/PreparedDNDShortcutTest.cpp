// Preparing the shipped shortcuts for import with the real tool and its definitions, and with
// stand-in tools that fail or hang; the time limit runs on the fake clock.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "TestEnvironment.h"
#include "common/TestSupport.h"
#include "distraction/PreparedDNDShortcut.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/QtProcessLauncher.h"

namespace tw::test {
namespace {

const QString kTool = QStringLiteral(TW_BIN_DIR "/tarnwhistle-shortcuts");
const QString kResources = QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle");
const QString kOn = QStringLiteral("Tarnwhistle DND On");
using Code = DNDPrepareError::Code;

class PrepareDNDShortcut : public ::testing::Test {
public:
    QTemporaryDir tools;  // made before the temporary folder moves
    PrivateTemp temp;
    FakeScheduler clock;
    QtProcessLauncher launcher;
    std::optional<PreparedDNDShortcut::Outcome> outcome;

    // A stand-in for the tool: a shell script that logs "started" and then does `body`.
    QString standIn(const QString& name, const QString& body) {
        const QString path = tools.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#!/bin/sh\necho started >> '%1'\n%2\n")
                    .arg(tools.filePath(QStringLiteral("log")), body)
                    .toUtf8());
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    std::unique_ptr<DNDPreparation> prepare(const QString& name, const QString& resources,
                                            const QString& tool) {
        outcome.reset();
        return PreparedDNDShortcut::prepare(
            name, resources, tool, 30, launcher, clock,
            [this](PreparedDNDShortcut::Outcome o) { outcome = std::move(o); });
    }

    bool reported() {
        return waitUntil([this] { return outcome.has_value(); }, 15000);
    }
    bool started() {
        return waitUntil([this] { return QFile::exists(tools.filePath(QStringLiteral("log"))); },
                         15000);
    }
};

TEST_F(PrepareDNDShortcut, SignsTheDefinitionIntoAPrivateFolderThatGoesWithIt) {
    auto preparation = prepare(kOn, kResources, kTool);
    EXPECT_FALSE(outcome) << "reported from the event loop";
    ASSERT_TRUE(reported());
    ASSERT_TRUE(outcome->prepared) << outcome->error->message.toStdString();
    EXPECT_FALSE(outcome->error);

    const QFileInfo file(outcome->prepared->file());
    EXPECT_EQ(file.fileName(), kOn + QStringLiteral(".tarnwhistle-shortcut"));
    EXPECT_EQ(file.absolutePath(), temp.path() + u'/' + temp.folders().value(0));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^Tarnwhistle-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
                    .match(temp.folders().value(0))
                    .hasMatch())
        << temp.folders().value(0).toStdString();
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file.absolutePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << "only this user may enter it";
    QFile sealed(file.filePath());
    ASSERT_TRUE(sealed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(sealed.readAll().startsWith("Tarnwhistle-Shortcut: 1\nName: Tarnwhistle DND On\n"));

    outcome.reset();  // the prepared shortcut goes, and its folder with it
    EXPECT_TRUE(temp.folders().isEmpty());
}

TEST_F(PrepareDNDShortcut, FailuresLeaveNoFolderBehind) {
    struct Case {
        const char* what;
        QString name;
        QString resources;
        QString tool;
        Code code;
    } cases[] = {
        {"no such definition", QStringLiteral("No Such Shortcut"), kResources, kTool,
         Code::missingDefinition},
        {"no resources folder", kOn, QString(), kTool, Code::missingDefinition},
        {"no tool", kOn, kResources, tools.filePath(QStringLiteral("missing")),
         Code::toolNotStarted},
        {"the tool fails", kOn, kResources,
         standIn(QStringLiteral("fails"), QStringLiteral("exit 1")), Code::signFailed},
        {"the tool makes nothing", kOn, kResources,
         standIn(QStringLiteral("silent"), QStringLiteral("exit 0")), Code::signFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto preparation = prepare(c.name, c.resources, c.tool);
        ASSERT_TRUE(reported());
        EXPECT_FALSE(outcome->prepared);
        ASSERT_TRUE(outcome->error);
        EXPECT_EQ(outcome->error->code, c.code);
        EXPECT_EQ(outcome->error->message, DNDPrepareError::withCode(c.code).message);
        EXPECT_EQ(outcome->error->underlying.isEmpty(), c.code != Code::toolNotStarted);
        EXPECT_TRUE(temp.folders().isEmpty());
    }
    EXPECT_EQ(DNDPrepareError::withCode(Code::missingDefinition).message,
              QStringLiteral("The bundled DND shortcut is missing. Reinstall Tarnwhistle."));
}

TEST_F(PrepareDNDShortcut, AFolderThatCannotBeMadeIsTheFileSystemsError) {
    qputenv("TMPDIR", "/dev/null/tmp");
    auto preparation = prepare(kOn, kResources, kTool);
    ASSERT_TRUE(reported());
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, Code::folder);
    EXPECT_EQ(outcome->error->message,
              QStringLiteral("Could not create a temporary folder for the DND shortcut: Not a "
                             "directory."));
}

TEST_F(PrepareDNDShortcut, AToolThatHangsIsStoppedAtTheTimeLimit) {
    // One ends on SIGTERM; the other ignores it and is killed 0.2 s later.
    for (const QString& body :
         {QStringLiteral("exec sleep 600"), QStringLiteral("trap '' TERM; exec sleep 600")}) {
        SCOPED_TRACE(body.toStdString());
        QFile::remove(tools.filePath(QStringLiteral("log")));
        auto preparation = prepare(kOn, kResources, standIn(QStringLiteral("hangs"), body));
        ASSERT_TRUE(started());
        clock.advance(29.9);
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(outcome) << "still within its time";
        clock.advance(0.1);
        if (body.startsWith(u't')) {
            for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            EXPECT_FALSE(outcome) << "deaf to the request until it is killed";
            clock.advance(PreparedDNDShortcut::killGraceSeconds);
        }
        ASSERT_TRUE(reported());
        ASSERT_TRUE(outcome->error);
        EXPECT_EQ(outcome->error->code, Code::timedOut);
        EXPECT_EQ(outcome->error->message,
                  QStringLiteral("DND shortcut setup timed out. Try again when the computer is "
                                 "less busy."));
        EXPECT_TRUE(temp.folders().isEmpty());
    }
}

TEST_F(PrepareDNDShortcut, APreparationLetGoStopsTheToolAndReportsNothing) {
    auto preparation = prepare(kOn, kResources,
                               standIn(QStringLiteral("hangs"), QStringLiteral("exec sleep 600")));
    ASSERT_TRUE(started());
    EXPECT_EQ(temp.folders().size(), 1);
    preparation.reset();
    EXPECT_TRUE(temp.folders().isEmpty());
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    clock.advance(60);
    EXPECT_FALSE(outcome);
}

}  // namespace
}  // namespace tw::test
