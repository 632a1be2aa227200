#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "common/TestSupport.h"
#include "island/IslandViewStyle.h"
#include "platform/UserDefaults.h"
#include "widget/app/FocusWidgetHost.h"
#include "widget/app/FocusWidgetProvider.h"
#include "widget/app/FocusWidgetTimeline.h"

namespace tw {
namespace {

using namespace widget_text;
using test::waitUntil;

const QDateTime kNow(QDate(2025, 3, 7), QTime(10, 0), QTimeZone::utc());

double unix(const QDateTime& t) {
    return static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0;
}

FocusWidgetSnapshot snapshot(const char* mode, const char* state,
                             std::optional<double> endInSeconds, qint64 phaseSeconds = 1500) {
    FocusWidgetSnapshot s;
    s.mode = QLatin1String(mode);
    s.state = QLatin1String(state);
    s.time = QStringLiteral("7:12");  // shown only while paused
    if (endInSeconds) s.endDate = unix(kNow) + *endInSeconds;
    s.phaseSeconds = phaseSeconds;
    return s;
}

FocusWidgetSnapshot paused(const char* mode, const char* time, qint64 phaseSeconds = 1500) {
    FocusWidgetSnapshot s = snapshot(mode, "paused", {}, phaseSeconds);
    s.time = QLatin1String(time);
    return s;
}

struct TimelineCase {
    const char* what;
    FocusWidgetSnapshot snapshot;
    int entries;
    const char* first;  // countdown of the first entry
    const char* last;   // countdown of the last entry
    const char* status;
    qint64 reloadAfter;
};

class FocusWidgetTimelineCases : public ::testing::TestWithParam<TimelineCase> {};

TEST_P(FocusWidgetTimelineCases, EntriesTheirCountdownsAndTheReloadDate) {
    const TimelineCase& c = GetParam();
    const FocusWidgetTimeline t = FocusWidgetTimeline::build(c.snapshot, kNow);
    ASSERT_EQ(static_cast<int>(t.entries.size()), c.entries) << c.what;
    for (std::size_t i = 0; i < t.entries.size(); ++i) {
        EXPECT_EQ(t.entries[i].date, kNow.addSecs(60 * static_cast<qint64>(i))) << c.what;
        EXPECT_EQ(t.entries[i].snapshot, c.snapshot) << c.what;
    }
    EXPECT_EQ(countdown(secondsShown(t.entries.front())), QLatin1String(c.first)) << c.what;
    EXPECT_EQ(countdown(secondsShown(t.entries.back())), QLatin1String(c.last)) << c.what;
    EXPECT_EQ(status(c.snapshot), QLatin1String(c.status)) << c.what;
    EXPECT_EQ(t.reloadAfter, kNow.addSecs(c.reloadAfter)) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FocusWidgetTimelineCases,
    ::testing::Values(
        TimelineCase{"nothing stored", FocusWidgetSnapshot::defaultSnapshot(), 1, "25:00", "25:00",
                     "Ready when you are", 900},
        TimelineCase{"focus ending in 10:30", snapshot("Focus", "running", 630), 11, "10:30",
                     "0:30", "Focusing now", 60},
        TimelineCase{"focus ending in 3 hours", snapshot("Focus", "running", 3 * 3600), 24,
                     "180:00", "157:00", "Focusing now", 60},
        TimelineCase{"focus whose end has passed", snapshot("Focus", "running", -5), 1, "0:00",
                     "0:00", "Focusing now", 60},
        TimelineCase{"break whose end has passed", snapshot("Break", "running", -90), 1, "0:00",
                     "0:00", "On a break", 60},
        TimelineCase{"end exactly now", snapshot("Focus", "running", 0), 1, "0:00", "0:00",
                     "Focusing now", 60},
        TimelineCase{"end in exactly a minute", snapshot("Focus", "running", 60), 1, "1:00", "1:00",
                     "Focusing now", 60},
        TimelineCase{"end just past a minute", snapshot("Break", "running", 60.2), 2, "1:01",
                     "0:01", "On a break", 60},
        TimelineCase{"running without an end date", snapshot("Focus", "running", {}, 2700), 1,
                     "45:00", "45:00", "Focusing now", 60},
        TimelineCase{"paused shows the time left when it paused, not the length of its phase",
                     paused("Focus", "24:28"), 1, "24:28", "24:28", "Paused", 900},
        TimelineCase{"paused, an end date left", snapshot("Focus", "paused", 300), 1, "7:12",
                     "7:12", "Paused", 900},
        TimelineCase{"paused break", paused("Break", "3:05", 300), 1, "3:05", "3:05", "Paused",
                     900},
        TimelineCase{"paused, time unreadable", paused("Break", "soon", 300), 1, "5:00", "5:00",
                     "Paused", 900},
        TimelineCase{"state compared exactly", snapshot("Focus", "Running", 630), 1, "25:00",
                     "25:00", "Ready when you are", 900},
        TimelineCase{"mode compared exactly", snapshot("focus", "running", 120), 2, "2:00", "1:00",
                     "On a break", 60},
        TimelineCase{"90 minutes idle", snapshot("Focus", "idle", {}, 5400), 1, "90:00", "90:00",
                     "Ready when you are", 900}));

TEST(FocusWidgetTimeline, SecondsAreRoundedUpAndNeverBelowZero) {
    const struct {
        double left;
        const char* shown;
    } cases[] = {{59.2, "1:00"},
                 {0.4, "0:01"},
                 {0.0, "0:00"},
                 {-0.4, "0:00"},
                 {5400, "90:00"},
                 {245, "4:05"},
                 {1e300, "153722867280912930:07"}};
    for (const auto& c : cases) {
        const FocusWidgetEntry e{kNow, snapshot("Focus", "running", c.left)};
        EXPECT_EQ(countdown(secondsShown(e)), QLatin1String(c.shown)) << c.left;
    }
}

TEST(FocusWidgetTimeline, PausedTimeIsReadAsMinutesAndSecondsElseThePhaseLengthIsShown) {
    const struct {
        const char* time;
        const char* shown;
    } cases[] = {{"24:28", "24:28"}, {"0:00", "0:00"},     {"84:10", "84:10"},
                 {"007:05", "7:05"}, {"7:60", "25:00"},    {"7:5", "25:00"},
                 {":05", "25:00"},   {"-1:00", "25:00"},   {"1:2x", "25:00"},
                 {"", "25:00"},      {"1:00:00", "25:00"}, {"1234567890123456:00", "25:00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(countdown(secondsShown({kNow, paused("Focus", c.time)})), QLatin1String(c.shown))
            << c.time;
    }
}

TEST(FocusWidgetTimeline, ModeLineIsUpperCaseInTheIslandsColourOfTheMode) {
    const auto focus = snapshot("Focus", "idle", {});
    const auto rest = snapshot("Break", "running", 60);
    EXPECT_EQ(modeLine(focus), QStringLiteral("FOCUS"));
    EXPECT_EQ(modeLine(rest), QStringLiteral("BREAK"));
    EXPECT_EQ(modeColor(focus), islandstyle::modeColor(TimerModel::Mode::focus));
    EXPECT_EQ(modeColor(rest), islandstyle::modeColor(TimerModel::Mode::rest));
    // A warm accent for focus, a green one for the break.
    const QColor warm = modeColor(focus);
    const QColor green = modeColor(rest);
    EXPECT_GT(warm.red(), warm.green());
    EXPECT_GT(warm.green(), warm.blue());
    EXPECT_GT(green.green(), green.red());
    EXPECT_GT(green.green(), green.blue());
}

TEST(FocusWidgetTimeline, TheEntryOnShowAndTheNextChange) {
    const auto t = FocusWidgetTimeline::build(snapshot("Focus", "running", 630), kNow);
    EXPECT_EQ(t.entryAt(kNow)->date, kNow);
    EXPECT_EQ(t.entryAt(kNow.addSecs(59))->date, kNow);
    EXPECT_EQ(t.entryAt(kNow.addSecs(150))->date, kNow.addSecs(120));
    EXPECT_EQ(t.entryAt(kNow.addSecs(-10))->date, kNow) << "a clock that went back";
    EXPECT_EQ(t.nextChange(kNow), kNow.addSecs(60));
    EXPECT_EQ(t.nextChange(kNow.addSecs(30)), kNow.addSecs(60));

    FocusWidgetTimeline spread = t;  // a later reload: the entries' dates are the changes
    spread.reloadAfter = kNow.addSecs(3600);
    EXPECT_EQ(spread.nextChange(kNow.addSecs(61)), kNow.addSecs(120));
    EXPECT_EQ(spread.nextChange(kNow.addSecs(600)), kNow.addSecs(3600));
}

TEST(FocusWidgetTimeline, TextFormsForStatusBars) {
    const FocusWidgetEntry running{kNow, snapshot("Focus", "running", 1453.2)};
    EXPECT_EQ(plainLine(running), QStringLiteral("Focus 24:14 · Focusing now"));
    EXPECT_EQ(plainLine({kNow, FocusWidgetSnapshot::defaultSnapshot()}),
              QStringLiteral("Focus 25:00 · Ready when you are"));

    const QJsonObject o = QJsonDocument::fromJson(waybarJson(running)).object();
    EXPECT_EQ(o.value(QStringLiteral("text")).toString(), QStringLiteral("Focus 24:14"));
    EXPECT_EQ(o.value(QStringLiteral("tooltip")).toString(),
              QStringLiteral("Tarnwhistle: Focusing now"));
    EXPECT_EQ(o.value(QStringLiteral("class")).toString(), QStringLiteral("focus"));
    EXPECT_EQ(o.value(QStringLiteral("percentage")).toInt(), 3);
    EXPECT_FALSE(waybarJson(running).contains('\n'));

    const struct {
        FocusWidgetSnapshot s;
        const char* cls;
        int percentage;
    } classes[] = {{snapshot("Break", "running", 150, 300), "break", 50},
                   {snapshot("Break", "running", -3, 300), "break", 100},
                   {paused("Focus", "24:28"), "paused", 2},
                   {paused("Break", "2:30", 300), "paused", 50},
                   {snapshot("Focus", "idle", {}), "idle", 0},
                   {snapshot("Focus", "stopped", 100), "idle", 0}};
    for (const auto& c : classes) {
        const QJsonObject w = QJsonDocument::fromJson(waybarJson({kNow, c.s})).object();
        EXPECT_EQ(w.value(QStringLiteral("class")).toString(), QLatin1String(c.cls)) << c.cls;
        EXPECT_EQ(w.value(QStringLiteral("percentage")).toInt(), c.percentage) << c.cls;
    }
}

// A suite file written the way the application writes it.
class SuiteFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("group.dev.tarnwhistle.app.json"));

    void writeRaw(const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void writeValue(const QJsonValue& value) {
        QJsonObject suite;
        suite.insert(QStringLiteral("unrelated"), 3);
        suite.insert(QLatin1String(FocusWidgetSnapshot::kDefaultsKey), value);
        writeRaw(QJsonDocument(suite).toJson());
    }
    void writeData(const QByteArray& data) {
        QJsonObject v;
        v.insert(QStringLiteral("$data"), QString::fromLatin1(data.toBase64()));
        writeValue(v);
    }
    void store(const FocusWidgetSnapshot& s) { writeData(*s.encode()); }
};

TEST_F(SuiteFile, LoadsTheStoredSnapshotAndFallsBackToTheDefaultOnAnyFault) {
    const auto running = snapshot("Break", "running", 200, 300);
    store(running);
    EXPECT_EQ(FocusWidgetProvider::loadFrom(path), running);

    const auto fallback = FocusWidgetSnapshot::defaultSnapshot();
    EXPECT_EQ(FocusWidgetProvider::loadFrom(dir.filePath(QStringLiteral("absent.json"))), fallback);
    const struct {
        const char* what;
        std::function<void()> write;
    } faults[] = {
        {"not JSON", [&] { writeRaw("{\"focus-widget-snapshot\": "); }},
        {"not an object", [&] { writeRaw("[1, 2]"); }},
        {"no snapshot key", [&] { writeRaw("{\"other\": 1}"); }},
        {"a string, not data", [&] { writeValue(QStringLiteral("Focus")); }},
        {"data with another key",
         [&] {
             QJsonObject v;
             v.insert(QStringLiteral("$data"), QString::fromLatin1(running.encode()->toBase64()));
             v.insert(QStringLiteral("more"), 1);
             writeValue(v);
         }},
        {"bad base64",
         [&] {
             QJsonObject v;
             v.insert(QStringLiteral("$data"), QStringLiteral("!!not base64!!"));
             writeValue(v);
         }},
        {"data that is not JSON", [&] { writeData("\x01\x02garbage"); }},
        {"snapshot without streak",
         [&] {
             QJsonObject o = QJsonDocument::fromJson(*running.encode()).object();
             o.remove(QStringLiteral("streak"));
             writeData(QJsonDocument(o).toJson());
         }},
    };
    for (const auto& f : faults) {
        f.write();
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        EXPECT_EQ(FocusWidgetProvider::loadFrom(path), fallback) << f.what;
        // The widget only reads: a damaged suite stays exactly where and as it is.
        file.seek(0);
        EXPECT_EQ(file.readAll(), before) << f.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1) << f.what;
    }
}

TEST_F(SuiteFile, ProviderAnswersFromTheSuiteAtItsClock) {
    QDateTime now = kNow;
    const FocusWidgetProvider provider(path, [&] { return now; });
    store(snapshot("Focus", "running", 630));

    EXPECT_EQ(provider.placeholder().snapshot, FocusWidgetSnapshot::defaultSnapshot());
    EXPECT_EQ(provider.placeholder().date, kNow);
    EXPECT_EQ(provider.snapshot().snapshot.state, QStringLiteral("running"));
    EXPECT_EQ(provider.timeline().entries.size(), 11u);

    now = kNow.addSecs(600);
    const auto later = provider.timeline();
    ASSERT_EQ(later.entries.size(), 1u);
    EXPECT_EQ(countdown(secondsShown(later.entries.front())), QStringLiteral("0:30"));
    EXPECT_EQ(later.reloadAfter, now.addSecs(60));
}

TEST_F(SuiteFile, HostShowsEachEntryAndReloadsAtTheReloadDate) {
    QDateTime now = kNow;
    const FocusWidgetProvider provider(path, [&] { return now; });
    FocusWidgetHost host(provider);
    std::vector<QString> shown;
    host.onEntry = [&](const FocusWidgetEntry& e) {
        shown.push_back(countdown(secondsShown(e)) + QLatin1Char(' ') + status(e.snapshot));
    };

    store(snapshot("Focus", "running", 630));
    host.start();
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("10:30 Focusing now")});
    EXPECT_EQ(host.nextWake(), kNow.addSecs(60));
    EXPECT_TRUE(host.isWaiting());

    // The application pauses. Should the word from the file system not come (no events are
    // handled here), the widget learns of it at its reload date.
    store(paused("Focus", "24:28"));
    now = kNow.addMSecs(59999);  // a timer that fires a little early finds nothing new
    host.wake();
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(host.reloads(), 1);
    EXPECT_EQ(host.nextWake(), kNow.addSecs(60));

    now = kNow.addSecs(60);
    host.wake();
    EXPECT_EQ(host.reloads(), 2);
    EXPECT_EQ(shown.back(), QStringLiteral("24:28 Paused"));
    EXPECT_EQ(host.nextWake(), now.addSecs(900));

    // Idle and paused timelines wait a quarter of an hour.
    store(snapshot("Focus", "running", 120));
    now = now.addSecs(899);
    host.wake();
    EXPECT_EQ(host.reloads(), 2);
    now = now.addSecs(1);
    host.wake();
    EXPECT_EQ(host.reloads(), 3);
    EXPECT_EQ(shown.back(), QStringLiteral("0:00 Focusing now")) << "its end passed meanwhile";
    EXPECT_EQ(shown.size(), 3u);
}

TEST_F(SuiteFile, HostShowsEveryChangeOfTheStoredSnapshotAtOnce) {
    // The suite's folder does not exist yet, as before the application first runs.
    const QString folder = dir.filePath(QStringLiteral("config/tarnwhistle"));
    path = folder + QStringLiteral("/group.dev.tarnwhistle.app.json");
    const FocusWidgetProvider provider(path, [] { return kNow; });
    FocusWidgetHost host(provider);
    std::vector<QString> shown;
    host.onEntry = [&](const FocusWidgetEntry& e) {
        shown.push_back(countdown(secondsShown(e)) + QLatin1Char(' ') + status(e.snapshot));
    };
    host.start();
    EXPECT_EQ(shown, std::vector<QString>{QStringLiteral("25:00 Ready when you are")});
    EXPECT_EQ(host.watchedPaths(), QStringList{dir.path()});

    // The clock stands still: every new entry comes from a change of the file.
    const auto storeAsTheApplication = [&](const FocusWidgetSnapshot& s) {
        UserDefaults(path).setData(QLatin1String(FocusWidgetSnapshot::kDefaultsKey), *s.encode());
    };
    const struct {
        const char* what;
        std::function<void()> write;
        const char* shown;
    } changes[] = {
        {"started: the folder and the file made",
         [&] { storeAsTheApplication(snapshot("Focus", "running", 630)); }, "10:30 Focusing now"},
        {"paused: the file replaced", [&] { storeAsTheApplication(paused("Focus", "10:28")); },
         "10:28 Paused"},
        {"resumed: replaced again",
         [&] { storeAsTheApplication(snapshot("Focus", "running", 628)); }, "10:28 Focusing now"},
        {"another key of the suite, then a break",
         [&] {
             UserDefaults(path).setInteger(QStringLiteral("unrelated"), 1);
             storeAsTheApplication(snapshot("Break", "running", 300, 300));
         },
         "5:00 On a break"},
        {"written in place", [&] { store(paused("Break", "4:10", 300)); }, "4:10 Paused"},
        {"removed", [&] { QFile::remove(path); }, "25:00 Ready when you are"},
    };
    for (const auto& c : changes) {
        const std::size_t before = shown.size();
        const int reloads = host.reloads();
        c.write();
        ASSERT_TRUE(waitUntil([&] { return shown.size() > before; }, 5000)) << c.what;
        EXPECT_EQ(shown.back(), QLatin1String(c.shown)) << c.what;
        EXPECT_EQ(host.reloads(), reloads + 1) << c.what << ": one reload for all its events";
        EXPECT_TRUE(host.watchedPaths().contains(folder)) << c.what;
    }
    EXPECT_EQ(shown.size(), std::size(changes) + 1) << "nothing shown twice";
    EXPECT_EQ(host.nextWake(), kNow.addSecs(900)) << "the reload date stays as the fallback";
}

}  // namespace
}  // namespace tw
