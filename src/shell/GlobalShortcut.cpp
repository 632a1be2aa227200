#include "shell/GlobalShortcut.h"

#include <QKeyEvent>

#include "preferences/AppPreferences.h"

namespace tw {

QString shortcutUnavailableMessage() {
    return QStringLiteral("This shortcut is unavailable. Choose another combination.");
}

QString shortcutRecorderHint() {
    return QStringLiteral("Include Control, Alt, or Super with your key. Escape cancels.");
}

QString shortcutTitle(ShortcutAction action) {
    switch (action) {
        case ShortcutAction::startPause:
            return QStringLiteral("Start / pause shortcut");
        case ShortcutAction::showIsland:
            return QStringLiteral("Show island shortcut");
        case ShortcutAction::toggleStyle:
            return QStringLiteral("Top edge / pill shortcut");
    }
    return {};
}

QString shortcutAlreadyUsedMessage(ShortcutAction other) {
    return QStringLiteral("Already used for ") +
           shortcutTitle(other).toLower().remove(QStringLiteral(" shortcut")) + QLatin1Char('.');
}

// ---- GlobalShortcut ----

GlobalShortcut::GlobalShortcut(HotKeys& hotKeys, quint32 hotKeyID, Action action)
    : hotKeys_(&hotKeys), action_(std::move(action)), hotKeyID_(hotKeyID) {}

GlobalShortcut::Created GlobalShortcut::create(HotKeys& hotKeys,
                                               const ShortcutConfiguration& configuration,
                                               quint32 hotKeyID, Action action) {
    std::unique_ptr<GlobalShortcut> shortcut(
        new GlobalShortcut(hotKeys, hotKeyID, std::move(action)));
    // The handler is removed in unregister(), at the latest when the object is destroyed, so
    // it never outlives the object it points to.
    GlobalShortcut* raw = shortcut.get();
    const auto installed =
        hotKeys.installHandler([raw](const HotKeyID& id) { return raw->handle(id); });
    if (!installed.ok()) return {nullptr, installed.error};
    shortcut->handler_ = installed.ref;
    if (const auto error = shortcut->registerConfiguration(configuration)) {
        shortcut->unregister();
        return {nullptr, *error};
    }
    return {std::move(shortcut), {}};
}

GlobalShortcut::~GlobalShortcut() {
    unregister();
}

std::optional<HotKeyError> GlobalShortcut::registerConfiguration(
    const ShortcutConfiguration& configuration) {
    if (!configuration.isValid()) return HotKeyError::invalidCombination();
    if (hotKey_ && configuration_ == configuration) return std::nullopt;
    if (!hotKeys_) return HotKeyError::unavailable();
    const auto registered = hotKeys_->registerHotKey(configuration.keyCode, configuration.modifiers,
                                                     {kHotKeySignature, hotKeyID_});
    if (!registered.ok()) return registered.error;
    if (hotKey_) hotKeys_->unregisterHotKey(*hotKey_);
    hotKey_ = registered.ref;
    configuration_ = configuration;
    return std::nullopt;
}

void GlobalShortcut::unregister() {
    if (hotKeys_) {
        if (hotKey_) hotKeys_->unregisterHotKey(*hotKey_);
        if (handler_) hotKeys_->removeHandler(*handler_);
    }
    hotKey_.reset();
    handler_.reset();
    configuration_.reset();
}

bool GlobalShortcut::handle(const HotKeyID& id) const {
    if (!hotKey_ || id.signature != kHotKeySignature || id.id != hotKeyID_) return false;
    // The action may release this object (recording starts from it, say): nothing of the
    // object is touched after it runs.
    const Action action = action_;
    if (action) action();
    return true;
}

// ---- GlobalShortcuts ----

std::optional<ShortcutAction> conflictingAction(const AppPreferences& preferences,
                                                const ShortcutConfiguration& configuration,
                                                ShortcutAction action) {
    for (ShortcutAction other : allShortcutActions) {
        if (other == action) continue;
        // The label only names the key: the same key with the same modifiers is the same
        // combination for the system, and only one of the two actions could ever fire.
        const ShortcutConfiguration theirs = preferences.shortcut(other);
        if (theirs.keyCode == configuration.keyCode && theirs.modifiers == configuration.modifiers)
            return other;
    }
    return std::nullopt;
}

GlobalShortcuts::GlobalShortcuts(AppPreferences& preferences, HotKeys& hotKeys, Pressed pressed,
                                 QObject* parent)
    : QObject(parent), preferences_(preferences), hotKeys_(&hotKeys), pressed_(std::move(pressed)) {
    // A combination the system drops after accepting it is treated like one it refused at once.
    connect(&hotKeys, &HotKeys::registrationFailed, this,
            [this](HotKeyRef, HotKeyID id, HotKeyError) {
                for (auto it = shortcuts_.begin(); it != shortcuts_.end(); ++it) {
                    if (it->second && it->second->hotKeyID() == id.id) {
                        shortcuts_.erase(it);
                        preferences_.setShortcutError(shortcutUnavailableMessage());
                        return;
                    }
                }
            });
}

GlobalShortcuts::~GlobalShortcuts() {
    unregisterAll();
}

quint32 GlobalShortcuts::hotKeyID(ShortcutAction action) {
    return quint32(action) + 1;
}

bool GlobalShortcuts::applyShortcut(const ShortcutConfiguration& configuration,
                                    ShortcutAction action) {
    if (const auto other = conflictingAction(preferences_, configuration, action)) {
        preferences_.setShortcutError(shortcutAlreadyUsedMessage(*other));
        return false;
    }
    if (const auto it = shortcuts_.find(action); it != shortcuts_.end()) {
        if (it->second->registerConfiguration(configuration)) {
            preferences_.setShortcutError(shortcutUnavailableMessage());
            return false;
        }
    } else {
        if (!hotKeys_) {
            preferences_.setShortcutError(shortcutUnavailableMessage());
            return false;
        }
        const QPointer<GlobalShortcuts> self(this);
        auto created =
            GlobalShortcut::create(*hotKeys_, configuration, hotKeyID(action), [self, action] {
                if (self && self->pressed_) self->pressed_(action);
            });
        if (!created.shortcut) {
            preferences_.setShortcutError(shortcutUnavailableMessage());
            return false;
        }
        shortcuts_[action] = std::move(created.shortcut);
    }
    if (preferences_.setShortcut(action, configuration))
        preferences_.setShortcutError(std::nullopt);
    return true;
}

void GlobalShortcuts::registerAll() {
    registerEach(false);
}

void GlobalShortcuts::registerEach(bool onlyMissing) {
    // Storing an accepted shortcut clears the message, so a refusal early in the order would
    // be hidden by the actions after it that register: the first refusal's message stays.
    std::optional<QString> refusal;
    for (ShortcutAction action : allShortcutActions) {
        if (onlyMissing && contains(action)) continue;
        if (!applyShortcut(preferences_.shortcut(action), action) && !refusal)
            refusal = preferences_.shortcutError();
    }
    if (refusal && !preferences_.shortcutError()) preferences_.setShortcutError(refusal);
}

void GlobalShortcuts::unregisterAll() {
    // Released one by one before the map is emptied, so that no press reaches a half-removed
    // entry.
    for (auto& [action, shortcut] : shortcuts_) shortcut->unregister();
    shortcuts_.clear();
}

QMetaObject::Connection GlobalShortcuts::followRecording() {
    return connect(&preferences_, &AppPreferences::recordingShortcutChanged, this,
                   &GlobalShortcuts::recordingChanged, Qt::QueuedConnection);
}

void GlobalShortcuts::recordingChanged(const std::optional<ShortcutAction>& recording) {
    if (recording) {
        unregisterAll();
        return;
    }
    const std::optional<QString> message = preferences_.shortcutError();
    registerEach(true);
    if (message) preferences_.setShortcutError(message);
}

const GlobalShortcut* GlobalShortcuts::shortcut(ShortcutAction action) const {
    const auto it = shortcuts_.find(action);
    return it == shortcuts_.end() ? nullptr : it->second.get();
}

// ---- Recording ----

quint32 shortcutModifiers(Qt::KeyboardModifiers modifiers) {
    quint32 mask = 0;
    if (modifiers & Qt::ControlModifier) mask |= modifier::control;
    if (modifiers & Qt::AltModifier) mask |= modifier::option;
    if (modifiers & Qt::ShiftModifier) mask |= modifier::shift;
    if (modifiers & Qt::MetaModifier) mask |= modifier::command;
    return mask;
}

std::optional<ShortcutConfiguration> shortcutFromKey(const std::optional<RecordedKey>& key,
                                                     Qt::KeyboardModifiers modifiers) {
    if (!key) return std::nullopt;
    const ShortcutConfiguration configuration{key->keyCode, shortcutModifiers(modifiers),
                                              key->label};
    if (!configuration.isValid()) return std::nullopt;
    return configuration;
}

RecorderStep recorderStep(const std::optional<RecordedKey>& key, Qt::KeyboardModifiers modifiers,
                          const QObject* eventWindow, const QObject* settingsWindow) {
    if (eventWindow ? eventWindow != settingsWindow : settingsWindow != nullptr) return {};
    const quint32 mask = shortcutModifiers(modifiers);
    if (key && key->keyCode == 53u && mask == 0) return {RecorderStep::Kind::cancel, {}};
    if (auto configuration = shortcutFromKey(key, modifiers))
        return {RecorderStep::Kind::accept, std::move(configuration)};
    return {RecorderStep::Kind::reject, {}};
}

}  // namespace tw
