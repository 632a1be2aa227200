#pragma once

// Starts one of the stand-in services of tests/standins (a small HTTPS server on 127.0.0.1 with a
// test certificate authority of its own) and talks to its control endpoints. The service stops
// when this object goes.

#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <optional>

namespace tw::test {

class StandIn {
public:
    // `script` names a file in tests/standins ("website.py"); `port` 0 takes any free port.
    explicit StandIn(const QString& script, int port = 0)
        : script_(QStringLiteral(TW_SOURCE_DIR "/tests/standins/") + script) {
        start(port);
    }
    ~StandIn() { stop(); }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    // The test authority's certificate file, and the certificates in it.
    const QString& caFile() const { return caFile_; }
    QList<QSslCertificate> authority() const { return QSslCertificate::fromPath(caFile_); }
    QUrl url(const QString& path = QStringLiteral("/")) const {
        return QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port_).arg(path));
    }

    // Stops the service (the network is cut); `start` brings it back on the same port with the
    // same authority, having forgotten what it was sent.
    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.closeWriteChannel();
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    bool start(int port) {
        port_ = 0;
        process_.setProgram(QStringLiteral("python3"));
        process_.setArguments({script_, QStringLiteral("--dir"), dir_.path(),
                               QStringLiteral("--port"), QString::number(port)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (!process_.waitForStarted(10000)) return false;
        QByteArray line;
        while (!line.endsWith('\n')) {
            if (!process_.waitForReadyRead(20000)) return false;
            line += process_.readLine();
        }
        const QJsonObject ready = QJsonDocument::fromJson(line).object();
        caFile_ = ready.value(QStringLiteral("ca")).toString();
        port_ = ready.value(QStringLiteral("port")).toInt();
        return port_ > 0;
    }
    bool restart() {
        const int port = port_;
        stop();
        return start(port);
    }

    // Every request the service was sent, oldest first: {method, path, headers, body}.
    QJsonArray requests() {
        return QJsonDocument::fromJson(call("GET", QStringLiteral("/requests"))).array();
    }
    // The requests to one path (without the query), in order.
    QJsonArray requestsTo(const QString& path) {
        QJsonArray out;
        for (const auto& r : requests()) {
            if (r.toObject().value(QStringLiteral("path")).toString().section(u'?', 0, 0) == path) {
                out.append(r);
            }
        }
        return out;
    }
    // The next `times` requests to `path` get this answer (see tests/standins/standin.py).
    void plan(QJsonObject plan) { call("POST", QStringLiteral("/plan"), plan); }
    void set(const QJsonObject& settings) { call("POST", QStringLiteral("/set"), settings); }
    void reset() { call("POST", QStringLiteral("/reset"), QJsonObject()); }

    // Adds the test authority to this process's default TLS configuration (never the system's),
    // keeping every authority added before, so that stand-ins of several suites are all trusted.
    void trustInThisProcess() const {
        QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
        trusted.addCaCertificates(authority());
        QSslConfiguration::setDefaultConfiguration(trusted);
    }

    // A TLS configuration that trusts the test authority, for the code under test.
    QSslConfiguration trusting() const {
        QSslConfiguration c = QSslConfiguration::defaultConfiguration();
        c.addCaCertificates(authority());
        return c;
    }

    // One request to the service, as its other clients make them (a phone joining an account),
    // answered before it returns; the event loop runs meanwhile. With `token`, the request is
    // made as the device that holds it.
    QByteArray send(const char* verb, const QString& path,
                    const std::optional<QJsonObject>& body = std::nullopt,
                    const std::optional<QString>& token = std::nullopt) {
        QNetworkAccessManager manager;
        QNetworkRequest request(url(path));
        request.setSslConfiguration(trusting());
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        if (token) request.setRawHeader("Authorization", "Bearer " + token->toUtf8());
        request.setTransferTimeout(10000);
        QNetworkReply* reply = manager.sendCustomRequest(
            request, verb,
            body ? QJsonDocument(*body).toJson(QJsonDocument::Compact) : QByteArray());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QByteArray data = reply->readAll();
        reply->deleteLater();
        return data;
    }

private:
    QByteArray call(const char* verb, const QString& path,
                    const std::optional<QJsonObject>& body = std::nullopt) {
        return send(verb, QStringLiteral("/_standin") + path, body);
    }

    QString script_;
    QTemporaryDir dir_;
    QProcess process_;
    QString caFile_;
    int port_ = 0;
};

}  // namespace tw::test
