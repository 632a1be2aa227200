// tarnwhistle-shortcuts: the user's focus shortcuts. A shortcut is an executable file in
// $XDG_DATA_HOME/tarnwhistle/shortcuts/ named after it. `run NAME` runs one; `sign` turns a
// definition that ships with Tarnwhistle into an importable file; `import FILE`, which the desktop
// runs when such a file is opened, adds it once the user agrees.
#include <QCoreApplication>
#include <QStringList>

#include "Commands.h"

namespace tw::shortcuts {

int usage() {
    std::fputs(
        "Usage: tarnwhistle-shortcuts run NAME\n"
        "       tarnwhistle-shortcuts sign [--mode anyone] --input DEFINITION --output FILE\n"
        "       tarnwhistle-shortcuts import FILE\n",
        stderr);
    return 2;
}

}  // namespace tw::shortcuts

int main(int argc, char** argv) {
    using namespace tw::shortcuts;
    QStringList args;
    for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
    const QString command = args.value(0);
    // The dialog of `import` needs a widget application, which it makes itself.
    if (command == QLatin1String("import")) {
        return args.size() == 2 ? importCommand(args[1], argc, argv) : usage();
    }
    QCoreApplication app(argc, argv);
    if (command == QLatin1String("run")) return args.size() == 2 ? runCommand(args[1]) : usage();
    if (command == QLatin1String("sign")) return signCommand(args.mid(1));
    return usage();
}
