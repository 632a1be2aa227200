#include "widget/app/FocusWidgetHost.h"

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
}

void FocusWidgetHost::start() {
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
