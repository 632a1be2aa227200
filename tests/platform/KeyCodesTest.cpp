// The key table of the X11 backend and how a key press becomes a stored key.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "platform/linux/KeyCodes.h"
#include "preferences/PreferenceTypes.h"
#include "shell/GlobalShortcut.h"

using namespace tw;

namespace {

const ShortcutConfiguration kSpace = defaultShortcut(ShortcutAction::startPause);
const ShortcutConfiguration kDown = defaultShortcut(ShortcutAction::showIsland);
const ShortcutConfiguration kP = defaultShortcut(ShortcutAction::toggleStyle);

keycodes::KeyPress key(quint32 keysym, int qtKey = 0) {
    keycodes::KeyPress press;
    press.keysym = keysym;
    press.qtKey = qtKey;
    return press;
}

constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
constexpr Qt::KeyboardModifiers kAlt = Qt::AltModifier;

}  // namespace

TEST(KeyCodes, EveryKeyOfTheTableTranslatesToItsKeysymAndBack) {
    int keys = 0;
    for (quint32 code = 0; code <= 127; ++code) {
        const auto keysym = keycodes::keysymForKeyCode(code);
        if (!keysym) continue;
        ++keys;
        EXPECT_EQ(keycodes::keyCodeForKeysym(*keysym), code) << code;
    }
    EXPECT_GE(keys, 26 + 10 + 9 + 20);  // letters, digits, named keys, F1 to F20

    struct Case {
        quint32 keyCode;
        quint32 keysym;
    };
    for (const Case& c :
         {Case{0, XK_a}, Case{35, XK_p}, Case{6, XK_z}, Case{29, XK_0}, Case{18, XK_1},
          Case{49, XK_space}, Case{36, XK_Return}, Case{48, XK_Tab}, Case{51, XK_BackSpace},
          Case{53, XK_Escape}, Case{123, XK_Left}, Case{124, XK_Right}, Case{125, XK_Down},
          Case{126, XK_Up}, Case{122, XK_F1}, Case{96, XK_F5}, Case{90, XK_F20}}) {
        EXPECT_EQ(keycodes::keysymForKeyCode(c.keyCode), c.keysym) << c.keyCode;
    }
    // Upper case and Shift+Tab name the same keys.
    EXPECT_EQ(keycodes::keyCodeForKeysym(XK_P), 35u);
    EXPECT_EQ(keycodes::keyCodeForKeysym(XK_ISO_Left_Tab), 48u);
    // Outside the table.
    EXPECT_EQ(keycodes::keysymForKeyCode(10), std::nullopt);
    EXPECT_EQ(keycodes::keysymForKeyCode(127), std::nullopt);
    EXPECT_EQ(keycodes::keyCodeForKeysym(XK_Cyrillic_a), std::nullopt);
}

TEST(KeyCodes, NamedKeysHaveTheirLabelsAndTheFunctionKeysComeInOrder) {
    const quint32 functionKeys[] = {122, 120, 99,  118, 96,  97,  98, 100, 101, 109,
                                    103, 111, 105, 107, 113, 106, 64, 79,  80,  90};
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(keycodes::namedKeyLabel(functionKeys[i]), QStringLiteral("F%1").arg(i + 1));
        EXPECT_EQ(keycodes::keysymForKeyCode(functionKeys[i]), quint32(XK_F1 + i));
    }
    EXPECT_EQ(keycodes::namedKeyLabel(49), QStringLiteral("Space"));
    EXPECT_EQ(keycodes::namedKeyLabel(36), QStringLiteral("Return"));
    EXPECT_EQ(keycodes::namedKeyLabel(48), QStringLiteral("Tab"));
    EXPECT_EQ(keycodes::namedKeyLabel(51), QStringLiteral("Delete"));
    EXPECT_EQ(keycodes::namedKeyLabel(53), QStringLiteral("Esc"));
    EXPECT_EQ(keycodes::namedKeyLabel(123), QStringLiteral("←"));
    EXPECT_EQ(keycodes::namedKeyLabel(124), QStringLiteral("→"));
    EXPECT_EQ(keycodes::namedKeyLabel(125), QStringLiteral("↓"));
    EXPECT_EQ(keycodes::namedKeyLabel(126), QStringLiteral("↑"));
    EXPECT_EQ(keycodes::namedKeyLabel(35), std::nullopt);  // P: from its character
}
TEST(KeyCodes, KeyPressesBecomeShortcutsOrNothing) {
    struct Case {
        const char* name;
        keycodes::KeyPress press;
        Qt::KeyboardModifiers modifiers;
        std::optional<ShortcutConfiguration> expected;
    };
    const Case cases[] = {
        {"ctrl alt space", key(XK_space), kCtrl | kAlt, kSpace},
        {"alt F5", key(XK_F5), kAlt, ShortcutConfiguration{96, 2048, QStringLiteral("F5")}},
        {"ctrl alt p", key(XK_p), kCtrl | kAlt, kP},
        {"super a", key(XK_a), Qt::MetaModifier,
         ShortcutConfiguration{0, 256, QStringLiteral("A")}},
        // Shift+1 is the 1 key.
        {"ctrl shift 1", key(XK_1, Qt::Key_Exclam), kCtrl | Qt::ShiftModifier,
         ShortcutConfiguration{18, 4096 | 512, QStringLiteral("1")}},
        {"ctrl escape", key(XK_Escape), kCtrl,
         ShortcutConfiguration{53, 4096, QStringLiteral("Esc")}},
        {"ctrl minus", key(XK_minus), kCtrl, ShortcutConfiguration{27, 4096, QStringLiteral("-")}},
        // A key that types nothing is named by its code.
        {"ctrl home", key(XK_Home), kCtrl,
         ShortcutConfiguration{115, 4096, QStringLiteral("Key 115")}},
        // No keysym known (not on X): the Qt key names it.
        {"qt key only", key(0, Qt::Key_P), kCtrl,
         ShortcutConfiguration{35, 4096, QStringLiteral("P")}},
        {"qt key down", key(0, Qt::Key_Down), kAlt, kDown},
        {"letter alone", key(XK_p), Qt::KeyboardModifiers(), std::nullopt},
        {"shift letter", key(XK_p), Qt::ShiftModifier, std::nullopt},
        {"unknown key", key(XK_Cyrillic_a, 0x0410), kCtrl, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortcutFromKey(keycodes::recordedKey(c.press), c.modifiers), c.expected)
            << c.name;
    }
    EXPECT_EQ(shortcutDisplayText(*shortcutFromKey(keycodes::recordedKey(key(XK_F5)), kAlt)),
              QStringLiteral("Alt+F5"));
}
