#include "platform/linux/QtUrlOpener.h"

#include <QDesktopServices>

namespace tw {

bool QtUrlOpener::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

}  // namespace tw
