#include "platform/linux/QtDesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace tw {

bool QtDesktopOpener::open(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace tw
