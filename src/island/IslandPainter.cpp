#include "island/IslandPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>

#include "island/CompletionCelebration.h"
#include "island/IslandState.h"
#include "island/IslandViewText.h"

namespace tw {

namespace S = islandstyle;
namespace T = islandtext;
namespace L = islandlayout;
using C = IslandControl;
using Mode = TimerModel::Mode;

namespace {

double textWidth(const QString& text, const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

QColor amber() {
    return QColor::fromRgbF(1.0f, 0.76f, 0.28f, 1.0f);
}

}  // namespace

IslandPainter::IslandPainter(const IslandLayout& layout, const IslandPaintState& state)
    : layout_(layout),
      state_(state),
      model_(*state.model),
      island_(*state.island),
      quoteState_(*state.quote) {}

void IslandPainter::paint(QPainter& p) const {
    const bool morphing = state_.outline != layout_.island || state_.outlineShape != layout_.shape;
    const bool rim = layout_.metrics.isPill() && layout_.content != IslandContent::collapsed;
    if (!morphing && ((state_.shaped && !rim) ||
                      S::insideIslandShape(state_.outline, state_.outlineShape, state_.dirty))) {
        // A repaint inside the outline (the time, each second), or of a window cut to the
        // outline: the outline and its rim are not touched, so the background is a rectangle.
        if (state_.dirty.isEmpty()) {
            p.fillRect(p.window(), Qt::black);
        } else {
            p.fillRect(state_.dirty, Qt::black);
        }
    } else {
        const QPainterPath path = S::islandShapePath(state_.outline, state_.outlineShape);
        p.fillPath(path, Qt::black);
        if (rim) {
            p.setPen(QPen(S::white(0.08), 1));
            p.drawPath(path);
        }
        if (morphing) p.setClipPath(path);
    }
    p.setOpacity(state_.contentOpacity);
    switch (layout_.content) {
        case IslandContent::collapsed:
            paintCollapsed(p);
            break;
        case IslandContent::expanded:
            paintExpanded(p);
            break;
        case IslandContent::mini:
            paintMini(p);
            break;
        case IslandContent::blockWarning:
        case IslandContent::blockedSite:
            paintBanner(p);
            break;
        case IslandContent::celebration:
            paintCelebration(p);
            break;
    }
}

void IslandPainter::paintIconButton(QPainter& p, IslandControl c, const QString& symbol,
                                    double iconSize, const QColor& tint, const QColor& fill) const {
    const QRectF r = layout_.rect(c);
    if (r.isEmpty()) return;
    const bool hover = state_.hovered == c;
    const bool press = state_.pressed == c && hover;
    p.save();
    if (press) {
        p.translate(r.center());
        p.scale(0.92, 0.92);
        p.translate(-r.center());
        p.setOpacity(p.opacity() * 0.7);
    }
    QColor bg = fill.isValid() ? fill : S::white(hover ? 0.16 : 0.08);
    if (fill.isValid() && hover) bg = bg.lighter(110);
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawEllipse(r);
    QColor color = tint;
    if (hover && !fill.isValid()) color = S::white(1);
    S::paintIcon(p, symbol, r, iconSize, color);
    p.restore();
}

void IslandPainter::paintCountdown(QPainter& p, IslandControl c, const QFont& font,
                                   const QColor& color, Qt::Alignment align) const {
    if (c == C::countdown && state_.countdownEditing) return;
    const QRectF r = layout_.rect(c);
    if (state_.hovered == C::countdown && c == C::countdown &&
        layout_.content != IslandContent::collapsed) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(S::white(0.06));
        p.drawRoundedRect(r.adjusted(-2, 2, 2, -2), 8, 8);
        p.restore();
    }
    S::paintTabularText(p, r, model_.formattedRemaining(), font, color, align);
}

QFont IslandPainter::collapsedCountdownFont() {
    static const QFont font = S::font(13, QFont::DemiBold);  // asked for every second
    return font;
}

Qt::Alignment IslandPainter::collapsedCountdownAlignment(const IslandLayout& layout) {
    return layout.metrics.isPill() ? Qt::AlignRight : Qt::AlignHCenter;
}

bool IslandPainter::dirty(const QRectF& r) const {
    return state_.dirty.isEmpty() || state_.dirty.intersects(r);
}

void IslandPainter::paintCollapsed(QPainter& p) const {
    const IslandLayout& l = layout_;
    const QRectF R = l.island;
    const QColor accent = S::modeColor(model_.mode());
    const QColor tone = l.running ? accent : S::white(0.6);
    if (l.metrics.isPill()) {
        // Mode dot and name, the time, the ring; while hovered, start/pause and more actions.
        const double cy = R.center().y();
        // Each second repaints only the time (and the ring now and then): the rest is not drawn.
        const QRectF dot = L::centeredSquare({R.left() + 14 + 3, cy}, 6);
        const double labelRight = l.rect(C::countdown).left() - 8;
        const QRectF labelRect(dot.right() + 7, R.top(), labelRight - dot.right() - 7, R.height());
        if (dirty(dot | labelRect)) {
            p.setPen(Qt::NoPen);
            p.setBrush(l.active ? accent : S::white(0.45));
            p.drawEllipse(dot);
            QString label = TimerModel::title(model_.mode());
            if (model_.runState() == TimerModel::RunState::paused) label = QStringLiteral("Paused");
            S::paintText(p, labelRect, label, S::font(12, QFont::Medium),
                         S::white(l.active ? 0.9 : 0.6), Qt::AlignLeft);
        }
        if (dirty(l.rect(C::countdown))) {
            paintCountdown(p, C::countdown, collapsedCountdownFont(),
                           l.active ? tone : S::white(0.75), collapsedCountdownAlignment(l));
        }
        if (dirty(l.rect(C::progress))) {
            S::paintProgressRing(p, l.rect(C::progress), islandlayout::progress(model_), tone, 2.2);
        }
        if (l.hovering) {
            paintIconButton(p, C::startPause,
                            l.running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
                            11, S::white(0.9));
            paintIconButton(p, C::moreActions, QStringLiteral("ellipsis"), 12, S::white(0.9));
        }
        return;
    }
    if (l.active) {
        S::paintProgressRing(p, l.rect(C::progress), islandlayout::progress(model_), tone, 2.2);
        paintCountdown(p, C::countdown, collapsedCountdownFont(), tone,
                       collapsedCountdownAlignment(l));
        return;
    }
    if (l.hovering) {
        const double stripTop = R.top() + l.metrics.notchHeight;
        const QRectF strip(R.left() + 14, stripTop, R.width() - 28, R.bottom() - stripTop - 2);
        S::paintIcon(p, QStringLiteral("arrow.down"),
                     QRectF(strip.left(), strip.top() + state_.cueOffset, 12, strip.height()), 10,
                     S::white(0.5));
        S::paintEmphasisedText(
            p, QRectF(strip.left() + 16, strip.top(), strip.width() - 16 - 30, strip.height()),
            T::swipeHint(), 11, 8, S::white(0.55));
        paintIconButton(p, C::detach, QStringLiteral("rectangle.on.rectangle"), 12, S::white(0.85));
    }
}

void IslandPainter::paintPhaseSwitch(QPainter& p) const {
    const QRectF track = layout_.rect(C::phaseFocus) | layout_.rect(C::phaseBreak);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(S::white(0.08));
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    for (const Mode mode : {Mode::focus, Mode::rest}) {
        const C c = mode == Mode::focus ? C::phaseFocus : C::phaseBreak;
        const QRectF r = layout_.rect(c).adjusted(2, 2, -2, -2);
        const bool selected = model_.mode() == mode;
        const QColor color = S::modeColor(mode);
        if (selected) {
            QColor fill = color;
            fill.setAlphaF(0.24f);
            p.setBrush(fill);
            p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
        }
        const QColor text = selected ? color : S::white(state_.hovered == c ? 0.85 : 0.55);
        S::paintText(p, r, TimerModel::title(mode),
                     S::font(12, selected ? QFont::DemiBold : QFont::Medium), text,
                     Qt::AlignHCenter);
    }
    p.restore();
}

void IslandPainter::paintChip(QPainter& p, Mode mode) const {
    const bool focus = mode == Mode::focus;
    const C body = focus ? C::focusChip : C::breakChip;
    const C minus = focus ? C::focusMinus : C::breakMinus;
    const C value = focus ? C::focusValue : C::breakValue;
    const C plus = focus ? C::focusPlus : C::breakPlus;
    const QRectF r = layout_.rect(body);
    const bool selected = model_.mode() == mode;
    const QColor tint = S::modeColor(mode);
    const int minutes = focus ? model_.focusMinutes() : model_.breakMinutes();
    const bool hover = state_.hovered && islandlayout::isChipPart(*state_.hovered, mode);

    p.save();
    p.setPen(Qt::NoPen);
    QColor fill = selected ? tint : S::white(hover ? 0.12 : 0.07);
    p.setBrush(fill);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    const QColor ink = selected ? QColor(20, 20, 20) : S::white(0.92);
    const QColor labelInk = selected ? QColor(20, 20, 20, 200) : tint;
    S::paintText(p, QRectF(r.left() + 13, r.top(), 60, r.height()), TimerModel::title(mode),
                 S::font(12, QFont::DemiBold), labelInk, Qt::AlignLeft);
    const auto step = [&](C c, const QString& symbol, bool atEnd) {
        const QRectF b = layout_.rect(c);
        QColor circle = selected ? QColor(0, 0, 0, state_.hovered == c ? 60 : 30)
                                 : S::white(state_.hovered == c ? 0.18 : 0.08);
        p.setBrush(circle);
        p.drawEllipse(b);
        QColor glyph = ink;
        if (atEnd) glyph.setAlphaF(0.3f);
        S::paintIcon(p, symbol, b, 10, glyph);
    };
    step(minus, QStringLiteral("minus"), minutes <= 1);
    step(plus, QStringLiteral("plus"), minutes >= 120);
    if (state_.chipEditing != mode) {
        // Three digits fit between the steppers by getting smaller.
        const QString text = QString::number(minutes);
        S::paintTabularText(
            p, layout_.rect(value), text,
            S::fittedFont(text, 13, QFont::DemiBold, layout_.rect(value).width() - 4, true), ink,
            Qt::AlignHCenter);
    }
    p.restore();
}

void IslandPainter::paintHistoryLink(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::history);
    if (r.isEmpty()) return;
    const bool hover = state_.hovered == C::history;
    const QFont f = S::font(11, QFont::Medium);
    const QString text = T::historyLine(model_.focusMinutesToday(), model_.completedToday());
    const QColor ink = S::white(hover ? 0.95 : 0.7);
    S::paintIcon(p, QStringLiteral("chart.bar"), QRectF(r.left(), r.top(), 12, r.height()), 11,
                 accent);
    const double tw = textWidth(text, f);
    S::paintText(p, QRectF(r.left() + 17, r.top(), tw + 1, r.height()), text, f, ink,
                 Qt::AlignLeft);
    S::paintIcon(p, QStringLiteral("chevron.right"),
                 QRectF(r.left() + 17 + tw + 3, r.top(), 8, r.height()), 7,
                 S::white(hover ? 0.8 : 0.4));
}

void IslandPainter::paintUndoLink(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::undo);
    const auto offer = model_.undoOffer();
    if (r.isEmpty() || !offer) return;
    QFont f = S::font(11, QFont::Medium);
    f.setUnderline(state_.hovered == C::undo);
    S::paintIcon(p, QStringLiteral("arrow.uturn.backward"),
                 QRectF(r.left(), r.top(), 12, r.height()), 11, accent);
    S::paintText(p, QRectF(r.left() + 17, r.top(), r.width() - 17 + 1, r.height()),
                 T::undoLine(offer->label), f, accent, Qt::AlignLeft);
}

void IslandPainter::paintTaskPicker(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::taskPicker);
    if (r.isEmpty()) return;
    const bool hover = state_.hovered == C::taskPicker;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(S::white(hover ? 0.14 : 0.07));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.restore();
    S::paintIcon(p, QStringLiteral("checkmark"), QRectF(r.left() + 8, r.top(), 12, r.height()), 10,
                 accent);
    S::paintText(p, QRectF(r.left() + 24, r.top(), r.width() - 24 - 20, r.height()),
                 state_.taskTitle, S::font(11, QFont::Medium),
                 S::white(state_.taskChosen ? 0.9 : 0.55), Qt::AlignLeft);
    S::paintIcon(p, QStringLiteral("chevron.down"), QRectF(r.right() - 18, r.top(), 10, r.height()),
                 8, S::white(0.55));
}

void IslandPainter::paintShortcutWarning(QPainter& p) const {
    const QRectF r = layout_.rect(C::shortcutWarning);
    if (r.isEmpty()) return;
    const QFont bold = S::font(10.5, QFont::DemiBold);
    S::paintIcon(p, QStringLiteral("exclamationmark.triangle.fill"),
                 QRectF(r.left(), r.top(), 12, 13), 11, amber());
    S::paintText(p, QRectF(r.left() + 17, r.top(), r.width() - 17, 13),
                 T::shortcutUnavailableTitle(), bold, amber(), Qt::AlignLeft);
    S::paintText(p, QRectF(r.left() + 17, r.top() + 13, r.width() - 17, 13),
                 T::shortcutUnavailableHint(), S::font(10.5),
                 S::white(state_.hovered == C::shortcutWarning ? 0.85 : 0.6), Qt::AlignLeft);
}

void IslandPainter::paintExpanded(QPainter& p) const {
    const IslandLayout& l = layout_;
    const QColor accent = S::modeColor(model_.mode());
    paintPhaseSwitch(p);
    paintTaskPicker(p, accent);
    paintIconButton(p, C::detach, QStringLiteral("rectangle.on.rectangle"), 12, S::white(0.8));
    paintIconButton(p, C::settings, QStringLiteral("gearshape"), 13, S::white(0.8));

    const QColor timeInk = l.running ? S::white(0.97) : S::white(0.85);
    paintCountdown(p, C::countdown, S::font(l.showsShortcutWarning ? 28 : 40, QFont::Normal),
                   timeInk, Qt::AlignLeft);
    S::paintProgressBar(p, l.rect(C::progress), islandlayout::progress(model_), accent);

    paintIconButton(p, C::reset, QStringLiteral("arrow.counterclockwise"), 14, S::white(0.85));
    paintIconButton(p, C::startPause,
                    l.running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"),
                    l.showsShortcutWarning ? 15 : 17, QColor(18, 18, 18), accent);
    paintIconButton(p, C::skip, QStringLiteral("forward.end.fill"), 13, S::white(0.85));

    paintChip(p, Mode::focus);
    paintChip(p, Mode::rest);
    paintHistoryLink(p, accent);
    paintUndoLink(p, accent);
    paintShortcutWarning(p);

    if (l.showsHint && island_.hoveredDuration()) {
        const QRectF hint(l.island.left() + L::openPadding, l.island.bottom() - 26,
                          l.island.width() - 2 * L::openPadding, 18);
        S::paintText(p, hint, T::durationHint(*island_.hoveredDuration()), S::font(10.5),
                     S::white(0.5), Qt::AlignHCenter);
    }
}

void IslandPainter::paintMini(QPainter& p) const {
    const IslandLayout& l = layout_;
    const QRectF R = l.island;
    const QColor accent = S::modeColor(model_.mode());
    S::paintProgressRing(p, l.rect(C::progress), islandlayout::progress(model_),
                         l.active ? accent : S::white(0.5), 3);
    S::paintIcon(p,
                 model_.mode() == Mode::focus ? QStringLiteral("checkmark.seal.fill")
                                              : QStringLiteral("cup.and.saucer.fill"),
                 l.rect(C::progress), 0, accent);
    QString label = TimerModel::title(model_.mode());
    if (model_.runState() == TimerModel::RunState::paused) label += QStringLiteral(" · paused");
    // Three-digit minutes and "paused" fit by getting smaller, not by running under the buttons.
    const QRectF labelRect(R.left() + 57, R.top() + 22, 84, 14);
    S::paintText(p, labelRect, label, S::fittedFont(label, 11, QFont::DemiBold, labelRect.width()),
                 accent, Qt::AlignLeft);
    paintCountdown(p, C::countdown,
                   S::fittedFont(model_.formattedRemaining(), 27, QFont::Normal,
                                 l.rect(C::countdown).width() - 2, true),
                   l.running ? S::white(0.97) : S::white(0.85), Qt::AlignLeft);

    paintIconButton(p, C::reset, QStringLiteral("arrow.counterclockwise"), 12, S::white(0.85));
    paintIconButton(p, C::startPause,
                    l.running ? QStringLiteral("pause.fill") : QStringLiteral("play.fill"), 14,
                    QColor(18, 18, 18), accent);
    paintIconButton(p, C::skip, QStringLiteral("forward.end.fill"), 11, S::white(0.85));

    p.save();
    p.setPen(QPen(S::white(0.08), 1));
    p.drawLine(QPointF(R.left() + 16, R.top() + 86.5), QPointF(R.right() - 16, R.top() + 86.5));
    p.restore();
    if (island_.notchPreviewMetrics()) {
        S::paintText(p, QRectF(R.left() + 16, R.top() + 96, R.width() - 60, 16),
                     T::releaseToAttach(), S::font(11, QFont::DemiBold), accent, Qt::AlignLeft);
    } else {
        paintHistoryLink(p, accent);
    }
    paintIconButton(p, C::moreActions, QStringLiteral("ellipsis"), 11, S::white(0.8));
    if (l.showsHint && island_.hoveredDuration()) {
        S::paintText(p, QRectF(R.left() + 16, R.bottom() - 24, R.width() - 32, 18),
                     T::durationHint(*island_.hoveredDuration()), S::font(10.5), S::white(0.5),
                     Qt::AlignHCenter);
    }
}

void IslandPainter::paintBanner(QPainter& p) const {
    const IslandLayout& l = layout_;
    const QRectF line = l.rect(C::countdown);
    const QRectF iconRect(line.left() - 46, line.top() + 2, 34, 34);
    if (l.content == IslandContent::blockWarning) {
        const QString site = island_.blockWarning().value_or(QString());
        const int seconds = island_.blockWarningSeconds();
        p.save();
        p.setPen(Qt::NoPen);
        QColor halo = amber();
        halo.setAlphaF(0.16f);
        p.setBrush(halo);
        p.drawEllipse(iconRect);
        p.restore();
        S::paintIcon(p, QStringLiteral("exclamationmark.triangle.fill"), iconRect, 18, amber());
        S::paintText(p, line, T::blockWarningLine(site, seconds), S::font(13.5, QFont::DemiBold),
                     S::white(0.95), Qt::AlignLeft);
        S::paintText(p, line.translated(0, 20), T::blockWarningHint(), S::font(12), S::white(0.6),
                     Qt::AlignLeft);
        return;
    }
    const QString site = island_.blockedSite().value_or(QString());
    const QColor accent = S::focusColor();
    p.save();
    p.setPen(Qt::NoPen);
    QColor halo = accent;
    halo.setAlphaF(0.16f);
    p.setBrush(halo);
    p.drawEllipse(iconRect);
    p.restore();
    S::paintIcon(p, QStringLiteral("hand.raised.fill"), iconRect, 18, accent);
    S::paintText(p, line, T::blockedNoticeLine(site, model_.remaining()),
                 S::font(13.5, QFont::Medium), S::white(0.95), Qt::AlignLeft);
    S::paintText(p, line.translated(0, 20), QStringLiteral("Back to your focus"), S::font(12),
                 S::white(0.6), Qt::AlignLeft);
}

void IslandPainter::paintCelebration(QPainter& p) const {
    const auto& card = *island_.celebration();
    const IslandLayout& l = layout_;
    const QRectF R = l.island;
    const bool reduced = state_.reducedMotion;
    const double elapsed = state_.cardElapsed;
    p.save();
    p.setOpacity(p.opacity() * card.opacity(elapsed, reduced));
    p.setClipPath(S::islandShapePath(state_.outline, state_.outlineShape));
    celebration::paintConfetti(p, R, elapsed, reduced);

    const QRectF box = l.cardBox();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 184));
    p.drawRoundedRect(box, 18, 18);

    const QColor tint = S::modeColor(card.mode);
    const double x0 = box.left() + 16;
    const double cw = l.cardTextWidth();
    if (!card.showsFigures()) {
        // A short card: the seal, the title and the subtitle, centred.
        const double top = box.center().y() - (32 + 6 + 28 + 2 + 16) / 2.0;
        S::paintIcon(p, QStringLiteral("checkmark.seal.fill"),
                     QRectF(box.center().x() - 16, top, 32, 32), 32, tint);
        S::paintText(p, QRectF(x0, top + 38, cw, 28), card.title(), S::font(23, QFont::DemiBold),
                     S::white(0.97), Qt::AlignHCenter);
        S::paintText(p, QRectF(x0, top + 68, cw, 16), card.subtitle(), S::font(12.5),
                     S::white(0.65), Qt::AlignHCenter);
        p.restore();
        return;
    }
    double y = box.top() + L::cardTop;
    S::paintIcon(p, QStringLiteral("checkmark.seal.fill"), QRectF(x0, y + 3, 32, 32), 32, tint);
    const double textRight = box.right() - 16;
    S::paintText(p, QRectF(x0 + 42, y, textRight - x0 - 42, 22), card.title(),
                 S::font(20, QFont::DemiBold), S::white(0.97), Qt::AlignLeft);
    S::paintText(p, QRectF(x0 + 42, y + 22, textRight - x0 - 42, 15), card.subtitle(), S::font(12),
                 S::white(0.65), Qt::AlignLeft);
    y += L::cardRowA + 4;
    // Long figures (three-digit minutes and drifts, a long streak) get smaller rather than lose
    // the streak at the end.
    const QString summary = card.summaryLine();
    S::paintText(p, QRectF(x0, y, cw, 16), summary, S::fittedFont(summary, 12.5, QFont::Medium, cw),
                 S::white(0.9), Qt::AlignLeft);
    y += 16;
    if (const auto top = card.topDistractionLine())
        S::paintText(p, QRectF(x0, y, cw, 13), *top, S::font(10.5), S::white(0.55), Qt::AlignLeft);
    y += 13;

    // "Start break": the prominent button in the break colour.
    const QRectF sb = l.rect(C::startBreak);
    if (!sb.isEmpty()) {
        const bool hover = state_.hovered == C::startBreak;
        QColor fill = S::breakColor();
        if (hover) fill = fill.lighter(108);
        p.setBrush(fill);
        p.drawRoundedRect(sb, 8, 8);
        const QFont f = S::font(12, QFont::DemiBold);
        const QString text = QStringLiteral("Start break");
        const double w = 14 + 6 + textWidth(text, f);
        const double sx = sb.center().x() - w / 2;
        const QColor ink(16, 40, 28);
        S::paintIcon(p, QStringLiteral("cup.and.saucer.fill"),
                     QRectF(sx, sb.top(), 14, sb.height()), 13, ink);
        S::paintText(p, QRectF(sx + 20, sb.top(), w - 20 + 1, sb.height()), text, f, ink,
                     Qt::AlignLeft);
    }

    if (card.showQuotePrompt) {
        y += 4;
        const bool sent = quoteState_.sent && quoteState_.cardID == card.id;
        if (sent) {
            const QFont f = S::font(11.5, QFont::Medium);
            const QString text = celebration::quote::thanks();
            const double w = 14 + 6 + textWidth(text, f);
            const double sx = box.center().x() - w / 2;
            S::paintIcon(p, QStringLiteral("heart.fill"), QRectF(sx, y + 14, 14, 18), 12,
                         S::focusColor());
            S::paintText(p, QRectF(sx + 20, y + 14, w - 20 + 1, 18), text, f, S::white(0.9),
                         Qt::AlignLeft);
        } else {
            S::paintText(p, QRectF(x0, y, cw, 14), celebration::quote::prompt(),
                         S::font(11.5, QFont::Medium), S::white(0.85), Qt::AlignLeft);
            const QRectF field = l.rect(C::quoteField);
            p.setBrush(S::white(0.1));
            p.drawRoundedRect(field, 7, 7);
            const QRectF send = l.rect(C::quoteSend);
            const bool enabled = celebration::canSendQuote(quoteState_.text);
            p.setPen(QPen(S::white(enabled ? 0.5 : 0.18), 1));
            p.setBrush(S::white(enabled ? (state_.hovered == C::quoteSend ? 0.2 : 0.12) : 0.04));
            p.drawRoundedRect(send.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
            p.setPen(Qt::NoPen);
            S::paintText(p, send, celebration::quote::send(), S::font(11.5, QFont::DemiBold),
                         S::white(enabled ? 0.95 : 0.35), Qt::AlignHCenter);
            const QRectF toggle = l.rect(C::quoteMayQuote);
            const QRectF check(toggle.left(), toggle.center().y() - 6.5, 13, 13);
            if (quoteState_.mayQuote) {
                p.setPen(Qt::NoPen);
                p.setBrush(S::breakColor());
            } else {
                p.setPen(QPen(S::white(0.5), 1));
                p.setBrush(Qt::NoBrush);
            }
            p.drawRoundedRect(check, 3.5, 3.5);
            p.setPen(Qt::NoPen);
            if (quoteState_.mayQuote)
                S::paintIcon(p, QStringLiteral("checkmark"), check, 10, QColor(16, 40, 28));
            S::paintText(
                p,
                QRectF(toggle.left() + 19, toggle.top(), toggle.width() - 19 + 1, toggle.height()),
                celebration::quote::permission(), S::font(10.5), S::white(0.65), Qt::AlignLeft);
        }
    }
    p.restore();
}

}  // namespace tw
