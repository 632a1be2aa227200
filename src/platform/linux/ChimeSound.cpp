#include "platform/linux/ChimeSound.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSoundEffect>
#include <QThreadPool>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cmath>

#include <canberra.h>

namespace tw {

namespace {

QUrl urlFor(const QString& path) {
    if (path.startsWith(QLatin1String(":/"))) return QUrl(QLatin1String("qrc") + path);
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

// The process's one libcanberra context and the one worker thread that uses it. It is never
// destroyed: destroying a context unloads its output module, and libcanberra's ALSA module can
// still have a playback thread running in it then.
struct Canberra {
    QThreadPool worker;
    ca_context* context = nullptr;  // only on the worker

    Canberra() {
        // One thread, so that the calls keep their order; it ends when idle.
        worker.setMaxThreadCount(1);
        worker.setExpiryTimeout(5000);
    }

    // The context, made and opened at first use; null (and tried again next time) when it
    // cannot be opened, with the error in `error`.
    ca_context* get(int& error) {
        if (context) return context;
        ca_context* c = nullptr;
        int r = ca_context_create(&c);
        if (r == CA_SUCCESS) {
            r = ca_context_change_props(c, CA_PROP_APPLICATION_NAME, "Tarnwhistle",
                                        CA_PROP_APPLICATION_ID, "dev.tarnwhistle.app",
                                        CA_PROP_APPLICATION_ICON_NAME, "dev.tarnwhistle.app",
                                        nullptr);
        }
        if (r == CA_SUCCESS) r = ca_context_open(c);
        if (r != CA_SUCCESS) {
            // Nothing has played through it, so nothing can still run in its module.
            if (c) ca_context_destroy(c);
            error = r;
            return nullptr;
        }
        context = c;
        return context;
    }
};

Canberra& canberra() {
    static Canberra* shared = new Canberra;
    return *shared;
}

std::atomic<uint32_t> nextSoundId{1};

}  // namespace

ThemeSound::ThemeSound(QString eventId, QObject* parent)
    : QObject(parent), eventId_(std::move(eventId)), soundId_(nextSoundId++) {}

ThemeSound::~ThemeSound() = default;

void ThemeSound::waitForIdle() {
    canberra().worker.waitForDone();
}

void ThemeSound::setVolume(float volume) {
    volume_ = std::clamp(volume, 0.0f, 1.0f);
}

void ThemeSound::play() {
    if (volume_ <= 0.0f) return;  // muted: nothing to open
    // libcanberra takes the volume in decibels.
    const QByteArray decibels = QByteArray::number(20.0 * std::log10(double(volume_)), 'f', 2);
    const QByteArray eventId = eventId_.toUtf8();
    const uint32_t id = soundId_;
    const QPointer<ThemeSound> self(this);
    canberra().worker.start([eventId, decibels, id, self] {
        int result = CA_SUCCESS;
        if (ca_context* c = canberra().get(result)) {
            ca_context_cancel(c, id);
            result = ca_context_play(c, id, CA_PROP_EVENT_ID, eventId.constData(),
                                     CA_PROP_EVENT_DESCRIPTION, "Phase complete",
                                     CA_PROP_CANBERRA_VOLUME, decibels.constData(),
                                     CA_PROP_CANBERRA_CACHE_CONTROL, "volatile", nullptr);
        }
        QMetaObject::invokeMethod(
            self.get(),
            [self, result] {
                if (self) Q_EMIT self->played(result);
            },
            Qt::QueuedConnection);
    });
}

void ThemeSound::stop() {
    const uint32_t id = soundId_;
    canberra().worker.start([id] {
        if (ca_context* c = canberra().context) ca_context_cancel(c, id);
    });
}

namespace {

// Plays the WAV through QSoundEffect, which holds it decoded in memory; the effect (and with it
// the audio output) is made at the first chime. When the effect reports an error, the chime
// moves to the theme sound for good.
class ChimeSound final : public Sound {
public:
    ChimeSound(QString wavPath, QString themeEventId)
        : wavPath_(std::move(wavPath)), themeEventId_(std::move(themeEventId)) {}

    void setVolume(float volume) override {
        volume_ = std::clamp(volume, 0.0f, 1.0f);
        if (effect_) effect_->setVolume(volume_);
        if (theme_) theme_->setVolume(volume_);
    }

    void play() override {
        if (!wavPath_.isEmpty() && !effectFailed_) {
            ensureEffect();
            effect_->play();
            return;
        }
        playTheme();
    }

    void stop() override {
        if (effect_) effect_->stop();
        if (theme_) theme_->stop();
    }

private:
    void ensureEffect() {
        if (effect_) return;
        effect_ = std::make_unique<QSoundEffect>();
        effect_->setVolume(volume_);
        QObject::connect(effect_.get(), &QSoundEffect::statusChanged, effect_.get(), [this] {
            if (!effect_ || effect_->status() != QSoundEffect::Error || effectFailed_) return;
            // The play that was asked for goes to the theme sound instead.
            effectFailed_ = true;
            playTheme();
        });
        effect_->setSource(urlFor(wavPath_));
    }

    void playTheme() {
        if (themeEventId_.isEmpty()) return;
        if (!theme_) {
            theme_ = std::make_unique<ThemeSound>(themeEventId_);
            theme_->setVolume(volume_);
        }
        theme_->play();
    }

    QString wavPath_;
    QString themeEventId_;
    std::unique_ptr<QSoundEffect> effect_;
    bool effectFailed_ = false;
    std::unique_ptr<ThemeSound> theme_;
    float volume_ = 1.0f;
};

}  // namespace

bool looksLikeWav(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

std::unique_ptr<Sound> loadChime(const QString& wavPath, const QString& themeEventId) {
    const QString wav = !wavPath.isEmpty() && looksLikeWav(wavPath) ? wavPath : QString();
    if (wav.isEmpty() && themeEventId.isEmpty()) return nullptr;
    return std::make_unique<ChimeSound>(wav, themeEventId);
}

std::unique_ptr<Sound> loadCompletionChime() {
    return loadChime(QStringLiteral(":/sounds/Completion.wav"), QStringLiteral("complete"));
}

}  // namespace tw
