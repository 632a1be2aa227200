#pragma once

// The island's view of Qt's screens. Qt places screens in one virtual desktop with y growing
// downward; the island geometry works in y-up coordinates with the origin at the bottom-left of
// the primary screen (IslandGeometry.h). Every conversion between the two happens here.
//
// The mapping uses the primary screen's geometry P (Qt coordinates):
//   x_up = x_qt − P.x        y_up = (P.y + P.height) − y_qt   (for a point)
// A Qt rectangle (x, y, w, h) becomes (x − P.x, P.y + P.height − (y + h), w, h), and back.
// Qt's pixel rows run from y to y + h − 1, so a pointer on a screen's top row lands on its y-up
// maxY and one on its last row just above its minY, which matches the containment rule of
// chooseDisplay (minY < y ≤ maxY).
//
// Linux screens report no camera housing: the safe-area top is 0 and there are no auxiliary top
// areas, so `automatic` resolves to the pill. The menu bar depth is the height of the top panel:
// the available geometry's top minus the geometry's top.

#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QString>
#include <optional>

#include "island/IslandGeometry.h"
#include "support/QtCoordinates.h"

class QScreen;

namespace tw {

// The screen as the island geometry sees it, relative to `primaryGeometry`.
ScreenDescription describeScreen(const QScreen& screen, const QRect& primaryGeometry);
// The same, relative to the current primary screen.
ScreenDescription describeScreen(const QScreen& screen);

// The display identifier of a Qt screen: the monitor's manufacturer, model and serial number when
// all are known, else the screen's name (see displayID in IslandGeometry.h).
QString displayID(const QScreen& screen);

// The connected screens in Qt's order, described; empty without a QGuiApplication.
QList<ScreenDescription> connectedScreens();
// The connected screens as display choices.
QList<DisplayInfo> displays();
// The first connected screen whose identifier is `id`.
QScreen* screenForDisplayID(const QString& id);
// The pointer position in y-up coordinates.
PointF pointerPosition();

// The screen the island goes to for the display choice: chooseDisplay over the connected screens
// and the pointer. Nothing when no screen is connected.
QScreen* targetScreen(const QString& displayChoice);
// Whether the island must watch the pointer for this display choice right now.
bool followsPointer(const QString& displayChoice);

}  // namespace tw
