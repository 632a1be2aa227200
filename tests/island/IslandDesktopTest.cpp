// The island on a real X server (run under scripts/with-desktop): the real panel, the X11 pointer
// monitor and Qt's timers, driven by real clicks through XTEST.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <functional>
#include <memory>

#include <xcb/xcb.h>

#include "app/LinuxDesktop.h"
#include "common/CompositorSelection.h"
#include "common/TestSupport.h"
#include "island/IslandController.h"
#include "island/IslandPanel.h"
#include "island/QtScreens.h"
#include "platform/UserDefaults.h"
#include "platform/fake/FakeSound.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/QtXcb.h"
#include "platform/linux/X11CompositorWatch.h"
#include "platform/linux/X11PointerMonitor.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw::test {
namespace {

// Stands in for the island views: a press on the closed island asks to open it.
class ClickToOpen final : public QWidget {
public:
    explicit ClickToOpen(IslandState& state) : state_(state) {}

protected:
    void mousePressEvent(QMouseEvent*) override {
        if (!state_.isExpanded()) state_.requestExpand();
    }

private:
    IslandState& state_;
};

// Sends what this process has queued for the X server and waits until the server has handled
// it, so that another client (xdotool, xprop) sees the windows as they are now: a click sent
// while the window's new input shape still sits in our buffer would go to the window below.
void syncWithServer() {
    QCoreApplication::processEvents();
    xcb_connection_t* c = qtXcbConnection();
    if (!c) return;
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QString run(const QString& program, const QStringList& args) {
    syncWithServer();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(10000)) return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

void clickAt(QPoint p) {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
         QStringLiteral("click"), QStringLiteral("1")});
}

// The island as the program makes it for the desktop, over its own preferences and a real-time
// scheduler.
class DesktopIsland {
public:
    explicit DesktopIsland(const std::function<void(AppPreferences&)>& configure = {}) {
        if (configure) configure(prefs);
        controller = desktopIslandFactory()(model, prefs, scheduler, nullptr, nullptr, nullptr);
        panel = dynamic_cast<IslandPanel*>(&controller->window());
    }

    UserDefaults defaults;
    AppPreferences prefs{defaults};
    QtScheduler scheduler;
    FakeSound::Log chime;
    TimerModel model{prefs, defaults, scheduler, std::make_unique<FakeSound>(&chime)};
    std::unique_ptr<IslandController> controller;
    IslandPanel* panel = nullptr;

    // Mapped and drawn on the X server.
    bool shown() const { return panel->isVisible() && panel->windowHandle()->isExposed(); }
};

// Away from where the island will be.
void movePointerAway() {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QStringLiteral("300"), QStringLiteral("700")});
}

class IslandDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
            QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X server (scripts/with-desktop)";
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
            GTEST_SKIP() << "needs xdotool and xprop";
        }
    }
};

TEST_F(IslandDesktopTest, PeekThenClickOpensAndClickElsewhereCloses) {
    DesktopIsland desk;
    IslandController* controller = desk.controller.get();
    IslandPanel* panel = desk.panel;
    const AppPreferences& prefs = desk.prefs;
    ASSERT_NE(panel, nullptr);
    auto* content = new ClickToOpen(controller->island());
    panel->setContentWidget(content);
    movePointerAway();
    controller->applyVisibility();
    controller->peek();
    ASSERT_TRUE(waitUntil([&] { return desk.shown(); }));
    EXPECT_TRUE(controller->island().isExpanded());
    EXPECT_FALSE(panel->isActiveWindow());  // the peek takes no focus

    // After the peek the collapsed pill sits at the top centre of the screen.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect expected =
        rectToQtGlobal(collapsedFrame(describeScreen(*screen), controller->island().metrics(),
                                      false, false, prefs.pillPositions()))
            .toRect();
    ASSERT_TRUE(waitUntil([&] { return !controller->island().isExpanded(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return panel->geometry() == expected; }, 5000))
        << "geometry " << panel->geometry().x() << "," << panel->geometry().y() << " "
        << panel->geometry().width() << "x" << panel->geometry().height();
    EXPECT_EQ(panel->geometry().center().x(), screen->geometry().center().x());
    EXPECT_LT(panel->geometry().top(), screen->geometry().top() + 40);

    // Where the X server put the window, and the window manager's states.
    const QString id = QString::number(panel->winId());
    ASSERT_TRUE(waitUntil([&] {
        const QString info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
        return info.contains(QStringLiteral("Absolute upper-left X:  %1").arg(expected.x())) &&
               info.contains(QStringLiteral("Absolute upper-left Y:  %1").arg(expected.y()));
    }));
    // Above everything, out of the task bar and the pager, on every workspace (openbox has no
    // sticky state; it keeps the window on all desktops through _NET_WM_DESKTOP).
    QString states;
    ASSERT_TRUE(waitUntil([&] {
        states = run(QStringLiteral("xprop"),
                     {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_STATE"),
                      QStringLiteral("_NET_WM_DESKTOP")});
        return states.contains(QStringLiteral("_NET_WM_STATE_ABOVE")) &&
               states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")) &&
               states.contains(QStringLiteral("_NET_WM_STATE_SKIP_PAGER")) &&
               states.contains(QStringLiteral("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
    })) << states.toStdString();

    // A click on the pill opens the island.
    clickAt(panel->geometry().center());
    ASSERT_TRUE(waitUntil([&] { return controller->island().isExpanded(); }));
    ASSERT_TRUE(waitUntil([&] { return panel->geometry().height() > expected.height(); }));

    // A click elsewhere, on the desktop, closes it.
    clickAt(QPoint(screen->geometry().left() + 200, screen->geometry().bottom() - 200));
    ASSERT_TRUE(waitUntil([&] { return !controller->island().isExpanded(); }));
    ASSERT_TRUE(waitUntil([&] { return panel->geometry() == expected; }, 5000));

    // Opened with focus (the showIsland shortcut) it becomes the active window; closed, it lets
    // the keyboard go again.
    controller->toggleExpanded();
    ASSERT_TRUE(waitUntil([&] { return panel->isActiveWindow(); }));
    controller->toggleExpanded();
    EXPECT_FALSE(controller->island().isExpanded());
    EXPECT_TRUE(panel->windowHandle()->flags() & Qt::WindowDoesNotAcceptFocus);
}

TEST_F(IslandDesktopTest, ClickBesideTheShapedOpenIslandClosesIt) {
    if (X11CompositorWatch::compositorRuns()) GTEST_SKIP() << "the window is not shaped";
    DesktopIsland desk;
    IslandController* controller = desk.controller.get();
    IslandPanel* panel = desk.panel;
    ASSERT_NE(panel, nullptr);
    movePointerAway();
    controller->applyVisibility();
    controller->expand(false);
    const QRect open = rectToQtGlobal(controller->window().frame()).toRect();
    ASSERT_TRUE(waitUntil(
        [&] { return desk.shown() && panel->geometry() == open && !panel->mask().isEmpty(); }));

    // Low in the shadow margin: inside the window, outside its shape, so the press goes to
    // what lies below it.
    const QPoint margin(open.center().x(), open.bottom() - 6);
    ASSERT_FALSE(panel->mask().contains(panel->mapFromGlobal(margin)));
    clickAt(margin);
    ASSERT_TRUE(waitUntil([&] { return !controller->island().isExpanded(); }));
}

TEST_F(IslandDesktopTest, HiddenPillLetsClicksThroughUntilThePointerArrives) {
    DesktopIsland desk([](AppPreferences& prefs) { prefs.setPillHideUntilHover(true); });
    IslandController* controller = desk.controller.get();
    IslandPanel* panel = desk.panel;
    ASSERT_NE(panel, nullptr);
    panel->setContentWidget(new ClickToOpen(controller->island()));
    movePointerAway();
    controller->applyVisibility();
    ASSERT_TRUE(waitUntil([&] { return desk.shown(); }));
    EXPECT_TRUE(controller->island().pillHidden());
    EXPECT_EQ(panel->alpha(), 0);
    EXPECT_TRUE(panel->windowHandle()->flags() & Qt::WindowTransparentForInput);

    // A click on the hidden pill's place goes to what lies below.
    const QPoint centre = panel->geometry().center();
    clickAt(centre);
    waitUntil([] { return false; }, 300);
    EXPECT_FALSE(controller->island().isExpanded());

    // The pointer moving onto it shows it and makes it clickable.
    run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(centre.x() - 2),
                                    QString::number(centre.y())});
    run(QStringLiteral("xdotool"), {QStringLiteral("mousemove_relative"), QStringLiteral("--"),
                                    QStringLiteral("2"), QStringLiteral("0")});
    ASSERT_TRUE(waitUntil([&] { return panel->alpha() == 1; }));
    EXPECT_FALSE(panel->windowHandle()->flags() & Qt::WindowTransparentForInput);
    // On a busy machine the first click sent the moment the window takes input again was seen
    // to go missing (about one run in twelve); a second click a moment later must reach it.
    for (int attempt = 0; attempt < 3 && !controller->island().isExpanded(); ++attempt) {
        clickAt(centre);
        waitUntil([&] { return controller->island().isExpanded(); }, 2000);
    }
    EXPECT_TRUE(controller->island().isExpanded());
}

int windowDepth(const QWidget& w) {
    const QString info =
        run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(w.winId())});
    const qsizetype at = info.indexOf(QStringLiteral("Depth: "));
    return at < 0 ? -1 : info.mid(at + 7).section(u'\n', 0, 0).toInt();
}

TEST_F(IslandDesktopTest, FollowsACompositorThatStartsAndStopsLater) {
    if (X11CompositorWatch::compositorRuns()) GTEST_SKIP() << "a compositor runs already";
    DesktopIsland desk;
    IslandController* controller = desk.controller.get();
    IslandPanel* panel = desk.panel;
    ASSERT_NE(panel, nullptr);
    movePointerAway();
    controller->applyVisibility();
    ASSERT_TRUE(waitUntil([&] { return desk.shown(); }));
    const QRect where = panel->geometry();
    // No compositor: an opaque window cut to the island's outline.
    EXPECT_FALSE(panel->isTranslucent());
    EXPECT_EQ(windowDepth(*panel), 24);
    EXPECT_FALSE(panel->mask().isEmpty());
    // The content paints all that the shape lets through: no background is painted beneath it.
    QWidget* content = panel->contentWidget();
    ASSERT_NE(content, nullptr);
    EXPECT_TRUE(content->testAttribute(Qt::WA_OpaquePaintEvent));
    const QImage cut = content->grab().toImage();
    const QPoint middle = content->mapFrom(panel, where.center() - where.topLeft());
    EXPECT_EQ(QColor(cut.pixel(middle * cut.devicePixelRatio())), QColor(Qt::black));

    // One starts: the window is made again with an alpha channel, where it was and as it was.
    auto compositor = std::make_unique<CompositorSelection>();
    ASSERT_TRUE(waitUntil([&] { return panel->isTranslucent(); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return desk.shown(); }));
    EXPECT_EQ(windowDepth(*panel), 32);
    EXPECT_TRUE(panel->mask().isEmpty());
    EXPECT_FALSE(content->testAttribute(Qt::WA_OpaquePaintEvent)) << "translucent around it";
    EXPECT_EQ(panel->geometry(), where);
    const QString id = QString::number(panel->winId());
    QString states;
    EXPECT_TRUE(waitUntil([&] {
        states = run(QStringLiteral("xprop"),
                     {QStringLiteral("-id"), id, QStringLiteral("_NET_WM_STATE"),
                      QStringLiteral("_NET_WM_DESKTOP")});
        return states.contains(QStringLiteral("_NET_WM_STATE_ABOVE")) &&
               states.contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")) &&
               states.contains(QStringLiteral("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
    })) << states.toStdString();
    // Still the island: a click opens it.
    clickAt(where.center());
    ASSERT_TRUE(waitUntil([&] { return controller->island().isExpanded(); }));

    // It exits: cut to the outline again.
    compositor.reset();
    ASSERT_TRUE(waitUntil([&] { return !panel->isTranslucent(); }, 5000));
    EXPECT_FALSE(panel->mask().isEmpty());
    EXPECT_TRUE(content->testAttribute(Qt::WA_OpaquePaintEvent));
    EXPECT_TRUE(panel->isVisible());
}

}  // namespace
}  // namespace tw::test
