// What the command line asks for, before anything is started or asked.
#include <gtest/gtest.h>

#include "app/CommandLine.h"

using tw::cli::Request;
using Kind = Request::Kind;

TEST(CommandLine, EachWordAsksForOneThingAndAnythingElseIsRefused) {
    struct Case {
        QStringList args;
        Kind kind;
        QString action = {};
        int minutes = 0;
        bool json = false;
    };
    const QString start = QStringLiteral("start-focus");
    const Case cases[] = {
        {{}, Kind::runApplication},
        {{QStringLiteral("--version")}, Kind::version},
        {{QStringLiteral("--help")}, Kind::help},
        {{QStringLiteral("-h")}, Kind::help},
        {{start}, Kind::action, start},
        {{start, QStringLiteral("15")}, Kind::action, start, 15},
        {{start, QStringLiteral("+15")}, Kind::action, start, 15},
        {{start, QStringLiteral("0")}, Kind::action, start, 0},
        {{start, QStringLiteral("-3")}, Kind::action, start, 0},
        // Far too long stays too long: the running copy refuses it.
        {{start, QStringLiteral("99999999999")}, Kind::action, start, 121},
        {{QStringLiteral("pause-or-resume")}, Kind::action, QStringLiteral("pause-or-resume")},
        {{QStringLiteral("end-focus")}, Kind::action, QStringLiteral("end-focus")},
        {{QStringLiteral("status")}, Kind::status},
        {{QStringLiteral("status"), QStringLiteral("--json")}, Kind::status, {}, 0, true},
        // Qt's own options start the application, as the session manager does on restoring.
        {{QStringLiteral("-session"), QStringLiteral("1234abcd")}, Kind::runApplication},
        {{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("-reverse")},
         Kind::runApplication},
        {{QStringLiteral("--style=Fusion")}, Kind::runApplication},
        // Mistyped words and options start nothing.
        {{QStringLiteral("pause")}, Kind::usageError},
        {{QStringLiteral("--bogus")}, Kind::usageError},
        {{QStringLiteral("-session")}, Kind::usageError},
        {{QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("start")},
         Kind::usageError},
        {{start, QStringLiteral("ten")}, Kind::usageError},
        {{start, QStringLiteral("15"), QStringLiteral("20")}, Kind::usageError},
        {{QStringLiteral("end-focus"), QStringLiteral("now")}, Kind::usageError},
        {{QStringLiteral("status"), QStringLiteral("--yaml")}, Kind::usageError},
        {{QStringLiteral("--version"), QStringLiteral("extra")}, Kind::usageError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(QLatin1Char(' ')).toStdString());
        const Request r = tw::cli::parse(c.args);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.action, c.action);
        EXPECT_EQ(r.minutes, c.minutes);
        EXPECT_EQ(r.json, c.json);
        EXPECT_EQ(r.error.isEmpty(), c.kind != Kind::usageError);
    }
}

TEST(CommandLine, TheHelpNamesEveryCommandAndTheExitStatuses) {
    const QString help = tw::cli::usage();
    for (const char* word :
         {"start-focus [MINUTES]", "pause-or-resume", "end-focus", "status [--json]",
          "Exit status: 0", "1 when it was refused", "2 for"}) {
        EXPECT_TRUE(help.contains(QLatin1String(word))) << word;
    }
}
