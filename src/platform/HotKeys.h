#pragma once

// System-wide key combinations: a combination registered here fires even while another
// application has the keyboard focus. Four operations: install a handler for hot-key presses,
// remove it, register a combination under an identifier, and release it again.
//
// Combinations are given in the stored form of the shortcuts: the classic virtual key code and
// the modifier mask of preferences/PreferenceTypes.h (command 256, shift 512, option 2048, control
// 4096). The backend translates them to what the window system understands.

#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/KeyModifiers.h"

class QKeyEvent;

namespace tw {

// Identifies a registered hot key: a four-character signature shared by every hot key of this
// application and a number per hot key.
struct HotKeyID {
    quint32 signature = 0;
    quint32 id = 0;
    friend bool operator==(const HotKeyID&, const HotKeyID&) = default;
};

// "TWHK" as a big-endian 32-bit value.
inline constexpr quint32 kHotKeySignature =
    (quint32('T') << 24) | (quint32('W') << 16) | (quint32('H') << 8) | quint32('K');

// Why a hot key could not be registered (or a handler installed).
struct HotKeyError {
    enum class Kind {
        invalidCombination,  // not a valid shortcut, or a key the backend cannot translate
        refused,             // the system refused: another application holds it, or it is reserved
        unavailable,         // no backend on this desktop (no X server, no portal)
    };
    Kind kind = Kind::refused;
    // A status code in the classic numbering where one exists (-50 for an invalid combination),
    // otherwise the window system's own error code; for logs only.
    int status = 0;

    static HotKeyError invalidCombination() { return {Kind::invalidCombination, -50}; }
    static HotKeyError refused(int status = 0) { return {Kind::refused, status}; }
    static HotKeyError unavailable() { return {Kind::unavailable, 0}; }
    friend bool operator==(const HotKeyError&, const HotKeyError&) = default;
};

// Releases nothing by itself; pass it back to unregisterHotKey / removeHandler.
using HotKeyRef = quint64;
using HandlerRef = quint64;

// Either a reference or an error.
template <typename Ref>
struct HotKeyResult {
    std::optional<Ref> ref;
    HotKeyError error;

    bool ok() const { return ref.has_value(); }
    static HotKeyResult success(Ref r) { return {r, {}}; }
    static HotKeyResult failure(HotKeyError e) { return {std::nullopt, e}; }
};

class HotKeys : public QObject {
    Q_OBJECT
public:
    // Called on the main thread for a press of a registered hot key with that hot key's
    // identifier. Answers whether it handled the press; handlers are asked in the order they
    // were installed until one answers true.
    using Handler = std::function<bool(const HotKeyID&)>;

    explicit HotKeys(QObject* parent = nullptr) : QObject(parent) {}
    ~HotKeys() override = default;

    // Installs a handler; fails only when the backend cannot deliver presses at all.
    virtual HotKeyResult<HandlerRef> installHandler(Handler handler);
    // Removes a handler; an unknown or already removed reference does nothing.
    void removeHandler(HandlerRef ref);

    // Takes the combination system-wide. Fails with `refused` when another application holds it
    // or the system reserves it, with `invalidCombination` for a key the backend cannot name,
    // with `unavailable` when there is no backend.
    virtual HotKeyResult<HotKeyRef> registerHotKey(quint32 keyCode, quint32 modifiers,
                                                   const HotKeyID& id) = 0;
    // Releases a combination; an unknown or already released reference does nothing.
    virtual void unregisterHotKey(HotKeyRef ref) = 0;
    // The key of a key press of this application in the stored form; nothing for a key the
    // backend cannot name.
    virtual std::optional<RecordedKey> recordedKey(const QKeyEvent& event) const = 0;

    int handlerCount() const { return int(handlers_.size()); }

Q_SIGNALS:
    // A registration that was answered with success is dropped later by the system (a desktop
    // portal answers after the fact).
    void registrationFailed(tw::HotKeyRef ref, tw::HotKeyID id, tw::HotKeyError error);

protected:
    // A registered hot key was pressed: asks the handlers in order until one handles it.
    // Answers whether one did.
    bool deliver(const HotKeyID& id);

private:
    struct Entry {
        HandlerRef ref = 0;
        std::shared_ptr<Handler> handler;
    };
    QList<Entry> handlers_;
    HandlerRef nextHandler_ = 1;
};

}  // namespace tw
