#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <optional>

#include "support/Instant.h"
#include "sync/CloudError.h"

namespace tw {

// The website as the focus-event emitter sees it: whether events should go there, its clock, and
// the delivery of one event. The cloud client is the real one.
class EventDelivery : public QObject {
    Q_OBJECT
public:
    explicit EventDelivery(QObject* parent = nullptr) : QObject(parent) {}
    ~EventDelivery() override = default;

    // A valid credential is held.
    virtual bool connected() const = 0;
    // A phone may receive the events: the device list is not known yet, or it holds an iOS or
    // Android device.
    virtual bool hasPhone() const = 0;
    // The current moment on the website's clock (the local clock plus the learned offset).
    virtual Instant serverNow() const = 0;
    // Sends one event (its JSON object) to the website. `done` is called once, from the event
    // loop, with none on success or the failure.
    virtual void postEvent(const QByteArray& eventJson,
                           std::function<void(std::optional<CloudError>)> done) = 0;

Q_SIGNALS:
    void connectedChanged(bool connected);
};

}  // namespace tw
