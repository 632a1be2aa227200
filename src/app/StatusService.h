#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace tw {

class AppDelegate;

// The running copy's state on the session bus, at /dev/tarnwhistle/app under the interface
// dev.tarnwhistle.app: the timer's mode, run state, seconds left, end date (seconds since 1970,
// 0 when not running) and session identity, and Quit(), which quits the way the user does
// (asking first while a session runs). IslandRequested tells that a second copy asked this one
// to show its island.
class StatusService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.tarnwhistle.app")
    Q_PROPERTY(QString Mode READ mode)
    Q_PROPERTY(QString RunState READ runState)
    Q_PROPERTY(int Remaining READ remaining)
    Q_PROPERTY(double EndDate READ endDate)
    Q_PROPERTY(QString SessionID READ sessionID)
public:
    explicit StatusService(AppDelegate& delegate);

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
    QPointer<AppDelegate> delegate_;
};

}  // namespace tw
