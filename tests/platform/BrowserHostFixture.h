#pragma once

// Helpers for the browser link's tests: the real `tarnwhistle-browser-host` run with this test
// standing in for the browser extension on its standard input and output, and a synchronous call
// into the program's browser automation.

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <optional>

#include "browserlink/Frames.h"
#include "browserlink/LinkMessages.h"
#include "common/TestSupport.h"
#include "platform/BrowserAutomation.h"

namespace tw::test {

inline const QString kBrowserHost = QStringLiteral(TW_BIN_DIR "/tarnwhistle-browser-host");

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

// Runs one request and waits for its answer.
inline std::optional<BrowserReply> call(BrowserAutomation& automation,
                                        const BrowserRequest& request, int timeoutMs = 10000) {
    std::optional<BrowserReply> reply;
    automation.execute(request, [&reply](BrowserReply r) { reply = std::move(r); });
    waitUntil([&reply] { return reply.has_value(); }, timeoutMs);
    return reply;
}

inline BrowserRequest frontTab(FocusBrowser browser, std::optional<BrowserTab> expected = {}) {
    return BrowserRequest{browser, BrowserRequest::Kind::frontTab, std::move(expected)};
}

inline BrowserRequest probe(FocusBrowser browser) {
    return BrowserRequest{browser, BrowserRequest::Kind::probe, std::nullopt};
}

// The answer's JSON text, or the failure as "failure <code>".
inline QByteArray text(const std::optional<BrowserReply>& reply) {
    if (!reply) return "no reply";
    if (const auto* bytes = std::get_if<QByteArray>(&*reply)) return *bytes;
    return "failure " + QByteArray::number(std::get<BrowserFailure>(*reply).code);
}

}  // namespace tw::test
