#pragma once

#include <QKeyEvent>
#include <QList>
#include <QPair>
#include <algorithm>

#include "platform/HotKeys.h"

namespace tw {

// Hot keys that live in memory: a test marks combinations as held by another application,
// presses combinations, and reads what is registered.
class FakeHotKeys final : public HotKeys {
public:
    struct Registration {
        HotKeyRef ref = 0;
        quint32 keyCode = 0;
        quint32 modifiers = 0;
        HotKeyID id;
    };

    using HotKeys::HotKeys;

    // Another application holds this combination: registering it is refused.
    void takeElsewhere(quint32 keyCode, quint32 modifiers) { taken_.append({keyCode, modifiers}); }
    void releaseElsewhere(quint32 keyCode, quint32 modifiers) {
        taken_.removeAll(QPair<quint32, quint32>(keyCode, modifiers));
    }
    // No backend at all: every registration fails with `unavailable`.
    void setAvailable(bool available) { available_ = available; }
    // Installing a handler fails (with `unavailable`).
    void setHandlersFail(bool fail) { handlersFail_ = fail; }

    HotKeyResult<HandlerRef> installHandler(Handler handler) override {
        if (handlersFail_) return HotKeyResult<HandlerRef>::failure(HotKeyError::unavailable());
        return HotKeys::installHandler(std::move(handler));
    }

    HotKeyResult<HotKeyRef> registerHotKey(quint32 keyCode, quint32 modifiers,
                                           const HotKeyID& id) override {
        ++registerCalls;
        if (!available_) return HotKeyResult<HotKeyRef>::failure(HotKeyError::unavailable());
        if (taken_.contains(QPair<quint32, quint32>(keyCode, modifiers)))
            return HotKeyResult<HotKeyRef>::failure(HotKeyError::refused(10));
        const HotKeyRef ref = nextRef_++;
        registrations_.append({ref, keyCode, modifiers, id});
        return HotKeyResult<HotKeyRef>::success(ref);
    }

    void unregisterHotKey(HotKeyRef ref) override {
        registrations_.removeIf([ref](const Registration& r) { return r.ref == ref; });
    }

    // Key presses name their key by the Qt key alone: the letters and digits by their
    // character; any other key is unknown.
    std::optional<RecordedKey> recordedKey(const QKeyEvent& event) const override {
        const int key = event.key();
        if (key >= Qt::Key_A && key <= Qt::Key_Z) {
            static const quint32 codes[26] = {0,  11, 8,  2,  14, 3, 5,  4,  34, 38, 40, 37, 46,
                                              45, 31, 35, 12, 15, 1, 17, 32, 9,  13, 7,  16, 6};
            return RecordedKey{codes[key - Qt::Key_A], QString(QChar(key))};
        }
        if (key == Qt::Key_Escape) return RecordedKey{53, QStringLiteral("Esc")};
        if (key == Qt::Key_Space) return RecordedKey{49, QStringLiteral("Space")};
        return std::nullopt;
    }

    // The user presses the combination: answers whether a handler handled it (false when
    // nothing is registered for it).
    bool press(quint32 keyCode, quint32 modifiers) {
        for (const Registration& r : std::as_const(registrations_)) {
            if (r.keyCode == keyCode && r.modifiers == modifiers) return deliver(r.id);
        }
        return false;
    }
    // Delivers a press with any identifier, registered or not.
    bool pressID(const HotKeyID& id) { return deliver(id); }

    bool isRegistered(quint32 keyCode, quint32 modifiers) const {
        return std::any_of(registrations_.cbegin(), registrations_.cend(),
                           [&](const Registration& r) {
                               return r.keyCode == keyCode && r.modifiers == modifiers;
                           });
    }
    const QList<Registration>& registrations() const { return registrations_; }

    int registerCalls = 0;

private:
    QList<Registration> registrations_;
    QList<QPair<quint32, quint32>> taken_;
    HotKeyRef nextRef_ = 1;
    bool available_ = true;
    bool handlersFail_ = false;
};

}  // namespace tw
