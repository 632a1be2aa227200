#pragma once

// What the browser extension, the native host `tarnwhistle-browser-host` and the program say to
// each other. The extension speaks to the host over native messaging; the host relays over a
// local socket to the program, adding which browser it serves. Every message is one JSON object
// with a "type".
//
//   program → host → extension   {"type":"request","id":N,"expected":null|{"window","tab","url"}}
//   extension → host → program   {"type":"answer","id":N,"value":…}  or  {…,"error":"…"}
//   extension → host → program   {"type":"focus","focused":bool}
//   host → program (first)       {"type":"hello","protocol":1,"browser":"<executable>",
//                                  "extension":"<origin>","focused":bool}

#include <QJsonValue>
#include <QString>
#include <QStringList>
#include <optional>
#include <variant>

namespace tw::browserlink {

// The native messaging name of the host, as the extension asks for it and as the host manifests
// register it.
inline constexpr char kHostName[] = "dev.tarnwhistle.browser_host";
inline constexpr char kHostExecutableName[] = "tarnwhistle-browser-host";
// The extension's id in the Chromium family: the first 32 hex digits of the SHA-256 of the public
// key in its manifest ("key"), each digit 0-f written as a letter a-p.
inline constexpr char kChromiumExtensionId[] = "aonhbpggnakdglbcaellkkpbepnnngnl";
// The extension's id in Firefox (its manifest's gecko id).
inline constexpr char kFirefoxExtensionId[] = "browser@tarnwhistle.dev";
inline constexpr int kProtocol = 1;

// "chrome-extension://<id>/", as Chromium names the extension to the host.
QString chromiumOrigin();

// The extension that started the host, from the host's arguments (without the program's name):
// Chromium passes the extension's origin, Firefox the manifest's path and the extension's id.
// None when they name another extension.
std::optional<QString> extensionFromArguments(const QStringList& arguments);

// The folder of the program's socket: $XDG_RUNTIME_DIR/tarnwhistle, or a folder of this user
// under the temporary folder when the session has no runtime folder.
QString socketFolder();
inline constexpr char kSocketName[] = "browser-host.socket";

// A tab as the extension reads it; ids are text.
struct Tab {
    QString window;
    QString tab;
    QString url;
    friend bool operator==(const Tab&, const Tab&) = default;
};

struct Hello {
    QString browser;    // the executable of the browser process that started the host
    QString extension;  // the extension's origin or id
    bool focused = false;
    int protocol = kProtocol;
};
struct Focus {
    bool focused = false;
};
struct Request {
    qint64 id = 0;
    std::optional<Tab> expected;
};
struct Answer {
    qint64 id = 0;
    // The answer's JSON (null, a boolean or a tab object), or the reason it has none.
    std::variant<QJsonValue, QString> result;
};

QByteArray encode(const Hello& m);
QByteArray encode(const Focus& m);
QByteArray encode(const Request& m);
QByteArray encode(const Answer& m);

// What the extension may send; anything else is none.
std::optional<std::variant<Focus, Answer>> decodeFromExtension(const QByteArray& json);
// What the host may send to the program.
std::optional<std::variant<Hello, Focus, Answer>> decodeFromHost(const QByteArray& json);
// What the program may send to the extension.
std::optional<Request> decodeRequest(const QByteArray& json);

}  // namespace tw::browserlink
