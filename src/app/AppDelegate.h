#pragma once

#include <QDBusConnection>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Scheduler.h"
#include "platform/Sound.h"
#include "preferences/PreferenceTypes.h"

namespace tw {

class AppPreferences;
class CloudClient;
class ComputerName;
class CredentialStore;
class ApplicationWatch;
class BrowserAutomation;
class Confirmation;
class DesktopOpener;
class DNDSetup;
class DriftCounter;
class EventEmitter;
class DriftLog;
class FocusShortcuts;
class IslandController;
class TestimonialStore;
class FocusWidgetBridge;
class GlobalShortcuts;
class HotKeys;
class Notifications;
class NtfyNotifier;
class ProcessLauncher;
class RunningApplications;
class SiteBlocker;
class StatusService;
class SystemEvents;
class TickTickClient;
class TickTickFocusHook;
class TimerModel;
class UrlOpener;
class UserDefaults;

// What the delegate is built over. The program passes the real ones; tests pass fakes.
struct AppEnvironment {
    UserDefaults& standard;  // the standard defaults suite
    UserDefaults& appGroup;  // the suite shared with the desktop widget
    Scheduler& scheduler;
    SystemEvents& systemEvents;
    DriftLog& driftLog;
    HotKeys& hotKeys;                                   // the system-wide shortcuts
    Notifications& notifications;                       // the desktop's notifications
    std::function<std::unique_ptr<Sound>()> loadChime;  // may answer null
    std::function<void()> terminate;                    // ends the process's event loop
    // Where the showIsland request is heard and the status object is published; a disconnected
    // connection keeps the delegate off the bus.
    QDBusConnection sessionBus = QDBusConnection::sessionBus();
    // Builds the island (controller, panel and views) at launch; without it there is no island
    // (in-process tests of the delegate alone).
    std::function<std::unique_ptr<IslandController>(TimerModel&, AppPreferences&, Scheduler&,
                                                    const DriftLog*, TestimonialStore*, QObject*)>
        makeIsland;
    // Asks the quit question; without it a user's quit goes ahead unasked.
    Confirmation* confirmation = nullptr;
    // Starts the focus shortcuts tool `shortcutsTool`; without it no shortcut runs.
    ProcessLauncher* processes = nullptr;
    QString shortcutsTool;
    // The desktop's applications (the front one, launches, hiding); without them no application
    // is hidden and no browser is ever in front.
    RunningApplications* applications = nullptr;
    // Our browser extension; without it no site is blocked.
    BrowserAutomation* browsers = nullptr;
    // Monotonic seconds for the site blocker's warnings; without it, the scheduler's clock.
    std::function<double()> uptime;
    // Opens the prepared Do Not Disturb shortcuts with the desktop's handler, and the folder of
    // the shipped definitions; without an opener there is no set-up.
    DesktopOpener* opener = nullptr;
    QString resourcesFolder;
    // The website sync: the configured address (none: not configured), the keyring's store for a
    // service name, the browser for the website's one-time link and the computer's name. Without
    // them there is no cloud client.
    std::optional<QUrl> websiteURL;
    std::function<std::unique_ptr<CredentialStore>(const QString& service)> credentials;
    UrlOpener* urlOpener = nullptr;
    ComputerName* computerName = nullptr;
    // The TickTick API's base address; empty: the public one.
    QUrl tickTickURL;
};

// Answers "go on terminating" at most once, whichever of the clean-up chain and the time limit
// gets there first.
class QuitReply {
public:
    explicit QuitReply(std::function<void()> respond) : respond_(std::move(respond)) {}
    void send() {
        if (sent_) return;
        sent_ = true;
        if (respond_) respond_();
    }
    bool sent() const { return sent_; }

private:
    bool sent_ = false;
    std::function<void()> respond_;
};

// The root of the object graph: builds the preferences, creates every long-lived component the
// first time it is needed, runs the launch steps in their fixed order, follows the system events,
// and runs the confirmation and clean-up when the application quits.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    enum class QuitReason { user, system };  // system: shut-down, restart, log-out, SIGTERM
    enum class TerminateReply { now, cancel, later };

    static constexpr double kQuitTimeLimit = 5.0;

    explicit AppDelegate(AppEnvironment environment, QObject* parent = nullptr);
    ~AppDelegate() override;

    AppPreferences& preferences() { return *preferences_; }
    // Created on first use: loads the history and restores a saved session.
    TimerModel& model();
    bool hasModel() const { return model_ != nullptr; }
    IslandController* controller() const { return controller_.get(); }

    // The application's callbacks.
    void applicationDidFinishLaunching();
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    TerminateReply applicationShouldTerminate(QuitReason reason);
    void applicationWillTerminate();

    bool hasFinishedLaunching() const { return launched_; }
    bool isTerminating() const { return terminating_; }

    // Makes `configuration` the action's global shortcut if it can be (see GlobalShortcuts).
    bool applyShortcut(const ShortcutConfiguration& configuration, ShortcutAction action);
    // The registered global shortcuts; null before launch.
    GlobalShortcuts* globalShortcuts() const { return shortcuts_; }

    // The site blocker's warning for `ruleText` (none when the warning ends) with the seconds
    // left before the tab is blanked: the island shows it, and one countdown counts one drift.
    void handleSiteWarning(const std::optional<QString>& ruleText, int secondsLeft);
    // The drift counter of the model; made on first use.
    DriftCounter& drifts();
    // Null until launch, and without browser automation.
    SiteBlocker* siteBlocker() const { return siteBlocker_; }
    // The Do Not Disturb set-up the settings bind to; null until launch and without an opener.
    DNDSetup* dndSetup() const { return dndSetup_; }
    // The phone notifications through ntfy and the focus events; null until launch.
    NtfyNotifier* ntfy() const { return ntfy_; }
    EventEmitter* eventEmitter() const { return eventEmitter_; }
    CloudClient* cloudClient() const { return cloud_; }
    // The TickTick client (null without a keyring) and the task attached to focus.
    TickTickClient* tickTickClient() const { return tickTickClient_; }
    TickTickFocusHook* tickTick() const { return tickTick_; }

    static constexpr double kFinalUploadTimeout = 3.0;

Q_SIGNALS:
    // Another copy asked this one to show its island.
    void showIslandRequested();
    // The focus-start (true) or focus-end (false) Do Not Disturb shortcut is due.
    void focusShortcutRunRequested(bool focusing);

private Q_SLOTS:
    void onShowIsland();

private:
    // The launch steps, one per subsystem.
    void wireIntents();
    void wireDesktopWidget();
    void wireIsland();
    void wireTickTick();
    void listenForShowIsland();
    void wireSync();
    void wirePhaseEndNotification();
    void wireDistraction();
    void wireFocusShortcuts();
    void wireTray();
    void wireGlobalShortcuts();
    void followSystemEvents();

    void runFocusShortcuts(bool focusing);
    bool askToQuit();
    // The user's quit from a menu (the tray's or the island's), on a later event-loop turn.
    void queueUserQuit();
    void finishTermination();
    void publishOnBus();

    AppEnvironment env_;
    AppPreferences* preferences_ = nullptr;
    TimerModel* model_ = nullptr;
    StatusService* status_ = nullptr;
    FocusWidgetBridge* widgetBridge_ = nullptr;
    std::unique_ptr<TestimonialStore> testimonials_;
    std::unique_ptr<IslandController> controller_;
    GlobalShortcuts* shortcuts_ = nullptr;
    QList<QMetaObject::Connection> observers_;
    bool launched_ = false;
    bool terminating_ = false;
    bool terminated_ = false;
    bool ownsBusName_ = false;
    bool publishedObject_ = false;
    DriftCounter* drifts_ = nullptr;
    FocusShortcuts* focusShortcuts_ = nullptr;
    SiteBlocker* siteBlocker_ = nullptr;
    DNDSetup* dndSetup_ = nullptr;
    NtfyNotifier* ntfy_ = nullptr;
    EventEmitter* eventEmitter_ = nullptr;
    std::unique_ptr<CredentialStore> cloudStore_;
    std::unique_ptr<CredentialStore> cloudLedgerStore_;
    CloudClient* cloud_ = nullptr;
    std::unique_ptr<CredentialStore> tickTickStore_;
    TickTickClient* tickTickClient_ = nullptr;
    TickTickFocusHook* tickTick_ = nullptr;
    std::unique_ptr<ApplicationWatch> browserWatch_;  // held while the blocker follows the front
    std::shared_ptr<QuitReply> quitReply_;
    std::unique_ptr<ScheduledCall> quitDeadline_;
};

}  // namespace tw
