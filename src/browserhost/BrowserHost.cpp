#include "browserhost/BrowserHost.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>

#include "browserlink/LinkMessages.h"
#include "browserlink/LocalPeers.h"

namespace tw::browserhost {

namespace bl = browserlink;

namespace {

constexpr int kFirstRedialMs = 250;
// The folder watch brings the program's start at once; the timer is only the fallback.
constexpr int kLastRedialMs = 30000;

void say(const char* text) {
    std::fprintf(stderr, "tarnwhistle-browser-host: %s\n", text);
}

}  // namespace

BrowserHost::BrowserHost(QString extension, QString browser, QString socketPath, int input,
                         int output, QObject* parent)
    : QObject(parent),
      extension_(std::move(extension)),
      browser_(std::move(browser)),
      socketPath_(std::move(socketPath)),
      output_(output),
      input_(input, QSocketNotifier::Read) {
    input_.setEnabled(false);
    connect(&input_, &QSocketNotifier::activated, this, &BrowserHost::readInput);
    redial_.setSingleShot(true);
    connect(&redial_, &QTimer::timeout, this, &BrowserHost::dial);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        watchForProgram();
        if (program_.state() == QLocalSocket::UnconnectedState) dial();
    });
    connect(&program_, &QLocalSocket::connected, this, &BrowserHost::connected);
    connect(&program_, &QLocalSocket::readyRead, this, &BrowserHost::readProgram);
    connect(&program_, &QLocalSocket::disconnected, this, &BrowserHost::lost);
    connect(&program_, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError) {
        if (program_.state() == QLocalSocket::UnconnectedState) lost();
    });
}

void BrowserHost::start() {
    input_.setEnabled(true);
    watchForProgram();
    dial();
}

void BrowserHost::readInput() {
    char buffer[64 * 1024];
    const ssize_t n = ::read(static_cast<int>(input_.socket()), buffer, sizeof buffer);
    if (n == 0) return quit(0);  // the browser closed the connection
    if (n < 0) {
        if (errno == EINTR || errno == EAGAIN) return;
        return quit(1);
    }
    extensionFrames_.append(QByteArray(buffer, static_cast<int>(n)));
    while (const auto message = extensionFrames_.next()) fromExtension(*message);
    if (extensionFrames_.broken()) {
        say("the browser sent a message longer than any the extension sends; stopping.");
        quit(1);
    }
}

void BrowserHost::fromExtension(const QByteArray& message) {
    const auto decoded = bl::decodeFromExtension(message);
    if (!decoded) return;  // not one of ours: dropped
    QByteArray relay;
    if (const auto* focus = std::get_if<bl::Focus>(&*decoded)) {
        focused_ = focus->focused;
        relay = bl::encode(*focus);
    } else {
        relay = bl::encode(std::get<bl::Answer>(*decoded));
    }
    if (!ready_) return;
    program_.write(bl::frame(relay));
    program_.flush();  // now, not at the next turn of the event loop
}

bool BrowserHost::toExtension(const QByteArray& message) {
    const QByteArray bytes = bl::frame(message);
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(output_, bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            quit(1);
            return false;
        }
        written += n;
    }
    return true;
}

void BrowserHost::dial() {
    redial_.stop();
    if (program_.state() != QLocalSocket::UnconnectedState) return;
    program_.connectToServer(socketPath_);
}

void BrowserHost::dialLater() {
    if (redial_.isActive()) return;
    redialMs_ = redialMs_ == 0 ? kFirstRedialMs : std::min(redialMs_ * 2, kLastRedialMs);
    redial_.start(redialMs_);
}

// Watches the socket's folder, or the nearest folder above it that exists, so that the program's
// socket appearing wakes the host at once.
void BrowserHost::watchForProgram() {
    QString folder = QFileInfo(socketPath_).absolutePath();
    while (!QFileInfo(folder).isDir() && folder.size() > 1) {
        folder = QFileInfo(folder).absolutePath();
    }
    const QStringList watched = watcher_.directories();
    if (watched.size() == 1 && watched.first() == folder) return;
    if (!watched.isEmpty()) watcher_.removePaths(watched);
    watcher_.addPath(folder);
}

void BrowserHost::connected() {
    // Only a program of this user may learn what this browser shows.
    const auto peer = bl::peerCredentials(static_cast<int>(program_.socketDescriptor()));
    if (!peer || peer->uid != ::getuid()) {
        say("the socket's owner is another user; not talking to it.");
        program_.abort();
        return;
    }
    redialMs_ = 0;
    ready_ = true;
    program_.write(bl::frame(bl::encode(bl::Hello{browser_, extension_, focused_})));
    program_.flush();
}

void BrowserHost::readProgram() {
    programFrames_.append(program_.readAll());
    while (const auto message = programFrames_.next()) {
        const auto request = bl::decodeRequest(*message);
        if (!request) continue;
        if (!toExtension(bl::encode(*request))) return;
    }
    if (programFrames_.broken()) program_.abort();
}

void BrowserHost::lost() {
    ready_ = false;
    programFrames_ = {};
    dialLater();
}

void BrowserHost::quit(int status) {
    input_.setEnabled(false);
    QCoreApplication::exit(status);
}

}  // namespace tw::browserhost
