#pragma once

#include <QObject>

namespace tw {

// What the desktop and the operating system tell the application: sleep and wake, the screen
// locking, the calendar day or the time zone changing, the application becoming active, and the
// session ending (shut-down, restart, log-out or a termination request), which quits without
// asking. Every signal is delivered on the main thread.
class SystemEvents : public QObject {
    Q_OBJECT
public:
    explicit SystemEvents(QObject* parent = nullptr) : QObject(parent) {}
    ~SystemEvents() override = default;

Q_SIGNALS:
    void willSleep();
    void didWake();
    void screenLocked();
    void dayChanged();
    void timeZoneChanged();
    void becameActive();
    void sessionEnding();
};

}  // namespace tw
