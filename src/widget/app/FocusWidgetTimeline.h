#pragma once

#include <QColor>
#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "widget/FocusWidgetSnapshot.h"

namespace tw {

// The widget's source of the current time; tests hand in fixed dates.
using WidgetClock = std::function<QDateTime()>;
QDateTime systemWidgetClock();

// The widget's identity as the desktop sees it.
struct TarnwhistleWidget {
    static constexpr char kind[] = "TarnwhistleWidget";
    static constexpr char displayName[] = "Tarnwhistle";
    static constexpr char description[] = "Your running focus session, right on the desktop.";
};

// One picture of the widget: the snapshot as shown from `date` on.
struct FocusWidgetEntry {
    QDateTime date;
    FocusWidgetSnapshot snapshot;
    friend bool operator==(const FocusWidgetEntry&, const FocusWidgetEntry&) = default;
};

// The entries to show one after the other, and the moment after which a fresh timeline is built.
struct FocusWidgetTimeline {
    static constexpr int kMaxEntries = 24;
    static constexpr qint64 kRunningReloadSeconds = 60;
    static constexpr qint64 kIdleReloadSeconds = 900;

    std::vector<FocusWidgetEntry> entries;
    QDateTime reloadAfter;

    // A running snapshot whose end lies ahead gets one entry a minute from `now` until the end
    // (at most 24); anything else gets one entry dated `now`. Reload after a minute while
    // running, after a quarter of an hour otherwise.
    static FocusWidgetTimeline build(const FocusWidgetSnapshot& snapshot, const QDateTime& now);

    // The entry on show at `now`: the last one dated at or before it (the first when the clock
    // has gone back). Null for an empty timeline.
    const FocusWidgetEntry* entryAt(const QDateTime& now) const;
    // The next moment something changes after `now`: the next entry's date or the reload date,
    // whichever comes first.
    QDateTime nextChange(const QDateTime& now) const;
};

// What one entry shows.
namespace widget_text {

// Running with an end date: the time from the entry's date to the end, rounded up, never below
// zero. Paused: the time left when it paused (the snapshot's time). Otherwise, and for a paused
// time that is not "%d:%02d", the phase length.
qint64 secondsShown(const FocusWidgetEntry& entry);
// "%d:%02d": whole minutes (not capped at 59), then seconds.
QString countdown(qint64 seconds);
QString status(const FocusWidgetSnapshot& snapshot);
QString modeLine(const FocusWidgetSnapshot& snapshot);
QColor modeColor(const FocusWidgetSnapshot& snapshot);

// The text forms for status bars: one plain line, and waybar's JSON object (one line).
QString plainLine(const FocusWidgetEntry& entry);
QString waybarClass(const FocusWidgetSnapshot& snapshot);
QByteArray waybarJson(const FocusWidgetEntry& entry);

}  // namespace widget_text

}  // namespace tw
