// The app hider over fake running applications and a fake clock, with a real timer model.
#include <gtest/gtest.h>

#include <memory>

#include "common/TestSupport.h"
#include "distraction/AppHider.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeRunningApplications.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

constexpr qint64 kOwnPid = 4242;

RunningApplication application(const char* id, qint64 pid) {
    return RunningApplication{QString::fromLatin1(id), QString(), pid, QString()};
}

class AppHiderTest : public ::testing::Test {
public:
    FakeScheduler clock;
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    FakeSound::Log chime;
    TimerModel model{prefs, defaults, clock, std::make_unique<FakeSound>(&chime)};
    FakeRunningApplications apps;
    std::unique_ptr<AppHider> hider =
        std::make_unique<AppHider>(prefs, model, apps, clock, "dev.tarnwhistle.app", kOwnPid);

    const RunningApplication editor1 = application("org.example.Editor", 101);
    const RunningApplication editor2 = application("org.example.Editor", 102);
    const RunningApplication chat = application("org.example.Chat", 201);
    const RunningApplication other = application("org.example.Other", 301);

    void SetUp() override {
        prefs.addHiddenApp("org.example.Editor", "Editor");
        prefs.addHiddenApp("org.example.Chat", "Chat");
        prefs.addHiddenApp("org.example.NotRunning", "Not running");
    }

    void startFocus() {
        ASSERT_EQ(model.mode(), TimerModel::Mode::focus);
        model.toggle();
        ASSERT_TRUE(hider->isFocusRunning());
    }
};

TEST_F(AppHiderTest, FocusStartHidesEveryRunningInstanceOfListedApplications) {
    apps.add(editor1);
    apps.add(editor2, /*hidden=*/true);
    apps.add(other);
    hider->start();
    EXPECT_TRUE(apps.hideRequests.isEmpty()) << "idle: nothing hides";
    EXPECT_FALSE(hider->isWatching());

    startFocus();
    // The instance already hidden is left alone; unlisted and absent ones are skipped.
    EXPECT_EQ(apps.hideRequests, QList<RunningApplication>{editor1});
    EXPECT_TRUE(apps.hidden(editor2));
    EXPECT_FALSE(apps.hidden(other));
    EXPECT_TRUE(hider->isWatching());

    // An application added to the list during focus hides at once.
    prefs.addHiddenApp("org.example.Other", "Other");
    EXPECT_TRUE(apps.hidden(other));
}

TEST_F(AppHiderTest, OnlyARunningFocusPhaseHidesOrWatches) {
    apps.add(chat);
    hider->start();
    const struct {
        const char* what;
        std::function<void()> step;
        bool running;
    } steps[] = {
        {"focus runs", [&] { model.toggle(); }, true},
        {"focus paused", [&] { model.toggle(); }, false},
        {"focus resumed", [&] { model.toggle(); }, true},
        {"focus ended: an idle break", [&] { model.skip(); }, false},
        {"the break runs", [&] { model.toggle(); }, false},
        {"the break ends: idle focus", [&] { model.skip(); }, false},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.step();
        EXPECT_EQ(hider->isFocusRunning(), s.running);
        EXPECT_EQ(apps.watchCount(), s.running ? 1 : 0);
        // What comes while focus does not run is not hidden, even when another part of the
        // program watches and the events arrive.
        std::unique_ptr<ApplicationWatch> elsewhere = apps.watch();
        apps.quit(editor1);
        apps.hideRequests.clear();
        apps.launch(editor1);
        apps.activate(chat);
        clock.advance(AppHider::secondAttemptSeconds);
        EXPECT_EQ(apps.hidden(editor1), s.running);
        EXPECT_EQ(apps.hidden(chat), s.running);
        EXPECT_EQ(hider->shouldHide("org.example.Editor"), s.running);
    }
}

TEST_F(AppHiderTest, ResumingHidesWhatWasShownDuringThePause) {
    hider->start();
    startFocus();
    model.toggle();  // paused
    apps.launch(editor1);
    apps.activate(chat);
    EXPECT_TRUE(apps.hideRequests.isEmpty());
    model.toggle();  // resumed
    EXPECT_TRUE(apps.hidden(editor1));
    EXPECT_TRUE(apps.hidden(chat));
}

TEST_F(AppHiderTest, ALaunchHidesAtOnceAndAgainALittleLater) {
    hider->start();
    startFocus();
    apps.launch(editor1);
    EXPECT_EQ(apps.hideRequests.size(), 1);
    // Its main window comes late, and shows.
    apps.unhide(editor1);
    clock.advance(AppHider::secondAttemptSeconds - 0.01);
    EXPECT_FALSE(apps.hidden(editor1));
    clock.advance(0.01);
    EXPECT_TRUE(apps.hidden(editor1));
    EXPECT_EQ(apps.hideRequests.size(), 2);

    // Hidden already when the second attempt comes: nothing is asked.
    apps.launch(editor2);
    clock.advance(AppHider::secondAttemptSeconds);
    EXPECT_EQ(apps.hideRequests.size(), 3);
}

TEST_F(AppHiderTest, TheSecondAttemptAsksEverythingAgain) {
    const struct {
        const char* what;
        std::function<void()> meanwhile;
    } cases[] = {
        {"focus paused", [&] { model.toggle(); }},
        {"the application taken off the list",
         [&] { prefs.removeHiddenApp("org.example.Editor"); }},
        {"the application quit", [&] { apps.quit(editor1); }},
        {"the hider gone", [&] { hider.reset(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        model.resetSession();
        prefs.addHiddenApp("org.example.Editor", "Editor");
        apps.quit(editor1);
        hider =
            std::make_unique<AppHider>(prefs, model, apps, clock, "dev.tarnwhistle.app", kOwnPid);
        hider->start();
        startFocus();
        apps.launch(editor1);
        apps.unhide(editor1);
        apps.hideRequests.clear();
        c.meanwhile();
        clock.advance(AppHider::secondAttemptSeconds);
        EXPECT_TRUE(apps.hideRequests.isEmpty());
    }
}

TEST_F(AppHiderTest, BroughtToTheFrontDuringFocusItHidesAgainAtOnce) {
    apps.add(chat);
    apps.add(other);
    hider->start();
    startFocus();
    ASSERT_TRUE(apps.hidden(chat));
    apps.activate(chat);  // its taskbar entry clicked
    EXPECT_TRUE(apps.hidden(chat));
    EXPECT_EQ(apps.hideRequests.size(), 2);
    apps.activate(other);
    EXPECT_FALSE(apps.hidden(other));
}

TEST_F(AppHiderTest, NeverHidesItself) {
    // On the list "somehow", under its own id or under another id its windows matched.
    prefs.addHiddenApp("dev.tarnwhistle.app", "Tarnwhistle");
    const RunningApplication byId = application("dev.tarnwhistle.app", 7);
    const RunningApplication byPid = application("org.example.Chat", kOwnPid);
    const RunningApplication unknown = application("", 8);
    apps.add(byId);
    apps.add(byPid);
    apps.add(unknown);
    hider->start();
    startFocus();
    apps.launch(byId);
    apps.activate(byPid);
    apps.activate(unknown);
    clock.advance(AppHider::secondAttemptSeconds);
    EXPECT_TRUE(apps.hideRequests.isEmpty());
    EXPECT_FALSE(hider->shouldHide("dev.tarnwhistle.app"));
    EXPECT_FALSE(hider->shouldHide(""));
}

TEST_F(AppHiderTest, NothingIsShownAgainWhenFocusEnds) {
    apps.add(editor1);
    hider->start();
    startFocus();
    ASSERT_TRUE(apps.hidden(editor1));
    model.skip();
    model.resetSession();
    EXPECT_TRUE(apps.hidden(editor1));
    EXPECT_EQ(apps.running("org.example.Editor"), QList<RunningApplication>{editor1});
    EXPECT_EQ(apps.watchCount(), 0);
}

}  // namespace
}  // namespace tw::test
