#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "platform/Sound.h"

namespace tw {

// A sound of the desktop's sound theme ("complete"), played through libcanberra, the desktop's
// event-sound library, which finds it in the freedesktop theme, decodes it and plays it through
// the sound server (or ALSA). Every call into the library runs on one worker thread, so a slow or
// missing sound server never blocks the event loop; the library's context is made at the first
// play.
class ThemeSound final : public QObject, public Sound {
    Q_OBJECT
public:
    explicit ThemeSound(QString eventId, QObject* parent = nullptr);
    ~ThemeSound() override;

    void setVolume(float volume) override;
    void play() override;
    void stop() override;

    // Waits for the calls already handed to the worker; for the tests and for quitting.
    void waitForIdle();

Q_SIGNALS:
    // The outcome of one play: 0 when the sound plays, otherwise libcanberra's error code (no
    // sound server or device, the sound is not in the theme, …), and the chime stays silent.
    void played(int result);

private:
    QString eventId_;
    quint32 soundId_;
    float volume_ = 1.0f;
};

// The completion chime: the application's own WAV (compiled in as ":/sounds/Completion.wav")
// through QSoundEffect; when that cannot be loaded or played, the freedesktop sound theme's
// "complete" through libcanberra; when neither plays, silence. The audio output is opened at the
// first chime, not before, and nothing of it can crash the program or block its event loop.
std::unique_ptr<Sound> loadCompletionChime();

// The same from an explicit WAV file (may be empty) and theme event id (may be empty); null when
// there is neither; for the tests.
std::unique_ptr<Sound> loadChime(const QString& wavPath, const QString& themeEventId);

// Whether `path` holds a RIFF/WAVE file that QSoundEffect can be asked to load.
bool looksLikeWav(const QString& path);

}  // namespace tw
