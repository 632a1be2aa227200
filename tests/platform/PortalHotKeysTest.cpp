// The portal hot keys against a real D-Bus daemon: a private daemon stands in for the session
// bus, with a fake desktop portal registered on it from a thread of this process (the
// availability check waits for its answer while the main thread is blocked).
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

#include "common/PrivateBus.h"
#include "common/TestSupport.h"
#include "platform/linux/PortalHotKeys.h"
#include "preferences/PreferenceTypes.h"

using tw::HotKeyError;
using tw::HotKeyID;
using tw::HotKeyRef;
using tw::PortalHotKeys;
using tw::test::waitUntil;

namespace {

using tw::test::PrivateBus;

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// A shortcut as the portal's lists carry it, a(sa{sv}).
struct FakeShortcut {
    QString id;
    QVariantMap properties;
};

}  // namespace

Q_DECLARE_METATYPE(FakeShortcut)

namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const FakeShortcut& s) {
    argument.beginStructure();
    argument << s.id << s.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, FakeShortcut& s) {
    argument.beginStructure();
    argument >> s.id >> s.properties;
    argument.endStructure();
    return argument;
}

QString senderPart(const QString& uniqueName) {
    QString s = uniqueName.mid(1);
    return s.replace(QLatin1Char('.'), QLatin1Char('_'));
}

// The desktop portal as far as global shortcuts go: the interface's version, sessions answered
// through their request's Response, a bind that grants every shortcut but the refused ones.
class FakePortal : public QDBusVirtualObject {
public:
    struct Bind {
        QString session;
        QList<FakeShortcut> shortcuts;
    };

    bool offerShortcuts = true;
    QSet<QString> refuse;

    QList<Bind> binds() const {
        QMutexLocker lock(&mutex_);
        return binds_;
    }
    QStringList sessions() const {
        QMutexLocker lock(&mutex_);
        return sessions_;
    }
    QStringList closed() const {
        QMutexLocker lock(&mutex_);
        return closed_;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        const QString member = message.member();
        const QVariantList args = message.arguments();
        if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") &&
            member == QLatin1String("Get")) {
            if (offerShortcuts && args.value(0).toString() == kInterface &&
                args.value(1).toString() == QLatin1String("version")) {
                connection.send(message.createReply(QVariant::fromValue(QDBusVariant(2u))));
            } else {
                connection.send(message.createErrorReply(
                    QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs"),
                    QStringLiteral("No such interface")));
            }
            return true;
        }
        if (message.interface() == QLatin1String("org.freedesktop.portal.Session") &&
            member == QLatin1String("Close")) {
            QMutexLocker lock(&mutex_);
            closed_.append(message.path());
            connection.send(message.createReply());
            return true;
        }
        if (message.interface() != kInterface || message.path() != kPath) return false;
        const QString sender = senderPart(message.service());
        if (member == QLatin1String("CreateSession")) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
            const QString request = kPath + "/request/" + sender + "/" +
                                    options.value(QStringLiteral("handle_token")).toString();
            const QString session =
                kPath + "/session/" + sender + "/" +
                options.value(QStringLiteral("session_handle_token")).toString();
            {
                QMutexLocker lock(&mutex_);
                sessions_.append(session);
            }
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            respond(connection, request, {{QStringLiteral("session_handle"), session}});
            return true;
        }
        if (member == QLatin1String("BindShortcuts")) {
            Bind bind;
            bind.session = args.value(0).value<QDBusObjectPath>().path();
            bind.shortcuts = qdbus_cast<QList<FakeShortcut>>(args.value(1));
            const QVariantMap options = qdbus_cast<QVariantMap>(args.value(3));
            const QString request = kPath + "/request/" + sender + "/" +
                                    options.value(QStringLiteral("handle_token")).toString();
            QList<FakeShortcut> granted;
            for (const FakeShortcut& s : std::as_const(bind.shortcuts)) {
                if (refuse.contains(s.id)) continue;
                granted.append({s.id,
                                {{QStringLiteral("description"),
                                  s.properties.value(QStringLiteral("description"))},
                                 {QStringLiteral("trigger_description"),
                                  s.properties.value(QStringLiteral("preferred_trigger"))}}});
            }
            {
                QMutexLocker lock(&mutex_);
                binds_.append(bind);
            }
            connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
            respond(connection, request,
                    {{QStringLiteral("shortcuts"), QVariant::fromValue(granted)}});
            return true;
        }
        return false;
    }

private:
    static void respond(const QDBusConnection& connection, const QString& request,
                        const QVariantMap& results) {
        QDBusMessage response = QDBusMessage::createSignal(
            request, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0u << results;
        connection.send(response);
    }

    mutable QMutex mutex_;
    QList<Bind> binds_;
    QStringList sessions_;
    QStringList closed_;
};

constexpr quint32 kSpace = 49, kDown = 125, kP = 35, kF5 = 96;
constexpr quint32 kCtrlAlt = tw::modifier::control | tw::modifier::option;

class PortalHotKeysTest : public ::testing::Test {
protected:
    void SetUp() override {
        qDBusRegisterMetaType<FakeShortcut>();
        qDBusRegisterMetaType<QList<FakeShortcut>>();
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
        portalBus = bus.connect(QStringLiteral("fake-portal"));
        ASSERT_TRUE(portalBus.isConnected());
        thread.start();
        options.bus = bus.connect(QStringLiteral("portal-client"));
        options.describe = [](const HotKeyID& id) {
            static const char* names[] = {"", "startPause", "showIsland", "toggleStyle"};
            if (id.id < 1 || id.id > 3) return PortalHotKeys::ShortcutInfo{};
            return PortalHotKeys::ShortcutInfo{QString::fromLatin1(names[id.id]),
                                               QStringLiteral("Action %1").arg(id.id)};
        };
    }
    void TearDown() override {
        hotKeys.reset();
        portalBus.unregisterObject(kPath);
        thread.quit();
        thread.wait();
    }

    void offerPortal() {
        ASSERT_TRUE(portalBus.registerVirtualObject(kPath, &portal, QDBusConnection::SubPath));
        // Registering makes a helper child of the object, which moves with it.
        portal.moveToThread(&thread);
        ASSERT_TRUE(portalBus.registerService(kService));
    }

    // Registers the three actions' combinations and waits for the portal's answer.
    void registerThree() {
        if (!hotKeys) hotKeys = PortalHotKeys::create(options);
        ASSERT_TRUE(hotKeys);
        for (quint32 n = 1; n <= 3; ++n) {
            const quint32 keys[] = {0, kSpace, kDown, kP};
            const quint32 modifiers[] = {0, kCtrlAlt, tw::modifier::option, kCtrlAlt};
            const auto result =
                hotKeys->registerHotKey(keys[n], modifiers[n], HotKeyID{tw::kHotKeySignature, n});
            ASSERT_TRUE(result.ok());
            refs.append(*result.ref);
        }
        ASSERT_TRUE(waitUntil([&] { return hotKeys->isSettled(); }));
    }

    void activate(const QString& session, const QString& shortcut) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kInterface, QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << shortcut << qulonglong(1234)
               << QVariantMap();
        ASSERT_TRUE(portalBus.send(signal));
    }

    PrivateBus bus;
    QDBusConnection portalBus{QString()};
    FakePortal portal;
    QThread thread;
    PortalHotKeys::Options options;
    std::unique_ptr<PortalHotKeys> hotKeys;
    QList<HotKeyRef> refs;
};

}  // namespace

TEST_F(PortalHotKeysTest, NotOfferedWithoutThePortalOrItsInterface) {
    EXPECT_EQ(PortalHotKeys::create(options), nullptr);
    portal.offerShortcuts = false;
    offerPortal();
    EXPECT_EQ(PortalHotKeys::create(options), nullptr);
}

TEST_F(PortalHotKeysTest, TriggersUseTheKeysymNames) {
    using tw::modifier::command;
    using tw::modifier::shift;
    EXPECT_EQ(PortalHotKeys::trigger(kSpace, kCtrlAlt), "CTRL+ALT+space");
    EXPECT_EQ(PortalHotKeys::trigger(kF5, command | shift), "SHIFT+LOGO+F5");
    EXPECT_EQ(PortalHotKeys::trigger(kDown, tw::modifier::option), "ALT+Down");
    EXPECT_EQ(PortalHotKeys::trigger(27, tw::modifier::control), "CTRL+minus");
    EXPECT_EQ(PortalHotKeys::trigger(10, tw::modifier::control), "");  // not in the key table

    offerPortal();
    hotKeys = PortalHotKeys::create(options);
    ASSERT_TRUE(hotKeys);
    const HotKeyID id{tw::kHotKeySignature, 1};
    EXPECT_EQ(hotKeys->registerHotKey(10, kCtrlAlt, id).error, HotKeyError::invalidCombination());
    EXPECT_EQ(hotKeys->registerHotKey(kSpace, kCtrlAlt | 1, id).error,
              HotKeyError::invalidCombination());
}

TEST_F(PortalHotKeysTest, BindsTheCombinationsOfOneTurnInOneSession) {
    offerPortal();
    ASSERT_NO_FATAL_FAILURE(registerThree());
    EXPECT_EQ(hotKeys->portalVersion(), 2u);
    ASSERT_EQ(portal.sessions().size(), 1);
    const auto binds = portal.binds();
    ASSERT_EQ(binds.size(), 1);
    EXPECT_EQ(binds[0].session, portal.sessions()[0]);
    const QList<FakeShortcut>& sent = binds[0].shortcuts;
    ASSERT_EQ(sent.size(), 3);
    const QStringList ids = {"startPause", "showIsland", "toggleStyle"};
    const QStringList triggers = {"CTRL+ALT+space", "ALT+Down", "CTRL+ALT+p"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i].id, ids[i]);
        EXPECT_EQ(sent[i].properties.value("preferred_trigger").toString(), triggers[i]);
        EXPECT_EQ(sent[i].properties.value("description").toString(),
                  QStringLiteral("Action %1").arg(i + 1));
    }
    for (HotKeyRef ref : std::as_const(refs)) EXPECT_TRUE(hotKeys->isRegistered(ref));

    // Releasing one binds the rest in a new session and closes the old one.
    hotKeys->unregisterHotKey(refs[1]);
    ASSERT_TRUE(waitUntil([&] { return hotKeys->isSettled() && portal.binds().size() == 2; }));
    EXPECT_EQ(portal.closed(), QStringList{portal.sessions()[0]});
    const auto rebound = portal.binds()[1];
    EXPECT_EQ(rebound.session, portal.sessions()[1]);
    ASSERT_EQ(rebound.shortcuts.size(), 2);
    EXPECT_EQ(rebound.shortcuts[0].id, "startPause");
    EXPECT_EQ(rebound.shortcuts[1].id, "toggleStyle");
}

TEST_F(PortalHotKeysTest, ActivationReachesTheHandlerOfItsCombination) {
    offerPortal();
    ASSERT_NO_FATAL_FAILURE(registerThree());
    QList<quint32> pressed;
    ASSERT_TRUE(hotKeys
                    ->installHandler([&](const HotKeyID& id) {
                        pressed.append(id.id);
                        return true;
                    })
                    .ok());
    const QString session = portal.sessions().value(0);
    // Another session's shortcut of the same name is not ours.
    activate(kPath + "/session/other/x", "showIsland");
    activate(session, "showIsland");
    ASSERT_TRUE(waitUntil([&] { return !pressed.isEmpty(); }));
    activate(session, "toggleStyle");
    ASSERT_TRUE(waitUntil([&] { return pressed.size() == 2; }));
    EXPECT_EQ(pressed, (QList<quint32>{2, 3}));
}

TEST_F(PortalHotKeysTest, ARefusedBindingIsReportedAndDropped) {
    portal.refuse = {"showIsland"};
    offerPortal();
    hotKeys = PortalHotKeys::create(options);
    ASSERT_TRUE(hotKeys);
    QSignalSpy failed(hotKeys.get(), &PortalHotKeys::registrationFailed);
    QList<quint32> pressed;
    ASSERT_TRUE(hotKeys
                    ->installHandler([&](const HotKeyID& id) {
                        pressed.append(id.id);
                        return true;
                    })
                    .ok());
    ASSERT_NO_FATAL_FAILURE(registerThree());
    ASSERT_EQ(failed.count(), 1);
    EXPECT_EQ(failed[0][0].value<HotKeyRef>(), refs[1]);
    EXPECT_EQ(failed[0][1].value<HotKeyID>().id, 2u);
    EXPECT_EQ(failed[0][2].value<HotKeyError>().kind, HotKeyError::Kind::refused);
    EXPECT_TRUE(hotKeys->isRegistered(refs[0]));
    EXPECT_FALSE(hotKeys->isRegistered(refs[1]));
    EXPECT_TRUE(hotKeys->isRegistered(refs[2]));
    // Releasing the dropped one changes nothing on the portal.
    hotKeys->unregisterHotKey(refs[1]);
    EXPECT_TRUE(hotKeys->isSettled());

    const QString session = portal.sessions().value(0);
    activate(session, "showIsland");
    activate(session, "startPause");
    ASSERT_TRUE(waitUntil([&] { return !pressed.isEmpty(); }));
    EXPECT_EQ(pressed, QList<quint32>{1});
    EXPECT_EQ(portal.binds().size(), 1);
}
