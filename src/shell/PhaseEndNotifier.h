#pragma once

// The desktop notification at the end of a phase, so that a phase end is noticed without a sound
// device and after the completion card has gone. When a phase runs out and is announced, it asks
// the desktop to show "Focus complete" or "Break over" with the completion card's summary line
// and a button that starts the phase that follows ("Start break" / "Start focus", the card's own
// operation), in place of the last one it sent. It is sent while the card shows too; the desktop
// decides how to show it. The `phaseEndNotification` preference switches it off.
//
// The button acts only for the latest notification, once, and only while the timer still waits
// at the start of the phase it offers: a press that comes after that phase was started, skipped
// or changed some other way does nothing. Main thread only.

#include <QObject>
#include <QPointer>
#include <QString>
#include <optional>

#include "platform/Notifications.h"
#include "timer/TimerModel.h"

namespace tw {

class AppPreferences;

class PhaseEndNotifier : public QObject {
    Q_OBJECT
public:
    using Mode = TimerModel::Mode;

    // Who the notification comes from: the application's name, icon and desktop entry.
    static constexpr const char* kAppName = "Tarnwhistle";
    static constexpr const char* kAppID = "dev.tarnwhistle.app";
    static constexpr const char* kCategory = "x-tarnwhistle.phase";
    static constexpr const char* kStartNextKey = "start-next-phase";

    PhaseEndNotifier(TimerModel& model, AppPreferences& preferences, Notifications& notifications,
                     QObject* parent = nullptr);

    // The notification for the end of a phase of `ended` with `body`, taking the place of
    // `replacesID` (0: none).
    static NotificationRequest request(Mode ended, const QString& body, quint32 replacesID);
    // The completion card's summary line after a focus phase; empty after a break.
    static QString body(const TimerModel& model, Mode ended);

    // The notification the desktop shows for the last phase end, once the desktop has answered;
    // none before, after it was closed, or when the desktop showed none.
    std::optional<quint32> currentID() const { return current_; }

private:
    void notify(Mode ended);
    void onActionInvoked(quint32 id, const QString& actionKey);
    void onClosed(quint32 id);

    QPointer<TimerModel> model_;
    QPointer<AppPreferences> preferences_;
    QPointer<Notifications> notifications_;
    std::optional<quint32> current_;
    std::optional<Mode> offered_;  // the phase that ended, whose successor the button starts
    quint64 sends_ = 0;            // the answer of the latest request is the one that counts
};

}  // namespace tw
