#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "common/TestSupport.h"
#include "platform/linux/ChimeSound.h"

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

}  // namespace

TEST(ChimeSound, OurOwnWavIsCompiledIn) {
    EXPECT_TRUE(tw::looksLikeWav(QStringLiteral(":/sounds/Completion.wav")));
    auto chime = tw::loadCompletionChime();
    ASSERT_NE(chime, nullptr);
    // Without an audio device (CI) none of this may fail or block.
    chime->setVolume(0.4f);
    chime->stop();
    chime->play();
    chime->setVolume(0.0f);
    chime->stop();
    tw::test::waitUntil([] { return false; }, 200);
}

TEST(ChimeSound, FallsBackToTheSoundThemeAndThenToSilence) {
    QTemporaryDir dir;
    const QString notWav = dir.filePath(QStringLiteral("broken.wav"));
    {
        QFile f(notWav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a wave file");
    }
    EXPECT_FALSE(tw::looksLikeWav(notWav));
    EXPECT_EQ(tw::loadChime(notWav, QString()), nullptr);
    EXPECT_EQ(tw::loadChime(QString(), dir.filePath(QStringLiteral("missing.oga"))), nullptr);

    const QString theme = QStringLiteral("/usr/share/sounds/freedesktop/stereo/complete.oga");
    if (!QFile::exists(theme)) GTEST_SKIP() << "sound-theme-freedesktop is not installed";
    auto fallback = tw::loadChime(notWav, theme);
    ASSERT_NE(fallback, nullptr);
    fallback->setVolume(0.5f);
    fallback->play();
    fallback->stop();
    fallback->play();
    tw::test::waitUntil([] { return false; }, 200);
}

TEST(ChimeSound, ThemeSoundIsSearchedThroughTheDataDirs) {
    QTemporaryDir home, first, second;
    const QString relative = QStringLiteral("sounds/freedesktop/stereo/complete.oga");
    ASSERT_TRUE(QDir(second.path()).mkpath(QStringLiteral("sounds/freedesktop/stereo")));
    {
        QFile f(second.filePath(relative));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("OggS");
    }
    ScopedEnv dataHome("XDG_DATA_HOME", home.path().toUtf8());
    ScopedEnv dataDirs("XDG_DATA_DIRS", (first.path() + ":" + second.path()).toUtf8());
    EXPECT_EQ(tw::freedesktopThemeSound(QStringLiteral("complete")), second.filePath(relative));
    EXPECT_TRUE(tw::freedesktopThemeSound(QStringLiteral("no-such-sound")).isEmpty());
}
