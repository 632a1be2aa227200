#pragma once

#include "platform/HotKeys.h"
#include "platform/linux/KeyCodes.h"

namespace tw {

// Refuses every hot key as unavailable: there is no backend on this desktop. Key presses are
// still read, so that a shortcut can be recorded and stored for another session.
class UnavailableHotKeys final : public HotKeys {
    Q_OBJECT
public:
    using HotKeys::HotKeys;
    HotKeyResult<HotKeyRef> registerHotKey(quint32, quint32, const HotKeyID&) override {
        return HotKeyResult<HotKeyRef>::failure(HotKeyError::unavailable());
    }
    void unregisterHotKey(HotKeyRef) override {}
    std::optional<RecordedKey> recordedKey(const QKeyEvent& event) const override {
        return keycodes::recordedKey(event);
    }
};

}  // namespace tw
