#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace tw {

// A QR code of the UTF-8 bytes of `text` at error-correction level M, each module `scale` × `scale`
// whole pixels (at least 1), black on white with the standard quiet zone of four modules, in sRGB
// at 8 bits per component. Shown stretched without smoothing. None for empty text or text too long
// for a QR code.
std::optional<QImage> qrImage(const QString& text, int scale);

}  // namespace tw
