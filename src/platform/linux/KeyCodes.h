#pragma once

// The fixed translation between the stored key codes of the shortcuts (the classic virtual key
// codes of the ANSI keyboard: 0 is A, 49 is Space, 125 is the down arrow) and X keysyms, the key
// labels of the named keys, and how a key press of this application becomes a stored key.

#include <QString>
#include <optional>

#include "platform/KeyModifiers.h"

class QKeyEvent;

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

// A key press as the shortcut recorder sees it.
struct KeyPress {
    int qtKey = 0;       // Qt::Key
    quint32 keysym = 0;  // the key's keysym without modifiers; 0 when unknown (then from qtKey)
    QString text;        // the characters the key types without modifiers; may be empty
};

// Reads a key event of this application. On X the key's unshifted keysym comes from the key
// map, so Shift+1 is the 1 key, not "!".
KeyPress readKeyPress(const QKeyEvent& event);
// The stored key code of the pressed key; nothing for a key outside the table.
std::optional<quint32> keyCodeOf(const KeyPress& press);
// The pressed key in the stored form: its key code and the key's named label, else its
// character (upper-cased), else "Key " and the code. Nothing for a key outside the table.
std::optional<RecordedKey> recordedKey(const KeyPress& press);
// The same for a key event of this application: what every backend answers for recording.
std::optional<RecordedKey> recordedKey(const QKeyEvent& event);

// The keysym of an X key code without modifiers (the first column of the key map); 0 when Qt
// does not run on X or the key has none.
quint32 x11BaseKeysym(quint32 keycode);

}  // namespace tw::keycodes
