#pragma once

// Helpers for the browser link's tests: the real `tarnwhistle-browser-host` run with this test
// standing in for the browser extension on its standard input and output (the synchronous calls
// into the program's browser automation are in common/RealBrowsers.h).

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <optional>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"
#include "common/RealBrowsers.h"
#include "common/TestSupport.h"
#include "platform/BrowserAutomation.h"

namespace tw::test {

// The host as a browser starts it, with this test in the browser's place.
class HostProcess {
public:
    HostProcess(const QStringList& arguments, const QString& runtimeDir) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        process.setProcessEnvironment(env);
        QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] {
            frames.append(process.readAllStandardOutput());
            while (auto m = frames.next()) received.append(*m);
        });
        process.start(kBrowserHost, arguments);
        process.waitForStarted(5000);
    }
    ~HostProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    static QStringList chromiumArguments() { return {browserlink::chromiumOrigin()}; }
    static QStringList firefoxArguments() {
        return {QStringLiteral("/home/u/.mozilla/native-messaging-hosts/x.json"),
                QLatin1String(browserlink::kFirefoxExtensionId)};
    }

    void send(const QByteArray& json) { process.write(browserlink::frame(json)); }
    void sendRaw(const QByteArray& bytes) { process.write(bytes); }
    void focus(bool focused) { send(browserlink::encode(browserlink::Focus{focused})); }
    void answer(qint64 id, const QJsonValue& value) {
        send(browserlink::encode(browserlink::Answer{id, value}));
    }
    // The next request the host passed on, waiting for it.
    std::optional<browserlink::Request> nextRequest(int timeoutMs = 10000) {
        if (!waitUntil([this] { return taken < received.size(); }, timeoutMs)) return {};
        return browserlink::decodeRequest(received[taken++]);
    }
    bool waitForExit(int timeoutMs = 10000) {
        return waitUntil([this] { return process.state() == QProcess::NotRunning; }, timeoutMs);
    }
    qint64 pid() const { return process.processId(); }

    QProcess process;
    browserlink::FrameReader frames;
    QList<QByteArray> received;
    qsizetype taken = 0;
};

}  // namespace tw::test
