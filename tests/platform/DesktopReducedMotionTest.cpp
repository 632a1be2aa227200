#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/linux/DesktopReducedMotion.h"

namespace tw {
namespace {

TEST(DesktopReducedMotionTest, ReadsKdeAndGnomeSettings) {
    struct Case {
        const char* text;
        bool off;
    };
    const Case kde[] = {
        {"[KDE]\nAnimationDurationFactor=0\n", true},
        {"[General]\nX=1\n[KDE]\n AnimationDurationFactor = 0.0 \n", true},
        {"[KDE]\nAnimationDurationFactor=0.5\n", false},
        {"[General]\nAnimationDurationFactor=0\n", false},  // another group
        {"[KDE]\nAnimationDurationFactor=\n", false},
        {"", false},
    };
    for (const Case& c : kde) {
        EXPECT_EQ(DesktopReducedMotion::kdeAnimationsOff(c.text), c.off) << c.text;
    }
    EXPECT_TRUE(DesktopReducedMotion::gnomeAnimationsOff("false\n"));
    EXPECT_FALSE(DesktopReducedMotion::gnomeAnimationsOff("true\n"));
    EXPECT_FALSE(DesktopReducedMotion::gnomeAnimationsOff(""));  // never set: the default
}

TEST(DesktopReducedMotionTest, FollowsTheEnvironmentAndKdeglobalsChanges) {
    QTemporaryDir dir;
    DesktopReducedMotion motion(dir.path());
    const QByteArray old = qgetenv("TARNWHISTLE_REDUCED_MOTION");
    qunsetenv("TARNWHISTLE_REDUCED_MOTION");
    EXPECT_FALSE(motion.isReduced());

    QFile f(dir.filePath(QStringLiteral("kdeglobals")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[KDE]\nAnimationDurationFactor=0\n");
    f.close();
    EXPECT_TRUE(motion.isReduced());
    ASSERT_TRUE(f.remove());
    EXPECT_FALSE(motion.isReduced());

    qputenv("TARNWHISTLE_REDUCED_MOTION", "1");
    EXPECT_TRUE(motion.isReduced());
    if (old.isNull()) {
        qunsetenv("TARNWHISTLE_REDUCED_MOTION");
    } else {
        qputenv("TARNWHISTLE_REDUCED_MOTION", old);
    }
}

}  // namespace
}  // namespace tw
