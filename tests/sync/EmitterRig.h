#pragma once

#include <QCoreApplication>
#include <QUuid>
#include <memory>
#include <vector>

#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "preferences/AppPreferences.h"
#include "sync/EventEmitter.h"
#include "sync/FakeEventDelivery.h"
#include "sync/NtfyNotifier.h"
#include "sync/RecordingNtfyTransport.h"
#include "sync/SyncTestSupport.h"
#include "timer/TimerModel.h"

namespace tw::test {

// A real timer model on a fake clock, the emitter attached to it, a website run by the test and
// a notifier whose publishes are recorded.
struct EmitterRig {
    ScopedTimeZone zone{"UTC"};
    FakeScheduler clock{at("UTC", 2026, 3, 1, 9, 30)};
    const Instant start = clock.now();
    UserDefaults defaults;
    AppPreferences prefs{defaults};
    TimerModel model{prefs, defaults, clock, nullptr};
    FakeEventDelivery client{clock};
    RecordingNtfyTransport::Log ntfyLog;
    NtfyNotifier ntfy{prefs, clock, std::make_unique<RecordingNtfyTransport>(&ntfyLog)};
    std::unique_ptr<EventEmitter> emitter = std::make_unique<EventEmitter>(&client, &ntfy, clock);
    int idsDrawn = 0;
    std::vector<double> dropsAt;  // seconds after `start`

    explicit EmitterRig(bool attach = true) {
        emitter->setIdSource([this] {
            ++idsDrawn;
            return QUuid::createUuid();
        });
        QObject::connect(emitter.get(), &EventEmitter::droppedChanged,
                         [this] { dropsAt.push_back(clock.now() - start); });
        if (attach) emitter->attach(&model);
    }

    // The next turn of the event loop, where the emitter reads the model.
    static void settle() { QCoreApplication::sendPostedEvents(); }

    double elapsed() const { return clock.now() - start; }
    // Seconds after `start` of every post so far.
    std::vector<double> postTimes() const {
        std::vector<double> out;
        for (const auto& p : client.posts) out.push_back(p.at - start);
        return out;
    }
};

}  // namespace tw::test
