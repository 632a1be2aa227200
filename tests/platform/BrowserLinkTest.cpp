// The pieces the browser host and the program share: frames, messages, the extension's identity,
// the private socket folder; and where the host manifests go.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"
#include "browserlink/LocalPeers.h"
#include "platform/linux/BrowserInstalls.h"

namespace tw::test {
namespace {

namespace bl = browserlink;
namespace bi = browserinstalls;

QByteArray lengthOf(quint32 n) {
    return QByteArray(reinterpret_cast<const char*>(&n), 4);
}

TEST(BrowserLinkFrames, CutsAStreamIntoMessagesWhateverTheChunks) {
    const QByteArray stream = bl::frame("{\"a\":1}") + bl::frame("") + bl::frame("[\"\u00e9\"]");
    // Every way of cutting the stream in two gives the same three messages.
    for (qsizetype cut = 0; cut <= stream.size(); ++cut) {
        bl::FrameReader reader;
        QList<QByteArray> out;
        reader.append(stream.left(cut));
        while (auto m = reader.next()) out.append(*m);
        reader.append(stream.mid(cut));
        while (auto m = reader.next()) out.append(*m);
        ASSERT_EQ(out.size(), 3) << cut;
        EXPECT_EQ(out[0], "{\"a\":1}");
        EXPECT_EQ(out[1], "");
        EXPECT_EQ(out[2], "[\"\u00e9\"]");
        EXPECT_EQ(reader.pendingBytes(), 0);
    }
}

TEST(BrowserLinkFrames, ALengthOverTheLimitBreaksTheStreamForGood) {
    bl::FrameReader reader;
    reader.append(lengthOf(bl::kMaxMessageBytes + 1) + QByteArray("xx"));
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(reader.broken());
    reader.append(bl::frame("{}"));
    EXPECT_FALSE(reader.next()) << "nothing after a broken length is trusted";

    bl::FrameReader atLimit;
    atLimit.append(lengthOf(bl::kMaxMessageBytes));
    EXPECT_FALSE(atLimit.next());
    EXPECT_FALSE(atLimit.broken()) << "the limit itself is allowed";
    EXPECT_TRUE(bl::frame(QByteArray(bl::kMaxMessageBytes + 1, 'x')).isEmpty());
}

TEST(BrowserLinkMessages, TheExtensionMaySendFocusAndAnswersOnly) {
    struct Case {
        const char* json;
        const char* decoded;  // the message as relayed, or nullptr when dropped
    } cases[] = {
        {R"({"type":"focus","focused":true})", R"({"focused":true,"type":"focus"})"},
        {R"({"type":"answer","id":3,"value":null})", R"({"id":3,"type":"answer","value":null})"},
        {R"({"type":"answer","id":4,"value":false})", R"({"id":4,"type":"answer","value":false})"},
        {R"({"type":"answer","id":5,"value":{"window":"1","tab":"2","url":"u","x":1}})",
         R"({"id":5,"type":"answer","value":{"tab":"2","url":"u","window":"1"}})"},
        {R"({"type":"answer","id":6,"error":"no"})", R"({"error":"no","id":6,"type":"answer"})"},
        {R"({"type":"answer","id":7})", nullptr},
        {R"({"type":"answer","id":"7","value":true})", nullptr},
        {R"({"type":"answer","id":1.5,"value":true})", nullptr},
        {R"({"type":"answer","id":8,"value":"page text"})", nullptr},
        {R"({"type":"answer","id":9,"value":{"window":1,"tab":"2","url":"u"}})", nullptr},
        {R"({"type":"focus","focused":"yes"})", nullptr},
        {R"({"type":"hello","protocol":1,"browser":"b","extension":"e","focused":true})", nullptr},
        {R"({"type":"request","id":1,"expected":null})", nullptr},
        {R"([1,2])", nullptr},
        {R"(not json)", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const auto m = bl::decodeFromExtension(c.json);
        ASSERT_EQ(m.has_value(), c.decoded != nullptr);
        if (!m) continue;
        const QByteArray relayed = std::visit([](const auto& x) { return bl::encode(x); }, *m);
        EXPECT_EQ(relayed, c.decoded);
    }
}

TEST(BrowserLinkMessages, RequestsAndGreetingsRoundTrip) {
    const bl::Request withTab{12, bl::Tab{QStringLiteral("1"), QStringLiteral("7"),
                                          QStringLiteral("https://example.org/a?b=\"c\"")}};
    const auto back = bl::decodeRequest(bl::encode(withTab));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->id, 12);
    EXPECT_EQ(back->expected, withTab.expected);
    const auto bare = bl::decodeRequest(bl::encode(bl::Request{13, std::nullopt}));
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->expected);
    EXPECT_FALSE(bl::decodeRequest(R"({"type":"request","id":1,"expected":{"window":"1"}})"));
    EXPECT_FALSE(bl::decodeRequest(R"({"type":"answer","id":1,"value":true})"));

    const auto hello = bl::decodeFromHost(bl::encode(
        bl::Hello{QStringLiteral("/usr/lib/chromium/chromium"), bl::chromiumOrigin(), true}));
    ASSERT_TRUE(hello);
    const auto* h = std::get_if<bl::Hello>(&*hello);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->browser, QStringLiteral("/usr/lib/chromium/chromium"));
    EXPECT_TRUE(h->focused);
    EXPECT_EQ(h->protocol, bl::kProtocol);
}

TEST(BrowserLinkIdentity, TheHostServesOurExtensionOnly) {
    const QString origin = bl::chromiumOrigin();
    const QString gecko = QLatin1String(bl::kFirefoxExtensionId);
    const QString manifest = QStringLiteral("/home/u/.mozilla/native-messaging-hosts/h.json");
    struct Case {
        QStringList arguments;
        std::optional<QString> extension;
    } cases[] = {
        {{origin}, origin},
        {{origin, QStringLiteral("--parent-window=0")}, origin},
        {{manifest, gecko}, gecko},
        {{QStringLiteral("chrome-extension://abcdefghijklmnopabcdefghijklmnop/")}, std::nullopt},
        {{origin.chopped(1)}, std::nullopt},
        {{QStringLiteral("chrome-extension://") + QLatin1String(bl::kChromiumExtensionId) +
          QStringLiteral("x/")},
         std::nullopt},
        {{manifest, QStringLiteral("other@example.org")}, std::nullopt},
        {{manifest, gecko, QStringLiteral("extra")}, std::nullopt},
        {{gecko}, std::nullopt},
        {{}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bl::extensionFromArguments(c.arguments), c.extension)
            << c.arguments.join(' ').toStdString();
    }
}

// The ids the host and the manifests name are the ones the extension's manifest gives it.
TEST(BrowserLinkIdentity, TheIdsMatchTheExtensionsManifest) {
    QFile file(QStringLiteral(TW_SOURCE_DIR "/browser-extension/manifest.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonObject m = QJsonDocument::fromJson(file.readAll()).object();
    const QByteArray key = QByteArray::fromBase64(m.value("key").toString().toLatin1());
    ASSERT_FALSE(key.isEmpty());
    QByteArray id = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(32);
    for (char& c : id) c = static_cast<char>('a' + QByteArray(1, c).toInt(nullptr, 16));
    EXPECT_EQ(id, QByteArray(bl::kChromiumExtensionId));
    EXPECT_EQ(m.value("browser_specific_settings").toObject().value("gecko").toObject().value("id"),
              QLatin1String(bl::kFirefoxExtensionId));
    const QJsonArray permissions = m.value("permissions").toArray();
    EXPECT_EQ(permissions, (QJsonArray{"tabs", "nativeMessaging"})) << "nothing else";
    EXPECT_FALSE(m.contains("host_permissions"));
    EXPECT_FALSE(m.contains("content_scripts"));
}

TEST(BrowserLinkSocketFolder, IsMadePrivateOrRefused) {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("run/tarnwhistle"));
    ASSERT_TRUE(bl::preparePrivateFolder(folder));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ASSERT_TRUE(bl::preparePrivateFolder(folder)) << "an open folder of ours is closed again";
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    QFile plain(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QString why;
    EXPECT_FALSE(bl::preparePrivateFolder(plain.fileName(), &why));
    EXPECT_FALSE(why.isEmpty());
    ASSERT_TRUE(QFile::link(folder, dir.filePath(QStringLiteral("link"))));
    EXPECT_FALSE(bl::preparePrivateFolder(dir.filePath(QStringLiteral("link"))))
        << "a link is not a folder of ours";
    if (::getuid() == 0) {
        const QString theirs = dir.filePath(QStringLiteral("theirs"));
        ASSERT_TRUE(QDir().mkpath(theirs));
        ASSERT_EQ(::chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
        EXPECT_FALSE(bl::preparePrivateFolder(theirs, &why));
        EXPECT_TRUE(why.contains(QStringLiteral("another user")));
    }
}

TEST(BrowserInstalls, ManifestsNameTheHostAndOurExtensionAlone) {
    const QString host = QStringLiteral("/opt/tarnwhistle/bin/tarnwhistle-browser-host");
    const QJsonObject chromium =
        QJsonDocument::fromJson(bi::manifest(FocusBrowser::chromium, host)).object();
    EXPECT_EQ(chromium.value("name"), QLatin1String(bl::kHostName));
    EXPECT_EQ(chromium.value("path"), host);
    EXPECT_EQ(chromium.value("type"), QStringLiteral("stdio"));
    EXPECT_EQ(chromium.value("allowed_origins"), QJsonArray{bl::chromiumOrigin()});
    EXPECT_FALSE(chromium.contains("allowed_extensions"));
    const QJsonObject firefox =
        QJsonDocument::fromJson(bi::manifest(FocusBrowser::firefox, host)).object();
    EXPECT_EQ(firefox.value("allowed_extensions"),
              QJsonArray{QLatin1String(bl::kFirefoxExtensionId)});
    EXPECT_FALSE(firefox.contains("allowed_origins"));

    const bi::Locations at{QStringLiteral("/h"), QStringLiteral("/h/.config")};
    struct Case {
        FocusBrowser browser;
        const char* folder;
    } cases[] = {
        {FocusBrowser::firefox, "/h/.mozilla/native-messaging-hosts"},
        {FocusBrowser::chrome, "/h/.config/google-chrome/NativeMessagingHosts"},
        {FocusBrowser::chromium, "/h/.config/chromium/NativeMessagingHosts"},
        {FocusBrowser::brave, "/h/.config/BraveSoftware/Brave-Browser/NativeMessagingHosts"},
        {FocusBrowser::edge, "/h/.config/microsoft-edge/NativeMessagingHosts"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bi::manifestFolders(c.browser, at), QStringList{QLatin1String(c.folder)});
    }
}

TEST(BrowserInstalls, InstallWritesEachBrowsersFolder) {
    QTemporaryDir dir;
    const bi::Locations at{dir.filePath("home"), dir.filePath("home/.config")};
    const QString host = QStringLiteral("/usr/bin/tarnwhistle-browser-host");
    for (FocusBrowser b : kAllFocusBrowsers) {
        ASSERT_TRUE(bi::installManifests(b, host, at));
        QFile f(bi::manifestFolders(b, at).first() + QLatin1Char('/') + bi::manifestFileName());
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << rawValue(b).toStdString();
        EXPECT_EQ(f.readAll(), bi::manifest(b, host));
    }
    // A folder that cannot be made is reported.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QString why;
    EXPECT_FALSE(bi::installManifests(FocusBrowser::firefox, host,
                                      {dir.filePath("blocked"), dir.filePath("x")}, &why));
    EXPECT_FALSE(why.isEmpty());
}

TEST(BrowserInstalls, FindsBrowsersByDesktopEntryAndExecutable) {
    QTemporaryDir dir;
    const QString apps = dir.filePath("applications");
    const QString bin = dir.filePath("bin");
    QDir().mkpath(apps);
    QDir().mkpath(bin);
    const auto touch = [](const QString& path, bool executable) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.close();
        if (executable) f.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    };
    touch(apps + "/brave-browser.desktop", false);
    touch(apps + "/firefox-esr.desktop", false);
    touch(apps + "/org.gnome.TextEditor.desktop", false);
    touch(bin + "/google-chrome-stable", true);
    touch(bin + "/chromium", false);  // not executable: not a browser
    EXPECT_EQ(
        bi::installedBrowsers({apps}, {bin}),
        (QList<FocusBrowser>{FocusBrowser::firefox, FocusBrowser::chrome, FocusBrowser::brave}));
    EXPECT_TRUE(bi::installedBrowsers({}, {}).isEmpty());
}

}  // namespace
}  // namespace tw::test
