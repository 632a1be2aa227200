#pragma once

#include <QCborValue>
#include <QList>
#include <QMap>
#include <QString>
#include <array>
#include <optional>

#include "platform/KeyModifiers.h"

namespace tw {

// The pill's offset on one display from its home position under the top panel, in points.
// JSON form {"dx": number, "dy": number}.
struct PillPosition {
    double dx = 0;
    double dy = 0;

    QCborValue toJson() const;
    static std::optional<PillPosition> fromJson(const QCborValue& value);
    friend bool operator==(const PillPosition&, const PillPosition&) = default;
};

// An application to hide during focus and the name shown for it; its identity is `bundleID`
// (on Linux the desktop entry id). JSON form {"bundleID": string, "name": string}.
struct HiddenApp {
    QString bundleID;
    QString name;

    QCborValue toJson() const;
    static std::optional<HiddenApp> fromJson(const QCborValue& value);
    friend bool operator==(const HiddenApp&, const HiddenApp&) = default;
};

// One global key combination: a virtual key code (the classic key codes, translated to X keysyms
// where it is registered), the modifier mask above and the label shown for the key.
// JSON form {"keyCode": integer, "modifiers": integer, "keyLabel": string}.
struct ShortcutConfiguration {
    static constexpr quint32 maxKeyCode = 127;
    static constexpr int maxLabelLength = 16;

    quint32 keyCode = 0;
    quint32 modifiers = 0;
    QString keyLabel;

    // Key code at most 127, no modifier outside command/shift/option/control, at least one of
    // command, option or control, and a label of 1 to 16 characters.
    bool isValid() const;

    QCborValue toJson() const;
    static std::optional<ShortcutConfiguration> fromJson(const QCborValue& value);
    friend bool operator==(const ShortcutConfiguration&, const ShortcutConfiguration&) = default;
};

// How the timer is shown: the island follows the notch when there is one, otherwise the pill.
enum class IslandStyle { automatic, notch, pill, menuBarOnly };

QString rawValue(IslandStyle style);
std::optional<IslandStyle> islandStyleFromRaw(const QString& raw);
inline constexpr std::array<IslandStyle, 4> allIslandStyles{
    IslandStyle::automatic, IslandStyle::notch, IslandStyle::pill, IslandStyle::menuBarOnly};

// The three actions driven by global shortcuts.
enum class ShortcutAction { startPause, showIsland, toggleStyle };

QString rawValue(ShortcutAction action);
std::optional<ShortcutAction> shortcutActionFromRaw(const QString& raw);
inline constexpr std::array<ShortcutAction, 3> allShortcutActions{
    ShortcutAction::startPause, ShortcutAction::showIsland, ShortcutAction::toggleStyle};

// The defaults key of an action's shortcut: its raw value followed by "Shortcut".
QString shortcutDefaultsKey(ShortcutAction action);
// Ctrl+Alt+Space, Alt+Down, Ctrl+Alt+P.
ShortcutConfiguration defaultShortcut(ShortcutAction action);

// How a shortcut is shown everywhere: "Ctrl+", "Alt+", "Shift+", "Super+" for the modifiers
// present, in that order, then the key label ("Ctrl+Alt+Space", "Alt+↓").
QString shortcutDisplayText(const ShortcutConfiguration& configuration);

using PillPositions = QMap<QString, PillPosition>;
using HiddenApps = QList<HiddenApp>;
using ShortcutMap = QMap<ShortcutAction, ShortcutConfiguration>;

}  // namespace tw
