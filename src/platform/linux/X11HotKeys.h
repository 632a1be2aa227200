#pragma once

// Hot keys on X11: each combination is a passive key grab on the root window, taken with and
// without Caps Lock and Num Lock so that those locks do not disable it. The X server refuses a
// grab that another client already holds (BadAccess); that is the system refusing the
// combination. Presses arrive through Qt's own connection to the X server. When the keyboard
// layout or the modifier map changes, the grabs move to the keys that now type the registered
// keys; one that cannot follow is reported through `registrationFailed`.

#include <QAbstractNativeEventFilter>
#include <QList>
#include <memory>

#include "platform/HotKeys.h"

namespace tw {

class X11HotKeys final : public HotKeys, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    // Over the X connection of the running Qt application; null when Qt does not run on X.
    static std::unique_ptr<X11HotKeys> create(QObject* parent = nullptr);
    ~X11HotKeys() override;

    HotKeyResult<HotKeyRef> registerHotKey(quint32 keyCode, quint32 modifiers,
                                           const HotKeyID& id) override;
    void unregisterHotKey(HotKeyRef ref) override;
    std::optional<RecordedKey> recordedKey(const QKeyEvent& event) const override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // The X modifier state of a stored modifier mask: Ctrl → Control, Shift → Shift, Alt and
    // Super → the modifiers their keys are mapped to (usually Mod1 and Mod4).
    quint16 xModifiers(quint32 modifiers) const;

Q_SIGNALS:
    // The grabs have moved after a change of the keyboard layout or the modifier map.
    void keyboardMappingFollowed();

private:
    void followKeyboardMapping();

    struct Impl;
    explicit X11HotKeys(std::unique_ptr<Impl> impl, QObject* parent);
    std::unique_ptr<Impl> d_;
};

}  // namespace tw
