#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <functional>
#include <optional>

#include "sync/NtfyReply.h"

namespace tw {

// Performs the HTTP request of one publish. Tests substitute their own.
class NtfyTransport : public QObject {
    Q_OBJECT
public:
    explicit NtfyTransport(QObject* parent = nullptr) : QObject(parent) {}
    ~NtfyTransport() override = default;

    // POSTs the JSON `body` to `server` itself (the topic is in the body). `done` is called once,
    // from the event loop, unless the transport goes away first.
    virtual void send(const QByteArray& body, const QUrl& server,
                      std::function<void(NtfyReply)> done) = 0;
};

}  // namespace tw
