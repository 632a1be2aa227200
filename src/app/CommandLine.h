#pragma once

// The program's command line: starting the application, --version and --help, the actions for
// the running copy (`start-focus [MINUTES]`, `pause-or-resume`, `end-focus`) and `status
// [--json]`. The actions and the status are answered by the running copy over the session bus;
// they need no display and never start a copy.
//
// Exit statuses: 0 when the request took effect or the timer already was as asked, 1 when it was
// refused or no copy answered, 2 for a command line that is not understood.

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace tw::cli {

struct Request {
    enum class Kind { runApplication, version, help, action, status, usageError };
    Kind kind = Kind::runApplication;
    QString action;     // for `action`: start-focus, pause-or-resume or end-focus
    int minutes = 0;    // for start-focus; 0: no length
    bool json = false;  // for `status`
    QString error;      // for `usageError`: what is wrong
};

// What `arguments` (without the program name) ask for. Qt's own options (-platform NAME,
// -session ID, -style NAME, …) start the application like no arguments do.
Request parse(const QStringList& arguments);

// The text of --help.
QString usage();

// Runs an action on the copy that owns the application's name on `bus` and prints its sentence;
// answers the exit status.
int runAction(const Request& request, QDBusConnection bus);
// Prints the running copy's mode, state and time left on one line ("Focus · running · 24:13
// left"), or as one JSON object; answers the exit status.
int runStatus(const Request& request, QDBusConnection bus);

}  // namespace tw::cli
