#pragma once

#include <QList>
#include <algorithm>

#include "platform/RunningApplications.h"

namespace tw {

// Applications the test starts, brings to the front and quits by hand. Launches and activations
// are reported only while a watch is held, as on a real desktop.
class FakeRunningApplications final : public RunningApplications {
public:
    struct Instance {
        RunningApplication application;
        bool hidden = false;
    };

    std::optional<RunningApplication> frontmost() const override { return front_; }
    QList<RunningApplication> running(const QString& desktopId) const override {
        QList<RunningApplication> out;
        for (const Instance& i : instances_) {
            if (!desktopId.isEmpty() && i.application.desktopId == desktopId) out << i.application;
        }
        return out;
    }
    // An application that is not running has no windows: it counts as hidden.
    bool isHidden(const RunningApplication& application) const override {
        const Instance* i = find(application);
        return !i || i->hidden;
    }
    void hide(const RunningApplication& application) override {
        hideRequests << application;
        if (Instance* i = find(application)) i->hidden = true;
    }
    std::unique_ptr<ApplicationWatch> watch() override {
        ++watchCount_;
        return std::make_unique<Watch>(this);
    }

    int watchCount() const { return watchCount_; }
    // Every hide asked for, in order.
    QList<RunningApplication> hideRequests;

    // Already running (no launch is reported).
    void add(const RunningApplication& application, bool hidden = false) {
        instances_ << Instance{application, hidden};
    }
    // Starts an application: it shows its first window.
    void launch(const RunningApplication& application) {
        add(application);
        if (watchCount_ > 0) Q_EMIT launched(application);
    }
    // Brings an application to the front; a hidden one shows again.
    void activate(const RunningApplication& application) {
        if (Instance* i = find(application)) i->hidden = false;
        front_ = application;
        if (watchCount_ > 0) Q_EMIT activated(application);
    }
    // Shows a hidden application's windows again without bringing it to the front.
    void unhide(const RunningApplication& application) {
        if (Instance* i = find(application)) i->hidden = false;
    }
    void quit(const RunningApplication& application) {
        instances_.removeIf([&](const Instance& i) { return i.application == application; });
        if (front_ == application) front_.reset();
    }
    bool hidden(const RunningApplication& application) const { return isHidden(application); }

private:
    class Watch final : public ApplicationWatch {
    public:
        explicit Watch(FakeRunningApplications* owner) : owner_(owner) {}
        ~Watch() override { --owner_->watchCount_; }

    private:
        FakeRunningApplications* owner_;
    };

    Instance* find(const RunningApplication& application) {
        auto it = std::find_if(instances_.begin(), instances_.end(),
                               [&](const Instance& i) { return i.application == application; });
        return it == instances_.end() ? nullptr : &*it;
    }
    const Instance* find(const RunningApplication& application) const {
        return const_cast<FakeRunningApplications*>(this)->find(application);
    }

    QList<Instance> instances_;
    std::optional<RunningApplication> front_;
    int watchCount_ = 0;
};

}  // namespace tw
