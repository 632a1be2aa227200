// The guided Do Not Disturb set-up with the real tool and definitions; opening a file is the fake
// desktop's, which only records it.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "TestEnvironment.h"
#include "common/TestSupport.h"
#include "distraction/DNDSetup.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeDesktopOpener.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/QtDesktopOpener.h"
#include "platform/linux/QtProcessLauncher.h"
#include "preferences/AppPreferences.h"

namespace tw::test {
namespace {

// Real processes, counted.
class CountingLauncher final : public ProcessLauncher {
public:
    std::unique_ptr<ChildProcess> start(const QString& program,
                                        const QStringList& arguments) override {
        ++started;
        return real.start(program, arguments);
    }
    QtProcessLauncher real;
    int started = 0;
};

class DNDSetupTest : public ::testing::Test {
public:
    PrivateTemp temp;
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeScheduler clock;
    CountingLauncher launcher;
    FakeDesktopOpener opener;
    std::unique_ptr<DNDSetup> setup = make(QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle"));

    std::unique_ptr<DNDSetup> make(const QString& resources) {
        return std::make_unique<DNDSetup>(prefs, launcher, clock, opener, resources,
                                          QStringLiteral(TW_BIN_DIR "/tarnwhistle-shortcuts"));
    }

    bool settled() {
        return waitUntil([this] { return !setup->preparingDND(); }, 15000);
    }
};

TEST_F(DNDSetupTest, OpensOnThenOffThenFillsInTheShortcuts) {
    QSignalSpy preparing(setup.get(), &DNDSetup::preparingDNDChanged);
    for (const QString& name : {DNDSetup::onShortcutName(), DNDSetup::offShortcutName()}) {
        SCOPED_TRACE(name.toStdString());
        const int step = setup->dndSetupStep();
        setup->prepareNextDNDShortcut();
        EXPECT_TRUE(setup->preparingDND());
        ASSERT_TRUE(settled());
        EXPECT_EQ(setup->dndSetupError(), std::nullopt);
        EXPECT_EQ(setup->dndSetupStep(), step + 1);
        ASSERT_EQ(opener.opened.size(), step + 1);
        EXPECT_EQ(QFileInfo(opener.opened.last()).fileName(),
                  name + QStringLiteral(".tarnwhistle-shortcut"));
        EXPECT_TRUE(QFile::exists(opener.opened.last())) << "kept while it is imported";
        ASSERT_EQ(setup->dndImportFiles().size(), size_t(step + 1));
    }
    EXPECT_EQ(preparing.size(), 4);

    setup->prepareNextDNDShortcut();  // both done: nothing more
    EXPECT_FALSE(setup->preparingDND());
    EXPECT_EQ(launcher.started, 2);

    prefs.setFocusShortcutError(QStringLiteral("an earlier failure"));
    setup->useDNDShortcuts();
    EXPECT_EQ(prefs.focusStartShortcut(), QStringLiteral("Tarnwhistle DND On"));
    EXPECT_EQ(prefs.focusEndShortcut(), QStringLiteral("Tarnwhistle DND Off"));
    EXPECT_EQ(defaults.string(QLatin1String(AppPreferences::focusStartShortcutKey)),
              QStringLiteral("Tarnwhistle DND On"));
    EXPECT_EQ(prefs.focusShortcutError(), std::nullopt);
    EXPECT_EQ(setup->dndSetupStep(), 0);
    EXPECT_EQ(setup->dndSetupGeneration(), 1);
    EXPECT_TRUE(setup->dndImportFiles().empty());
    EXPECT_TRUE(temp.folders().isEmpty()) << "the opened files are gone with the set-up";
}

TEST_F(DNDSetupTest, PressingTwiceStartsOnePreparation) {
    setup->prepareNextDNDShortcut();
    setup->prepareNextDNDShortcut();
    ASSERT_TRUE(settled());
    EXPECT_EQ(launcher.started, 1);
    EXPECT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(setup->dndSetupStep(), 1);
}

TEST_F(DNDSetupTest, AResetWhilePreparingDropsWhatItPrepares) {
    setup->prepareNextDNDShortcut();
    ASSERT_TRUE(settled());
    setup->prepareNextDNDShortcut();  // "Tarnwhistle DND Off" under way
    setup->resetDNDSetup();           // the settings window closes
    EXPECT_EQ(setup->dndSetupStep(), 0) << "at once";
    EXPECT_EQ(setup->dndSetupGeneration(), 1);
    EXPECT_TRUE(setup->dndImportFiles().empty());
    EXPECT_TRUE(setup->preparingDND()) << "until the preparation ends";
    ASSERT_TRUE(settled());
    EXPECT_EQ(opener.opened.size(), 1) << "neither opened";
    EXPECT_TRUE(setup->dndImportFiles().empty()) << "nor kept";
    EXPECT_EQ(setup->dndSetupStep(), 0);
    EXPECT_EQ(setup->dndSetupError(), std::nullopt);
    QCoreApplication::processEvents();
    EXPECT_TRUE(temp.folders().isEmpty());
}

TEST_F(DNDSetupTest, FailuresKeepTheStepAndSaySo) {
    // The desktop cannot open the file.
    opener.succeeds = false;
    setup->prepareNextDNDShortcut();
    ASSERT_TRUE(settled());
    EXPECT_EQ(setup->dndSetupError(),
              QStringLiteral("Could not open the shortcuts tool. Check that Tarnwhistle is "
                             "installed, and try again."));
    EXPECT_EQ(setup->dndSetupStep(), 0);
    EXPECT_TRUE(setup->dndImportFiles().empty());
    EXPECT_TRUE(temp.folders().isEmpty());

    // The next press clears the error; a missing definition is the preparation's own sentence.
    opener.succeeds = true;
    setup = make(temp.path());
    setup->prepareNextDNDShortcut();
    EXPECT_EQ(setup->dndSetupError(), std::nullopt);
    ASSERT_TRUE(settled());
    EXPECT_EQ(setup->dndSetupError(),
              QStringLiteral("The bundled DND shortcut is missing. Reinstall Tarnwhistle."));
    EXPECT_EQ(setup->dndSetupStep(), 0);

    setup->resetDNDSetup();
    EXPECT_EQ(setup->dndSetupError(), std::nullopt);
}

TEST_F(DNDSetupTest, ASetUpThatGoesTakesItsFilesAlong) {
    setup->prepareNextDNDShortcut();
    ASSERT_TRUE(settled());
    EXPECT_EQ(temp.folders().size(), 1);
    setup->prepareNextDNDShortcut();  // and one still under way
    setup.reset();
    EXPECT_TRUE(temp.folders().isEmpty());
}

// The whole way a user goes: the prepared file is opened by the desktop, which finds the shortcuts
// tool through the file's type and our desktop entry (both installed into a private data folder,
// indexed as a package install does), and the tool asks before it adds the shortcut.
TEST_F(DNDSetupTest, TheDesktopHandsThePreparedFileToTheShortcutsTool) {
    for (const char* tool : {"gio", "update-mime-database", "update-desktop-database"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty() ||
            !canAnswerQuestions()) {
            GTEST_SKIP() << "needs " << tool << ", an X server and xdotool (scripts/with-desktop)";
        }
    }
    QTemporaryDir data;
    const QString mime = data.filePath(QStringLiteral("mime"));
    const QString applications = data.filePath(QStringLiteral("applications"));
    ASSERT_TRUE(QDir().mkpath(mime + QStringLiteral("/packages")) && QDir().mkpath(applications));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TW_SOURCE_DIR "/data/dev.tarnwhistle.app.mime.xml"),
                            mime + QStringLiteral("/packages/dev.tarnwhistle.app.xml")));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(TW_SOURCE_DIR "/data/dev.tarnwhistle.app.shortcuts.desktop"),
                    applications + QStringLiteral("/dev.tarnwhistle.app.shortcuts.desktop")));
    ASSERT_EQ(QProcess::execute(QStringLiteral("update-mime-database"), {mime}), 0);
    ASSERT_EQ(QProcess::execute(QStringLiteral("update-desktop-database"), {applications}), 0);
    // A desktop whose opener is GIO's, the tool on the PATH as an installed copy is.
    const ScopedVariable home("XDG_DATA_HOME", QFile::encodeName(data.path()));
    const ScopedVariable desktop("XDG_CURRENT_DESKTOP", "GNOME");
    const ScopedVariable path("PATH", TW_BIN_DIR ":" + qgetenv("PATH"));

    QtDesktopOpener desktopOpener;
    setup = std::make_unique<DNDSetup>(prefs, launcher, clock, desktopOpener,
                                       QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle"),
                                       QStringLiteral(TW_BIN_DIR "/tarnwhistle-shortcuts"));
    setup->prepareNextDNDShortcut();
    ASSERT_TRUE(settled());
    EXPECT_EQ(setup->dndSetupError(), std::nullopt);
    EXPECT_EQ(setup->dndSetupStep(), 1);
    ASSERT_TRUE(answerImportQuestion(QStringLiteral("alt+a")));
    const QString added = data.filePath(QStringLiteral("tarnwhistle/shortcuts/Tarnwhistle DND On"));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(added); }, 15000));
    QFile definition(
        QStringLiteral(TW_BIN_DIR "/../share/tarnwhistle/Shortcuts/Tarnwhistle DND On.sh"));
    QFile shortcut(added);
    ASSERT_TRUE(definition.open(QIODevice::ReadOnly) && shortcut.open(QIODevice::ReadOnly));
    EXPECT_EQ(shortcut.readAll(), definition.readAll());
}

}  // namespace
}  // namespace tw::test
