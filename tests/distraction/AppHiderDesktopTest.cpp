// The app hider on a real desktop (scripts/with-desktop: Xvfb and openbox): a listed stand-in
// application with its own desktop entry in a private data folder, this test program with an
// entry under Tarnwhistle's own id, the X11 running applications, a real timer model and a fake
// clock for the second attempt after a launch.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <unistd.h>

#include "common/TestSupport.h"
#include "common/X11Probe.h"
#include "distraction/AppHider.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/X11RunningApplications.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

using State = X11Probe::State;

const QStringList kListed = {"--class", "ExampleWindows"};

class AppHiderDesktopTest : public ::testing::Test {
public:
    QTemporaryDir data;
    X11Probe probe;
    FakeScheduler clock;
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeSound::Log chime;
    TimerModel model{prefs, defaults, clock, std::make_unique<FakeSound>(&chime)};
    std::unique_ptr<DesktopEntries> entries;
    std::unique_ptr<X11RunningApplications> apps;
    std::unique_ptr<AppHider> hider;
    QWidget own;

    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || !probe.ok()) {
            GTEST_SKIP() << "needs an X server with a window manager (scripts/with-desktop)";
        }
        const QString folder = data.filePath("applications");
        QDir().mkpath(folder);
        entry(folder + "/org.example.Windows.desktop",
              "Name=Windows\nStartupWMClass=ExampleWindows\nExec=" +
                  TestWindowsApp::program().toUtf8() + "\n");
        // This program stands for Tarnwhistle: its windows match Tarnwhistle's own id.
        entry(folder + "/dev.tarnwhistle.app.desktop",
              "Name=Tarnwhistle\nExec=" + QCoreApplication::applicationFilePath().toUtf8() + "\n");
        entries = std::make_unique<DesktopEntries>(QStringList{folder});
        apps = X11RunningApplications::create(*entries);
        ASSERT_TRUE(apps);
        hider = std::make_unique<AppHider>(prefs, model, *apps, clock, "dev.tarnwhistle.app",
                                           ::getpid());
        // Tarnwhistle "somehow" on its own list.
        prefs.addHiddenApp("dev.tarnwhistle.app", "Tarnwhistle");
        prefs.addHiddenApp("org.example.Windows", "Windows");
        own.resize(240, 120);
        own.show();
        ASSERT_TRUE(waitUntil([&] { return probe.allIn(ownWindows(), State::normal); }));
        ASSERT_EQ(apps->running("dev.tarnwhistle.app").size(), 1);
    }

    static void entry(const QString& path, const QByteArray& keys) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\n" + keys);
    }

    QList<quint32> ownWindows() { return probe.windowsOf(::getpid()); }

    std::unique_ptr<TestWindowsApp> start(const QStringList& args, int windows = 1) {
        auto app = std::make_unique<TestWindowsApp>(kListed + args);
        EXPECT_TRUE(app->started());
        EXPECT_TRUE(waitUntil([&] { return probe.windowsOf(app->pid()).size() == windows; }));
        return app;
    }
    bool becomes(const TestWindowsApp& app, State state) {
        return waitUntil([&] { return probe.allIn(probe.windowsOf(app.pid()), state); });
    }
};

TEST_F(AppHiderDesktopTest, HidesTheListedApplicationWhileFocusRunsAndNeverItself) {
    const auto before = start({"--windows", "2"}, 2);
    ASSERT_TRUE(becomes(*before, State::normal));
    hider->start();
    EXPECT_EQ(apps->watchCount(), 0) << "nothing is watched while focus does not run";

    // Focus starts: both windows of the running application iconify.
    model.toggle();
    ASSERT_TRUE(becomes(*before, State::iconic));
    EXPECT_EQ(apps->watchCount(), 1);

    // Launched during focus: hidden at once. Its main window comes a moment later (without
    // the focus, so nothing activates it) and shows, until the second attempt.
    const auto launched = start({"--late", "1", "--no-focus", "1"});
    ASSERT_TRUE(becomes(*launched, State::iconic));
    ASSERT_TRUE(launched->showWindows());
    ASSERT_TRUE(waitUntil([&] { return probe.windowsOf(launched->pid()).size() == 2; }));
    const quint32 late = probe.windowsOf(launched->pid())[1];
    ASSERT_TRUE(waitUntil([&] { return probe.state(late) == State::normal; }));
    clock.advance(AppHider::secondAttemptSeconds);
    ASSERT_TRUE(becomes(*launched, State::iconic));

    // Brought back from the taskbar during focus: hidden again at once (before the test hears
    // of the activation, which it hears after the hider).
    bool broughtBack = false;
    const auto connection = QObject::connect(
        apps.get(), &RunningApplications::activated,
        [&](const RunningApplication& a) { broughtBack = broughtBack || a.pid == before->pid(); });
    const quint32 first = probe.windowsOf(before->pid())[0];
    probe.activate(first);
    ASSERT_TRUE(waitUntil([&] { return broughtBack; }));
    QObject::disconnect(connection);
    ASSERT_TRUE(becomes(*before, State::iconic));

    // Paused: nothing is watched, and what comes up stays up.
    model.toggle();
    EXPECT_EQ(apps->watchCount(), 0);
    const auto duringPause = start({});
    ASSERT_TRUE(becomes(*duringPause, State::normal));
    probe.activate(first);
    ASSERT_TRUE(waitUntil([&] { return probe.active() == first; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(becomes(*duringPause, State::normal));
    EXPECT_EQ(probe.state(first), State::normal);

    // Resumed: everything listed that shows is hidden again.
    model.toggle();
    EXPECT_TRUE(becomes(*duringPause, State::iconic));
    EXPECT_TRUE(becomes(*before, State::iconic));

    // Focus ends: nothing shows again, nothing quits; and this program was never hidden.
    model.skip();
    EXPECT_EQ(apps->watchCount(), 0);
    EXPECT_TRUE(probe.allIn(probe.windowsOf(before->pid()), State::iconic));
    EXPECT_TRUE(before->running() && launched->running() && duringPause->running());
    EXPECT_TRUE(probe.allIn(ownWindows(), State::normal));
}

}  // namespace
}  // namespace tw::test
