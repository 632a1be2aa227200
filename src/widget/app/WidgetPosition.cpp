#include "widget/app/WidgetPosition.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include "support/Paths.h"

namespace tw::widget_position {

namespace {

std::optional<int> coordinate(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!(d >= -1e6 && d <= 1e6) || d != static_cast<double>(static_cast<int>(d))) {
        return std::nullopt;
    }
    return static_cast<int>(d);
}

}  // namespace

QString defaultFile() {
    return paths::configDir() + QStringLiteral("/tarnwhistle-widget.json");
}

std::optional<QPoint> load(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.read(64 * 1024));
    if (!doc.isObject()) return std::nullopt;
    const auto x = coordinate(doc.object(), "x");
    const auto y = coordinate(doc.object(), "y");
    if (!x || !y) return std::nullopt;
    return QPoint(*x, *y);
}

bool save(const QString& file, QPoint position) {
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
    QJsonObject o;
    o.insert(QStringLiteral("x"), position.x());
    o.insert(QStringLiteral("y"), position.y());
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return false;
    f.write(QJsonDocument(o).toJson(QJsonDocument::Indented));
    return f.commit();
}

}  // namespace tw::widget_position
