#include "preferences/ServiceAddress.h"

namespace tw {

std::optional<QUrl> parseServiceAddress(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) != 0) {
        return std::nullopt;
    }
    if (url.host().isEmpty() || !url.userName().isEmpty() || !url.password().isEmpty()) {
        return std::nullopt;
    }
    if (url.hasQuery() || url.hasFragment()) return std::nullopt;
    const QString path = url.path(QUrl::FullyEncoded);
    if (!path.isEmpty() && path != QLatin1String("/")) return std::nullopt;
    return url;
}

}  // namespace tw
