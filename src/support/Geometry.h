#pragma once

// Plain geometry in points, in "y-up" global coordinates: the origin is the bottom-left corner of
// the primary screen and y grows upward. A `RectF` is (x, y, width, height) with (x, y) its
// bottom-left corner, so `maxY()` is its top edge. Qt's own rectangles (y down) are converted in
// one place, QtCoordinates.h.

namespace tw {

struct PointF {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

struct SizeF {
    double width = 0;
    double height = 0;
    friend bool operator==(const SizeF&, const SizeF&) = default;
};

// A rectangle in y-up coordinates: (x, y) is the bottom-left corner.
struct RectF {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double midX() const { return x + width * 0.5; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midY() const { return y + height * 0.5; }
    SizeF size() const { return {width, height}; }

    friend bool operator==(const RectF&, const RectF&) = default;
};

}  // namespace tw
