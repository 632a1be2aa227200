#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTimeZone>
#include <functional>

#include "support/Instant.h"

namespace tw::test {

// Builds an Instant from local calendar fields in the given zone ("Europe/Berlin", "UTC").
inline Instant at(const char* zone, int y, int mo, int d, int h = 0, int mi = 0, double s = 0) {
    const QDateTime dt(QDate(y, mo, d), QTime(h, mi, 0), QTimeZone(QByteArray(zone)));
    return Instant::fromDateTime(dt) + s;
}

// Sets an environment variable for the life of the object and restores it after.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedVariable() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// Sets TZ for the scope of a test and restores it after.
class ScopedTimeZone : public ScopedVariable {
public:
    explicit ScopedTimeZone(const char* zone) : ScopedVariable("TZ", zone) {}
};

// Processes real events until `done` holds or the wall-clock deadline passes. For tests that
// talk to real processes and buses, never to wait for timer time to pass.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace tw::test
