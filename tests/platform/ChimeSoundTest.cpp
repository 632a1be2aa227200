#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <optional>

#include <canberra.h>

#include "common/TestSupport.h"
#include "platform/linux/ChimeSound.h"

namespace {

// An ALSA configuration for this process whose default output is `pcm`: a null device (the
// sound is decoded and written, and the data discarded) or a sound card that does not exist.
class AlsaDefault {
public:
    explicit AlsaDefault(const QByteArray& pcm) {
        const QString file = dir_.filePath(QStringLiteral("asound.conf"));
        QFile f(file);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("</usr/share/alsa/alsa.conf>\npcm.!default " + pcm + "\n");
        }
        path_.emplace("ALSA_CONFIG_PATH", QFile::encodeName(file));
    }

private:
    QTemporaryDir dir_;
    std::optional<tw::test::ScopedVariable> path_;
    tw::test::ScopedVariable driver_{"CANBERRA_DRIVER", "alsa"};
};

// Plays once and answers libcanberra's result.
int playOnce(const QString& eventId) {
    tw::ThemeSound sound(eventId);
    QSignalSpy played(&sound, &tw::ThemeSound::played);
    sound.setVolume(0.5f);
    sound.play();
    if (!played.wait(10000)) return -1000;
    sound.stop();
    sound.waitForIdle();
    return played.first().first().toInt();
}

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
}

TEST(ChimeSound, AChimeNeedsAWavOrAThemeSound) {
    QTemporaryDir dir;
    const QString notWav = dir.filePath(QStringLiteral("broken.wav"));
    {
        QFile f(notWav);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("this is not a wave file");
    }
    EXPECT_FALSE(tw::looksLikeWav(notWav));
    EXPECT_FALSE(tw::looksLikeWav(dir.filePath(QStringLiteral("missing.wav"))));
    EXPECT_EQ(tw::loadChime(notWav, QString()), nullptr);
    EXPECT_EQ(tw::loadChime(QString(), QString()), nullptr);

    // A WAV that cannot be used leaves the theme sound, played without a sound server.
    AlsaDefault noCard("{ type hw card 9 }");
    auto fallback = tw::loadChime(notWav, QStringLiteral("complete"));
    ASSERT_NE(fallback, nullptr);
    fallback->setVolume(0.5f);
    fallback->play();
    fallback->stop();
    fallback->play();
}

TEST(ThemeSound, PlaysTheThemesSoundThroughLibcanberra) {
    if (!QFile::exists(QStringLiteral("/usr/share/sounds/freedesktop/stereo/complete.oga")))
        GTEST_SKIP() << "sound-theme-freedesktop is not installed";
    AlsaDefault null("{ type null }");
    EXPECT_EQ(playOnce(QStringLiteral("complete")), CA_SUCCESS);
    EXPECT_EQ(playOnce(QStringLiteral("no-such-sound-in-any-theme")), CA_ERROR_NOTFOUND);
}

TEST(ThemeSound, StaysSilentWithoutASoundServerOrDevice) {
    AlsaDefault noCard("{ type hw card 9 }");
    const int result = playOnce(QStringLiteral("complete"));
    EXPECT_NE(result, CA_SUCCESS);
    EXPECT_NE(result, -1000) << "no answer from the worker";

    // Muted: nothing is opened or played.
    tw::ThemeSound muted(QStringLiteral("complete"));
    QSignalSpy played(&muted, &tw::ThemeSound::played);
    muted.setVolume(0.0f);
    muted.play();
    muted.waitForIdle();
    QCoreApplication::processEvents();
    EXPECT_EQ(played.count(), 0);
}
