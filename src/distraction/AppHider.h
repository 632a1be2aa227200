#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace tw {

class AppPreferences;
class ApplicationWatch;
class RunningApplications;
class Scheduler;
class TimerModel;
struct RunningApplication;

// While a focus phase runs, hides the applications on the user's hidden-apps list: those running
// when focus starts or resumes, those launched during focus (at once and again shortly after, for
// an application whose windows come late), and any of them brought to the front. Hiding is the
// desktop's ordinary hiding: nothing is quit, nothing is ever shown again by this object, and this
// program itself is never hidden. Launches and activations are followed only while focus runs.
class AppHider final : public QObject {
    Q_OBJECT
public:
    // `ownDesktopId` is this program's desktop entry id, `ownPid` its process.
    AppHider(AppPreferences& preferences, TimerModel& model, RunningApplications& applications,
             Scheduler& scheduler, QString ownDesktopId, qint64 ownPid, QObject* parent = nullptr);
    ~AppHider() override;

    // Follows the timer and the list; hides at once if focus is running. Called once.
    void start();

    // A focus phase is running (a paused one is not).
    bool isFocusRunning() const;
    // Focus is running and the id is a listed application other than this program.
    bool shouldHide(const QString& desktopId) const;
    // Hides one running application if it should be hidden and is not hidden already.
    void hideIfChosen(const RunningApplication& application);
    // Hides every running instance of every listed application, in list order, if focus runs.
    void hideChosenApps();

    // Launches and activations are being followed.
    bool isWatching() const { return watch_ != nullptr; }

    // The second attempt after a launch.
    static constexpr double secondAttemptSeconds = 0.6;

private:
    void stateChanged();
    void launched(const RunningApplication& application);

    AppPreferences& preferences_;
    TimerModel& model_;
    RunningApplications& applications_;
    Scheduler& scheduler_;
    QString ownDesktopId_;
    qint64 ownPid_;
    std::unique_ptr<ApplicationWatch> watch_;
    bool started_ = false;
};

}  // namespace tw
