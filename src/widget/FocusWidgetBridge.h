#pragma once

#include <QObject>

#include "widget/FocusWidgetSnapshot.h"

namespace tw {

class TimerModel;
class UserDefaults;

// Publishes the timer's state for the desktop widget: a snapshot written into the app-group suite
// whenever the mode, the run state, the end date, the phase length or the history changes. It
// only writes; the widget computes its countdown from the end date, so the once-per-second ticks
// write nothing.
class FocusWidgetBridge : public QObject {
    Q_OBJECT
public:
    // Writes one snapshot at once and then one for the changes of each turn of the event loop,
    // written in a later turn so that it reads fully applied values.
    FocusWidgetBridge(TimerModel& model, UserDefaults& suite, QObject* parent = nullptr);

    // The snapshot of the model as it stands.
    FocusWidgetSnapshot currentSnapshot() const;
    // Builds the snapshot and stores it, replacing the previous one. Silent on failure: the
    // previous snapshot stays.
    void writeSnapshot();

private:
    void scheduleWrite();

    TimerModel& model_;
    UserDefaults& suite_;
    bool writePending_ = false;
};

}  // namespace tw
