#include "island/IslandGeometry.h"

#include <algorithm>
#include <cmath>

#include "preferences/AppPreferences.h"

namespace tw {

namespace L = islandlayout;

namespace {

double finiteOrZero(double v) {
    return std::isfinite(v) ? v : 0.0;
}

// x limited to [lo, hi] (lo ≤ hi); a NaN gives lo.
double limited(double x, double lo, double hi) {
    return std::max(lo, std::min(x, hi));
}

SizeF operator+(SizeF a, SizeF b) {
    return {a.width + b.width, a.height + b.height};
}

// Beyond 2^53 every double is an even integer, and parity no longer means anything.
constexpr double exactIntegerLimit = 9007199254740992.0;

}  // namespace

// ---- Measuring a screen ----

IslandMetrics islandMetrics(const ScreenDescription& screen, IslandStyle requested) {
    const double screenWidth = finiteOrZero(screen.frame.width);
    const double safeTop = finiteOrZero(screen.safeAreaTop);
    const double left =
        screen.auxiliaryTopLeftArea ? finiteOrZero(screen.auxiliaryTopLeftArea->width) : 0.0;
    const double right =
        screen.auxiliaryTopRightArea ? finiteOrZero(screen.auxiliaryTopRightArea->width) : 0.0;
    const double menuBarDepth = finiteOrZero(screen.frame.maxY() - screen.visibleFrame.maxY());
    const double notch = screenWidth - left - right;

    IslandMetrics m;
    m.menuBarDepth = menuBarDepth;
    const bool notched = safeTop > 0 && screen.auxiliaryTopLeftArea.has_value() &&
                         screen.auxiliaryTopRightArea.has_value() && notch > 0;
    if (notched) {
        m.notchWidth = notch;
        m.notchHeight = safeTop;
        m.hasNotch = true;
        m.style = requested == IslandStyle::automatic ? IslandStyle::notch : requested;
        m.centerOffset =
            m.style == IslandStyle::pill ? 0.0 : left + notch * 0.5 - screenWidth * 0.5;
    } else {
        m.notchWidth = 0;
        m.notchHeight = menuBarDepth <= 0
                            ? L::minStripHeight
                            : std::clamp(menuBarDepth, L::minStripHeight, L::maxStripHeight);
        m.hasNotch = false;
        m.centerOffset = 0;
        m.style = requested == IslandStyle::automatic ? IslandStyle::pill : requested;
    }
    return m;
}

IslandMetrics islandMetricsWithoutScreen(IslandStyle requested) {
    return islandMetrics(ScreenDescription{}, requested);
}

// ---- Sizes ----

SizeF expandedContentSize(const IslandMetrics& m) {
    const double width = std::max(L::expandedMinWidth, m.notchWidth + L::expandedWidthOverNotch) +
                         2 * L::expandedSidePadding;
    const double height =
        (m.isPill() ? L::pillTopBandHeight : m.notchHeight) + L::expandedExtraHeight;
    return {width, height};
}

SizeF collapsedSize(const IslandMetrics& m, bool showsContent, bool hovered) {
    const double growW = hovered ? L::hoverGrowthWidth : 0.0;
    const double growH = hovered ? L::hoverGrowthHeight : 0.0;
    if (m.isPill()) return {L::pillCollapsedWidth + growW, L::pillCollapsedHeight + growH};
    double base = m.notchWidth;
    if (showsContent || !m.hasNotch) {
        base = (m.hasNotch ? m.notchWidth : L::notchSidePadding) + 2 * L::notchWingWidth;
    }
    return {base + growW + 2 * L::notchSidePadding, m.notchHeight + growH};
}

SizeF idleHoverSize(const IslandMetrics& m) {
    const double base =
        m.hasNotch ? m.notchWidth + L::idleHoverExtraWidth : L::idleHoverWidthNoNotch;
    return {base + 2 * L::notchSidePadding, m.notchHeight + L::idleHoverExtraHeight};
}

SizeF collapsedViewSize(const IslandMetrics& m, bool active, bool hovering) {
    if (m.isPill()) {
        SizeF s = collapsedSize(m, active, hovering);
        if (hovering) s.width += L::pillHoverExtraWidth;
        return s;
    }
    if (hovering && !active) return idleHoverSize(m);
    return collapsedSize(m, active, hovering);
}

SizeF collapsedPanelContentSize(const IslandMetrics& m, bool active, bool hovering) {
    if (m.isPill()) return collapsedViewSize(m, active, hovering);
    SizeF s = collapsedSize(m, active, true);
    if (hovering && !active) {
        const SizeF idle = idleHoverSize(m);
        s.width = std::max(s.width, idle.width);
        s.height = std::max(s.height, idle.height);
    }
    return s;
}

SizeF maxPanelSize(const IslandMetrics& m) {
    return expandedContentSize(m) +
           SizeF{2 * L::panelMargin, L::panelMargin + L::durationHintHeight};
}

SizeF contentSize(const IslandMetrics& m, const ExpandedContentFlags& flags) {
    SizeF s = m.isPill() && !flags.hasCelebration && !flags.hasBlockWarning && !flags.hasBlockedSite
                  ? SizeF{L::pillExpandedWidth, L::pillExpandedHeight}
                  : expandedContentSize(m);
    if (flags.durationHovered) s.height += L::durationHintHeight;
    return s;
}

SizeF panelSize(const IslandMetrics& m, const ExpandedContentFlags& flags) {
    return contentSize(m, flags) + SizeF{2 * L::panelMargin, L::panelMargin};
}

// ---- Frames ----

RectF alignedFrame(SizeF size, double midX, double top, double scale) {
    if (!std::isfinite(scale) || scale < 1) scale = 1;
    // Centre (doubled, so it is a whole number) and width in device pixels.
    const double centre2 = std::round(2 * midX * scale);
    double w = std::ceil(size.width * scale);
    const double spare = centre2 - w;
    // An odd difference would put both edges on half pixels: widen by one pixel.
    if (std::fabs(spare) < exactIntegerLimit && std::fmod(spare, 2.0) != 0) w += 1;
    const double h = std::ceil(size.height * scale) / scale;
    return {(centre2 - w) * 0.5 / scale, top - h, w / scale, h};
}

double clampPillX(double x, double width, const RectF& visibleFrame) {
    const double lo = visibleFrame.minX() + L::pillEdgeMargin / 2;
    const double hi = visibleFrame.maxX() - width - L::pillEdgeMargin / 2;
    if (lo <= hi) return limited(x, lo, hi);
    return visibleFrame.midX() - width / 2;
}

double clampPillY(double y, double height, const RectF& frame) {
    const double lo = frame.minY();
    const double hi = frame.maxY() - height;
    if (lo <= hi) return limited(y, lo, hi);
    return frame.midY() - height / 2;
}

PointF islandAnchor(const ScreenDescription& screen, const IslandMetrics& m) {
    const double midX = screen.frame.midX() + m.centerOffset;
    const double top =
        screen.frame.maxY() - (m.isPill() ? m.menuBarDepth + L::pillGapBelowMenuBar : 0.0);
    return {midX, top};
}

RectF frameForSize(SizeF size, const ScreenDescription& screen, const IslandMetrics& m,
                   const PillPositions& pillPositions) {
    PointF anchor = islandAnchor(screen, m);
    if (m.isPill()) {
        const auto it = pillPositions.constFind(displayID(screen));
        if (it != pillPositions.constEnd()) {
            anchor.x += it->dx;
            anchor.y -= it->dy;
        }
    }
    RectF rect = alignedFrame(size, anchor.x, anchor.y, screen.backingScale);
    if (m.isPill()) {
        rect.x = clampPillX(rect.x, rect.width, screen.visibleFrame);
        rect.y = clampPillY(rect.y, rect.height, screen.frame);
    }
    return rect;
}

RectF frameForSize(SizeF size, const std::optional<ScreenDescription>& screen,
                   const IslandMetrics& metrics, const PillPositions& pillPositions) {
    if (!screen) return {};
    return frameForSize(size, *screen, metrics, pillPositions);
}

RectF expandedFrame(const std::optional<ScreenDescription>& screen, const IslandMetrics& metrics,
                    const ExpandedContentFlags& flags, const PillPositions& pillPositions) {
    return frameForSize(panelSize(metrics, flags), screen, metrics, pillPositions);
}

RectF collapsedFrame(const std::optional<ScreenDescription>& screen, const IslandMetrics& metrics,
                     bool active, bool hovering, const PillPositions& pillPositions) {
    return frameForSize(collapsedPanelContentSize(metrics, active, hovering), screen, metrics,
                        pillPositions);
}

RectF topCenterRect(SizeF outer, SizeF inner) {
    return {(outer.width - inner.width) / 2, outer.height - inner.height, inner.width,
            inner.height};
}

RectF contentRect(SizeF panelSize, SizeF contentSize) {
    return topCenterRect(panelSize, contentSize);
}

PillPosition pillOffsetForFrame(const RectF& droppedFrame, const ScreenDescription& screen,
                                const IslandMetrics& metrics) {
    const PointF anchor = islandAnchor(screen, metrics);
    return {droppedFrame.midX() - anchor.x, anchor.y - droppedFrame.maxY()};
}

double notchCenterX(const ScreenDescription& screen) {
    return screen.frame.midX() + islandMetrics(screen, IslandStyle::notch).centerOffset;
}

RectF notchAttachFrame(const ScreenDescription& screen, bool timerActive) {
    const IslandMetrics notchMetrics = islandMetrics(screen, IslandStyle::notch);
    const double centerX = screen.frame.midX() + notchMetrics.centerOffset;
    const SizeF s = collapsedSize(notchMetrics, timerActive, true);
    return {centerX - s.width / 2, screen.frame.maxY() - s.height, s.width, s.height};
}

// ---- Pill dragging ----

double snapPillCenter(double centerX, double width, double span) {
    const double lo = width / 2 + L::pillEdgeMargin;
    const double hi = span - L::pillEdgeMargin - width / 2;
    if (!(lo <= hi)) return span / 2;
    if (centerX < lo + L::pillEdgeMagnet) return lo;
    if (centerX > hi - L::pillEdgeMagnet) return hi;
    return limited(centerX, lo, hi);
}

bool isNearNotch(double pointerX, double distanceBelowTop, double notchCenterX) {
    return std::fabs(pointerX - notchCenterX) <= L::notchAttachZoneX &&
           distanceBelowTop <= L::notchAttachZoneY;
}

// ---- Displays ----

QString displayID(const ScreenDescription& screen) {
    const QString manufacturer = screen.manufacturer.trimmed();
    const QString model = screen.model.trimmed();
    const QString serial = screen.serial.trimmed();
    if (!manufacturer.isEmpty() && !model.isEmpty() && !serial.isEmpty()) {
        return manufacturer + u':' + model + u':' + serial;
    }
    if (!screen.name.isEmpty()) return screen.name;
    if (screen.displayNumber) return QString::number(*screen.displayNumber);
    return {};
}

DisplayInfo displayInfo(const ScreenDescription& screen) {
    return {displayID(screen), screen.name, screen.frame, screen.safeAreaTop > 0};
}

QList<DisplayInfo> displayInfos(const QList<ScreenDescription>& screens) {
    QList<DisplayInfo> out;
    out.reserve(screens.size());
    for (const auto& s : screens) out.append(displayInfo(s));
    return out;
}

namespace {
bool containsPointer(const RectF& r, PointF p) {
    return p.x >= r.minX() && p.x < r.maxX() && p.y > r.minY() && p.y <= r.maxY();
}

bool isConnected(const QList<DisplayInfo>& displays, const QString& id) {
    return std::any_of(displays.begin(), displays.end(),
                       [&](const DisplayInfo& d) { return d.id == id; });
}
}  // namespace

std::optional<DisplayInfo> chooseDisplay(const QList<DisplayInfo>& displays, const QString& choice,
                                         PointF pointer) {
    if (displays.isEmpty()) return std::nullopt;
    for (const auto& d : displays) {
        if (d.id == choice) return d;
    }
    for (const auto& d : displays) {
        if (containsPointer(d.frame, pointer)) return d;
    }
    for (const auto& d : displays) {
        if (d.hasNotch) return d;
    }
    return displays.first();
}

bool followsPointer(const QString& choice, qsizetype screenCount) {
    return choice == AppPreferences::followDisplay() && screenCount >= 2;
}

// ---- Picker vocabulary ----

QList<DisplayPickerEntry> displayPickerEntries(const QList<DisplayInfo>& displays,
                                               const QString& choice) {
    QList<DisplayPickerEntry> entries;
    entries.append({QStringLiteral("Follow active screen"), AppPreferences::followDisplay()});
    for (const auto& d : displays) entries.append({d.name, d.id});
    if (choice != AppPreferences::followDisplay() && !isConnected(displays, choice)) {
        entries.append({QStringLiteral("Disconnected display"), choice});
    }
    return entries;
}

QString displayChoiceHelp(const QList<DisplayInfo>& displays, const QString& choice) {
    if (choice == AppPreferences::followDisplay()) {
        return QStringLiteral("Follows the screen your *pointer* is on.");
    }
    if (isConnected(displays, choice)) return QStringLiteral("Stays on this display.");
    return QStringLiteral("Display missing — follows your *pointer* until it returns.");
}

QString islandStyleHelp(IslandStyle style) {
    switch (style) {
        case IslandStyle::automatic:
            return QStringLiteral(
                "Sits at the *top edge* of a screen with a camera housing, and floats as a *pill* "
                "everywhere else.");
        case IslandStyle::notch:
            return QStringLiteral("Stays at the *top edge*, in the strip of the top bar.");
        case IslandStyle::pill:
            return QStringLiteral(
                "Floats as a small *pill* below the top bar. Drag it to a corner; it remembers "
                "where it sits on each display.");
        case IslandStyle::menuBarOnly:
            return QStringLiteral(
                "No island on screen. The timer runs from the tray icon and the global "
                "shortcuts. The tray icon stays on in this mode.");
    }
    return {};
}

}  // namespace tw
