#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QSysInfo>

#include "platform/linux/HostnamedComputerName.h"
#include "sync/CloudFixture.h"
#include "sync/QrCode.h"

namespace tw::test {
namespace {

class DevicesTest : public CloudFixture {
public:
    int deviceLists() { return sent(QStringLiteral("/v1/devices")).size(); }
    bool pairNow() {
        client->startPairing();
        return waitUntil([&] { return !client->busy(); }) && settle() && client->pairing();
    }
};

TEST_F(DevicesTest, ThePairingCodeIsPolledForEvery15SecondsUntilItExpires) {
    make();
    ASSERT_TRUE(connectNow());
    ASSERT_EQ(deviceLists(), 1);
    const Instant asked = clock.now();
    ASSERT_TRUE(pairNow());
    const PairingCode code = *client->pairing();
    EXPECT_EQ(code.expiresAt, asked + 600);
    EXPECT_TRUE(code.deepLink.contains(code.code));
    EXPECT_EQ(client->status(), "Scan the code on your phone, or type it in.");
    EXPECT_EQ(bodyOf(sent(QStringLiteral("/v1/pairing-codes"))[0]), QJsonObject());
    EXPECT_TRUE(qrImage(code.deepLink, 8));

    for (int poll = 1; poll <= 40; ++poll) {
        SCOPED_TRACE(poll);
        ASSERT_DOUBLE_EQ(clock.nextDue() - clock.now(), 15);
        ASSERT_TRUE(client->pairing());
        clock.advance(15);
        ASSERT_TRUE(settle());
        EXPECT_EQ(deviceLists(), 1 + poll);
        if (poll == 10) {
            // A phone joins; it shows up at the next poll without anything done here.
            EXPECT_FALSE(client->hasPhone());
            EXPECT_FALSE(redeem(code.code).value("deviceID").toString().isEmpty());
        }
        if (poll == 11) {
            EXPECT_TRUE(client->hasPhone());
            ASSERT_EQ(client->devices().size(), 2);
            EXPECT_EQ(client->devices()[1].name, "Anna's phone");
            EXPECT_TRUE(client->devices()[1].pushEnabled);
        }
    }
    // At the expiry the code goes and the polling stops.
    EXPECT_FALSE(client->pairing());
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture());
    clock.advance(60);
    EXPECT_TRUE(settle());
    EXPECT_EQ(deviceLists(), 41);
}

TEST_F(DevicesTest, HidingOrReplacingTheCodeEndsItsPoll) {
    make();
    ASSERT_TRUE(connectNow());
    ASSERT_TRUE(pairNow());
    client->hidePairing();
    EXPECT_FALSE(client->pairing());
    clock.advance(60);
    EXPECT_TRUE(settle());
    EXPECT_EQ(deviceLists(), 1);

    // A new code replaces the old one: one poll, for the new code.
    ASSERT_TRUE(pairNow());
    const QString first = client->pairing()->code;
    ASSERT_TRUE(pairNow());
    EXPECT_NE(client->pairing()->code, first);
    clock.advance(15);
    EXPECT_TRUE(settle());
    EXPECT_EQ(deviceLists(), 2);

    // A poll under way while the list is fetched ends too.
    site().plan(QJsonObject{
        {"path", "/v1/devices"}, {"delay", 0.5}, {"status", 200}, {"body", R"({"devices": []})"}});
    clock.advance(15);
    ASSERT_EQ(client->requestsInFlight(), 1);
    client->hidePairing();
    EXPECT_TRUE(settle());
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture());
}

TEST_F(DevicesTest, PairingNeedsAnIdleConnection) {
    make();
    client->startPairing();  // not connected
    EXPECT_FALSE(client->busy());
    ASSERT_TRUE(connectNow());
    const QString status = client->status();
    client->openWebsite(QStringLiteral("history"));
    client->startPairing();  // busy with the link
    EXPECT_TRUE(waitUntil([&] { return !client->busy(); }));
    EXPECT_TRUE(settle());
    EXPECT_EQ(client->status(), status);
    EXPECT_TRUE(sent(QStringLiteral("/v1/pairing-codes")).isEmpty());

    // A failed request says why and shows no code.
    site().plan(QJsonObject{{"path", "/v1/pairing-codes"},
                            {"status", 429},
                            {"body", R"({"error": "Too many codes. Wait a minute."})"}});
    client->startPairing();
    EXPECT_TRUE(waitUntil([&] { return !client->busy(); }));
    EXPECT_EQ(client->status(), "Too many codes. Wait a minute.");
    EXPECT_FALSE(client->pairing());
}

TEST_F(DevicesTest, AListThatDoesNotDecodeKeepsTheLastOne) {
    make();
    ASSERT_TRUE(connectNow());
    const QList<PairedDevice> known = client->devices();
    ASSERT_EQ(known.size(), 1);
    const char* replies[] = {
        R"({"devices": [{"id": "p", "platform": "ios", "name": "Phone"}]})",
        R"({"devices": [{"id": "p", "platform": "ios", "name": "Phone", "pushEnabled": "yes"}]})",
        R"({"devices": [{"id": "p", "platform": "ios", "name": "Phone", "pushEnabled": true,
            "lastSeenAt": 5}]})",
        R"({"devices": {}})",
        R"([])",
        "garbage",
    };
    for (const char* reply : replies) {
        site().plan(QJsonObject{{"path", "/v1/devices"}, {"status", 200}, {"body", reply}});
        client->refreshDevices();
        EXPECT_TRUE(settle());
        EXPECT_EQ(client->devices(), known) << reply;
    }
    // Unknown keys and the optional ones are fine.
    site().plan(QJsonObject{{"path", "/v1/devices"},
                            {"status", 200},
                            {"body", R"({"devices": [{"id": "p", "platform": "android",
                                "name": "Phone", "pushEnabled": false, "appVersion": "2.0",
                                "createdAt": "x", "colour": "blue"}], "more": 1})"}});
    client->refreshDevices();
    EXPECT_TRUE(settle());
    EXPECT_EQ(client->devices(), (QList<PairedDevice>{{"p", "android", "Phone", false}}));
    EXPECT_TRUE(client->hasPhone());
}

TEST_F(DevicesTest, RemovingAPhoneOrThisComputer) {
    make();
    ASSERT_TRUE(connectNow());
    ASSERT_TRUE(pairNow());
    redeem(client->pairing()->code, QStringLiteral("android"));
    client->refreshDevices();
    EXPECT_TRUE(settle());
    ASSERT_EQ(client->devices().size(), 2);
    const PairedDevice phone = client->devices()[1];
    ASSERT_TRUE(client->hasPhone());

    // A failure says why and keeps the list.
    site().plan(QJsonObject{{"path", "/v1/devices/" + phone.id},
                            {"status", 500},
                            {"body", R"({"error": "Try again later."})"}});
    client->removeDevice(phone);
    EXPECT_TRUE(settle());
    EXPECT_EQ(client->status(), "Try again later.");
    EXPECT_EQ(client->devices().size(), 2);

    client->removeDevice(phone);
    EXPECT_TRUE(settle());
    ASSERT_EQ(client->devices().size(), 1);
    EXPECT_FALSE(client->hasPhone());

    // An identifier that cannot go into a path is not sent.
    const int before = site().requests().size();
    client->removeDevice(PairedDevice{"../../v1/history", "ios", "Odd", true});
    EXPECT_EQ(client->status(),
              "This device cannot be removed from here; remove it on the website.");
    EXPECT_TRUE(settle());
    EXPECT_EQ(site().requests().size(), before);

    // Removing this computer turns sync off.
    client->removeDevice(client->devices()[0]);
    EXPECT_TRUE(waitUntil([&] { return !client->connected(); }));
    EXPECT_EQ(client->status(), "Sync stopped on this computer. Synced history is kept.");
    EXPECT_FALSE(client->pairing());
    EXPECT_FALSE(store.blob);
}

TEST_F(DevicesTest, LosingTheConnectionClearsTheCodeAndThePoll) {
    make();
    ASSERT_TRUE(connectNow());
    ASSERT_TRUE(pairNow());
    site().plan(QJsonObject{{"path", "/v1/devices"}, {"status", 401}});
    clock.advance(15);
    EXPECT_TRUE(waitUntil([&] { return !client->connected(); }));
    EXPECT_TRUE(settle());
    EXPECT_FALSE(client->pairing());
    EXPECT_TRUE(client->devices().isEmpty());
    EXPECT_EQ(clock.nextDue(), Instant::distantFuture());
}

TEST(QrImage, WholePixelModulesBlackOnWhite) {
    EXPECT_FALSE(qrImage(QString(), 8));
    const auto image = qrImage(QStringLiteral("https://tarnwhistle.example/pair?code=ABCD2345"), 8);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), image->height());
    EXPECT_EQ(image->width() % 8, 0);
    const int modules = image->width() / 8;
    EXPECT_GE(modules, 21 + 8);
    // The quiet zone is white; the finder pattern's corner module is black, 8 × 8 pixels.
    EXPECT_EQ(image->pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(image->pixel(4 * 8 - 1, 4 * 8 - 1), qRgb(255, 255, 255));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(image->pixel(4 * 8 + x, 4 * 8 + y), qRgb(0, 0, 0));
        }
    }
    // No grey: nothing was smoothed.
    for (int y = 0; y < image->height(); ++y) {
        for (int x = 0; x < image->width(); ++x) {
            const QRgb p = image->pixel(x, y);
            ASSERT_TRUE(p == qRgb(0, 0, 0) || p == qRgb(255, 255, 255));
        }
    }
    const auto small = qrImage(QStringLiteral("x"), 0);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width(), 21 + 8);
    EXPECT_FALSE(qrImage(QString(8000, u'x'), 8));  // more than a QR code holds
}

TEST(ComputerName, FallsBackToTheHostName) {
    HostnamedComputerName names(QDBusConnection(QStringLiteral("no bus")));
    std::optional<QString> name;
    names.lookUp([&](const QString& n) { name = n; });
    EXPECT_FALSE(name);  // from the event loop
    ASSERT_TRUE(waitUntil([&] { return name.has_value(); }));
    EXPECT_EQ(*name, QSysInfo::machineHostName());

    // The system's own answer, whatever runs here.
    HostnamedComputerName system;
    name.reset();
    system.lookUp([&](const QString& n) { name = n; });
    ASSERT_TRUE(waitUntil([&] { return name.has_value(); }, 5000));
    EXPECT_FALSE(name->isEmpty());
}

}  // namespace
}  // namespace tw::test
