#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace tw {

// A QR code of the UTF-8 bytes of `text` with error correction level M, each module drawn as a
// square of max(1, scale) pixels without smoothing (black on white, with the standard four-module
// quiet zone), in an sRGB image with 8 bits per component. None for empty text or when the code
// cannot be made (too much text, no memory).
std::optional<QImage> qrImage(const QString& text, int scale);

}  // namespace tw
