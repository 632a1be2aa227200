#include "platform/fake/FakeScheduler.h"

namespace tw {

class FakeCall final : public ScheduledCall {
public:
    explicit FakeCall(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
    ~FakeCall() override { *alive_ = false; }

private:
    std::shared_ptr<bool> alive_;
};

FakeScheduler::~FakeScheduler() = default;

std::unique_ptr<ScheduledCall> FakeScheduler::callAfter(double seconds, std::function<void()> fn) {
    auto alive = std::make_shared<bool>(true);
    const double due = (now_ + std::max(seconds, 0.0)).seconds;
    queue_.emplace(std::make_pair(due, sequence_++), Entry{std::move(fn), alive});
    return std::make_unique<FakeCall>(alive);
}

void FakeScheduler::post(double seconds, std::function<void()> fn) {
    const double due = (now_ + std::max(seconds, 0.0)).seconds;
    queue_.emplace(std::make_pair(due, sequence_++),
                   Entry{std::move(fn), std::make_shared<bool>(true)});
}

void FakeScheduler::advance(double seconds) {
    advanceTo(now_ + seconds);
}

void FakeScheduler::advanceTo(Instant t) {
    while (!queue_.empty() && queue_.begin()->first.first <= t.seconds) {
        auto node = queue_.extract(queue_.begin());
        if (node.key().first > now_.seconds) now_ = Instant{node.key().first};
        if (*node.mapped().alive) node.mapped().fn();
    }
    if (t > now_) now_ = t;
}

Instant FakeScheduler::nextDue() const {
    for (const auto& [key, entry] : queue_) {
        if (*entry.alive) return Instant{key.first};
    }
    return Instant::distantFuture();
}

}  // namespace tw
