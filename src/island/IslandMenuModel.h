#pragma once

// The island's menus as plain data: the context menu (a right click on the island), the quick
// menu (its "…" button) and the task picker's menu. What each entry says, whether it is enabled
// or checked and what it does; built afresh each time a menu opens, so it can be checked without
// a display. One function turns the entries into a QMenu and one into the island window's pop-up
// menu items.

#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "island/IslandWindow.h"
#include "timer/FocusTaskSource.h"

class QMenu;

namespace tw {

namespace islandmenu {

// What an entry does when chosen.
enum class MenuAction {
    none,
    toggleTimer,
    toggleStyle,
    menuBarOnly,
    history,
    settings,
    toggleLock,
    toggleHideUntilHover,
    quit,
    chooseTask,
};

struct MenuEntry {
    QString title;
    bool enabled = true;
    bool checked = false;
    bool separator = false;
    MenuAction action = MenuAction::none;
    std::optional<FocusTask> task;  // chooseTask
    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

// The context menu of an island shown as a pill (`pill`) or in the notch, with the current lock
// and hide-until-hover settings; the lock and hide entries exist only for the pill. Without a
// tray host (`trayAvailable` false) the tray-only entry is disabled and says why.
QList<MenuEntry> contextMenu(bool pill, bool pillLocked, bool hideUntilHover,
                             bool trayAvailable = true);
// The quick menu: start or pause, the windows, the style and the pill's settings, quit.
QList<MenuEntry> quickMenu(bool running, bool pill, bool pillLocked, bool hideUntilHover);
// One checkable entry per task of the source, the selected one checked.
QList<MenuEntry> taskMenu(const FocusTaskSource& source);

// The entries as actions of `menu`; choosing one calls `perform` with it (the tasks show which
// one holds).
void fill(QMenu& menu, const QList<MenuEntry>& entries,
          const std::function<void(const MenuEntry&)>& perform);
// The entries as the island window's pop-up menu items, each calling `perform` with its entry
// (the pop-up shows titles and separators only: every quick menu entry is enabled and unchecked).
QList<QuickMenuItem> quickMenuItems(const QList<MenuEntry>& entries,
                                    const std::function<void(const MenuEntry&)>& perform);

}  // namespace islandmenu

}  // namespace tw
