#include "sync/QrCode.h"

#include <qrencode.h>

#include <QColorSpace>
#include <algorithm>
#include <memory>

namespace tw {

namespace {

constexpr int kQuietZone = 4;       // modules of white around the code
constexpr int kLargestSide = 8192;  // pixels; a larger request is a mistake, not a picture

struct QrFree {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::optional<QImage> qrImage(const QString& text, int scale) {
    if (text.isEmpty()) return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, QrFree> code(QRcode_encodeData(
        int(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()), 0,
        QR_ECLEVEL_M));
    if (!code || code->width <= 0) return std::nullopt;

    const int modules = code->width + 2 * kQuietZone;
    const int factor = std::max(1, scale);
    if (factor > kLargestSide / modules) return std::nullopt;
    const int side = modules * factor;
    QImage image(side, side, QImage::Format_RGB32);
    if (image.isNull()) return std::nullopt;
    image.setColorSpace(QColorSpace::SRgb);
    image.fill(Qt::white);
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            // Bit 0 of each module byte is set for a dark module.
            if ((code->data[y * code->width + x] & 1) == 0) continue;
            const int top = (y + kQuietZone) * factor;
            const int left = (x + kQuietZone) * factor;
            for (int row = top; row < top + factor; ++row) {
                QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(row));
                std::fill(line + left, line + left + factor, black);
            }
        }
    }
    return image;
}

}  // namespace tw
