// The program's browser automation and the real `tarnwhistle-browser-host`, with this test in the
// browser extension's place on the host's standard input and output.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDirIterator>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

#include "platform/BrowserHostFixture.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/linux/ExtensionBrowserAutomation.h"

namespace tw::test {
namespace {

namespace bl = browserlink;

const BrowserTab kTab{QStringLiteral("3"), QStringLiteral("41"),
                      QStringLiteral("https://news.example.com/today?x=1")};

QJsonValue tabValue(const BrowserTab& t) {
    return QJsonObject{{"window", t.window}, {"tab", t.tab}, {"url", t.url}};
}

// The program's side listening in a private runtime folder; every host started by this test
// serves "Chromium" (its parent, this test, is no browser).
class BrowserHostLink : public ::testing::Test {
public:
    QTemporaryDir root;
    QString runtime = root.filePath(QStringLiteral("run"));
    FakeScheduler scheduler;
    std::unique_ptr<ExtensionBrowserAutomation> automation;
    std::vector<std::unique_ptr<HostProcess>> hosts;

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kBrowserHost));
        ASSERT_TRUE(QDir().mkpath(runtime));
    }

    ExtensionBrowserAutomation::Options options() const {
        ExtensionBrowserAutomation::Options o;
        o.hostExecutable = kBrowserHost;
        o.socketFolder = runtime + QStringLiteral("/tarnwhistle");
        o.manifests = browserinstalls::Locations{root.filePath(QStringLiteral("home")),
                                                 root.filePath(QStringLiteral("home/.config"))};
        o.applicationDirs = QStringList();
        o.searchPath = QStringList();
        o.browserOf = [](const QString&) { return std::optional(FocusBrowser::chromium); };
        return o;
    }
    void startProgram() {
        automation = std::make_unique<ExtensionBrowserAutomation>(scheduler, options());
        ASSERT_TRUE(automation->server().isListening())
            << automation->server().error().toStdString();
    }
    HostProcess& startHost(QStringList arguments = HostProcess::chromiumArguments()) {
        hosts.push_back(std::make_unique<HostProcess>(arguments, runtime));
        return *hosts.back();
    }
    bool connected(int count = 1) {
        return waitUntil([&] { return automation->server().hostPids().size() >= count; });
    }
    // Starts a request and returns the slot its reply lands in.
    std::shared_ptr<std::optional<BrowserReply>> start(const BrowserRequest& request) {
        auto reply = std::make_shared<std::optional<BrowserReply>>();
        automation->execute(request, [reply](BrowserReply r) { *reply = std::move(r); });
        return reply;
    }
};

TEST_F(BrowserHostLink, ReadsAndBlanksTheFrontTabThroughTheHost) {
    startProgram();
    HostProcess& host = startHost();
    ASSERT_TRUE(connected());

    auto read = start(frontTab(FocusBrowser::chromium));
    auto request = host.nextRequest();
    ASSERT_TRUE(request);
    EXPECT_FALSE(request->expected);
    host.answer(request->id, tabValue(kTab));
    ASSERT_TRUE(waitUntil([&] { return read->has_value(); }));
    EXPECT_EQ(text(*read), encodeBrowserTab(kTab));

    auto blank = start(frontTab(FocusBrowser::chromium, kTab));
    request = host.nextRequest();
    ASSERT_TRUE(request);
    ASSERT_TRUE(request->expected);
    EXPECT_EQ(request->expected->url, kTab.url);
    EXPECT_EQ(request->expected->tab, kTab.tab);
    host.answer(request->id, true);
    ASSERT_TRUE(waitUntil([&] { return blank->has_value(); }));
    EXPECT_EQ(text(*blank), "true");

    struct Case {
        std::optional<BrowserTab> expected;
        QJsonValue answer;
        QByteArray reply;
    } cases[] = {
        {std::nullopt, QJsonValue::Null, "null"},  // no window
        {kTab, false, "false"},                    // the tab moved on
        {kTab, QJsonValue::Null, "null"},
        {kTab, tabValue(kTab), "failure 1"},  // a tab where a yes or no belongs
        {std::nullopt, true, "failure 1"},
    };
    for (const Case& c : cases) {
        auto reply = start(frontTab(FocusBrowser::chromium, c.expected));
        request = host.nextRequest();
        ASSERT_TRUE(request);
        host.answer(request->id, c.answer);
        ASSERT_TRUE(waitUntil([&] { return reply->has_value(); }));
        EXPECT_EQ(text(*reply), c.reply);
    }

    // Nothing of what passed was written anywhere: not by the host, not into our folders.
    host.process.closeWriteChannel();
    ASSERT_TRUE(host.waitForExit());
    EXPECT_EQ(host.process.readAllStandardError(), QByteArray());
    QDirIterator files(root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile f(files.next());
        if (!f.open(QIODevice::ReadOnly)) continue;
        EXPECT_FALSE(f.readAll().contains("news.example.com")) << f.fileName().toStdString();
    }
}

TEST_F(BrowserHostLink, AnUnansweredRequestEndsAfterFourSecondsAndTheNextOneGoes) {
    startProgram();
    HostProcess& host = startHost();
    ASSERT_TRUE(connected());

    auto first = start(frontTab(FocusBrowser::chromium));
    auto second = start(frontTab(FocusBrowser::chromium));
    auto request = host.nextRequest();
    ASSERT_TRUE(request);
    EXPECT_FALSE(host.nextRequest(300)) << "one request at a time";
    host.answer(request->id + 100, tabValue(kTab));                // not the one asked: ignored
    host.send(R"({"type":"answer","id":1,"value":"page text"})");  // dropped by the host
    scheduler.advance(3.9);
    QCoreApplication::processEvents();
    EXPECT_FALSE(first->has_value());
    scheduler.advance(0.2);
    ASSERT_TRUE(first->has_value());
    const auto* failure = std::get_if<BrowserFailure>(&**first);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, BrowserFailure::noResponse);
    EXPECT_EQ(failure->description, QStringLiteral("Browser did not respond. Retrying\u2026"));

    const auto next = host.nextRequest();
    ASSERT_TRUE(next);
    host.answer(request->id, true);  // the late answer to the first: ignored
    host.send(R"({"type":"answer","id":)" + QByteArray::number(next->id) + R"(,"error":"x"})");
    ASSERT_TRUE(waitUntil([&] { return second->has_value(); }));
    EXPECT_EQ(text(*second), "failure 1") << "the extension's error is no answer";
}

TEST_F(BrowserHostLink, ABrowserWithoutTheExtensionIsNotConnected) {
    startProgram();
    // The request waits through the time limit for the browser's extension.
    const auto reply = start(frontTab(FocusBrowser::firefox));
    QCoreApplication::processEvents();
    scheduler.advance(BrowserAutomation::timeLimitSeconds - 0.5);
    QCoreApplication::processEvents();
    EXPECT_FALSE(reply->has_value());
    scheduler.advance(0.5);
    ASSERT_TRUE(reply->has_value());
    const auto* failure = std::get_if<BrowserFailure>(&**reply);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->code, -1743);
    EXPECT_EQ(failure->description,
              QStringLiteral("Browser extension not connected. Add the Tarnwhistle extension to "
                             "Firefox, then Retry."));

    // The probe writes the manifest, and answers true only once the extension is connected.
    EXPECT_EQ(text(call(*automation, probe(FocusBrowser::chromium))), "failure -1743");
    EXPECT_TRUE(QFile::exists(root.filePath(QStringLiteral(
        "home/.config/chromium/NativeMessagingHosts/dev.tarnwhistle.browser_host.json"))));
    startHost();
    ASSERT_TRUE(connected());
    EXPECT_EQ(text(call(*automation, probe(FocusBrowser::chromium))), "true");
    EXPECT_EQ(text(call(*automation, probe(FocusBrowser::firefox))), "failure -1743");
}

// A browser that was just started: its extension connects while the first request waits.
TEST_F(BrowserHostLink, ARequestWaitsWithinTheTimeLimitForTheBrowserToConnect) {
    startProgram();
    const auto read = start(frontTab(FocusBrowser::chromium));
    QCoreApplication::processEvents();
    scheduler.advance(BrowserAutomation::timeLimitSeconds - 0.5);
    HostProcess& host = startHost();
    const auto request = host.nextRequest();
    ASSERT_TRUE(request);
    host.answer(request->id, tabValue(kTab));
    ASSERT_TRUE(waitUntil([&] { return read->has_value(); }));
    EXPECT_EQ(text(*read), encodeBrowserTab(kTab));
}

TEST_F(BrowserHostLink, HostsDialAgainWhenTheProgramStartsOrRestarts) {
    HostProcess& host = startHost();  // before the program (and its folder) exist
    host.focus(true);
    startProgram();
    ASSERT_TRUE(connected());
    const qint64 firstPid = host.pid();

    // The program ends with a request in flight, and starts again.
    auto reply = start(frontTab(FocusBrowser::chromium));
    ASSERT_TRUE(host.nextRequest());
    automation.reset();
    EXPECT_FALSE(reply->has_value()) << "a program that ends answers nothing";

    startProgram();
    ASSERT_TRUE(connected());
    EXPECT_EQ(host.pid(), firstPid) << "the same host dialled again";
    // A host that goes with a request in flight: the request fails at once.
    reply = start(frontTab(FocusBrowser::chromium));
    const auto request = host.nextRequest();
    ASSERT_TRUE(request);
    host.process.kill();
    ASSERT_TRUE(waitUntil([&] { return reply->has_value(); }));
    EXPECT_EQ(text(*reply), "failure 1");
    EXPECT_TRUE(waitUntil([&] { return automation->server().connectedBrowsers().isEmpty(); }));
}

TEST_F(BrowserHostLink, WithSeveralProfilesTheFocusedOneAnswers) {
    startProgram();
    HostProcess& a = startHost();
    ASSERT_TRUE(connected(1));
    HostProcess& b = startHost();
    ASSERT_TRUE(connected(2));
    const auto answeredBy = [&](HostProcess& expected, HostProcess& other) {
        auto reply = start(frontTab(FocusBrowser::chromium));
        const auto request = expected.nextRequest();
        if (!request) return false;
        expected.answer(request->id, QJsonValue::Null);
        return waitUntil([&] { return reply->has_value(); }) && text(*reply) == "null" &&
               other.taken == other.received.size();
    };
    QSignalSpy changes(&automation->server(), &BrowserHostServer::connectionsChanged);
    a.focus(true);
    ASSERT_TRUE(waitUntil([&] { return changes.count() >= 1; }));
    EXPECT_TRUE(answeredBy(a, b));
    b.focus(true);
    a.focus(false);
    ASSERT_TRUE(waitUntil([&] { return changes.count() >= 3; }));
    EXPECT_TRUE(answeredBy(b, a));
    b.focus(false);  // no window of the browser has the focus: the last one that had it
    ASSERT_TRUE(waitUntil([&] { return changes.count() >= 4; }));
    EXPECT_TRUE(answeredBy(b, a));
}

TEST_F(BrowserHostLink, TheHostEndsWithItsInputAndOnBrokenFrames) {
    startProgram();
    struct Case {
        const char* name;
        QByteArray input;
        int status;
    } cases[] = {
        {"closed input", {}, 0},
        {"not ours, then closed", bl::frame("{\"type\":\"evil\"}") + bl::frame("[]"), 0},
        {"half a frame, then closed", bl::frame("{\"type\":\"focus\"").left(6), 0},
        {"a length over the limit", QByteArray("\xff\xff\xff\x7f", 4) + "{}", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostProcess host(HostProcess::chromiumArguments(), runtime);
        host.sendRaw(c.input);
        if (c.status == 0) host.process.closeWriteChannel();
        ASSERT_TRUE(host.waitForExit());
        EXPECT_EQ(host.process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.process.exitCode(), c.status);
    }
}

TEST_F(BrowserHostLink, TheHostRefusesToServeAnotherExtension) {
    startProgram();
    QSignalSpy refused(&automation->server(), &BrowserHostServer::peerRefused);
    const QStringList cases[] = {
        {QStringLiteral("chrome-extension://abcdefghijklmnopabcdefghijklmnop/")},
        {QStringLiteral("/home/u/.mozilla/native-messaging-hosts/h.json"),
         QStringLiteral("evil@example.org")},
        {},
    };
    for (const QStringList& arguments : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        HostProcess host(arguments, runtime);
        ASSERT_TRUE(host.waitForExit());
        EXPECT_EQ(host.process.exitCode(), 1);
        EXPECT_TRUE(host.process.readAllStandardError().contains("refusing"));
        EXPECT_TRUE(host.received.isEmpty());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(refused.count(), 0) << "it never even dialled";
    EXPECT_TRUE(automation->server().connectedBrowsers().isEmpty());
    // Firefox's form for our own extension is served.
    startHost(HostProcess::firefoxArguments());
    EXPECT_TRUE(connected());
}

TEST_F(BrowserHostLink, AProcessThatIsNotOurHostIsTurnedAway) {
    startProgram();
    QSignalSpy refused(&automation->server(), &BrowserHostServer::peerRefused);
    QLocalSocket impostor;
    impostor.connectToServer(automation->server().socketPath());
    ASSERT_TRUE(impostor.waitForConnected(5000));
    impostor.write(bl::frame(bl::encode(
        bl::Hello{QStringLiteral("/usr/lib/chromium/chromium"), bl::chromiumOrigin(), true})));
    ASSERT_TRUE(waitUntil([&] { return impostor.state() == QLocalSocket::UnconnectedState; }));
    ASSERT_EQ(refused.count(), 1);
    EXPECT_TRUE(refused.at(0).at(0).toString().contains(QStringLiteral("not the browser host")));
    EXPECT_TRUE(automation->server().connectedBrowsers().isEmpty());
    const auto reply = start(frontTab(FocusBrowser::chromium));
    QCoreApplication::processEvents();
    scheduler.advance(BrowserAutomation::timeLimitSeconds);
    EXPECT_EQ(text(*reply), "failure -1743");

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(options().socketFolder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u) << "only this user can reach the socket";
}

// A child process of another user: connects to the socket at `path`, sends a greeting and
// reports how it went: 10 connect refused by permissions, 11 connect failed otherwise, 0 the
// server closed the connection without a word, 2 the server sent something, 3 no end in time.
int connectAsAnotherUser(const QByteArray& path, const QByteArray& greeting) {
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(20);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::_exit(errno == EACCES ? 10 : 11);
        }
        (void)!::write(fd, greeting.constData(), greeting.size());
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) ::_exit(3);
        char byte;
        ::_exit(::read(fd, &byte, 1) > 0 ? 2 : 0);
    }
    int status = 0;
    waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 20000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(BrowserHostLink, AnotherUsersProcessCannotTalkToTheProgram) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    startProgram();
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    QSignalSpy refused(&automation->server(), &BrowserHostServer::peerRefused);
    const QByteArray socket = QFile::encodeName(automation->server().socketPath());
    const QByteArray hello = bl::frame(bl::encode(
        bl::Hello{QStringLiteral("/usr/lib/chromium/chromium"), bl::chromiumOrigin(), true}));
    ::chmod(QFile::encodeName(runtime).constData(), 0755);
    EXPECT_EQ(connectAsAnotherUser(socket, hello), 10) << "the private folder keeps it out";

    // Even with the folder and the socket opened up, the program turns the other user away.
    ::chmod(QFile::encodeName(options().socketFolder).constData(), 0755);
    ::chmod(socket.constData(), 0777);
    EXPECT_EQ(connectAsAnotherUser(socket, hello), 0);
    ASSERT_TRUE(waitUntil([&] { return refused.count() >= 1; }));
    EXPECT_TRUE(refused.at(0).at(0).toString().contains(QStringLiteral("user 65534")));
    EXPECT_TRUE(automation->server().connectedBrowsers().isEmpty());
}

TEST_F(BrowserHostLink, TheHostTalksOnlyToAProgramOfItsUser) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    // Another user listens where the host looks for the program.
    QTemporaryDir open;
    ::chmod(QFile::encodeName(open.path()).constData(), 0777);
    const QByteArray folder = QFile::encodeName(open.path() + QStringLiteral("/tarnwhistle"));
    const QByteArray path = folder + '/' + bl::kSocketName;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(20);
        ::mkdir(folder.constData(), 0777);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) ::_exit(21);
        ::chmod(path.constData(), 0777);
        if (::listen(fd, 4) != 0) ::_exit(22);
        (void)!::write(ready[1], "r", 1);
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0) ::_exit(3);
        const int c = ::accept(fd, nullptr, nullptr);
        pollfd q{c, POLLIN, 0};
        if (::poll(&q, 1, 10000) <= 0) ::_exit(3);
        char byte;
        ::_exit(::read(c, &byte, 1) > 0 ? 2 : 0);
    }
    ::close(ready[1]);
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    HostProcess host(HostProcess::chromiumArguments(), open.path());
    host.focus(true);
    int status = 0;
    ASSERT_TRUE(waitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 30000));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the host hung up without a word";
    QByteArray said;
    EXPECT_TRUE(waitUntil([&] {
        said += host.process.readAllStandardError();
        return said.contains("another user");
    }));
}

}  // namespace
}  // namespace tw::test
