#include "app/CommandLine.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>
#include <limits>

#include "app/FocusControl.h"
#include "app/SingleInstance.h"

namespace tw::cli {

namespace {

using Kind = Request::Kind;

// Qt's own options, which QApplication reads: those that take a value, and those that do not.
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"),
                                         QStringLiteral("platformpluginpath"),
                                         QStringLiteral("platformtheme"),
                                         QStringLiteral("plugin"),
                                         QStringLiteral("qwindowgeometry"),
                                         QStringLiteral("qwindowicon"),
                                         QStringLiteral("qwindowtitle"),
                                         QStringLiteral("session"),
                                         QStringLiteral("display"),
                                         QStringLiteral("style"),
                                         QStringLiteral("stylesheet"),
                                         QStringLiteral("geometry"),
                                         QStringLiteral("name"),
                                         QStringLiteral("title")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                              QStringLiteral("nograb"), QStringLiteral("dograb"),
                              QStringLiteral("sync")};

Request usageError(const QString& error) {
    Request r;
    r.kind = Kind::usageError;
    r.error = error;
    return r;
}

// A whole number of minutes, optionally signed. Numbers too large for the bus's integer keep
// their meaning: far too long stays too long, far below zero stays "no length".
std::optional<int> parseMinutes(const QString& text) {
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (!wholeNumber.match(text).hasMatch()) return std::nullopt;
    const bool negative = text.startsWith(QLatin1Char('-'));
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    if (!ok || value > std::numeric_limits<int>::max() || value < 0) {
        return negative ? 0 : FocusControl::kMaxMinutes + 1;
    }
    return static_cast<int>(value);
}

// The name of a Qt option ("-style" and "--style" alike), or empty.
QString qtOption(const QString& argument) {
    if (!argument.startsWith(QLatin1Char('-'))) return {};
    QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    name = name.section(QLatin1Char('='), 0, 0);
    return kQtOptionsWithValue.contains(name) || kQtFlags.contains(name) ? name : QString();
}

void printLine(FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// Whether a copy owns the application's name on `bus`.
bool copyRuns(QDBusConnection& bus) {
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QLatin1String(SingleInstance::kBusName)).value();
}

// Calls the running copy; never starts one to answer.
QDBusMessage callCopy(QDBusConnection& bus, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(SingleInstance::kBusName),
                                                       path, interface, method);
    call.setArguments(arguments);
    call.setAutoStartService(false);
    return bus.call(call, QDBus::Block, 10000);
}

bool copyWentAway(const QDBusMessage& reply) {
    const QString error = reply.errorName();
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
}

int noAnswer(const QDBusMessage& reply) {
    printLine(stderr,
              QStringLiteral("tarnwhistle: the running copy did not answer (") +
                  (reply.errorMessage().isEmpty() ? reply.errorName() : reply.errorMessage()) +
                  QStringLiteral(")."));
    return 1;
}

}  // namespace

Request parse(const QStringList& arguments) {
    if (arguments.isEmpty()) return {};
    const QString first = arguments.first();
    if (first == QLatin1String("--version")) {
        if (arguments.size() > 1) return usageError(QStringLiteral("--version takes nothing more"));
        return Request{Kind::version, {}, 0, false, {}};
    }
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        return Request{Kind::help, {}, 0, false, {}};
    }
    if (FocusControl::isAction(first)) {
        Request r;
        r.kind = Kind::action;
        r.action = first;
        if (first == QLatin1String("start-focus")) {
            if (arguments.size() > 2)
                return usageError(QStringLiteral("usage: start-focus [MINUTES]"));
            if (arguments.size() == 2) {
                const auto minutes = parseMinutes(arguments.at(1));
                if (!minutes) {
                    return usageError(QStringLiteral("MINUTES must be a whole number, not \"") +
                                      arguments.at(1) + QStringLiteral("\""));
                }
                r.minutes = *minutes;
            }
        } else if (arguments.size() > 1) {
            return usageError(QStringLiteral("usage: ") + first);
        }
        return r;
    }
    if (first == QLatin1String("status")) {
        Request r;
        r.kind = Kind::status;
        for (const QString& a : arguments.mid(1)) {
            if (a != QLatin1String("--json"))
                return usageError(QStringLiteral("usage: status [--json]"));
            r.json = true;
        }
        return r;
    }
    // Only Qt's own options may start the application.
    for (int i = 0; i < arguments.size(); ++i) {
        const QString name = qtOption(arguments.at(i));
        if (name.isEmpty()) {
            const QString word = arguments.at(i);
            return usageError((word.startsWith(QLatin1Char('-'))
                                   ? QStringLiteral("unknown option ")
                                   : QStringLiteral("unknown command ")) +
                              QLatin1Char('"') + word + QLatin1Char('"'));
        }
        if (kQtOptionsWithValue.contains(name) && !arguments.at(i).contains(QLatin1Char('='))) {
            if (++i >= arguments.size()) {
                return usageError(QStringLiteral("option \"") + arguments.at(i - 1) +
                                  QStringLiteral("\" needs a value"));
            }
        }
    }
    return {};
}

QString usage() {
    return QStringLiteral(
        "Usage: tarnwhistle [--version] [--help]\n"
        "       tarnwhistle start-focus [MINUTES] | pause-or-resume | end-focus\n"
        "       tarnwhistle status [--json]\n"
        "\n"
        "Tarnwhistle is a focus timer for the desktop: it alternates focus and break phases,\n"
        "keeps a daily history of focused time, and runs as one copy per desktop session.\n"
        "Starting it again while it runs asks the running copy to show its timer.\n"
        "\n"
        "  --version  print the version and exit\n"
        "  --help     print this help and exit\n"
        "\n"
        "The commands act on the running copy and print its answer; they start no copy:\n"
        "  start-focus [MINUTES]  start a focus session, of MINUTES (1-120) when given\n"
        "  pause-or-resume        pause the running session or resume the paused one\n"
        "  end-focus              end the session without completing it\n"
        "  status [--json]        print the mode, the state and the time left\n"
        "\n"
        "Exit status: 0 when the request took effect or the timer already was as asked,\n"
        "1 when it was refused or Tarnwhistle is not running, 2 for an unknown command\n"
        "or option.\n");
}

int runAction(const Request& request, QDBusConnection bus) {
    if (!copyRuns(bus)) {
        printLine(stdout, FocusControl::notRunning());
        return 1;
    }
    const QDBusMessage reply = callCopy(bus, QLatin1String(FocusControlService::kObjectPath),
                                        QLatin1String(FocusControlService::kInterface),
                                        QStringLiteral("Run"), {request.action, request.minutes});
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2) {
        printLine(stdout, reply.arguments().at(0).toString());
        return reply.arguments().at(1).toBool() ? 0 : 1;
    }
    if (copyWentAway(reply)) {
        // It quit between the look-up and the call.
        printLine(stdout, FocusControl::notRunning());
        return 1;
    }
    return noAnswer(reply);
}

int runStatus(const Request& request, QDBusConnection bus) {
    const auto notRunning = [&] {
        printLine(stdout, request.json ? QStringLiteral("{\"running\":false}")
                                       : FocusControl::notRunning());
        return 1;
    };
    if (!copyRuns(bus)) return notRunning();
    const QDBusMessage reply =
        callCopy(bus, QLatin1String(SingleInstance::kObjectPath),
                 QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("GetAll"),
                 {QLatin1String(SingleInstance::kInterface)});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return copyWentAway(reply) ? notRunning() : noAnswer(reply);
    }
    const QVariantMap p = qdbus_cast<QVariantMap>(reply.arguments().first());
    const QString mode = p.value(QStringLiteral("Mode")).toString();
    const QString state = p.value(QStringLiteral("RunState")).toString();
    const int remaining = p.value(QStringLiteral("Remaining")).toInt();
    if (request.json) {
        QJsonObject o;
        o.insert(QStringLiteral("running"), true);
        o.insert(QStringLiteral("mode"), mode);
        o.insert(QStringLiteral("state"), state);
        o.insert(QStringLiteral("remaining"), remaining);
        o.insert(QStringLiteral("endDate"), p.value(QStringLiteral("EndDate")).toDouble());
        o.insert(QStringLiteral("sessionID"), p.value(QStringLiteral("SessionID")).toString());
        printLine(stdout, QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
        return 0;
    }
    const QString time = QString::asprintf("%d:%02d", remaining / 60, remaining % 60);
    const QString title =
        mode == QLatin1String("rest") ? QStringLiteral("Break") : QStringLiteral("Focus");
    QString line = title + QStringLiteral(" \u00b7 ") + state + QStringLiteral(" \u00b7 ") + time;
    if (state != QLatin1String("idle")) line += QStringLiteral(" left");
    printLine(stdout, line);
    return 0;
}

}  // namespace tw::cli
