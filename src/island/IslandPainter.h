#pragma once

// Draws the island: its outline, then the content of a given layout, from the timer, the island
// state and what the pointer and the text fields are doing. Holds nothing between paints.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <optional>

#include "island/IslandLayout.h"
#include "island/IslandViewStyle.h"
#include "timer/TimerModel.h"

class QPainter;

namespace tw {

class IslandState;
namespace celebration {
struct QuotePromptState;
}

// What the painter draws besides the layout.
struct IslandPaintState {
    const TimerModel* model = nullptr;
    const IslandState* island = nullptr;
    const celebration::QuotePromptState* quote = nullptr;
    std::optional<IslandControl> hovered;
    std::optional<IslandControl> pressed;
    bool countdownEditing = false;                // the countdown's field covers the time
    std::optional<TimerModel::Mode> chipEditing;  // that chip's field covers its value
    QString taskTitle;                            // the task picker's title
    bool taskChosen = false;
    // The outline as it is drawn now: it morphs towards the layout's.
    QRectF outline;
    islandstyle::ShapeParams outlineShape;
    double contentOpacity = 1;
    double cueOffset = 0;  // the swipe cue's arrow, moved down
    bool reducedMotion = false;
    double cardElapsed = 0;  // seconds since the completion card appeared
    // The part being repainted (empty: all of it); what lies outside is not drawn at all.
    QRectF dirty;
    // The window is cut to the outline (no compositor): what lies outside the outline is never
    // seen, so the background may be black up to the widget's edges.
    bool shaped = false;
};

class IslandPainter {
public:
    IslandPainter(const IslandLayout& layout, const IslandPaintState& state);

    void paint(QPainter& p) const;

    // The font of the closed island's time.
    static QFont collapsedCountdownFont();
    static Qt::Alignment collapsedCountdownAlignment(const IslandLayout& layout);

private:
    // Whether `r` needs drawing in this repaint.
    bool dirty(const QRectF& r) const;
    void paintCollapsed(QPainter& p) const;
    void paintExpanded(QPainter& p) const;
    void paintMini(QPainter& p) const;
    void paintBanner(QPainter& p) const;
    void paintCelebration(QPainter& p) const;
    void paintIconButton(QPainter& p, IslandControl c, const QString& symbol, double iconSize,
                         const QColor& tint, const QColor& fill = QColor()) const;
    void paintPhaseSwitch(QPainter& p) const;
    void paintChip(QPainter& p, TimerModel::Mode mode) const;
    void paintHistoryLink(QPainter& p, const QColor& accent) const;
    void paintUndoLink(QPainter& p, const QColor& accent) const;
    void paintTaskPicker(QPainter& p, const QColor& accent) const;
    void paintShortcutWarning(QPainter& p) const;
    void paintCountdown(QPainter& p, IslandControl c, const QFont& font, const QColor& color,
                        Qt::Alignment align) const;

    const IslandLayout& layout_;
    const IslandPaintState& state_;
    const TimerModel& model_;
    const IslandState& island_;
    const celebration::QuotePromptState& quoteState_;
};

}  // namespace tw
