#pragma once

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSize>

#include "widget/app/FocusWidgetTimeline.h"

namespace tw {

// The picture of one entry: a column on black, anchored at the top-leading corner with 12 points
// of padding: the header (timer symbol and "TARNWHISTLE"), the mode in upper case in the mode's
// colour, the countdown with digits of equal width, and the status line. One point is one
// device-independent pixel.
class FocusWidgetView {
public:
    enum class Family { systemSmall, systemMedium };
    static QSize sizeFor(Family family);

    explicit FocusWidgetView(FocusWidgetEntry entry) : entry_(std::move(entry)) {}
    const FocusWidgetEntry& entry() const { return entry_; }

    void paint(QPainter& painter, const QRectF& bounds) const;
    // The picture at `scale` device pixels per point, with transparent corners.
    QImage render(QSize size, qreal scale = 1.0) const;

    static constexpr qreal kPadding = 12;
    static constexpr qreal kRowSpacing = 4;
    static constexpr qreal kCornerRadius = 22;

private:
    FocusWidgetEntry entry_;
};

}  // namespace tw
