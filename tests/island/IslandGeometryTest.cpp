// The island's geometry as pure functions: no window system involved.
#include <gtest/gtest.h>

#include <QList>
#include <cmath>
#include <limits>
#include <ostream>

#include "island/IslandGeometry.h"
#include "preferences/AppPreferences.h"

using namespace tw;

namespace tw {
static void PrintTo(const SizeF& s, std::ostream* os) {
    *os << "SizeF{" << s.width << " x " << s.height << "}";
}
static void PrintTo(const RectF& r, std::ostream* os) {
    *os << "RectF{x " << r.x << ", y " << r.y << ", " << r.width << " x " << r.height << "}";
}
static void PrintTo(const IslandMetrics& m, std::ostream* os) {
    *os << "IslandMetrics{notch " << m.notchWidth << " x " << m.notchHeight << ", hasNotch "
        << m.hasNotch << ", offset " << m.centerOffset << ", style "
        << rawValue(m.style).toStdString() << ", menuBar " << m.menuBarDepth << "}";
}
static void PrintTo(const DisplayInfo& d, std::ostream* os) {
    *os << d.id.toStdString();
}
}  // namespace tw
static void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

// A laptop screen with a 185 × 32 camera housing, 3.5 points left of centre, a 37-point menu bar
// and a Retina backing.
ScreenDescription notchedScreen() {
    ScreenDescription s;
    s.frame = {0, 0, 1512, 982};
    s.visibleFrame = {0, 0, 1512, 945};
    s.safeAreaTop = 32;
    s.auxiliaryTopLeftArea = RectF{0, 950, 660, 32};
    s.auxiliaryTopRightArea = RectF{845, 950, 667, 32};
    s.name = QStringLiteral("Built-in Display");
    s.backingScale = 2;
    return s;
}

// A plain screen without a notch; the menu bar (top panel) is `menuBar` points deep.
ScreenDescription plainScreen(double menuBar = 25, RectF frame = {0, 0, 1440, 900}) {
    ScreenDescription s;
    s.frame = frame;
    s.visibleFrame = {frame.x, frame.y, frame.width, frame.height - menuBar};
    s.name = QStringLiteral("HDMI-1");
    s.backingScale = 1;
    return s;
}

IslandMetrics metrics(double w, double h, bool notch, double offset, IslandStyle style,
                      double menuBar) {
    return {w, h, notch, offset, style, menuBar};
}

// ---- Measuring a screen ----

struct MetricsCase {
    const char* what;
    ScreenDescription screen;
    IslandStyle requested;
    IslandMetrics want;
};

TEST(IslandMetrics, MeasuresScreensAndResolvesTheStyle) {
    using S = IslandStyle;
    ScreenDescription oneAuxMissing = notchedScreen();
    oneAuxMissing.auxiliaryTopRightArea.reset();
    ScreenDescription noRoom = notchedScreen();
    noRoom.auxiliaryTopRightArea->width = 852;  // 660 + 852 = 1512: nothing left in between
    ScreenDescription noSafeArea = notchedScreen();
    noSafeArea.safeAreaTop = 0;
    ScreenDescription nanSafeArea = notchedScreen();
    nanSafeArea.safeAreaTop = nan;

    const MetricsCase cases[] = {
        {"notch, automatic", notchedScreen(), S::automatic,
         metrics(185, 32, true, -3.5, S::notch, 37)},
        {"notch, notch", notchedScreen(), S::notch, metrics(185, 32, true, -3.5, S::notch, 37)},
        {"notch, pill: centred, real notch width", notchedScreen(), S::pill,
         metrics(185, 32, true, 0, S::pill, 37)},
        {"notch, menu bar only", notchedScreen(), S::menuBarOnly,
         metrics(185, 32, true, -3.5, S::menuBarOnly, 37)},
        {"one auxiliary area missing", oneAuxMissing, S::automatic,
         metrics(0, 32, false, 0, S::pill, 37)},
        {"auxiliary areas leave no room", noRoom, S::automatic,
         metrics(0, 32, false, 0, S::pill, 37)},
        {"no safe area", noSafeArea, S::automatic, metrics(0, 32, false, 0, S::pill, 37)},
        {"safe area not a number", nanSafeArea, S::automatic,
         metrics(0, 32, false, 0, S::pill, 37)},
        {"menu bar 0", plainScreen(0), S::automatic, metrics(0, 24, false, 0, S::pill, 0)},
        {"menu bar 20", plainScreen(20), S::automatic, metrics(0, 24, false, 0, S::pill, 20)},
        {"menu bar 28", plainScreen(28), S::automatic, metrics(0, 28, false, 0, S::pill, 28)},
        {"menu bar 40", plainScreen(40), S::automatic, metrics(0, 32, false, 0, S::pill, 40)},
        {"notch requested without one", plainScreen(28), S::notch,
         metrics(0, 28, false, 0, S::notch, 28)},
        {"zero-size screen", ScreenDescription{}, S::automatic,
         metrics(0, 24, false, 0, S::pill, 0)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(islandMetrics(c.screen, c.requested), c.want) << c.what;
    }
    EXPECT_EQ(islandMetricsWithoutScreen(S::automatic), metrics(0, 24, false, 0, S::pill, 0));
    EXPECT_EQ(islandMetricsWithoutScreen(S::notch), metrics(0, 24, false, 0, S::notch, 0));
}

TEST(IslandMetrics, NonFiniteMenuBarDepthCountsAsNone) {
    ScreenDescription s = plainScreen(0);
    s.visibleFrame.height = nan;
    EXPECT_EQ(islandMetrics(s, IslandStyle::automatic),
              metrics(0, 24, false, 0, IslandStyle::pill, 0));
}

// ---- Sizes ----

struct SizeCase {
    const char* what;
    SizeF got;
    SizeF want;
};

TEST(IslandSizes, WorkedSizes) {
    const IslandMetrics notch = metrics(185, 32, true, 0, IslandStyle::notch, 37);
    const IslandMetrics pill = metrics(0, 24, false, 0, IslandStyle::pill, 25);
    const IslandMetrics pillOnNotch = metrics(185, 32, true, 0, IslandStyle::pill, 37);
    const IslandMetrics notchless = metrics(0, 24, false, 0, IslandStyle::notch, 0);
    const ExpandedContentFlags plain;
    const ExpandedContentFlags card{.hasCelebration = true};
    const ExpandedContentFlags warning{.hasBlockWarning = true};
    const ExpandedContentFlags blocked{.hasBlockedSite = true};
    const ExpandedContentFlags chip{.durationHovered = true};

    const SizeCase cases[] = {
        // A notch 185 wide and 32 high.
        {"notch collapsed idle", collapsedSize(notch, false, false), {197, 32}},
        {"notch collapsed idle hovered", collapsedSize(notch, false, true), {209, 35}},
        {"notch collapsed active", collapsedSize(notch, true, false), {309, 32}},
        {"notch collapsed active hovered", collapsedSize(notch, true, true), {321, 35}},
        {"notch idle hover", idleHoverSize(notch), {305, 58}},
        {"notch expanded content", expandedContentSize(notch), {389, 188}},
        {"notch content", contentSize(notch, plain), {389, 188}},
        {"notch content with hint line", contentSize(notch, chip), {389, 212}},
        {"notch panel", panelSize(notch, plain), {445, 216}},
        {"notch max panel", maxPanelSize(notch), {445, 240}},
        {"notch view idle", collapsedViewSize(notch, false, false), {197, 32}},
        {"notch view idle hovering", collapsedViewSize(notch, false, true), {305, 58}},
        {"notch view active hovering", collapsedViewSize(notch, true, true), {321, 35}},
        {"notch panel idle", collapsedPanelContentSize(notch, false, false), {209, 35}},
        {"notch panel idle hovering", collapsedPanelContentSize(notch, false, true), {305, 58}},
        {"notch panel active", collapsedPanelContentSize(notch, true, false), {321, 35}},
        {"notch panel active hovering", collapsedPanelContentSize(notch, true, true), {321, 35}},
        // A pill.
        {"pill collapsed", collapsedSize(pill, true, false), {208, 26}},
        {"pill collapsed hovered", collapsedSize(pill, false, true), {220, 29}},
        {"pill view", collapsedViewSize(pill, false, false), {208, 26}},
        {"pill view hovering", collapsedViewSize(pill, true, true), {380, 29}},
        {"pill panel hovering", collapsedPanelContentSize(pill, false, true), {380, 29}},
        {"pill content", contentSize(pill, plain), {256, 128}},
        {"pill panel", panelSize(pill, plain), {312, 156}},
        {"pill with hint line", contentSize(pill, chip), {256, 152}},
        {"pill with card", contentSize(pill, card), {384, 180}},
        {"pill with warning", contentSize(pill, warning), {384, 180}},
        {"pill with blocked site", panelSize(pill, blocked), {440, 208}},
        {"pill max panel", maxPanelSize(pill), {440, 232}},
        // A pill on a notched screen keeps the notch width for its large layout.
        {"pill on notch expanded", expandedContentSize(pillOnNotch), {389, 180}},
        {"pill on notch collapsed", collapsedSize(pillOnNotch, false, false), {208, 26}},
        // The notch style without a notch always shows its side wings.
        {"notchless collapsed idle", collapsedSize(notchless, false, false), {130, 24}},
        {"notchless collapsed active", collapsedSize(notchless, true, false), {130, 24}},
        {"notchless collapsed hovered", collapsedSize(notchless, false, true), {142, 27}},
        {"notchless idle hover", idleHoverSize(notchless), {284, 50}},
        {"notchless expanded", expandedContentSize(notchless), {384, 180}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.want) << c.what;
}

// ---- Pixel alignment ----

struct AlignCase {
    SizeF size;
    double midX;
    double top;
    double scale;
    RectF want;
};

TEST(AlignedFrame, EdgesLandOnWholePixels) {
    const AlignCase cases[] = {
        {{101, 10}, 100.25, 500, 2, {49.5, 490, 101.5, 10}},  // odd difference: one pixel wider
        {{197, 32}, 100, 500, 1, {1, 468, 198, 32}},          // odd width on a whole centre
        {{200, 32}, 100, 500, 1, {0, 468, 200, 32}},          // even width
        {{197, 32}, 100.5, 500, 1, {2, 468, 197, 32}},        // odd width on a half centre
        {{197, 32}, 100, 500, 2, {1.5, 468, 197, 32}},        // scale 2: odd points, even pixels
        {{100.3, 10}, 100, 500, 2, {49.5, 490, 101, 10}},     // fraction rounds up, then evened
        {{20, 10.2}, 100, 500, 2, {90, 489.5, 20, 10.5}},     // height up to whole pixels
        {{10, 10}, 100.25, 500, 1, {95, 490, 11, 10}},        // centre rounds half away from 0
        {{10, 10}, -100.25, 500, 1, {-106, 490, 11, 10}},     // ... also below 0
        {{197, 32}, 100, 500, 0.5, {1, 468, 198, 32}},        // scale below 1 counts as 1
        {{197, 32}, 100, 500, nan, {1, 468, 198, 32}},        // so does a scale that is no number
    };
    for (const auto& c : cases) {
        EXPECT_EQ(alignedFrame(c.size, c.midX, c.top, c.scale), c.want)
            << "midX " << c.midX << " width " << c.size.width << " scale " << c.scale;
    }
}

TEST(AlignedFrame, HugeCoordinatesDoNotFail) {
    const RectF r = alignedFrame({208, 26}, 1e300, 1e300, 2);
    EXPECT_TRUE(std::isfinite(r.x));
    EXPECT_EQ(r.width, 208);
    EXPECT_EQ(r.height, 26);
}

// ---- Clamping and snapping ----

TEST(PillClamp, KeepsThePillOnTheScreenOrCentresIt) {
    const RectF visible{0, 0, 1440, 875};
    EXPECT_EQ(clampPillX(-50, 208, visible), 9);
    EXPECT_EQ(clampPillX(2000, 208, visible), 1223);
    EXPECT_EQ(clampPillX(500, 208, visible), 500);
    EXPECT_EQ(clampPillX(1000, 208, RectF{1440, 0, 1920, 1050}), 1449);  // a screen to the right
    EXPECT_EQ(clampPillX(500, 208, RectF{0, 0, 200, 875}), -4);          // too narrow: centred
    EXPECT_EQ(clampPillX(nan, 208, visible), 9);

    const RectF frame{0, 0, 1440, 900};
    EXPECT_EQ(clampPillY(-10, 26, frame), 0);
    EXPECT_EQ(clampPillY(890, 26, frame), 874);
    EXPECT_EQ(clampPillY(400, 26, frame), 400);
    EXPECT_EQ(clampPillY(400, 26, RectF{0, 0, 1440, 20}), -3);  // too low: centred
}

TEST(PillSnap, SticksToTheEdgesWithinTheMagnet) {
    struct {
        double x;
        double want;
    } const cases[] = {
        {150, 122}, {1250, 1318}, {700, 700},     {0, 122},     {211.9, 122},
        {212, 212}, {1228, 1228}, {1228.1, 1318}, {5000, 1318}, {-300, 122},
    };
    for (const auto& c : cases) EXPECT_EQ(snapPillCenter(c.x, 208, 1440), c.want) << c.x;
    EXPECT_EQ(snapPillCenter(150, 208, 200), 100);  // too narrow: the screen centre
    EXPECT_EQ(snapPillCenter(150, 208, 0), 0);
}

TEST(NotchAttach, ZoneAroundTheNotch) {
    EXPECT_TRUE(isNearNotch(836, 20, 756));
    EXPECT_TRUE(isNearNotch(676, 0, 756));
    EXPECT_FALSE(isNearNotch(836.5, 0, 756));
    EXPECT_FALSE(isNearNotch(675.5, 0, 756));
    EXPECT_FALSE(isNearNotch(756, 20.5, 756));
}

// ---- Frames ----

TEST(IslandFrame, NotchHangsFromTheScreenTopAtTheNotchCentre) {
    const ScreenDescription screen = notchedScreen();
    const IslandMetrics m = islandMetrics(screen, IslandStyle::automatic);
    // 209 × 35 (sized for hovering) centred on 756 − 3.5.
    EXPECT_EQ(collapsedFrame(screen, m, false, false, {}), (RectF{648, 947, 209, 35}));
    EXPECT_EQ(expandedFrame(screen, m, {}, {}), (RectF{530, 766, 445, 216}));
    // Pill offsets do not move the notch island.
    const PillPositions offsets{{displayID(screen), PillPosition{300, 100}}};
    EXPECT_EQ(collapsedFrame(screen, m, false, false, offsets), (RectF{648, 947, 209, 35}));
}

TEST(IslandFrame, PillSitsBelowTheMenuBarMovedByItsDisplaysOffsetAndClamped) {
    const ScreenDescription screen = plainScreen(25);
    const IslandMetrics m = islandMetrics(screen, IslandStyle::automatic);
    const QString id = displayID(screen);
    const SizeF panel = panelSize(m, {});  // 312 × 156
    struct {
        const char* what;
        PillPositions offsets;
        RectF want;
    } const cases[] = {
        {"home", {}, {564, 713, 312, 156}},
        {"offset", {{id, {200, 100}}}, {764, 613, 312, 156}},
        {"offset of another display", {{QStringLiteral("DP-2"), {200, 100}}}, {564, 713, 312, 156}},
        {"far right and above the top", {{id, {5000, -500}}}, {1119, 744, 312, 156}},
        {"far left and below the bottom", {{id, {-5000, 5000}}}, {9, 0, 312, 156}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameForSize(panel, screen, m, c.offsets), c.want) << c.what;
    }
}

TEST(IslandFrame, PillOnASecondaryScreen) {
    const ScreenDescription screen = plainScreen(0, {1440, -180, 1920, 1080});
    const IslandMetrics m = islandMetrics(screen, IslandStyle::automatic);
    EXPECT_EQ(collapsedFrame(screen, m, false, false, {}), (RectF{2296, 868, 208, 26}));
}

TEST(IslandFrame, DroppedPillOffsetReadsBackToTheSameFrame) {
    const ScreenDescription screen = notchedScreen();
    const IslandMetrics m = islandMetrics(screen, IslandStyle::pill);
    const RectF dropped{1100.5, 620, 208, 26};
    const PillPosition offset = pillOffsetForFrame(dropped, screen, m);
    EXPECT_EQ(offset, (PillPosition{1204.5 - 756, 982 - 37 - 6 - 646}));
    EXPECT_EQ(frameForSize(dropped.size(), screen, m, {{displayID(screen), offset}}), dropped);
}

TEST(IslandFrame, NoScreenOrAnEmptyScreenGivesNoNonsense) {
    const IslandMetrics m = islandMetricsWithoutScreen(IslandStyle::automatic);
    EXPECT_EQ(collapsedFrame(std::nullopt, m, true, true, {}), RectF{});
    EXPECT_EQ(expandedFrame(std::nullopt, m, {}, {}), RectF{});

    ScreenDescription empty;
    empty.backingScale = 0;
    const RectF r =
        frameForSize(SizeF{208, 26}, empty, islandMetrics(empty, IslandStyle::pill), {});
    EXPECT_EQ(r, (RectF{-104, -13, 208, 26}));  // centred on the (empty) screen
}

TEST(IslandFrame, NotchTargetOfADraggedPill) {
    const ScreenDescription notched = notchedScreen();
    EXPECT_EQ(notchCenterX(notched), 752.5);
    EXPECT_EQ(notchAttachFrame(notched, false), (RectF{648, 947, 209, 35}));
    EXPECT_EQ(notchAttachFrame(notched, true), (RectF{592, 947, 321, 35}));
    // Without a notch the target is the winged strip below the screen top.
    const ScreenDescription plain = plainScreen(25);
    EXPECT_EQ(notchCenterX(plain), 720);
    EXPECT_EQ(notchAttachFrame(plain, false), (RectF{649, 872, 142, 28}));
}

TEST(IslandFrame, ContentAtTheTopCentreOfThePanel) {
    EXPECT_EQ(contentRect({445, 216}, {389, 188}), (RectF{28, 28, 389, 188}));
    EXPECT_EQ(contentRect({312, 180}, {256, 152}), (RectF{28, 28, 256, 152}));
    // A host larger than the panel sticks out on both sides and below.
    EXPECT_EQ(topCenterRect({312, 156}, {445, 240}), (RectF{-66.5, -84, 445, 240}));
}

// ---- Displays ----

TEST(DisplayIdentifier, MonitorIdentityElseNameElseNumber) {
    ScreenDescription s;
    s.name = QStringLiteral("DP-1");
    s.manufacturer = QStringLiteral("Dell Inc.");
    s.model = QStringLiteral("DELL U2720Q");
    s.serial = QStringLiteral("ABC123");
    EXPECT_EQ(displayID(s), QStringLiteral("Dell Inc.:DELL U2720Q:ABC123"));
    s.serial = QStringLiteral("  ");
    EXPECT_EQ(displayID(s), QStringLiteral("DP-1"));
    s.serial = QStringLiteral("ABC123");
    s.manufacturer.clear();
    EXPECT_EQ(displayID(s), QStringLiteral("DP-1"));
    s.name.clear();
    s.displayNumber = 69733382;
    EXPECT_EQ(displayID(s), QStringLiteral("69733382"));
    s.displayNumber.reset();
    EXPECT_EQ(displayID(s), QString());
}

TEST(DisplayIdentifier, DisplayInfoUsesTheLooserNotchTest) {
    ScreenDescription s = notchedScreen();
    s.auxiliaryTopRightArea.reset();  // no notch for the metrics
    const DisplayInfo d = displayInfo(s);
    EXPECT_EQ(d, (DisplayInfo{QStringLiteral("Built-in Display"),
                              QStringLiteral("Built-in Display"), s.frame, true}));
    EXPECT_FALSE(islandMetrics(s, IslandStyle::automatic).hasNotch);
    EXPECT_FALSE(displayInfo(plainScreen()).hasNotch);
}

struct ChooseCase {
    const char* what;
    QString choice;
    PointF pointer;
    const char* want;  // nullptr: nothing
};

TEST(ChooseDisplay, ChoiceElsePointerElseNotchElseFirst) {
    const QList<DisplayInfo> displays{
        {QStringLiteral("A"), QStringLiteral("Left"), {0, 0, 1440, 900}, false},
        {QStringLiteral("B"), QStringLiteral("Right"), {1440, 0, 1920, 1080}, false},
        {QStringLiteral("C"), QStringLiteral("Laptop"), {-1512, 0, 1512, 982}, true},
    };
    const QString follow = AppPreferences::followDisplay();
    const ChooseCase cases[] = {
        {"chosen display wins over the pointer", QStringLiteral("B"), {100, 100}, "B"},
        {"follow: pointer inside", follow, {100, 100}, "A"},
        {"follow: shared edge belongs to the right", follow, {1440, 500}, "B"},
        {"follow: just left of the edge", follow, {1439.5, 500}, "A"},
        {"follow: top edge is inside", follow, {100, 900}, "A"},
        {"follow: bottom edge is outside, first notch", follow, {100, 0}, "C"},
        {"not connected: follows the pointer", QStringLiteral("gone"), {2000, 500}, "B"},
        {"not connected, pointer nowhere: first notch", QStringLiteral("gone"), {-5000, 0}, "C"},
    };
    for (const auto& c : cases) {
        const auto got = chooseDisplay(displays, c.choice, c.pointer);
        ASSERT_TRUE(got.has_value()) << c.what;
        EXPECT_EQ(got->id, QString::fromUtf8(c.want)) << c.what;
    }
    // Without a notched display the first one is the last resort.
    const QList<DisplayInfo> plain = displays.mid(0, 2);
    EXPECT_EQ(chooseDisplay(plain, follow, {-5000, 0})->id, QStringLiteral("A"));
    EXPECT_FALSE(chooseDisplay({}, follow, {0, 0}).has_value());
}

TEST(ChooseDisplay, FollowsPointerOnlyWithTwoScreens) {
    EXPECT_FALSE(followsPointer(AppPreferences::followDisplay(), 1));
    EXPECT_TRUE(followsPointer(AppPreferences::followDisplay(), 2));
    EXPECT_FALSE(followsPointer(QStringLiteral("B"), 2));
}

TEST(DisplayPicker, EntriesAndHelpKeepAMissingChoice) {
    const QList<DisplayInfo> displays{
        {QStringLiteral("A"), QStringLiteral("Left"), {0, 0, 1440, 900}, false},
        {QStringLiteral("B"), QStringLiteral("Right"), {1440, 0, 1920, 1080}, false},
    };
    const QList<DisplayPickerEntry> connected{
        {QStringLiteral("Follow active screen"), QStringLiteral("follow")},
        {QStringLiteral("Left"), QStringLiteral("A")},
        {QStringLiteral("Right"), QStringLiteral("B")},
    };
    EXPECT_EQ(displayPickerEntries(displays, QStringLiteral("follow")), connected);
    EXPECT_EQ(displayPickerEntries(displays, QStringLiteral("B")), connected);
    QList<DisplayPickerEntry> missing = connected;
    missing.append({QStringLiteral("Disconnected display"), QStringLiteral("gone")});
    EXPECT_EQ(displayPickerEntries(displays, QStringLiteral("gone")), missing);

    EXPECT_EQ(displayChoiceHelp(displays, QStringLiteral("follow")),
              QStringLiteral("Follows the screen your *pointer* is on."));
    EXPECT_EQ(displayChoiceHelp(displays, QStringLiteral("A")),
              QStringLiteral("Stays on this display."));
    EXPECT_EQ(displayChoiceHelp(displays, QStringLiteral("gone")),
              QStringLiteral("Display missing — follows your *pointer* until it returns."));
    for (IslandStyle style : allIslandStyles) EXPECT_FALSE(islandStyleHelp(style).isEmpty());
}

}  // namespace
