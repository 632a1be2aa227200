#pragma once

// The program's end of the link to the browser extensions: a local socket in the user's runtime
// folder that only this user can open, where each running `tarnwhistle-browser-host` (one per
// browser profile with the extension) connects.

#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"
#include "platform/BrowserAutomation.h"

class QLocalSocket;

namespace tw {

class BrowserHostServer : public QObject {
    Q_OBJECT

public:
    using BrowserOfExecutable = std::function<std::optional<FocusBrowser>(const QString&)>;

    struct Options {
        // The folder of the socket; made private to this user. Empty: the session's.
        QString socketFolder;
        // The only program that may connect: our host, beside the program.
        QString hostExecutable;
        // Which browser a host serves, from the executable of the process that started it.
        // Empty: by the browsers' executable names.
        BrowserOfExecutable browserOf;
    };

    explicit BrowserHostServer(Options options, QObject* parent = nullptr);
    ~BrowserHostServer() override;

    bool isListening() const { return server_.isListening(); }
    // Why listening failed; empty while it listens.
    const QString& error() const { return error_; }
    QString socketPath() const;

    // The host that answers for `browser`: of several (one per profile), the one whose window
    // has the focus, else the one that had it last, else the newest.
    std::optional<quint64> connectionFor(FocusBrowser browser) const;
    QList<FocusBrowser> connectedBrowsers() const;
    // The process id of a connection's host; 0 when unknown.
    qint64 hostPid(quint64 connection) const;
    // The process ids of the greeted hosts.
    QList<qint64> hostPids() const;
    bool send(quint64 connection, const browserlink::Request& request);

Q_SIGNALS:
    void answered(quint64 connection, const tw::browserlink::Answer& answer);
    // A greeted connection ended.
    void closed(quint64 connection);
    // A host was greeted or went away, or a browser's focus moved.
    void connectionsChanged();
    // A process was turned away (another user, not our host, not a browser we serve, or it
    // spoke out of turn).
    void peerRefused(const QString& reason);

private:
    struct Connection {
        QPointer<QLocalSocket> socket;
        qint64 pid = 0;
        browserlink::FrameReader frames;
        std::optional<FocusBrowser> browser;  // set by the greeting
        bool focused = false;
        quint64 focusSerial = 0;  // when it last gained the focus
    };

    void accept();
    void read(quint64 id);
    void handle(quint64 id, Connection& c, const QByteArray& message);
    void refuse(QLocalSocket* socket, const QString& reason);
    void drop(quint64 id);
    void setFocus(Connection& c, bool focused);

    Options options_;
    QLocalServer server_;
    QString error_;
    QHash<quint64, Connection> connections_;
    quint64 nextId_ = 1;
    quint64 focusSerial_ = 0;
};

}  // namespace tw
