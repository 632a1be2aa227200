// Qt's screens seen through the island's y-up coordinates.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <ostream>

#include "island/QtScreens.h"
#include "preferences/AppPreferences.h"

using namespace tw;

namespace tw {
static void PrintTo(const RectF& r, std::ostream* os) {
    *os << "RectF{x " << r.x << ", y " << r.y << ", " << r.width << " x " << r.height << "}";
}
static void PrintTo(const PointF& p, std::ostream* os) {
    *os << "PointF{" << p.x << ", " << p.y << "}";
}
}  // namespace tw
QT_BEGIN_NAMESPACE
static void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "QRectF(" << r.x() << ", " << r.y() << ", " << r.width() << " x " << r.height() << ")";
}
static void PrintTo(const QPointF& p, std::ostream* os) {
    *os << "QPointF(" << p.x() << ", " << p.y() << ")";
}
QT_END_NAMESPACE

namespace {

// Primary 1920 × 1080 at Qt's (100, 50); a second screen below it and one to its right.
const QRect kPrimary(100, 50, 1920, 1080);

TEST(QtScreenCoordinates, RectanglesFlipAroundThePrimaryScreen) {
    struct {
        QRectF qt;
        RectF up;
    } const cases[] = {
        {QRectF(100, 50, 1920, 1080), {0, 0, 1920, 1080}},        // the primary itself
        {QRectF(2020, 50, 1280, 1024), {1920, 56, 1280, 1024}},   // right, tops aligned
        {QRectF(100, 1130, 1920, 1080), {0, -1080, 1920, 1080}},  // below
        {QRectF(100, -850, 1440, 900), {0, 1080, 1440, 900}},     // above
        {QRectF(130.5, 80, 312, 156.5), {30.5, 893.5, 312, 156.5}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rectFromQtGlobal(c.qt, kPrimary), c.up) << c.qt.x() << "," << c.qt.y();
        EXPECT_EQ(rectToQtGlobal(c.up, kPrimary), c.qt);
    }
    EXPECT_EQ(rectToQtLocal(RectF{28, 28, 389, 188}, 216), QRectF(28, 0, 389, 188));
}

TEST(QtScreenCoordinates, PointerRowsMatchTheContainmentRule) {
    // The primary's top row is its maxY, its last row lies just above minY, and the first row of
    // the screen below lands on the shared edge, which belongs to the lower screen.
    EXPECT_EQ(pointFromQtGlobal(QPointF(110, 50), kPrimary), (PointF{10, 1080}));
    EXPECT_EQ(pointFromQtGlobal(QPointF(110, 1129), kPrimary), (PointF{10, 1}));
    EXPECT_EQ(pointToQtGlobal(PointF{10, 1}, kPrimary), QPointF(110, 1129));

    const QList<DisplayInfo> displays{
        {QStringLiteral("top"), {}, rectFromQtGlobal(QRectF(100, 50, 1920, 1080), kPrimary), false},
        {QStringLiteral("bottom"),
         {},
         rectFromQtGlobal(QRectF(100, 1130, 1920, 1080), kPrimary),
         false},
    };
    const QString follow = AppPreferences::followDisplay();
    EXPECT_EQ(chooseDisplay(displays, follow, pointFromQtGlobal(QPointF(110, 50), kPrimary))->id,
              QStringLiteral("top"));
    EXPECT_EQ(chooseDisplay(displays, follow, pointFromQtGlobal(QPointF(110, 1129), kPrimary))->id,
              QStringLiteral("top"));
    EXPECT_EQ(chooseDisplay(displays, follow, pointFromQtGlobal(QPointF(110, 1130), kPrimary))->id,
              QStringLiteral("bottom"));
}

// The real screen of the test desktop (Xvfb, one 1920 × 1080 screen, no top panel).
TEST(QtScreens, DescribesTheConnectedScreen) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        EXPECT_TRUE(connectedScreens().isEmpty());
        EXPECT_EQ(targetScreen(AppPreferences::followDisplay()), nullptr);
        GTEST_SKIP() << "needs a display (run under scripts/with-desktop)";
    }
    QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    const QList<ScreenDescription> screens = connectedScreens();
    ASSERT_EQ(screens.size(), QGuiApplication::screens().size());
    const ScreenDescription& d = screens.first();

    const QRect g = primary->geometry();
    const QRect a = primary->availableGeometry();
    EXPECT_EQ(d.frame, (RectF{0, 0, double(g.width()), double(g.height())}));
    EXPECT_EQ(d.frame.maxY() - d.visibleFrame.maxY(), a.y() - g.y());  // the top panel's depth
    EXPECT_EQ(d.name, primary->name());
    EXPECT_EQ(d.backingScale, primary->devicePixelRatio());
    EXPECT_EQ(d.safeAreaTop, 0);
    EXPECT_FALSE(d.auxiliaryTopLeftArea.has_value());

    const IslandMetrics m = islandMetrics(d, IslandStyle::automatic);
    EXPECT_EQ(m.style, IslandStyle::pill);
    EXPECT_FALSE(m.hasNotch);

    const QString id = displayID(*primary);
    EXPECT_EQ(id, displayID(d));
    EXPECT_FALSE(id.isEmpty());
    EXPECT_EQ(screenForDisplayID(id), primary);
    EXPECT_EQ(screenForDisplayID(QStringLiteral("no such display")), nullptr);
    EXPECT_EQ(targetScreen(AppPreferences::followDisplay()), primary);
    EXPECT_EQ(targetScreen(QStringLiteral("no such display")), primary);
    EXPECT_EQ(targetScreen(id), primary);
    EXPECT_EQ(followsPointer(AppPreferences::followDisplay()),
              QGuiApplication::screens().size() >= 2);

    // A frame placed in y-up terms lands at the same place in Qt's coordinates.
    const RectF pill = collapsedFrame(d, m, false, false, {});
    const QRectF qt = rectToQtGlobal(pill);
    EXPECT_EQ(qt.top(), g.y() + (a.y() - g.y()) + 6);
    EXPECT_EQ(qt.center().x(), g.x() + g.width() / 2.0);
}

}  // namespace
