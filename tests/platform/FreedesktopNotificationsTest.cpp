// The desktop notifications against a real D-Bus daemon: a private daemon stands in for the
// session bus, with a stand-in notification server registered on it from this process (the
// notifications never wait for an answer, so the server may share the main thread).
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QStringList>
#include <QVariantMap>
#include <optional>

#include "common/PrivateBus.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "preferences/AppPreferences.h"
#include "shell/PhaseEndNotifier.h"
#include "timer/TimerModel.h"

using tw::FreedesktopNotifications;
using tw::NotificationError;
using tw::NotificationRequest;
using tw::NotificationResult;
using tw::test::PrivateBus;
using tw::test::waitUntil;

namespace {

const QString kService = QLatin1String(FreedesktopNotifications::kService);
const QString kPath = QLatin1String(FreedesktopNotifications::kPath);
const QString kInterface = QLatin1String(FreedesktopNotifications::kInterface);

}  // namespace

// The notification server as far as Notify goes: it records each call and answers with the
// replaced notification's id, or a new one.
class StandInNotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call {
        QString appName;
        uint replacesID = 0;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        int expireTimeout = 0;
    };
    QList<Call> calls;
    uint nextID = 41;

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesID, const QString& icon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout) {
        calls.append({appName, replacesID, icon, summary, body, actions, hints, expireTimeout});
        return replacesID != 0 ? replacesID : nextID++;
    }
    QStringList GetCapabilities() { return {QStringLiteral("actions"), QStringLiteral("body")}; }
    void CloseNotification(uint) {}
};

namespace {

class FreedesktopNotificationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        serverBus = bus.connect(QStringLiteral("notification-server"));
        clientBus = bus.connect(QStringLiteral("notification-client"));
        ASSERT_TRUE(serverBus.isConnected() && clientBus.isConnected());
    }

    void offerServer() {
        ASSERT_TRUE(serverBus.registerObject(kPath, &server, QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(serverBus.registerService(kService));
    }

    // Sends and waits for the answer, which never comes from inside the call.
    NotificationResult sendAndWait(tw::Notifications& notifications,
                                   const NotificationRequest& request) {
        std::optional<NotificationResult> answer;
        notifications.send(request, [&](const NotificationResult& r) { answer = r; });
        EXPECT_FALSE(answer) << "answered from inside send";
        EXPECT_TRUE(waitUntil([&] { return answer.has_value(); }));
        return answer.value_or(NotificationResult::failure(NotificationError::failed()));
    }

    void emitSignal(const QString& name, const QVariantList& args) {
        QDBusMessage message = QDBusMessage::createSignal(kPath, kInterface, name);
        message.setArguments(args);
        ASSERT_TRUE(serverBus.send(message));
    }

    PrivateBus bus;
    QDBusConnection serverBus{QString()};
    QDBusConnection clientBus{QString()};
    StandInNotificationServer server;
};

TEST_F(FreedesktopNotificationsTest, NotifyCarriesTheRequest) {
    offerServer();
    FreedesktopNotifications notifications(clientBus);
    NotificationRequest request;
    request.appName = QStringLiteral("Tarnwhistle");
    request.icon = QStringLiteral("dev.tarnwhistle.app");
    request.summary = QStringLiteral("Focus complete");
    request.body = QString::fromUtf8("25 min focused · 2-day streak");
    request.actions = {{QStringLiteral("start"), QStringLiteral("Start break")},
                       {QStringLiteral("later"), QStringLiteral("Later")}};
    request.desktopEntry = QStringLiteral("dev.tarnwhistle.app");
    request.category = QStringLiteral("x-tarnwhistle.phase");

    const NotificationResult first = sendAndWait(notifications, request);
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first.id, 41u);
    request.replacesID = *first.id;
    request.actions.clear();
    request.desktopEntry.clear();
    request.category.clear();
    const NotificationResult second = sendAndWait(notifications, request);
    EXPECT_EQ(second.id, first.id);

    ASSERT_EQ(server.calls.size(), 2);
    const auto& call = server.calls[0];
    EXPECT_EQ(call.appName, "Tarnwhistle");
    EXPECT_EQ(call.replacesID, 0u);
    EXPECT_EQ(call.icon, "dev.tarnwhistle.app");
    EXPECT_EQ(call.summary, "Focus complete");
    EXPECT_EQ(call.body, QString::fromUtf8("25 min focused · 2-day streak"));
    EXPECT_EQ(call.actions, (QStringList{"start", "Start break", "later", "Later"}));
    EXPECT_EQ(call.hints, (QVariantMap{{"desktop-entry", QStringLiteral("dev.tarnwhistle.app")},
                                       {"category", QStringLiteral("x-tarnwhistle.phase")}}));
    EXPECT_EQ(call.expireTimeout, -1);  // the desktop's own display time
    EXPECT_EQ(server.calls[1].replacesID, 41u);
    EXPECT_TRUE(server.calls[1].actions.isEmpty());
    EXPECT_TRUE(server.calls[1].hints.isEmpty());
}

TEST_F(FreedesktopNotificationsTest, OnlyItsOwnNotificationsAreReportedUntilClosed) {
    offerServer();
    FreedesktopNotifications notifications(clientBus);
    QSignalSpy actions(&notifications, &tw::Notifications::actionInvoked);
    QSignalSpy closed(&notifications, &tw::Notifications::closed);
    NotificationRequest request;
    request.summary = QStringLiteral("Break over");
    ASSERT_EQ(sendAndWait(notifications, request).id, 41u);
    ASSERT_EQ(sendAndWait(notifications, request).id, 42u);

    emitSignal(QStringLiteral("ActionInvoked"), {7u, QStringLiteral("another application's")});
    emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("start")});
    emitSignal(QStringLiteral("NotificationClosed"), {41u, 2u});
    emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("after closing")});
    emitSignal(QStringLiteral("NotificationClosed"), {7u, 1u});
    emitSignal(QStringLiteral("NotificationClosed"), {42u, 1u});
    ASSERT_TRUE(waitUntil([&] { return closed.size() == 2; }));

    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0], (QVariantList{41u, QStringLiteral("start")}));
    EXPECT_EQ(closed[0], QVariantList{41u});
    EXPECT_EQ(closed[1], QVariantList{42u});
}

TEST_F(FreedesktopNotificationsTest, WithoutAServiceTheAnswerIsUnavailable) {
    const struct {
        const char* name;
        QDBusConnection bus;
    } cases[] = {
        {"a bus without the service", clientBus},
        {"no bus at all", QDBusConnection(QStringLiteral("no-bus"))},
    };
    for (const auto& c : cases) {
        FreedesktopNotifications notifications(c.bus);
        const NotificationResult result = sendAndWait(notifications, NotificationRequest{});
        EXPECT_FALSE(result.ok()) << c.name;
        EXPECT_EQ(result.error.kind, NotificationError::Kind::unavailable) << c.name;
    }
}

TEST_F(FreedesktopNotificationsTest, TheServersActionStartsTheBreak) {
    using Mode = tw::TimerModel::Mode;
    tw::test::ScopedTimeZone zone("UTC");
    tw::FakeScheduler clock(tw::test::at("UTC", 2025, 3, 7, 10, 0));
    tw::UserDefaults defaults;
    tw::AppPreferences prefs(defaults);
    tw::TimerModel model(prefs, defaults, clock, nullptr);
    FreedesktopNotifications notifications(clientBus);
    tw::PhaseEndNotifier notifier(model, prefs, notifications);
    // The service appears after the program started, as one the bus starts on demand does.
    offerServer();

    model.toggle();
    clock.advance(1500);
    ASSERT_TRUE(waitUntil([&] { return notifier.currentID().has_value(); }));
    ASSERT_EQ(server.calls.size(), 1);
    EXPECT_EQ(server.calls[0].summary, "Focus complete");
    EXPECT_EQ(server.calls[0].body, "25 min focused");
    EXPECT_EQ(server.calls[0].actions, (QStringList{"start-next-phase", "Start break"}));
    EXPECT_EQ(model.runState(), tw::TimerModel::RunState::idle);

    emitSignal(QStringLiteral("ActionInvoked"), {*notifier.currentID(), "start-next-phase"});
    ASSERT_TRUE(waitUntil([&] { return model.runState() == tw::TimerModel::RunState::running; }));
    EXPECT_EQ(model.mode(), Mode::rest);
}

}  // namespace

#include "FreedesktopNotificationsTest.moc"
