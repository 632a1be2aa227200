#pragma once

// The fixed translation between the stored key codes of the shortcuts (the classic virtual key
// codes of the ANSI keyboard: 0 is A, 49 is Space, 125 is the down arrow) and X keysyms, the key
// labels of the named keys, and how a shortcut is shown to the user.

#include <QString>
#include <optional>

#include "shell/PreferenceTypes.h"

namespace tw::keycodes {

// The keysym a key code stands for (letters as their lower-case keysym); nothing for a key code
// outside the table.
std::optional<quint32> keysymForKeyCode(quint32 keyCode);
// The key code of a keysym; upper- and lower-case letters give the same key, Shift+Tab gives Tab.
// Nothing for a keysym outside the table.
std::optional<quint32> keyCodeForKeysym(quint32 keysym);
// The keysym of a Qt key (Qt::Key), for where no native keysym is known; nothing when the key has
// no keysym in the table.
std::optional<quint32> keysymForQtKey(int qtKey);

// The label of a named key: "Space", "Return", "Tab", "Delete", "Esc", the arrows "←" "→" "↓" "↑"
// and "F1" to "F20". Nothing for the other keys (their label comes from their character).
std::optional<QString> namedKeyLabel(quint32 keyCode);
// The character a keysym types without modifiers, for the printable Latin-1 keysyms other than
// the space; empty otherwise.
QString keysymText(quint32 keysym);

}  // namespace tw::keycodes

namespace tw {

// How a shortcut is shown everywhere: "Ctrl+", "Alt+", "Shift+", "Super+" for the modifiers
// present, in that order, then the key label ("Ctrl+Alt+Space", "Alt+↓").
QString shortcutDisplayText(const ShortcutConfiguration& configuration);

}  // namespace tw
