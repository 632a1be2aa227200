#include "widget/app/FocusWidgetView.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainterPath>
#include <QStringList>
#include <algorithm>
#include <cmath>

namespace tw {

namespace {

const QColor kSecondary(255, 255, 255, 153);  // white at 60 %

// A rounded face where one is installed, else the desktop's own font.
QString roundedFamily() {
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const char* candidate : {"SF Pro Rounded", "Nunito", "Varela Round",
                                      "M PLUS Rounded 1c", "Quicksand", "Comfortaa"}) {
            const QString name = QLatin1String(candidate);
            if (families.contains(name)) return name;
        }
        return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }();
    return family;
}

QFont font(qreal points, QFont::Weight weight) {
    QFont f(roundedFamily());
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(points))));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

// The "timer" symbol: an open dial with a stem at the top and a hand, `size` points tall.
void drawTimerSymbol(QPainter& p, const QPointF& topLeft, qreal size, const QColor& color) {
    p.save();
    QPen pen(color, size * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const qreal r = size * 0.42;
    const QPointF c = topLeft + QPointF(size / 2, size / 2 + size * 0.04);
    const QRectF dial(c.x() - r, c.y() - r, 2 * r, 2 * r);
    // Open at twelve o'clock, where the stem enters the dial.
    p.drawArc(dial, (90 + 18) * 16, (360 - 36) * 16);
    p.drawLine(QPointF(c.x(), c.y() - r - size * 0.02), QPointF(c.x(), c.y() - r * 0.45));
    // The hand points to about two o'clock.
    p.drawLine(c, c + QPointF(0.6, -0.8) * (r * 0.62));
    p.restore();
}

// Draws `text` with every digit in a cell of the widest digit's advance, so the countdown does not
// jiggle as it changes. Returns the width it took.
qreal tabularWidth(const QFontMetricsF& fm, const QString& text) {
    qreal digit = 0;
    for (char d = '0'; d <= '9'; ++d) digit = std::max(digit, fm.horizontalAdvance(QLatin1Char(d)));
    qreal w = 0;
    for (const QChar ch : text) w += ch.isDigit() ? digit : fm.horizontalAdvance(ch);
    return w;
}

void drawTabular(QPainter& p, const QFontMetricsF& fm, QPointF baseline, const QString& text) {
    qreal digit = 0;
    for (char d = '0'; d <= '9'; ++d) digit = std::max(digit, fm.horizontalAdvance(QLatin1Char(d)));
    for (const QChar ch : text) {
        const qreal advance = ch.isDigit() ? digit : fm.horizontalAdvance(ch);
        const qreal glyph = fm.horizontalAdvance(ch);
        p.drawText(baseline + QPointF((advance - glyph) / 2, 0), QString(ch));
        baseline.rx() += advance;
    }
}

}  // namespace

QSize FocusWidgetView::sizeFor(Family family) {
    return family == Family::systemMedium ? QSize(338, 158) : QSize(158, 158);
}

void FocusWidgetView::paint(QPainter& p, const QRectF& bounds) const {
    const FocusWidgetSnapshot& s = entry_.snapshot;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QPainterPath container;
    container.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
    p.fillPath(container, Qt::black);
    p.setClipPath(container);

    const QRectF content = bounds.adjusted(kPadding, kPadding, -kPadding, -kPadding);
    const qreal width = content.width();
    qreal y = content.top();

    // 1. Header: symbol and name, centred on one line, 5 points apart.
    {
        const qreal symbol = 11;
        const QFont nameFont = [] {
            QFont f = font(9, QFont::Bold);
            f.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
            return f;
        }();
        const QFontMetricsF fm(nameFont);
        const qreal h = std::max(symbol, fm.height());
        drawTimerSymbol(p, QPointF(content.left(), y + (h - symbol) / 2), symbol, kSecondary);
        p.setFont(nameFont);
        p.setPen(kSecondary);
        const qreal baseline = y + (h - fm.height()) / 2 + fm.ascent();
        p.drawText(
            QPointF(content.left() + symbol + 5, baseline),
            fm.elidedText(QStringLiteral("TARNWHISTLE"), Qt::ElideRight, width - symbol - 5));
        y += h + kRowSpacing;
    }

    // 2. Mode line.
    {
        QFont f = font(10, QFont::DemiBold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
        const QFontMetricsF fm(f);
        p.setFont(f);
        p.setPen(widget_text::modeColor(s));
        p.drawText(QPointF(content.left(), y + fm.ascent()),
                   fm.elidedText(widget_text::modeLine(s), Qt::ElideRight, width));
        y += fm.height() + kRowSpacing;
    }

    // 3. Countdown, shrunk down to 70 % of its size when it does not fit.
    {
        const QString text = widget_text::countdown(widget_text::secondsShown(entry_));
        QFont f = font(30, QFont::Light);
        const qreal full = tabularWidth(QFontMetricsF(f), text);
        if (full > width && full > 0) {
            const qreal factor = std::max(0.7, width / full);
            f.setPixelSize(std::max(1, static_cast<int>(std::floor(30 * factor))));
        }
        const QFontMetricsF fm(f);
        // The row keeps its full height, so a long countdown does not move the status line.
        const QFontMetricsF fullMetrics(font(30, QFont::Light));
        p.setFont(f);
        p.setPen(Qt::white);
        p.save();
        p.setClipRect(QRectF(content.left(), y, width, fullMetrics.height()), Qt::IntersectClip);
        drawTabular(p, fm, QPointF(content.left(), y + fullMetrics.ascent()), text);
        p.restore();
        y += fullMetrics.height() + kRowSpacing;
    }

    // 4. Status line, one line at most.
    {
        const QFont f = font(10, QFont::Normal);
        const QFontMetricsF fm(f);
        p.setFont(f);
        p.setPen(kSecondary);
        p.drawText(QPointF(content.left(), y + fm.ascent()),
                   fm.elidedText(widget_text::status(s), Qt::ElideRight, width));
    }
    p.restore();
}

QImage FocusWidgetView::render(QSize size, qreal scale) const {
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    QPainter p(&image);
    paint(p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return image;
}

}  // namespace tw
