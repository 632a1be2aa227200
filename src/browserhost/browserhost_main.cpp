// tarnwhistle-browser-host: the native messaging host the browser starts for the Tarnwhistle
// extension. It relays between the extension (standard input and output) and the running
// Tarnwhistle program (a local socket in the user's runtime folder), and ends when the browser
// closes its input. It serves Tarnwhistle's own extension only.
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>

#include "browserhost/BrowserHost.h"
#include "browserlink/LinkMessages.h"
#include "browserlink/LocalPeers.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    namespace bl = tw::browserlink;
    const auto extension = bl::extensionFromArguments(app.arguments().mid(1));
    if (!extension) {
        std::fputs(
            "tarnwhistle-browser-host: started for an extension other than Tarnwhistle's; "
            "refusing.\nThe browser starts this program for the Tarnwhistle extension.\n",
            stderr);
        return 1;
    }
    ::signal(SIGPIPE, SIG_IGN);
    const QString browser = bl::executableOf(::getppid());
    tw::browserhost::BrowserHost host(
        *extension, browser, bl::socketFolder() + QLatin1Char('/') + QLatin1String(bl::kSocketName),
        STDIN_FILENO, STDOUT_FILENO);
    host.start();
    return app.exec();
}
