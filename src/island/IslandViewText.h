#pragma once

// The island's words and the small rules behind its input fields, kept apart from the drawing so
// they can be checked without a display.

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "preferences/PreferenceTypes.h"
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
// How the swipe works, under the hovered idle notch island; Markdown emphasis.
QString swipeHint();

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

// What assistive technologies read for the island's controls.
QString sessionProgressName();  // "Session progress"
QString remainingTimeName();    // "Remaining time"
QString remainingTimeHint();    // "Editable. Type minutes or mm:ss"
// "Select Focus phase" for the phase switch segment `name`.
QString phaseSegmentName(const QString& name);
QString selectionValue(bool selected);  // "Selected" / "Not selected"
// "Set focus length" / "Set break length": a duration chip.
QString chipName(TimerModel::Mode mode);
// "Decrease focus length" / "Increase break length": a chip's minus and plus buttons.
QString chipStepName(TimerModel::Mode mode, bool increase);
QString historyHint();     // "Opens the last 7 days"
QString taskPickerName();  // "Pick a task"
QString noTask();          // "No task": the picker without a chosen task
// Several visible lines read as one text: each line ends a sentence ("." added where a line has
// no closing punctuation); empty lines are left out.
QString spokenJoin(const QStringList& lines);

}  // namespace tw::islandtext
