// tarnwhistle-shortcuts: runs the user's focus shortcuts. A shortcut is an executable file in
// $XDG_DATA_HOME/tarnwhistle/shortcuts/ named after it; `run NAME` becomes that program (its exit
// status is the run's, and a signal sent to this process reaches it).
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/Paths.h"

namespace {

void say(const QString& text) {
    std::fprintf(stderr, "tarnwhistle-shortcuts: %s\n", text.toLocal8Bit().constData());
}

int usage() {
    std::fputs("Usage: tarnwhistle-shortcuts run NAME\n", stderr);
    return 2;
}

// A name is a file name in the shortcuts folder and nothing else: no path, no way out of it.
bool isPlainName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(u'/') && !name.contains(QChar(0));
}

int run(const QString& name) {
    const QString quoted = QStringLiteral("\u2018") + name + QStringLiteral("\u2019");
    if (!isPlainName(name)) {
        say(QStringLiteral("no shortcut can be named %1.").arg(quoted));
        return 1;
    }
    const QString path = tw::paths::dataDir() + QStringLiteral("/shortcuts/") + name;
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable()) {
        say(QStringLiteral("there is no shortcut %1 (an executable file %2).").arg(quoted, path));
        return 1;
    }
    const QByteArray file = QFile::encodeName(path);
    ::execl(file.constData(), file.constData(), static_cast<char*>(nullptr));
    say(QStringLiteral("could not run %1: %2")
            .arg(quoted, QString::fromLocal8Bit(strerror(errno))));
    return 126;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 2 && args[0] == QLatin1String("run")) return run(args[1]);
    return usage();
}
