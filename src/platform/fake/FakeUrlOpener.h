#pragma once

#include <QList>
#include <QUrl>

#include "platform/UrlOpener.h"

namespace tw {

// Records the addresses it is asked to open and answers `succeeds`.
class FakeUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override {
        opened.append(url);
        return succeeds;
    }

    QList<QUrl> opened;
    bool succeeds = true;
};

}  // namespace tw
