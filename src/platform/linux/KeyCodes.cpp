#include "platform/linux/KeyCodes.h"

#include <QKeyEvent>
#include <Qt>
#include <array>

#include <X11/keysym.h>
#include <xcb/xcb_keysyms.h>

#include "platform/linux/QtXcb.h"

namespace tw::keycodes {

namespace {

struct Key {
    quint32 keyCode;
    quint32 keysym;
    const char* label;  // UTF-8; null when the label comes from the key's character
};

// The ANSI layout's key codes. Letters, digits and punctuation take their label from the
// character they type; the named keys carry their label here.
constexpr std::array kKeys{
    Key{0, XK_a, nullptr},
    Key{1, XK_s, nullptr},
    Key{2, XK_d, nullptr},
    Key{3, XK_f, nullptr},
    Key{4, XK_h, nullptr},
    Key{5, XK_g, nullptr},
    Key{6, XK_z, nullptr},
    Key{7, XK_x, nullptr},
    Key{8, XK_c, nullptr},
    Key{9, XK_v, nullptr},
    Key{11, XK_b, nullptr},
    Key{12, XK_q, nullptr},
    Key{13, XK_w, nullptr},
    Key{14, XK_e, nullptr},
    Key{15, XK_r, nullptr},
    Key{16, XK_y, nullptr},
    Key{17, XK_t, nullptr},
    Key{31, XK_o, nullptr},
    Key{32, XK_u, nullptr},
    Key{34, XK_i, nullptr},
    Key{35, XK_p, nullptr},
    Key{37, XK_l, nullptr},
    Key{38, XK_j, nullptr},
    Key{40, XK_k, nullptr},
    Key{45, XK_n, nullptr},
    Key{46, XK_m, nullptr},

    Key{18, XK_1, nullptr},
    Key{19, XK_2, nullptr},
    Key{20, XK_3, nullptr},
    Key{21, XK_4, nullptr},
    Key{22, XK_6, nullptr},
    Key{23, XK_5, nullptr},
    Key{25, XK_9, nullptr},
    Key{26, XK_7, nullptr},
    Key{28, XK_8, nullptr},
    Key{29, XK_0, nullptr},

    Key{24, XK_equal, nullptr},
    Key{27, XK_minus, nullptr},
    Key{30, XK_bracketright, nullptr},
    Key{33, XK_bracketleft, nullptr},
    Key{39, XK_apostrophe, nullptr},
    Key{41, XK_semicolon, nullptr},
    Key{42, XK_backslash, nullptr},
    Key{43, XK_comma, nullptr},
    Key{44, XK_slash, nullptr},
    Key{47, XK_period, nullptr},
    Key{50, XK_grave, nullptr},

    Key{49, XK_space, "Space"},
    Key{36, XK_Return, "Return"},
    Key{48, XK_Tab, "Tab"},
    Key{51, XK_BackSpace, "Delete"},
    Key{53, XK_Escape, "Esc"},
    Key{123, XK_Left, "\u2190"},
    Key{124, XK_Right, "\u2192"},
    Key{125, XK_Down, "\u2193"},
    Key{126, XK_Up, "\u2191"},

    Key{122, XK_F1, "F1"},
    Key{120, XK_F2, "F2"},
    Key{99, XK_F3, "F3"},
    Key{118, XK_F4, "F4"},
    Key{96, XK_F5, "F5"},
    Key{97, XK_F6, "F6"},
    Key{98, XK_F7, "F7"},
    Key{100, XK_F8, "F8"},
    Key{101, XK_F9, "F9"},
    Key{109, XK_F10, "F10"},
    Key{103, XK_F11, "F11"},
    Key{111, XK_F12, "F12"},
    Key{105, XK_F13, "F13"},
    Key{107, XK_F14, "F14"},
    Key{113, XK_F15, "F15"},
    Key{106, XK_F16, "F16"},
    Key{64, XK_F17, "F17"},
    Key{79, XK_F18, "F18"},
    Key{80, XK_F19, "F19"},
    Key{90, XK_F20, "F20"},

    // Keys that type no character: their label is "Key " and the code.
    Key{114, XK_Insert, nullptr},
    Key{115, XK_Home, nullptr},
    Key{116, XK_Prior, nullptr},
    Key{117, XK_Delete, nullptr},
    Key{119, XK_End, nullptr},
    Key{121, XK_Next, nullptr},
};

const Key* byKeyCode(quint32 keyCode) {
    for (const Key& k : kKeys) {
        if (k.keyCode == keyCode) return &k;
    }
    return nullptr;
}

}  // namespace

std::optional<quint32> keysymForKeyCode(quint32 keyCode) {
    if (const Key* k = byKeyCode(keyCode)) return k->keysym;
    return std::nullopt;
}

std::optional<quint32> keyCodeForKeysym(quint32 keysym) {
    if (keysym >= XK_A && keysym <= XK_Z) keysym += XK_a - XK_A;
    if (keysym == XK_ISO_Left_Tab) keysym = XK_Tab;
    for (const Key& k : kKeys) {
        if (k.keysym == keysym) return k.keyCode;
    }
    return std::nullopt;
}

std::optional<quint32> keysymForQtKey(int qtKey) {
    // Qt's keys for printable ASCII are their upper-case characters, which are also the keysyms.
    if (qtKey >= 0x21 && qtKey <= 0x7e) {
        const quint32 keysym = quint32(qtKey);
        if (keyCodeForKeysym(keysym))
            return keysym >= XK_A && keysym <= XK_Z ? keysym + 0x20 : keysym;
        return std::nullopt;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F20) return XK_F1 + quint32(qtKey - Qt::Key_F1);
    switch (qtKey) {
        case Qt::Key_Space:
            return XK_space;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return XK_Return;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return XK_Tab;
        case Qt::Key_Backspace:
            return XK_BackSpace;
        case Qt::Key_Escape:
            return XK_Escape;
        case Qt::Key_Left:
            return XK_Left;
        case Qt::Key_Right:
            return XK_Right;
        case Qt::Key_Down:
            return XK_Down;
        case Qt::Key_Up:
            return XK_Up;
        case Qt::Key_Insert:
            return XK_Insert;
        case Qt::Key_Home:
            return XK_Home;
        case Qt::Key_PageUp:
            return XK_Prior;
        case Qt::Key_Delete:
            return XK_Delete;
        case Qt::Key_End:
            return XK_End;
        case Qt::Key_PageDown:
            return XK_Next;
        default:
            return std::nullopt;
    }
}

std::optional<QString> namedKeyLabel(quint32 keyCode) {
    const Key* k = byKeyCode(keyCode);
    if (!k || !k->label) return std::nullopt;
    return QString::fromUtf8(k->label);
}

QString keysymText(quint32 keysym) {
    // Latin-1 keysyms are their own code points.
    if ((keysym > 0x20 && keysym <= 0x7e) || (keysym >= 0xa1 && keysym <= 0xff))
        return QString(QChar(char16_t(keysym)));
    return {};
}

KeyPress readKeyPress(const QKeyEvent& event) {
    KeyPress press;
    press.qtKey = event.key();
    press.keysym = x11BaseKeysym(event.nativeScanCode());
    if (press.keysym == 0) {
        // Off X: the text Qt gives, when it is a plain character (with Ctrl held it is a
        // control character, which says nothing about the key).
        const QString text = event.text();
        if (text.size() == 1 && text.at(0).isPrint() && !text.at(0).isSpace()) press.text = text;
    }
    return press;
}

std::optional<quint32> keyCodeOf(const KeyPress& press) {
    if (press.keysym != 0) {
        if (const auto code = keyCodeForKeysym(press.keysym)) return code;
    }
    if (const auto keysym = keysymForQtKey(press.qtKey)) return keyCodeForKeysym(*keysym);
    return std::nullopt;
}

std::optional<RecordedKey> recordedKey(const KeyPress& press) {
    const auto keyCode = keyCodeOf(press);
    if (!keyCode) return std::nullopt;
    RecordedKey key;
    key.keyCode = *keyCode;
    if (const auto named = namedKeyLabel(*keyCode)) {
        key.label = *named;
        return key;
    }
    QString characters = keysymText(press.keysym);
    if (characters.isEmpty()) characters = press.text;
    if (characters.isEmpty()) {
        if (const auto keysym = keysymForKeyCode(*keyCode)) characters = keysymText(*keysym);
    }
    key.label = characters.isEmpty() ? QStringLiteral("Key ") + QString::number(*keyCode)
                                     : characters.toUpper();
    return key;
}

std::optional<RecordedKey> recordedKey(const QKeyEvent& event) {
    return recordedKey(readKeyPress(event));
}

quint32 x11BaseKeysym(quint32 keycode) {
    xcb_connection_t* connection = qtXcbConnection();
    if (!connection || keycode == 0 || keycode > 255) return 0;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols) return 0;
    const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols, xcb_keycode_t(keycode), 0);
    xcb_key_symbols_free(symbols);
    return keysym;
}

}  // namespace tw::keycodes
