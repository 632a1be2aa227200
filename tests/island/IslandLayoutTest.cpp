// The island's layout as a pure computation: no widget, no display, texts measured at six points
// a character.
#include <gtest/gtest.h>

#include <cmath>

#include <QFontMetricsF>

#include <functional>

#include "island/IslandFixture.h"
#include "island/IslandLayout.h"
#include "island/IslandViewStyle.h"

namespace tw::test {
namespace {

using C = IslandControl;
using Content = IslandContent;

double sixPerCharacter(const QString& text, double, QFont::Weight) {
    return 6.0 * static_cast<double>(text.size());
}

IslandLayoutInput base(IslandMetrics metrics) {
    IslandLayoutInput in;
    in.width = 460;
    in.metrics = metrics;
    in.measure = sixPerCharacter;
    return in;
}

QList<C> shown(const IslandLayout& l) {
    QList<C> out;
    for (int n = 0; n < static_cast<int>(C::count); ++n)
        if (!l.rect(static_cast<C>(n)).isEmpty()) out << static_cast<C>(n);
    return out;
}

const QList<C> kChips = {C::focusChip, C::focusMinus, C::focusValue, C::focusPlus,
                         C::breakChip, C::breakMinus, C::breakValue, C::breakPlus};
const QList<C> kExpanded =
    QList<C>{C::detach,   C::settings, C::phaseFocus, C::phaseBreak, C::countdown,
             C::progress, C::reset,    C::startPause, C::skip} +
    kChips + QList<C>{C::history};
const QList<C> kMini = {C::countdown, C::progress, C::reset,      C::startPause,
                        C::skip,      C::history,  C::moreActions};

struct LayoutCase {
    const char* name;
    IslandMetrics metrics;
    std::function<void(IslandLayoutInput&)> set;
    Content content;
    QSizeF size;  // empty: not checked here
    QList<C> controls;
};

TEST(IslandLayout, EachStateShowsItsContentAndControls) {
    const auto open = [](IslandLayoutInput& in) { in.expanded = true; };
    const auto card = [](bool figures, bool prompt, bool sent) {
        return [=](IslandLayoutInput& in) {
            in.expanded = true;
            in.flags.hasCelebration = true;
            in.cardShowsFigures = figures;
            in.cardShowsQuotePrompt = prompt;
            in.quoteSent = sent;
        };
    };
    const LayoutCase cases[] = {
        {"closed pill",
         pillMetrics(),
         [](auto&) {},
         Content::collapsed,
         {208, 26},
         {C::countdown, C::progress}},
        {"hovered pill",
         pillMetrics(),
         [](auto& in) { in.hovering = true; },
         Content::collapsed,
         {208 + 12 + 160, 29},
         {C::countdown, C::progress, C::startPause, C::moreActions}},
        {"closed notch, idle", notchMetrics(), [](auto&) {}, Content::collapsed, {}, {}},
        {"closed notch, idle, hovered",
         notchMetrics(),
         [](auto& in) { in.hovering = true; },
         Content::collapsed,
         {},
         {C::detach}},
        {"closed notch, running and hovered",
         notchMetrics(),
         [](auto& in) { in.hovering = in.active = in.running = true; },
         Content::collapsed,
         {},
         {C::countdown, C::progress}},
        {"closed pill dragged over the notch",
         pillMetrics(),
         [](auto& in) {
             in.hovering = true;
             in.notchPreview = notchMetrics();
         },
         Content::collapsed,
         {},
         {}},
        {"open notch", notchMetrics(), open, Content::expanded, {404, 188}, kExpanded},
        {"open notch, chip hovered",
         notchMetrics(),
         [](auto& in) {
             in.expanded = true;
             in.flags.durationHovered = true;
         },
         Content::expanded,
         {404, 212},
         kExpanded},
        {"open notch with undo, picker and warning",
         notchMetrics(),
         [](auto& in) {
             in.expanded = true;
             in.undoLabel = QStringLiteral("Session reset");
             in.taskPicker = true;
             in.shortcutError = QStringLiteral("Taken");
         },
         Content::expanded,
         {},
         kExpanded + QList<C>{C::undo, C::taskPicker, C::shortcutWarning}},
        {"open pill", pillMetrics(), open, Content::mini, {256, 128}, kMini},
        {"open pill dragged over the notch",
         pillMetrics(),
         [](auto& in) {
             in.expanded = true;
             in.notchPreview = notchMetrics();
         },
         Content::mini,
         {256, 128},
         {C::countdown, C::progress, C::reset, C::startPause, C::skip, C::moreActions}},
        {"blocked site",
         pillMetrics(),
         [](auto& in) {
             in.expanded = true;
             in.flags.hasBlockedSite = true;
         },
         Content::blockedSite,
         {384, 180},
         {C::countdown}},
        {"block warning over a blocked site",
         pillMetrics(),
         [](auto& in) {
             in.expanded = true;
             in.flags.hasBlockedSite = in.flags.hasBlockWarning = true;
         },
         Content::blockWarning,
         {},
         {C::countdown}},
        {"short card", pillMetrics(), card(false, false, false), Content::celebration, {}, {}},
        {"card",
         pillMetrics(),
         card(true, false, false),
         Content::celebration,
         {},
         {C::startBreak}},
        {"card with the prompt",
         notchMetrics(),
         card(true, true, false),
         Content::celebration,
         {},
         {C::startBreak, C::quoteField, C::quoteMayQuote, C::quoteSend}},
        {"card with the prompt answered",
         notchMetrics(),
         card(true, true, true),
         Content::celebration,
         {},
         {C::startBreak}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        IslandLayoutInput in = base(c.metrics);
        c.set(in);
        const IslandLayout l = islandlayout::compute(in);
        EXPECT_EQ(l.content, c.content);
        if (!c.size.isEmpty()) {
            EXPECT_EQ(l.island.size(), c.size);
        }
        EXPECT_DOUBLE_EQ(l.island.center().x(), in.width / 2);
        EXPECT_EQ(l.island.top(), 0);
        EXPECT_EQ(shown(l), c.controls);
        for (const C control : c.controls) {
            EXPECT_TRUE(l.island.contains(l.rect(control)))
                << "control " << static_cast<int>(control) << " lies inside the island";
        }
    }
}

TEST(IslandLayout, MeasuredTextsPlaceTheLinks) {
    IslandLayoutInput in = base(notchMetrics());
    in.expanded = true;
    in.focusMinutesToday = 25;
    in.completedToday = 1;
    in.undoLabel = QStringLiteral("Session reset");
    const IslandLayout l = islandlayout::compute(in);
    // "Today: 25m · 1 session" beside its icon and chevron; "Undo Session reset" at the right.
    EXPECT_DOUBLE_EQ(l.rect(C::history).width(), 12 + 5 + 6 * 22 + 4 + 8);
    EXPECT_DOUBLE_EQ(l.rect(C::undo).width(), 12 + 5 + 6 * 18);
    EXPECT_DOUBLE_EQ(l.rect(C::undo).right(), l.rect(C::skip).right());
    EXPECT_EQ(l.help(C::undo), QStringLiteral("Restore the session"));
    EXPECT_EQ(l.help(C::count), QString());
    EXPECT_TRUE(l.rect(C::count).isEmpty());
}

TEST(IslandLayout, HitTestingAndTheRepaintedCountdown) {
    IslandLayoutInput in = base(notchMetrics());
    in.expanded = true;
    const IslandLayout open = islandlayout::compute(in);
    struct Hit {
        const char* name;
        QPointF at;
        C expected;
    } hits[] = {
        {"a stepper inside its chip", open.rect(C::breakPlus).center(), C::breakPlus},
        {"the chip's label", open.rect(C::breakChip).topLeft() + QPointF(8, 8), C::breakChip},
        {"the value", open.rect(C::focusValue).center(), C::focusValue},
        {"the countdown", open.rect(C::countdown).center(), C::countdown},
        {"an empty place", QPointF(open.island.left() + 200, open.island.top() + 40), C::count},
        {"outside", QPointF(2, 2), C::count},
    };
    for (const Hit& h : hits) EXPECT_EQ(open.controlAt(h.at), h.expected) << h.name;
    EXPECT_EQ(open.countdownRegion(), open.rect(C::countdown) | open.rect(C::progress));

    // The closed island's time and the blanked-site line take no clicks.
    in.expanded = false;
    in.active = in.running = true;
    const IslandLayout closed = islandlayout::compute(in);
    EXPECT_EQ(closed.controlAt(closed.rect(C::countdown).center()), C::count);
    in.expanded = true;
    in.flags.hasBlockedSite = true;
    const IslandLayout notice = islandlayout::compute(in);
    EXPECT_EQ(notice.controlAt(notice.rect(C::countdown).center()), C::count);
    EXPECT_EQ(notice.countdownRegion(), notice.rect(C::countdown));
}

TEST(IslandLayout, TheProgressIsRepaintedOnlyWhenWhatItDrawsChanges) {
    const IslandLayout pill = islandlayout::compute(base(pillMetrics()));
    IslandLayoutInput open = base(notchMetrics());
    open.expanded = true;
    const IslandLayout bar = islandlayout::compute(open);
    // Device pixels along the ring (14 points across) and the bar (150 long).
    const double ring = M_PI * pill.rect(C::progress).width();
    const double barLength = bar.rect(C::progress).width();
    struct Case {
        const char* name;
        const IslandLayout& layout;
        double progress;
        double dpr;
        qint64 step;
    } cases[] = {
        {"ring, start", pill, 0, 1, 0},
        {"ring, one second of 25 minutes", pill, 1.0 / 1500, 1, 0},
        {"ring, just under a step", pill, 0.999 / ring, 1, 0},
        {"ring, one step", pill, 1.0 / ring, 1, 1},
        {"ring, twice as many pixels", pill, 1.0 / ring, 2, 2},
        {"ring, done", pill, 1, 1, qint64(std::floor(ring))},
        {"ring, beyond done", pill, 2, 1, qint64(std::floor(ring))},
        {"ring, not a number", pill, std::nan(""), 1, 0},
        {"bar, half", bar, 0.5, 1, qint64(std::floor(barLength / 2))},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(islandlayout::progressStep(c.layout, c.progress, c.dpr), c.step) << c.name;
    }
    // A 25-minute ring moves a step about every half minute.
    int repaints = 0;
    qint64 last = 0;
    for (int second = 1; second <= 120; ++second) {
        const qint64 step = islandlayout::progressStep(pill, second / 1500.0, 1);
        if (step != last) ++repaints;
        last = step;
    }
    EXPECT_EQ(repaints, 3);
}

TEST(IslandLayout, LongTextsGetSmallerToFitTheirPlaces) {
    const QRectF countdown = islandlayout::compute([] {
                                 IslandLayoutInput in = base(pillMetrics());
                                 in.expanded = true;
                                 return in;
                             }())
                                 .rect(C::countdown);
    IslandLayoutInput cardInput = base(pillMetrics());
    cardInput.expanded = true;
    cardInput.flags.hasCelebration = true;
    cardInput.cardShowsFigures = true;
    const double cardText = islandlayout::compute(cardInput).cardTextWidth();
    const QString longSummary = TimerModel::SessionSummary{180, 128, Instant{}}.line(999);
    struct Case {
        const char* name;
        QString text;
        double size;
        QFont::Weight weight;
        double width;
        bool tabular;
        bool smaller;
    } cases[] = {
        {"a usual card summary", TimerModel::SessionSummary{25, 3, Instant{}}.line(4), 12.5,
         QFont::Medium, cardText, false, false},
        {"a card summary with long figures", longSummary, 12.5, QFont::Medium, cardText, false,
         true},
        {"a usual countdown", QStringLiteral("24:59"), 27, QFont::Normal, countdown.width() - 2,
         true, false},
        {"three-digit minutes", QStringLiteral("119:59"), 27, QFont::Normal, countdown.width() - 2,
         true, true},
        {"a paused label", QStringLiteral("Focus \u00b7 paused"), 11, QFont::DemiBold, 84, false,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QFont f = islandstyle::fittedFont(c.text, c.size, c.weight, c.width, c.tabular);
        const double width = c.tabular ? islandstyle::tabularTextWidth(c.text, f)
                                       : QFontMetricsF(f).horizontalAdvance(c.text);
        EXPECT_LE(width, c.width);
        EXPECT_EQ(f.pixelSize() < c.size, c.smaller);
        EXPECT_GE(f.pixelSize(), c.size * 2 / 3 - 0.5);
    }
}

}  // namespace
}  // namespace tw::test
