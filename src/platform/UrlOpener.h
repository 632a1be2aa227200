#pragma once

#include <QUrl>

namespace tw {

// Opens a web address in the user's default browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when the desktop could not hand the address to any browser.
    virtual bool openUrl(const QUrl& url) = 0;
};

}  // namespace tw
