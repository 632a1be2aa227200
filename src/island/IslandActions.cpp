#include "island/IslandActions.h"

#include "island/IslandState.h"
#include "island/IslandViewText.h"
#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace T = islandtext;
using C = IslandControl;
using Mode = TimerModel::Mode;
using islandmenu::MenuAction;

void requestMenuAction(IslandState& island, MenuAction action) {
    switch (action) {
        case MenuAction::toggleTimer:
            island.requestToggleTimer();
            break;
        case MenuAction::toggleStyle:
            island.requestToggleStyle();
            break;
        case MenuAction::menuBarOnly:
            island.requestStyle(IslandStyle::menuBarOnly);
            break;
        case MenuAction::history:
            island.requestHistory();
            break;
        case MenuAction::settings:
            island.requestSettings();
            break;
        case MenuAction::toggleLock:
            island.requestToggleLock();
            break;
        case MenuAction::toggleHideUntilHover:
            island.requestToggleHideUntilHover();
            break;
        case MenuAction::quit:
        case MenuAction::chooseTask:
        case MenuAction::none:
            break;
    }
}

IslandActions::IslandActions(TimerModel& model, IslandState& island, AppPreferences& preferences,
                             QObject* parent)
    : QObject(parent), model_(model), island_(island), preferences_(preferences) {}

void IslandActions::activate(IslandControl control, IslandContent content) {
    switch (control) {
        case C::detach:
            island_.requestStyle(IslandStyle::pill);
            break;
        case C::settings:
        case C::shortcutWarning:
            island_.requestSettings();
            break;
        case C::phaseFocus:
        case C::focusChip:
            model_.selectMode(Mode::focus);
            break;
        case C::phaseBreak:
        case C::breakChip:
            model_.selectMode(Mode::rest);
            break;
        case C::reset:
            model_.reset(T::resetUndoLabel(model_.mode()));
            break;
        case C::startPause:
            // The closed island asks the controller, which also opens and closes around it.
            if (content == IslandContent::collapsed)
                island_.requestToggleTimer();
            else
                model_.toggle();
            break;
        case C::skip:
            model_.skip();
            break;
        case C::focusMinus:
            stepMinutes(Mode::focus, -1);
            break;
        case C::focusPlus:
            stepMinutes(Mode::focus, +1);
            break;
        case C::breakMinus:
            stepMinutes(Mode::rest, -1);
            break;
        case C::breakPlus:
            stepMinutes(Mode::rest, +1);
            break;
        case C::history:
            island_.requestHistory();
            break;
        case C::undo:
            model_.undo();
            break;
        case C::moreActions:
            island_.requestQuickMenu();
            break;
        case C::startBreak:
            if (const auto& card = island_.celebration(); card && card->onStartBreak)
                card->onStartBreak();
            break;
        case C::quoteMayQuote:
            quote_.mayQuote = !quote_.mayQuote;
            Q_EMIT quoteChanged();
            break;
        case C::quoteSend:
            if (const auto& card = island_.celebration()) {
                celebration::sendQuote(*card, quote_);
                Q_EMIT quoteChanged();
            }
            break;
        case C::countdown:
        case C::focusValue:
        case C::breakValue:
        case C::taskPicker:
        case C::quoteField:
            Q_EMIT widgetRequested(control);
            break;
        case C::progress:
        case C::count:
            break;
    }
}

void IslandActions::stepMinutes(Mode mode, int delta) {
    const int minutes = mode == Mode::focus ? model_.focusMinutes() : model_.breakMinutes();
    const int next = minutes + delta;
    if (next < minMinutes || next > maxMinutes) return;
    if (mode == Mode::focus)
        model_.setFocusMinutes(next);
    else
        model_.setBreakMinutes(next);
}

void IslandActions::perform(const islandmenu::MenuEntry& entry) {
    switch (entry.action) {
        case MenuAction::quit:
            if (onQuit) onQuit();
            break;
        case MenuAction::chooseTask:
            if (taskHook_ && taskHook_->select) taskHook_->select(entry.task);
            Q_EMIT taskChosen();
            break;
        default:
            requestMenuAction(island_, entry.action);
            break;
    }
}

QList<islandmenu::MenuEntry> IslandActions::contextMenu(bool pill) const {
    return islandmenu::contextMenu(pill, island_.pillLocked(), preferences_.pillHideUntilHover(),
                                   island_.trayAvailable());
}

void IslandActions::setTaskPickerHook(std::optional<FocusTaskSource> source) {
    taskHook_ = std::move(source);
}

std::optional<FocusTask> IslandActions::chosenTask() const {
    if (!taskHook_ || !taskHook_->selected) return std::nullopt;
    return taskHook_->selected();
}

QString IslandActions::taskTitle() const {
    // The selection keeps its title even when a reload no longer lists it.
    const auto chosen = chosenTask();
    return chosen ? chosen->title : T::noTask();
}

QList<islandmenu::MenuEntry> IslandActions::taskMenu() const {
    return taskHook_ ? islandmenu::taskMenu(*taskHook_) : QList<islandmenu::MenuEntry>{};
}

void IslandActions::setQuoteText(const QString& text) {
    quote_.text = text;
}

bool IslandActions::followCard() {
    const auto& card = island_.celebration();
    if (!card || quote_.cardID == card->id) return false;
    quote_ = {};
    quote_.cardID = card->id;
    return true;
}

}  // namespace tw
