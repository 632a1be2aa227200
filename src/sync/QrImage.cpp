#include "sync/QrImage.h"

#include <qrencode.h>

#include <QColorSpace>
#include <algorithm>
#include <memory>

namespace tw {

namespace {

constexpr int kQuietZone = 4;  // modules of white around the code

struct FreeCode {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

std::optional<QImage> qrImage(const QString& text, int scale) {
    if (text.isEmpty()) return std::nullopt;
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, FreeCode> code(QRcode_encodeData(
        static_cast<int>(bytes.size()), reinterpret_cast<const unsigned char*>(bytes.constData()),
        0, QR_ECLEVEL_M));
    if (!code || code->width <= 0) return std::nullopt;
    const int s = std::clamp(scale, 1, 64);
    const int modules = code->width + 2 * kQuietZone;
    QImage image(modules * s, modules * s, QImage::Format_RGB32);
    if (image.isNull()) return std::nullopt;
    image.fill(Qt::white);
    image.setColorSpace(QColorSpace::SRgb);
    const QRgb black = qRgb(0, 0, 0);
    for (int y = 0; y < code->width; ++y) {
        for (int x = 0; x < code->width; ++x) {
            if (!(code->data[y * code->width + x] & 1)) continue;  // bit 0: a dark module
            const int left = (x + kQuietZone) * s;
            const int top = (y + kQuietZone) * s;
            for (int py = top; py < top + s; ++py) {
                QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(py));
                std::fill(line + left, line + left + s, black);
            }
        }
    }
    return image;
}

}  // namespace tw
