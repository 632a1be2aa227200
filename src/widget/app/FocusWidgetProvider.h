#pragma once

#include <QString>

#include "widget/app/FocusWidgetTimeline.h"

namespace tw {

// Answers the widget's three questions (a placeholder, the current picture, a timeline) from the
// snapshot stored in the app-group suite, read afresh every time. It only reads: an unreadable or
// damaged suite is left as it is and the default snapshot is shown.
class FocusWidgetProvider {
public:
    // `suitePath` is the app-group suite file; empty means the standard location.
    explicit FocusWidgetProvider(QString suitePath = {}, WidgetClock clock = systemWidgetClock);

    const QString& suitePath() const { return suitePath_; }
    QDateTime now() const { return clock_(); }

    FocusWidgetEntry placeholder() const;
    FocusWidgetEntry snapshot() const;
    FocusWidgetTimeline timeline() const;

    FocusWidgetSnapshot load() const { return loadFrom(suitePath_); }
    // The stored snapshot of the suite file at `path`, or the default when the file is missing,
    // unreadable or not a suite, or holds no usable snapshot.
    static FocusWidgetSnapshot loadFrom(const QString& path);
    // $XDG_CONFIG_HOME/tarnwhistle/group.dev.tarnwhistle.app.json
    static QString defaultSuitePath();

private:
    QString suitePath_;
    WidgetClock clock_;
};

}  // namespace tw
