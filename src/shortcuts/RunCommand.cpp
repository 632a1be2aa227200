#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "Commands.h"
#include "ShortcutFile.h"
#include "support/Paths.h"

namespace tw::shortcuts {

QString shortcutsFolder() {
    return tw::paths::dataDir() + QStringLiteral("/shortcuts");
}

int runCommand(const QString& name) {
    if (!isShortcutName(name)) {
        say(QStringLiteral("no shortcut can be named %1.").arg(quoted(name)));
        return 1;
    }
    const QString path = shortcutsFolder() + u'/' + name;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable()) {
        say(QStringLiteral("there is no shortcut %1 (an executable file %2).")
                .arg(quoted(name), path));
        return 1;
    }
    // The shortcut takes this process's place, so that a stop request sent to it reaches the
    // shortcut itself.
    const QByteArray file = QFile::encodeName(path);
    ::execl(file.constData(), file.constData(), static_cast<char*>(nullptr));
    say(QStringLiteral("could not run %1: %2")
            .arg(quoted(name), QString::fromLocal8Bit(strerror(errno))));
    return 126;
}

}  // namespace tw::shortcuts
