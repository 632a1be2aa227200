// The pill drag, driven through the controller's window as the desktop delivers the events.
#include <gtest/gtest.h>

#include "island/IslandFixture.h"

namespace tw::test {
namespace {

using Type = IslandMouseEvent::Type;

class PillDragTest : public IslandFixture {};

TEST_F(PillDragTest, ClosedPillDragNeedsThreePointsOrTheHold) {
    make();
    settle();
    const RectF start = window->frame_;
    const PointF p = windowCentre();
    EXPECT_FALSE(window->mouse(Type::leftDown, p));
    EXPECT_FALSE(window->mouse(Type::leftDragged, {p.x + 2, p.y}));
    EXPECT_EQ(window->frame_, start);
    EXPECT_TRUE(window->mouse(Type::leftDragged, {p.x + 100, p.y - 200}));
    EXPECT_TRUE(island().isDragging());
    EXPECT_EQ(window->cursorDepth, 1);
    EXPECT_DOUBLE_EQ(window->frame_.x, start.x + 100);
    EXPECT_DOUBLE_EQ(window->frame_.y, start.y - 200);
    // Frame updates wait while the pill moves.
    island().setHovering(true);
    EXPECT_DOUBLE_EQ(window->frame_.x, start.x + 100);
    EXPECT_TRUE(window->mouse(Type::leftUp, {p.x + 100, p.y - 200}));
    EXPECT_FALSE(island().isDragging());
    EXPECT_EQ(window->cursorDepth, 0);
}

TEST_F(PillDragTest, OpenPillTimerAreaMovesOnlyAfterTheHold) {
    make();
    controller->expand(false);
    const RectF panel = window->frame_;
    const SizeF c = contentSize(island().metrics(), island().contentFlags());
    // A point inside the countdown area: 13 points in from the content's left edge, 20 below
    // the panel's top.
    const PointF timer{panel.x + (panel.width - c.width) / 2 + 40, panel.maxY() - 40};

    window->mouse(Type::leftDown, timer);
    EXPECT_FALSE(window->mouse(Type::leftDragged, {timer.x + 50, timer.y}));
    EXPECT_EQ(window->frame_, panel);
    window->mouse(Type::leftUp, {timer.x + 50, timer.y});

    window->mouse(Type::leftDown, timer);
    clock.advance(0.22);
    EXPECT_EQ(window->cursorDepth, 1);
    EXPECT_TRUE(window->mouse(Type::leftDragged, {timer.x + 50, timer.y}));
    EXPECT_DOUBLE_EQ(window->frame_.x, panel.x + 50);
    window->mouse(Type::leftUp, {timer.x + 50, timer.y});
    EXPECT_EQ(window->cursorDepth, 0);
}

TEST_F(PillDragTest, DroppedPillSnapsToTheEdgeAndIsStoredForItsDisplay) {
    make();
    settle();
    const RectF start = window->frame_;
    const PointF p = windowCentre();
    // Drop with the centre 60 points from the left screen edge, 300 points lower.
    const PointF drop{60 + (p.x - start.midX()), p.y - 300};
    window->mouse(Type::leftDown, p);
    window->mouse(Type::leftDragged, drop);
    window->mouse(Type::leftUp, drop);

    EXPECT_TRUE(prefs.pillPositions().contains(QStringLiteral("HDMI-1")));
    EXPECT_DOUBLE_EQ(window->frame_.midX(), snapPillCenter(60, start.width, 1920));
    EXPECT_DOUBLE_EQ(window->frame_.maxY(), start.maxY() - 300);
    EXPECT_EQ(window->frame_, collapsedTarget());
    EXPECT_EQ(prefs.islandStyle(), IslandStyle::automatic);
}

TEST_F(PillDragTest, PillDroppedAtTheTopAttachesAsTheNotchStyle) {
    make();
    settle();
    const PointF p = windowCentre();
    window->mouse(Type::leftDown, p);
    window->mouse(Type::leftDragged, {p.x + 20, p.y - 40});
    EXPECT_FALSE(island().notchPreviewMetrics());
    // Near the top centre: the pill jumps into the top strip and shows the notch look.
    const PointF top{960 + 30, 1080 - 10};
    window->mouse(Type::leftDragged, top);
    ASSERT_TRUE(island().notchPreviewMetrics());
    EXPECT_EQ(island().notchPreviewMetrics()->style, IslandStyle::notch);
    EXPECT_EQ(window->frame_, notchAttachFrame(mainScreen(), false));
    window->mouse(Type::leftUp, top);

    EXPECT_EQ(prefs.islandStyle(), IslandStyle::notch);
    EXPECT_EQ(island().metrics().style, IslandStyle::notch);
    EXPECT_FALSE(island().notchPreviewMetrics());
    EXPECT_FALSE(island().pillDraggable());
    EXPECT_TRUE(prefs.pillPositions().isEmpty());
}

TEST_F(PillDragTest, LockedPillNeverMovesAndLockingEndsADrag) {
    make();
    settle();
    const RectF start = window->frame_;
    const PointF p = windowCentre();
    window->mouse(Type::leftDown, p);
    window->mouse(Type::leftDragged, {p.x + 100, p.y});
    ASSERT_TRUE(island().isDragging());
    island().requestToggleLock();
    EXPECT_TRUE(prefs.pillLocked());
    EXPECT_TRUE(island().pillLocked());
    EXPECT_FALSE(island().isDragging());
    EXPECT_EQ(window->cursorDepth, 0);
    clock.advance(1);
    EXPECT_EQ(window->frame_, start);

    EXPECT_FALSE(window->mouse(Type::leftDown, p));
    EXPECT_FALSE(window->mouse(Type::leftDragged, {p.x + 100, p.y}));
    EXPECT_FALSE(window->mouse(Type::leftUp, {p.x + 100, p.y}));
    clock.advance(1);
    EXPECT_EQ(window->frame_, start);
    EXPECT_TRUE(prefs.pillPositions().isEmpty());
}

}  // namespace
}  // namespace tw::test
