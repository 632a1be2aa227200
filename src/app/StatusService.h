#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

namespace tw {

class AppDelegate;

// The running copy's state on the session bus, at /dev/tarnwhistle/app under the interface
// dev.tarnwhistle.app: the timer's mode, run state, seconds left, end date (seconds since 1970,
// 0 when not running) and session identity, and Quit(), which quits the way the user does
// (asking first while a session runs). IslandRequested tells that a second copy asked this one
// to show its island. Every change of Mode, RunState, EndDate and SessionID is announced with the
// standard org.freedesktop.DBus.Properties.PropertiesChanged signal, the changes of one
// event-loop turn in one signal, so that scripts and status bars need not poll. Remaining is
// not announced (its introspection says so): it changes every second while a phase runs, and a
// listener counts down to EndDate instead of being woken, and waking this process, every second.
class StatusService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.tarnwhistle.app")
    Q_CLASSINFO("D-Bus Introspection",
                "  <interface name=\"dev.tarnwhistle.app\">\n"
                "    <property name=\"Mode\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"RunState\" type=\"s\" access=\"read\"/>\n"
                "    <property name=\"Remaining\" type=\"i\" access=\"read\">\n"
                "      <annotation name=\"org.freedesktop.DBus.Property.EmitsChangedSignal\" "
                "value=\"false\"/>\n"
                "    </property>\n"
                "    <property name=\"EndDate\" type=\"d\" access=\"read\"/>\n"
                "    <property name=\"SessionID\" type=\"s\" access=\"read\"/>\n"
                "    <signal name=\"IslandRequested\"/>\n"
                "    <method name=\"Quit\"/>\n"
                "  </interface>\n")
    Q_PROPERTY(QString Mode READ mode)
    Q_PROPERTY(QString RunState READ runState)
    Q_PROPERTY(int Remaining READ remaining)
    Q_PROPERTY(double EndDate READ endDate)
    Q_PROPERTY(QString SessionID READ sessionID)
public:
    // Announces its changes on `bus` at `objectPath`.
    StatusService(AppDelegate& delegate, QDBusConnection bus, QString objectPath);

    QString mode() const;
    QString runState() const;
    int remaining() const;
    double endDate() const;
    QString sessionID() const;

public Q_SLOTS:
    void Quit();

Q_SIGNALS:
    void IslandRequested();

private:
    void changed(const char* property);
    void announce();

    QPointer<AppDelegate> delegate_;
    QDBusConnection bus_;
    QString objectPath_;
    QStringList pending_;  // properties changed since the last announcement
};

}  // namespace tw
