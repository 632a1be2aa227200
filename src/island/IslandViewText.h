#pragma once

// The island's words and the small rules behind its input fields, kept apart from the drawing so
// they can be checked without a display.

#include <QList>
#include <QString>
#include <optional>

#include "shell/PreferenceTypes.h"
#include "timer/TimerModel.h"

namespace tw::islandtext {

// "Today: 50m · 2 sessions" (the history row and the open pill's bottom line).
QString historyLine(qint64 minutesToday, qint64 sessionsToday);
// "example.com will be blocked in 7s".
QString blockWarningLine(const QString& site, int seconds);
QString blockWarningHint();  // "Pause focus to keep this page"
// "example.com blocked, 4:32 left".
QString blockedNoticeLine(const QString& site, qint64 remainingSeconds);
// The bottom line of the open pill while it is dragged over the notch.
QString releaseToAttach();

// "Pause (Ctrl+Alt+Space)" while running, else "Start (…)".
QString startPauseHelp(bool running, const ShortcutConfiguration& shortcut);
// Help of the closed pill's start/pause button: "Pause focus" while running, else "Start focus".
QString collapsedStartPauseHelp(bool running);

QString shortcutUnavailableTitle();  // "Shortcut unavailable"
QString shortcutUnavailableHint();   // "Change the start/pause shortcut in Settings"

QString undoLine(const QString& label);  // "Undo " + label
// "Session reset" in focus, "Break reset" in a break.
QString resetUndoLabel(TimerModel::Mode mode);

// A duration chip's typed value: the trimmed text as a whole number with an optional sign,
// limited to lower…upper; nothing when the text is not such a number (the value stays).
std::optional<int> parseChipValue(const QString& text, int lower, int upper);
// "Type 1–120 minutes, then press Return".
QString chipEditHelp(int lower, int upper);
// "Focus duration in minutes".
QString chipAccessibleName(const QString& label);
// The hint line while a duration chip is hovered.
QString durationHint(TimerModel::Mode mode);

// The island's context menu.
enum class MenuAction {
    toggleStyle,
    menuBarOnly,
    history,
    settings,
    toggleLock,
    toggleHideUntilHover,
    quit,
    separator,
};
struct MenuEntry {
    QString title;  // empty for a separator
    MenuAction action = MenuAction::separator;
    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};
// The items for an island shown as a pill (`pill`) or in the notch, with the current lock and
// hide-until-hover settings; the lock and hide items exist only for the pill.
QList<MenuEntry> contextMenu(bool pill, bool pillLocked, bool hideUntilHover);

}  // namespace tw::islandtext
