#include "island/IslandViewStyle.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QSvgRenderer>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <optional>

#include "support/ModeColors.h"

namespace tw::islandstyle {

QColor focusColor() {
    return modecolors::focus();
}

QColor breakColor() {
    return modecolors::rest();
}

QColor modeColor(TimerModel::Mode mode) {
    return mode == TimerModel::Mode::focus ? focusColor() : breakColor();
}

void styleMenu(QMenu& menu, const QColor& accent) {
    menu.setWindowFlag(Qt::FramelessWindowHint);
    menu.setWindowFlag(Qt::NoDropShadowWindowHint);
    menu.setAttribute(Qt::WA_TranslucentBackground);
    menu.setStyleSheet(
        QStringLiteral("QMenu { background: #161616; color: rgba(255, 255, 255, 235);"
                       " border: 1px solid rgba(255, 255, 255, 28); border-radius: 10px;"
                       " padding: 6px; font-size: 13px; }"
                       "QMenu::item { padding: 5px 22px 5px 12px; border-radius: 6px; }"
                       "QMenu::item:selected { background: %1; color: #121212; }"
                       "QMenu::item:disabled { color: rgba(255, 255, 255, 90); }"
                       "QMenu::separator { height: 1px; background: rgba(255, 255, 255, 22);"
                       " margin: 5px 8px; }")
            .arg(accent.name()));
}

QFont font(double pixelSize, QFont::Weight weight) {
    static const QString family = [] {
        QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        return f.family();
    }();
    QFont f(family);
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

namespace {

// The outline's corners as drawn: the top and bottom radii, clamped to the rectangle, and how far
// the flared top corners pull the sides in.
struct Corners {
    double top;
    double bottom;
    double detach;
    double side;  // the sides' distance from the rectangle's left and right edges
};

Corners cornersOf(const QRectF& r, const ShapeParams& s) {
    const double t = std::max(0.0, std::min(r.width() * 0.25, s.topRadius));
    const double b =
        std::max(0.0, std::min({s.bottomRadius, r.height() * 0.5, (r.width() - 2 * t) * 0.5}));
    const double d = std::clamp(s.detach, 0.0, 1.0);
    return {t, b, d, (1 - d) * t};
}

}  // namespace

QPainterPath islandShapePath(const QRectF& r, const ShapeParams& s) {
    const auto [t, b, d, l] = cornersOf(r, s);
    const double minX = r.left(), maxX = r.right(), minY = r.top(), maxY = r.bottom();

    QPainterPath path;
    path.moveTo(minX + d * t, minY);
    path.quadTo(minX + l, minY, minX + l, minY + t);
    path.lineTo(minX + l, maxY - b);
    path.quadTo(minX + l, maxY, minX + l + b, maxY);
    path.lineTo(maxX - l - b, maxY);
    path.quadTo(maxX - l, maxY, maxX - l, maxY - b);
    path.lineTo(maxX - l, minY + t);
    path.quadTo(maxX - l, minY, maxX - d * t, minY);
    path.closeSubpath();
    return path;
}

bool insideIslandShape(const QRectF& r, const ShapeParams& s, const QRectF& area, double inset) {
    if (area.isEmpty()) return false;
    const double w = r.width();
    const double h = r.height();
    const Corners c = cornersOf(r, s);
    // The outline holds a cross: a full-height band between the corners and a full-width band
    // between the top and bottom corners.
    const double corner = std::max(c.top, c.bottom);
    const QRectF tall(r.left() + c.side + corner, r.top(), w - 2 * (c.side + corner), h);
    const QRectF wide(r.left() + c.side, r.top() + c.top, w - 2 * c.side, h - c.top - c.bottom);
    const auto holds = [&](const QRectF& band) {
        return band.adjusted(inset, inset, -inset, -inset).contains(area);
    };
    return holds(tall) || holds(wide);
}

ShapeParams shapeFor(bool pill, bool open, double height, bool hoveredIdle) {
    if (pill) {
        if (open) return {18, 18, 1};
        return {height / 2, height / 2, 1};
    }
    if (open) return {12, 24, 0};
    return {6, hoveredIdle ? 14.0 : 10.0, 0};
}

void paintProgressRing(QPainter& p, const QRectF& rect, double progress, const QColor& color,
                       double lineWidth) {
    const double value = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    const QRectF r = rect.adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QColor track = color;
    track.setAlphaF(color.alphaF() * 0.22f);
    p.setPen(QPen(track, lineWidth));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(r);
    if (value > 0) {
        QPen pen(color, lineWidth);
        pen.setCapStyle(Qt::RoundCap);
        p.setPen(pen);
        // Qt angles run counter-clockwise from three o'clock in 1/16 degrees.
        p.drawArc(r, 90 * 16, -static_cast<int>(std::lround(value * 360 * 16)));
    }
    p.restore();
}

void paintProgressBar(QPainter& p, const QRectF& rect, double progress, const QColor& color) {
    const double value = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    const double radius = rect.height() / 2;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    QColor track = color;
    track.setAlphaF(color.alphaF() * 0.2f);
    p.setBrush(track);
    p.drawRoundedRect(rect, radius, radius);
    if (value > 0) {
        QRectF fill = rect;
        fill.setWidth(std::max(rect.height(), rect.width() * value));
        p.setBrush(color);
        p.drawRoundedRect(fill, radius, radius);
    }
    p.restore();
}

namespace {

QString iconPath(const QString& symbol) {
    return QStringLiteral(":/icons/") + symbol + QStringLiteral(".svg");
}

struct IconCache {
    QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;
    QHash<QString, QImage> images;
};

IconCache& iconCache() {
    static IconCache cache;
    return cache;
}

QSvgRenderer* renderer(const QString& symbol) {
    auto& cache = iconCache();
    auto it = cache.renderers.find(symbol);
    if (it == cache.renderers.end()) {
        auto r = std::make_shared<QSvgRenderer>(iconPath(symbol));
        it = cache.renderers.insert(symbol, r->isValid() ? r : nullptr);
    }
    return it->get();
}

}  // namespace

bool hasIcon(const QString& symbol) {
    return QFile::exists(iconPath(symbol));
}

void paintIcon(QPainter& p, const QString& symbol, const QRectF& rect, double iconSize,
               const QColor& color) {
    if (iconSize <= 0 || color.alpha() == 0) return;
    const double dpr = p.device() ? std::max(1.0, p.device()->devicePixelRatioF()) : 1.0;
    const int px = std::max(1, static_cast<int>(std::ceil(iconSize * dpr)));
    const QString key = symbol + QLatin1Char('|') + QString::number(px) + QLatin1Char('|') +
                        QString::number(color.rgba(), 16);
    auto& cache = iconCache();
    auto it = cache.images.find(key);
    if (it == cache.images.end()) {
        QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        if (QSvgRenderer* r = renderer(symbol)) {
            QPainter ip(&image);
            ip.setRenderHint(QPainter::Antialiasing);
            r->render(&ip, QRectF(0, 0, px, px));
            ip.setCompositionMode(QPainter::CompositionMode_SourceIn);
            ip.fillRect(image.rect(), color);
        }
        image.setDevicePixelRatio(dpr);
        it = cache.images.insert(key, image);
    }
    const QRectF target(rect.center().x() - iconSize / 2, rect.center().y() - iconSize / 2,
                        iconSize, iconSize);
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, *it);
    p.restore();
}

namespace {

double maxDigitAdvance(const QFontMetricsF& fm) {
    double widest = 0;
    for (char c = '0'; c <= '9'; ++c) widest = std::max(widest, fm.horizontalAdvance(QChar(c)));
    return widest;
}

}  // namespace

double tabularTextWidth(const QString& text, const QFont& font) {
    const QFontMetricsF fm(font);
    const double digit = maxDigitAdvance(fm);
    double width = 0;
    for (const QChar c : text) width += c.isDigit() ? digit : fm.horizontalAdvance(c);
    return width;
}

QFont fittedFont(const QString& text, double pixelSize, QFont::Weight weight, double width,
                 bool tabular) {
    const auto measured = [&](const QFont& f) {
        return tabular ? tabularTextWidth(text, f) : QFontMetricsF(f).horizontalAdvance(text);
    };
    QFont f = font(pixelSize, weight);
    const double smallest = pixelSize * 2 / 3;
    for (double size = pixelSize; measured(f) > width && size - 0.5 >= smallest;) {
        size -= 0.5;
        f = font(size, weight);
    }
    return f;
}

namespace {

// The glyphs of the digits and the colon of one font, looked up once: the countdown is drawn from
// them every second without shaping its text again.
struct TabularGlyphs {
    QRawFont raw;
    std::array<quint32, 11> glyph{};  // '0'…'9', then ':'
    std::array<double, 11> advance{};
    bool usable = false;
    double digit = 0;  // the widest digit's advance
    double ascent = 0;
    double descent = 0;
};

// Per font, measured once: the countdown repaints every second with the same few fonts.
const TabularGlyphs& tabularGlyphs(const QFont& font) {
    static QHash<QFont, std::shared_ptr<TabularGlyphs>> cache;
    auto it = cache.find(font);
    if (it == cache.end()) {
        auto g = std::make_shared<TabularGlyphs>();
        const QFontMetricsF fm(font);
        g->digit = maxDigitAdvance(fm);
        g->ascent = fm.ascent();
        g->descent = fm.descent();
        g->raw = QRawFont::fromFont(font);
        const QString chars = QStringLiteral("0123456789:");
        if (g->raw.isValid()) {
            const QList<quint32> indexes = g->raw.glyphIndexesForString(chars);
            g->usable = indexes.size() == chars.size() && !indexes.contains(0u);
            for (int i = 0; g->usable && i < chars.size(); ++i) {
                g->glyph[size_t(i)] = indexes[i];
                g->advance[size_t(i)] = fm.horizontalAdvance(chars[i]);
            }
        }
        it = cache.insert(font, std::move(g));
    }
    return **it;
}

int tabularIndex(QChar c) {
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) return c.unicode() - '0';
    return c == QLatin1Char(':') ? 10 : -1;
}

}  // namespace

QRectF tabularTextBand(const QRectF& rect, const QFont& font) {
    const TabularGlyphs& g = tabularGlyphs(font);
    const double height = g.ascent + g.descent;
    return QRectF(rect.left(), rect.center().y() - height / 2, rect.width(), height) & rect;
}

namespace {

// Where each character of tabular text goes: its slot (a digit's slot is the widest digit's
// advance) and the pen position of its glyph.
struct TabularLine {
    struct Char {
        double slotLeft = 0;
        double slotWidth = 0;
        double penX = 0;
        int glyphIndex = -1;  // into TabularGlyphs, or -1: drawn as text
    };
    QList<Char> chars;
    double baseline = 0;
};

TabularLine layOutTabular(const QRectF& rect, const QString& text, const QFont& font,
                          Qt::Alignment align) {
    // Digits and colons from the glyphs and advances looked up once, each digit centred in the
    // widest digit's advance; any other character measured and laid out as text.
    const TabularGlyphs& g = tabularGlyphs(font);
    std::optional<QFontMetricsF> fm;
    TabularLine line;
    double width = 0;
    for (const QChar c : text) {
        TabularLine::Char ch;
        ch.glyphIndex = g.usable ? tabularIndex(c) : -1;
        double advance = 0;
        if (ch.glyphIndex >= 0) {
            advance = g.advance[size_t(ch.glyphIndex)];
        } else {
            if (!fm) fm.emplace(font);
            advance = fm->horizontalAdvance(c);
        }
        ch.slotWidth = c.isDigit() ? g.digit : advance;
        ch.slotLeft = width;
        ch.penX = c.isDigit() ? width + (g.digit - advance) / 2 : width;
        width += ch.slotWidth;
        line.chars.append(ch);
    }
    double x = rect.left();
    if (align & Qt::AlignHCenter) x = rect.center().x() - width / 2;
    if (align & Qt::AlignRight) x = rect.right() - width;
    for (TabularLine::Char& ch : line.chars) {
        ch.slotLeft += x;
        ch.penX += x;
    }
    line.baseline = rect.center().y() + (g.ascent - g.descent) / 2;
    return line;
}

}  // namespace

QList<QRectF> tabularTextCells(const QRectF& rect, const QString& text, const QFont& font,
                               Qt::Alignment align) {
    const QRectF band = tabularTextBand(rect, font);
    QList<QRectF> cells;
    for (const TabularLine::Char& ch : layOutTabular(rect, text, font, align).chars) {
        cells.append(QRectF(ch.slotLeft, band.top(), ch.slotWidth, band.height()));
    }
    return cells;
}

void paintTabularText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
                      const QColor& color, Qt::Alignment align) {
    const TabularGlyphs& g = tabularGlyphs(font);
    const TabularLine line = layOutTabular(rect, text, font, align);
    p.save();
    p.setPen(color);
    QList<quint32> glyphs;
    QList<QPointF> positions;
    glyphs.reserve(text.size());
    positions.reserve(text.size());
    bool fontSet = false;  // the glyphs carry their own font; only other text needs it
    for (qsizetype i = 0; i < text.size(); ++i) {
        const TabularLine::Char& ch = line.chars[i];
        const QPointF pen(ch.penX, line.baseline);
        if (ch.glyphIndex >= 0) {
            glyphs.append(g.glyph[size_t(ch.glyphIndex)]);
            positions.append(pen);
        } else {
            if (!fontSet) p.setFont(font);
            fontSet = true;
            p.drawText(pen, QString(text[i]));
        }
    }
    if (!glyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(g.raw);
        run.setGlyphIndexes(glyphs);
        run.setPositions(positions);
        p.drawGlyphRun(QPointF(0, 0), run);
    }
    p.restore();
}

void paintText(QPainter& p, const QRectF& rect, const QString& text, const QFont& font,
               const QColor& color, Qt::Alignment align) {
    const QFontMetricsF fm(font);
    const QString shown = fm.elidedText(text, Qt::ElideRight, rect.width() + 0.5);
    p.save();
    p.setFont(font);
    p.setPen(color);
    p.drawText(rect, static_cast<int>(align | Qt::AlignVCenter) | Qt::TextSingleLine, shown);
    p.restore();
}

QList<EmphasisRun> emphasisRuns(const QString& text) {
    QList<EmphasisRun> runs;
    EmphasisRun current;
    const auto flush = [&] {
        if (!current.text.isEmpty()) runs.append(current);
        current.text.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'*') {
            current.text += text[i];
            continue;
        }
        flush();
        if (i + 1 < text.size() && text[i + 1] == u'*') {
            current.strong = !current.strong;
            ++i;
        } else {
            current.emphasis = !current.emphasis;
        }
    }
    flush();
    return runs;
}

namespace {

QFont runFont(const EmphasisRun& run, double pixelSize) {
    QFont f = font(pixelSize, run.strong ? QFont::Bold : QFont::Medium);
    f.setItalic(run.emphasis);
    return f;
}

double runsWidth(const QList<EmphasisRun>& runs, double pixelSize) {
    double width = 0;
    for (const EmphasisRun& run : runs)
        width += QFontMetricsF(runFont(run, pixelSize)).horizontalAdvance(run.text);
    return width;
}

}  // namespace

double paintEmphasisedText(QPainter& p, const QRectF& rect, const QString& text, double pixelSize,
                           double minPixelSize, const QColor& color) {
    const QList<EmphasisRun> runs = emphasisRuns(text);
    double size = pixelSize;
    while (size - 1 >= minPixelSize && runsWidth(runs, size) > rect.width() + 0.5) size -= 1;
    const QFontMetricsF base(font(size, QFont::Medium));
    const double baseline = rect.center().y() + (base.ascent() - base.descent()) / 2;
    p.save();
    p.setClipRect(rect, Qt::IntersectClip);
    p.setPen(color);
    double x = rect.left();
    for (const EmphasisRun& run : runs) {
        const QFont f = runFont(run, size);
        p.setFont(f);
        p.drawText(QPointF(x, baseline), run.text);
        x += QFontMetricsF(f).horizontalAdvance(run.text);
    }
    p.restore();
    return size;
}

}  // namespace tw::islandstyle
