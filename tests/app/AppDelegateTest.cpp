// The application delegate in this process, over fake time, fake system events and a fake chime.
#include <gtest/gtest.h>

#include <QFile>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "app/AppDelegate.h"
#include "app/DelegateFixture.h"
#include "app/SingleInstance.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeHotKeys.h"
#include "platform/fake/FakeScheduler.h"
#include "platform/fake/FakeSound.h"
#include "platform/fake/FakeSystemEvents.h"
#include "platform/linux/QtProcessLauncher.h"
#include "preferences/AppPreferences.h"
#include "support/Calendar.h"
#include "support/Uuid.h"
#include "timer/DriftLog.h"
#include "timer/SavedSession.h"
#include "timer/TimerModel.h"

using namespace tw;
using tw::test::at;
using tw::test::waitUntil;
using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;
using Reason = AppDelegate::QuitReason;
using Reply = AppDelegate::TerminateReply;

namespace {

const QString kSessionKey = QStringLiteral("activeTimerSession");

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// Runs what the event loop has queued (the clean-up chain hands over in two steps).
void drainEvents() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

// Answers the quit question once it is on screen, noting what it shows: the answer clicks a
// button, closes the window or does something else in its place. It watches only while it
// exists, so no answer spills into a later question.
class QuestionAnswerer {
public:
    explicit QuestionAnswerer(std::function<void(QMessageBox*)> answer)
        : answer_(std::move(answer)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
    }
    bool shown = false;
    QString text;
    QString informative;
    QStringList buttonsLeftToRight;

private:
    void poll() {
        if (!haveWidgets()) return;  // nothing can be shown, nothing to answer
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        timer_.stop();
        shown = true;
        text = box->text();
        informative = box->informativeText();
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](QAbstractButton* a, QAbstractButton* b) {
            return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
        });
        for (QAbstractButton* b : buttons) buttonsLeftToRight << b->text();
        answer_(box);
    }
    std::function<void(QMessageBox*)> answer_;
    QTimer timer_;
};

std::function<void(QMessageBox*)> click(const QString& label) {
    return [label](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
            if (b->text() == label) b->click();
    };
}

class Delegate : public tw::test::DelegateFixture {
protected:
    TimerModel& model() { return delegate->model(); }

    void saveSession(Mode mode, RunState state, qint64 remaining, QUuid id = newUuid()) {
        SavedSession s;
        s.id = id;
        s.mode = TimerModel::rawValue(mode);
        s.state = TimerModel::rawValue(state);
        s.remaining = remaining;
        const qint64 full = mode == Mode::focus ? 1500 : 300;
        if (state == RunState::running) {
            s.endDate = scheduler.now() + double(remaining);
            s.phaseStart = *s.endDate - double(full);
            if (mode == Mode::focus) s.focusSegmentStart = scheduler.now();
        } else {
            s.pausedElapsed = full - remaining;
        }
        s.phaseSeconds = full;
        standard.setData(kSessionKey, s.encode());
    }
};

}  // namespace

TEST_F(Delegate, LaunchCreatesTheModelWithTheChimeAndFollowsTheSystem) {
    AppDelegate& d = make();
    EXPECT_FALSE(d.hasModel());
    d.applicationDidFinishLaunching();
    ASSERT_TRUE(d.hasModel());
    EXPECT_TRUE(d.hasFinishedLaunching());
    model().playChime();
    EXPECT_EQ(chime.plays, 1);

    // Screen lock pauses running focus.
    model().toggle();
    ASSERT_EQ(model().runState(), RunState::running);
    events.emitScreenLocked();
    EXPECT_EQ(model().runState(), RunState::paused);

    // A short sleep moves the end later; a long one pauses.
    model().toggle();
    const Instant end = *model().endDate();
    events.emitWillSleep();
    scheduler.jumpTo(scheduler.now() + 60);
    events.emitDidWake();
    ASSERT_EQ(model().runState(), RunState::running);
    EXPECT_DOUBLE_EQ(*model().endDate() - end, 60.0);

    const qint64 left = model().remaining();
    events.emitWillSleep();
    scheduler.jumpTo(scheduler.now() + 600);
    events.emitDidWake();
    EXPECT_EQ(model().runState(), RunState::paused);
    EXPECT_EQ(model().remaining(), left);
}

TEST_F(Delegate, DayChangeTimeZoneAndActivationRollTheStatisticsDay) {
    using Emit = void (FakeSystemEvents::*)();
    const std::pair<const char*, Emit> cases[] = {
        {"day changed", &FakeSystemEvents::emitDayChanged},
        {"time zone changed", &FakeSystemEvents::emitTimeZoneChanged},
        {"became active", &FakeSystemEvents::emitBecameActive},
    };
    const Instant lateEvening = at("UTC", 2025, 3, 7, 23, 59, 50);
    const Instant march8 = at("UTC", 2025, 3, 8);
    for (const auto& [name, emit] : cases) {
        SCOPED_TRACE(name);
        scheduler.jumpTo(lateEvening);
        launch();
        scheduler.jumpTo(march8 + 20);
        EXPECT_EQ(model().statisticsDay(), at("UTC", 2025, 3, 7));
        (events.*emit)();
        EXPECT_EQ(model().statisticsDay(), march8);
    }
}

TEST_F(Delegate, RestoredRunningFocusRunsTheFocusStartShortcutOnce) {
    struct Case {
        const char* name;
        Mode mode;
        RunState state;
        std::vector<bool> expected;
    };
    const Case cases[] = {
        {"running focus", Mode::focus, RunState::running, {true}},
        {"paused focus", Mode::focus, RunState::paused, {}},
        {"running break", Mode::rest, RunState::running, {}},
        {"nothing saved", Mode::focus, RunState::idle, {}},
    };
    std::vector<bool> runs;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QUuid id = newUuid();
        standard.remove(kSessionKey);
        if (c.state != RunState::idle)
            saveSession(c.mode, c.state, c.mode == Mode::focus ? 600 : 200, id);
        make();
        runs.clear();
        QObject::connect(delegate.get(), &AppDelegate::focusShortcutRunRequested,
                         [&runs](bool focusing) { runs.push_back(focusing); });
        delegate->applicationDidFinishLaunching();
        EXPECT_EQ(runs, c.expected);
        EXPECT_EQ(model().runState(), c.state);
        if (c.state != RunState::idle) {
            EXPECT_EQ(model().sessionID(), id);
        }
    }

    // Afterwards focus activity keeps reaching the shortcuts.
    runs.clear();
    model().toggle();
    model().toggle();
    EXPECT_EQ(runs, (std::vector<bool>{true, false}));
}

TEST_F(Delegate, FocusRunsItsShortcutsAndQuitWaitsForTheEndOne) {
    // A stand-in shortcuts tool that logs each name it runs.
    const QString log = dir.filePath(QStringLiteral("shortcuts.log"));
    shortcutsTool = dir.filePath(QStringLiteral("shortcuts"));
    QFile tool(shortcutsTool);
    ASSERT_TRUE(tool.open(QIODevice::WriteOnly));
    tool.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$2\" >> '%1'\n").arg(log).toUtf8());
    tool.close();
    tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QtProcessLauncher launcher;
    processes = &launcher;
    const auto logged = [&] {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly)) return QStringList();
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    };

    launch();
    delegate->preferences().setFocusStartShortcut(QStringLiteral("DND On"));
    delegate->preferences().setFocusEndShortcut(QStringLiteral("DND Off"));
    model().toggle();
    ASSERT_TRUE(waitUntil([&] { return logged().size() == 1; }));
    EXPECT_EQ(logged(), QStringList{QStringLiteral("DND On")});

    // Quitting ends the session; the reply waits until its focus-end shortcut has run.
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::system), Reply::later);
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    EXPECT_EQ(logged(), (QStringList{QStringLiteral("DND On"), QStringLiteral("DND Off")}));
    delegate.reset();  // before the launcher it uses
}

TEST_F(Delegate, QuitWhileIdleAsksNothingAndTerminatesOnce) {
    launch();
    QuestionAnswerer question(click(QStringLiteral("Cancel")));
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::later);
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    drainEvents();
    scheduler.advance(10);
    EXPECT_EQ(terminations, 1);
    EXPECT_FALSE(question.shown);
}

TEST_F(Delegate, QuitDuringASessionAsksAndOnlyQuitGoesOn) {
    if (!haveWidgets()) GTEST_SKIP() << "needs a display (run under scripts/with-desktop)";
    launch();
    // A paused break with 4:30 left.
    model().skip();
    model().toggle();
    scheduler.advance(30);
    model().toggle();
    ASSERT_EQ(model().runState(), RunState::paused);
    const QUuid session = model().sessionID();

    const std::pair<const char*, std::function<void(QMessageBox*)>> refusals[] = {
        {"Cancel", click(QStringLiteral("Cancel"))},
        {"window closed", [](QMessageBox* box) { box->close(); }},
        {"asked again meanwhile",
         [this](QMessageBox* box) {
             // A second request while the question is open leaves it to that question.
             EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::cancel);
             EXPECT_EQ(QApplication::activeModalWidget(), box);
             click(QStringLiteral("Cancel"))(box);
         }},
    };
    for (const auto& [name, answer] : refusals) {
        SCOPED_TRACE(name);
        QuestionAnswerer question(answer);
        EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::cancel);
        EXPECT_TRUE(question.shown);
        EXPECT_EQ(question.text, QStringLiteral("Quit Tarnwhistle?"));
        EXPECT_EQ(question.informative, QStringLiteral("Quit and end the 4:30 break session?"));
        EXPECT_EQ(question.buttonsLeftToRight,
                  (QStringList{QStringLiteral("Cancel"), QStringLiteral("Quit")}));
        drainEvents();
        scheduler.advance(10);
        EXPECT_EQ(terminations, 0);
        EXPECT_EQ(model().runState(), RunState::paused);
        EXPECT_EQ(model().sessionID(), session);
        EXPECT_TRUE(standard.contains(kSessionKey));
    }

    // A running focus phase, then "Quit".
    model().resetSession();
    model().toggle();
    QuestionAnswerer question(click(QStringLiteral("Quit")));
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::later);
    EXPECT_EQ(question.informative, QStringLiteral("Quit and end the 25:00 focus session?"));
    EXPECT_EQ(model().runState(), RunState::idle);
    EXPECT_FALSE(standard.contains(kSessionKey));
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    // A second request while quitting neither asks nor terminates again.
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::later);
    drainEvents();
    scheduler.advance(10);
    EXPECT_EQ(terminations, 1);
}

TEST_F(Delegate, SystemQuitNeverAsksButEndsTheSession) {
    for (const bool throughEvent : {false, true}) {
        SCOPED_TRACE(throughEvent ? "session ending" : "system reason");
        terminations = 0;
        launch();
        model().toggle();
        ASSERT_TRUE(standard.contains(kSessionKey));
        QuestionAnswerer question(click(QStringLiteral("Cancel")));
        if (throughEvent)
            events.emitSessionEnding();
        else
            EXPECT_EQ(delegate->applicationShouldTerminate(Reason::system), Reply::later);
        EXPECT_TRUE(delegate->isTerminating());
        EXPECT_EQ(model().runState(), RunState::idle);
        EXPECT_FALSE(standard.contains(kSessionKey));
        ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
        drainEvents();
        EXPECT_FALSE(question.shown);
    }
}

TEST_F(Delegate, SessionEndingWhileTheQuestionIsOpenQuitsAtOnce) {
    if (!haveWidgets()) GTEST_SKIP() << "needs a display (run under scripts/with-desktop)";
    launch();
    model().toggle();
    QuestionAnswerer question([this](QMessageBox*) { events.emitSessionEnding(); });
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::user), Reply::later);
    EXPECT_TRUE(question.shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(model().runState(), RunState::idle);
    ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
    drainEvents();
    scheduler.advance(10);
    EXPECT_EQ(terminations, 1);
}

TEST_F(Delegate, TheTimeLimitTerminatesWhenTheCleanUpHangs) {
    launch();
    model().toggle();
    // The event loop does not run: the clean-up chain stays stuck.
    EXPECT_EQ(delegate->applicationShouldTerminate(Reason::system), Reply::later);
    scheduler.advance(4.99);
    EXPECT_EQ(terminations, 0);
    scheduler.advance(0.01);
    EXPECT_EQ(terminations, 1);
    drainEvents();  // the late chain finds the reply sent
    EXPECT_EQ(terminations, 1);
}

TEST_F(Delegate, DriftsCountOnlyDuringAFocusSession) {
    struct Case {
        const char* name;
        Mode mode;
        RunState state;
        std::optional<QString> rule;
        std::optional<QString> key;  // what the log gains, none when nothing is recorded
    };
    const Case cases[] = {
        {"running focus", Mode::focus, RunState::running, QStringLiteral("example.org"),
         QStringLiteral("example.org")},
        {"paused focus, typed address", Mode::focus, RunState::paused,
         QStringLiteral("https://www.Example.org/shorts/"), QStringLiteral("example.org")},
        {"text that is no rule", Mode::focus, RunState::running, QStringLiteral("not a rule"),
         QStringLiteral("not a rule")},
        {"idle focus", Mode::focus, RunState::idle, QStringLiteral("example.org"), std::nullopt},
        {"running break", Mode::rest, RunState::running, QStringLiteral("example.org"),
         std::nullopt},
        {"empty key", Mode::focus, RunState::running, QString(), std::nullopt},
        {"no rule", Mode::focus, RunState::running, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        standard.remove(kSessionKey);
        launch();
        if (c.mode == Mode::rest) model().skip();
        if (c.state != RunState::idle) model().toggle();
        if (c.state == RunState::paused) model().toggle();
        ASSERT_EQ(model().mode(), c.mode);
        ASSERT_EQ(model().runState(), c.state);
        const DriftLog::Days before = drifts.days();
        const qint64 count = model().driftsThisSession();

        delegate->handleSiteWarning(c.rule, 7);

        const QString day = Calendar::shared().dayKey(scheduler.now());
        if (c.key) {
            EXPECT_EQ(model().driftsThisSession(), count + 1);
            EXPECT_EQ(drifts.days().value(day).value(*c.key), before.value(day).value(*c.key) + 1);
        } else {
            EXPECT_EQ(model().driftsThisSession(), count);
            EXPECT_EQ(drifts.days(), before);
        }
    }
}

TEST_F(Delegate, OneCountdownIsOneDrift) {
    launch();
    model().toggle();
    const QString site = QStringLiteral("example.org");
    const QString other = QStringLiteral("example.net/shorts");
    const auto countdown = [&](const QString& rule, int from, int to) {
        for (int s = from; s >= to; --s) delegate->handleSiteWarning(rule, s);
    };
    const auto logged = [&](const char* key) {
        return drifts.days()
            .value(Calendar::shared().dayKey(scheduler.now()))
            .value(QString::fromLatin1(key));
    };

    countdown(site, 10, 1);  // blanked at the end
    delegate->handleSiteWarning(std::nullopt, 0);
    EXPECT_EQ(model().driftsThisSession(), 1);
    EXPECT_EQ(logged("example.org"), 1);

    countdown(site, 10, 6);
    countdown(site, 10, 8);   // another matching tab: the count starts over
    countdown(other, 10, 9);  // another rule takes its place
    delegate->handleSiteWarning(site, 9);
    delegate->handleSiteWarning(std::nullopt, 0);  // navigated away
    countdown(site, 3, 1);  // a new countdown, whatever count it is first seen at
    EXPECT_EQ(model().driftsThisSession(), 6);
    EXPECT_EQ(logged("example.org"), 5);
    EXPECT_EQ(logged("example.net"), 1);
}

TEST_F(Delegate, AnswersReopen) {
    launch();
    EXPECT_TRUE(delegate->applicationShouldHandleReopen(false));
    EXPECT_TRUE(delegate->applicationShouldHandleReopen(true));
}

TEST_F(Delegate, SessionBusCarriesShowIslandTheStatusAndQuit) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) GTEST_SKIP() << "no session bus (run under scripts/with-desktop)";
    launch(session);
    QSignalSpy shown(delegate.get(), &AppDelegate::showIslandRequested);

    const QString copy = QStringLiteral("second-copy");
    {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, copy);
        ASSERT_TRUE(other.isConnected());
        ASSERT_TRUE(waitUntil([&] {
            return other.interface()
                ->isServiceRegistered(QLatin1String(SingleInstance::kBusName))
                .value();
        }));
        SingleInstance::sendShowIsland(other);
        ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));

        // The calls are answered by this thread's event loop, so they run asynchronously.
        const auto property = [&](const char* name) {
            QDBusMessage get = QDBusMessage::createMethodCall(
                QLatin1String(SingleInstance::kBusName), QLatin1String(SingleInstance::kObjectPath),
                QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
            get << QLatin1String(SingleInstance::kInterface) << QLatin1String(name);
            QDBusPendingCall call = other.asyncCall(get);
            waitUntil([&] { return call.isFinished(); });
            return call.reply().arguments().value(0).value<QDBusVariant>().variant();
        };
        EXPECT_EQ(property("Mode").toString(), QStringLiteral("focus"));
        EXPECT_EQ(property("RunState").toString(), QStringLiteral("idle"));
        EXPECT_EQ(property("Remaining").toInt(), 1500);
        EXPECT_EQ(property("EndDate").toDouble(), 0.0);
        EXPECT_EQ(property("SessionID").toString(), uuidText(model().sessionID()));
        model().toggle();
        EXPECT_EQ(property("RunState").toString(), QStringLiteral("running"));
        EXPECT_DOUBLE_EQ(property("EndDate").toDouble(), model().endDate()->toUnix());

        // Quit over the bus is the user's quit; idle, so without a question.
        model().resetSession();
        QDBusPendingCall quit = other.asyncCall(QDBusMessage::createMethodCall(
            QLatin1String(SingleInstance::kBusName), QLatin1String(SingleInstance::kObjectPath),
            QLatin1String(SingleInstance::kInterface), QStringLiteral("Quit")));
        ASSERT_TRUE(waitUntil([&] { return terminations == 1; }));
        EXPECT_FALSE(quit.isError());
    }
    QDBusConnection::disconnectFromBus(copy);
    delegate.reset();
    EXPECT_FALSE(
        session.interface()->isServiceRegistered(QLatin1String(SingleInstance::kBusName)).value());
}

namespace {

// Counts the hand-overs a running copy hears.
class ShowCounter : public QObject {
    Q_OBJECT
public:
    int count = 0;
public Q_SLOTS:
    void seen() { ++count; }
};

// Collects the PropertiesChanged signals of the status object.
class PropertyWatcher : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> changes;

public Q_SLOTS:
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList& invalidated) {
        EXPECT_EQ(interface, QLatin1String(SingleInstance::kInterface));
        EXPECT_TRUE(invalidated.isEmpty());
        changes.append(changed);
    }
};

}  // namespace

TEST_F(Delegate, ACopyThatCannotOwnTheNameHandsOverAndLeavesTheTimerAlone) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) GTEST_SKIP() << "no session bus (run under scripts/with-desktop)";
    const QString name = QStringLiteral("running-copy");
    {
        QDBusConnection running = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        ASSERT_TRUE(running.registerService(QLatin1String(SingleInstance::kBusName)));
        ShowCounter shows;
        ASSERT_TRUE(running.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                                    QLatin1String(SingleInstance::kInterface),
                                    QLatin1String(SingleInstance::kShowIsland), &shows,
                                    SLOT(seen())));
        // A running focus phase, saved for the copy that owns the name.
        make();
        model().toggle();
        delegate.reset();
        const QString file = dir.filePath(QStringLiteral("dev.tarnwhistle.app.json"));
        ASSERT_TRUE(UserDefaults(file).data(QStringLiteral("activeTimerSession")).has_value());

        launch(session);
        EXPECT_EQ(terminations, 1);
        EXPECT_TRUE(waitUntil([&] { return shows.count == 1; }));
        // The saved session is still there for the copy that stays.
        EXPECT_TRUE(UserDefaults(file).data(QStringLiteral("activeTimerSession")).has_value());
        running.unregisterService(QLatin1String(SingleInstance::kBusName));
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST_F(Delegate, StatusChangesAreAnnouncedOncePerTurn) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected()) GTEST_SKIP() << "no session bus (run under scripts/with-desktop)";
    launch(session);
    const QString name = QStringLiteral("status-watcher");
    {
        QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, name);
        PropertyWatcher watcher;
        ASSERT_TRUE(other.connect(QString(), QLatin1String(SingleInstance::kObjectPath),
                                  QStringLiteral("org.freedesktop.DBus.Properties"),
                                  QStringLiteral("PropertiesChanged"), &watcher,
                                  SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        // A round trip, so that the match rule is in place before anything changes.
        other.interface()->isServiceRegistered(QLatin1String(SingleInstance::kBusName));

        // Starting changes the run state, the end date and the session at once: one signal.
        model().toggle();
        ASSERT_TRUE(waitUntil([&] { return !watcher.changes.isEmpty(); }));
        ASSERT_EQ(watcher.changes.size(), 1);
        const QVariantMap started = watcher.changes.takeFirst();
        EXPECT_EQ(started.value(QStringLiteral("RunState")).toString(), QStringLiteral("running"));
        EXPECT_DOUBLE_EQ(started.value(QStringLiteral("EndDate")).toDouble(),
                         model().endDate()->toUnix());
        EXPECT_FALSE(started.contains(QStringLiteral("Mode")));

        // The seconds of the countdown are not announced (a listener counts down to EndDate);
        // pausing is.
        scheduler.advance(1);
        model().toggle();
        ASSERT_TRUE(waitUntil([&] { return !watcher.changes.isEmpty(); }));
        const QVariantMap paused = watcher.changes.takeFirst();
        EXPECT_EQ(paused.value(QStringLiteral("RunState")).toString(), QStringLiteral("paused"));
        EXPECT_FALSE(paused.contains(QStringLiteral("Remaining")));
        EXPECT_TRUE(watcher.changes.isEmpty());
    }
    QDBusConnection::disconnectFromBus(name);
}

#include "AppDelegateTest.moc"
