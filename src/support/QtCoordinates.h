#pragma once

// Qt places screens in one virtual desktop with y growing downward; the y-up coordinates of
// Geometry.h have their origin at the bottom-left of the primary screen. Every conversion between
// the two happens here. With the primary screen's geometry P (Qt coordinates):
//   x_up = x_qt − P.x        y_up = (P.y + P.height) − y_qt   (for a point)
// A Qt rectangle (x, y, w, h) becomes (x − P.x, P.y + P.height − (y + h), w, h), and back.

#include <QPointF>
#include <QRect>
#include <QRectF>

#include "support/Geometry.h"

namespace tw {

// Pure conversions against an explicit primary-screen geometry.
RectF rectFromQtGlobal(const QRectF& rect, const QRect& primaryGeometry);
QRectF rectToQtGlobal(const RectF& rect, const QRect& primaryGeometry);
PointF pointFromQtGlobal(const QPointF& point, const QRect& primaryGeometry);
QPointF pointToQtGlobal(PointF point, const QRect& primaryGeometry);

// A y-up rectangle inside a container of height `containerHeight` (both y-up, origin at the
// container's bottom-left) as Qt widget coordinates (origin top-left, y down).
QRectF rectToQtLocal(const RectF& rect, double containerHeight);

// The same conversions against the current primary screen (the zero rectangle without one).
RectF rectFromQtGlobal(const QRectF& rect);
QRectF rectToQtGlobal(const RectF& rect);
PointF pointFromQtGlobal(const QPointF& point);

// The current primary screen's geometry; the zero rectangle without a GUI application or screen.
QRect primaryScreenGeometry();

}  // namespace tw
