#include "browserlink/LinkMessages.h"

#include <unistd.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

namespace tw::browserlink {

namespace {

const QString kType = QStringLiteral("type");
const QString kId = QStringLiteral("id");

QByteArray compact(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<QJsonObject> parseObject(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

// Ids are whole numbers the program counts up from 1; JSON carries them as doubles.
std::optional<qint64> idOf(const QJsonObject& o) {
    const QJsonValue v = o.value(kId);
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d < 0 || d > 9007199254740991.0 || d != static_cast<double>(static_cast<qint64>(d))) {
        return std::nullopt;
    }
    return static_cast<qint64>(d);
}

std::optional<Tab> tabOf(const QJsonValue& v) {
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    const QJsonValue window = o.value(QStringLiteral("window"));
    const QJsonValue tab = o.value(QStringLiteral("tab"));
    const QJsonValue url = o.value(QStringLiteral("url"));
    if (!window.isString() || !tab.isString() || !url.isString()) return std::nullopt;
    return Tab{window.toString(), tab.toString(), url.toString()};
}

QJsonObject tabObject(const Tab& t) {
    QJsonObject o;
    o.insert(QStringLiteral("window"), t.window);
    o.insert(QStringLiteral("tab"), t.tab);
    o.insert(QStringLiteral("url"), t.url);
    return o;
}

std::optional<Focus> focusOf(const QJsonObject& o) {
    const QJsonValue focused = o.value(QStringLiteral("focused"));
    if (!focused.isBool()) return std::nullopt;
    return Focus{focused.toBool()};
}

// An answer's value is null, a boolean or a tab; an error is text.
std::optional<Answer> answerOf(const QJsonObject& o) {
    const auto id = idOf(o);
    if (!id) return std::nullopt;
    const QJsonValue error = o.value(QStringLiteral("error"));
    if (error.isString()) return Answer{*id, error.toString()};
    if (!o.contains(QStringLiteral("value"))) return std::nullopt;
    const QJsonValue value = o.value(QStringLiteral("value"));
    if (value.isNull() || value.isBool()) return Answer{*id, value};
    if (const auto tab = tabOf(value)) return Answer{*id, QJsonValue(tabObject(*tab))};
    return std::nullopt;
}

}  // namespace

QString chromiumOrigin() {
    return QStringLiteral("chrome-extension://") + QLatin1String(kChromiumExtensionId) +
           QLatin1Char('/');
}

std::optional<QString> extensionFromArguments(const QStringList& arguments) {
    if (arguments.isEmpty()) return std::nullopt;
    // Chromium: the origin first (other browsers of the family may add flags after it).
    if (arguments.first().startsWith(QLatin1String("chrome-extension://"))) {
        if (arguments.first() == chromiumOrigin()) return arguments.first();
        return std::nullopt;
    }
    // Firefox: the manifest's path, then the extension's id.
    if (arguments.size() == 2 && arguments[1] == QLatin1String(kFirefoxExtensionId)) {
        return arguments[1];
    }
    return std::nullopt;
}

QString socketFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) {
        return runtime + QStringLiteral("/tarnwhistle");
    }
    return QDir::tempPath() + QStringLiteral("/tarnwhistle-") + QString::number(::getuid());
}

QByteArray encode(const Hello& m) {
    QJsonObject o;
    o.insert(kType, QStringLiteral("hello"));
    o.insert(QStringLiteral("protocol"), m.protocol);
    o.insert(QStringLiteral("browser"), m.browser);
    o.insert(QStringLiteral("extension"), m.extension);
    o.insert(QStringLiteral("focused"), m.focused);
    return compact(o);
}

QByteArray encode(const Focus& m) {
    QJsonObject o;
    o.insert(kType, QStringLiteral("focus"));
    o.insert(QStringLiteral("focused"), m.focused);
    return compact(o);
}

QByteArray encode(const Request& m) {
    QJsonObject o;
    o.insert(kType, QStringLiteral("request"));
    o.insert(kId, static_cast<double>(m.id));
    o.insert(QStringLiteral("expected"),
             m.expected ? QJsonValue(tabObject(*m.expected)) : QJsonValue(QJsonValue::Null));
    return compact(o);
}

QByteArray encode(const Answer& m) {
    QJsonObject o;
    o.insert(kType, QStringLiteral("answer"));
    o.insert(kId, static_cast<double>(m.id));
    if (const auto* value = std::get_if<QJsonValue>(&m.result)) {
        o.insert(QStringLiteral("value"), *value);
    } else {
        o.insert(QStringLiteral("error"), std::get<QString>(m.result));
    }
    return compact(o);
}

std::optional<std::variant<Focus, Answer>> decodeFromExtension(const QByteArray& json) {
    const auto o = parseObject(json);
    if (!o) return std::nullopt;
    const QString type = o->value(kType).toString();
    if (type == QLatin1String("focus")) {
        if (auto f = focusOf(*o)) return *f;
    } else if (type == QLatin1String("answer")) {
        if (auto a = answerOf(*o)) return *a;
    }
    return std::nullopt;
}

std::optional<std::variant<Hello, Focus, Answer>> decodeFromHost(const QByteArray& json) {
    const auto o = parseObject(json);
    if (!o) return std::nullopt;
    const QString type = o->value(kType).toString();
    if (type == QLatin1String("hello")) {
        const QJsonValue browser = o->value(QStringLiteral("browser"));
        const QJsonValue extension = o->value(QStringLiteral("extension"));
        const QJsonValue focused = o->value(QStringLiteral("focused"));
        const QJsonValue protocol = o->value(QStringLiteral("protocol"));
        if (!browser.isString() || !extension.isString() || !focused.isBool() ||
            !protocol.isDouble()) {
            return std::nullopt;
        }
        return Hello{browser.toString(), extension.toString(), focused.toBool(), protocol.toInt()};
    }
    if (type == QLatin1String("focus")) {
        if (auto f = focusOf(*o)) return *f;
    } else if (type == QLatin1String("answer")) {
        if (auto a = answerOf(*o)) return *a;
    }
    return std::nullopt;
}

std::optional<Request> decodeRequest(const QByteArray& json) {
    const auto o = parseObject(json);
    if (!o || o->value(kType).toString() != QLatin1String("request")) return std::nullopt;
    const auto id = idOf(*o);
    if (!id) return std::nullopt;
    const QJsonValue expected = o->value(QStringLiteral("expected"));
    if (expected.isNull() || expected.isUndefined()) return Request{*id, std::nullopt};
    const auto tab = tabOf(expected);
    if (!tab) return std::nullopt;
    return Request{*id, *tab};
}

}  // namespace tw::browserlink
