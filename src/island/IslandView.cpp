#include "island/IslandView.h"

#include <QAccessible>
#include <QCoreApplication>
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
#include "island/IslandPainter.h"
#include "island/IslandState.h"
#include "island/IslandViewText.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace S = islandstyle;
namespace T = islandtext;
using C = IslandControl;
using Mode = TimerModel::Mode;

namespace {

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

}  // namespace

IslandView::IslandView(TimerModel& model, IslandState& island, AppPreferences& preferences,
                       QWidget* parent)
    : QWidget(parent), model_(model), island_(island), preferences_(preferences) {
    reduceMotion = [] { return qEnvironmentVariable("TARNWHISTLE_REDUCED_MOTION") == "1"; };
    onQuit = [] { QCoreApplication::quit(); };
    onNeedsKeyboard = [this] { window()->activateWindow(); };

    actions_ = new IslandActions(model_, island_, preferences_, this);
    const QPointer<IslandView> self(this);
    actions_->onQuit = [self] {
        if (self && self->onQuit) self->onQuit();
    };
    connect(actions_, &IslandActions::widgetRequested, this,
            [this](IslandControl control) { openControl(control); });
    connect(actions_, &IslandActions::quoteChanged, this, [this] { refresh(Motion::content); });
    connect(actions_, &IslandActions::taskChosen, this, [this] { taskPickerChanged(); });

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
        actions_->setQuoteText(text);
        update(controlRect(C::quoteSend).toAlignedRect().adjusted(-2, -2, 2, 2));
        accessibilityChanged();  // "Send" turns on or off
    });
    connect(quoteField_, &QLineEdit::returnPressed, this,
            [this] { actions_->activate(C::quoteSend, layout_.content); });

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

void IslandView::setTaskPickerHook(std::optional<FocusTaskSource> source) {
    actions_->setTaskPickerHook(std::move(source));
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
    return islandlayout::compute(islandlayout::readInput(model_, island_, preferences_,
                                                         actions_->taskPickerHook().has_value(),
                                                         actions_->quoteState(), width()));
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

QRectF IslandView::changedTimeArea(const QString& shown) {
    // Where each character goes depends only on which are digits: laid out again only when
    // that, the place or the alignment changes.
    QString pattern = shown;
    for (QChar& c : pattern) {
        if (c.isDigit()) c = u'0';
    }
    const QRectF rect = layout_.rect(C::countdown);
    const Qt::Alignment align = IslandPainter::collapsedCountdownAlignment(layout_);
    TimeCells& t = timeCells_;
    if (pattern != t.pattern || rect != t.rect || align != t.align) {
        const QFont font = IslandPainter::collapsedCountdownFont();
        t = {rect, align, pattern, islandstyle::tabularTextCells(rect, shown, font, align),
             islandstyle::tabularTextBand(rect, font)};
    }
    if (shown.size() != shownRemaining_.size()) return t.band;
    QRectF area;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i] != shownRemaining_[i]) area |= t.cells[i];
    }
    return area;
}

void IslandView::remainingChanged() {
    switch (layout_.content) {
        case IslandContent::collapsed:
        case IslandContent::expanded:
        case IslandContent::mini: {
            QRectF time = layout_.rect(C::countdown);
            const QString shown = model_.formattedRemaining();
            // The closed island repaints only the characters that changed (most seconds one
            // digit), in the digits' band, so that the outline's rounded edge is not touched.
            if (layout_.content == IslandContent::collapsed) time = changedTimeArea(shown);
            shownRemaining_ = shown;
            if (!time.isEmpty()) update(time.toAlignedRect().adjusted(-2, -1, 2, 1));
            // The ring or bar only when what it draws changes: antialiased, it costs more than
            // the digits, and most seconds move it by less than a pixel.
            const qint64 step = islandlayout::progressStep(layout_, islandlayout::progress(model_),
                                                           devicePixelRatioF());
            if (step != progressStep_) {
                progressStep_ = step;
                update(layout_.rect(C::progress).toAlignedRect().adjusted(-2, -2, 2, 2));
            }
            break;
        }
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
    if (actions_->followCard()) {
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

void IslandView::paintEvent(QPaintEvent* event) {
    IslandPaintState state;
    state.dirty = QRectF(event->rect());
    state.model = &model_;
    state.island = &island_;
    state.quote = &actions_->quoteState();
    state.hovered = hovered_;
    state.pressed = pressed_;
    state.countdownEditing = !countdownField_->isHidden();
    if (!chipField_->isHidden()) state.chipEditing = chipEditing_;
    if (!layout_.rect(C::taskPicker).isEmpty()) {
        state.taskTitle = actions_->taskTitle();
        state.taskChosen = actions_->chosenTask().has_value();
    }
    state.outline = current_.rect;
    state.outlineShape = current_.shape;
    state.contentOpacity = contentOpacity_;
    state.cueOffset = cueOffset_;
    // Only the completion card draws differently with reduced motion; asking reads the
    // desktop's settings files, which a repaint of the time every second need not do.
    state.reducedMotion = layout_.content == IslandContent::celebration && reducedMotion();
    state.cardElapsed = cardElapsed();
    // Set by the desktop panel while it cuts the window to the outline.
    state.shaped = testAttribute(Qt::WA_OpaquePaintEvent);
    if (state.dirty.contains(QRectF(rect()))) state.dirty = QRectF();  // all of it
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    IslandPainter(layout_, state).paint(p);
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
        if (at == *pressed) actions_->activate(at, layout_.content);
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
    // Escape closes the open island (the text fields take their own Escape first).
    if (event->key() == Qt::Key_Escape && island_.isExpanded()) {
        if (island_.requestCollapse) island_.requestCollapse();
        return;
    }
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
    islandstyle::styleMenu(*menu, islandstyle::modeColor(model_.mode()));
    const QPointer<IslandActions> actions(actions_);
    islandmenu::fill(*menu, actions_->contextMenu(layout_.metrics.isPill()),
                     [actions](const islandmenu::MenuEntry& entry) {
                         if (actions) actions->perform(entry);
                     });
    return menu;
}

void IslandView::openControl(IslandControl control) {
    switch (control) {
        case C::countdown:
            beginCountdownEdit();
            break;
        case C::focusValue:
            beginChipEdit(Mode::focus);
            break;
        case C::breakValue:
            beginChipEdit(Mode::rest);
            break;
        case C::taskPicker:
            showTaskMenu();
            break;
        case C::quoteField:
            quoteField_->setFocus(Qt::MouseFocusReason);
            if (onNeedsKeyboard) onNeedsKeyboard();
            break;
        default:
            break;
    }
}

void IslandView::showTaskMenu() {
    const auto& hook = actions_->taskPickerHook();
    if (!hook || !hook->tasks) return;
    QMenu menu;
    const QPointer<IslandActions> actions(actions_);
    islandmenu::fill(menu, actions_->taskMenu(), [actions](const islandmenu::MenuEntry& entry) {
        if (actions) actions->perform(entry);
    });
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
