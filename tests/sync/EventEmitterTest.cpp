#include <gtest/gtest.h>

#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "sync/EmitterRig.h"

using tw::CloudError;
using tw::EventEmitter;
using tw::test::EmitterRig;
using Mode = tw::TimerModel::Mode;

namespace {

QString field(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

// Every change of the run state, in the order a day of use makes them, and the event each one
// gives (none for a change of mode alone and for changes that cancel out).
TEST(EventEmitter, EachTransitionGivesItsEvent) {
    EmitterRig rig;
    auto& m = rig.model;
    struct Step {
        const char* what;
        std::function<void()> act;
        QStringList types;  // in order
        QString mode;       // of the last event
    };
    const std::vector<Step> steps = {
        {"start focus from idle", [&] { m.toggle(); }, {"focus_started"}, "focus"},
        {"pause",
         [&] {
             rig.clock.advance(100);
             m.toggle();
         },
         {"focus_paused"},
         "focus"},
        {"resume",
         [&] {
             rig.clock.advance(50);
             m.toggle();
         },
         {"focus_resumed"},
         "focus"},
        {"focus runs out", [&] { rig.clock.advance(1500); }, {"focus_completed"}, "focus"},
        {"start the break", [&] { m.toggle(); }, {"break_started"}, "rest"},
        {"pause the break", [&] { m.toggle(); }, {"focus_paused"}, "rest"},
        {"resume the break", [&] { m.toggle(); }, {"focus_resumed"}, "rest"},
        {"the break runs out", [&] { rig.clock.advance(300); }, {"break_completed"}, "rest"},
        {"change of mode alone", [&] { m.selectMode(Mode::rest); }, {}, ""},
        {"and back", [&] { m.selectMode(Mode::focus); }, {}, ""},
        {"reset a running focus",
         [&] {
             m.toggle();
             rig.settle();
             m.reset("Reset");
         },
         {"focus_started", "session_reset"},
         "focus"},
        {"reset a paused focus",
         [&] {
             m.toggle();
             rig.settle();
             m.toggle();
             rig.settle();
             m.reset("Reset");
         },
         {"focus_started", "focus_paused", "session_reset"},
         "focus"},
        {"reset a running break (the model turns to focus)",
         [&] {
             m.selectMode(Mode::rest);
             m.toggle();
             rig.settle();
             m.reset("Reset");
         },
         {"break_started", "session_reset"},
         "rest"},
        {"skip a running focus",
         [&] {
             m.toggle();
             rig.settle();
             m.skip();
         },
         {"focus_started", "session_reset"},
         "focus"},
        {"undo a reset of a paused break: back to paused",
         [&] {
             m.toggle();
             rig.settle();
             m.toggle();
             rig.settle();
             m.reset("Reset");
             rig.settle();
             m.undo();
         },
         {"break_started", "focus_paused", "session_reset", "focus_resumed"},
         "rest"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        const size_t before = rig.client.posts.size();
        step.act();
        rig.settle();
        rig.client.answerAll();
        QStringList types;
        for (size_t i = before; i < rig.client.posts.size(); ++i) {
            types.append(field(rig.client.posts[i].event, "type"));
        }
        EXPECT_EQ(types, step.types);
        if (!step.types.isEmpty()) {
            EXPECT_EQ(field(rig.client.posts.back().event, "mode"), step.mode);
        }
    }
    EXPECT_EQ(rig.emitter->delivered(), qint64(rig.client.posts.size()));
    EXPECT_EQ(rig.emitter->dropped(), 0);
    EXPECT_EQ(rig.emitter->queueLength(), 0);
}

TEST(EventEmitter, EventCarriesThePhaseOnTheWireForm) {
    EmitterRig rig;
    rig.client.clockOffset = 7.6;  // the website's clock runs ahead; fractions are cut
    rig.clock.advance(0.9);
    rig.model.toggle();
    rig.settle();
    ASSERT_EQ(rig.client.posts.size(), 1u);
    const QJsonObject e = rig.client.posts[0].event;
    EXPECT_EQ(e.keys(),
              (QStringList{"durationSec", "endsAt", "id", "mode", "sentAt", "startedAt", "type"}));
    static const QRegularExpression upperUuid(
        "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    EXPECT_TRUE(upperUuid.match(field(e, "id")).hasMatch()) << field(e, "id").toStdString();
    EXPECT_EQ(field(e, "type"), "focus_started");
    EXPECT_EQ(field(e, "mode"), "focus");
    EXPECT_EQ(field(e, "startedAt"), "2026-03-01T09:30:00Z");
    EXPECT_EQ(field(e, "endsAt"), "2026-03-01T09:55:00Z");
    EXPECT_TRUE(e.value("durationSec").isDouble());
    EXPECT_EQ(e.value("durationSec").toInteger(), 1500);
    EXPECT_EQ(field(e, "sentAt"), "2026-03-01T09:30:08Z");
    EXPECT_EQ(rig.idsDrawn, 1);
}

// The completion names the phase that ran out, not the mode the model has turned to, and keeps
// the phase's start, planned end and length.
TEST(EventEmitter, CompletionCarriesTheCompletedPhase) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer();
    rig.clock.advance(1500);
    rig.settle();
    ASSERT_EQ(rig.client.types(), (QStringList{"focus_started", "focus_completed"}));
    EXPECT_EQ(rig.model.mode(), Mode::rest);
    const QJsonObject e = rig.client.posts[1].event;
    EXPECT_EQ(field(e, "mode"), "focus");
    EXPECT_EQ(field(e, "startedAt"), "2026-03-01T09:30:00Z");
    EXPECT_EQ(field(e, "endsAt"), "2026-03-01T09:55:00Z");
    EXPECT_EQ(e.value("durationSec").toInteger(), 1500);
    EXPECT_EQ(field(e, "sentAt"), "2026-03-01T09:55:00Z");
}

TEST(EventEmitter, AddedTimeReachesTheCompletion) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer();
    rig.clock.advance(60);
    rig.model.setFocusMinutes(40);  // the running phase grows to 40 minutes
    rig.settle();
    rig.clock.advance(2400 - 60);
    rig.settle();
    ASSERT_EQ(rig.client.types(), (QStringList{"focus_started", "focus_completed"}));
    const QJsonObject e = rig.client.posts[1].event;
    EXPECT_EQ(e.value("durationSec").toInteger(), 2400);
    EXPECT_EQ(field(e, "startedAt"), "2026-03-01T09:30:00Z");
    EXPECT_EQ(field(e, "endsAt"), "2026-03-01T10:10:00Z");
}

TEST(EventEmitter, ChangesThatCancelOutBeforeTheNextTurnMakeNoEvent) {
    EmitterRig rig;
    rig.model.toggle();  // idle → running → idle
    rig.model.reset("Reset");
    rig.settle();
    EXPECT_TRUE(rig.client.posts.empty());

    rig.model.toggle();
    rig.settle();
    rig.model.reset("Reset");  // running → idle → running
    rig.model.toggle();
    rig.settle();
    EXPECT_EQ(rig.client.types(), QStringList{"focus_started"});
    rig.client.answer();

    rig.model.toggle();  // the emitter still knows the phase is running
    rig.settle();
    EXPECT_EQ(rig.client.types(), (QStringList{"focus_started", "focus_paused"}));
    EXPECT_EQ(rig.idsDrawn, 2);
}

TEST(EventEmitter, TheStateAtAttachingIsNoChange) {
    EmitterRig rig(false);
    rig.model.toggle();
    rig.settle();
    rig.emitter->attach(&rig.model);
    rig.settle();
    EXPECT_TRUE(rig.client.posts.empty());
    rig.model.toggle();
    rig.settle();
    EXPECT_EQ(rig.client.types(), QStringList{"focus_paused"});
}

TEST(EventEmitter, WithoutARecipientNoEventIsMadeAndNoIdDrawn) {
    EmitterRig rig;
    rig.client.isConnected = false;
    rig.model.toggle();
    rig.settle();
    rig.model.toggle();
    rig.settle();
    EXPECT_EQ(rig.idsDrawn, 0);
    EXPECT_TRUE(rig.client.posts.empty());
    EXPECT_TRUE(rig.ntfyLog.sent.empty());

    rig.ntfy.setEnabled(true);
    rig.model.reset("Reset");
    rig.settle();
    rig.model.toggle();
    rig.settle();
    EXPECT_EQ(rig.idsDrawn, 2);  // the reset and the start, for the notifier only
    EXPECT_TRUE(rig.client.posts.empty());
    ASSERT_EQ(rig.ntfyLog.sent.size(), 1u);
    EXPECT_EQ(rig.ntfyLog.sent[0].body.value("title").toString(), "Focus started");
}

// The website gets the events while this computer is connected and a phone may be paired: before
// the device list is known, or when it holds an iOS or Android device.
TEST(EventEmitter, RoutesByConnectionAndPairedPhones) {
    struct Case {
        bool connected;
        bool devicesKnown;
        QStringList platforms;
        bool ntfyOn;
        bool website;
        bool phoneAlert;
    };
    const std::vector<Case> cases = {
        {true, false, {}, false, true, false},
        {true, true, {"ios"}, false, true, false},
        {true, true, {"macos", "android"}, true, true, true},
        {true, true, {"macos", "linux"}, true, false, true},
        {true, true, {}, true, false, true},
        {true, true, {"linux"}, false, false, false},
        {false, false, {}, true, false, true},
        {false, true, {"ios"}, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.platforms.join(',').toStdString() + (c.connected ? " connected" : "") +
                     (c.devicesKnown ? " known" : "") + (c.ntfyOn ? " ntfy" : ""));
        EmitterRig rig;
        rig.client.isConnected = c.connected;
        rig.client.devicesKnown = c.devicesKnown;
        rig.client.platforms = c.platforms;
        rig.ntfy.setEnabled(c.ntfyOn);
        rig.model.toggle();
        rig.settle();
        EXPECT_EQ(rig.client.posts.size(), c.website ? 1u : 0u);
        EXPECT_EQ(rig.ntfyLog.sent.size(), c.phoneAlert ? 1u : 0u);
        EXPECT_EQ(rig.idsDrawn, c.website || c.ntfyOn ? 1 : 0);
    }
}

// A failure worth another try is retried after 2, 4, 8, 16, 30, 30 … seconds, or after the
// website's Retry-After, until the event is 120 seconds old; then it is dropped unsent.
TEST(EventEmitter, RetriesWithGrowingWaitsWithinTheWindow) {
    const auto http = [](int status, std::optional<double> after = std::nullopt) {
        return CloudError::http(status, CloudError::ServerFailure{{}, {}, after});
    };
    const std::vector<double> standard = {0, 2, 6, 14, 30, 60, 90};
    struct Case {
        const char* what;
        std::function<CloudError(int attempt)> failure;
        std::vector<double> posts;
        double droppedAt;
    };
    const std::vector<Case> cases = {
        {"unreachable", [](int) { return CloudError::of(CloudError::Kind::unreachable); }, standard,
         120},
        {"no network", [](int) { return CloudError::transportFailure("Connection refused"); },
         standard, 120},
        {"500", [&](int) { return http(500); }, standard, 120},
        {"503", [&](int) { return http(503); }, standard, 120},
        {"429 without Retry-After", [&](int) { return http(429); }, standard, 120},
        {"429 with Retry-After 10, then unreachable",
         [&](int attempt) {
             return attempt == 0 ? http(429, 10) : CloudError::of(CloudError::Kind::unreachable);
         },
         {0, 10, 14, 22, 38, 68, 98},
         128},
        {"503 with Retry-After 45, then 500",
         [&](int attempt) { return attempt == 0 ? http(503, 45) : http(500); },
         {0, 45, 49, 57, 73, 103},
         133},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EmitterRig rig;
        rig.model.toggle();
        rig.settle();
        int attempt = 0;
        while (rig.elapsed() < 200) {
            while (!rig.client.unanswered.empty()) rig.client.answer(c.failure(attempt++));
            rig.clock.advance(1);
        }
        EXPECT_EQ(rig.postTimes(), c.posts);
        EXPECT_EQ(rig.dropsAt, std::vector<double>{c.droppedAt});
        EXPECT_EQ(rig.emitter->delivered(), 0);
        EXPECT_EQ(rig.emitter->queueLength(), 0);
    }
}

TEST(EventEmitter, ARetryThatSucceedsCountsAsDelivered) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer(CloudError::transportFailure("Operation timed out"));
    rig.clock.advance(2);
    ASSERT_EQ(rig.client.posts.size(), 2u);
    EXPECT_EQ(rig.client.posts[1].event, rig.client.posts[0].event);  // the same event again
    rig.client.answer();
    EXPECT_EQ(rig.emitter->delivered(), 1);
    EXPECT_EQ(rig.emitter->dropped(), 0);
}

// Failures no wait can mend drop the event at once, and the next one is sent.
TEST(EventEmitter, HopelessFailuresDropAtOnceAndTheNextIsSent) {
    const std::vector<std::pair<const char*, CloudError>> cases = {
        {"400", CloudError::http(400, {})},
        {"404", CloudError::http(404, {})},
        {"409", CloudError::http(409, {})},
        {"302", CloudError::http(302, {})},
        {"401", CloudError::of(CloudError::Kind::unauthorized)},
        {"not connected", CloudError::of(CloudError::Kind::notConnected)},
        {"not configured", CloudError::of(CloudError::Kind::notConfigured)},
        {"insecure link", CloudError::of(CloudError::Kind::insecureLink)},
    };
    for (const auto& [what, failure] : cases) {
        SCOPED_TRACE(what);
        EmitterRig rig;
        rig.model.toggle();
        rig.settle();
        rig.clock.advance(1);
        rig.model.toggle();  // paused while the start is in flight
        rig.settle();
        ASSERT_EQ(rig.client.posts.size(), 1u);
        EXPECT_EQ(rig.emitter->queueLength(), 2);
        rig.client.answer(failure);
        EXPECT_EQ(rig.dropsAt, std::vector<double>{1});
        EXPECT_EQ(rig.client.types(), (QStringList{"focus_started", "focus_paused"}));
        EXPECT_EQ(rig.postTimes(), (std::vector<double>{0, 1}));
        rig.client.answer();
        EXPECT_EQ(rig.emitter->delivered(), 1);
        EXPECT_EQ(rig.emitter->queueLength(), 0);
    }
}

// Events wait behind a failing one; one that has waited past the window goes unsent.
TEST(EventEmitter, EventsWaitingPastTheWindowAreDroppedUnsent) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer(CloudError::http(503, CloudError::ServerFailure{{}, {}, 130.0}));
    rig.clock.advance(5);
    rig.model.toggle();  // focus_paused waits behind focus_started
    rig.settle();
    rig.clock.advance(200);
    EXPECT_EQ(rig.client.types(), QStringList{"focus_started"});
    EXPECT_EQ(rig.dropsAt, (std::vector<double>{130, 130}));
    EXPECT_EQ(rig.emitter->queueLength(), 0);

    rig.model.toggle();  // later events go out again
    rig.settle();
    EXPECT_EQ(rig.client.types(), (QStringList{"focus_started", "focus_resumed"}));
}

TEST(EventEmitter, AgeIsMeasuredOnTheWebsitesClock) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer(CloudError::of(CloudError::Kind::unreachable));
    rig.client.clockOffset = 119;  // the website's clock jumps ahead (a learned offset)
    rig.clock.advance(2);
    EXPECT_EQ(rig.client.posts.size(), 1u);
    EXPECT_EQ(rig.dropsAt, std::vector<double>{2});
}

TEST(EventEmitter, AnEmitterThatGoesAwayStopsQuietly) {
    EmitterRig rig;
    rig.model.toggle();
    rig.settle();
    rig.client.answer(CloudError::of(CloudError::Kind::unreachable));
    rig.model.toggle();
    rig.emitter.reset();  // with a retry waiting and a run-state change on its way
    rig.settle();
    rig.clock.advance(60);
    EXPECT_EQ(rig.client.posts.size(), 1u);

    EmitterRig second;
    second.model.toggle();
    second.settle();
    second.emitter.reset();  // with the post in flight
    second.client.answer();
    EXPECT_EQ(second.client.posts.size(), 1u);
}

}  // namespace
