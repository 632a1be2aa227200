#include "island/IslandLayout.h"

#include <QFontMetricsF>
#include <algorithm>
#include <cmath>

#include "island/CompletionCelebration.h"
#include "island/IslandState.h"
#include "island/IslandViewText.h"
#include "preferences/AppPreferences.h"

namespace tw {

namespace S = islandstyle;
namespace T = islandtext;
namespace L = islandlayout;
using C = IslandControl;
using Mode = TimerModel::Mode;

namespace {

double fontMeasure(const QString& text, double pixelSize, QFont::Weight weight) {
    return QFontMetricsF(S::font(pixelSize, weight)).horizontalAdvance(text);
}

// Lays out one kind of content into `l`, whose island, outline and flags are set.
class Placer {
public:
    Placer(const IslandLayoutInput& in, IslandLayout& l)
        : in_(in), l_(l), measure_(in.measure ? in.measure : fontMeasure) {}

    void layoutCollapsed();
    void layoutExpanded();
    void layoutMini();
    void layoutBanner();
    void layoutCelebration();

private:
    const IslandLayoutInput& in_;
    IslandLayout& l_;
    IslandTextMeasure measure_;
};

void Placer::layoutCollapsed() {
    IslandLayout& l = l_;
    const QRectF R = l.island;
    const double cy = R.top() + (l.metrics.isPill() ? R.height() / 2 : l.metrics.notchHeight / 2);
    if (l.metrics.isPill()) {
        double right = R.right() - 14;
        if (l.hovering) {
            l.at(C::moreActions) = L::centeredSquare({R.right() - 10 - 12, cy}, 24);
            l.tip(C::moreActions) = QStringLiteral("More actions");
            l.at(C::startPause) = L::centeredSquare({R.right() - 10 - 24 - 6 - 12, cy}, 24);
            l.tip(C::startPause) = T::collapsedStartPauseHelp(l.running);
            right = l.at(C::startPause).left() - 8;
        }
        l.at(C::progress) = L::centeredSquare({right - 12, cy}, 14);
        l.at(C::countdown) = QRectF(right - 24 - 8 - 46, R.top(), 46, R.height());
        return;
    }
    const double wing = L::notchWingWidth;
    if (l.active) {
        const QRectF left(R.left() + L::notchSidePadding, R.top(), wing, l.metrics.notchHeight);
        const QRectF right(R.right() - L::notchSidePadding - wing, R.top(), wing,
                           l.metrics.notchHeight);
        l.at(C::progress) = L::centeredSquare({left.center().x(), cy}, 13);
        l.at(C::countdown) = right.adjusted(2, 0, -4, 0);
        return;
    }
    if (l.hovering) {
        const double stripCy = R.top() + l.metrics.notchHeight + L::idleHoverExtraHeight / 2 - 1;
        l.at(C::detach) = L::centeredSquare({R.right() - 14 - 11, stripCy}, 22);
        l.tip(C::detach) = QStringLiteral("Detach from the top edge and float as a pill");
    }
}

void Placer::layoutExpanded() {
    IslandLayout& l = l_;
    const QRectF R = l.island.adjusted(l.inset, 0, -l.inset, 0);
    double y = R.top() + l.band + 6;
    // Header: the phase switch, the task picker, detach and settings.
    l.at(C::phaseFocus) = QRectF(R.left() + L::openPadding, y, 66, 24);
    l.at(C::phaseBreak) = QRectF(R.left() + L::openPadding + 66, y, 66, 24);
    l.tip(C::phaseFocus) = QStringLiteral("Select Focus phase");
    l.tip(C::phaseBreak) = QStringLiteral("Select Break phase");
    l.at(C::settings) = QRectF(R.right() - L::openPadding - 24, y, 24, 24);
    l.tip(C::settings) = QStringLiteral("Settings");
    double headerRight = l.at(C::settings).left() - 6;
    if (!l.metrics.isPill()) {
        l.at(C::detach) = QRectF(headerRight - 24, y, 24, 24);
        l.tip(C::detach) = QStringLiteral("Detach from the top edge and float as a pill");
        headerRight = l.at(C::detach).left() - 8;
    }
    if (in_.taskPicker) {
        const double left = l.at(C::phaseBreak).right() + 10;
        const double width = std::min(150.0, headerRight - left);
        if (width > 40) l.at(C::taskPicker) = QRectF(headerRight - width, y, width, 24);
        l.tip(C::taskPicker) = QStringLiteral("TickTick task for this focus session");
    }
    y += 24 + 6;

    // The countdown with its progress, and the controls.
    const double mh = l.showsShortcutWarning ? 34 : 56;
    l.at(C::countdown) = QRectF(R.left() + L::openPadding - 4, y, 176, mh - 10);
    l.tip(C::countdown) =
        QStringLiteral("Type minutes or mm:ss, then press Return (up to 120 minutes)");
    l.at(C::progress) = QRectF(R.left() + L::openPadding, y + mh - 7, 150, 4);
    const double cy = y + mh / 2 - 1;
    const double big = l.showsShortcutWarning ? 34 : 44;
    const double small = l.showsShortcutWarning ? 28 : 34;
    l.at(C::skip) = L::centeredSquare({R.right() - L::openPadding - small / 2, cy}, small);
    l.at(C::startPause) = L::centeredSquare({l.at(C::skip).left() - 10 - big / 2, cy}, big);
    l.at(C::reset) = L::centeredSquare({l.at(C::startPause).left() - 10 - small / 2, cy}, small);
    l.tip(C::skip) = QStringLiteral("Skip");
    l.tip(C::reset) = QStringLiteral("Reset");
    l.tip(C::startPause) = T::startPauseHelp(l.running, in_.startPauseShortcut);
    y += mh + 6;

    // The duration chips.
    const double chipW = (R.width() - 2 * L::openPadding - 10) / 2;
    const auto chip = [&](C body, C minus, C value, C plus, double x, const QString& tip) {
        const QRectF r(x, y, chipW, 28);
        l.at(body) = r;
        l.tip(body) = tip;
        l.at(plus) = L::centeredSquare({r.right() - 4 - 11, r.center().y()}, 22);
        l.at(value) = QRectF(l.at(plus).left() - 30, r.top(), 30, r.height());
        l.at(minus) = L::centeredSquare({l.at(value).left() - 11, r.center().y()}, 22);
        l.tip(value) = T::chipEditHelp(1, 120);
    };
    chip(C::focusChip, C::focusMinus, C::focusValue, C::focusPlus, R.left() + L::openPadding,
         QStringLiteral("Set focus length"));
    chip(C::breakChip, C::breakMinus, C::breakValue, C::breakPlus,
         R.left() + L::openPadding + chipW + 10, QStringLiteral("Set break length"));
    y += 28 + (l.showsShortcutWarning ? 5 : 8);

    // History, undo and the shortcut warning.
    const QString history = T::historyLine(in_.focusMinutesToday, in_.completedToday);
    l.at(C::history) = QRectF(R.left() + L::openPadding, y,
                              12 + 5 + measure_(history, 11, QFont::Medium) + 4 + 8, 16);
    l.tip(C::history) = QStringLiteral("View daily focused minutes and the last 7 days");
    if (in_.undoLabel) {
        const double width = 12 + 5 + measure_(T::undoLine(*in_.undoLabel), 11, QFont::Medium);
        l.at(C::undo) = QRectF(R.right() - L::openPadding - width, y, width, 16);
        l.tip(C::undo) = QStringLiteral("Restore the session");
    }
    y += 16 + 1;
    if (l.showsShortcutWarning) {
        l.at(C::shortcutWarning) =
            QRectF(R.left() + L::openPadding, y, R.width() - 2 * L::openPadding, 26);
        l.tip(C::shortcutWarning) = in_.shortcutError.value_or(QString());
    }
}

void Placer::layoutMini() {
    IslandLayout& l = l_;
    const QRectF R = l.island;
    // The timer area (13…137 across, 20…72 down) is also where a press-and-hold drags the pill.
    l.at(C::progress) = QRectF(R.left() + 16, R.top() + 31, 30, 30);
    l.at(C::countdown) = QRectF(R.left() + 54, R.top() + 36, 84, 32);
    l.tip(C::countdown) =
        QStringLiteral("Type minutes or mm:ss, then press Return (up to 120 minutes)");
    const double cy = R.top() + 46;
    l.at(C::reset) = L::centeredSquare({R.left() + 154, cy}, 28);
    l.at(C::startPause) = L::centeredSquare({R.left() + 192, cy}, 36);
    l.at(C::skip) = L::centeredSquare({R.left() + 230, cy}, 28);
    l.tip(C::skip) = QStringLiteral("Skip");
    l.tip(C::reset) = QStringLiteral("Reset");
    l.tip(C::startPause) = T::startPauseHelp(l.running, in_.startPauseShortcut);
    const double by = R.top() + 104;
    l.at(C::moreActions) = L::centeredSquare({R.right() - 14 - 11, by}, 22);
    l.tip(C::moreActions) = QStringLiteral("More actions");
    if (!in_.notchPreview) {
        const QString history = T::historyLine(in_.focusMinutesToday, in_.completedToday);
        l.at(C::history) = QRectF(R.left() + 16, by - 8,
                                  12 + 5 + measure_(history, 11, QFont::Medium) + 4 + 8, 16);
        l.tip(C::history) = QStringLiteral("View daily focused minutes and the last 7 days");
    }
}

void Placer::layoutBanner() {
    IslandLayout& l = l_;
    const QRectF R = l.island.adjusted(l.inset, 0, -l.inset, 0);
    const QRectF area(R.left() + 18, R.top() + l.band, R.width() - 36, R.height() - l.band - 6);
    // The first text line; for the notice it holds the remaining time and repaints each second.
    l.at(C::countdown) = QRectF(area.left() + 46, area.center().y() - 20, area.width() - 46, 22);
}

void Placer::layoutCelebration() {
    IslandLayout& l = l_;
    const QRectF box = l.cardBox();
    const double x0 = box.left() + 16;
    const double cw = box.width() - 32;
    if (!in_.cardShowsFigures) return;
    l.tip(C::startBreak) = QStringLiteral("Start break");
    if (!in_.cardShowsQuotePrompt) {
        const double y = box.top() + L::cardTop + L::cardRowA + 4 + 16 + 13 + 8;
        l.at(C::startBreak) = QRectF(box.center().x() - 60, y, 120, 26);
        return;
    }
    const double fy = box.top() + L::cardTop + L::cardRowA + 4 + 16 + 13 + 4 + 14 + 3;
    // With the invitation the button shares the permission's row, at its right end.
    l.at(C::startBreak) = QRectF(box.right() - 16 - 108, fy + 24 + 3 + 7.5 - 12, 108, 24);
    if (in_.quoteSent) return;
    l.at(C::quoteField) = QRectF(x0, fy, cw - 70, 24);
    l.at(C::quoteSend) = QRectF(x0 + cw - 62, fy, 62, 24);
    const double toggleW = 13 + 6 + measure_(celebration::quote::permission(), 10.5, QFont::Normal);
    l.at(C::quoteMayQuote) = QRectF(x0, fy + 24 + 3, toggleW, 15);
}

}  // namespace

IslandControl IslandLayout::controlAt(const QPointF& pos) const {
    // Small controls first: the steppers and values lie inside their chips.
    static constexpr std::array order = {
        C::focusMinus,      C::focusValue, C::focusPlus,  C::breakMinus,
        C::breakValue,      C::breakPlus,  C::focusChip,  C::breakChip,
        C::detach,          C::settings,   C::phaseFocus, C::phaseBreak,
        C::countdown,       C::reset,      C::startPause, C::skip,
        C::history,         C::undo,       C::taskPicker, C::moreActions,
        C::shortcutWarning, C::startBreak, C::quoteField, C::quoteMayQuote,
        C::quoteSend};
    for (const C c : order) {
        const QRectF& r = at(c);
        if (r.isEmpty()) continue;
        if (c == C::countdown && content != IslandContent::expanded &&
            content != IslandContent::mini)
            continue;  // the closed island's time and the banner lines are not editable
        if (r.contains(pos)) return c;
    }
    return C::count;
}

QRectF IslandLayout::cardBox() const {
    return island.adjusted(8 + inset, std::max(4.0, band - 4), -8 - inset, -6);
}

QRectF IslandLayout::countdownRegion() const {
    if (content == IslandContent::blockedSite) return at(C::countdown);
    return at(C::countdown) | at(C::progress);
}

bool IslandLayout::showsScrollCue() const {
    return content == IslandContent::collapsed && !metrics.isPill() && !active && hovering;
}

namespace islandlayout {

IslandLayoutInput readInput(const TimerModel& model, const IslandState& island,
                            const AppPreferences& preferences, bool hasTaskHook,
                            const celebration::QuotePromptState& quote, double width) {
    IslandLayoutInput in;
    in.width = width;
    in.metrics = island.metrics();
    in.notchPreview = island.notchPreviewMetrics();
    in.expanded = island.isExpanded();
    in.hovering = island.isHovering();
    in.flags = island.contentFlags();
    in.running = model.runState() == TimerModel::RunState::running;
    in.active = model.isActive();
    in.shortcutError = preferences.shortcutError();
    in.startPauseShortcut = preferences.shortcut(ShortcutAction::startPause);
    in.taskPicker = preferences.tickTickEnabled() && hasTaskHook;
    in.focusMinutesToday = model.focusMinutesToday();
    in.completedToday = model.completedToday();
    if (const auto offer = model.undoOffer()) in.undoLabel = offer->label;
    if (const auto& card = island.celebration()) {
        in.cardShowsFigures = card->showsFigures();
        in.cardShowsQuotePrompt = card->showQuotePrompt;
        in.quoteSent = quote.sent && quote.cardID == card->id;
    }
    return in;
}

IslandLayout compute(const IslandLayoutInput& in) {
    IslandLayout l;
    const auto& preview = in.notchPreview;
    l.metrics = preview ? *preview : in.metrics;
    l.running = in.running;
    l.active = in.active;
    l.showsShortcutWarning = in.shortcutError.has_value();
    const double w = in.width;
    Placer place(in, l);

    if (!in.expanded) {
        l.content = IslandContent::collapsed;
        l.hovering = in.hovering && !preview;
        const SizeF s = collapsedViewSize(l.metrics, l.active, l.hovering);
        l.island = QRectF((w - s.width) / 2, 0, s.width, s.height);
        l.shape = S::shapeFor(l.metrics.isPill(), false, s.height, l.hovering && !l.active);
        place.layoutCollapsed();
        return l;
    }

    // An open pill keeps its size while it is dragged over the notch; only its outline changes.
    const IslandMetrics& sizing = preview ? in.metrics : l.metrics;
    const ExpandedContentFlags& flags = in.flags;
    if (flags.hasCelebration)
        l.content = IslandContent::celebration;
    else if (flags.hasBlockWarning)
        l.content = IslandContent::blockWarning;
    else if (flags.hasBlockedSite)
        l.content = IslandContent::blockedSite;
    else if (sizing.isPill())
        l.content = IslandContent::mini;
    else
        l.content = IslandContent::expanded;
    const SizeF s = contentSize(sizing, flags);
    l.island = QRectF((w - s.width) / 2, 0, s.width, s.height);
    l.shape = S::shapeFor(l.metrics.isPill(), true, s.height, false);
    l.band = sizing.isPill() ? 12 : sizing.notchHeight;
    l.inset =
        (1 - std::clamp(l.shape.detach, 0.0, 1.0)) * std::min(s.width * 0.25, l.shape.topRadius);
    l.showsHint = flags.durationHovered;

    switch (l.content) {
        case IslandContent::celebration:
            place.layoutCelebration();
            break;
        case IslandContent::blockWarning:
        case IslandContent::blockedSite:
            place.layoutBanner();
            break;
        case IslandContent::mini:
            place.layoutMini();
            break;
        case IslandContent::expanded:
            place.layoutExpanded();
            break;
        case IslandContent::collapsed:
            break;
    }
    return l;
}

QRectF centeredSquare(const QPointF& center, double size) {
    return QRectF(center.x() - size / 2, center.y() - size / 2, size, size);
}

bool isChipPart(IslandControl c, Mode mode) {
    if (mode == Mode::focus)
        return c == C::focusChip || c == C::focusMinus || c == C::focusValue || c == C::focusPlus;
    return c == C::breakChip || c == C::breakMinus || c == C::breakValue || c == C::breakPlus;
}

double progress(const TimerModel& model) {
    const double total = static_cast<double>(model.phaseSeconds());
    if (total <= 0) return 0;
    return std::clamp((total - static_cast<double>(model.remaining())) / total, 0.0, 1.0);
}

qint64 progressStep(const IslandLayout& layout, double progress, double devicePixelRatio) {
    const QRectF r = layout.rect(IslandControl::progress);
    const bool ring = std::abs(r.width() - r.height()) < 1;
    const double length = ring ? M_PI * r.width() : r.width();
    const double pixels = std::max(1.0, length * std::max(1.0, devicePixelRatio));
    const double value = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    return static_cast<qint64>(std::floor(value * pixels));
}

}  // namespace islandlayout

}  // namespace tw
