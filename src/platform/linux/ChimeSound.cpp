#include "platform/linux/ChimeSound.h"

#include <QAudioOutput>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPointer>
#include <QSoundEffect>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

namespace tw {

namespace {

QUrl urlFor(const QString& path) {
    if (path.startsWith(QLatin1String(":/"))) return QUrl(QLatin1String("qrc") + path);
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

// Plays the WAV through QSoundEffect, which holds it decoded in memory. If the effect reports an
// error while loading, the chime moves to the fallback file, played by a media player that is
// only built the first time it is needed.
class ChimeSound final : public Sound {
public:
    ChimeSound(const QString& wavPath, QString fallbackPath)
        : fallbackPath_(std::move(fallbackPath)) {
        if (!wavPath.isEmpty()) {
            effect_ = std::make_unique<QSoundEffect>();
            QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(), [this] {
                if (effect_ && effect_->status() == QSoundEffect::Error) effectFailed_ = true;
            });
            effect_->setSource(urlFor(wavPath));
        }
    }

    void setVolume(float volume) override {
        volume_ = std::clamp(volume, 0.0f, 1.0f);
        if (effect_) effect_->setVolume(volume_);
        if (output_) output_->setVolume(volume_);
    }

    void play() override {
        if (effect_ && !effectFailed_) {
            effect_->play();
            return;
        }
        if (!ensurePlayer()) return;
        player_->setPosition(0);
        player_->play();
    }

    void stop() override {
        if (effect_) effect_->stop();
        if (player_) player_->stop();
    }

private:
    bool ensurePlayer() {
        if (player_) return true;
        if (fallbackPath_.isEmpty()) return false;
        player_ = std::make_unique<QMediaPlayer>();
        output_ = new QAudioOutput(player_.get());
        output_->setVolume(volume_);
        player_->setAudioOutput(output_);
        player_->setSource(urlFor(fallbackPath_));
        return true;
    }

    QString fallbackPath_;
    std::unique_ptr<QSoundEffect> effect_;
    bool effectFailed_ = false;
    std::unique_ptr<QMediaPlayer> player_;
    QAudioOutput* output_ = nullptr;  // owned by player_
    float volume_ = 1.0f;
};

}  // namespace

bool looksLikeWav(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

QString freedesktopThemeSound(const QString& name) {
    const QString relative = QStringLiteral("sounds/freedesktop/stereo/") + name;
    for (const char* ext : {".oga", ".ogg", ".wav"}) {
        const QString found = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                     relative + QLatin1String(ext));
        if (!found.isEmpty()) return found;
    }
    return {};
}

std::unique_ptr<Sound> loadChime(const QString& wavPath, const QString& fallbackPath) {
    const QString wav = !wavPath.isEmpty() && looksLikeWav(wavPath) ? wavPath : QString();
    const QString fallback =
        !fallbackPath.isEmpty() && QFileInfo(fallbackPath).isReadable() ? fallbackPath : QString();
    if (wav.isEmpty() && fallback.isEmpty()) return nullptr;
    return std::make_unique<ChimeSound>(wav, fallback);
}

std::unique_ptr<Sound> loadCompletionChime() {
    return loadChime(QStringLiteral(":/sounds/Completion.wav"),
                     freedesktopThemeSound(QStringLiteral("complete")));
}

}  // namespace tw
