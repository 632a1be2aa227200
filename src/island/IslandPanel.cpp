#include "island/IslandPanel.h"

#include <QPainterPath>

#include "island/IslandViewStyle.h"

#include <QAccessible>
#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "island/IslandController.h"
#include "island/IslandView.h"
#include "island/QtScreens.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

QRect toQRect(const RectF& r) {
    const QRectF q = rectToQtGlobal(r);
    return QRect(static_cast<int>(std::lround(q.x())), static_cast<int>(std::lround(q.y())),
                 static_cast<int>(std::lround(q.width())),
                 static_cast<int>(std::lround(q.height())));
}

constexpr int alphaAnimationMs = 200;

}  // namespace

IslandPanel::IslandPanel(std::shared_ptr<WindowHints> hints, bool compositing, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
    setObjectName(QStringLiteral("IslandPanel"));
    setWindowTitle(QStringLiteral("Tarnwhistle"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_QuitOnClose, false);
    hints_ = std::move(hints);
    menuAccent_ = islandstyle::modeColor(TimerModel::Mode::focus);
    translucent_ = compositing;
    if (translucent_) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
        hasAlpha_ = true;
    }
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);

    container_ = new QWidget(this);
    container_->setObjectName(QStringLiteral("IslandContainer"));
    accessibleAnnouncer_ = new QWidget(this);
    accessibleAnnouncer_->setObjectName(QStringLiteral("IslandAnnouncer"));
    accessibleAnnouncer_->setGeometry(0, 0, 1, 1);
    accessibleAnnouncer_->lower();

    alphaAnimation_ = new QPropertyAnimation(this, "windowOpacity", this);
    alphaAnimation_->setDuration(alphaAnimationMs);

    resize(1, 1);
    winId();  // the native window exists from here on, so its properties can be set
    applyDesktopStates();
    // Application-wide: the pill drag has to see left-button events of other windows too (they
    // end a drag), and an application filter sees them before any widget does.
    qApp->installEventFilter(this);
}

IslandPanel::~IslandPanel() {
    if (qApp) qApp->removeEventFilter(this);
}

void IslandPanel::setContentWidget(QWidget* content) {
    // The panel owns its content: a replaced one goes.
    if (content_ && content_ != content) content_->deleteLater();
    content_ = content;
    if (content_) {
        content_->setParent(container_);
        content_->setGeometry(container_->rect());
        content_->show();
        markContentShaped();
    }
}

void IslandPanel::setShape(const std::optional<QRegion>& shape) {
    shape_ = shape;
    applyShape();
}

void IslandPanel::setShapeProvider(std::function<QRegion()> provider) {
    shapeProvider_ = std::move(provider);
    applyShape();
}

void IslandPanel::setCompositing(bool runs) {
    if (runs == translucent_) return;
    translucent_ = runs;
    if (!runs) {
        // The alpha channel stays; the shape hides what is not the island.
        applyShape();
        update();
        return;
    }
    if (maskApplied_) clearMask();
    maskApplied_ = false;
    markContentShaped();
    if (!hasAlpha_) {
        // The visual of an X window is fixed when it is made: make it again with an alpha
        // channel, where it was and as it was.
        const bool wasVisible = isVisible();
        const QRect where = geometry();
        hide();
        destroy();
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
        create();
        hasAlpha_ = true;
        setGeometry(where);
        applyDesktopStates();
        if (wasVisible) show();
    }
    update();
}

void IslandPanel::applyShape() {
    if (translucent_) return;
    // Without a compositor an invisible (hidden-until-hover) pill is cut down to nothing but a
    // pixel in its corner; the pixel takes no input (the window ignores the pointer then).
    std::optional<QRegion> mask;
    if (alpha_ <= 0.01) {
        mask = QRegion(0, 0, 1, 1);
    } else if (shapeProvider_) {
        const QRegion r = shapeProvider_();
        if (!r.isEmpty()) mask = r;
    } else if (shape_) {
        mask = *shape_;
    }
    if (!mask) {
        if (maskApplied_) clearMask();
        maskApplied_ = false;
        markContentShaped();
        return;
    }
    if (maskApplied_ && *mask == appliedMask_) return;
    appliedMask_ = *mask;
    maskApplied_ = true;
    setMask(*mask);
    markContentShaped();
}

void IslandPanel::markContentShaped() {
    // Cut to its outline, the content paints every pixel the shape lets through and more: the
    // panel need not paint a background beneath it first (a second painter every second).
    const bool shaped = maskApplied_ && !translucent_;
    if (content_ && content_->testAttribute(Qt::WA_OpaquePaintEvent) != shaped) {
        content_->setAttribute(Qt::WA_OpaquePaintEvent, shaped);
    }
}

void IslandPanel::applyDesktopStates() {
    QWindow* window = windowHandle();
    if (hints_ && window) hints_->keepOnEveryWorkspace(*window, WindowHints::Layer::above);
}

void IslandPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Qt rewrites the window state when it maps the window: ask again for the states it does
    // not know.
    applyDesktopStates();
}

void IslandPanel::layoutContainer() {
    const RectF inner = topCenterRect({double(width()), double(height())}, hostSize_);
    const QRectF local = rectToQtLocal(inner, height());
    container_->setGeometry(QRect(static_cast<int>(std::lround(local.x())),
                                  static_cast<int>(std::lround(local.y())),
                                  static_cast<int>(std::lround(local.width())),
                                  static_cast<int>(std::lround(local.height()))));
    if (content_) content_->setGeometry(container_->rect());
}

void IslandPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContainer();
    applyShape();
}

RectF IslandPanel::frame() const {
    return rectFromQtGlobal(QRectF(geometry()));
}

void IslandPanel::setFrame(const RectF& frame, bool) {
    const QRect r = toQRect(frame);
    if (r != geometry()) setGeometry(r);
}

void IslandPanel::setFrameOrigin(PointF origin) {
    RectF f = frame();
    f.x = origin.x;
    f.y = origin.y;
    const QRect r = toQRect(f);
    move(r.topLeft());
}

void IslandPanel::setHostSize(SizeF size) {
    hostSize_ = size;
    layoutContainer();
}

void IslandPanel::orderFront() {
    show();
    raise();
}

void IslandPanel::orderOut() {
    hide();
}

void IslandPanel::setWindowFlagNow(Qt::WindowType flag, bool on) {
    // Through the native window: QWidget::setWindowFlag would hide and re-create it.
    if (QWindow* w = windowHandle()) w->setFlag(flag, on);
}

void IslandPanel::makeKey() {
    setWindowFlagNow(Qt::WindowDoesNotAcceptFocus, false);
    setAttribute(Qt::WA_X11DoNotAcceptFocus, false);
    activateWindow();
    if (QWindow* w = windowHandle()) w->requestActivate();
}

void IslandPanel::resignKey() {
    if (QWidget* f = focusWidget()) f->clearFocus();
    setWindowFlagNow(Qt::WindowDoesNotAcceptFocus, true);
    setAttribute(Qt::WA_X11DoNotAcceptFocus, true);
}

void IslandPanel::setIgnoresMouseEvents(bool ignores) {
    setWindowFlagNow(Qt::WindowTransparentForInput, ignores);
}

void IslandPanel::setAlpha(double alpha, bool animate) {
    alphaAnimation_->stop();
    alpha_ = alpha;
    if (translucent_ && animate) {
        alphaAnimation_->setStartValue(windowOpacity());
        alphaAnimation_->setEndValue(alpha);
        alphaAnimation_->start();
    } else {
        setWindowOpacity(alpha);
    }
    applyShape();
}

void IslandPanel::pushGrabCursor() {
    QGuiApplication::setOverrideCursor(Qt::ClosedHandCursor);
}

void IslandPanel::popGrabCursor() {
    QGuiApplication::restoreOverrideCursor();
}

void IslandPanel::popUpMenu(const QList<QuickMenuItem>& items, PointF location) {
    auto* menu = new QMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    islandstyle::styleMenu(*menu, menuAccent_);
    for (const QuickMenuItem& item : items) {
        if (item.isSeparator()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.title);
        const auto fn = item.action;
        // Queued: the action may close the island or quit, which should not happen inside the
        // menu's own event handling.
        connect(action, &QAction::triggered, menu, [fn] {
            if (fn) QMetaObject::invokeMethod(qApp, fn, Qt::QueuedConnection);
        });
    }
    menu->popup(pointToQtGlobal(location, QGuiApplication::primaryScreen()
                                              ? QGuiApplication::primaryScreen()->geometry()
                                              : QRect())
                    .toPoint());
}

void IslandPanel::announce(const QString& text) {
    if (!accessibleAnnouncer_) return;
    accessibleAnnouncer_->setAccessibleName(text);
    QAccessibleEvent event(accessibleAnnouncer_.data(), QAccessible::Alert);
    QAccessible::updateAccessibility(&event);
}

bool IslandPanel::eventFilter(QObject* watched, QEvent* event) {
    // It sees every event of the application: all but these few pass at once.
    switch (event->type()) {
        case QEvent::Paint:
        case QEvent::Resize:
            if (watched == content_ && !translucent_ && shapeProvider_) applyShape();
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
        case QEvent::Wheel:
            break;
        default:
            return false;
    }
    // Only native windows: every mouse event reaches its window exactly once.
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window) return QWidget::eventFilter(watched, event);
    const bool ours = window == windowHandle();
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            auto* me = static_cast<QMouseEvent*>(event);
            IslandMouseEvent e;
            if (event->type() == QEvent::MouseMove) {
                if (!(me->buttons() & Qt::LeftButton)) break;
                e.type = IslandMouseEvent::Type::leftDragged;
            } else if (me->button() == Qt::LeftButton) {
                e.type = event->type() == QEvent::MouseButtonRelease
                             ? IslandMouseEvent::Type::leftUp
                             : IslandMouseEvent::Type::leftDown;
            } else if (me->button() == Qt::RightButton &&
                       event->type() != QEvent::MouseButtonRelease) {
                e.type = IslandMouseEvent::Type::rightDown;
            } else {
                break;
            }
            e.screenPoint = pointFromQtGlobal(me->globalPosition());
            if (ours) {
                const QPointF p = me->position();
                e.locationInWindow = PointF{p.x(), height() - p.y()};
            }
            if (onMouse && onMouse(e)) return true;
            break;
        }
        case QEvent::Wheel: {
            if (!ours || !onScroll) break;
            auto* we = static_cast<QWheelEvent*>(event);
            IslandScrollEvent e;
            const QPointF p = we->position();
            e.locationInWindow = {p.x(), height() - p.y()};
            e.precise = !we->pixelDelta().isNull();
            // Wheel notches count one each, as lines; touchpads report points.
            e.deltaY = e.precise ? we->pixelDelta().y() : we->angleDelta().y() / 120.0;
            e.inverted = we->inverted();
            e.begins = we->phase() == Qt::ScrollBegin;
            e.momentum = we->phase() == Qt::ScrollMomentum;
            e.phaseless = we->phase() == Qt::NoScrollPhase;
            e.timestamp = static_cast<double>(we->timestamp()) / 1000.0;
            onScroll(e);
            break;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- The island on the real desktop ----

std::unique_ptr<IslandController> makeDesktopIsland(TimerModel& model, AppPreferences& preferences,
                                                    Scheduler& scheduler, const DriftLog* drifts,
                                                    TestimonialStore* testimonials,
                                                    DesktopIslandParts parts, QObject* parent) {
    PointerMonitor* monitorPtr = parts.pointer.get();
    ReducedMotion* reducedMotionPtr = parts.reducedMotion.get();
    CompositorWatch* watch = parts.compositor.get();
    auto panel =
        std::make_unique<IslandPanel>(std::move(parts.windowHints), watch && watch->runs());
    IslandPanel* panelPtr = panel.get();
    IslandEnvironment env;
    env.scheduler = &scheduler;
    env.ownedPointer = std::move(parts.pointer);
    env.ownedReducedMotion = std::move(parts.reducedMotion);
    env.trayHost = std::move(parts.trayHost);
    env.screens = [] { return connectedScreens(); };
    env.window = std::move(panel);
    env.drifts = drifts;
    env.testimonials = testimonials;
    auto controller =
        std::make_unique<IslandController>(model, preferences, std::move(env), parent);
    IslandController* c = controller.get();

    // The island's content.
    auto* view = new IslandView(model, c->island(), preferences);
    view->reduceMotion = [reducedMotionPtr] { return reducedMotionPtr->isReduced(); };
    view->onNeedsKeyboard = [c = QPointer<IslandController>(c)] {
        if (c) c->expand(true);
    };
    // The context menu's "Quit Tarnwhistle" is the same quit as the quick menu's.
    view->onQuit = [c = QPointer<IslandController>(c)] {
        if (c) c->quit();
    };
    panelPtr->setContentWidget(view);
    // The task picker shows the controller's task source and follows its changes.
    const auto showTasks = [view, c] {
        view->setTaskPickerHook(c->taskSource());
        view->taskPickerChanged();
    };
    if (c->taskSource()) showTasks();
    QObject::connect(c, &IslandController::taskSourceChanged, view, showTasks);
    // The quick menu's chosen item in the timer's mode colour.
    panelPtr->setMenuAccent(islandstyle::modeColor(model.mode()));
    QObject::connect(&model, &TimerModel::modeChanged, panelPtr, [panelPtr](TimerModel::Mode mode) {
        panelPtr->setMenuAccent(islandstyle::modeColor(mode));
    });
    // Without a compositor the window is cut to the island's outline.
    const QPointer<IslandView> weakView(view);
    // It is asked before every paint, and the outline seldom changes: the region is made again
    // only when it does.
    struct Outline {
        QRectF rect;
        islandstyle::ShapeParams shape;
        QPoint offset;
        QRegion region;
    };
    panelPtr->setShapeProvider([weakView, panelPtr, last = Outline{}]() mutable -> QRegion {
        if (!weakView) return {};
        const QRectF rect = weakView->islandRect();
        const islandstyle::ShapeParams shape = weakView->shape();
        const QPoint offset = weakView->mapTo(panelPtr, QPoint(0, 0));
        if (last.region.isEmpty() || rect != last.rect || !(shape == last.shape) ||
            offset != last.offset) {
            // The outline's rounded corners, as a polygon region (a mask has no soft edges).
            const QPainterPath outline = islandstyle::islandShapePath(rect, shape);
            last = {rect, shape, offset,
                    QRegion(outline.toFillPolygon().toPolygon()).translated(offset)};
        }
        return last.region;
    });

    // A compositor that starts after the island (a session's autostart runs in any order), or
    // stops: translucent or shaped from then on. The watch belongs to the controller.
    if (watch) {
        parts.compositor.release()->setParent(c);
        QObject::connect(watch, &CompositorWatch::runsChanged, panelPtr,
                         [panelPtr](bool runs) { panelPtr->setCompositing(runs); });
    }

    QObject::connect(monitorPtr, &PointerMonitor::activeWindowChanged, c,
                     [c] { c->activeWindowChanged(); });
    // Screens: added, removed, moved, resized, a top panel appearing.
    const auto watchScreen = [c](QScreen* s) {
        QObject::connect(s, &QScreen::geometryChanged, c, [c] { c->screensChanged(); });
        QObject::connect(s, &QScreen::availableGeometryChanged, c, [c] { c->screensChanged(); });
    };
    for (QScreen* s : QGuiApplication::screens()) watchScreen(s);
    QObject::connect(qGuiApp, &QGuiApplication::screenAdded, c, [c, watchScreen](QScreen* s) {
        watchScreen(s);
        c->screensChanged();
    });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, c, [c] { c->screensChanged(); });
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, c,
                     [c] { c->screensChanged(); });
    return controller;
}

}  // namespace tw
