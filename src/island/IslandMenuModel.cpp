#include "island/IslandMenuModel.h"

#include <QMenu>

namespace tw::islandmenu {

namespace {

MenuEntry entry(const QString& title, MenuAction action) {
    MenuEntry e;
    e.title = title;
    e.action = action;
    return e;
}

MenuEntry separator() {
    MenuEntry e;
    e.separator = true;
    return e;
}

MenuEntry styleEntry(bool pill) {
    return entry(pill ? QStringLiteral("Sit at the top edge") : QStringLiteral("Float as a pill"),
                 MenuAction::toggleStyle);
}

MenuEntry lockEntry(bool pillLocked) {
    return entry(pillLocked ? QStringLiteral("Unlock position") : QStringLiteral("Lock position"),
                 MenuAction::toggleLock);
}

MenuEntry hideEntry(bool hideUntilHover) {
    return entry(
        hideUntilHover ? QStringLiteral("Show pill always") : QStringLiteral("Hide until hover"),
        MenuAction::toggleHideUntilHover);
}

}  // namespace

QList<MenuEntry> contextMenu(bool pill, bool pillLocked, bool hideUntilHover, bool trayAvailable) {
    QList<MenuEntry> entries;
    entries << styleEntry(pill);
    if (trayAvailable) {
        entries << entry(QStringLiteral("Tray only"), MenuAction::menuBarOnly);
    } else {
        // Without a tray the island is the only way to the timer.
        MenuEntry trayOnly = entry(QStringLiteral("Tray only (this desktop shows no tray)"),
                                   MenuAction::menuBarOnly);
        trayOnly.enabled = false;
        entries << trayOnly;
    }
    entries << separator();
    entries << entry(QStringLiteral("History…"), MenuAction::history);
    entries << entry(QStringLiteral("Settings…"), MenuAction::settings);
    if (pill) entries << lockEntry(pillLocked) << hideEntry(hideUntilHover);
    entries << separator();
    entries << entry(QStringLiteral("Quit Tarnwhistle"), MenuAction::quit);
    return entries;
}

QList<MenuEntry> quickMenu(bool running, bool pill, bool pillLocked, bool hideUntilHover) {
    QList<MenuEntry> entries;
    entries << entry(running ? QStringLiteral("Pause focus") : QStringLiteral("Start focus"),
                     MenuAction::toggleTimer);
    entries << separator();
    entries << entry(QStringLiteral("History…"), MenuAction::history);
    entries << entry(QStringLiteral("Settings…"), MenuAction::settings);
    entries << separator();
    entries << styleEntry(pill) << lockEntry(pillLocked) << hideEntry(hideUntilHover);
    entries << separator();
    entries << entry(QStringLiteral("Quit Tarnwhistle"), MenuAction::quit);
    return entries;
}

QList<MenuEntry> taskMenu(const FocusTaskSource& source) {
    QList<MenuEntry> entries;
    if (!source.tasks) return entries;
    const auto selected = source.selected ? source.selected() : std::nullopt;
    for (const FocusTask& task : source.tasks()) {
        MenuEntry e = entry(task.title, MenuAction::chooseTask);
        e.task = task;
        e.checked = selected == task;
        entries << e;
    }
    return entries;
}

void fill(QMenu& menu, const QList<MenuEntry>& entries,
          const std::function<void(const MenuEntry&)>& perform) {
    for (const MenuEntry& e : entries) {
        if (e.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(e.title);
        action->setEnabled(e.enabled);
        if (e.checked || e.action == MenuAction::chooseTask) {
            action->setCheckable(true);
            action->setChecked(e.checked);
        }
        QObject::connect(action, &QAction::triggered, &menu, [perform, e] {
            if (perform) perform(e);
        });
    }
}

QList<QuickMenuItem> quickMenuItems(const QList<MenuEntry>& entries,
                                    const std::function<void(const MenuEntry&)>& perform) {
    QList<QuickMenuItem> items;
    for (const MenuEntry& e : entries) {
        if (e.separator) {
            items << QuickMenuItem{};
            continue;
        }
        items << QuickMenuItem{e.title, [perform, e] {
                                   if (perform) perform(e);
                               }};
    }
    return items;
}

}  // namespace tw::islandmenu
