#pragma once

// Where everything on the island goes: which content the island shows, its rectangle and
// outline, and the rectangle and help of each control. A pure computation over a small
// description of the state (IslandLayoutInput), so it can be checked without a widget or a
// display. Rectangles are in the coordinates of a widget `width` wide (y down) that hangs the
// island from its top centre, and describe where things end up once animations settle.

#include <QFont>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <array>
#include <optional>

#include "island/IslandGeometry.h"
#include "island/IslandViewStyle.h"
#include "preferences/PreferenceTypes.h"
#include "timer/TimerModel.h"

namespace tw {

class AppPreferences;
class IslandState;
namespace celebration {
struct QuotePromptState;
}

// What the open or closed island shows; the first that applies wins.
enum class IslandContent {
    collapsed,     // the closed island
    celebration,   // the completion card
    blockWarning,  // a site is about to be blanked
    blockedSite,   // a site was just blanked
    mini,          // the open pill
    expanded,      // the full island
};

// Everything on the island that reacts to the pointer.
enum class IslandControl {
    detach,
    settings,
    phaseFocus,
    phaseBreak,
    countdown,
    progress,
    reset,
    startPause,
    skip,
    focusChip,
    focusMinus,
    focusValue,
    focusPlus,
    breakChip,
    breakMinus,
    breakValue,
    breakPlus,
    history,
    undo,
    taskPicker,
    moreActions,
    shortcutWarning,
    startBreak,
    quoteField,
    quoteMayQuote,
    quoteSend,
    count,
};

// The width of `text` in the island's font of `pixelSize` and `weight`.
using IslandTextMeasure = double (*)(const QString& text, double pixelSize, QFont::Weight weight);

// What the layout reads of the timer, the island state and the preferences.
struct IslandLayoutInput {
    double width = 0;  // of the widget
    IslandMetrics metrics;
    std::optional<IslandMetrics> notchPreview;  // a pill dragged over the notch
    bool expanded = false;
    bool hovering = false;  // the closed island is hovered
    ExpandedContentFlags flags;
    bool running = false;
    bool active = false;  // running or paused
    std::optional<QString> shortcutError;
    ShortcutConfiguration startPauseShortcut;
    bool taskPicker = false;  // TickTick is on and the picker has its hook
    qint64 focusMinutesToday = 0;
    qint64 completedToday = 0;
    std::optional<QString> undoLabel;  // the offered undo
    // The completion card.
    bool cardShowsFigures = false;
    bool cardShowsQuotePrompt = false;
    bool quoteSent = false;  // the card's prompt was answered
    // Measures the texts whose width places a control; none: the island's fonts.
    IslandTextMeasure measure = nullptr;
};

struct IslandLayout {
    static constexpr size_t controlCount = static_cast<size_t>(IslandControl::count);

    IslandContent content = IslandContent::collapsed;
    IslandMetrics metrics;  // the metrics drawn (a notch preview while a pill is dragged)
    QRectF island;
    islandstyle::ShapeParams shape;
    double band = 0;   // height of the top strip (the notch or menu bar area)
    double inset = 0;  // how far the flared top corners move the body in on each side
    bool running = false;
    bool active = false;
    bool hovering = false;
    bool showsShortcutWarning = false;
    bool showsHint = false;
    std::array<QRectF, controlCount> rects{};
    std::array<QString, controlCount> tips{};

    // Empty when the control is not shown.
    QRectF rect(IslandControl c) const { return c == IslandControl::count ? QRectF() : at(c); }
    QString help(IslandControl c) const {
        return c == IslandControl::count ? QString() : tips[static_cast<size_t>(c)];
    }
    QRectF& at(IslandControl c) { return rects[static_cast<size_t>(c)]; }
    const QRectF& at(IslandControl c) const { return rects[static_cast<size_t>(c)]; }
    QString& tip(IslandControl c) { return tips[static_cast<size_t>(c)]; }

    // The control under `pos`, the smallest first; `count` for none. The closed island's time
    // and the banner's lines take no clicks.
    IslandControl controlAt(const QPointF& pos) const;
    // The completion card's dark box.
    QRectF cardBox() const;
    // The width of the card's lines of text.
    double cardTextWidth() const { return cardBox().width() - 32; }
    // The part redrawn once a second while the timer runs.
    QRectF countdownRegion() const;
    // The swipe hint under the hovered, idle notch island.
    bool showsScrollCue() const;
};

namespace islandlayout {

// The input as the island's state stands now.
IslandLayoutInput readInput(const TimerModel& model, const IslandState& island,
                            const AppPreferences& preferences, bool hasTaskHook,
                            const celebration::QuotePromptState& quote, double width);

IslandLayout compute(const IslandLayoutInput& input);

// Measures shared by the layout and the drawing.
inline constexpr double openPadding = 16;  // inner padding of the open island
inline constexpr double cardTop = 10;      // the completion card's padding above its first row
inline constexpr double cardRowA = 38;     // the card's seal with the title and subtitle beside it

// A square of `size` centred on `center`.
QRectF centeredSquare(const QPointF& center, double size);

// Whether `c` is part of the duration chip of `mode` (its body, steppers or value).
bool isChipPart(IslandControl c, TimerModel::Mode mode);

// How much of the phase has passed, 0…1 (the ring and the bar).
double progress(const TimerModel& model);
// Which step of its drawing the progress control of `layout` (the ring's circumference or the
// bar's length) shows at `progress`, in device pixels at `devicePixelRatio`. The drawn shape
// changes only when the step does: a 25-minute ring moves by a pixel about every half minute,
// not every second (an antialiased ring costs more to draw than the digits).
qint64 progressStep(const IslandLayout& layout, double progress, double devicePixelRatio);

}  // namespace islandlayout

}  // namespace tw
