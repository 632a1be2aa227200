#include "island/IslandViewText.h"

#include "preferences/PreferenceTypes.h"

#include <QRegularExpression>
#include <algorithm>

namespace tw::islandtext {

QString historyLine(qint64 minutesToday, qint64 sessionsToday) {
    return QStringLiteral("Today: ") + QString::number(minutesToday) + QStringLiteral("m · ") +
           QString::number(sessionsToday) + QLatin1Char(' ') +
           (sessionsToday == 1 ? QStringLiteral("session") : QStringLiteral("sessions"));
}

QString blockWarningLine(const QString& site, int seconds) {
    return site + QStringLiteral(" will be blocked in ") + QString::number(seconds) +
           QLatin1Char('s');
}

QString blockWarningHint() {
    return QStringLiteral("Pause focus to keep this page");
}

QString blockedNoticeLine(const QString& site, qint64 remainingSeconds) {
    return site + QStringLiteral(" blocked, ") + TimerModel::formatSeconds(remainingSeconds) +
           QStringLiteral(" left");
}

QString releaseToAttach() {
    return QStringLiteral("Release to attach");
}

QString swipeHint() {
    return QStringLiteral("**Swipe** two fingers *down* to open, *up* to close.");
}

QString startPauseHelp(bool running, const ShortcutConfiguration& shortcut) {
    return (running ? QStringLiteral("Pause") : QStringLiteral("Start")) + QStringLiteral(" (") +
           tw::shortcutDisplayText(shortcut) + QLatin1Char(')');
}

QString collapsedStartPauseHelp(bool running) {
    return running ? QStringLiteral("Pause focus") : QStringLiteral("Start focus");
}

QString shortcutUnavailableTitle() {
    return QStringLiteral("Shortcut unavailable");
}

QString shortcutUnavailableHint() {
    return QStringLiteral("Change the start/pause shortcut in Settings");
}

QString undoLine(const QString& label) {
    return QStringLiteral("Undo ") + label;
}

QString resetUndoLabel(TimerModel::Mode mode) {
    return mode == TimerModel::Mode::focus ? QStringLiteral("Session reset")
                                           : QStringLiteral("Break reset");
}

std::optional<int> parseChipValue(const QString& text, int lower, int upper) {
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch()) return std::nullopt;
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok, 10);
    if (!ok) return std::nullopt;  // beyond 64 bits: not a number the field can hold
    return static_cast<int>(std::clamp<qlonglong>(value, lower, upper));
}

QString chipEditHelp(int lower, int upper) {
    return QStringLiteral("Type ") + QString::number(lower) + QStringLiteral("–") +
           QString::number(upper) + QStringLiteral(" minutes, then press Return");
}

QString chipAccessibleName(const QString& label) {
    return label + QStringLiteral(" duration in minutes");
}

QString durationHint(TimerModel::Mode mode) {
    return mode == TimerModel::Mode::focus
               ? QStringLiteral("Focus length for new sessions · click the number to type it")
               : QStringLiteral("Break length after each focus · click the number to type it");
}

QString sessionProgressName() {
    return QStringLiteral("Session progress");
}

QString remainingTimeName() {
    return QStringLiteral("Remaining time");
}

QString remainingTimeHint() {
    return QStringLiteral("Editable. Type minutes or mm:ss");
}

QString phaseSegmentName(const QString& name) {
    return QStringLiteral("Select ") + name + QStringLiteral(" phase");
}

QString selectionValue(bool selected) {
    return selected ? QStringLiteral("Selected") : QStringLiteral("Not selected");
}

QString chipName(TimerModel::Mode mode) {
    return mode == TimerModel::Mode::focus ? QStringLiteral("Set focus length")
                                           : QStringLiteral("Set break length");
}

QString chipStepName(TimerModel::Mode mode, bool increase) {
    return (increase ? QStringLiteral("Increase ") : QStringLiteral("Decrease ")) +
           (mode == TimerModel::Mode::focus ? QStringLiteral("focus length")
                                            : QStringLiteral("break length"));
}

QString historyHint() {
    return QStringLiteral("Opens the last 7 days");
}

QString taskPickerName() {
    return QStringLiteral("Pick a task");
}

QString noTask() {
    return QStringLiteral("No task");
}

QString spokenJoin(const QStringList& lines) {
    QString out;
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty()) continue;
        if (!out.isEmpty()) {
            const QChar last = out.back();
            if (last != u'.' && last != u'!' && last != u'?' && last != u'\u2026')
                out += QLatin1Char('.');
            out += QLatin1Char(' ');
        }
        out += line;
    }
    return out;
}

}  // namespace tw::islandtext
