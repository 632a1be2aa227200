// The credential stores against the desktop's real keyring (the gnome-keyring that
// scripts/with-desktop starts, with an unlocked login keyring), against buses where no keyring
// runs or none answers, and the file they fall back to.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUuid>
#include <functional>

#include "common/PrivateBus.h"
#include "common/TestSupport.h"
#include "platform/KeyringControl.h"
#include "platform/linux/DesktopCredentials.h"
#include "platform/linux/FileCredentials.h"

using tw::CredentialBackend;
using tw::CredentialFailure;
using tw::CredentialRead;
using tw::DesktopCredentials;
using tw::FileCredentials;
using tw::test::PrivateBus;
using tw::test::ScopedVariable;
using tw::test::waitUntil;
namespace keyring = tw::test::keyring;

namespace {

const QString kOauth = QStringLiteral("oauth");

std::optional<QByteArray> blob(const CredentialRead& read) {
    const auto* value = std::get_if<std::optional<QByteArray>>(&read);
    EXPECT_NE(value, nullptr) << std::get<CredentialFailure>(read).detail.toStdString();
    return value ? *value : std::nullopt;
}

QString failure(const CredentialRead& read) {
    const auto* f = std::get_if<CredentialFailure>(&read);
    return f ? f->detail : QString();
}

QString failure(const std::optional<CredentialFailure>& f) {
    return f ? f->detail : QString();
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// dbus-monitor on the session bus, watching the Secret Service's traffic.
class SecretServiceWatch {
public:
    SecretServiceWatch() {
        monitor_.start(QStringLiteral("dbus-monitor"),
                       {QStringLiteral("--session"),
                        QStringLiteral("interface='org.freedesktop.Secret.Service'"),
                        QStringLiteral("interface='org.freedesktop.Secret.Prompt'")});
        started_ = waitUntil([this] { return collect().contains("member=NameLost"); });
    }
    ~SecretServiceWatch() {
        monitor_.kill();
        monitor_.waitForFinished(5000);
    }
    bool started() const { return started_; }

    // Everything seen up to now: a call of our own marks the end, and the bus keeps the order.
    QByteArray finish() {
        keyring::call(QStringLiteral("ReadAlias"), {QStringLiteral("tarnwhistle-test-end")});
        waitUntil([this] { return collect().contains("tarnwhistle-test-end"); });
        return seen_;
    }

private:
    const QByteArray& collect() {
        seen_ += monitor_.readAllStandardOutput();
        return seen_;
    }

    QProcess monitor_;
    QByteArray seen_;
    bool started_ = false;
};

// A gnome-keyring of a test's own on a private bus, with a login keyring kept in `dataHome`.
class KeyringDaemon {
public:
    KeyringDaemon(const QString& busAddress, const QString& dataHome)
        : bus_(busAddress), dataHome_(dataHome) {}
    ~KeyringDaemon() { stop(); }

    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus_);
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome_);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dataHome_);
        daemon_.setProcessEnvironment(env);
        daemon_.start(QStringLiteral("gnome-keyring-daemon"),
                      {QStringLiteral("--foreground"), QStringLiteral("--unlock"),
                       QStringLiteral("--components=secrets")});
        if (!daemon_.waitForStarted(5000)) return false;
        daemon_.write("password");
        daemon_.closeWriteChannel();
        // Up when its login keyring is the default collection (asking before the name is taken
        // is harmless: nothing on this bus can be started).
        QDBusConnection watcher = QDBusConnection::connectToBus(bus_, QStringLiteral("watcher"));
        const bool up = waitUntil([&] {
            const QDBusMessage reply =
                keyring::call(QStringLiteral("ReadAlias"), {QStringLiteral("default")},
                              keyring::kService, watcher);
            return reply.arguments().value(0).value<QDBusObjectPath>().path().contains(
                QStringLiteral("/collection/"));
        });
        QDBusConnection::disconnectFromBus(QStringLiteral("watcher"));
        return up;
    }
    void stop() {
        if (daemon_.state() == QProcess::NotRunning) return;
        daemon_.terminate();
        if (!daemon_.waitForFinished(5000)) daemon_.kill();
        daemon_.waitForFinished(5000);
    }

private:
    QString bus_;
    QString dataHome_;
    QProcess daemon_;
};

class ScopeExit {
public:
    explicit ScopeExit(std::function<void()> fn) : fn_(std::move(fn)) {}
    ~ScopeExit() { fn_(); }

private:
    std::function<void()> fn_;
};

}  // namespace

class DesktopCredentialsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("TW_TEST_KEYRING_PASSWORD")) {
            GTEST_SKIP() << "needs the keyring of scripts/with-desktop";
        }
        const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
        service = QStringLiteral("dev.tarnwhistle.test-") + id;
        other = service + QStringLiteral("-other");
    }
    void TearDown() override {
        if (service.isEmpty()) return;
        QTemporaryDir none;
        DesktopCredentials credentials(options(none.path()));
        credentials.store(service)->remove();
        credentials.store(other)->remove();
    }

    DesktopCredentials::Options options(const QString& folder = {}) const {
        DesktopCredentials::Options o;
        o.folder = folder.isEmpty() ? this->folder : folder;
        return o;
    }

    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("tarnwhistle/credentials"));
    QString service;
    QString other;
};

TEST_F(DesktopCredentialsTest, TheKeyringKeepsOneItemPerService) {
    DesktopCredentials credentials(options());
    ASSERT_EQ(credentials.backend(), CredentialBackend::secretService);
    // The probe took its item out again.
    EXPECT_TRUE(
        keyring::items(QStringLiteral("dev.tarnwhistle.keychain-probe"), QStringLiteral("probe"))
            .isEmpty());

    const auto store = credentials.store(service);
    EXPECT_EQ(blob(store->read()), std::nullopt);
    ASSERT_EQ(failure(store->write("{\"token\":\"first\"}")), QString());
    EXPECT_EQ(blob(store->read()), QByteArray("{\"token\":\"first\"}"));

    const QByteArray binary("second\0\xff\n", 9);
    ASSERT_EQ(failure(store->write(binary)), QString());
    EXPECT_EQ(blob(store->read()), binary);
    EXPECT_EQ(keyring::items(service, kOauth).size(), 1);
    // Another process finds it too.
    EXPECT_EQ(blob(DesktopCredentials(options()).store(service)->read()), binary);

    EXPECT_EQ(failure(store->remove()), QString());
    EXPECT_EQ(failure(store->remove()), QString());
    EXPECT_EQ(blob(store->read()), std::nullopt);
    EXPECT_TRUE(keyring::items(service, kOauth).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder));  // the keyring needs no file
}

TEST_F(DesktopCredentialsTest, AnItemLeftInTheFileMovesIntoTheKeyring) {
    FileCredentials file(folder);
    ASSERT_FALSE(file.write(service, "from a run without keyring"));
    ASSERT_FALSE(file.write(other, "another"));

    DesktopCredentials credentials(options());
    ASSERT_EQ(credentials.backend(), CredentialBackend::secretService);
    EXPECT_EQ(blob(credentials.store(service)->read()), QByteArray("from a run without keyring"));
    EXPECT_EQ(keyring::items(service, kOauth).size(), 1);
    EXPECT_EQ(blob(file.read(service)), std::nullopt);
    EXPECT_EQ(blob(file.read(other)), QByteArray("another"));
    QTemporaryDir elsewhere;  // now the keyring alone has it
    EXPECT_EQ(blob(DesktopCredentials(options(elsewhere.path())).store(service)->read()),
              QByteArray("from a run without keyring"));

    // Writing and removing in the keyring take the file's copy away; the file goes with the last.
    ASSERT_EQ(failure(credentials.store(other)->write("newer")), QString());
    EXPECT_FALSE(QFileInfo::exists(file.filePath()));
    EXPECT_EQ(blob(credentials.store(other)->read()), QByteArray("newer"));
    ASSERT_FALSE(file.write(service, "stale"));
    EXPECT_EQ(failure(credentials.store(service)->remove()), QString());
    EXPECT_EQ(blob(file.read(service)), std::nullopt);
    EXPECT_EQ(blob(credentials.store(service)->read()), std::nullopt);
}

TEST_F(DesktopCredentialsTest, ALockedKeyringFailsWithoutAPrompt) {
    DesktopCredentials credentials(options());
    const auto store = credentials.store(service);
    ASSERT_EQ(failure(store->write("before the lock")), QString());
    FileCredentials file(folder);
    ASSERT_FALSE(file.write(other, "waiting to move"));

    const QDBusObjectPath login = keyring::defaultCollection();
    ASSERT_FALSE(login.path().isEmpty());
    SecretServiceWatch watch;
    ASSERT_TRUE(watch.started());
    ASSERT_TRUE(keyring::lock(login));
    const QByteArray password = qgetenv("TW_TEST_KEYRING_PASSWORD");
    ScopeExit unlockAgain([&] { keyring::unlock(login, password); });

    EXPECT_TRUE(failure(store->read()).contains(QStringLiteral("locked")));
    EXPECT_TRUE(failure(store->write("while locked")).contains(QStringLiteral("locked")));
    EXPECT_TRUE(failure(store->remove()).contains(QStringLiteral("locked")));
    EXPECT_TRUE(failure(credentials.store(other)->read()).contains(QStringLiteral("locked")));
    // A fresh process decides for the keyring all the same, and fails the same way.
    DesktopCredentials later(options());
    EXPECT_EQ(later.backend(), CredentialBackend::secretService);
    EXPECT_TRUE(failure(later.store(service)->read()).contains(QStringLiteral("locked")));

    const QByteArray seen = watch.finish();
    EXPECT_TRUE(seen.contains("member=ReadAlias")) << seen.constData();  // the watch saw us
    const QRegularExpression asked(QStringLiteral("member=(Prompt|Unlock)$"),
                                   QRegularExpression::MultilineOption);
    EXPECT_FALSE(asked.match(QString::fromUtf8(seen)).hasMatch()) << seen.constData();

    ASSERT_TRUE(keyring::unlock(login, password));
    EXPECT_EQ(blob(store->read()), QByteArray("before the lock"));
    EXPECT_EQ(blob(file.read(other)), QByteArray("waiting to move"));
}

TEST_F(DesktopCredentialsTest, AKeyringStartedAgainIsFoundAgain) {
    PrivateBus bus(PrivateBus::Services::none);
    QTemporaryDir keyringHome;
    KeyringDaemon daemon(bus.address(), keyringHome.path());
    ASSERT_TRUE(daemon.start());

    DesktopCredentials::Options o;
    o.busAddress = bus.address();
    o.folder = folder;
    DesktopCredentials credentials(o);
    ASSERT_EQ(credentials.backend(), CredentialBackend::secretService);
    const auto store = credentials.store(service);
    ASSERT_EQ(failure(store->write("kept on disk")), QString());

    // Closed and opened again, as a user does with KeePassXC: the session of the first is gone.
    daemon.stop();
    ASSERT_TRUE(daemon.start());
    EXPECT_EQ(blob(store->read()), QByteArray("kept on disk"));
    EXPECT_EQ(failure(store->remove()), QString());
    EXPECT_EQ(blob(store->read()), std::nullopt);
}

TEST_F(DesktopCredentialsTest, WithoutAKeyringTheFileServes) {
    struct Case {
        const char* name;
        PrivateBus::Services services;
    };
    // Nothing on the bus at all; or a gnome-keyring the bus starts on demand that has no keyring
    // to store into (storing would mean asking the user to create one).
    const QList<Case> cases = {{"no Secret Service", PrivateBus::Services::none},
                               {"no default collection", PrivateBus::Services::startable}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir keyringHome;
        const ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(keyringHome.path()));
        const ScopedVariable runtime("XDG_RUNTIME_DIR", QFile::encodeName(keyringHome.path()));
        PrivateBus bus(c.services);
        ASSERT_FALSE(bus.address().isEmpty());
        QTemporaryDir files;
        const QString folder = files.filePath(QStringLiteral("credentials"));
        DesktopCredentials::Options o;
        o.busAddress = bus.address();
        o.folder = folder;
        o.timeoutMs = 15000;  // a keyring started on demand
        DesktopCredentials credentials(o);
        ASSERT_EQ(credentials.backend(), CredentialBackend::file);

        const auto store = credentials.store(service);
        EXPECT_EQ(blob(store->read()), std::nullopt);
        ASSERT_EQ(failure(store->write("first")), QString());
        ASSERT_EQ(failure(store->write("second")), QString());
        EXPECT_EQ(blob(store->read()), QByteArray("second"));
        const QString path = FileCredentials(folder).filePath();
        EXPECT_EQ(modeOf(folder), 0700u);
        EXPECT_EQ(modeOf(path), 0600u);
        EXPECT_TRUE(readAll(path).contains(QByteArray("second").toBase64()));
        EXPECT_EQ(failure(store->remove()), QString());
        EXPECT_EQ(failure(store->remove()), QString());
        EXPECT_EQ(blob(store->read()), std::nullopt);
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

TEST_F(DesktopCredentialsTest, AKeyringThatDoesNotAnswerFailsInsteadOfHanging) {
    PrivateBus bus(PrivateBus::Services::none);
    QDBusConnection keyringBus = bus.connect(QStringLiteral("silent-keyring"));
    // Its calls reach this thread, which is busy waiting for the answer: they go unanswered.
    QObject silent;
    ASSERT_TRUE(
        keyringBus.registerObject(keyring::kPath, &silent, QDBusConnection::ExportAllContents));
    ASSERT_TRUE(keyringBus.registerService(keyring::kName));

    DesktopCredentials::Options o;
    o.busAddress = bus.address();
    o.folder = folder;
    o.timeoutMs = 300;
    DesktopCredentials credentials(o);
    // Something owns the name: that is a keyring, only not answering now.
    EXPECT_EQ(credentials.backend(), CredentialBackend::secretService);
    const auto store = credentials.store(service);
    EXPECT_TRUE(failure(store->read()).contains(QStringLiteral("no answer")));
    EXPECT_TRUE(failure(store->write("lost?")).contains(QStringLiteral("no answer")));
    EXPECT_TRUE(failure(store->remove()).contains(QStringLiteral("no answer")));
    EXPECT_FALSE(QFileInfo::exists(folder));  // and no secret slipped into the file
}

TEST_F(DesktopCredentialsTest, SecretsStayInTheKeyringOrTheClosedFile) {
    const ScopedVariable data("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    const ScopedVariable config("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    const ScopedVariable cache("XDG_CACHE_HOME", QFile::encodeName(home.filePath("cache")));
    const ScopedVariable state("XDG_STATE_HOME", QFile::encodeName(home.filePath("state")));
    const QByteArray token = "tw-token-" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces);

    DesktopCredentials inKeyring;  // the process's defaults: the session bus, the data folder
    ASSERT_EQ(inKeyring.backend(), CredentialBackend::secretService);
    ASSERT_EQ(failure(inKeyring.store(service)->write(token)), QString());
    EXPECT_EQ(blob(inKeyring.store(service)->read()), token);

    PrivateBus noKeyring(PrivateBus::Services::none);
    DesktopCredentials::Options o;
    o.busAddress = noKeyring.address();
    DesktopCredentials inFile(o);
    ASSERT_EQ(inFile.backend(), CredentialBackend::file);
    ASSERT_EQ(failure(inFile.store(other)->write(token)), QString());

    const QString fallback = home.filePath("data/tarnwhistle/credentials/credentials.json");
    QStringList holders;
    QDirIterator files(home.path(), QDir::Files | QDir::Hidden | QDir::System,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QByteArray bytes = readAll(path);
        if (bytes.contains(token) || bytes.contains(token.toBase64())) holders << path;
    }
    EXPECT_EQ(holders, QStringList{fallback});
    EXPECT_EQ(modeOf(fallback), 0600u);
    EXPECT_EQ(modeOf(QFileInfo(fallback).absolutePath()), 0700u);
}
