#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

#include "platform/ReducedMotion.h"

namespace tw {

// The desktop's reduce-motion setting: TARNWHISTLE_REDUCED_MOTION=1, KDE's animation factor 0
// (AnimationDurationFactor in kdeglobals), or GNOME's enable-animations switched off (read from
// dconf). Each source is read again only when its file changed, so asking is a couple of stats.
class DesktopReducedMotion final : public ReducedMotion {
public:
    // `configHome` is $XDG_CONFIG_HOME (or ~/.config) when empty.
    explicit DesktopReducedMotion(QString configHome = {});
    bool isReduced() override;

    // The parts, for tests: a kdeglobals text and the output of `dconf read`.
    static bool kdeAnimationsOff(const QByteArray& kdeglobals);
    static bool gnomeAnimationsOff(const QByteArray& dconfOutput);

private:
    struct CachedFile {
        QDateTime modified;
        qint64 size = -1;
        bool exists = false;
        bool value = false;
        bool read = false;
    };
    // Whether the file's stamp differs from the cached one (and remembers the new stamp).
    static bool changed(const QString& path, CachedFile& cache);

    QString configHome_;
    CachedFile kde_;
    CachedFile gnome_;
};

}  // namespace tw
