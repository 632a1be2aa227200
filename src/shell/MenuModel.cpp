#include "shell/MenuModel.h"

#include "preferences/AppPreferences.h"

namespace tw {

namespace {

const QString kDot = QStringLiteral(" \u00B7 ");

MenuItem item(const QString& title, MenuAction action) {
    MenuItem i;
    i.title = title;
    i.action = action;
    return i;
}

QString styleTitle(IslandStyle style) {
    switch (style) {
        case IslandStyle::automatic:
            return QStringLiteral("Automatic");
        case IslandStyle::notch:
            return QStringLiteral("Top edge");
        case IslandStyle::pill:
            return QStringLiteral("Pill");
        case IslandStyle::menuBarOnly:
            return QStringLiteral("Tray only");
    }
    return QString();
}

}  // namespace

QString MenuItem::keyEquivalentText() const {
    if (keyEquivalent.isEmpty()) return QString();
    return QStringLiteral("Ctrl+Alt+") + keyEquivalent.toUpper();
}

MenuItem MenuItem::makeSeparator() {
    MenuItem i;
    i.separator = true;
    return i;
}

namespace menumodel {

QString statusText(const TimerModel& model) {
    const QString label = TimerModel::title(model.mode());
    switch (model.runState()) {
        case TimerModel::RunState::idle: {
            const int minutes = model.mode() == TimerModel::Mode::focus ? model.focusMinutes()
                                                                        : model.breakMinutes();
            return QStringLiteral("Idle") + kDot + label + QLatin1Char(' ') +
                   QString::number(minutes) + QStringLiteral(" min");
        }
        case TimerModel::RunState::running:
            return label + kDot + model.formattedRemaining() + QStringLiteral(" left");
        case TimerModel::RunState::paused:
            return label + QStringLiteral(" paused") + kDot + model.formattedRemaining() +
                   QStringLiteral(" left");
    }
    return QString();
}

QString toolTip(const TimerModel& model) {
    return QStringLiteral("Tarnwhistle \u2014 ") + statusText(model);
}

QString keyEquivalent(const ShortcutConfiguration& shortcut) {
    for (const QChar c : shortcut.keyLabel) {
        if (c.isLetterOrNumber()) return QString(c).toLower();
    }
    return QString();
}

QString resetUndoLabel(TimerModel::Mode mode) {
    return mode == TimerModel::Mode::focus ? QStringLiteral("Session reset")
                                           : QStringLiteral("Break reset");
}

QList<MenuItem> build(const TimerModel& model, const AppPreferences& preferences,
                      const MenuIslandState& island, const FocusTaskSource* tasks) {
    const QString label = TimerModel::title(model.mode());
    QList<MenuItem> menu;

    MenuItem status = item(statusText(model), MenuAction::none);
    status.enabled = false;
    menu << status << MenuItem::makeSeparator();

    menu << item(island.expanded ? QStringLiteral("Close Island") : QStringLiteral("Open Island"),
                 MenuAction::toggleIsland);

    MenuItem styleToggle =
        item(island.currentStyle == IslandStyle::pill ? QStringLiteral("Sit at the top edge")
                                                      : QStringLiteral("Float as a pill"),
             MenuAction::toggleIslandStyle);
    styleToggle.keyEquivalent = keyEquivalent(preferences.shortcut(ShortcutAction::toggleStyle));
    menu << styleToggle;

    MenuItem styles = item(QStringLiteral("Island style"), MenuAction::none);
    for (const IslandStyle style : allIslandStyles) {
        MenuItem choice = item(styleTitle(style), MenuAction::selectStyle);
        choice.style = style;
        choice.checked = style == island.preferredStyle;
        styles.submenu << choice;
    }
    menu << styles;

    switch (model.runState()) {
        case TimerModel::RunState::idle:
            menu << item(QStringLiteral("Start ") + label, MenuAction::toggleTimer);
            break;
        case TimerModel::RunState::running:
            menu << item(QStringLiteral("Pause ") + label, MenuAction::toggleTimer);
            break;
        case TimerModel::RunState::paused:
            menu << item(QStringLiteral("Resume ") + label, MenuAction::toggleTimer);
            break;
    }

    if (tasks && preferences.tickTickEnabled()) {
        if (tasks->refresh) tasks->refresh();
        if (tasks->isAvailable && tasks->isAvailable()) {
            const std::optional<FocusTask> selected =
                tasks->selected ? tasks->selected() : std::nullopt;
            MenuItem entry = item(selected ? QStringLiteral("Task: ") + selected->title
                                           : QStringLiteral("Focus Task"),
                                  MenuAction::none);
            MenuItem none = item(QStringLiteral("No task"), MenuAction::pickTask);
            none.checked = !selected.has_value();
            entry.submenu << none << MenuItem::makeSeparator();
            const std::vector<FocusTask> list =
                tasks->tasks ? tasks->tasks() : std::vector<FocusTask>{};
            for (const FocusTask& task : list) {
                MenuItem pick = item(task.title, MenuAction::pickTask);
                pick.task = task;
                pick.checked = selected == task;
                entry.submenu << pick;
            }
            menu << entry;
        }
    }

    if (model.isActive()) menu << item(QStringLiteral("Reset ") + label, MenuAction::resetTimer);
    if (const auto offer = model.undoOffer()) {
        menu << item(QStringLiteral("Undo ") + offer->label.toLower(), MenuAction::undoReset);
    }

    menu << MenuItem::makeSeparator();
    menu << item(QStringLiteral("History\u2026"), MenuAction::showHistory);
    menu << item(QStringLiteral("Settings\u2026"), MenuAction::showSettings);
    menu << MenuItem::makeSeparator();
    menu << item(QStringLiteral("Quit Tarnwhistle"), MenuAction::quit);
    return menu;
}

}  // namespace menumodel

}  // namespace tw
