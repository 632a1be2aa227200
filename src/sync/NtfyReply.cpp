#include "sync/NtfyReply.h"

#include <cmath>

namespace tw {

std::optional<double> parseRetryAfter(const QByteArray& header) {
    const QByteArray text = header.trimmed();
    if (text.isEmpty()) return std::nullopt;
    // Digits with at most one decimal point: no sign, exponent, "nan" or "inf".
    bool digit = false;
    int points = 0;
    for (const char c : text) {
        if (c >= '0' && c <= '9') {
            digit = true;
        } else if (c == '.') {
            ++points;
        } else {
            return std::nullopt;
        }
    }
    if (!digit || points > 1) return std::nullopt;
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds)) return std::nullopt;
    return seconds;
}

}  // namespace tw
