#include "platform/BrowserAutomation.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "platform/RunningApplications.h"

namespace tw {

QString rawValue(FocusBrowser browser) {
    switch (browser) {
        case FocusBrowser::firefox:
            return QStringLiteral("firefox");
        case FocusBrowser::chrome:
            return QStringLiteral("chrome");
        case FocusBrowser::chromium:
            return QStringLiteral("chromium");
        case FocusBrowser::brave:
            return QStringLiteral("brave");
        case FocusBrowser::edge:
            return QStringLiteral("edge");
    }
    return {};
}

QString displayName(FocusBrowser browser) {
    switch (browser) {
        case FocusBrowser::firefox:
            return QStringLiteral("Firefox");
        case FocusBrowser::chrome:
            return QStringLiteral("Chrome");
        case FocusBrowser::chromium:
            return QStringLiteral("Chromium");
        case FocusBrowser::brave:
            return QStringLiteral("Brave");
        case FocusBrowser::edge:
            return QStringLiteral("Edge");
    }
    return {};
}

std::optional<FocusBrowser> focusBrowserFromRaw(const QString& raw) {
    for (FocusBrowser b : kAllFocusBrowsers) {
        if (rawValue(b) == raw) return b;
    }
    return std::nullopt;
}

namespace {

// Desktop entry ids, window classes and executable names of each browser as the distributions
// and the vendors' packages ship them, compared without case.
std::optional<FocusBrowser> browserNamed(const QString& name) {
    static const struct {
        const char* name;
        FocusBrowser browser;
    } names[] = {
        {"firefox", FocusBrowser::firefox},
        {"firefox-esr", FocusBrowser::firefox},
        {"org.mozilla.firefox", FocusBrowser::firefox},
        {"firefox-bin", FocusBrowser::firefox},
        {"chrome", FocusBrowser::chrome},
        {"google-chrome", FocusBrowser::chrome},
        {"google-chrome-stable", FocusBrowser::chrome},
        {"com.google.chrome", FocusBrowser::chrome},
        {"chromium", FocusBrowser::chromium},
        {"chromium-browser", FocusBrowser::chromium},
        {"org.chromium.chromium", FocusBrowser::chromium},
        {"brave", FocusBrowser::brave},
        {"brave-browser", FocusBrowser::brave},
        {"com.brave.browser", FocusBrowser::brave},
        {"microsoft-edge", FocusBrowser::edge},
        {"microsoft-edge-stable", FocusBrowser::edge},
        {"com.microsoft.edge", FocusBrowser::edge},
        {"msedge", FocusBrowser::edge},
    };
    const QString lower = name.toLower();
    for (const auto& entry : names) {
        if (lower == QLatin1String(entry.name)) return entry.browser;
    }
    return std::nullopt;
}

}  // namespace

std::optional<FocusBrowser> focusBrowserOf(const RunningApplication& application) {
    if (!application.desktopId.isEmpty()) {
        if (auto b = browserNamed(application.desktopId)) return b;
    }
    if (!application.wmClass.isEmpty()) {
        if (auto b = browserNamed(application.wmClass)) return b;
    }
    if (!application.executable.isEmpty()) {
        if (auto b = browserNamed(QFileInfo(application.executable).fileName())) return b;
    }
    return std::nullopt;
}

QByteArray encodeBrowserTab(const BrowserTab& tab) {
    QJsonObject o;
    o.insert(QStringLiteral("window"), tab.window);
    o.insert(QStringLiteral("tab"), tab.tab);
    o.insert(QStringLiteral("url"), tab.url);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

namespace {

// Parses one JSON value, scalars included (QJsonDocument reads objects and arrays only).
std::optional<QJsonValue> parseValue(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray("[") + json + QByteArray("]"), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1) {
        return std::nullopt;
    }
    return doc.array().at(0);
}

}  // namespace

std::variant<std::optional<BrowserTab>, QString> decodeFrontTab(const QByteArray& json) {
    const auto value = parseValue(json);
    if (!value) return QStringLiteral("The answer is not JSON.");
    if (value->isNull()) return std::optional<BrowserTab>();
    if (!value->isObject()) return QStringLiteral("The answer is not a tab.");
    const QJsonObject o = value->toObject();
    const QJsonValue window = o.value(QStringLiteral("window"));
    const QJsonValue tab = o.value(QStringLiteral("tab"));
    const QJsonValue url = o.value(QStringLiteral("url"));
    if (!window.isString() || !tab.isString() || !url.isString()) {
        return QStringLiteral("The tab lacks its window, id or address.");
    }
    return std::optional<BrowserTab>(BrowserTab{window.toString(), tab.toString(), url.toString()});
}

std::variant<std::optional<bool>, QString> decodeBlankAnswer(const QByteArray& json) {
    const auto value = parseValue(json);
    if (!value) return QStringLiteral("The answer is not JSON.");
    if (value->isNull()) return std::optional<bool>();
    if (!value->isBool()) return QStringLiteral("The answer is not true or false.");
    return std::optional<bool>(value->toBool());
}

}  // namespace tw
