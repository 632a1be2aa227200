// The running applications on a real X server with openbox (scripts/with-desktop): windows of the
// stand-in application are matched to desktop entries of a private data folder, followed while a
// watch is held, and iconified through the window manager.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QWidget>

#include <unistd.h>

#include "common/TestSupport.h"
#include "common/X11Probe.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/X11RunningApplications.h"

namespace tw::test {
namespace {

using State = X11Probe::State;

class X11RunningApplicationsTest : public ::testing::Test {
public:
    QTemporaryDir data;
    std::unique_ptr<DesktopEntries> entries;
    std::unique_ptr<X11RunningApplications> apps;
    X11Probe probe;
    QList<RunningApplication> launches;
    QList<RunningApplication> activations;

    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb") || !probe.ok()) {
            GTEST_SKIP() << "needs an X server with a window manager (scripts/with-desktop)";
        }
        const QString folder = data.filePath("applications");
        QDir().mkpath(folder);
        const QByteArray exec = TestWindowsApp::program().toUtf8();
        entry(folder + "/org.example.Gtk.desktop", "Name=Gtk\n");
        entry(folder + "/org.example.Kde.desktop", "Name=Kde\n");
        entry(folder + "/example-startup.desktop", "Name=Startup\nStartupWMClass=ExampleStartup\n");
        entry(folder + "/examplewindows.desktop", "Name=Windows\n");
        entry(folder + "/example-exec.desktop", "Name=Exec\nExec=" + exec + " --windows 1\n");
        entries = std::make_unique<DesktopEntries>(QStringList{folder});
        apps = X11RunningApplications::create(*entries);
        ASSERT_TRUE(apps);
        QObject::connect(apps.get(), &RunningApplications::launched,
                         [this](const RunningApplication& a) { launches << a; });
        QObject::connect(apps.get(), &RunningApplications::activated,
                         [this](const RunningApplication& a) { activations << a; });
    }

    static void entry(const QString& path, const QByteArray& keys) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Desktop Entry]\nType=Application\n" + keys);
    }

    // Starts the stand-in and waits until the window manager manages its shown windows.
    std::unique_ptr<TestWindowsApp> start(const QStringList& args, int windows = 1) {
        auto app = std::make_unique<TestWindowsApp>(args);
        EXPECT_TRUE(app->started());
        EXPECT_TRUE(waitUntil([&] {
            const QList<quint32> w = probe.windowsOf(app->pid());
            return w.size() == windows && probe.allIn(w, State::normal);
        }));
        return app;
    }

    bool launched(qint64 pid) {
        return waitUntil([&] {
            return std::any_of(launches.cbegin(), launches.cend(),
                               [&](const RunningApplication& a) { return a.pid == pid; });
        });
    }
};

TEST_F(X11RunningApplicationsTest, MatchesWindowsToEntriesInOrder) {
    const QString executable = QFileInfo(TestWindowsApp::program()).canonicalFilePath();
    const struct {
        const char* what;
        QStringList args;
        QString id;
    } cases[] = {
        {"application id",
         {"--gtk-id", "org.example.Gtk", "--class", "ExampleStartup"},
         "org.example.Gtk"},
        {"desktop file, past an id not installed",
         {"--gtk-id", "org.example.Missing", "--kde-file", "org.example.Kde", "--class",
          "ExampleStartup"},
         "org.example.Kde"},
        {"StartupWMClass",
         {"--instance", "examplewindows", "--class", "ExampleStartup"},
         "example-startup"},
        {"id equal to the class",
         {"--instance", "other", "--class", "ExampleWindows"},
         "examplewindows"},
        {"executable", {"--instance", "other", "--class", "Other"}, "example-exec"},
    };
    const auto watch = apps->watch();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        launches.clear();
        const auto app = start(c.args);
        ASSERT_TRUE(launched(app->pid()));
        ASSERT_EQ(launches.size(), 1);
        EXPECT_EQ(launches[0].desktopId, c.id);
        EXPECT_EQ(launches[0].executable, executable);
        EXPECT_EQ(apps->running(c.id).size(), 1);
    }
}

TEST_F(X11RunningApplicationsTest, FollowsLaunchesAndActivationsOnlyWhileWatched) {
    EXPECT_EQ(apps->selectedRootEvents(), 0u);
    const auto before = start({"--class", "ExampleWindows"});
    QCoreApplication::processEvents();
    EXPECT_TRUE(launches.isEmpty());

    auto first = apps->watch();
    auto second = apps->watch();
    EXPECT_EQ(apps->selectedRootEvents(), quint32(XCB_EVENT_MASK_PROPERTY_CHANGE));
    first.reset();
    EXPECT_EQ(apps->selectedRootEvents(), quint32(XCB_EVENT_MASK_PROPERTY_CHANGE));

    // One launch for an application with two windows, none for a window it shows later.
    const auto a = start({"--class", "ExampleStartup", "--windows", "2", "--late", "1"}, 2);
    ASSERT_TRUE(launched(a->pid()));
    ASSERT_TRUE(a->showWindows());
    ASSERT_TRUE(waitUntil([&] { return probe.windowsOf(a->pid()).size() == 3; }));
    const auto b = start({"--gtk-id", "org.example.Gtk"});
    ASSERT_TRUE(launched(b->pid()));
    EXPECT_EQ(launches.size(), 2);
    EXPECT_EQ(launches[0].desktopId, QStringLiteral("example-startup"));
    EXPECT_EQ(launches[1].desktopId, QStringLiteral("org.example.Gtk"));
    second.reset();
    EXPECT_EQ(apps->selectedRootEvents(), 0u);

    // Activations: a change of the application in front, not of the window. The watch starts
    // with a known application in front. Only the window in front when the change is read
    // counts, so each step waits for its report.
    const quint32 beforeWindow = probe.windowsOf(before->pid())[0];
    probe.activate(beforeWindow);
    ASSERT_TRUE(waitUntil([&] { return probe.active() == beforeWindow; }));
    auto watch = apps->watch();
    activations.clear();
    const QList<quint32> aWindows = probe.windowsOf(a->pid());
    const quint32 bWindow = probe.windowsOf(b->pid())[0];
    probe.activate(aWindows[0]);
    ASSERT_TRUE(waitUntil([&] { return activations.size() == 1; }));
    probe.activate(aWindows[1]);  // the same application
    ASSERT_TRUE(waitUntil([&] { return probe.active() == aWindows[1]; }));
    probe.activate(bWindow);
    ASSERT_TRUE(waitUntil([&] { return activations.size() >= 2 && probe.active() == bWindow; }));
    ASSERT_EQ(activations.size(), 2);
    EXPECT_EQ(activations[0].pid, a->pid());
    EXPECT_EQ(activations[1].pid, b->pid());
    ASSERT_TRUE(apps->frontmost());
    EXPECT_EQ(apps->frontmost()->pid, b->pid());
    EXPECT_EQ(apps->frontmost()->desktopId, QStringLiteral("org.example.Gtk"));

    // Hidden and brought back (its taskbar entry clicked): the application is activated again
    // (whatever the window manager put in front meanwhile).
    apps->hide(*apps->frontmost());
    ASSERT_TRUE(waitUntil([&] { return probe.state(bWindow) == State::iconic; }));
    const qsizetype hiddenAt = activations.size();
    probe.activate(bWindow);
    EXPECT_TRUE(waitUntil([&] {
        return probe.active() == bWindow && activations.size() > hiddenAt &&
               activations.back().pid == b->pid();
    }));

    // Unwatched again: nothing is reported.
    watch.reset();
    EXPECT_EQ(apps->selectedRootEvents(), 0u);
    launches.clear();
    activations.clear();
    const auto c = start({"--class", "ExampleWindows"});
    probe.activate(aWindows[0]);
    ASSERT_TRUE(waitUntil([&] { return probe.active() == aWindows[0]; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(launches.isEmpty());
    EXPECT_TRUE(activations.isEmpty());
}

TEST_F(X11RunningApplicationsTest, HidesEveryWindowOfOneInstanceAndNeverItsOwn) {
    QWidget own;
    own.resize(200, 100);
    own.show();
    const auto a1 = start({"--class", "ExampleStartup", "--windows", "2"}, 2);
    auto a2 = start({"--class", "ExampleStartup"});
    ASSERT_TRUE(waitUntil([&] { return probe.allIn(probe.windowsOf(::getpid()), State::normal); }));

    const QList<RunningApplication> instances = apps->running("example-startup");
    ASSERT_EQ(instances.size(), 2);
    EXPECT_EQ(instances[0].pid, a1->pid());
    EXPECT_EQ(instances[1].pid, a2->pid());
    EXPECT_FALSE(apps->isHidden(instances[0]));

    // Asked to hide itself, it does nothing; the hide asked next shows the request went by.
    apps->hide(RunningApplication{QString(), QString(), ::getpid(), QString()});
    apps->hide(instances[0]);
    ASSERT_TRUE(waitUntil([&] { return probe.allIn(probe.windowsOf(a1->pid()), State::iconic); }));
    EXPECT_TRUE(apps->isHidden(instances[0]));
    EXPECT_FALSE(apps->isHidden(instances[1]));
    EXPECT_TRUE(probe.allIn(probe.windowsOf(a2->pid()), State::normal));
    EXPECT_TRUE(probe.allIn(probe.windowsOf(::getpid()), State::normal));

    // Hiding one that quit, or asking about it, is harmless.
    const RunningApplication gone = instances[1];
    const qint64 pid = a2->pid();
    a2.reset();
    ASSERT_TRUE(waitUntil([&] { return probe.windowsOf(pid).isEmpty(); }));
    apps->hide(gone);
    EXPECT_TRUE(apps->isHidden(gone));
    EXPECT_EQ(apps->running("example-startup").size(), 1);
}

}  // namespace
}  // namespace tw::test
