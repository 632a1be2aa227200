#include <gtest/gtest.h>

#include "island/IslandFixture.h"

namespace tw::test {
namespace {

using Type = IslandMouseEvent::Type;
using Mode = TimerModel::Mode;

class IslandControllerTest : public IslandFixture {};

TEST_F(IslandControllerTest, LaunchPeekClosesAfterItsTimeAndLeavesNothingRunning) {
    make();
    EXPECT_TRUE(window->visible);
    controller->peek();
    EXPECT_TRUE(island().isExpanded());
    EXPECT_FALSE(window->key);  // the peek never takes the keyboard
    EXPECT_EQ(window->frame_, expandedTarget());

    clock.advance(1.29);
    EXPECT_TRUE(island().isExpanded());
    clock.advance(0.02);
    EXPECT_FALSE(island().isExpanded());
    // The window keeps its size while the content shrinks, then follows.
    EXPECT_EQ(window->frame_, expandedTarget());
    clock.advance(0.5);
    EXPECT_EQ(window->frame_, collapsedTarget());

    // Idle with the pointer away: no pending work, nothing watched, nothing polled.
    settle();
    EXPECT_EQ(clock.pendingCount(), 0);
    EXPECT_EQ(pointer.watchCount(), 0);
    EXPECT_FALSE(pointer.isPolling());
}

TEST_F(IslandControllerTest, HoverDuringPeekKeepsTheIslandOpen) {
    make();
    controller->peek();
    clock.advance(0.5);
    island().hoverChanged(true);
    clock.advance(2);
    EXPECT_TRUE(island().isExpanded());
}

TEST_F(IslandControllerTest, ClicksOutsideCloseAndClicksInsideDoNot) {
    make();
    controller->toggleExpanded();
    ASSERT_TRUE(island().isExpanded());
    EXPECT_TRUE(window->key);

    // Inside the content, and clicks that land on this application's windows, keep it open.
    window->mouse(Type::leftDown, contentCentre());
    pointer.press(PointerEvent::Type::leftDown, contentCentre(), true);
    EXPECT_TRUE(island().isExpanded());

    // The transparent margin closes it.
    const RectF c = content();
    window->mouse(Type::rightDown, {window->frame_.x + c.minX() - 5, window->frame_.y + 5});
    EXPECT_FALSE(island().isExpanded());
    EXPECT_FALSE(window->key);

    // A click in another application closes it; afterwards nothing watches the buttons.
    controller->expand(false);
    pointer.press(PointerEvent::Type::leftDown, {1500, 300});
    EXPECT_FALSE(island().isExpanded());
    EXPECT_EQ(pointer.watchCount(), 0);
}

TEST_F(IslandControllerTest, SwipeThresholdsAndGestures) {
    make();
    const PointF inside = {window->frame_.width / 2, window->frame_.height - 10};
    // Trackpad: 19 points do nothing, 20 open; more of the same gesture does nothing.
    window->scroll(-19, 1.0, true, inside, true);
    EXPECT_FALSE(island().isExpanded());
    window->scroll(-1, 1.01, true, inside);
    EXPECT_TRUE(island().isExpanded());
    const RectF c = content();
    const PointF contentMid{c.midX(), c.midY()};
    window->scroll(+40, 1.02, true, contentMid);
    EXPECT_TRUE(island().isExpanded());
    // The inertial tail never acts, even as a new gesture would.
    window->scroll(+40, 1.03, true, contentMid, false, true);
    EXPECT_TRUE(island().isExpanded());
    // Over the margin of the open island scrolling is ignored.
    window->scroll(+40, 2.0, true, {c.minX() - 4, c.minY() - 4}, true);
    EXPECT_TRUE(island().isExpanded());
    // A new gesture up closes.
    window->scroll(+20, 3.0, true, contentMid, true);
    EXPECT_FALSE(island().isExpanded());

    // Natural scrolling: the same finger movement arrives with the opposite sign.
    window->scroll(+20, 4.0, true, inside, true, false, true);
    EXPECT_TRUE(island().isExpanded());
    controller->collapse();

    // Wheel: parts of a notch 0.6 s apart never add up; closer together they do.
    window->scroll(-0.6, 10.0, false, inside);
    window->scroll(-0.6, 10.6, false, inside);
    EXPECT_FALSE(island().isExpanded());
    window->scroll(-0.6, 10.9, false, inside);
    EXPECT_TRUE(island().isExpanded());
    // A single notch up, after a pause, closes at once.
    window->scroll(+1, 12.0, false, contentMid);
    EXPECT_FALSE(island().isExpanded());

    // A touchpad that reports no gesture phases: a pause ends the gesture, so the next swipe
    // acts again.
    const auto phaseless = [&](double delta, double time, PointF where) {
        IslandScrollEvent e;
        e.locationInWindow = where;
        e.deltaY = delta;
        e.precise = true;
        e.phaseless = true;
        e.timestamp = time;
        window->onScroll(e);
    };
    phaseless(-20, 20.0, inside);
    EXPECT_TRUE(island().isExpanded());
    phaseless(+40, 20.1, contentMid);
    EXPECT_TRUE(island().isExpanded());
    phaseless(+20, 21.0, contentMid);
    EXPECT_FALSE(island().isExpanded());
}

TEST_F(IslandControllerTest, BlockWarningClosesOnlyAnIslandItOpened) {
    make();
    // Outside a running focus phase a warning is not shown.
    controller->showBlockWarning(QStringLiteral("news.example"), 10);
    EXPECT_FALSE(island().blockWarning());

    startFocus();
    controller->showBlockWarning(QStringLiteral("news.example"), 10);
    EXPECT_TRUE(island().isExpanded());
    EXPECT_EQ(island().blockWarning(), QStringLiteral("news.example"));
    controller->showBlockWarning(QStringLiteral("news.example"), 9);
    EXPECT_EQ(island().blockWarningSeconds(), 9);
    controller->showBlockWarning(std::nullopt, 0);
    EXPECT_FALSE(island().blockWarning());
    EXPECT_FALSE(island().isExpanded());

    // Found open: stays open when the countdown ends.
    controller->expand(true);
    controller->showBlockWarning(QStringLiteral("news.example"), 10);
    controller->showBlockWarning(std::nullopt, 0);
    EXPECT_TRUE(island().isExpanded());

    // Opened by the warning but touched meanwhile (hovered): stays open too.
    controller->collapse();
    controller->showBlockWarning(QStringLiteral("video.example"), 10);
    island().hoverChanged(true);
    controller->showBlockWarning(std::nullopt, 0);
    EXPECT_TRUE(island().isExpanded());

    // Pausing the timer clears a warning.
    controller->showBlockWarning(QStringLiteral("video.example"), 5);
    model.toggle();
    EXPECT_FALSE(island().blockWarning());
}

TEST_F(IslandControllerTest, BlockedSiteNoticeKeepsThreeSecondsBetweenPeeks) {
    make();
    startFocus();
    controller->showBlockedSite(QStringLiteral("a.example"));
    EXPECT_TRUE(island().isExpanded());
    EXPECT_EQ(island().blockedSite(), QStringLiteral("a.example"));

    clock.advance(2.9);
    controller->showBlockedSite(QStringLiteral("b.example"));
    EXPECT_EQ(island().blockedSite(), QStringLiteral("a.example"));

    // The notice goes after 3.5 s and the island it opened closes once the removal animated.
    clock.advance(0.6);
    EXPECT_FALSE(island().blockedSite());
    EXPECT_TRUE(island().isExpanded());
    clock.advance(0.28);
    EXPECT_FALSE(island().isExpanded());

    // 3 s after the previous notice the next one shows.
    controller->showBlockedSite(QStringLiteral("c.example"));
    EXPECT_EQ(island().blockedSite(), QStringLiteral("c.example"));

    // A notice over an island the user opened leaves it open.
    clock.advance(5);
    controller->expand(true);
    controller->showBlockedSite(QStringLiteral("d.example"));
    clock.advance(4);
    EXPECT_FALSE(island().blockedSite());
    EXPECT_TRUE(island().isExpanded());
}

TEST_F(IslandControllerTest, HideUntilHoverShowsThePillOnlyUnderThePointer) {
    make();
    settle();
    island().requestToggleHideUntilHover();
    EXPECT_TRUE(island().pillHidden());
    EXPECT_TRUE(window->ignoresMouse);
    EXPECT_EQ(window->alpha_, 0);

    pointer.moveTo(windowCentre());
    EXPECT_FALSE(window->ignoresMouse);
    EXPECT_EQ(window->alpha_, 1);
    pointer.moveTo({100, 100});
    EXPECT_TRUE(window->ignoresMouse);
    EXPECT_EQ(window->alpha_, 0);

    // Open: always visible, and nothing watches the movement.
    controller->expand(false);
    EXPECT_FALSE(island().pillHidden());
    EXPECT_EQ(window->alpha_, 1);
    EXPECT_FALSE(window->ignoresMouse);
    EXPECT_EQ(pointer.watchCount(), 1);  // the click-outside watch only
    controller->collapse();
    EXPECT_EQ(window->alpha_, 0);

    island().requestToggleHideUntilHover();
    EXPECT_EQ(window->alpha_, 1);
    EXPECT_EQ(pointer.watchCount(), 0);
}

TEST_F(IslandControllerTest, CompletionCardTimingAndReplacement) {
    make();
    settle();
    // A card that opened the closed island closes it after its time.
    controller->celebrate(Mode::rest);
    EXPECT_EQ(window->announcements, QStringList{QStringLiteral("Break complete")});
    ASSERT_TRUE(island().celebration());
    EXPECT_TRUE(island().isExpanded());
    EXPECT_DOUBLE_EQ(island().celebration()->displayDuration(), 4);
    clock.advance(4);
    EXPECT_FALSE(island().isExpanded());
    EXPECT_TRUE(island().celebration());  // the closing content still shows it
    clock.advance(0.5);
    EXPECT_FALSE(island().celebration());

    // A second completion replaces the card; the first card's timer does nothing.
    controller->celebrate(Mode::rest);
    const QUuid first = island().celebration()->id;
    clock.advance(2);
    controller->celebrate(Mode::rest);
    const QUuid second = island().celebration()->id;
    EXPECT_NE(first, second);
    clock.advance(2);  // the first card's time
    ASSERT_TRUE(island().celebration());
    EXPECT_EQ(island().celebration()->id, second);
    // The second card found the island open: only the card goes.
    clock.advance(2);
    EXPECT_FALSE(island().celebration());
    EXPECT_TRUE(island().isExpanded());

    // Opening anew drops an old card.
    controller->collapse();
    settle();
    prefs.setCelebrationsEnabled(false);
    controller->celebrate(Mode::focus);
    EXPECT_FALSE(island().celebration());
    EXPECT_FALSE(island().isExpanded());
    EXPECT_EQ(window->announcements.size(), 4);
}

TEST_F(IslandControllerTest, FinishedFocusPhaseShowsTheSummaryCardAndAutoPauseOpens) {
    make();
    startFocus();
    clock.advance(25 * 60);
    ASSERT_TRUE(island().celebration());
    EXPECT_EQ(island().celebration()->mode, Mode::focus);
    EXPECT_TRUE(island().celebration()->summary);
    EXPECT_DOUBLE_EQ(island().celebration()->displayDuration(), 8);
    EXPECT_TRUE(island().isExpanded());
    // "Start break" starts the break that follows.
    island().celebration()->onStartBreak();
    EXPECT_EQ(model.mode(), Mode::rest);
    EXPECT_EQ(model.runState(), TimerModel::RunState::running);

    controller->collapse();
    Q_EMIT model.autoPaused();
    EXPECT_TRUE(island().isExpanded());
    EXPECT_FALSE(window->key);
}

TEST_F(IslandControllerTest, StylesAndTheMenuBarOnlyStyle) {
    make();
    EXPECT_EQ(controller->currentStyle(), IslandStyle::pill);
    EXPECT_TRUE(island().pillDraggable());
    controller->toggleStyle();
    EXPECT_EQ(prefs.islandStyle(), IslandStyle::notch);
    EXPECT_EQ(island().metrics().style, IslandStyle::notch);
    EXPECT_FALSE(island().pillDraggable());

    prefs.setMenuBarIconEnabled(false);
    controller->expand(false);
    controller->setStyle(IslandStyle::menuBarOnly);
    EXPECT_FALSE(window->visible);
    EXPECT_FALSE(island().isExpanded());
    EXPECT_TRUE(prefs.menuBarIconEnabled());
    EXPECT_EQ(controller->currentStyle(), IslandStyle::menuBarOnly);

    controller->toggleStyle();
    EXPECT_EQ(prefs.islandStyle(), IslandStyle::automatic);
    EXPECT_TRUE(window->visible);
    EXPECT_EQ(controller->currentStyle(), IslandStyle::pill);
    settle();
    EXPECT_EQ(window->frame_, collapsedTarget());
}

TEST_F(IslandControllerTest, TrayOnlyWithoutATrayHostKeepsTheIslandOnScreen) {
    // A desktop without a tray host (openbox; GNOME without its tray extension).
    prefs.setIslandStyle(IslandStyle::menuBarOnly);
    trayAvailable = false;
    make();
    EXPECT_TRUE(window->visible);
    EXPECT_FALSE(controller->isPanelHidden());
    EXPECT_EQ(controller->effectiveStyle(), IslandStyle::automatic);
    EXPECT_FALSE(island().trayAvailable());
    // The preference itself stays: it applies once a tray appears.
    EXPECT_EQ(prefs.islandStyle(), IslandStyle::menuBarOnly);
    controller->toggleExpanded();
    EXPECT_TRUE(island().isExpanded());
    controller->collapse();

    // A tray host appears: the style takes effect. It goes away: the island comes back.
    tray->setAvailable(true);
    EXPECT_FALSE(window->visible);
    EXPECT_EQ(controller->currentStyle(), IslandStyle::menuBarOnly);
    tray->setAvailable(false);
    EXPECT_TRUE(window->visible);
    EXPECT_NE(controller->currentStyle(), IslandStyle::menuBarOnly);

    // Choosing the style while there is no tray leaves the island where it is.
    prefs.setIslandStyle(IslandStyle::pill);
    prefs.setIslandStyle(IslandStyle::menuBarOnly);
    EXPECT_TRUE(window->visible);
}

TEST_F(IslandControllerTest, MenuBarOnlyAtLaunchKeepsThePanelHidden) {
    prefs.setIslandStyle(IslandStyle::menuBarOnly);
    prefs.setMenuBarIconEnabled(false);
    make();
    EXPECT_FALSE(window->visible);
    EXPECT_TRUE(controller->isPanelHidden());
    EXPECT_TRUE(prefs.menuBarIconEnabled());
    EXPECT_EQ(controller->currentStyle(), IslandStyle::menuBarOnly);

    // Leaving the style shows the island again, in its place.
    controller->setStyle(IslandStyle::pill);
    EXPECT_TRUE(window->visible);
    EXPECT_FALSE(controller->isPanelHidden());
    settle();
    EXPECT_EQ(window->frame_, collapsedTarget());
}

TEST_F(IslandControllerTest, ReducedMotionIsReadAtEachChange) {
    make();
    controller->expand(false);
    EXPECT_EQ(island().animation(), IslandAnimation::open(false));
    EXPECT_EQ(island().animation().curve, IslandAnimation::Curve::spring);
    motion.reduced = true;
    controller->collapse();
    EXPECT_EQ(island().animation(), IslandAnimation::close(true));
    EXPECT_EQ(island().animation().curve, IslandAnimation::Curve::easeInOut);
    EXPECT_DOUBLE_EQ(island().animation().duration, 0.18);
}

TEST_F(IslandControllerTest, FollowsThePointerToAnotherScreenWhileClosed) {
    screens = {mainScreen(), rightScreen()};
    prefs.setDisplayChoice(AppPreferences::followDisplay());
    make();
    EXPECT_EQ(controller->screen()->name, QStringLiteral("HDMI-1"));
    EXPECT_TRUE(controller->isFollowingPointer());

    pointer.moveTo({2500, 500});
    clock.advance(0.29);
    EXPECT_EQ(controller->screen()->name, QStringLiteral("HDMI-1"));
    clock.advance(0.01);
    EXPECT_EQ(controller->screen()->name, QStringLiteral("DP-2"));
    EXPECT_GE(window->frame_.x, 1920);

    // While open it stays; closing checks again.
    controller->expand(false);
    pointer.moveTo({500, 500});
    clock.advance(1);
    EXPECT_EQ(controller->screen()->name, QStringLiteral("DP-2"));
    controller->collapse();
    clock.advance(0.5);
    clock.advance(0.3);
    EXPECT_EQ(controller->screen()->name, QStringLiteral("HDMI-1"));

    // One screen left: nothing follows the pointer any more.
    screens = {mainScreen()};
    controller->screensChanged();
    EXPECT_FALSE(controller->isFollowingPointer());
}

TEST_F(IslandControllerTest, QuickMenuEntriesFollowTheState) {
    make();
    island().requestQuickMenu();
    QStringList titles;
    for (const auto& item : window->menu) titles << item.title;
    EXPECT_EQ(titles,
              (QStringList{"Start focus", "", "History…", "Settings…", "", "Sit at the top edge",
                           "Lock position", "Hide until hover", "", "Quit Tarnwhistle"}));
    controller->expand(false);
    window->menu[3].action();
    EXPECT_EQ(settingsShown, 1);
    EXPECT_FALSE(island().isExpanded());
    window->menu[0].action();
    EXPECT_EQ(model.runState(), TimerModel::RunState::running);
    island().requestQuickMenu();
    EXPECT_EQ(window->menu[0].title, QStringLiteral("Pause focus"));
}

TEST_F(IslandControllerTest, LateCallsAfterTheControllerIsGoneDoNothing) {
    make();
    controller->peek();
    controller.reset();
    clock.advance(5);
    SUCCEED();
}

}  // namespace
}  // namespace tw::test
