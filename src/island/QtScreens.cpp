#include "island/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "support/QtCoordinates.h"

namespace tw {

namespace {

bool haveGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// QRect::bottom() is y + height − 1; the geometry wants the exclusive edges, so work from
// x, y, width and height only.
QRectF exact(const QRect& r) {
    return QRectF(r.x(), r.y(), r.width(), r.height());
}

}  // namespace

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
    return describeScreen(screen, primaryScreenGeometry());
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
    const QRect primary = primaryScreenGeometry();
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
