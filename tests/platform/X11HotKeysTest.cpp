// Hot keys on a real X server (the test desktop): key presses sent through XTEST reach the
// handler, a combination another X client holds is refused, and releasing restores everything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <array>
#include <cstdlib>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/linux/X11HotKeys.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"

using namespace tw;
using tw::test::waitUntil;

namespace {

// Presses keys the way a user would, through the XTEST extension.
void type(const char* keys) {
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"),
                                {QStringLiteral("key"), QString::fromLatin1(keys)}),
              0)
        << keys;
}

// Another application on the same display: its own connection, holding one combination.
class OtherClient {
public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(connection_); }

    // Grabs the key of `keysym` with `modifiers` on the root window, with every lock variant;
    // answers whether the server granted it.
    bool grab(xcb_keysym_t keysym, quint16 modifiers) {
        if (xcb_connection_has_error(connection_)) return false;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        xcb_key_symbols_free(symbols);
        if (code == 0) return false;
        bool granted = true;
        const std::array<quint16, 4> locks{0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
        for (quint16 lock : locks) {
            const auto cookie =
                xcb_grab_key_checked(connection_, 0, root, quint16(modifiers | lock), code,
                                     XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                granted = false;
                std::free(error);
            }
        }
        return granted;
    }

private:
    xcb_connection_t* connection_;
};

class X11Keys : public ::testing::Test {
protected:
    void SetUp() override {
        keys = X11HotKeys::create();
        if (!keys) GTEST_SKIP() << "needs the test desktop (run under scripts/with-desktop)";
    }

    // Presses until the handler has seen `count` presses in all.
    bool seen(std::size_t count) {
        return waitUntil([&] { return pressed.size() >= count; }, 5000);
    }

    std::unique_ptr<X11HotKeys> keys;
    std::vector<ShortcutAction> pressed;
};

constexpr quint32 kCtrlAlt = modifier::control | modifier::option;

}  // namespace

TEST_F(X11Keys, ARealKeyPressReachesTheHandlerWithAndWithoutNumLock) {
    std::vector<HotKeyID> ids;
    const auto handler = keys->installHandler([&](const HotKeyID& id) {
        ids.push_back(id);
        return true;
    });
    ASSERT_TRUE(handler.ok());
    const auto space = keys->registerHotKey(49, kCtrlAlt, {kHotKeySignature, 1});
    ASSERT_TRUE(space.ok());
    const auto f5 =
        keys->registerHotKey(96, modifier::option | modifier::command, {kHotKeySignature, 2});
    ASSERT_TRUE(f5.ok());

    type("ctrl+alt+space");
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 1; }, 5000));
    EXPECT_EQ(ids[0], (HotKeyID{kHotKeySignature, 1}));
    type("Num_Lock");
    type("alt+super+F5");
    type("Num_Lock");
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 2; }, 5000));
    EXPECT_EQ(ids[1], (HotKeyID{kHotKeySignature, 2}));

    // Released: the same press no longer arrives (the earlier one shows the way is open).
    keys->unregisterHotKey(space.ref.value());
    type("ctrl+alt+space");
    type("alt+super+F5");
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 3; }, 5000));
    EXPECT_EQ(ids[2], (HotKeyID{kHotKeySignature, 2}));
    keys->removeHandler(*handler.ref);
}

TEST_F(X11Keys, ACombinationAnotherClientHoldsIsUnavailableAndTheOthersStillWork) {
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("defaults.json")));
    AppPreferences preferences(defaults);
    auto other = std::make_unique<OtherClient>();
    ASSERT_TRUE(other->grab(XK_p, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));

    GlobalShortcuts shortcuts(preferences, *keys, [&](ShortcutAction a) { pressed.push_back(a); });
    shortcuts.registerAll();
    EXPECT_TRUE(shortcuts.contains(ShortcutAction::startPause));
    EXPECT_TRUE(shortcuts.contains(ShortcutAction::showIsland));
    EXPECT_FALSE(shortcuts.contains(ShortcutAction::toggleStyle));
    EXPECT_EQ(preferences.shortcutError(), shortcutUnavailableMessage());

    type("ctrl+alt+p");  // the other client's
    type("ctrl+alt+space");
    type("alt+Down");
    ASSERT_TRUE(seen(2));
    EXPECT_THAT(pressed,
                ::testing::ElementsAre(ShortcutAction::startPause, ShortcutAction::showIsland));

    // The window manager holds Alt+Space: refused as well, and Ctrl+Alt+Space stays in force.
    EXPECT_FALSE(shortcuts.applyShortcut({49, modifier::option, QStringLiteral("Space")},
                                         ShortcutAction::startPause));
    EXPECT_EQ(preferences.shortcutError(), shortcutUnavailableMessage());

    // The other client lets go; releasing all and registering again restores all three.
    other.reset();
    shortcuts.unregisterAll();
    shortcuts.registerAll();
    EXPECT_TRUE(shortcuts.contains(ShortcutAction::toggleStyle));
    EXPECT_EQ(preferences.shortcutError(), std::nullopt);
    pressed.clear();
    type("ctrl+alt+p");
    type("ctrl+alt+space");
    ASSERT_TRUE(seen(2));
    EXPECT_THAT(pressed,
                ::testing::ElementsAre(ShortcutAction::toggleStyle, ShortcutAction::startPause));

    // Shift changes the combination: Ctrl+Alt+Shift+P is nobody's.
    pressed.clear();
    type("ctrl+alt+shift+p");
    type("ctrl+alt+space");
    ASSERT_TRUE(seen(1));
    EXPECT_THAT(pressed, ::testing::ElementsAre(ShortcutAction::startPause));
}

TEST_F(X11Keys, HoldingTheCombinationDoesNotRepeatIt) {
    int presses = 0;
    const auto handler = keys->installHandler([&](const HotKeyID&) {
        ++presses;
        return true;
    });
    ASSERT_TRUE(keys->registerHotKey(49, kCtrlAlt, {kHotKeySignature, 1}).ok());

    // The events as the server sends them: the key's auto-repeat is a release and a press with
    // the same time.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, XK_space);
    const xcb_keycode_t space = codes ? codes[0] : 0;
    std::free(codes);
    xcb_key_symbols_free(symbols);
    xcb_disconnect(c);
    ASSERT_NE(space, 0);
    const auto send = [&](quint8 type, xcb_timestamp_t time) {
        xcb_key_press_event_t event{};
        event.response_type = type;
        event.detail = space;
        event.time = time;
        event.root = root;
        event.event = root;
        event.state = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2;  // Num Lock on
        return keys->nativeEventFilter("xcb_generic_event_t", &event, nullptr);
    };
    EXPECT_TRUE(send(XCB_KEY_PRESS, 1000));
    EXPECT_TRUE(send(XCB_KEY_RELEASE, 1500));
    EXPECT_TRUE(send(XCB_KEY_PRESS, 1500));  // repeat
    EXPECT_TRUE(send(XCB_KEY_RELEASE, 1530));
    EXPECT_TRUE(send(XCB_KEY_PRESS, 1530));  // repeat
    EXPECT_TRUE(send(XCB_KEY_RELEASE, 1600));
    EXPECT_EQ(presses, 1);
    EXPECT_TRUE(send(XCB_KEY_PRESS, 2400));  // pressed again
    EXPECT_EQ(presses, 2);
    keys->removeHandler(*handler.ref);
}

namespace {

// Switches the keyboard layout of the test desktop, waits until the hot keys have followed it,
// and restores US English afterwards.
class Layout {
public:
    Layout(X11HotKeys& keys, const char* name) : keys_(keys) { ok_ = set(name); }
    ~Layout() { set("us"); }
    bool ok() const { return ok_; }

private:
    bool set(const char* name) {
        bool followed = false;
        const auto connection = QObject::connect(&keys_, &X11HotKeys::keyboardMappingFollowed,
                                                 [&] { followed = true; });
        const bool ran =
            QProcess::execute(QStringLiteral("setxkbmap"), {QString::fromLatin1(name)}) == 0;
        const bool ok = ran && waitUntil([&] { return followed; }, 5000);
        QObject::disconnect(connection);
        return ok;
    }
    X11HotKeys& keys_;
    bool ok_ = false;
};

constexpr quint32 kKeyZ = 6;  // the key code of Z

}  // namespace

TEST_F(X11Keys, GrabsFollowTheKeysWhenTheLayoutChanges) {
    std::vector<HotKeyID> ids;
    const auto handler = keys->installHandler([&](const HotKeyID& id) {
        ids.push_back(id);
        return true;
    });
    ASSERT_TRUE(keys->registerHotKey(kKeyZ, kCtrlAlt, {kHotKeySignature, 1}).ok());
    ASSERT_TRUE(keys->registerHotKey(49, kCtrlAlt, {kHotKeySignature, 2}).ok());

    // German puts Z where US English has Y: the press of Ctrl+Alt+Z must still arrive, and the
    // key that used to be Z (now Y) no longer fires it.
    Layout german(*keys, "de");
    ASSERT_TRUE(german.ok());
    type("ctrl+alt+y");
    type("ctrl+alt+space");
    ASSERT_TRUE(waitUntil([&] { return ids.size() >= 1; }, 5000));
    type("ctrl+alt+z");
    type("ctrl+alt+space");
    ASSERT_TRUE(waitUntil([&] { return ids.size() >= 3; }, 5000));
    EXPECT_THAT(ids,
                ::testing::ElementsAre(HotKeyID{kHotKeySignature, 2}, HotKeyID{kHotKeySignature, 1},
                                       HotKeyID{kHotKeySignature, 2}));
    keys->removeHandler(*handler.ref);
}

TEST_F(X11Keys, AGrabThatCannotFollowTheLayoutIsReportedLost) {
    // Another client holds Ctrl+Alt on the key where German puts Z.
    OtherClient other;
    ASSERT_TRUE(other.grab(XK_y, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    const auto z = keys->registerHotKey(kKeyZ, kCtrlAlt, {kHotKeySignature, 1});
    ASSERT_TRUE(z.ok());
    ASSERT_TRUE(keys->registerHotKey(49, kCtrlAlt, {kHotKeySignature, 2}).ok());
    std::vector<std::pair<HotKeyRef, HotKeyError>> lost;
    QObject::connect(
        keys.get(), &HotKeys::registrationFailed,
        [&](HotKeyRef ref, HotKeyID, HotKeyError error) { lost.emplace_back(ref, error); });
    std::vector<HotKeyID> ids;
    const auto handler = keys->installHandler([&](const HotKeyID& id) {
        ids.push_back(id);
        return true;
    });

    Layout german(*keys, "de");
    ASSERT_TRUE(german.ok());
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_EQ(lost[0].first, z.ref.value());
    EXPECT_EQ(lost[0].second, HotKeyError::refused(XCB_ACCESS));
    // The other one still works; releasing the lost one later does nothing.
    type("ctrl+alt+space");
    ASSERT_TRUE(waitUntil([&] { return ids.size() == 1; }, 5000));
    EXPECT_EQ(ids[0], (HotKeyID{kHotKeySignature, 2}));
    keys->unregisterHotKey(z.ref.value());
    keys->removeHandler(*handler.ref);
}
