#pragma once

#include "platform/UrlOpener.h"

namespace tw {

// Web addresses opened through QDesktopServices: the desktop's portal or xdg-open, which start
// the user's default browser.
class QtUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl& url) override;
};

}  // namespace tw
