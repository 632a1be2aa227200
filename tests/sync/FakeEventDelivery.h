#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Scheduler.h"
#include "sync/EventDelivery.h"

namespace tw::test {

// The website as the emitter sees it, run by the test: connection, paired devices and clock
// offset are set directly, every posted event is kept, and the test answers the posts in order.
class FakeEventDelivery final : public EventDelivery {
public:
    using Done = std::function<void(std::optional<CloudError>)>;
    struct Post {
        QJsonObject event;
        Instant at;  // local clock
    };

    explicit FakeEventDelivery(Scheduler& clock) : clock_(clock) {}

    bool isConnected = true;
    bool devicesKnown = false;  // the device list was fetched
    QStringList platforms;      // of the paired devices, once known
    double clockOffset = 0;     // the website's clock ahead of ours

    std::vector<Post> posts;
    std::deque<Done> unanswered;

    bool connected() const override { return isConnected; }
    bool hasPhone() const override {
        return !devicesKnown || platforms.contains(QStringLiteral("ios")) ||
               platforms.contains(QStringLiteral("android"));
    }
    Instant serverNow() const override { return clock_.now() + clockOffset; }
    void postEvent(const QByteArray& eventJson, Done done) override {
        posts.push_back(Post{QJsonDocument::fromJson(eventJson).object(), clock_.now()});
        unanswered.push_back(std::move(done));
    }

    // Answers the oldest open post: none for success.
    void answer(std::optional<CloudError> error = std::nullopt) {
        if (unanswered.empty()) return;
        Done done = std::move(unanswered.front());
        unanswered.pop_front();
        done(std::move(error));
    }
    void answerAll() {
        while (!unanswered.empty()) answer();
    }

    QStringList types() const {
        QStringList out;
        for (const auto& p : posts) out.append(p.event.value(QStringLiteral("type")).toString());
        return out;
    }

private:
    Scheduler& clock_;
};

}  // namespace tw::test
