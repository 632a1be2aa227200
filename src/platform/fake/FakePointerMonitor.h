#pragma once

#include "platform/PointerMonitor.h"

namespace tw {

// A pointer the test moves and clicks by hand. It never polls.
class FakePointerMonitor final : public PointerMonitor {
public:
    PointF location() const override { return location_; }
    bool isPolling() const override { return false; }

    void setLocation(PointF p) { location_ = p; }
    // Moves the pointer and reports the movement to the watches.
    void moveTo(PointF p, bool overApplication = false) {
        location_ = p;
        deliver({PointerEvent::Type::moved, p, overApplication});
    }
    void press(PointerEvent::Type type, PointF p, bool overApplication = false) {
        location_ = p;
        deliver({type, p, overApplication});
    }
    // A failing platform: no watch can be installed.
    bool refuseWatches = false;

protected:
    void watchedMaskChanged(unsigned) override {}
    bool canWatch() const override { return !refuseWatches; }

private:
    PointF location_;
};

}  // namespace tw
