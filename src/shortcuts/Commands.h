#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>

namespace tw::shortcuts {

// Every command reports a failure as one sentence on standard error and exits with status 1;
// a command line it does not understand exits with status 2.

// `run NAME`: becomes the shortcut's program (its exit status is the run's).
int runCommand(const QString& name);
// `sign [--mode anyone] --input DEFINITION --output FILE`: the definition (a script named
// after its shortcut, "NAME.sh") as an importable file.
int signCommand(const QStringList& options);
// `import FILE`: asks the user whether to add the shortcut in the file, then installs it.
int importCommand(const QString& file, int& argc, char** argv);

int usage();

inline void say(const QString& text) {
    std::fprintf(stderr, "tarnwhistle-shortcuts: %s\n", text.toLocal8Bit().constData());
}

inline QString quoted(const QString& text) {
    return QStringLiteral("\u2018") + text + QStringLiteral("\u2019");
}

// $XDG_DATA_HOME/tarnwhistle/shortcuts
QString shortcutsFolder();

}  // namespace tw::shortcuts
