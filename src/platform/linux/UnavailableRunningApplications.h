#pragma once

#include "platform/RunningApplications.h"

namespace tw {

// Where no X server can be reached (a Wayland session without XWayland): no application is seen,
// none is in front, and nothing can be hidden.
class UnavailableRunningApplications final : public RunningApplications {
    Q_OBJECT
public:
    using RunningApplications::RunningApplications;
    std::optional<RunningApplication> frontmost() const override { return std::nullopt; }
    QList<RunningApplication> running(const QString&) const override { return {}; }
    bool isHidden(const RunningApplication&) const override { return true; }
    void hide(const RunningApplication&) override {}
    std::unique_ptr<ApplicationWatch> watch() override {
        return std::make_unique<ApplicationWatch>();
    }
};

}  // namespace tw
