#pragma once

// Where the island sits and how big it is: measuring a screen, the island's sizes in each state,
// pixel alignment, the panel frame on a screen (top-centre anchor, per-display pill offsets,
// clamping), the choice of display and the pill's snapping and attach rules.
//
// Everything here is a pure function of a screen description, the preferences and a few state
// flags; nothing touches a window system, so all of it runs without a display.
//
// Coordinates. All geometry is in points in "y-up" global coordinates: the origin is the
// bottom-left corner of the primary screen and y grows upward. The small value types below
// (`PointF`, `SizeF`, `RectF`) carry only that meaning; a `RectF` is (x, y, width, height) with
// (x, y) its bottom-left corner, so `maxY()` is its top edge. Qt's own rectangles (y down) are
// never used here; QtScreens.h converts between the two, once, at the window-system boundary.
// Panel-local rectangles (contentRect, topCenterRect) use the same convention with the origin at
// the panel's bottom-left corner.

#include <QList>
#include <QString>
#include <optional>

#include "preferences/PreferenceTypes.h"
#include "support/Geometry.h"

namespace tw {

// What the island needs to know about one screen, in y-up global coordinates.
struct ScreenDescription {
    RectF frame;             // the whole screen
    RectF visibleFrame;      // the screen minus the top panel (menu bar) and docks
    double safeAreaTop = 0;  // height of the area covered by a camera housing; 0 without one
    // The strips left and right of a camera housing at the top of the screen, when it has one.
    std::optional<RectF> auxiliaryTopLeftArea;
    std::optional<RectF> auxiliaryTopRightArea;
    QString name;             // the screen's name (on X11 the output name, e.g. "HDMI-1")
    double backingScale = 1;  // device pixels per point
    std::optional<quint32> displayNumber;  // a platform display number, when there is one
    // Identity read from the monitor (EDID), each empty when unknown.
    QString manufacturer;
    QString model;
    QString serial;

    friend bool operator==(const ScreenDescription&, const ScreenDescription&) = default;
};

// One screen measured for the island.
struct IslandMetrics {
    double notchWidth = 0;    // width of the camera housing; 0 when the screen has none
    double notchHeight = 24;  // height of the notch, or of the top strip the island occupies
    bool hasNotch = false;
    double centerOffset = 0;  // notch centre minus screen centre (positive: right); 0 for a pill
    IslandStyle style = IslandStyle::pill;  // resolved: never `automatic`
    double menuBarDepth = 0;                // frame maxY minus visible frame maxY

    bool isPill() const { return style == IslandStyle::pill; }

    friend bool operator==(const IslandMetrics&, const IslandMetrics&) = default;
};

// A connected display as offered for the display choice.
struct DisplayInfo {
    QString id;    // stable identifier, see displayID()
    QString name;  // the screen's name
    RectF frame;
    bool hasNotch = false;  // safe-area top above 0 (looser than the metrics' notch test)

    friend bool operator==(const DisplayInfo&, const DisplayInfo&) = default;
};

// Layout constants, in points.
namespace islandlayout {
inline constexpr double notchWingWidth = 56;    // each side, when content shows
inline constexpr double notchSidePadding = 6;   // each side of the collapsed notch island
inline constexpr double hoverGrowthWidth = 12;  // collapsed island while hovered
inline constexpr double hoverGrowthHeight = 3;
inline constexpr double idleHoverExtraWidth = 108;    // idle hover over a notch
inline constexpr double idleHoverWidthNoNotch = 272;  // idle hover without a notch
inline constexpr double idleHoverExtraHeight = 26;
inline constexpr double expandedMinWidth = 360;
inline constexpr double expandedWidthOverNotch = 180;
inline constexpr double expandedSidePadding = 12;  // each side
inline constexpr double expandedExtraHeight = 156;
inline constexpr double pillTopBandHeight = 24;
inline constexpr double durationHintHeight = 24;  // while a duration chip is hovered
inline constexpr double panelMargin = 28;         // left, right and below the content
inline constexpr double pillExpandedWidth = 256;
inline constexpr double pillExpandedHeight = 128;
inline constexpr double pillCollapsedWidth = 2 * 14 + 94 + 8 + 46 + 8 + 24;  // 208
inline constexpr double pillCollapsedHeight = 26;
inline constexpr double pillHoverExtraWidth = 108 + 52;  // 160
inline constexpr double pillGapBelowMenuBar = 6;
inline constexpr double pillEdgeMargin = 18;
inline constexpr double pillEdgeMagnet = 90;
inline constexpr double notchAttachZoneX = 80;
inline constexpr double notchAttachZoneY = 20;
inline constexpr double attachMinimumDrag = 15;
// Top strip height of a screen without a notch: the menu bar depth kept within these bounds.
inline constexpr double minStripHeight = 24;
inline constexpr double maxStripHeight = 32;
}  // namespace islandlayout

// ---- Measuring a screen ----

// Measures `screen` for the requested style. A screen has a notch when its safe-area top is above
// 0, both auxiliary top areas are present and they leave room between them. `automatic` resolves
// to `notch` on a notched screen and to `pill` elsewhere; other styles stay as requested.
// Measurements that are not finite numbers count as 0.
IslandMetrics islandMetrics(const ScreenDescription& screen, IslandStyle requested);

// The metrics used when no screen is connected: those of a notchless screen with no menu bar.
IslandMetrics islandMetricsWithoutScreen(IslandStyle requested);

// ---- Sizes ----

// The expanded island's full content (timer, controls and the top band).
SizeF expandedContentSize(const IslandMetrics& metrics);

// The collapsed island; `showsContent` when the timer is active (its side wings show).
SizeF collapsedSize(const IslandMetrics& metrics, bool showsContent, bool hovered);

// The collapsed notch island while hovered with the timer idle.
SizeF idleHoverSize(const IslandMetrics& metrics);

// The collapsed size the views draw; `active` means the timer's run state is not idle.
SizeF collapsedViewSize(const IslandMetrics& metrics, bool active, bool hovering);

// The collapsed size the panel takes: for the notch style it always leaves room for the hover
// growth, so the panel does not move when the pointer arrives.
SizeF collapsedPanelContentSize(const IslandMetrics& metrics, bool active, bool hovering);

// The fixed size of the hosting view inside the panel: the largest expanded panel.
SizeF maxPanelSize(const IslandMetrics& metrics);

// The parts of the island state that decide the expanded content size.
struct ExpandedContentFlags {
    bool hasCelebration = false;   // the completion card shows
    bool hasBlockWarning = false;  // a site is about to be blanked
    bool hasBlockedSite = false;   // a site was just blanked
    bool durationHovered = false;  // a duration chip is hovered (its hint line shows)
};

// The island's current expanded content: the small pill card when nothing else needs room,
// else the full expanded content; plus the hint line while a duration chip is hovered.
SizeF contentSize(const IslandMetrics& metrics, const ExpandedContentFlags& flags);

// The expanded panel: the content plus the transparent shadow margin left, right and below.
SizeF panelSize(const IslandMetrics& metrics, const ExpandedContentFlags& flags);

// ---- Frames ----

// A rectangle of `size` centred on `midX` and hanging from `top`, with both vertical edges and
// its height on whole device pixels at `scale` (values below 1, or not finite, count as 1).
RectF alignedFrame(SizeF size, double midX, double top, double scale);

// The pill's x kept within the visible frame, 9 points from each side; centred when it does not
// fit.
double clampPillX(double x, double width, const RectF& visibleFrame);
// The pill's y kept within the screen frame; centred when it does not fit.
double clampPillY(double y, double height, const RectF& frame);

// The default anchor of the island on a screen: x of its centre and y of its top edge (the
// screen top for the notch style, just below the menu bar for the pill), before any stored pill
// offset.
PointF islandAnchor(const ScreenDescription& screen, const IslandMetrics& metrics);

// The panel frame for a content size on `screen`: the anchor, moved by the pill offset stored for
// the display (pill only), pixel-aligned, and for the pill clamped into the screen.
RectF frameForSize(SizeF size, const ScreenDescription& screen, const IslandMetrics& metrics,
                   const PillPositions& pillPositions);
// The same; the zero rectangle when there is no screen.
RectF frameForSize(SizeF size, const std::optional<ScreenDescription>& screen,
                   const IslandMetrics& metrics, const PillPositions& pillPositions);

// The open island's panel frame.
RectF expandedFrame(const std::optional<ScreenDescription>& screen, const IslandMetrics& metrics,
                    const ExpandedContentFlags& flags, const PillPositions& pillPositions);
// The closed island's panel frame.
RectF collapsedFrame(const std::optional<ScreenDescription>& screen, const IslandMetrics& metrics,
                     bool active, bool hovering, const PillPositions& pillPositions);

// `inner` placed at the top centre of a container of size `outer`, in the container's y-up
// coordinates (it may stick out on the sides and below when it is larger).
RectF topCenterRect(SizeF outer, SizeF inner);
// Where the island content lies inside the panel (panel-local, y up).
RectF contentRect(SizeF panelSize, SizeF contentSize);

// The pill offset to store after a drop that left the panel at `droppedFrame`; reading it back
// through frameForSize reproduces that frame before clamping.
PillPosition pillOffsetForFrame(const RectF& droppedFrame, const ScreenDescription& screen,
                                const IslandMetrics& metrics);

// Centre x of the notch on `screen` (measured for the notch style).
double notchCenterX(const ScreenDescription& screen);
// The frame a dragged pill would take in the notch: the hovered collapsed notch island at the top
// of the screen, with side wings when the timer is active.
RectF notchAttachFrame(const ScreenDescription& screen, bool timerActive);

// ---- Pill dragging ----

// Snapped centre for a pill dropped with its centre at `centerX` (from the screen's left edge) on
// a screen `span` wide: near either edge it sticks to that edge, 18 points in; the screen centre
// when the screen is too narrow.
double snapPillCenter(double centerX, double width, double span);

// The pointer is close enough to the notch to attach a dragged pill there.
bool isNearNotch(double pointerX, double distanceBelowTop, double notchCenterX);

// ---- Displays ----

// The stable identifier of a display: the monitor's manufacturer, model and serial number joined
// by ":" when all three are known; else the screen's name; else the display number in decimal;
// else the empty text.
QString displayID(const ScreenDescription& screen);
DisplayInfo displayInfo(const ScreenDescription& screen);
QList<DisplayInfo> displayInfos(const QList<ScreenDescription>& screens);

// The display for `choice` (the preference `displayChoice`, where "follow" is
// AppPreferences::followDisplay()): the listed display with that identifier, otherwise (also for
// "follow" and for a display that is not connected) the one under the pointer, else the first
// with a notch, else the first. Nothing for an empty list. A display contains the pointer when
// minX ≤ x < maxX and minY < y ≤ maxY.
std::optional<DisplayInfo> chooseDisplay(const QList<DisplayInfo>& displays, const QString& choice,
                                         PointF pointer);

// Whether the island has to watch the pointer: the choice is "follow" and there are at least two
// screens.
bool followsPointer(const QString& choice, qsizetype screenCount);

// ---- Picker vocabulary ----

struct DisplayPickerEntry {
    QString title;
    QString value;
    friend bool operator==(const DisplayPickerEntry&, const DisplayPickerEntry&) = default;
};

// "Follow active screen", then one entry per connected display, then "Disconnected display" for
// a stored choice naming a display that is not connected.
QList<DisplayPickerEntry> displayPickerEntries(const QList<DisplayInfo>& displays,
                                               const QString& choice);
// The help line under the display picker. Words between asterisks are emphasised (Markdown).
QString displayChoiceHelp(const QList<DisplayInfo>& displays, const QString& choice);
// The help line beside the style picker. Words between asterisks are emphasised (Markdown).
QString islandStyleHelp(IslandStyle style);

}  // namespace tw
