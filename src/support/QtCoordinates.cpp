#include "support/QtCoordinates.h"

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

}  // namespace

QRect primaryScreenGeometry() {
    if (!haveGuiApplication()) return {};
    const QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->geometry() : QRect();
}

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
    return rectFromQtGlobal(rect, primaryScreenGeometry());
}
QRectF rectToQtGlobal(const RectF& rect) {
    return rectToQtGlobal(rect, primaryScreenGeometry());
}
PointF pointFromQtGlobal(const QPointF& point) {
    return pointFromQtGlobal(point, primaryScreenGeometry());
}

}  // namespace tw
