#pragma once

// The three system-wide shortcuts: one hot key per action (`GlobalShortcut`), the set the
// application holds (`GlobalShortcuts`: registration at launch, replacement, release while a
// shortcut is being recorded, release at the end), and the rules that turn a key press in the
// settings window into a shortcut.

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <Qt>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "platform/HotKeys.h"
#include "preferences/PreferenceTypes.h"

class QKeyEvent;

namespace tw {

class AppPreferences;

// User-visible texts.
QString shortcutUnavailableMessage();  // the system refused the combination
QString shortcutRecorderHint();        // the key press cannot form a shortcut
// The title of an action's settings row: "Start / pause shortcut", "Show island shortcut",
// "Top edge / pill shortcut".
QString shortcutTitle(ShortcutAction action);
// "Already used for " + the other action's title, lower-cased, without " shortcut", + ".".
QString shortcutAlreadyUsedMessage(ShortcutAction other);

// One registered hot key. Created registered (or not at all); `unregister()` releases it for
// good, and so does destruction.
class GlobalShortcut {
public:
    using Action = std::function<void()>;

    struct Created {
        std::unique_ptr<GlobalShortcut> shortcut;  // null on failure
        HotKeyError error;
    };

    // Installs the press handler, then registers `configuration`. On failure nothing stays
    // installed or registered.
    static Created create(HotKeys& hotKeys, const ShortcutConfiguration& configuration,
                          quint32 hotKeyID, Action action);
    ~GlobalShortcut();
    GlobalShortcut(const GlobalShortcut&) = delete;
    GlobalShortcut& operator=(const GlobalShortcut&) = delete;

    // Makes `configuration` the registered combination. An invalid configuration fails with
    // `invalidCombination`; the registered one again does nothing; otherwise the new combination
    // is taken first and the old one released only once the system has accepted the new one, so
    // a refusal keeps the old combination in force.
    std::optional<HotKeyError> registerConfiguration(const ShortcutConfiguration& configuration);
    // Releases the hot key and the handler; the object never fires again.
    void unregister();

    const std::optional<ShortcutConfiguration>& configuration() const { return configuration_; }
    quint32 hotKeyID() const { return hotKeyID_; }
    bool isRegistered() const { return hotKey_.has_value(); }

private:
    GlobalShortcut(HotKeys& hotKeys, quint32 hotKeyID, Action action);
    bool handle(const HotKeyID& id) const;

    QPointer<HotKeys> hotKeys_;
    std::optional<HotKeyRef> hotKey_;
    std::optional<HandlerRef> handler_;
    Action action_;
    std::optional<ShortcutConfiguration> configuration_;
    quint32 hotKeyID_ = 0;
};

// The first action other than `action`, in their order, whose stored (or default) shortcut is
// the same combination: the same key code and modifiers (the label does not matter).
std::optional<ShortcutAction> conflictingAction(const AppPreferences& preferences,
                                                const ShortcutConfiguration& configuration,
                                                ShortcutAction action);

// The shortcuts the application holds, one entry per registered action.
class GlobalShortcuts : public QObject {
    Q_OBJECT
public:
    // What a press of an action's shortcut does.
    using Pressed = std::function<void(ShortcutAction)>;

    GlobalShortcuts(AppPreferences& preferences, HotKeys& hotKeys, Pressed pressed,
                    QObject* parent = nullptr);
    ~GlobalShortcuts() override;

    // The hot key's identifier of an action: its position in the action order plus one.
    static quint32 hotKeyID(ShortcutAction action);

    // Makes `configuration` the action's shortcut if it can be: refused with the "Already used
    // for …" message when another action has it, with the unavailable message when the system
    // refuses it (the previous combination then stays registered); otherwise registered, stored
    // in the preferences (which clears the message) and answered true.
    bool applyShortcut(const ShortcutConfiguration& configuration, ShortcutAction action);
    // Registers every action with its stored shortcut, in the action order. When one is
    // refused, its message stays although the others register after it.
    void registerAll();
    // Releases every hot key and forgets them.
    void unregisterAll();

    // Follows the preferences' recordingShortcut from now on (queued, on the main thread):
    // while a shortcut is being recorded every hot key is released, so that the combination
    // pressed reaches the recorder; afterwards every action without a hot key is registered
    // again, keeping the message the recording left.
    QMetaObject::Connection followRecording();
    void recordingChanged(const std::optional<ShortcutAction>& recording);

    bool contains(ShortcutAction action) const { return shortcuts_.count(action) != 0; }
    const GlobalShortcut* shortcut(ShortcutAction action) const;

private:
    void registerEach(bool onlyMissing);

    AppPreferences& preferences_;
    QPointer<HotKeys> hotKeys_;
    Pressed pressed_;
    std::map<ShortcutAction, std::unique_ptr<GlobalShortcut>> shortcuts_;
};

// ---- Recording a shortcut from a key press ----

// The modifier mask of Qt modifiers: Ctrl → control, Alt → option, Shift → shift, Meta (Super)
// → command.
quint32 shortcutModifiers(Qt::KeyboardModifiers modifiers);
// The shortcut a pressed key (as the hot-key backend names it) forms with the modifiers held.
// Nothing when that is not a valid shortcut (no Ctrl, Alt or Super; an unknown key).
std::optional<ShortcutConfiguration> shortcutFromKey(const std::optional<RecordedKey>& key,
                                                     Qt::KeyboardModifiers modifiers);

// What the recorder does with a key press.
struct RecorderStep {
    enum class Kind {
        passOn,  // not for the recorder: the event goes on, recording continues
        cancel,  // Escape alone: recording stops, nothing changes
        reject,  // no shortcut: show the hint, swallow the event, keep recording
        accept,  // apply `configuration`, then stop recording
    };
    Kind kind = Kind::passOn;
    std::optional<ShortcutConfiguration> configuration;  // for accept
};

// The recorder's rule for a key press in `eventWindow` (null when the event has no window)
// while the settings window is `settingsWindow` (null when it does not exist): presses that do
// not belong to the settings window pass on.
RecorderStep recorderStep(const std::optional<RecordedKey>& key, Qt::KeyboardModifiers modifiers,
                          const QObject* eventWindow, const QObject* settingsWindow);

}  // namespace tw
