#pragma once

// Whether the desktop shows tray icons: a status-notifier host on the session bus or an XEmbed
// system tray. Without one the tray icon is nowhere to be seen, so nothing may rely on it.

#include <QObject>

namespace tw {

class TrayHost : public QObject {
    Q_OBJECT
public:
    explicit TrayHost(QObject* parent = nullptr) : QObject(parent) {}
    ~TrayHost() override = default;

    virtual bool available() const = 0;

Q_SIGNALS:
    void availabilityChanged(bool available);
};

}  // namespace tw
