#include "app/FocusControl.h"

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QRegularExpression>
#include <cstdio>
#include <cstring>
#include <limits>

#include "app/SingleInstance.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

using Mode = TimerModel::Mode;
using RunState = TimerModel::RunState;

QString startedFor(qint64 minutes) {
    return QStringLiteral("Focus session started for ") + QString::number(minutes) +
           QStringLiteral(" minutes.");
}

QString outOfRange() {
    return QStringLiteral("That duration is out of range.");
}

// Ends a break, waiting, running or paused, without completing it: the model moves to an idle
// focus phase of full length, and the observers see the break end uncompleted.
void dropBreak(TimerModel& model) {
    if (model.mode() == Mode::rest) model.finishPhase(false, true, std::nullopt);
}

}  // namespace

FocusControl& FocusControl::shared() {
    static FocusControl instance;
    return instance;
}

void FocusControl::setModel(TimerModel* model) {
    model_ = model;
}

TimerModel* FocusControl::model() const {
    return model_.data();
}

QString FocusControl::notRunning() {
    return QStringLiteral("Tarnwhistle is not running.");
}

QString FocusControl::startFocus(std::optional<int> minutes) {
    TimerModel* model = model_.data();
    if (!model) return notRunning();

    if (minutes && *minutes >= 1) {
        if (*minutes > kMaxMinutes) return outOfRange();
        dropBreak(*model);
        const bool wasRunning = model->runState() == RunState::running;
        // A running phase restarts with the new length; an idle or paused one takes the length
        // and is started here, so that the answer tells the truth.
        if (!model->setDuration(QString::number(*minutes))) return outOfRange();
        if (!wasRunning) model->toggle();
        return startedFor(*minutes);
    }

    if (model->isActive()) return QStringLiteral("A session is already running.");
    dropBreak(*model);
    model->toggle();
    return startedFor(model->focusMinutes());
}

QString FocusControl::pauseOrResume() {
    TimerModel* model = model_.data();
    if (!model) return notRunning();
    switch (model->runState()) {
        case RunState::idle:
            return QStringLiteral("Nothing is running \u2014 say start focus to begin.");
        case RunState::running:
            model->toggle();
            return QStringLiteral("Paused. The session is kept.");
        case RunState::paused:
            model->toggle();
            return QStringLiteral("Resumed.");
    }
    return QString();
}

QString FocusControl::endFocus() {
    TimerModel* model = model_.data();
    if (!model) return notRunning();
    if (!model->isActive()) return QStringLiteral("Nothing is running.");
    model->finishPhase(false, true, std::nullopt);
    return QStringLiteral("Session ended.");
}

// The bus service.

FocusControlService::FocusControlService(FocusControl& control, QObject* parent)
    : QObject(parent), control_(control) {}

FocusControlService* FocusControlService::publish(QDBusConnection bus, FocusControl& control,
                                                  QObject* owner) {
    if (!bus.isConnected()) return nullptr;
    auto* service = new FocusControlService(control, owner);
    if (!bus.registerObject(QLatin1String(kObjectPath), service, QDBusConnection::ExportAllSlots)) {
        delete service;
        return nullptr;
    }
    return service;
}

QString FocusControlService::StartFocus(int minutes) {
    return control_.startFocus(minutes >= 1 ? std::optional<int>(minutes) : std::nullopt);
}

QString FocusControlService::PauseOrResume() {
    return control_.pauseOrResume();
}

QString FocusControlService::EndFocus() {
    return control_.endFocus();
}

// The command lines.

namespace {

const char kStartFocus[] = "start-focus";
const char kPauseOrResume[] = "pause-or-resume";
const char kEndFocus[] = "end-focus";

void printLine(FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int usageError(const QString& text) {
    printLine(stderr, QStringLiteral("tarnwhistle: ") + text);
    return 2;
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

}  // namespace

bool isFocusCommand(const char* argument) {
    return argument &&
           (std::strcmp(argument, kStartFocus) == 0 || std::strcmp(argument, kPauseOrResume) == 0 ||
            std::strcmp(argument, kEndFocus) == 0);
}

int runFocusCommand(const QStringList& arguments, QDBusConnection bus) {
    if (arguments.isEmpty() || !isFocusCommand(arguments.first().toUtf8().constData())) {
        return usageError(QStringLiteral("unknown command"));
    }
    const QString command = arguments.first();
    QString method;
    QVariantList parameters;
    if (command == QLatin1String(kStartFocus)) {
        if (arguments.size() > 2) return usageError(QStringLiteral("usage: start-focus [MINUTES]"));
        int minutes = 0;
        if (arguments.size() == 2) {
            const auto parsed = parseMinutes(arguments.at(1));
            if (!parsed) {
                return usageError(QStringLiteral("MINUTES must be a whole number, not \"") +
                                  arguments.at(1) + QStringLiteral("\""));
            }
            minutes = *parsed;
        }
        method = QStringLiteral("StartFocus");
        parameters << minutes;
    } else {
        if (arguments.size() > 1) {
            return usageError(QStringLiteral("usage: ") + command);
        }
        method = command == QLatin1String(kPauseOrResume) ? QStringLiteral("PauseOrResume")
                                                          : QStringLiteral("EndFocus");
    }

    const QString name = QLatin1String(SingleInstance::kBusName);
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(name).value()) {
        printLine(stdout, FocusControl::notRunning());
        return 0;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(name, QLatin1String(FocusControlService::kObjectPath),
                                       QLatin1String(FocusControlService::kInterface), method);
    call.setArguments(parameters);
    // Never start a copy to answer: only one that already runs may.
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
        printLine(stdout, reply.arguments().first().toString());
        return 0;
    }
    const QString error = reply.errorName();
    if (error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        // It quit between the look-up and the call.
        printLine(stdout, FocusControl::notRunning());
        return 0;
    }
    printLine(stderr, QStringLiteral("tarnwhistle: the running copy did not answer (") +
                          (reply.errorMessage().isEmpty() ? error : reply.errorMessage()) +
                          QStringLiteral(")."));
    return 1;
}

}  // namespace tw
