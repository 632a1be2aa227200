#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "distraction/FocusShortcuts.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/QtProcessLauncher.h"
#include "preferences/AppPreferences.h"

namespace tw::test {
namespace {

// A stand-in for the shortcuts tool: `run NAME` logs the name, then succeeds ("ok…"), runs
// twelve seconds ("slow…"), runs ten minutes deaf to SIGTERM ("deaf…") or fails.
constexpr const char* kTool = R"(#!/bin/sh
[ "$1" = run ] || exit 64
printf '%s\n' "$2" >> "$TW_SHORTCUT_LOG"
case "$2" in
  ok*) exit 0 ;;
  slow*) exec sleep 12 ;;
  deaf*) trap '' TERM; exec sleep 600 ;;
  *) exit 3 ;;
esac
)";

class FocusShortcutsTest : public ::testing::Test {
public:
    QTemporaryDir dir;
    QString log;
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeScheduler clock;
    QtProcessLauncher launcher;
    std::unique_ptr<FocusShortcuts> shortcuts;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const QString tool = dir.filePath(QStringLiteral("shortcuts"));
        QFile f(tool);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(kTool);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        log = dir.filePath(QStringLiteral("log"));
        qputenv("TW_SHORTCUT_LOG", log.toLocal8Bit());
        shortcuts = std::make_unique<FocusShortcuts>(prefs, launcher, clock, tool);
    }

    // The event loop runs until the queue is empty (the children are real processes); the
    // time limit is the fake clock's, moved only by the tests.
    bool settle() {
        const bool empty = waitUntil([this] { return shortcuts->pending() == 0; }, 15000);
        QCoreApplication::processEvents();
        return empty;
    }

    // Runs the event loop until the child has logged its name, so it is under way.
    bool started(int runs) {
        return waitUntil([this, runs] { return logged().size() >= runs; }, 15000);
    }

    QStringList logged() const {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }
};

TEST_F(FocusShortcutsTest, RunsTheTrimmedNameAndClearsTheLastError) {
    prefs.setFocusShortcutError(QStringLiteral("an earlier failure"));
    prefs.setFocusStartShortcut(QStringLiteral("  ok start \n"));
    shortcuts->run(true);
    EXPECT_EQ(prefs.focusShortcutError(), std::nullopt) << "cleared as the run is asked";
    ASSERT_TRUE(settle());
    EXPECT_EQ(logged(), QStringList{QStringLiteral("ok start")});
    EXPECT_EQ(prefs.focusShortcutError(), std::nullopt);
}

TEST_F(FocusShortcutsTest, BlankNamesRunNothingAndLeaveTheError) {
    prefs.setFocusShortcutError(QStringLiteral("an earlier failure"));
    prefs.setFocusStartShortcut(QStringLiteral("   "));
    prefs.setFocusEndShortcut(QString());
    shortcuts->run(true);
    shortcuts->run(false);
    EXPECT_EQ(shortcuts->pending(), 0);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(logged().isEmpty());
    EXPECT_EQ(prefs.focusShortcutError(), QStringLiteral("an earlier failure"));
}

TEST_F(FocusShortcutsTest, FailuresBecomeOneSentence) {
    struct Case {
        QString name;
        QString tool;  // empty: the stand-in
        QString error;
    } cases[] = {
        {QStringLiteral("No Such Shortcut"),
         {},
         QStringLiteral("Could not run Shortcut \u2018No Such Shortcut\u2019. Check its name and "
                        "run it with tarnwhistle-shortcuts first.")},
        {QStringLiteral("ok"), dir.filePath(QStringLiteral("missing-tool")),
         QStringLiteral("Could not start Shortcut \u2018ok\u2019: ")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        if (!c.tool.isEmpty()) {
            shortcuts = std::make_unique<FocusShortcuts>(prefs, launcher, clock, c.tool);
        }
        prefs.setFocusEndShortcut(c.name);
        shortcuts->run(false);
        ASSERT_TRUE(settle());
        ASSERT_TRUE(prefs.focusShortcutError().has_value());
        EXPECT_TRUE(prefs.focusShortcutError()->startsWith(c.error))
            << prefs.focusShortcutError()->toStdString();
    }
}

TEST_F(FocusShortcutsTest, AShortcutPastTenSecondsIsStopped) {
    // "slow" ends on SIGTERM; "deaf" ignores it and is killed 0.2 s later.
    for (const QString& name : {QStringLiteral("slow one"), QStringLiteral("deaf one")}) {
        SCOPED_TRACE(name.toStdString());
        const auto before = logged().size();
        prefs.setFocusStartShortcut(name);
        shortcuts->run(true);
        ASSERT_TRUE(started(int(before) + 1));
        clock.advance(9.9);
        QCoreApplication::processEvents();
        EXPECT_EQ(shortcuts->pending(), 1) << "still within its ten seconds";
        clock.advance(0.1);
        if (name.startsWith(u'd')) {
            // Deaf to the request: still running until the grace period is over.
            for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            EXPECT_EQ(shortcuts->pending(), 1);
            clock.advance(0.2);
        }
        ASSERT_TRUE(settle());
        EXPECT_EQ(prefs.focusShortcutError(), QStringLiteral("The Shortcut \u2018") + name +
                                                  QStringLiteral("\u2019 took too long. It was "
                                                                 "stopped."));
    }
}

TEST_F(FocusShortcutsTest, RunsInStrictOrderAndTheCompletionWaitsForThem) {
    prefs.setFocusStartShortcut(QStringLiteral("ok resume"));
    prefs.setFocusEndShortcut(QStringLiteral("slow pause"));
    QStringList order;
    shortcuts->run(false);  // twelve seconds unless stopped
    shortcuts->run(true);
    shortcuts->whenDone([&] { order << QStringLiteral("done"); });
    EXPECT_EQ(shortcuts->pending(), 3);
    ASSERT_TRUE(started(1));
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(logged(), QStringList{QStringLiteral("slow pause")}) << "one at a time";
    EXPECT_TRUE(order.isEmpty());
    clock.advance(FocusShortcuts::timeLimitSeconds);
    ASSERT_TRUE(settle());
    QCoreApplication::processEvents();  // the completion arrives from the event loop
    EXPECT_EQ(logged(), (QStringList{QStringLiteral("slow pause"), QStringLiteral("ok resume")}));
    EXPECT_EQ(order, QStringList{QStringLiteral("done")});
    // The stopped run's sentence stays: a success clears nothing, only a new run that is asked.
    EXPECT_EQ(prefs.focusShortcutError(),
              QStringLiteral("The Shortcut \u2018slow pause\u2019 took too long. It was stopped."));
}

}  // namespace
}  // namespace tw::test
