#include "platform/PointerMonitor.h"

#include <vector>

namespace tw {

class PointerMonitor::Token final : public PointerWatch {
public:
    Token(PointerMonitor* monitor, quint64 id, std::weak_ptr<bool> alive)
        : monitor_(monitor), id_(id), alive_(std::move(alive)) {}
    ~Token() override {
        if (!alive_.expired()) monitor_->remove(id_);
    }

private:
    PointerMonitor* monitor_;
    quint64 id_;
    std::weak_ptr<bool> alive_;
};

PointerMonitor::PointerMonitor(QObject* parent) : QObject(parent) {}

PointerMonitor::~PointerMonitor() {
    alive_.reset();
}

std::unique_ptr<PointerWatch> PointerMonitor::watch(unsigned mask, Handler handler) {
    if (!canWatch() || mask == 0 || !handler) return nullptr;
    const unsigned before = watchedMask();
    const quint64 id = nextId_++;
    watches_[id] = Entry{mask, std::make_shared<Handler>(std::move(handler))};
    const unsigned after = watchedMask();
    if (after != before) watchedMaskChanged(after);
    return std::make_unique<Token>(this, id, alive_);
}

unsigned PointerMonitor::watchedMask() const {
    unsigned mask = 0;
    for (const auto& [id, entry] : watches_) mask |= entry.mask;
    return mask;
}

void PointerMonitor::remove(quint64 id) {
    const unsigned before = watchedMask();
    watches_.erase(id);
    const unsigned after = watchedMask();
    if (after != before) watchedMaskChanged(after);
}

void PointerMonitor::deliver(const PointerEvent& event) {
    unsigned bit = pointermask::moved;
    if (event.type == PointerEvent::Type::leftDown) bit = pointermask::leftDown;
    if (event.type == PointerEvent::Type::rightDown) bit = pointermask::rightDown;
    // A handler may add or remove watches (its own included) while events are delivered: take
    // the handlers first and skip those removed on the way.
    std::vector<std::pair<quint64, std::weak_ptr<Handler>>> targets;
    for (const auto& [id, entry] : watches_) {
        if (entry.mask & bit) targets.emplace_back(id, entry.handler);
    }
    const std::weak_ptr<bool> alive = alive_;
    for (const auto& [id, weak] : targets) {
        if (alive.expired()) return;
        if (auto handler = weak.lock()) (*handler)(event);
    }
}

}  // namespace tw
