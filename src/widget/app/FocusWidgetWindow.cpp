#include "widget/app/FocusWidgetWindow.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSurfaceFormat>

#include "widget/app/WidgetPosition.h"

namespace tw {

namespace {

constexpr int kScreenMargin = 24;

}  // namespace

FocusWidgetWindow::FocusWidgetWindow(FocusWidgetView::Family family, QString positionFile,
                                     WindowHints* hints, CompositorWatch* compositor)
    : positionFile_(std::move(positionFile)), hints_(hints) {
    setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint |
             Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint);
    setTitle(QLatin1String(TarnwhistleWidget::displayName));
    // An alpha channel lets a compositor show the rounded corners; without one the window is cut
    // to its outline.
    QSurfaceFormat format = this->format();
    format.setAlphaBufferSize(8);
    setFormat(format);
    const QSize size = FocusWidgetView::sizeFor(family);
    resize(size);
    setMinimumSize(size);
    setMaximumSize(size);
    shaped_ = !(compositor && compositor->runs());
    // A compositor that starts after the widget, or stops.
    if (compositor) {
        connect(compositor, &CompositorWatch::runsChanged, this,
                &FocusWidgetWindow::setCompositing);
    }
}

QRegion FocusWidgetWindow::outline(QSize size) {
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), FocusWidgetView::kCornerRadius,
                        FocusWidgetView::kCornerRadius);
    return QRegion(path.toFillPolygon().toPolygon());
}

void FocusWidgetWindow::setCompositing(bool runs) {
    if (shaped_ == !runs) return;
    shaped_ = !runs;
    applyShape();
}

void FocusWidgetWindow::applyShape() {
    setMask(shaped_ ? outline(size()) : QRegion());
}

void FocusWidgetWindow::setEntry(const FocusWidgetEntry& entry) {
    entry_ = entry;
    update();
}

QPoint FocusWidgetWindow::defaultPosition() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return QPoint(kScreenMargin, kScreenMargin);
    const QRect area = screen->availableGeometry();
    return QPoint(area.right() + 1 - width() - kScreenMargin, area.top() + kScreenMargin);
}

void FocusWidgetWindow::present() {
    QPoint position = defaultPosition();
    if (const auto stored = widget_position::load(positionFile_)) {
        // At least part of the window must land on a screen that exists now.
        const QRect placed(*stored, size());
        for (const QScreen* screen : QGuiApplication::screens()) {
            if (screen->geometry().intersects(placed.adjusted(16, 16, -16, -16))) {
                position = *stored;
                break;
            }
        }
    }
    setPosition(position);
    create();
    applyShape();
    if (hints_) hints_->keepOnEveryWorkspace(*this, WindowHints::Layer::below);
    show();
}

void FocusWidgetWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRect(QPoint(0, 0), size()), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    const FocusWidgetEntry shown =
        entry_.value_or(FocusWidgetEntry{QDateTime(), FocusWidgetSnapshot::defaultSnapshot()});
    FocusWidgetView(shown).paint(p, QRectF(QPointF(0, 0), QSizeF(size())));
}

void FocusWidgetWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragOffset_ = event->globalPosition().toPoint() - position();
    moved_ = false;
}

void FocusWidgetWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragOffset_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint target = event->globalPosition().toPoint() - *dragOffset_;
    if (target != position()) {
        setPosition(target);
        moved_ = true;
    }
}

void FocusWidgetWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragOffset_) return;
    dragOffset_.reset();
    if (moved_) widget_position::save(positionFile_, position());
    moved_ = false;
}

}  // namespace tw
