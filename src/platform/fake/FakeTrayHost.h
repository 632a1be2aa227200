#pragma once

#include "platform/TrayHost.h"

namespace tw {

// A tray host that comes and goes when the test says so.
class FakeTrayHost final : public TrayHost {
    Q_OBJECT
public:
    explicit FakeTrayHost(bool available = true) : available_(available) {}
    bool available() const override { return available_; }
    void setAvailable(bool available) {
        if (available == available_) return;
        available_ = available;
        Q_EMIT availabilityChanged(available);
    }

private:
    bool available_;
};

}  // namespace tw
