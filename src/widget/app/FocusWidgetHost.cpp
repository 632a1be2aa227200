#include "widget/app/FocusWidgetHost.h"

#include <QFileInfo>
#include <QMetaObject>
#include <algorithm>

namespace tw {

namespace {

// Qt timers take an int of milliseconds; a longer wait is cut into pieces.
constexpr qint64 kLongestWaitMs = 24LL * 3600 * 1000;

}  // namespace

FocusWidgetHost::FocusWidgetHost(const FocusWidgetProvider& provider, QObject* parent)
    : QObject(parent), provider_(provider) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FocusWidgetHost::wake);
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this,
            &FocusWidgetHost::scheduleSuiteCheck);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this,
            &FocusWidgetHost::scheduleSuiteCheck);
}

void FocusWidgetHost::start() {
    shown_.reset();
    // Watched before the first read, so that a write in between is not missed.
    watchSuite();
    wake();
}

void FocusWidgetHost::watchSuite() {
    const QFileInfo suite(provider_.suitePath());
    // The application replaces the file (it writes a new one beside it and renames it over the
    // old), and the watch of a file stays with the old one: the folder tells of the new file, and
    // the file's own watch, made again after every change, of writes in place.
    const QString file = suite.absoluteFilePath();
    watcher_.removePath(file);
    if (suite.isFile()) watcher_.addPath(file);
    // Before the application first runs, the folder may not exist yet: the nearest one above it
    // that does tells of its making.
    QString folder = suite.absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder) return;
        folder = up;
    }
    const QStringList directories = watcher_.directories();
    for (const QString& d : directories) {
        if (d != folder) watcher_.removePath(d);
    }
    if (!directories.contains(folder)) watcher_.addPath(folder);
}

void FocusWidgetHost::scheduleSuiteCheck() {
    if (checkPending_) return;
    checkPending_ = true;
    // Queued to this object: a check still pending when the host goes away is dropped with it.
    QMetaObject::invokeMethod(this, &FocusWidgetHost::checkSuite, Qt::QueuedConnection);
}

void FocusWidgetHost::checkSuite() {
    checkPending_ = false;
    watchSuite();
    // Most changes in the folder (other files, the temporary file of a write) leave the snapshot
    // as it is; only a different one makes a new timeline.
    if (!shown_ || provider_.load() == shown_->snapshot) return;
    shown_.reset();
    wake();
}

void FocusWidgetHost::reload() {
    timeline_ = provider_.timeline();
    ++reloads_;
}

void FocusWidgetHost::wake() {
    QDateTime now = provider_.now();
    bool reloaded = false;
    if (!shown_ || now >= timeline_.reloadAfter) {
        reload();
        reloaded = true;
        now = provider_.now();
    }
    if (const FocusWidgetEntry* entry = timeline_.entryAt(now)) {
        // An early wake that finds the same entry on show draws nothing new.
        if (reloaded || !shown_ || !(*shown_ == *entry)) {
            shown_ = *entry;
            if (onEntry) onEntry(*entry);
        }
    }
    nextWake_ = timeline_.nextChange(now);
    // A timer may fire a little early; the next wake then finds nothing new and waits the rest.
    const qint64 waitMs = std::clamp<qint64>(now.msecsTo(nextWake_), 0, kLongestWaitMs);
    timer_.start(static_cast<int>(waitMs));
}

}  // namespace tw
