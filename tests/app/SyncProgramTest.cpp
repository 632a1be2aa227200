// The real program connected to the stand-in website: the focus events and the history reach
// it, the quit sends the last upload, a cut network costs neither the quit's time limit nor any
// history, and the credential stays in the keyring.
//
// The program trusts the system's certificate store and has no switch to trust anything else, so
// it runs in a mount namespace of its own where /etc/ssl/certs is a copy of the system's store
// plus the stand-in's test authority (this needs root; nothing outside the namespace changes).
// It runs from a folder of its own beside a CloudConfiguration.json that names the stand-in, and
// with a home folder of its own.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QUuid>
#include <memory>
#include <vector>

#include "app/SingleInstance.h"
#include "common/PrivateBus.h"
#include "common/StandIn.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "support/Calendar.h"
#include "support/Uuid.h"
#include "timer/FocusHistory.h"

using namespace tw;
using tw::test::StandIn;
using tw::test::waitUntil;

namespace {

const QString kBusName = QLatin1String(SingleInstance::kBusName);
const QString kBuiltProgram = QStringLiteral(TW_BIN_DIR "/tarnwhistle");
const QString kCredentialService = QStringLiteral("dev.tarnwhistle.cloud-history");
const QString kLedgerService = QStringLiteral("dev.tarnwhistle.cloud-ledger");

// The quit sequence's overall limit, which the program promises whatever the network does.
constexpr int kQuitLimitMs = 5000;
// What a process needs beyond that to be seen gone: its exit and this test's polling.
constexpr int kExitMarginMs = 1000;

bool runQuietly(const QString& program, const QStringList& args, const QByteArray& input = {},
                const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForStarted(5000)) return false;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(5000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Checks `check` about four times a second (each check may be a request of its own).
bool waitFor(const std::function<bool()>& check, int timeoutMs) {
    QElapsedTimer since;
    since.start();
    qint64 last = -1000;
    return waitUntil(
        [&] {
            if (since.elapsed() - last < 250) return false;
            last = since.elapsed();
            return check();
        },
        timeoutMs);
}

QJsonObject object(const QByteArray& json) {
    return QJsonDocument::fromJson(json).object();
}

class SyncProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("DISPLAY") || !bus.isConnected())
            GTEST_SKIP() << "needs the test desktop (run under scripts/with-desktop)";
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root: the program is given the test authority through a "
                            "private mount of /etc/ssl/certs";
        if (!runQuietly(QStringLiteral("unshare"),
                        {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                         QStringLiteral("private"), QStringLiteral("true")}))
            GTEST_SKIP() << "cannot make a private mount namespace here (unshare --mount failed)";
        ASSERT_TRUE(QFile::exists(kBuiltProgram));
        ASSERT_TRUE(website.ok());
        ASSERT_TRUE(
            waitUntil([&] { return !bus.interface()->isServiceRegistered(kBusName).value(); }));
        trustTheTestAuthority();
        installProgram();

        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home.filePath(QStringLiteral(".local/state")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    }

    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        // The items belong to the test desktop's keyring, which other tests share.
        for (const QString& service : {kCredentialService, kLedgerService}) {
            runQuietly(QStringLiteral("secret-tool"),
                       {QStringLiteral("clear"), QStringLiteral("service"), service,
                        QStringLiteral("account"), QStringLiteral("oauth")});
        }
    }

    // The system's store with the test authority added, in the form OpenSSL looks up.
    void trustTheTestAuthority() {
        ASSERT_TRUE(runQuietly(QStringLiteral("cp"),
                               {QStringLiteral("-a"), QStringLiteral("/etc/ssl/certs/."),
                                certs.path() + QLatin1Char('/')}));
        ASSERT_TRUE(QFile::copy(website.caFile(),
                                certs.filePath(QStringLiteral("tarnwhistle-test-authority.pem"))));
        ASSERT_TRUE(
            runQuietly(QStringLiteral("openssl"), {QStringLiteral("rehash"), certs.path()}));
    }

    // A copy of the program (its folder decides where its resources are) with its helpers and
    // resources beside it, and the stand-in as its website.
    void installProgram() {
        const QDir built(QStringLiteral(TW_BIN_DIR));
        ASSERT_TRUE(QDir().mkpath(prefix.filePath(QStringLiteral("bin"))));
        ASSERT_TRUE(QDir().mkpath(prefix.filePath(QStringLiteral("share/tarnwhistle"))));
        program = prefix.filePath(QStringLiteral("bin/tarnwhistle"));
        ASSERT_TRUE(QFile::copy(kBuiltProgram, program));
        for (const QString& helper : built.entryList({QStringLiteral("tarnwhistle-*")})) {
            QFile::link(built.filePath(helper), prefix.filePath(QStringLiteral("bin/") + helper));
        }
        const QDir resources(built.filePath(QStringLiteral("../share/tarnwhistle")));
        for (const QString& entry : resources.entryList(QDir::AllEntries | QDir::NoDotAndDotDot)) {
            if (entry == QStringLiteral("CloudConfiguration.json")) continue;
            QFile::link(resources.filePath(entry),
                        prefix.filePath(QStringLiteral("share/tarnwhistle/") + entry));
        }
        QFile configuration(
            prefix.filePath(QStringLiteral("share/tarnwhistle/CloudConfiguration.json")));
        ASSERT_TRUE(configuration.open(QIODevice::WriteOnly));
        configuration.write(
            QJsonDocument(QJsonObject{{QStringLiteral("WebsiteURL"), website.url().toString()}})
                .toJson());
    }

    // This computer as one that connected before: a device of an account with a phone, its
    // credential and ledger in the keyring.
    void connectBefore(bool inKeyring = true) {
        ledger = QUuid::createUuid();
        const QJsonObject registered = object(
            website.send("POST", QStringLiteral("/v1/devices/register"),
                         QJsonObject{{QStringLiteral("platform"), QStringLiteral("linux")},
                                     {QStringLiteral("name"), QStringLiteral("Test computer")},
                                     {QStringLiteral("appVersion"), QStringLiteral(TW_VERSION)},
                                     {QStringLiteral("ledgerID"), uuidText(ledger)}}));
        token = registered.value(QStringLiteral("token")).toString();
        deviceID = registered.value(QStringLiteral("deviceID")).toString();
        const QString accountID = registered.value(QStringLiteral("accountID")).toString();
        ASSERT_FALSE(token.isEmpty());
        const QString code =
            object(website.send("POST", QStringLiteral("/v1/pairing-codes"), QJsonObject(), token))
                .value(QStringLiteral("code"))
                .toString();
        ASSERT_FALSE(code.isEmpty());
        ASSERT_FALSE(
            object(website.send("POST", QStringLiteral("/v1/pairing/redeem"),
                                QJsonObject{{QStringLiteral("code"), code},
                                            {QStringLiteral("platform"), QStringLiteral("ios")},
                                            {QStringLiteral("name"), QStringLiteral("Test phone")},
                                            {QStringLiteral("pushEnabled"), true}}))
                .value(QStringLiteral("token"))
                .toString()
                .isEmpty());

        const QJsonObject credential{{QStringLiteral("version"), 2},
                                     {QStringLiteral("token"), token},
                                     {QStringLiteral("deviceID"), deviceID},
                                     {QStringLiteral("accountID"), accountID},
                                     {QStringLiteral("website"), website.url().toString()}};
        credentialJson = QJsonDocument(credential).toJson(QJsonDocument::Compact);
        if (inKeyring) {
            storeSecret(kCredentialService, credentialJson);
            storeSecret(kLedgerService, uuidText(ledger).toUtf8());
        }
    }

    static void storeSecret(const QString& service, const QByteArray& secret) {
        ASSERT_TRUE(runQuietly(QStringLiteral("secret-tool"),
                               {QStringLiteral("store"), QStringLiteral("--label=Tarnwhistle test"),
                                QStringLiteral("service"), service, QStringLiteral("account"),
                                QStringLiteral("oauth")},
                               secret));
    }

    // The program, started as the user starts it, in its own view of /etc/ssl/certs.
    QProcess* launch() {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QStringLiteral("unshare"),
                 {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                  QStringLiteral("private"), QStringLiteral("sh"), QStringLiteral("-c"),
                  QStringLiteral(R"(mount --bind "$1" /etc/ssl/certs && exec "$2")"),
                  QStringLiteral("sh"), certs.path(), program});
        EXPECT_TRUE(p->waitForStarted(5000));
        processes.push_back(std::move(p));
        QProcess* started = processes.back().get();
        // unshare and sh replace themselves: the process that claims the bus name is this one.
        EXPECT_TRUE(waitUntil(
            [&] {
                const QDBusReply<uint> pid = bus.interface()->servicePid(kBusName);
                return pid.isValid() && qint64(pid.value()) == started->processId();
            },
            15000));
        return started;
    }
    static bool finished(QProcess* p) { return p->state() == QProcess::NotRunning; }

    // A command of the program's command line, answered by the running copy; true when it
    // succeeded.
    bool command(const QStringList& args) { return runQuietly(kBuiltProgram, args, {}, env); }
    // One minute of focus from now.
    void startFocus() {
        ASSERT_TRUE(command({QStringLiteral("start-focus"), QStringLiteral("1")}));
        ASSERT_EQ(property("Mode").toString(), QStringLiteral("focus"));
        ASSERT_EQ(property("RunState").toString(), QStringLiteral("running"));
        ASSERT_LE(property("Remaining").toInt(), 60);
    }

    QVariant property(const char* name) {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kBusName, QLatin1String(SingleInstance::kObjectPath),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QLatin1String(SingleInstance::kInterface) << QLatin1String(name);
        const QDBusMessage reply = bus.call(get, QDBus::Block, 5000);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    void quit() {
        bus.call(QDBusMessage::createMethodCall(
                     kBusName, QLatin1String(SingleInstance::kObjectPath),
                     QLatin1String(SingleInstance::kInterface), QStringLiteral("Quit")),
                 QDBus::Block, 5000);
    }

    // A focus phase of one minute that the user ends after a few seconds of it: the day's
    // focus time grows while nothing completes.
    void shortFocus(const std::function<void()>& beforeTheEnd = {}) {
        startFocus();
        ASSERT_TRUE(waitFor([&] { return property("Remaining").toInt() <= 57; }, 15000));
        if (beforeTheEnd) beforeTheEnd();
        ASSERT_TRUE(command({QStringLiteral("end-focus")}));
        ASSERT_EQ(property("RunState").toString(), QStringLiteral("idle"));
    }

    // The day's totals in the program's own history.
    FocusHistory::Totals localDay(const QString& day) {
        UserDefaults stored(
            home.filePath(QStringLiteral(".config/tarnwhistle/dev.tarnwhistle.app.json")));
        const auto history = FocusHistory::decode(
            stored.data(QStringLiteral("weeklyFocusHistory")).value_or(QByteArray()));
        if (!history) return {};
        return history->days.value(day);
    }

    // What the website was sent, request by request.
    QList<QJsonObject> historyUploads() {
        QList<QJsonObject> out;
        for (const auto& r : website.requestsTo(QStringLiteral("/v1/history"))) {
            out.append(object(r.toObject().value(QStringLiteral("body")).toString().toUtf8()));
        }
        return out;
    }
    // The day in an upload, if it has it.
    static std::optional<QJsonObject> dayIn(const QJsonObject& upload, const QString& day) {
        for (const auto& d : upload.value(QStringLiteral("days")).toArray()) {
            if (d.toObject().value(QStringLiteral("date")).toString() == day) return d.toObject();
        }
        return std::nullopt;
    }
    // The events the website accepted, oldest first.
    QList<QJsonObject> events() {
        QList<QJsonObject> out;
        const QJsonObject state = object(website.send("GET", QStringLiteral("/_standin/state")));
        for (const auto& e : state.value(QStringLiteral("events")).toArray()) {
            EXPECT_EQ(e.toObject().value(QStringLiteral("device")).toString(), deviceID);
            out.append(e.toObject().value(QStringLiteral("event")).toObject());
        }
        return out;
    }
    // What the website keeps of the day.
    QJsonObject storedDay(const QString& day) {
        const QJsonObject state = object(website.send("GET", QStringLiteral("/_standin/state")));
        return state.value(QStringLiteral("history"))
            .toObject()
            .value(uuidText(ledger))
            .toObject()
            .value(day)
            .toObject();
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    StandIn website{QStringLiteral("website.py")};
    QTemporaryDir certs;
    QTemporaryDir prefix;
    QTemporaryDir home;
    QString program;
    QProcessEnvironment env;
    QUuid ledger;
    QString token;
    QString deviceID;
    QByteArray credentialJson;
    std::vector<std::unique_ptr<QProcess>> processes;
};

// A focus event as the website takes it: exactly its seven keys, an upper-case UUID, whole
// seconds in UTC.
void expectWellFormed(const QJsonObject& event) {
    const QSet<QString> keys{QStringLiteral("id"),     QStringLiteral("type"),
                             QStringLiteral("mode"),   QStringLiteral("startedAt"),
                             QStringLiteral("endsAt"), QStringLiteral("durationSec"),
                             QStringLiteral("sentAt")};
    const QStringList present = event.keys();
    EXPECT_EQ(QSet<QString>(present.cbegin(), present.cend()), keys);
    const QString id = event.value(QStringLiteral("id")).toString();
    EXPECT_FALSE(QUuid::fromString(id).isNull()) << id.toStdString();
    EXPECT_EQ(id, id.toUpper());
    EXPECT_EQ(id.size(), 36);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"));
    for (const char* key : {"startedAt", "endsAt", "sentAt"}) {
        EXPECT_TRUE(stamp.match(event.value(QLatin1String(key)).toString()).hasMatch())
            << key << " " << event.value(QLatin1String(key)).toString().toStdString();
    }
}

QDateTime stampTime(const QJsonObject& event, const char* key) {
    return QDateTime::fromString(event.value(QLatin1String(key)).toString(), Qt::ISODate);
}

}  // namespace

TEST_F(SyncProgram, FocusReachesTheWebsiteAndACutNetworkLosesNoHistory) {
    connectBefore();
    if (HasFatalFailure()) return;
    const QDateTime began = QDateTime::currentDateTimeUtc().addSecs(-2);

    // Connected at start: it asks for the devices at once.
    QProcess* first = launch();
    ASSERT_TRUE(waitFor(
        [&] { return !website.requestsTo(QStringLiteral("/v1/devices")).isEmpty(); }, 20000));

    // One minute of focus, completed.
    startFocus();
    if (HasFatalFailure()) return;
    const QString today = Calendar::shared().dayKey(
        Instant::fromUnix(double(QDateTime::currentMSecsSinceEpoch()) / 1000.0));
    const auto eventOf = [&](const QString& type) -> std::optional<QJsonObject> {
        for (const QJsonObject& e : events()) {
            if (e.value(QStringLiteral("type")).toString() == type) return e;
        }
        return std::nullopt;
    };
    ASSERT_TRUE(
        waitFor([&] { return eventOf(QStringLiteral("focus_started")).has_value(); }, 20000));
    ASSERT_TRUE(
        waitFor([&] { return eventOf(QStringLiteral("focus_completed")).has_value(); }, 120000))
        << "the one-minute phase did not complete";
    const QJsonObject started = *eventOf(QStringLiteral("focus_started"));
    const QJsonObject completed = *eventOf(QStringLiteral("focus_completed"));
    for (const QJsonObject& e : {started, completed}) {
        SCOPED_TRACE(e.value(QStringLiteral("type")).toString().toStdString());
        expectWellFormed(e);
        EXPECT_EQ(e.value(QStringLiteral("mode")).toString(), QStringLiteral("focus"));
        EXPECT_EQ(e.value(QStringLiteral("durationSec")).toInteger(), 60);
        EXPECT_EQ(stampTime(e, "startedAt").secsTo(stampTime(e, "endsAt")), 60);
        EXPECT_GE(stampTime(e, "sentAt"), began);
        EXPECT_LE(stampTime(e, "sentAt"), QDateTime::currentDateTimeUtc());
    }
    EXPECT_NE(started.value(QStringLiteral("id")), completed.value(QStringLiteral("id")));
    EXPECT_EQ(started.value(QStringLiteral("startedAt")),
              completed.value(QStringLiteral("startedAt")));
    EXPECT_EQ(started.value(QStringLiteral("endsAt")), completed.value(QStringLiteral("endsAt")));
    // Sent when the phase ran out, on the website's clock (learned from its Date header, which
    // has whole seconds).
    EXPECT_GE(stampTime(completed, "sentAt"), stampTime(completed, "endsAt").addSecs(-1));
    for (const auto& r : website.requestsTo(QStringLiteral("/v1/events"))) {
        EXPECT_EQ(r.toObject()
                      .value(QStringLiteral("headers"))
                      .toObject()
                      .value(QStringLiteral("Authorization")),
                  QStringLiteral("Bearer ") + token);
    }

    // The phase's end sends the day.
    ASSERT_TRUE(waitFor(
        [&] {
            const auto uploads = historyUploads();
            return !uploads.isEmpty() && dayIn(uploads.last(), today) &&
                   dayIn(uploads.last(), today)->value(QStringLiteral("sessions")).toInt() == 1;
        },
        20000));
    EXPECT_NEAR(dayIn(historyUploads().last(), today)->value(QStringLiteral("seconds")).toDouble(),
                60.0, 1.0);

    // More focus, whose upload at its end the website fails: the quit sends it. (The client
    // tries again after ten seconds; the quit comes first.)
    ASSERT_EQ(property("RunState").toString(), QStringLiteral("idle"));
    qsizetype uploadsBefore = 0;
    shortFocus([&] {
        uploadsBefore = historyUploads().size();
        website.plan(QJsonObject{{QStringLiteral("path"), QStringLiteral("/v1/history")},
                                 {QStringLiteral("times"), 1},
                                 {QStringLiteral("status"), 503}});
    });
    if (HasFatalFailure()) return;
    ASSERT_TRUE(waitFor([&] { return historyUploads().size() == uploadsBefore + 1; }, 20000));
    const qsizetype uploadsBeforeQuit = uploadsBefore + 1;
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(first); }, kQuitLimitMs + kExitMarginMs));
    EXPECT_EQ(first->exitCode(), 0);
    const FocusHistory::Totals afterFirst = localDay(today);
    EXPECT_EQ(afterFirst.sessions, 1);
    EXPECT_GT(afterFirst.seconds, 62.0);
    const auto uploads = historyUploads();
    ASSERT_EQ(uploads.size(), uploadsBeforeQuit + 1) << "no upload on quit";
    ASSERT_TRUE(dayIn(uploads.last(), today));
    EXPECT_NEAR(dayIn(uploads.last(), today)->value(QStringLiteral("seconds")).toDouble(),
                afterFirst.seconds, 0.01);
    EXPECT_NEAR(storedDay(today).value(QStringLiteral("seconds")).toDouble(), afterFirst.seconds,
                0.01);

    // The network goes while the program runs; more focus; the quit keeps its time limit.
    QProcess* second = launch();
    const int devicesAsked = int(website.requestsTo(QStringLiteral("/v1/devices")).size());
    ASSERT_TRUE(waitFor(
        [&] { return website.requestsTo(QStringLiteral("/v1/devices")).size() > devicesAsked; },
        20000));
    const int port = website.port();
    website.stop();
    shortFocus();
    if (HasFatalFailure()) return;
    QElapsedTimer quitting;
    quitting.start();
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(second); }, kQuitLimitMs + kExitMarginMs))
        << "still running " << quitting.elapsed() << " ms after the quit";
    EXPECT_EQ(second->exitCode(), 0);
    const FocusHistory::Totals afterCut = localDay(today);
    EXPECT_EQ(afterCut.sessions, 1);
    EXPECT_GT(afterCut.seconds, afterFirst.seconds + 2.0);

    // The network returns; the next start sends the day as it is now.
    ASSERT_TRUE(website.start(port));
    EXPECT_NEAR(storedDay(today).value(QStringLiteral("seconds")).toDouble(), afterFirst.seconds,
                0.01);
    QProcess* third = launch();
    ASSERT_TRUE(waitFor(
        [&] {
            const auto uploads = historyUploads();
            return !uploads.isEmpty() && dayIn(uploads.last(), today);
        },
        20000));
    EXPECT_NEAR(dayIn(historyUploads().last(), today)->value(QStringLiteral("seconds")).toDouble(),
                afterCut.seconds, 0.01);
    EXPECT_EQ(dayIn(historyUploads().last(), today)->value(QStringLiteral("sessions")).toInt(), 1);
    EXPECT_NEAR(storedDay(today).value(QStringLiteral("seconds")).toDouble(), afterCut.seconds,
                0.01);
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(third); }, kQuitLimitMs + kExitMarginMs));

    // The token was in none of the files the program wrote: the keyring kept it.
    QStringList written;
    QDirIterator it(home.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        written << file.fileName();
        EXPECT_FALSE(file.readAll().contains(token.toUtf8())) << file.fileName().toStdString();
    }
    EXPECT_TRUE(written.contains(
        home.filePath(QStringLiteral(".config/tarnwhistle/dev.tarnwhistle.app.json"))))
        << written.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(
        QFile::exists(home.filePath(QStringLiteral(".local/share/tarnwhistle/credentials"))));
    // The keyring keeps its items encrypted (the test desktop's keyring lives beside its
    // runtime folder).
    const QDir keyrings(qEnvironmentVariable("XDG_RUNTIME_DIR") +
                        QStringLiteral("/../keyring-data/keyrings"));
    ASSERT_FALSE(keyrings.entryList(QDir::Files).isEmpty()) << keyrings.path().toStdString();
    for (const QString& name : keyrings.entryList(QDir::Files)) {
        QFile file(keyrings.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(token.toUtf8())) << name.toStdString();
    }
}

TEST_F(SyncProgram, AWebsiteThatNeverAnswersHoldsTheQuitNoLongerThanItsLimit) {
    connectBefore();
    if (HasFatalFailure()) return;
    QProcess* p = launch();
    ASSERT_TRUE(waitFor(
        [&] { return !website.requestsTo(QStringLiteral("/v1/devices")).isEmpty(); }, 20000));
    // From the focus's end on, the website takes every request and answers none for a minute:
    // the upload at the end and the quit's own wait for it run into the quit's limit.
    shortFocus([&] {
        website.plan(QJsonObject{{QStringLiteral("path"), QStringLiteral("*")},
                                 {QStringLiteral("times"), 20},
                                 {QStringLiteral("delay"), 60}});
    });
    if (HasFatalFailure()) return;
    const QString today = Calendar::shared().dayKey(
        Instant::fromUnix(double(QDateTime::currentMSecsSinceEpoch()) / 1000.0));
    ASSERT_TRUE(waitFor([&] { return !historyUploads().isEmpty(); }, 20000));
    QElapsedTimer quitting;
    quitting.start();
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, kQuitLimitMs + kExitMarginMs))
        << "still running " << quitting.elapsed() << " ms after the quit";
    EXPECT_EQ(p->exitCode(), 0);
    // The day stays with the program until the website has it.
    EXPECT_GT(localDay(today).seconds, 2.0);
    EXPECT_EQ(storedDay(today), QJsonObject());
}

TEST_F(SyncProgram, WithoutAKeyringTheTokenIsOnlyInTheFileOnlyTheUserCanRead) {
    // A desktop session without a keyring: the program's bus has no services at all.
    tw::test::PrivateBus session(tw::test::PrivateBus::Services::none);
    ASSERT_FALSE(session.address().isEmpty());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), session.address());
    bus = session.connect(QStringLiteral("without-keyring"));
    ASSERT_TRUE(bus.isConnected());
    connectBefore(false);
    if (HasFatalFailure()) return;
    // Where the program keeps credentials without a keyring, as it would have left them.
    const QString folder = home.filePath(QStringLiteral(".local/share/tarnwhistle/credentials"));
    const QString file = folder + QStringLiteral("/credentials.json");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            QJsonDocument(
                QJsonObject{
                    {kCredentialService, QString::fromLatin1(credentialJson.toBase64())},
                    {kLedgerService, QString::fromLatin1(uuidText(ledger).toUtf8().toBase64())}})
                .toJson());
    }
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0600), 0);

    QProcess* p = launch();
    ASSERT_TRUE(waitFor(
        [&] { return !website.requestsTo(QStringLiteral("/v1/devices")).isEmpty(); }, 20000));
    EXPECT_EQ(website.requestsTo(QStringLiteral("/v1/devices"))
                  .first()
                  .toObject()
                  .value(QStringLiteral("headers"))
                  .toObject()
                  .value(QStringLiteral("Authorization")),
              QStringLiteral("Bearer ") + token);
    shortFocus();
    if (HasFatalFailure()) return;
    ASSERT_TRUE(waitFor([&] { return !historyUploads().isEmpty(); }, 20000));
    quit();
    ASSERT_TRUE(waitUntil([&] { return finished(p); }, kQuitLimitMs + kExitMarginMs));

    QStringList holding;
    QDirIterator it(home.path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << f.fileName().toStdString();
        const QByteArray bytes = f.readAll();
        if (bytes.contains(token.toUtf8()) || bytes.contains(credentialJson.toBase64()))
            holding << f.fileName();
    }
    EXPECT_EQ(holding, QStringList{file});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
}
