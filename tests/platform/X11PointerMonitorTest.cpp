// The pointer monitor on a real X server (scripts/with-desktop): raw events, no polling, and no
// selection at all while nothing is watched.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>

#include "common/TestSupport.h"
#include "platform/linux/X11PointerMonitor.h"

namespace tw {
namespace {

void xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
}

TEST(X11PointerMonitorTest, ReportsMovesAndClicksOnlyWhileWatched) {
    if (QGuiApplication::platformName() != QLatin1String("xcb") ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        GTEST_SKIP() << "needs an X server and xdotool (scripts/with-desktop)";
    }
    X11PointerMonitor monitor;
    ASSERT_TRUE(monitor.isEventDriven());
    EXPECT_FALSE(monitor.isPolling());

    int moves = 0;
    int lefts = 0;
    PointF last;
    {
        auto moveWatch = monitor.watch(pointermask::moved, [&](const PointerEvent& e) {
            ++moves;
            last = e.location;
        });
        auto clickWatch = monitor.watch(pointermask::leftDown, [&](const PointerEvent& e) {
            if (e.type == PointerEvent::Type::leftDown) ++lefts;
        });
        EXPECT_FALSE(monitor.isPolling());
        // A jump (a warp) is no device movement; the relative move through XTEST is.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("400"), QStringLiteral("300")});
        xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("5"),
                 QStringLiteral("0")});
        ASSERT_TRUE(test::waitUntil([&] { return moves > 0 && last.x == 405; }))
            << moves << " moves, last at " << last.x << "," << last.y;
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        ASSERT_TRUE(test::waitUntil([&] { return lefts == 1; }));
        EXPECT_EQ(monitor.location().x, 405);
        EXPECT_EQ(last.y, QGuiApplication::primaryScreen()->geometry().height() - 300);
    }
    // Unwatched: nothing arrives any more.
    EXPECT_EQ(monitor.watchCount(), 0);
    const int before = moves;
    xdotool({QStringLiteral("mousemove_relative"), QStringLiteral("--"), QStringLiteral("5"),
             QStringLiteral("0")});
    xdotool({QStringLiteral("click"), QStringLiteral("1")});
    // Give a real round trip a chance to bring anything that would arrive.
    test::waitUntil([] { return false; }, 300);
    EXPECT_EQ(moves, before);
    EXPECT_EQ(lefts, 1);
    EXPECT_FALSE(monitor.isPolling());
}

}  // namespace
}  // namespace tw
