// The widget program as a user runs it: its text modes against a suite file written here, and its
// window on the test desktop (run under scripts/with-desktop for those).
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>
#include <QRegion>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "common/CompositorSelection.h"
#include "common/TestSupport.h"
#include "platform/UserDefaults.h"
#include "platform/linux/X11CompositorWatch.h"
#include "widget/FocusWidgetSnapshot.h"
#include "widget/app/FocusWidgetWindow.h"

using namespace tw;
using tw::test::CompositorSelection;
using tw::test::waitUntil;

namespace {

const QString kWidget = QStringLiteral(TW_BIN_DIR "/tarnwhistle-widget");

double wallClock() {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

class WidgetProgram : public ::testing::Test {
protected:
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes;

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kWidget));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QString suitePath() const {
        return config.filePath(QStringLiteral("tarnwhistle/group.dev.tarnwhistle.app.json"));
    }
    QString positionPath() const {
        return config.filePath(QStringLiteral("tarnwhistle/tarnwhistle-widget.json"));
    }
    // Stores the snapshot the way the application does.
    void store(const FocusWidgetSnapshot& s) {
        UserDefaults suite(suitePath());
        suite.setData(QLatin1String(FocusWidgetSnapshot::kDefaultsKey), *s.encode());
    }

    QProcess* start(const QString& program, const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(program, args);
        EXPECT_TRUE(p->waitForStarted(5000));
        processes.push_back(std::move(p));
        return processes.back().get();
    }
    // Runs to the end and answers standard output; `code` receives the exit status.
    QString run(const QString& program, const QStringList& args, int* code = nullptr) {
        QProcess* p = start(program, args);
        EXPECT_TRUE(waitUntil([&] { return p->state() == QProcess::NotRunning; }));
        if (code) *code = p->exitCode();
        return QString::fromUtf8(p->readAllStandardOutput());
    }
};

TEST_F(WidgetProgram, PrintShowsTheRunningCountdown) {
    FocusWidgetSnapshot s;
    s.state = QStringLiteral("running");
    s.time = QStringLiteral("25:00");
    s.endDate = wallClock() + 600.5;
    store(s);
    int code = -1;
    const QString line = run(kWidget, {QStringLiteral("--print")}, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Focus (10:01|10:00|9:5\\d) · Focusing now\\n$"))
                    .match(line)
                    .hasMatch())
        << line.toStdString();
}

TEST_F(WidgetProgram, PrintShowsTheDefaultWhenNothingUsableIsStored) {
    const QString kDefault = QStringLiteral("Focus 25:00 · Ready when you are\n");
    EXPECT_EQ(run(kWidget, {QStringLiteral("--print")}), kDefault) << "no suite at all";

    // A suite the widget cannot read stays untouched.
    QDir().mkpath(QFileInfo(suitePath()).absolutePath());
    QFile f(suitePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\"focus-widget-snapshot\": {\"$data\": ");
    f.close();
    EXPECT_EQ(run(kWidget, {QStringLiteral("--print")}), kDefault) << "a damaged suite";
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("{\"focus-widget-snapshot\": {\"$data\": "));
    EXPECT_EQ(QDir(QFileInfo(suitePath()).absolutePath()).entryList(QDir::Files).size(), 1);

    FocusWidgetSnapshot paused;
    paused.state = QStringLiteral("paused");
    paused.time = QStringLiteral("3:10");
    store(paused);
    EXPECT_EQ(run(kWidget, {QStringLiteral("--print")}), QStringLiteral("Focus 3:10 · Paused\n"))
        << "the time left, not the phase length";
}

TEST_F(WidgetProgram, WaybarPrintsOneJsonObjectPerUpdate) {
    FocusWidgetSnapshot s;
    s.mode = QStringLiteral("Break");
    s.state = QStringLiteral("running");
    s.time = QStringLiteral("5:00");
    s.endDate = wallClock() + 150.5;
    s.phaseSeconds = 300;
    store(s);
    QProcess* p = start(kWidget, {QStringLiteral("--waybar")});
    ASSERT_TRUE(waitUntil([&] { return p->canReadLine(); }));
    const QByteArray line = p->readLine();
    const QJsonObject o = QJsonDocument::fromJson(line).object();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Break (2:31|2:30|2:2\\d)$"))
                    .match(o.value(QStringLiteral("text")).toString())
                    .hasMatch())
        << line.toStdString();
    EXPECT_EQ(o.value(QStringLiteral("class")).toString(), QStringLiteral("break"));
    EXPECT_EQ(o.value(QStringLiteral("tooltip")).toString(),
              QStringLiteral("Tarnwhistle: On a break"));
    EXPECT_NEAR(o.value(QStringLiteral("percentage")).toInt(), 50, 2);
    EXPECT_EQ(p->state(), QProcess::Running) << "it keeps running for the next update";
}

TEST_F(WidgetProgram, WaybarFollowsEachChangeOfTheSnapshotAtOnce) {
    // Nothing stored yet, not even the folder: the application has not run.
    QProcess* p = start(kWidget, {QStringLiteral("--waybar")});
    const auto nextLine = [&]() -> QString {
        // Every reload date lies a minute or more ahead: a line within seconds comes from the
        // change just written.
        if (!waitUntil([&] { return p->canReadLine(); }, 5000)) return QStringLiteral("(none)");
        const QJsonObject o = QJsonDocument::fromJson(p->readLine()).object();
        return o.value(QStringLiteral("text")).toString() + QLatin1Char(' ') +
               o.value(QStringLiteral("class")).toString();
    };
    const QRegularExpression running(QStringLiteral("^Focus 24:2[78] focus$"));
    EXPECT_EQ(nextLine(), QStringLiteral("Focus 25:00 idle"));

    FocusWidgetSnapshot s;
    s.state = QStringLiteral("running");
    s.endDate = wallClock() + 1467.5;
    store(s);
    QString line = nextLine();
    EXPECT_TRUE(running.match(line).hasMatch()) << "started: " << line.toStdString();

    s.state = QStringLiteral("paused");
    s.time = QStringLiteral("24:28");
    s.endDate.reset();
    store(s);
    EXPECT_EQ(nextLine(), QStringLiteral("Focus 24:28 paused"));

    s.state = QStringLiteral("running");
    s.endDate = wallClock() + 1467.5;
    store(s);
    line = nextLine();
    EXPECT_TRUE(running.match(line).hasMatch()) << "resumed: " << line.toStdString();
    EXPECT_EQ(p->state(), QProcess::Running);
}

TEST_F(WidgetProgram, UnknownOptionsAreRefused) {
    int code = -1;
    run(kWidget, {QStringLiteral("--frobnicate")}, &code);
    EXPECT_EQ(code, 2);
}

// The window on a real X server with a window manager.
class WidgetWindow : public WidgetProgram {
protected:
    void SetUp() override {
        if (!qEnvironmentVariableIsSet("DISPLAY"))
            GTEST_SKIP() << "needs the test desktop (run under scripts/with-desktop)";
        WidgetProgram::SetUp();
    }

    QString tool(const QString& program, const QStringList& args) {
        return run(program, args).trimmed();
    }
    // The visible window of the widget process `p`.
    QString windowOf(QProcess* p) {
        QString id;
        waitUntil([&] {
            id = tool(QStringLiteral("xdotool"),
                      {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--pid"), QString::number(p->processId())})
                     .section(QLatin1Char('\n'), 0, 0);
            return !id.isEmpty();
        });
        return id;
    }
    QPoint positionOf(const QString& window) {
        const QString shell = tool(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                               QStringLiteral("--shell"), window});
        const auto value = [&](const char* key) {
            const QRegularExpression re(QStringLiteral("^%1=(-?\\d+)$").arg(QLatin1String(key)),
                                        QRegularExpression::MultilineOption);
            return re.match(shell).captured(1).toInt();
        };
        return QPoint(value("X"), value("Y"));
    }
};

// The bounding shape of the X window `window` as the server holds it: where it is drawn.
QRegion boundingShape(const QString& window) {
    QRegion shape;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(c)) {
        std::free(xcb_xfixes_query_version_reply(
            c, xcb_xfixes_query_version(c, XCB_XFIXES_MAJOR_VERSION, XCB_XFIXES_MINOR_VERSION),
            nullptr));
        const xcb_xfixes_region_t region = xcb_generate_id(c);
        xcb_xfixes_create_region_from_window(c, region, window.toUInt(), XCB_SHAPE_SK_BOUNDING);
        if (auto* reply =
                xcb_xfixes_fetch_region_reply(c, xcb_xfixes_fetch_region(c, region), nullptr)) {
            const xcb_rectangle_t* r = xcb_xfixes_fetch_region_rectangles(reply);
            for (int i = 0; i < xcb_xfixes_fetch_region_rectangles_length(reply); ++i) {
                shape += QRect(r[i].x, r[i].y, r[i].width, r[i].height);
            }
            std::free(reply);
        }
        xcb_xfixes_destroy_region(c, region);
    }
    xcb_disconnect(c);
    return shape;
}

TEST_F(WidgetWindow, IsCutToItsRoundedOutlineWhileNoCompositorRuns) {
    if (X11CompositorWatch::compositorRuns()) GTEST_SKIP() << "a compositor runs already";
    QProcess* p = start(kWidget, {});
    const QString window = windowOf(p);
    ASSERT_FALSE(window.isEmpty());
    const QRegion outline = FocusWidgetWindow::outline(QSize(158, 158));
    EXPECT_TRUE(waitUntil([&] { return boundingShape(window) == outline; }))
        << "cut to the outline";
    // The corners are cut, the edges between them are not.
    EXPECT_FALSE(outline.contains(QPoint(0, 0)));
    EXPECT_FALSE(outline.contains(QPoint(157, 157)));
    for (const QPoint p : {QPoint(79, 0), QPoint(0, 79), QPoint(157, 79), QPoint(79, 157)}) {
        EXPECT_TRUE(outline.contains(p)) << p.x() << "," << p.y();
    }

    // A compositor starts: the whole window, its corners translucent. It exits: cut again.
    auto compositor = std::make_unique<CompositorSelection>();
    EXPECT_TRUE(waitUntil([&] { return boundingShape(window) == QRegion(0, 0, 158, 158); }))
        << "not cut while a compositor runs";
    compositor.reset();
    EXPECT_TRUE(waitUntil([&] { return boundingShape(window) == outline; })) << "cut again";
}

TEST_F(WidgetWindow, StaysBelowOnEveryWorkspaceOutOfTheTaskbarAndRemembersWhereItWasDragged) {
    QProcess* p = start(kWidget, {});
    const QString window = windowOf(p);
    ASSERT_FALSE(window.isEmpty());

    const QString props = tool(QStringLiteral("xprop"),
                               {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE"),
                                QStringLiteral("_NET_WM_DESKTOP")});
    // Sticky is asked for too, but window managers that keep windows on every workspace through
    // the desktop number alone (openbox) do not report it.
    for (const char* state :
         {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        EXPECT_TRUE(props.contains(QLatin1String(state))) << state << "\n" << props.toStdString();
    }
    EXPECT_TRUE(props.contains(QStringLiteral("_NET_WM_DESKTOP(CARDINAL) = 4294967295")))
        << props.toStdString();
    tool(QStringLiteral("xdotool"), {QStringLiteral("set_desktop"), QStringLiteral("2")});
    EXPECT_TRUE(waitUntil([&] {
        return tool(QStringLiteral("xdotool"), {QStringLiteral("get_desktop")}) ==
               QStringLiteral("2");
    }));
    EXPECT_EQ(windowOf(p), window) << "still shown on another workspace";
    tool(QStringLiteral("xdotool"), {QStringLiteral("set_desktop"), QStringLiteral("0")});

    // Near the top-right corner of the screen at first.
    const QPoint first = positionOf(window);
    EXPECT_EQ(first, QPoint(1920 - 158 - 24, 24));

    const QString x = QString::number(first.x() + 60);
    const QString y = QString::number(first.y() + 60);
    tool(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QStringLiteral("--sync"), x, y});
    tool(QStringLiteral("xdotool"), {QStringLiteral("mousedown"), QStringLiteral("1")});
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("mousemove"), QStringLiteral("--sync"),
          QString::number(first.x() + 60 - 400), QString::number(first.y() + 60 + 300)});
    tool(QStringLiteral("xdotool"), {QStringLiteral("mouseup"), QStringLiteral("1")});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(positionPath()); }));
    const QPoint moved(first.x() - 400, first.y() + 300);
    EXPECT_TRUE(waitUntil([&] { return positionOf(window) == moved; }));

    QFile f(positionPath());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QJsonObject stored = QJsonDocument::fromJson(f.readAll()).object();
    EXPECT_EQ(QPoint(stored.value(QStringLiteral("x")).toInt(),
                     stored.value(QStringLiteral("y")).toInt()),
              moved);
    EXPECT_FALSE(QFile::exists(suitePath())) << "the widget never writes the app's suite";

    // The next start puts it where it was left.
    p->kill();
    p->waitForFinished(5000);
    QProcess* again = start(kWidget, {});
    const QString second = windowOf(again);
    ASSERT_FALSE(second.isEmpty());
    EXPECT_EQ(positionOf(second), moved);
}

}  // namespace
