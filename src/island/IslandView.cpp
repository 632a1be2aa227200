#include "island/IslandView.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "island/IslandAccessibility.h"
#include "island/IslandState.h"
#include "island/IslandViewText.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace S = islandstyle;
namespace T = islandtext;
namespace L = islandlayout;
using C = IslandControl;
using Mode = TimerModel::Mode;

namespace {

constexpr double kPad = 16;       // inner padding of the open island
constexpr double kCardTop = 10;   // the card's padding above its first row
constexpr double kCardRowA = 38;  // the seal with the title and subtitle beside it

QRectF centeredSquare(const QPointF& center, double size) {
    return QRectF(center.x() - size / 2, center.y() - size / 2, size, size);
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

QRectF lerp(const QRectF& a, const QRectF& b, double t) {
    if (a.isNull()) return b;
    return QRectF(lerp(a.x(), b.x(), t), lerp(a.y(), b.y(), t), lerp(a.width(), b.width(), t),
                  lerp(a.height(), b.height(), t));
}

S::ShapeParams lerp(const S::ShapeParams& a, const S::ShapeParams& b, double t) {
    return {lerp(a.topRadius, b.topRadius, t), lerp(a.bottomRadius, b.bottomRadius, t),
            lerp(a.detach, b.detach, t)};
}

double textWidth(const QString& text, const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(text);
}

QColor amber() {
    return QColor::fromRgbF(1.0f, 0.76f, 0.28f, 1.0f);
}

}  // namespace

IslandView::IslandView(TimerModel& model, IslandState& island, AppPreferences& preferences,
                       QWidget* parent)
    : QWidget(parent), model_(model), island_(island), preferences_(preferences) {
    reduceMotion = [] { return qEnvironmentVariable("TARNWHISTLE_REDUCED_MOTION") == "1"; };
    onQuit = [] { QCoreApplication::quit(); };
    onNeedsKeyboard = [this] { window()->activateWindow(); };

    islandaccess::installFactory();
    accessibility_ = std::make_unique<islandaccess::Notifier>();

    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    const SizeF max = maxPanelSize(island_.metrics());
    resize(static_cast<int>(std::ceil(max.width)), static_cast<int>(std::ceil(max.height)));

    morph_ = new QVariantAnimation(this);
    morph_->setStartValue(0.0);
    morph_->setEndValue(1.0);
    connect(morph_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        current_ = {lerp(from_.rect, layout_.island, v.toDouble()),
                    lerp(from_.shape, layout_.shape, v.toDouble())};
        update();
    });
    fade_ = new QVariantAnimation(this);
    fade_->setStartValue(0.0);
    fade_->setEndValue(1.0);
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        contentOpacity_ = v.toDouble();
        update();
    });
    // The swipe cue's arrow bobs down and back, 3 px, while the hint shows.
    cue_ = new QVariantAnimation(this);
    cue_->setStartValue(0.0);
    cue_->setEndValue(1.0);
    cue_->setDuration(1400);
    cue_->setLoopCount(-1);
    connect(cue_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        cueOffset_ = 3 * std::sin(std::numbers::pi * v.toDouble());
        update(layout_.island.toAlignedRect());
    });

    auto makeField = [this] {
        auto* field = new QLineEdit(this);
        field->hide();
        field->setFrame(false);
        field->installEventFilter(this);
        return field;
    };
    countdownField_ = makeField();
    countdownField_->setAccessibleName(T::remainingTimeName());
    countdownField_->setAccessibleDescription(T::remainingTimeHint());
    connect(countdownField_, &QLineEdit::returnPressed, this, [this] { finishCountdownEdit(); });
    chipField_ = makeField();
    connect(chipField_, &QLineEdit::returnPressed, this, [this] { finishChipEdit(true); });
    quoteField_ = makeField();
    quoteField_->setPlaceholderText(celebration::quote::placeholder());
    quoteField_->setAccessibleName(celebration::quote::prompt());
    connect(quoteField_, &QLineEdit::textChanged, this, [this](const QString& text) {
        quoteState_.text = text;
        update(controlRect(C::quoteSend).toAlignedRect().adjusted(-2, -2, 2, 2));
        accessibilityChanged();  // "Send" turns on or off
    });
    connect(quoteField_, &QLineEdit::returnPressed, this, [this] { activate(C::quoteSend); });

    cardFrames_ = new QTimer(this);
    cardFrames_->setInterval(16);
    connect(cardFrames_, &QTimer::timeout, this, [this] {
        update();
        updateCardAnimation();
    });
    cardWake_ = new QTimer(this);
    cardWake_->setSingleShot(true);
    connect(cardWake_, &QTimer::timeout, this, [this] { updateCardAnimation(); });

    // The island state.
    connect(&island_, &IslandState::metricsChanged, this, [this] {
        const SizeF max = maxPanelSize(island_.metrics());
        resize(static_cast<int>(std::ceil(max.width)), static_cast<int>(std::ceil(max.height)));
        refresh(Motion::openClose);
    });
    connect(&island_, &IslandState::isExpandedChanged, this, [this] { expandedChanged(); });
    connect(&island_, &IslandState::isHoveringChanged, this, [this] { refresh(Motion::hover); });
    connect(&island_, &IslandState::hoveredDurationChanged, this,
            [this] { refresh(Motion::content); });
    connect(&island_, &IslandState::blockWarningChanged, this,
            [this] { refresh(Motion::content); });
    connect(&island_, &IslandState::blockWarningSecondsChanged, this,
            [this] { refresh(Motion::content); });
    connect(&island_, &IslandState::blockedSiteChanged, this, [this] { refresh(Motion::content); });
    connect(&island_, &IslandState::celebrationChanged, this, [this] { celebrationChanged(); });
    connect(&island_, &IslandState::notchPreviewMetricsChanged, this,
            [this] { refresh(Motion::openClose); });
    connect(&island_, &IslandState::pillLockedChanged, this, [this] { refresh(Motion::content); });

    // The timer: the countdown alone repaints every second; everything else relays out.
    connect(&model_, &TimerModel::remainingChanged, this, [this] { remainingChanged(); });
    const auto relayout = [this] { refresh(Motion::hover); };
    connect(&model_, &TimerModel::runStateChanged, this, relayout);
    connect(&model_, &TimerModel::modeChanged, this, relayout);
    connect(&model_, &TimerModel::phaseSecondsChanged, this, relayout);
    connect(&model_, &TimerModel::undoOfferChanged, this, relayout);
    connect(&model_, &TimerModel::completedTodayChanged, this, relayout);
    connect(&model_, &TimerModel::historyChanged, this, relayout);
    connect(&model_, &TimerModel::focusMinutesChanged, this, relayout);
    connect(&model_, &TimerModel::breakMinutesChanged, this, relayout);

    // The preferences shown on the island.
    connect(&preferences_, &AppPreferences::shortcutErrorChanged, this, relayout);
    connect(&preferences_, &AppPreferences::shortcutsChanged, this, relayout);
    connect(&preferences_, &AppPreferences::tickTickEnabledChanged, this, relayout);
    connect(&preferences_, &AppPreferences::pillHideUntilHoverChanged, this, relayout);

    layout_ = computeLayout();
    current_ = {layout_.island, layout_.shape};
}

IslandView::~IslandView() = default;

QSize IslandView::sizeHint() const {
    const SizeF max = maxPanelSize(island_.metrics());
    return QSize(static_cast<int>(std::ceil(max.width)), static_cast<int>(std::ceil(max.height)));
}

void IslandView::setTaskPickerHook(std::optional<IslandTaskPickerHook> hook) {
    taskHook_ = std::move(hook);
    refresh(Motion::content);
}

void IslandView::taskPickerChanged() {
    update(controlRect(C::taskPicker).toAlignedRect().adjusted(-2, -2, 2, 2));
    accessibilityChanged();
}

void IslandView::accessibilityChanged() {
    // Costs nothing while no assistive technology listens.
    if (accessibility_) accessibility_->update(*this);
}

void IslandView::announce(const QString& text) {
    setAccessibleDescription(text);
    if (QAccessible::isActive()) {
        QAccessibleEvent event(this, QAccessible::Alert);
        QAccessible::updateAccessibility(&event);
    }
}

// ---- Inspection ----

IslandContent IslandView::content() const {
    return layout_.content;
}

QRectF IslandView::islandRect() const {
    return layout_.island;
}

S::ShapeParams IslandView::shape() const {
    return layout_.shape;
}

QRectF IslandView::controlRect(IslandControl control) const {
    return layout_.rect(control);
}

QString IslandView::controlHelp(IslandControl control) const {
    return layout_.help(control);
}

QRectF IslandView::countdownRegion() const {
    return layout_.countdownRegion();
}

void IslandView::finishAnimations() {
    morph_->stop();
    fade_->stop();
    cue_->stop();
    cueOffset_ = 0;
    current_ = {layout_.island, layout_.shape};
    contentOpacity_ = 1;
    update();
}

bool IslandView::scrollCueAnimating() const {
    return cue_->state() == QAbstractAnimation::Running;
}

void IslandView::updateScrollCue() {
    const bool animate = layout_.showsScrollCue() && isVisible() && !reducedMotion();
    if (animate && cue_->state() != QAbstractAnimation::Running) {
        cue_->start();
    } else if (!animate && cue_->state() == QAbstractAnimation::Running) {
        cue_->stop();
        cueOffset_ = 0;
    }
}

bool IslandView::reducedMotion() const {
    return reduceMotion && reduceMotion();
}

// ---- Layout ----

IslandLayout IslandView::computeLayout() const {
    return islandlayout::compute(islandlayout::readInput(
        model_, island_, preferences_, taskHook_.has_value(), quoteState_, width()));
}

// ---- State changes ----

void IslandView::refresh(Motion motion) {
    const IslandLayout next = computeLayout();
    const bool geometryChanged = next.island != layout_.island || next.shape != layout_.shape;
    const bool contentChanged = next.content != layout_.content;
    layout_ = next;
    if (geometryChanged) {
        startMorph(motion);
    } else if (morph_->state() != QAbstractAnimation::Running) {
        current_ = {layout_.island, layout_.shape};
    }
    if (contentChanged && isVisible() && !reducedMotion()) {
        fade_->stop();
        fade_->setDuration(180);
        contentOpacity_ = 0;
        fade_->start();
    } else if (contentChanged) {
        contentOpacity_ = 1;
    }
    if (hovered_ && controlRect(*hovered_).isEmpty()) hovered_.reset();
    placeFields();
    updateCardAnimation();
    updateScrollCue();
    update();
    accessibilityChanged();
}

void IslandView::startMorph(Motion motion) {
    morph_->stop();
    from_ = current_;
    if (!isVisible() || from_.rect.isNull()) {
        current_ = {layout_.island, layout_.shape};
        return;
    }
    QEasingCurve curve(QEasingCurve::OutBack);
    int ms = 0;
    if (reducedMotion()) {
        curve = QEasingCurve(QEasingCurve::InOutQuad);
        ms = motion == Motion::hover ? 120 : 180;
    } else {
        curve.setOvershoot(motion == Motion::hover ? 0.9 : 0.6);
        ms = motion == Motion::hover ? 280 : 360;
    }
    morph_->setEasingCurve(curve);
    morph_->setDuration(ms);
    morph_->start();
}

void IslandView::remainingChanged() {
    switch (layout_.content) {
        case IslandContent::collapsed:
        case IslandContent::expanded:
        case IslandContent::mini:
            update(layout_.rect(C::countdown).toAlignedRect().adjusted(-2, -2, 2, 2));
            update(layout_.rect(C::progress).toAlignedRect().adjusted(-2, -2, 2, 2));
            break;
        case IslandContent::blockedSite:
            update(layout_.rect(C::countdown).toAlignedRect().adjusted(-2, -2, 2, 2));
            break;
        case IslandContent::celebration:
        case IslandContent::blockWarning:
            break;
    }
    accessibilityChanged();
}

void IslandView::expandedChanged() {
    if (!island_.isExpanded()) {
        // Closing takes the keyboard away, which ends any editing.
        finishCountdownEdit();
        finishChipEdit(false);
        if (island_.hoveredDuration()) island_.setHoveredDuration(std::nullopt);
    }
    refresh(Motion::openClose);
}

void IslandView::celebrationChanged() {
    const auto& card = island_.celebration();
    if (card && quoteState_.cardID != card->id) {
        quoteState_ = {};
        quoteState_.cardID = card->id;
        const QSignalBlocker block(quoteField_);
        quoteField_->clear();
    }
    refresh(Motion::content);
}

double IslandView::cardElapsed() const {
    const auto& card = island_.celebration();
    if (!card) return 0;
    return model_.now() - card->startedAt;
}

void IslandView::updateCardAnimation() {
    const auto& card = island_.celebration();
    if (layout_.content != IslandContent::celebration || !card || reducedMotion() || !isVisible()) {
        cardFrames_->stop();
        cardWake_->stop();
        return;
    }
    const double elapsed = cardElapsed();
    const double fadeStart = card->displayDuration() - celebration::fadeSeconds - 0.05;
    if (elapsed > card->displayDuration() + 0.5) {
        cardFrames_->stop();
        cardWake_->stop();
    } else if (celebration::confettiActive(elapsed) || elapsed >= fadeStart) {
        if (!cardFrames_->isActive()) cardFrames_->start();
    } else {
        cardFrames_->stop();
        if (!cardWake_->isActive())
            cardWake_->start(static_cast<int>(std::max(0.0, fadeStart - elapsed) * 1000));
    }
}

// ---- Painting ----

void IslandView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QPainterPath path = S::islandShapePath(current_.rect, current_.shape);
    p.fillPath(path, Qt::black);
    if (layout_.metrics.isPill() && layout_.content != IslandContent::collapsed) {
        p.setPen(QPen(S::white(0.08), 1));
        p.drawPath(path);
    }
    const bool morphing = current_.rect != layout_.island || current_.shape != layout_.shape;
    if (morphing) p.setClipPath(path);
    p.setOpacity(contentOpacity_);
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

void IslandView::paintIconButton(QPainter& p, IslandControl c, const QString& symbol,
                                 double iconSize, const QColor& tint, const QColor& fill) const {
    const QRectF r = layout_.rect(c);
    if (r.isEmpty()) return;
    const bool hover = hovered_ == c;
    const bool press = pressed_ == c && hover;
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

void IslandView::paintCountdown(QPainter& p, IslandControl c, const QFont& font,
                                const QColor& color, Qt::Alignment align) const {
    if (c == C::countdown && !countdownField_->isHidden()) return;
    const QRectF r = layout_.rect(c);
    if (hovered_ == C::countdown && c == C::countdown &&
        layout_.content != IslandContent::collapsed) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(S::white(0.06));
        p.drawRoundedRect(r.adjusted(-2, 2, 2, -2), 8, 8);
        p.restore();
    }
    S::paintTabularText(p, r, model_.formattedRemaining(), font, color, align);
}

void IslandView::paintCollapsed(QPainter& p) const {
    const IslandLayout& l = layout_;
    const QRectF R = l.island;
    const QColor accent = S::modeColor(model_.mode());
    const QColor tone = l.running ? accent : S::white(0.6);
    if (l.metrics.isPill()) {
        // Mode dot and name, the time, the ring; while hovered, start/pause and more actions.
        const double cy = R.center().y();
        const QRectF dot = centeredSquare({R.left() + 14 + 3, cy}, 6);
        p.setPen(Qt::NoPen);
        p.setBrush(l.active ? accent : S::white(0.45));
        p.drawEllipse(dot);
        QString label = TimerModel::title(model_.mode());
        if (model_.runState() == TimerModel::RunState::paused) label = QStringLiteral("Paused");
        const double labelRight = l.rect(C::countdown).left() - 8;
        S::paintText(p, QRectF(dot.right() + 7, R.top(), labelRight - dot.right() - 7, R.height()),
                     label, S::font(12, QFont::Medium), S::white(l.active ? 0.9 : 0.6),
                     Qt::AlignLeft);
        paintCountdown(p, C::countdown, S::font(13, QFont::DemiBold),
                       l.active ? tone : S::white(0.75), Qt::AlignRight);
        S::paintProgressRing(p, l.rect(C::progress), islandlayout::progress(model_), tone, 2.2);
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
        paintCountdown(p, C::countdown, S::font(13, QFont::DemiBold), tone, Qt::AlignHCenter);
        return;
    }
    if (l.hovering) {
        const double stripTop = R.top() + l.metrics.notchHeight;
        const QRectF strip(R.left() + 14, stripTop, R.width() - 28, R.bottom() - stripTop - 2);
        S::paintIcon(p, QStringLiteral("arrow.down"),
                     QRectF(strip.left(), strip.top() + cueOffset_, 12, strip.height()), 10,
                     S::white(0.5));
        S::paintEmphasisedText(
            p, QRectF(strip.left() + 16, strip.top(), strip.width() - 16 - 30, strip.height()),
            T::swipeHint(), 11, 8, S::white(0.55));
        paintIconButton(p, C::detach, QStringLiteral("rectangle.on.rectangle"), 12, S::white(0.85));
    }
}

void IslandView::paintPhaseSwitch(QPainter& p) const {
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
        const QColor text = selected ? color : S::white(hovered_ == c ? 0.85 : 0.55);
        S::paintText(p, r, TimerModel::title(mode),
                     S::font(12, selected ? QFont::DemiBold : QFont::Medium), text,
                     Qt::AlignHCenter);
    }
    p.restore();
}

void IslandView::paintChip(QPainter& p, Mode mode) const {
    const bool focus = mode == Mode::focus;
    const C body = focus ? C::focusChip : C::breakChip;
    const C minus = focus ? C::focusMinus : C::breakMinus;
    const C value = focus ? C::focusValue : C::breakValue;
    const C plus = focus ? C::focusPlus : C::breakPlus;
    const QRectF r = layout_.rect(body);
    const bool selected = model_.mode() == mode;
    const QColor tint = S::modeColor(mode);
    const int minutes = focus ? model_.focusMinutes() : model_.breakMinutes();
    const bool hover = hovered_ && islandlayout::isChipPart(*hovered_, mode);

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
        QColor circle = selected ? QColor(0, 0, 0, hovered_ == c ? 60 : 30)
                                 : S::white(hovered_ == c ? 0.18 : 0.08);
        p.setBrush(circle);
        p.drawEllipse(b);
        QColor glyph = ink;
        if (atEnd) glyph.setAlphaF(0.3f);
        S::paintIcon(p, symbol, b, 10, glyph);
    };
    step(minus, QStringLiteral("minus"), minutes <= 1);
    step(plus, QStringLiteral("plus"), minutes >= 120);
    if (!(chipEditing_ == mode && !chipField_->isHidden())) {
        S::paintTabularText(p, layout_.rect(value), QString::number(minutes),
                            S::font(13, QFont::DemiBold), ink, Qt::AlignHCenter);
    }
    p.restore();
}

void IslandView::paintHistoryLink(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::history);
    if (r.isEmpty()) return;
    const bool hover = hovered_ == C::history;
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

void IslandView::paintUndoLink(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::undo);
    const auto offer = model_.undoOffer();
    if (r.isEmpty() || !offer) return;
    QFont f = S::font(11, QFont::Medium);
    f.setUnderline(hovered_ == C::undo);
    S::paintIcon(p, QStringLiteral("arrow.uturn.backward"),
                 QRectF(r.left(), r.top(), 12, r.height()), 11, accent);
    S::paintText(p, QRectF(r.left() + 17, r.top(), r.width() - 17 + 1, r.height()),
                 T::undoLine(offer->label), f, accent, Qt::AlignLeft);
}

void IslandView::paintTaskPicker(QPainter& p, const QColor& accent) const {
    const QRectF r = layout_.rect(C::taskPicker);
    if (r.isEmpty() || !taskHook_) return;
    QString title = T::noTask();
    const auto chosen = taskHook_->chosenTaskID ? taskHook_->chosenTaskID() : std::nullopt;
    if (chosen && taskHook_->tasks) {
        for (const auto& task : taskHook_->tasks())
            if (task.id == *chosen) title = task.title;
    }
    const bool hover = hovered_ == C::taskPicker;
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(S::white(hover ? 0.14 : 0.07));
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.restore();
    S::paintIcon(p, QStringLiteral("checkmark"), QRectF(r.left() + 8, r.top(), 12, r.height()), 10,
                 accent);
    S::paintText(p, QRectF(r.left() + 24, r.top(), r.width() - 24 - 20, r.height()), title,
                 S::font(11, QFont::Medium), S::white(chosen ? 0.9 : 0.55), Qt::AlignLeft);
    S::paintIcon(p, QStringLiteral("chevron.down"), QRectF(r.right() - 18, r.top(), 10, r.height()),
                 8, S::white(0.55));
}

void IslandView::paintShortcutWarning(QPainter& p) const {
    const QRectF r = layout_.rect(C::shortcutWarning);
    if (r.isEmpty()) return;
    const QFont bold = S::font(10.5, QFont::DemiBold);
    S::paintIcon(p, QStringLiteral("exclamationmark.triangle.fill"),
                 QRectF(r.left(), r.top(), 12, 13), 11, amber());
    S::paintText(p, QRectF(r.left() + 17, r.top(), r.width() - 17, 13),
                 T::shortcutUnavailableTitle(), bold, amber(), Qt::AlignLeft);
    S::paintText(p, QRectF(r.left() + 17, r.top() + 13, r.width() - 17, 13),
                 T::shortcutUnavailableHint(), S::font(10.5),
                 S::white(hovered_ == C::shortcutWarning ? 0.85 : 0.6), Qt::AlignLeft);
}

void IslandView::paintExpanded(QPainter& p) const {
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
        const QRectF hint(l.island.left() + kPad, l.island.bottom() - 26,
                          l.island.width() - 2 * kPad, 18);
        S::paintText(p, hint, T::durationHint(*island_.hoveredDuration()), S::font(10.5),
                     S::white(0.5), Qt::AlignHCenter);
    }
}

void IslandView::paintMini(QPainter& p) const {
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
    S::paintText(p, QRectF(R.left() + 57, R.top() + 22, 84, 14), label,
                 S::font(11, QFont::DemiBold), accent, Qt::AlignLeft);
    paintCountdown(p, C::countdown, S::font(27, QFont::Normal),
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

void IslandView::paintBanner(QPainter& p) const {
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

void IslandView::paintCelebration(QPainter& p) const {
    const auto& card = *island_.celebration();
    const IslandLayout& l = layout_;
    const QRectF R = l.island;
    const bool reduced = reducedMotion();
    const double elapsed = cardElapsed();
    p.save();
    p.setOpacity(p.opacity() * card.opacity(elapsed, reduced));
    p.setClipPath(S::islandShapePath(current_.rect, current_.shape));
    celebration::paintConfetti(p, R, elapsed, reduced);

    const QRectF box = l.cardBox();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 184));
    p.drawRoundedRect(box, 18, 18);

    const QColor tint = S::modeColor(card.mode);
    const double x0 = box.left() + 16;
    const double cw = box.width() - 32;
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
    double y = box.top() + kCardTop;
    S::paintIcon(p, QStringLiteral("checkmark.seal.fill"), QRectF(x0, y + 3, 32, 32), 32, tint);
    const double textRight = box.right() - 16;
    S::paintText(p, QRectF(x0 + 42, y, textRight - x0 - 42, 22), card.title(),
                 S::font(20, QFont::DemiBold), S::white(0.97), Qt::AlignLeft);
    S::paintText(p, QRectF(x0 + 42, y + 22, textRight - x0 - 42, 15), card.subtitle(), S::font(12),
                 S::white(0.65), Qt::AlignLeft);
    y += kCardRowA + 4;
    S::paintText(p, QRectF(x0, y, cw, 16), card.summaryLine(), S::font(12.5, QFont::Medium),
                 S::white(0.9), Qt::AlignLeft);
    y += 16;
    if (const auto top = card.topDistractionLine())
        S::paintText(p, QRectF(x0, y, cw, 13), *top, S::font(10.5), S::white(0.55), Qt::AlignLeft);
    y += 13;

    // "Start break": the prominent button in the break colour.
    const QRectF sb = l.rect(C::startBreak);
    if (!sb.isEmpty()) {
        const bool hover = hovered_ == C::startBreak;
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
            p.setBrush(S::white(enabled ? (hovered_ == C::quoteSend ? 0.2 : 0.12) : 0.04));
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

// ---- Input ----

bool IslandView::insideIsland(const QPointF& pos) const {
    return layout_.island.contains(pos) || current_.rect.contains(pos);
}

void IslandView::setPointerHovering(bool hovering) {
    if (pointerInside_ == hovering) return;
    pointerInside_ = hovering;
    island_.hoverChanged(hovering);
    if (!island_.isExpanded() && island_.isHovering() != hovering) island_.setHovering(hovering);
}

void IslandView::updateHoveredControl(const QPointF& pos) {
    const C at = layout_.controlAt(pos);
    const std::optional<C> next = at == C::count ? std::nullopt : std::optional<C>(at);
    if (next != hovered_) {
        if (hovered_) update(controlRect(*hovered_).toAlignedRect().adjusted(-3, -3, 3, 3));
        if (next) update(controlRect(*next).toAlignedRect().adjusted(-3, -3, 3, 3));
        // A hovered chip repaints whole (its background), as does the phase switch.
        update();
        hovered_ = next;
        if (!next)
            unsetCursor();
        else if (*next == C::countdown || *next == C::focusValue || *next == C::breakValue ||
                 *next == C::quoteField)
            setCursor(Qt::IBeamCursor);
        else
            setCursor(Qt::PointingHandCursor);
    }
    if (layout_.content == IslandContent::expanded) {
        std::optional<Mode> chip;
        if (hovered_ && islandlayout::isChipPart(*hovered_, Mode::focus)) chip = Mode::focus;
        if (hovered_ && islandlayout::isChipPart(*hovered_, Mode::rest)) chip = Mode::rest;
        if (chip != island_.hoveredDuration()) island_.setHoveredDuration(chip);
    }
}

void IslandView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    setPointerHovering(insideIsland(pos));
    updateHoveredControl(pos);
    QWidget::mouseMoveEvent(event);
}

void IslandView::leaveEvent(QEvent* event) {
    setPointerHovering(false);
    updateHoveredControl(QPointF(-1e6, -1e6));
    if (island_.hoveredDuration()) island_.setHoveredDuration(std::nullopt);
    QWidget::leaveEvent(event);
}

void IslandView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !insideIsland(event->position())) {
        event->ignore();
        return;
    }
    const C at = layout_.controlAt(event->position());
    pressed_ = at == C::count ? std::nullopt : std::optional<C>(at);
    pressInsideIsland_ = true;
    if (pressed_) update(controlRect(*pressed_).toAlignedRect().adjusted(-3, -3, 3, 3));
    event->accept();
}

void IslandView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressInsideIsland_) {
        event->ignore();
        return;
    }
    const std::optional<C> pressed = pressed_;
    pressed_.reset();
    pressInsideIsland_ = false;
    const C at = layout_.controlAt(event->position());
    if (pressed) {
        update(controlRect(*pressed).toAlignedRect().adjusted(-3, -3, 3, 3));
        if (at == *pressed) activate(at);
    } else if (insideIsland(event->position())) {
        // A tap that no control takes opens the closed island and closes the open one.
        if (island_.isExpanded())
            island_.requestCollapse();
        else
            island_.requestExpand();
    }
    event->accept();
}

void IslandView::contextMenuEvent(QContextMenuEvent* event) {
    if (!insideIsland(event->pos())) {
        event->ignore();
        return;
    }
    auto menu = makeContextMenu();
    menu->exec(event->globalPos());
}

void IslandView::keyPressEvent(QKeyEvent* event) {
    const auto& card = island_.celebration();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        layout_.content == IslandContent::celebration && card && card->onStartBreak &&
        card->showsFigures()) {
        card->onStartBreak();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool IslandView::event(QEvent* event) {
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) {
        const bool handled = QWidget::event(event);
        updateScrollCue();
        return handled;
    }
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const C at = layout_.controlAt(help->pos());
        const QString text = controlHelp(at);
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this, controlRect(at).toAlignedRect());
        return true;
    }
    return QWidget::event(event);
}

bool IslandView::eventFilter(QObject* watched, QEvent* event) {
    // Losing the keyboard ends editing: the countdown applies its draft, a chip drops it.
    if (event->type() == QEvent::FocusOut) {
        if (watched == countdownField_) finishCountdownEdit();
        if (watched == chipField_) finishChipEdit(false);
    }
    return QWidget::eventFilter(watched, event);
}

void IslandView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    morph_->stop();
    layout_ = computeLayout();
    current_ = {layout_.island, layout_.shape};
    placeFields();
}

std::unique_ptr<QMenu> IslandView::makeContextMenu() {
    auto menu = std::make_unique<QMenu>();
    const QPointer<IslandView> self(this);
    const auto entries = T::contextMenu(layout_.metrics.isPill(), island_.pillLocked(),
                                        preferences_.pillHideUntilHover());
    for (const T::MenuEntry& entry : entries) {
        if (entry.action == T::MenuAction::separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.title);
        const T::MenuAction kind = entry.action;
        connect(action, &QAction::triggered, menu.get(), [self, kind] {
            if (!self) return;
            IslandState& island = self->island_;
            switch (kind) {
                case T::MenuAction::toggleStyle:
                    island.requestToggleStyle();
                    break;
                case T::MenuAction::menuBarOnly:
                    island.requestStyle(IslandStyle::menuBarOnly);
                    break;
                case T::MenuAction::history:
                    island.requestHistory();
                    break;
                case T::MenuAction::settings:
                    island.requestSettings();
                    break;
                case T::MenuAction::toggleLock:
                    island.requestToggleLock();
                    break;
                case T::MenuAction::toggleHideUntilHover:
                    island.requestToggleHideUntilHover();
                    break;
                case T::MenuAction::quit:
                    if (self->onQuit) self->onQuit();
                    break;
                case T::MenuAction::separator:
                    break;
            }
        });
    }
    return menu;
}

void IslandView::activate(IslandControl control) {
    const bool collapsed = layout_.content == IslandContent::collapsed;
    switch (control) {
        case C::detach:
            island_.requestStyle(IslandStyle::pill);
            break;
        case C::settings:
            island_.requestSettings();
            break;
        case C::phaseFocus:
        case C::focusChip:
            model_.selectMode(Mode::focus);
            break;
        case C::phaseBreak:
        case C::breakChip:
            model_.selectMode(Mode::rest);
            break;
        case C::countdown:
            beginCountdownEdit();
            break;
        case C::reset:
            model_.reset(T::resetUndoLabel(model_.mode()));
            break;
        case C::startPause:
            if (collapsed)
                island_.requestToggleTimer();
            else
                model_.toggle();
            break;
        case C::skip:
            model_.skip();
            break;
        case C::focusMinus:
            if (model_.focusMinutes() > 1) model_.setFocusMinutes(model_.focusMinutes() - 1);
            break;
        case C::focusPlus:
            if (model_.focusMinutes() < 120) model_.setFocusMinutes(model_.focusMinutes() + 1);
            break;
        case C::breakMinus:
            if (model_.breakMinutes() > 1) model_.setBreakMinutes(model_.breakMinutes() - 1);
            break;
        case C::breakPlus:
            if (model_.breakMinutes() < 120) model_.setBreakMinutes(model_.breakMinutes() + 1);
            break;
        case C::focusValue:
            beginChipEdit(Mode::focus);
            break;
        case C::breakValue:
            beginChipEdit(Mode::rest);
            break;
        case C::history:
            island_.requestHistory();
            break;
        case C::undo:
            model_.undo();
            break;
        case C::taskPicker:
            showTaskMenu();
            break;
        case C::moreActions:
            island_.requestQuickMenu();
            break;
        case C::shortcutWarning:
            island_.requestSettings();
            break;
        case C::startBreak:
            if (const auto& card = island_.celebration(); card && card->onStartBreak)
                card->onStartBreak();
            break;
        case C::quoteField:
            quoteField_->setFocus(Qt::MouseFocusReason);
            if (onNeedsKeyboard) onNeedsKeyboard();
            break;
        case C::quoteMayQuote:
            quoteState_.mayQuote = !quoteState_.mayQuote;
            update();
            accessibilityChanged();
            break;
        case C::quoteSend:
            if (const auto& card = island_.celebration()) {
                celebration::sendQuote(*card, quoteState_);
                refresh(Motion::content);
            }
            break;
        case C::progress:
        case C::count:
            break;
    }
}

void IslandView::showTaskMenu() {
    if (!taskHook_ || !taskHook_->tasks) return;
    QMenu menu;
    const auto chosen = taskHook_->chosenTaskID ? taskHook_->chosenTaskID() : std::nullopt;
    for (const auto& task : taskHook_->tasks()) {
        QAction* action = menu.addAction(task.title);
        action->setCheckable(true);
        action->setChecked(chosen && *chosen == task.id);
        const QString id = task.id;
        connect(action, &QAction::triggered, this, [this, id] {
            if (taskHook_ && taskHook_->choose) taskHook_->choose(id);
            taskPickerChanged();
        });
    }
    menu.exec(mapToGlobal(controlRect(C::taskPicker).bottomLeft().toPoint()));
}

// ---- Text fields ----

void IslandView::styleField(QLineEdit* field, double pixelSize, Qt::Alignment align) const {
    const QColor accent = S::modeColor(model_.mode());
    field->setFont(S::font(pixelSize, QFont::DemiBold));
    field->setAlignment(align | Qt::AlignVCenter);
    field->setStyleSheet(
        QStringLiteral("QLineEdit { background: rgba(255,255,255,26); color: white;"
                       " border: none; border-radius: 7px; padding: 0 4px;"
                       " selection-background-color: %1; selection-color: black; }")
            .arg(accent.name()));
}

void IslandView::beginCountdownEdit() {
    const QString text = model_.formattedRemaining();
    countdownFocusedText_ = text;
    styleField(countdownField_,
               layout_.content == IslandContent::mini ? 24
               : layout_.showsShortcutWarning         ? 26
                                                      : 36,
               Qt::AlignLeft);
    countdownField_->setText(text);
    countdownField_->setGeometry(controlRect(C::countdown).toAlignedRect());
    countdownField_->show();
    countdownField_->selectAll();
    if (onNeedsKeyboard) onNeedsKeyboard();
    countdownField_->setFocus(Qt::MouseFocusReason);
    update();
    accessibilityChanged();
}

void IslandView::finishCountdownEdit() {
    if (countdownField_->isHidden()) return;
    const QString draft = countdownField_->text();
    countdownField_->hide();  // before applying: hiding moves the focus, which must not re-enter
    if (draft != countdownFocusedText_) model_.setDuration(draft);
    countdownField_->setText(model_.formattedRemaining());
    update();
    accessibilityChanged();
}

void IslandView::beginChipEdit(Mode mode) {
    finishChipEdit(false);
    chipEditing_ = mode;
    const C value = mode == Mode::focus ? C::focusValue : C::breakValue;
    styleField(chipField_, 13, Qt::AlignHCenter);
    chipField_->setAccessibleName(T::chipAccessibleName(TimerModel::title(mode)));
    chipField_->setToolTip(T::chipEditHelp(1, 120));
    chipField_->setText(
        QString::number(mode == Mode::focus ? model_.focusMinutes() : model_.breakMinutes()));
    chipField_->setGeometry(controlRect(value).adjusted(-2, 3, 2, -3).toAlignedRect());
    chipField_->show();
    chipField_->selectAll();
    if (onNeedsKeyboard) onNeedsKeyboard();
    chipField_->setFocus(Qt::MouseFocusReason);
    update();
    accessibilityChanged();
}

void IslandView::finishChipEdit(bool apply) {
    if (!chipEditing_ || chipApplying_) return;
    chipApplying_ = true;
    const Mode mode = *chipEditing_;
    const QString draft = chipField_->text();
    chipEditing_.reset();
    chipField_->hide();
    if (apply) {
        if (const auto minutes = T::parseChipValue(draft, 1, 120)) {
            if (mode == Mode::focus)
                model_.setFocusMinutes(*minutes);
            else
                model_.setBreakMinutes(*minutes);
        }
    }
    chipApplying_ = false;
    update();
    accessibilityChanged();
}

void IslandView::placeFields() {
    if (!countdownField_->isHidden()) {
        const QRectF r = controlRect(C::countdown);
        if (r.isEmpty() ||
            (layout_.content != IslandContent::expanded && layout_.content != IslandContent::mini))
            finishCountdownEdit();
        else
            countdownField_->setGeometry(r.toAlignedRect());
    }
    if (chipEditing_) {
        const QRectF r = controlRect(*chipEditing_ == Mode::focus ? C::focusValue : C::breakValue);
        if (r.isEmpty())
            finishChipEdit(false);
        else
            chipField_->setGeometry(r.adjusted(-2, 3, 2, -3).toAlignedRect());
    }
    const QRectF quote = controlRect(C::quoteField);
    if (quote.isEmpty()) {
        quoteField_->hide();
    } else {
        quoteField_->setFont(S::font(11.5));
        quoteField_->setStyleSheet(QStringLiteral(
            "QLineEdit { background: transparent; color: white; border: none; padding: 0 7px; }"));
        quoteField_->setGeometry(quote.toAlignedRect());
        quoteField_->show();
    }
}

}  // namespace tw
