#include "sync/CloudConfiguration.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/Paths.h"

namespace tw::cloudconfig {

std::optional<QUrl> websiteURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1StringView("https")) return std::nullopt;
    if (url.host().isEmpty()) return std::nullopt;
    // A present but empty user, password, query or fragment ("https://@host", "…/?") counts too.
    if (url.hasQuery() || url.hasFragment() || !url.userName().isEmpty() ||
        !url.password().isEmpty() || url.authority().contains(u'@')) {
        return std::nullopt;
    }
    const QString path = url.path(QUrl::FullyEncoded);
    if (!path.isEmpty() && path != QLatin1StringView("/")) return std::nullopt;
    return url;
}

std::optional<QUrl> load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    // A configuration file is a few bytes; anything large is not one.
    const QByteArray bytes = file.read(64 * 1024);
    const QJsonDocument doc = QJsonDocument::fromJson(bytes);
    if (!doc.isObject()) return std::nullopt;
    const QJsonValue value = doc.object().value(QLatin1StringView("WebsiteURL"));
    if (!value.isString()) return std::nullopt;
    return websiteURL(value.toString());
}

QString installedFile() {
    return paths::resourcesDir() + QLatin1Char('/') + QLatin1StringView(kFileName);
}

}  // namespace tw::cloudconfig
