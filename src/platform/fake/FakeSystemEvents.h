#pragma once

#include "platform/SystemEvents.h"

namespace tw {

// System events that a test raises by hand.
class FakeSystemEvents final : public SystemEvents {
public:
    using SystemEvents::SystemEvents;

    void emitWillSleep() { Q_EMIT willSleep(); }
    void emitDidWake() { Q_EMIT didWake(); }
    void emitScreenLocked() { Q_EMIT screenLocked(); }
    void emitDayChanged() { Q_EMIT dayChanged(); }
    void emitTimeZoneChanged() { Q_EMIT timeZoneChanged(); }
    void emitBecameActive() { Q_EMIT becameActive(); }
    void emitSessionEnding() { Q_EMIT sessionEnding(); }
};

}  // namespace tw
