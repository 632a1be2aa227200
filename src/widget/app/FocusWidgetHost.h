#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

#include "widget/app/FocusWidgetProvider.h"

namespace tw {

// Plays the part of a widget host: asks the provider for a timeline, shows each entry from its
// date on, and asks for a fresh timeline once the reload date has passed or as soon as the stored
// snapshot changes. Between those moments nothing runs: one single-shot timer waits for the next
// of them, and the system tells of changes of the suite file (inotify).
class FocusWidgetHost : public QObject {
    Q_OBJECT
public:
    explicit FocusWidgetHost(const FocusWidgetProvider& provider, QObject* parent = nullptr);

    // Called with the entry to show: at the start, at each entry's date and after each reload.
    std::function<void(const FocusWidgetEntry&)> onEntry;

    // Starts watching the suite file, builds the first timeline and shows its current entry.
    void start();
    // What the timer does when it fires: reloads when the reload date has passed, shows the entry
    // due now, and waits for the next change. Public so that tests can drive it with their clock.
    void wake();

    const FocusWidgetTimeline& timeline() const { return timeline_; }
    // The moment the host will wake next.
    QDateTime nextWake() const { return nextWake_; }
    int reloads() const { return reloads_; }
    bool isWaiting() const { return timer_.isActive(); }
    // What is watched: the suite file while it exists, and its folder, or while that does not
    // exist the nearest folder above it that does.
    QStringList watchedPaths() const { return watcher_.files() + watcher_.directories(); }

private:
    void reload();
    void watchSuite();
    // The suite file or a folder on its way changed: checked once in a later turn of the event
    // loop, however many changes that turn reported.
    void scheduleSuiteCheck();
    void checkSuite();

    const FocusWidgetProvider& provider_;
    FocusWidgetTimeline timeline_;
    std::optional<FocusWidgetEntry> shown_;
    QDateTime nextWake_;
    int reloads_ = 0;
    QTimer timer_;
    QFileSystemWatcher watcher_;
    bool checkPending_ = false;
};

}  // namespace tw
