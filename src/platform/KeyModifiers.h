#pragma once

// The stored form of a key combination, shared by every hot-key backend and the preferences:
// a classic virtual key code of the ANSI keyboard (0 is A, 49 is Space, 125 is the down arrow)
// and the modifier mask below.

#include <QString>
#include <QtGlobal>

namespace tw {

// Modifier bits of a shortcut, in the classic key-event encoding that the stored form keeps.
namespace modifier {
inline constexpr quint32 command = 256;  // Super on Linux
inline constexpr quint32 shift = 512;
inline constexpr quint32 option = 2048;                             // Alt
inline constexpr quint32 control = 4096;                            // Ctrl
inline constexpr quint32 all = command | shift | option | control;  // 6912
inline constexpr quint32 primary = command | option | control;      // 6400: one of these is needed
}  // namespace modifier

// The key of a key press in the stored form: its key code and the label shown for it (the named
// key's label, else its character upper-cased, else "Key " and the code).
struct RecordedKey {
    quint32 keyCode = 0;
    QString label;
    friend bool operator==(const RecordedKey&, const RecordedKey&) = default;
};

}  // namespace tw
