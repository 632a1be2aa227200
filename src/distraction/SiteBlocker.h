#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "platform/BrowserAutomation.h"

namespace tw {

class AppPreferences;
class ScheduledCall;
class Scheduler;
class TimerModel;

// The warning under way: the tab that matched a blocked site and when it will be blanked.
struct PendingBlock {
    FocusBrowser browser = FocusBrowser::firefox;
    BrowserTab tab;
    QString rule;     // the stored entry of the matching rule
    double deadline;  // uptime seconds
};

// While a focus phase runs, watches the front tab of the frontmost supported browser once a
// second. A tab on a blocked site gets a ten-second warning, and if it is still on the page when
// the warning runs out it is pointed at "about:blank". It never reads page content and keeps no
// address; outward it reports the matching rule (`warning`, `blocked`) and a status per browser.
class SiteBlocker final : public QObject {
    Q_OBJECT

public:
    using Uptime = std::function<double()>;  // monotonic seconds
    using FrontBrowser = std::function<std::optional<FocusBrowser>()>;
    using Statuses = std::map<FocusBrowser, QString>;

    static constexpr double warningSeconds = 10.0;
    static constexpr double checkInterval = 1.0;
    static constexpr double retryDelay = 3.0;

    SiteBlocker(TimerModel& model, AppPreferences& preferences, BrowserAutomation& automation,
                Scheduler& scheduler, Uptime now, FrontBrowser frontBrowser,
                QObject* parent = nullptr);
    ~SiteBlocker() override;

    // Follows the model, the preferences and the front application, and decides once.
    void start();
    // Decides afresh whether checking runs; a warning showing ends and checks in flight go stale.
    void refresh();
    // Another application came to the front.
    void frontApplicationChanged() { queueRefresh(); }
    // The user asked to try a browser again.
    void retry(FocusBrowser browser);
    // Makes every installed browser able to reach the program and reports which are ready.
    void requestBrowserAccess();

    // The status text of each browser asked so far; a browser without one is "Not checked".
    const Statuses& browserStatus() const { return browserStatus_; }
    QString statusText(FocusBrowser browser) const;
    bool browserAccessGranted() const;

    // Set while the system sleeps and once quitting is confirmed; each change refreshes.
    bool suspended() const { return suspended_; }
    void setSuspended(bool suspended);

    // Whether the conditions for checking held at the last decision (a focus phase running with
    // sites to block): while they do, the front application is worth following.
    bool active() const { return active_; }

    const std::optional<PendingBlock>& pending() const { return pending_; }
    bool checking() const { return checkInFlight_; }
    bool probing() const { return probeInFlight_; }
    // Calls `done` from the event loop once neither a check nor a probe is in flight.
    void whenIdle(std::function<void()> done);

    static QString deniedStatus(FocusBrowser browser);

Q_SIGNALS:
    // The rule and the whole seconds left (10 down to 1) on every check while a warning runs;
    // none and 0 when the warning ends, blanked or not.
    void warning(const std::optional<QString>& rule, int secondsLeft);
    // A tab on `rule` was blanked.
    void blocked(const QString& rule);
    void browserStatusChanged(const tw::SiteBlocker::Statuses& status);
    void suspendedChanged(bool suspended);
    void activeChanged(bool active);

private:
    bool shouldBlock() const;
    void cancelPending();
    void stopTimer();
    void scheduleTick();
    void tick();
    void startCheck(FocusBrowser browser);
    bool isCurrent(FocusBrowser browser, quint64 generation) const;
    void readAnswered(FocusBrowser browser, quint64 generation, const BrowserReply& reply);
    void blankAnswered(FocusBrowser browser, quint64 generation, const QString& rule,
                       const BrowserReply& reply);
    void checkFailed(FocusBrowser browser, int code);
    void endCheck();
    void handleFailure(FocusBrowser browser, int code);
    void setStatus(FocusBrowser browser, const QString& text);
    void probeNext(quint64 probe, QList<FocusBrowser> remaining);
    void notifyIdle();
    void queueRefresh();

    TimerModel& model_;
    AppPreferences& preferences_;
    BrowserAutomation& automation_;
    Scheduler& scheduler_;
    Uptime now_;
    FrontBrowser frontBrowser_;

    Statuses browserStatus_;
    std::optional<PendingBlock> pending_;
    std::unique_ptr<ScheduledCall> timer_;
    bool checkInFlight_ = false;
    bool probeInFlight_ = false;
    quint64 probe_ = 0;  // the running probe; a new one makes the old one stop
    bool suspended_ = false;
    bool active_ = false;
    quint64 generation_ = 0;
    std::set<FocusBrowser> failed_;
    std::map<FocusBrowser, double> retryAfter_;
    bool refreshQueued_ = false;
    std::vector<std::function<void()>> idleWaiters_;
};

}  // namespace tw
