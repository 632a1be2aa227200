// The focus events as the delegate wires them: a focus phase that starts reaches the phone
// through the user's ntfy server.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>
#include <map>

#include "app/DelegateFixture.h"
#include "common/StandIn.h"
#include "platform/fake/FakeCredentialStore.h"
#include "preferences/AppPreferences.h"
#include "sync/NtfyNotifier.h"
#include "ticktick/TickTickClient.h"
#include "ticktick/TickTickFocusHook.h"
#include "ticktick/TickTickRecords.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

class DelegateSync : public DelegateFixture {
protected:
    StandIn server{QStringLiteral("ntfy.py")};
    QSslConfiguration savedTls = QSslConfiguration::defaultConfiguration();

    void SetUp() override {
        ASSERT_TRUE(server.ok());
        QSslConfiguration::setDefaultConfiguration(server.trusting());
    }
    void TearDown() override { QSslConfiguration::setDefaultConfiguration(savedTls); }
};

TEST_F(DelegateSync, FocusStartReachesThePhoneThroughNtfy) {
    launch();
    ASSERT_TRUE(delegate->preferences().setNtfyServer(server.url().toString()));
    ASSERT_NE(delegate->ntfy(), nullptr);
    delegate->ntfy()->setEnabled(true);
    delegate->model().start(25 * 60);
    ASSERT_TRUE(waitUntil([this] { return server.requestsTo(QStringLiteral("/")).size() == 1; }));
    const QJsonObject publish = QJsonDocument::fromJson(server.requestsTo(QStringLiteral("/"))
                                                            .at(0)
                                                            .toObject()
                                                            .value(QStringLiteral("body"))
                                                            .toString()
                                                            .toUtf8())
                                    .object();
    EXPECT_EQ(publish.value(QStringLiteral("topic")).toString(), delegate->ntfy()->topic().name);
}

// TickTick's client lives over the keyring's item for it; switching the integration off makes the
// hook forget the attached task.
TEST_F(DelegateSync, TickTickSwitchedOffForgetsTheTaskAttachedToFocus) {
    std::map<QString, FakeCredentialStore::Keyring> keyring;
    credentials = [&keyring](const QString& service) {
        return std::make_unique<FakeCredentialStore>(&keyring[service]);
    };
    launch();
    ASSERT_NE(delegate->tickTickClient(), nullptr);
    EXPECT_TRUE(keyring.count(QStringLiteral("dev.tarnwhistle.ticktick")));
    delegate->preferences().setTickTickEnabled(true);
    delegate->tickTick()->select(TickTickTask{"t1", "p1", "Write report"});
    ASSERT_TRUE(delegate->tickTick()->selectedTask().has_value());
    delegate->preferences().setTickTickEnabled(false);
    EXPECT_FALSE(delegate->tickTick()->selectedTask().has_value());
}

}  // namespace
}  // namespace tw::test
