#include "ticktick/TickTickConfiguration.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/Paths.h"

namespace tw::ticktickconfig {

std::optional<QUrl> apiURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1StringView("https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment()) {
        return std::nullopt;
    }
    return url;
}

QUrl load(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject object = QJsonDocument::fromJson(file.read(64 * 1024)).object();
        if (const QJsonValue v = object.value(QStringLiteral("APIURL")); v.isString()) {
            if (const auto url = apiURL(v.toString())) return *url;
        }
    }
    return QUrl(QLatin1StringView(kDefaultAPIURL));
}

QString installedFile() {
    return paths::resourcesDir() + QLatin1Char('/') + QLatin1StringView(kFileName);
}

}  // namespace tw::ticktickconfig
