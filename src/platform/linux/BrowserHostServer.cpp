#include "platform/linux/BrowserHostServer.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalSocket>

#include "browserlink/LocalPeers.h"
#include "platform/RunningApplications.h"

namespace tw {

namespace bl = browserlink;

BrowserHostServer::BrowserHostServer(Options options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    if (options_.socketFolder.isEmpty()) options_.socketFolder = bl::socketFolder();
    if (!options_.browserOf) {
        options_.browserOf = [](const QString& executable) {
            RunningApplication app;
            app.executable = executable;
            return focusBrowserOf(app);
        };
    }
    connect(&server_, &QLocalServer::newConnection, this, &BrowserHostServer::accept);
    QString why;
    if (!bl::preparePrivateFolder(options_.socketFolder, &why)) {
        error_ = why;
        return;
    }
    // One program per desktop session listens here; a socket left by one that ended goes.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath())) error_ = server_.errorString();
}

BrowserHostServer::~BrowserHostServer() {
    for (Connection& c : connections_) {
        if (c.socket) c.socket->disconnect(this);
    }
    server_.close();
}

QString BrowserHostServer::socketPath() const {
    return options_.socketFolder + QLatin1Char('/') + QLatin1String(bl::kSocketName);
}

void BrowserHostServer::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        const auto peer = bl::peerCredentials(static_cast<int>(socket->socketDescriptor()));
        if (!peer) {
            refuse(socket, QStringLiteral("the peer's credentials cannot be read"));
            continue;
        }
        if (peer->uid != ::getuid()) {
            refuse(socket, QStringLiteral("the peer belongs to user %1").arg(peer->uid));
            continue;
        }
        if (!bl::runsExecutable(peer->pid, options_.hostExecutable)) {
            refuse(socket, QStringLiteral("the peer (%1) is not the browser host")
                               .arg(bl::executableOf(peer->pid)));
            continue;
        }
        const quint64 id = nextId_++;
        Connection& c = connections_[id];
        c.socket = socket;
        c.pid = peer->pid;
        connect(socket, &QLocalSocket::readyRead, this, [this, id] { read(id); });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] { drop(id); });
        if (socket->bytesAvailable() > 0) read(id);
    }
}

void BrowserHostServer::refuse(QLocalSocket* socket, const QString& reason) {
    socket->abort();
    socket->deleteLater();
    Q_EMIT peerRefused(reason);
}

void BrowserHostServer::read(quint64 id) {
    auto it = connections_.find(id);
    if (it == connections_.end() || !it->socket) return;
    it->frames.append(it->socket->readAll());
    while (true) {
        it = connections_.find(id);  // a handler may have dropped it
        if (it == connections_.end()) return;
        const auto message = it->frames.next();
        if (!message) break;
        handle(id, *it, *message);
    }
    if (it->frames.broken()) {
        Q_EMIT peerRefused(QStringLiteral("the host sent a message that is too long"));
        drop(id);
    }
}

void BrowserHostServer::handle(quint64 id, Connection& c, const QByteArray& message) {
    const auto decoded = bl::decodeFromHost(message);
    if (!decoded) return;  // not understood: ignored
    if (const auto* hello = std::get_if<bl::Hello>(&*decoded)) {
        if (c.browser) {
            Q_EMIT peerRefused(QStringLiteral("the host greeted twice"));
            drop(id);
            return;
        }
        const auto browser = options_.browserOf(hello->browser);
        if (!browser || hello->protocol != bl::kProtocol) {
            Q_EMIT peerRefused(QStringLiteral("the host serves a browser we do not"));
            drop(id);
            return;
        }
        c.browser = browser;
        setFocus(c, hello->focused);
        Q_EMIT connectionsChanged();
        return;
    }
    if (!c.browser) return;  // nothing counts before the greeting
    if (const auto* focus = std::get_if<bl::Focus>(&*decoded)) {
        setFocus(c, focus->focused);
        Q_EMIT connectionsChanged();
        return;
    }
    Q_EMIT answered(id, std::get<bl::Answer>(*decoded));
}

void BrowserHostServer::setFocus(Connection& c, bool focused) {
    if (focused && !c.focused) c.focusSerial = ++focusSerial_;
    c.focused = focused;
}

void BrowserHostServer::drop(quint64 id) {
    const auto it = connections_.find(id);
    if (it == connections_.end()) return;
    const bool greeted = it->browser.has_value();
    QLocalSocket* socket = it->socket;
    connections_.erase(it);
    if (socket) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    if (greeted) {
        Q_EMIT closed(id);
        Q_EMIT connectionsChanged();
    }
}

std::optional<quint64> BrowserHostServer::connectionFor(FocusBrowser browser) const {
    std::optional<quint64> best;
    const Connection* bestConnection = nullptr;
    for (auto it = connections_.cbegin(); it != connections_.cend(); ++it) {
        const Connection& c = it.value();
        if (c.browser != browser) continue;
        const auto rank = [](const Connection& x, quint64 id) {
            return std::tuple(x.focused, x.focusSerial, id);
        };
        if (!best || rank(c, it.key()) > rank(*bestConnection, *best)) {
            best = it.key();
            bestConnection = &c;
        }
    }
    return best;
}

QList<FocusBrowser> BrowserHostServer::connectedBrowsers() const {
    QList<FocusBrowser> out;
    for (FocusBrowser b : kAllFocusBrowsers) {
        if (connectionFor(b)) out.append(b);
    }
    return out;
}

qint64 BrowserHostServer::hostPid(quint64 connection) const {
    const auto it = connections_.find(connection);
    return it == connections_.end() ? 0 : it->pid;
}

QList<qint64> BrowserHostServer::hostPids() const {
    QList<qint64> out;
    for (const Connection& c : connections_) {
        if (c.browser) out.append(c.pid);
    }
    return out;
}

bool BrowserHostServer::send(quint64 connection, const bl::Request& request) {
    const auto it = connections_.find(connection);
    if (it == connections_.end() || !it->socket || !it->browser) return false;
    if (it->socket->write(bl::frame(bl::encode(request))) <= 0) return false;
    it->socket->flush();  // now, not at the next turn of the event loop
    return true;
}

}  // namespace tw
