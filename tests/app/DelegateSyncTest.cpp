// The focus events as the delegate wires them: a focus phase that starts reaches the phone
// through the user's ntfy server.
#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslConfiguration>

#include "app/DelegateFixture.h"
#include "common/StandIn.h"
#include "preferences/AppPreferences.h"
#include "sync/NtfyNotifier.h"
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

}  // namespace
}  // namespace tw::test
