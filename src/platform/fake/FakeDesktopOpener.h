#pragma once

#include <QStringList>

#include "platform/DesktopOpener.h"

namespace tw {

// Records the files it is asked to open and answers `succeeds`.
class FakeDesktopOpener final : public DesktopOpener {
public:
    bool open(const QString& path) override {
        opened.append(path);
        return succeeds;
    }

    QStringList opened;
    bool succeeds = true;
};

}  // namespace tw
