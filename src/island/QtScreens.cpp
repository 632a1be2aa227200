#include "island/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace tw {

namespace {

// The y of the primary screen's bottom edge in Qt coordinates: the y-up origin.
double originY(const QRect& primary) {
    return double(primary.y()) + double(primary.height());
}

bool haveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

QRect primaryGeometry() {
    if (!haveGuiApplication()) return {};
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

// QRect::bottom() is y + height − 1; the geometry wants the exclusive edges, so work from
// x, y, width and height only.
QRectF exact(const QRect& r) {
    return QRectF(r.x(), r.y(), r.width(), r.height());
}

}  // namespace

RectF rectFromQtGlobal(const QRectF& rect, const QRect& primary) {
    return {rect.x() - primary.x(), originY(primary) - (rect.y() + rect.height()), rect.width(),
            rect.height()};
}

QRectF rectToQtGlobal(const RectF& rect, const QRect& primary) {
    return QRectF(rect.x + primary.x(), originY(primary) - rect.maxY(), rect.width, rect.height);
}

PointF pointFromQtGlobal(const QPointF& point, const QRect& primary) {
    return {point.x() - primary.x(), originY(primary) - point.y()};
}

QPointF pointToQtGlobal(PointF point, const QRect& primary) {
    return QPointF(point.x + primary.x(), originY(primary) - point.y);
}

QRectF rectToQtLocal(const RectF& rect, double containerHeight) {
    return QRectF(rect.x, containerHeight - rect.maxY(), rect.width, rect.height);
}

RectF rectFromQtGlobal(const QRectF& rect) {
    return rectFromQtGlobal(rect, primaryGeometry());
}
QRectF rectToQtGlobal(const RectF& rect) {
    return rectToQtGlobal(rect, primaryGeometry());
}
PointF pointFromQtGlobal(const QPointF& point) {
    return pointFromQtGlobal(point, primaryGeometry());
}

ScreenDescription describeScreen(const QScreen& screen, const QRect& primary) {
    ScreenDescription d;
    d.frame = rectFromQtGlobal(exact(screen.geometry()), primary);
    d.visibleFrame = rectFromQtGlobal(exact(screen.availableGeometry()), primary);
    d.safeAreaTop = 0;
    d.name = screen.name();
    d.backingScale = screen.devicePixelRatio();
    d.manufacturer = screen.manufacturer();
    d.model = screen.model();
    d.serial = screen.serialNumber();
    return d;
}

ScreenDescription describeScreen(const QScreen& screen) {
    return describeScreen(screen, primaryGeometry());
}

QString displayID(const QScreen& screen) {
    ScreenDescription d;
    d.name = screen.name();
    d.manufacturer = screen.manufacturer();
    d.model = screen.model();
    d.serial = screen.serialNumber();
    return displayID(d);
}

QList<ScreenDescription> connectedScreens() {
    QList<ScreenDescription> out;
    if (!haveGuiApplication()) return out;
    const QRect primary = primaryGeometry();
    for (const QScreen* s : QGuiApplication::screens()) {
        if (s) out.append(describeScreen(*s, primary));
    }
    return out;
}

QList<DisplayInfo> displays() {
    return displayInfos(connectedScreens());
}

QScreen* screenForDisplayID(const QString& id) {
    if (!haveGuiApplication()) return nullptr;
    for (QScreen* s : QGuiApplication::screens()) {
        if (s && displayID(*s) == id) return s;
    }
    return nullptr;
}

PointF pointerPosition() {
    if (!haveGuiApplication()) return {};
    return pointFromQtGlobal(QPointF(QCursor::pos()));
}

QScreen* targetScreen(const QString& displayChoice) {
    const auto chosen = chooseDisplay(displays(), displayChoice, pointerPosition());
    return chosen ? screenForDisplayID(chosen->id) : nullptr;
}

bool followsPointer(const QString& displayChoice) {
    const qsizetype count = haveGuiApplication() ? QGuiApplication::screens().size() : 0;
    return followsPointer(displayChoice, count);
}

}  // namespace tw
