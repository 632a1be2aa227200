#pragma once

// Drawing vocabulary of the island: the mode colours, fonts, the island's outline and its morph
// between the notch and pill looks, the progress ring and bar, tinted icons and text with
// monospaced digits. Everything here paints with a QPainter and holds no state.

#include <QColor>
#include <QFont>
#include <QList>
#include <QMenu>
#include <QPainterPath>
#include <QRectF>
#include <QString>

#include "timer/TimerModel.h"

class QPainter;

namespace tw::islandstyle {

// The colour of each mode, used by every control that belongs to it.
QColor focusColor();
QColor breakColor();
QColor modeColor(TimerModel::Mode mode);
// Gives a menu the island's dark look: a near-black rounded panel, the chosen item in `accent`.
void styleMenu(QMenu& menu, const QColor& accent);

// Shades of white on the black island.
inline QColor white(double opacity) {
    QColor c(Qt::white);
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}

// The system sans-serif font at `pixelSize` (points of the island are pixels of the widget).
QFont font(double pixelSize, QFont::Weight weight = QFont::Normal);
// The font of `pixelSize` and `weight`, made smaller where `text` would not fit `width` (in half
// pixels, down to two thirds of the size); `tabular` measures digits at the widest digit's
// advance, as paintTabularText draws them.
QFont fittedFont(const QString& text, double pixelSize, QFont::Weight weight, double width,
                 bool tabular = false);

// The parameters of the island outline; animating all three morphs the outline.
struct ShapeParams {
    double topRadius = 0;
    double bottomRadius = 0;
    double detach = 1;  // 0: the top corners flare out into the top strip; 1: ordinary corners
    friend bool operator==(const ShapeParams&, const ShapeParams&) = default;
};

// The island outline in `rect` (y grows downward).
QPainterPath islandShapePath(const QRectF& rect, const ShapeParams& shape);

// Whether `area` lies wholly in the outline's opaque inside, at least `inset` away from its edge:
// there a plain rectangle paints what the outline would.
bool insideIslandShape(const QRectF& rect, const ShapeParams& shape, const QRectF& area,
                       double inset = 1);

// The outline for a state: the pill as a capsule when closed and with 18-point corners when open;
// the notch look with small flared top corners, rounder when open, and a slightly rounder bottom
// while hovered and idle.
ShapeParams shapeFor(bool pill, bool open, double height, bool hoveredIdle);

// A circle track and a clockwise arc from the top for `progress` (clamped to 0…1).
void paintProgressRing(QPainter& p, const QRectF& rect, double progress, const QColor& color,
                       double lineWidth);
// A capsule track and a filled capsule of `progress` of the width.
void paintProgressBar(QPainter& p, const QRectF& rect, double progress, const QColor& color);

// The icon named after `symbol` (":/icons/<symbol>.svg") drawn in `color`, centred in `rect` at
// `iconSize`. Rendered pictures are cached per symbol, size, colour and pixel ratio.
void paintIcon(QPainter& p, const QString& symbol, const QRectF& rect, double iconSize,
               const QColor& color);
// Whether an icon of that name is compiled in.
bool hasIcon(const QString& symbol);

// Text whose digits all take the width of the widest digit, so a running countdown does not
// wobble; drawn with `align` (left, centre or right, vertically centred) in `rect`.
// The band of `rect` that such text may ink: the font's ascent and descent about the middle.
QRectF tabularTextBand(const QRectF& rect, const QFont& font);
// Each character's slot in that band, as paintTabularText lays the text out.
QList<QRectF> tabularTextCells(const QRectF& rect, const QString& text, const QFont& font,
                               Qt::Alignment align);
void paintTabularText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
                      const QColor& color, Qt::Alignment align);
double tabularTextWidth(const QString& text, const QFont& font);

// Text elided at the right end to fit `rect`.
void paintText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
               const QColor& color, Qt::Alignment align);

// A run of text with Markdown emphasis: "**strong**" or "*emphasis*".
struct EmphasisRun {
    QString text;
    bool strong = false;
    bool emphasis = false;
    friend bool operator==(const EmphasisRun&, const EmphasisRun&) = default;
};
QList<EmphasisRun> emphasisRuns(const QString& text);
// Text with Markdown emphasis (strong runs in bold, emphasised ones in italics) on one line,
// left-aligned and vertically centred in `rect`. The font starts at `pixelSize` and shrinks by
// whole pixels, down to `minPixelSize`, until the line fits. Answers the size used.
double paintEmphasisedText(QPainter& p, const QRectF& rect, const QString& text, double pixelSize,
                           double minPixelSize, const QColor& color);

}  // namespace tw::islandstyle
