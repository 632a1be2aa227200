#pragma once

#include <QString>
#include <memory>

#include "platform/Sound.h"

namespace tw {

// The completion chime: the application's own WAV (compiled in as ":/sounds/Completion.wav")
// through QSoundEffect; when that cannot be loaded, the freedesktop sound theme's "complete"
// through a media player (the theme ships Ogg Vorbis, which QSoundEffect cannot decode); when
// neither exists, null (the chime stays silent). Loading is asynchronous, so building the chime
// costs little; a machine without an audio device plays nothing and never blocks.
std::unique_ptr<Sound> loadCompletionChime();

// The same from explicit files (either may be empty); for the tests.
std::unique_ptr<Sound> loadChime(const QString& wavPath, const QString& fallbackPath);

// The sound theme file for `name` ("complete") in the freedesktop theme, searched through
// $XDG_DATA_HOME and $XDG_DATA_DIRS; empty when there is none.
QString freedesktopThemeSound(const QString& name);

// Whether `path` holds a RIFF/WAVE file that QSoundEffect can be asked to load.
bool looksLikeWav(const QString& path);

}  // namespace tw
