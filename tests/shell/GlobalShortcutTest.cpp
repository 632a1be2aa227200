// The global shortcuts without a window system: display texts, registration
// through applyShortcut with its refusals and conflicts, the recording hooks, and the recorder's
// key-press rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTemporaryDir>
#include <vector>

#include "platform/UserDefaults.h"
#include "platform/fake/FakeHotKeys.h"
#include "preferences/AppPreferences.h"
#include "shell/GlobalShortcut.h"

using namespace tw;
using ::testing::ElementsAre;

namespace {

const ShortcutConfiguration kSpace = defaultShortcut(ShortcutAction::startPause);
const ShortcutConfiguration kDown = defaultShortcut(ShortcutAction::showIsland);
const ShortcutConfiguration kP = defaultShortcut(ShortcutAction::toggleStyle);
constexpr quint32 kCtrlAlt = modifier::control | modifier::option;

const QString kUnavailable =
    QStringLiteral("This shortcut is unavailable. Choose another combination.");

}  // namespace

TEST(ShortcutText, DisplayTextNamesTheModifiersInTheirOrderThenTheKey) {
    EXPECT_EQ(shortcutDisplayText(kSpace), QStringLiteral("Ctrl+Alt+Space"));
    EXPECT_EQ(shortcutDisplayText(kDown), QStringLiteral("Alt+↓"));
    EXPECT_EQ(shortcutDisplayText(kP), QStringLiteral("Ctrl+Alt+P"));
    EXPECT_EQ(shortcutDisplayText({96, modifier::all, QStringLiteral("F5")}),
              QStringLiteral("Ctrl+Alt+Shift+Super+F5"));
    EXPECT_EQ(
        shortcutDisplayText({115, modifier::command | modifier::shift, QStringLiteral("Key 115")}),
        QStringLiteral("Shift+Super+Key 115"));
}

// ---- Registration ----

class Shortcuts : public ::testing::Test {
protected:
    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath(QStringLiteral("defaults.json"))};
    AppPreferences preferences{defaults};
    FakeHotKeys hotKeys;
    std::vector<ShortcutAction> pressed;
    GlobalShortcuts shortcuts{preferences, hotKeys,
                              [this](ShortcutAction a) { pressed.push_back(a); }};

    static void deliverQueued() { QCoreApplication::processEvents(); }
    bool registered(const ShortcutConfiguration& c) const {
        return hotKeys.isRegistered(c.keyCode, c.modifiers);
    }
};

TEST_F(Shortcuts, LaunchRegistersTheThreeInOrderAndEachPressRunsItsOwnAction) {
    shortcuts.registerAll();
    ASSERT_EQ(hotKeys.registrations().size(), 3);
    const ShortcutConfiguration expected[] = {kSpace, kDown, kP};
    for (int i = 0; i < 3; ++i) {
        const auto& r = hotKeys.registrations()[i];
        EXPECT_EQ(r.keyCode, expected[i].keyCode);
        EXPECT_EQ(r.modifiers, expected[i].modifiers);
        EXPECT_EQ(r.id, (HotKeyID{kHotKeySignature, quint32(i + 1)}));
    }
    EXPECT_EQ(kHotKeySignature, 0x5457484Bu);  // "TWHK"
    EXPECT_EQ(preferences.shortcutError(), std::nullopt);

    EXPECT_TRUE(hotKeys.press(kDown.keyCode, kDown.modifiers));
    EXPECT_TRUE(hotKeys.press(kSpace.keyCode, kSpace.modifiers));
    EXPECT_TRUE(hotKeys.press(kP.keyCode, kP.modifiers));
    EXPECT_THAT(pressed, ElementsAre(ShortcutAction::showIsland, ShortcutAction::startPause,
                                     ShortcutAction::toggleStyle));
    // A press that is not ours (another signature, an unknown number) is left to others.
    pressed.clear();
    EXPECT_FALSE(hotKeys.pressID({0x41424344, 1}));
    EXPECT_FALSE(hotKeys.pressID({kHotKeySignature, 4}));
    EXPECT_TRUE(pressed.empty());
}

TEST_F(Shortcuts, ACombinationOfAnotherActionIsRefusedBeforeAnyRegistration) {
    shortcuts.registerAll();
    const int calls = hotKeys.registerCalls;
    struct Case {
        ShortcutAction action;
        ShortcutConfiguration configuration;
        QString message;
    };
    for (const Case& c : {
             Case{ShortcutAction::showIsland, kSpace,
                  QStringLiteral("Already used for start / pause.")},
             Case{ShortcutAction::startPause, kDown,
                  QStringLiteral("Already used for show island.")},
             Case{ShortcutAction::startPause, kP,
                  QStringLiteral("Already used for top edge / pill.")},
         }) {
        EXPECT_FALSE(shortcuts.applyShortcut(c.configuration, c.action));
        EXPECT_EQ(preferences.shortcutError(), c.message);
        EXPECT_EQ(preferences.shortcut(c.action), defaultShortcut(c.action));
    }
    EXPECT_EQ(hotKeys.registerCalls, calls);
    // The same key and modifiers under another label is still the same combination; other
    // modifiers are not.
    EXPECT_EQ(conflictingAction(preferences, {49, kCtrlAlt, QStringLiteral("Spc")},
                                ShortcutAction::showIsland),
              ShortcutAction::startPause);
    EXPECT_EQ(conflictingAction(preferences, {49, modifier::control, QStringLiteral("Space")},
                                ShortcutAction::showIsland),
              std::nullopt);
    EXPECT_EQ(conflictingAction(preferences, kSpace, ShortcutAction::startPause), std::nullopt);
}

TEST_F(Shortcuts, ARefusedCombinationKeepsThePreviousOneInForce) {
    shortcuts.registerAll();
    const ShortcutConfiguration f5{96, modifier::option, QStringLiteral("F5")};
    hotKeys.takeElsewhere(f5.keyCode, f5.modifiers);
    EXPECT_FALSE(shortcuts.applyShortcut(f5, ShortcutAction::startPause));
    EXPECT_EQ(preferences.shortcutError(), kUnavailable);
    EXPECT_TRUE(registered(kSpace));
    EXPECT_EQ(preferences.shortcut(ShortcutAction::startPause), kSpace);
    EXPECT_TRUE(hotKeys.press(kSpace.keyCode, kSpace.modifiers));
    EXPECT_THAT(pressed, ElementsAre(ShortcutAction::startPause));

    // Once free, it replaces the old one, is stored, and the message goes.
    hotKeys.releaseElsewhere(f5.keyCode, f5.modifiers);
    EXPECT_TRUE(shortcuts.applyShortcut(f5, ShortcutAction::startPause));
    EXPECT_EQ(preferences.shortcutError(), std::nullopt);
    EXPECT_FALSE(registered(kSpace));
    EXPECT_TRUE(registered(f5));
    EXPECT_EQ(preferences.shortcut(ShortcutAction::startPause), f5);
    EXPECT_EQ(AppPreferences(defaults).shortcut(ShortcutAction::startPause), f5);
    EXPECT_EQ(hotKeys.registrations().size(), 3);

    // The same configuration again: nothing to register.
    const int calls = hotKeys.registerCalls;
    EXPECT_TRUE(shortcuts.applyShortcut(f5, ShortcutAction::startPause));
    EXPECT_EQ(hotKeys.registerCalls, calls);
}

TEST_F(Shortcuts, ACombinationTakenAtLaunchLeavesThatActionWithoutAHotKey) {
    // Whichever is taken, the message stays, also when the others register after it.
    for (const ShortcutAction taken : allShortcutActions) {
        SCOPED_TRACE(rawValue(taken).toStdString());
        UserDefaults store;
        AppPreferences prefs(store);
        FakeHotKeys keys;
        const ShortcutConfiguration combination = defaultShortcut(taken);
        keys.takeElsewhere(combination.keyCode, combination.modifiers);
        GlobalShortcuts launched(prefs, keys, {});
        launched.registerAll();
        for (const ShortcutAction action : allShortcutActions)
            EXPECT_EQ(launched.contains(action), action != taken);
        EXPECT_EQ(prefs.shortcutError(), kUnavailable);
        EXPECT_EQ(keys.handlerCount(), 2);  // the failed one left no handler behind

        // Recording ends: the taken one is tried again and its message still shows.
        launched.recordingChanged(std::nullopt);
        EXPECT_FALSE(launched.contains(taken));
        EXPECT_EQ(prefs.shortcutError(), kUnavailable);
    }

    // Without a backend nothing registers, and the message says so.
    FakeHotKeys none;
    none.setAvailable(false);
    GlobalShortcuts without(preferences, none, {});
    preferences.setShortcutError(std::nullopt);
    without.registerAll();
    EXPECT_EQ(none.registrations().size(), 0);
    EXPECT_EQ(none.handlerCount(), 0);
    EXPECT_EQ(preferences.shortcutError(), kUnavailable);
}

TEST_F(Shortcuts, NoHotKeyIsHeldWhileRecordingAndTheRecordingsMessageSurvivesTheReturn) {
    shortcuts.registerAll();
    const auto connection = shortcuts.followRecording();

    preferences.setRecordingShortcut(ShortcutAction::showIsland);
    deliverQueued();
    EXPECT_EQ(hotKeys.registrations().size(), 0);
    EXPECT_EQ(hotKeys.handlerCount(), 0);
    EXPECT_FALSE(hotKeys.press(kSpace.keyCode, kSpace.modifiers));

    // The user presses the start/pause combination for the island: refused, recording ends.
    EXPECT_FALSE(shortcuts.applyShortcut(kSpace, ShortcutAction::showIsland));
    preferences.setRecordingShortcut(std::nullopt);
    deliverQueued();
    EXPECT_EQ(hotKeys.registrations().size(), 3);
    EXPECT_TRUE(registered(kSpace));
    EXPECT_TRUE(registered(kDown));
    EXPECT_EQ(preferences.shortcutError(), QStringLiteral("Already used for start / pause."));

    // An accepted recording: the recorded action holds its new combination already.
    const ShortcutConfiguration f5{96, modifier::option, QStringLiteral("F5")};
    preferences.setShortcutError(std::nullopt);
    preferences.setRecordingShortcut(ShortcutAction::showIsland);
    deliverQueued();
    EXPECT_TRUE(shortcuts.applyShortcut(f5, ShortcutAction::showIsland));
    preferences.setRecordingShortcut(std::nullopt);
    deliverQueued();
    EXPECT_EQ(hotKeys.registrations().size(), 3);
    EXPECT_TRUE(registered(f5));
    EXPECT_FALSE(registered(kDown));
    EXPECT_EQ(preferences.shortcutError(), std::nullopt);
    EXPECT_TRUE(hotKeys.press(f5.keyCode, f5.modifiers));
    EXPECT_THAT(pressed, ElementsAre(ShortcutAction::showIsland));
    QObject::disconnect(connection);
}

TEST_F(Shortcuts, ACombinationTheSystemDropsLaterIsReportedLikeARefusal) {
    shortcuts.registerAll();
    const auto& startPause = hotKeys.registrations()[0];
    Q_EMIT hotKeys.registrationFailed(startPause.ref, startPause.id, HotKeyError::refused());
    EXPECT_FALSE(shortcuts.contains(ShortcutAction::startPause));
    EXPECT_TRUE(shortcuts.contains(ShortcutAction::showIsland));
    EXPECT_EQ(preferences.shortcutError(),
              QStringLiteral("This shortcut is unavailable. Choose another combination."));
    // An identifier that is not ours changes nothing.
    preferences.setShortcutError(std::nullopt);
    Q_EMIT hotKeys.registrationFailed(99, HotKeyID{kHotKeySignature, 9}, HotKeyError::refused());
    EXPECT_EQ(preferences.shortcutError(), std::nullopt);
    EXPECT_TRUE(shortcuts.contains(ShortcutAction::toggleStyle));
}

TEST_F(Shortcuts, ReleasedShortcutsNeverFireAgain) {
    shortcuts.registerAll();
    shortcuts.unregisterAll();
    EXPECT_EQ(hotKeys.registrations().size(), 0);
    EXPECT_EQ(hotKeys.handlerCount(), 0);
    EXPECT_FALSE(hotKeys.pressID({kHotKeySignature, 1}));
    EXPECT_TRUE(pressed.empty());

    // A single hot key: released by unregister() and by destruction alike.
    auto created = GlobalShortcut::create(
        hotKeys, kSpace, 1, [this] { pressed.push_back(ShortcutAction::startPause); });
    ASSERT_TRUE(created.shortcut);
    EXPECT_TRUE(created.shortcut->isRegistered());
    created.shortcut->unregister();
    EXPECT_FALSE(created.shortcut->isRegistered());
    EXPECT_EQ(created.shortcut->configuration(), std::nullopt);
    EXPECT_FALSE(hotKeys.pressID({kHotKeySignature, 1}));
    created = GlobalShortcut::create(hotKeys, kSpace, 1, {});
    created.shortcut.reset();
    EXPECT_EQ(hotKeys.registrations().size(), 0);
    EXPECT_EQ(hotKeys.handlerCount(), 0);

    // An invalid configuration is never registered.
    const auto invalid = GlobalShortcut::create(hotKeys, {35, 0, QStringLiteral("P")}, 1, {});
    EXPECT_FALSE(invalid.shortcut);
    EXPECT_EQ(invalid.error, HotKeyError::invalidCombination());
    EXPECT_EQ(hotKeys.handlerCount(), 0);
}

// ---- Recording ----

namespace {

std::optional<RecordedKey> key(quint32 keyCode, const char* label) {
    return RecordedKey{keyCode, QString::fromUtf8(label)};
}

constexpr Qt::KeyboardModifiers kCtrl = Qt::ControlModifier;
const std::optional<RecordedKey> kEscape = key(53, "Esc");
const std::optional<RecordedKey> kPKey = key(35, "P");

}  // namespace

TEST(Recorder, EscapeCancelsAPressWithoutShortcutIsRejectedOtherWindowsPassOn) {
    QObject settings;
    QObject other;
    using Kind = RecorderStep::Kind;
    EXPECT_EQ(recorderStep(kEscape, {}, &settings, &settings).kind, Kind::cancel);
    EXPECT_EQ(recorderStep(kEscape, Qt::ShiftModifier, &settings, &settings).kind, Kind::reject);
    EXPECT_EQ(recorderStep(kPKey, {}, &settings, &settings).kind, Kind::reject);
    const RecorderStep accepted = recorderStep(kEscape, kCtrl, &settings, &settings);
    EXPECT_EQ(accepted.kind, Kind::accept);
    EXPECT_EQ(accepted.configuration, (ShortcutConfiguration{53, 4096, QStringLiteral("Esc")}));

    // Presses that do not belong to the settings window.
    EXPECT_EQ(recorderStep(kEscape, {}, &other, &settings).kind, Kind::passOn);
    EXPECT_EQ(recorderStep(kPKey, kCtrl, &other, nullptr).kind, Kind::passOn);
    EXPECT_EQ(recorderStep(kPKey, kCtrl, nullptr, &settings).kind, Kind::passOn);
    EXPECT_EQ(recorderStep(kPKey, kCtrl, nullptr, nullptr).kind, Kind::accept);

    EXPECT_EQ(shortcutRecorderHint(),
              QStringLiteral("Include Control, Alt, or Super with your key. Escape cancels."));
}
