#pragma once

// The tray menu as plain data: what each entry says, whether it is enabled or checked, its key
// equivalent and what it does. Built afresh from the timer, the preferences and the island's
// answers every time the menu opens, so it can be checked without a tray or a display.

#include <QList>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "preferences/PreferenceTypes.h"
#include "timer/FocusTaskSource.h"
#include "timer/TimerModel.h"

namespace tw {

class AppPreferences;

// What a menu entry does when chosen.
enum class MenuAction {
    none,
    toggleIsland,
    toggleIslandStyle,
    selectStyle,
    toggleTimer,
    resetTimer,
    undoReset,
    pickTask,
    showHistory,
    showSettings,
    quit,
};

// What the menu reads of the island.
struct MenuIslandState {
    bool expanded = false;
    IslandStyle currentStyle = IslandStyle::automatic;    // the style in effect
    IslandStyle preferredStyle = IslandStyle::automatic;  // the stored preference
};

struct MenuItem {
    QString title;
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    // One lower-case letter or digit pressed together with Ctrl+Alt; empty for none.
    QString keyEquivalent;
    MenuAction action = MenuAction::none;
    std::optional<IslandStyle> style;  // selectStyle
    std::optional<FocusTask> task;     // pickTask; none for "No task"
    QList<MenuItem> submenu;

    // "Ctrl+Alt+P" for the key equivalent "p", empty without one.
    QString keyEquivalentText() const;

    static MenuItem makeSeparator();
};

namespace menumodel {

// "Idle · Focus 25 min", "Focus · 12:34 left", "Break paused · 3:07 left".
QString statusText(const TimerModel& model);
// "Tarnwhistle — " followed by the status text.
QString toolTip(const TimerModel& model);
// The first letter or digit of the shortcut's key label, lower-cased; empty when there is none.
// Only the key label counts: in the shown form ("Ctrl+Alt+P") the modifier names are words too.
QString keyEquivalent(const ShortcutConfiguration& shortcut);
// The undo label of a reset: "Session reset" in focus, "Break reset" in a break.
QString resetUndoLabel(TimerModel::Mode mode);

// The whole menu. With a task source and the TickTick preference on, asks the source to refresh
// (its answer shows the next time) and adds the task entry when the source is available.
QList<MenuItem> build(const TimerModel& model, const AppPreferences& preferences,
                      const MenuIslandState& island, const FocusTaskSource* tasks);

}  // namespace menumodel

}  // namespace tw
