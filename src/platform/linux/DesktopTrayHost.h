#pragma once

#include <QDBusServiceWatcher>

#include "platform/TrayHost.h"

namespace tw {

// The tray host of this desktop as Qt finds it (a status-notifier watcher on the session bus, or
// an XEmbed system tray), asked again whenever the status-notifier watcher comes or goes on the
// bus (a desktop's tray extension switched on or off, a panel restarting).
class DesktopTrayHost final : public TrayHost {
    Q_OBJECT
public:
    explicit DesktopTrayHost(QObject* parent = nullptr);
    bool available() const override { return available_; }

private:
    void recheck();

    QDBusServiceWatcher watcher_;
    bool available_ = false;
};

}  // namespace tw
