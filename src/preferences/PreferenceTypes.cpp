#include "preferences/PreferenceTypes.h"

#include <QCborMap>
#include <QTextBoundaryFinder>
#include <cmath>
#include <limits>

namespace tw {

namespace {

// A JSON number as a double; integers are numbers too.
std::optional<double> finiteNumber(const QCborValue& v) {
    double d = 0;
    if (v.isInteger()) {
        d = double(v.toInteger());
    } else if (v.isDouble()) {
        d = v.toDouble();
    } else {
        return std::nullopt;
    }
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

// A JSON number that is a whole value in the unsigned 32-bit range (1.0 counts as 1).
std::optional<quint32> unsigned32(const QCborValue& v) {
    constexpr auto max = std::numeric_limits<quint32>::max();
    if (v.isInteger()) {
        const qint64 n = v.toInteger();
        if (n < 0 || n > qint64(max)) return std::nullopt;
        return quint32(n);
    }
    if (v.isDouble()) {
        const double d = v.toDouble();
        if (!std::isfinite(d) || d < 0 || d > double(max) || std::trunc(d) != d)
            return std::nullopt;
        return quint32(d);
    }
    return std::nullopt;
}

// Characters as the user sees them: a letter with a combining accent, an emoji with its
// modifiers or a surrogate pair each count once.
int visibleLength(const QString& s) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    int count = 0;
    while (finder.toNextBoundary() > 0) ++count;
    return count;
}

}  // namespace

QCborValue PillPosition::toJson() const {
    QCborMap m;
    m.insert(QStringLiteral("dx"), dx);
    m.insert(QStringLiteral("dy"), dy);
    return m;
}

std::optional<PillPosition> PillPosition::fromJson(const QCborValue& value) {
    if (!value.isMap()) return std::nullopt;
    const QCborMap m = value.toMap();
    const auto dx = finiteNumber(m.value(QStringLiteral("dx")));
    const auto dy = finiteNumber(m.value(QStringLiteral("dy")));
    if (!dx || !dy) return std::nullopt;
    return PillPosition{*dx, *dy};
}

QCborValue HiddenApp::toJson() const {
    QCborMap m;
    m.insert(QStringLiteral("bundleID"), bundleID);
    m.insert(QStringLiteral("name"), name);
    return m;
}

std::optional<HiddenApp> HiddenApp::fromJson(const QCborValue& value) {
    if (!value.isMap()) return std::nullopt;
    const QCborMap m = value.toMap();
    const QCborValue id = m.value(QStringLiteral("bundleID"));
    const QCborValue name = m.value(QStringLiteral("name"));
    if (!id.isString() || !name.isString()) return std::nullopt;
    return HiddenApp{id.toString(), name.toString()};
}

bool ShortcutConfiguration::isValid() const {
    if (keyCode > maxKeyCode) return false;
    if ((modifiers & ~modifier::all) != 0) return false;
    if ((modifiers & modifier::primary) == 0) return false;
    const int length = visibleLength(keyLabel);
    return length >= 1 && length <= maxLabelLength;
}

QCborValue ShortcutConfiguration::toJson() const {
    QCborMap m;
    m.insert(QStringLiteral("keyCode"), qint64(keyCode));
    m.insert(QStringLiteral("modifiers"), qint64(modifiers));
    m.insert(QStringLiteral("keyLabel"), keyLabel);
    return m;
}

std::optional<ShortcutConfiguration> ShortcutConfiguration::fromJson(const QCborValue& value) {
    if (!value.isMap()) return std::nullopt;
    const QCborMap m = value.toMap();
    const auto keyCode = unsigned32(m.value(QStringLiteral("keyCode")));
    const auto modifiers = unsigned32(m.value(QStringLiteral("modifiers")));
    const QCborValue label = m.value(QStringLiteral("keyLabel"));
    if (!keyCode || !modifiers || !label.isString()) return std::nullopt;
    return ShortcutConfiguration{*keyCode, *modifiers, label.toString()};
}

QString rawValue(IslandStyle style) {
    switch (style) {
        case IslandStyle::automatic:
            return QStringLiteral("automatic");
        case IslandStyle::notch:
            return QStringLiteral("notch");
        case IslandStyle::pill:
            return QStringLiteral("pill");
        case IslandStyle::menuBarOnly:
            return QStringLiteral("menuBarOnly");
    }
    return QStringLiteral("automatic");
}

std::optional<IslandStyle> islandStyleFromRaw(const QString& raw) {
    for (IslandStyle style : allIslandStyles) {
        if (rawValue(style) == raw) return style;
    }
    return std::nullopt;
}

QString rawValue(ShortcutAction action) {
    switch (action) {
        case ShortcutAction::startPause:
            return QStringLiteral("startPause");
        case ShortcutAction::showIsland:
            return QStringLiteral("showIsland");
        case ShortcutAction::toggleStyle:
            return QStringLiteral("toggleStyle");
    }
    return QStringLiteral("startPause");
}

std::optional<ShortcutAction> shortcutActionFromRaw(const QString& raw) {
    for (ShortcutAction action : allShortcutActions) {
        if (rawValue(action) == raw) return action;
    }
    return std::nullopt;
}

QString shortcutDefaultsKey(ShortcutAction action) {
    return rawValue(action) + QStringLiteral("Shortcut");
}

ShortcutConfiguration defaultShortcut(ShortcutAction action) {
    switch (action) {
        case ShortcutAction::startPause:
            return {49, modifier::control | modifier::option, QStringLiteral("Space")};
        case ShortcutAction::showIsland:
            return {125, modifier::option, QString(QChar(0x2193))};  // ↓
        case ShortcutAction::toggleStyle:
            return {35, modifier::control | modifier::option, QStringLiteral("P")};
    }
    return {49, modifier::control | modifier::option, QStringLiteral("Space")};
}

QString shortcutDisplayText(const ShortcutConfiguration& configuration) {
    QString text;
    if (configuration.modifiers & modifier::control) text += QStringLiteral("Ctrl+");
    if (configuration.modifiers & modifier::option) text += QStringLiteral("Alt+");
    if (configuration.modifiers & modifier::shift) text += QStringLiteral("Shift+");
    if (configuration.modifiers & modifier::command) text += QStringLiteral("Super+");
    return text + configuration.keyLabel;
}

}  // namespace tw
