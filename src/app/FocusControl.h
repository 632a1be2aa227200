#pragma once

// The three actions other programs can run on the timer: start a focus session (optionally with
// a length), pause or resume, and end the session. Each acts on the running copy's timer and
// answers with one short sentence for the caller to show or speak. They are offered on the
// session bus (interface dev.tarnwhistle.FocusControl at /dev/tarnwhistle/FocusControl under the
// bus name dev.tarnwhistle.app), on the command line (`tarnwhistle start-focus [MINUTES]`,
// `tarnwhistle pause-or-resume`, `tarnwhistle end-focus`) and as desktop-entry actions. None of
// them brings the application to the front. The command lines themselves are in CommandLine.h.

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <optional>

namespace tw {

class TimerModel;

// What an action answers: its sentence, and whether the request took effect or the timer
// already was as asked (false: refused, or no timer to ask).
struct FocusAnswer {
    QString sentence;
    bool tookEffect = false;
    friend bool operator==(const FocusAnswer&, const FocusAnswer&) = default;
};

// The bridge between the actions and the timer. It holds the timer weakly: before the
// application has handed it over, and once it is gone, every action answers
// "Tarnwhistle is not running.". Main thread only.
class FocusControl {
public:
    static constexpr int kMaxMinutes = 120;

    // The instance the running application hands its timer to.
    static FocusControl& shared();

    void setModel(TimerModel* model);
    TimerModel* model() const;

    // Without a length (none, 0 or below): refuses while a phase runs or is paused, drops a
    // waiting break, and starts the focus phase. With a length of 1 to 120 minutes: ends any
    // break (waiting, running or paused) without completing it, gives the focus phase that
    // length and starts it, or restarts it with that length when it already runs. A longer
    // length changes nothing.
    FocusAnswer answerStartFocus(std::optional<int> minutes);
    FocusAnswer answerPauseOrResume();
    FocusAnswer answerEndFocus();
    // The sentences alone.
    QString startFocus(std::optional<int> minutes) { return answerStartFocus(minutes).sentence; }
    QString pauseOrResume() { return answerPauseOrResume().sentence; }
    QString endFocus() { return answerEndFocus().sentence; }

    // The command-line names of the actions: "start-focus", "pause-or-resume", "end-focus".
    static bool isAction(const QString& name);
    // The action named `name` (`minutes` for start-focus; 0 or below: no length).
    FocusAnswer answer(const QString& name, int minutes);

    static QString notRunning();  // "Tarnwhistle is not running."

private:
    QPointer<TimerModel> model_;
};

// The actions on the session bus. Each method answers the sentence of its action; Run answers it
// with whether the request took effect, for the command line's exit status.
class FocusControlService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "dev.tarnwhistle.FocusControl")
public:
    static constexpr char kInterface[] = "dev.tarnwhistle.FocusControl";
    static constexpr char kObjectPath[] = "/dev/tarnwhistle/FocusControl";

    explicit FocusControlService(FocusControl& control, QObject* parent = nullptr);

    // Puts a service for `control` on `bus` at kObjectPath, owned by `owner` (it leaves the bus
    // with it). Answers null when the bus is not connected or the path is taken.
    static FocusControlService* publish(QDBusConnection bus, FocusControl& control, QObject* owner);

public Q_SLOTS:
    // 0 or below: no length.
    QString StartFocus(int minutes);
    QString PauseOrResume();
    QString EndFocus();
    // `action` is a command-line name of an action; an unknown one is an InvalidArgs error.
    QString Run(const QString& action, int minutes, bool& tookEffect);

private:
    FocusControl& control_;
};

}  // namespace tw
