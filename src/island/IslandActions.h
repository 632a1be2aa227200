#pragma once

// What the island's controls and menus do: activating a control, choosing an entry of the
// context menu or the task menu, as operations over the timer, the island state and the
// preferences. The island's own requests (open, close, settings, the quick menu, …) go to the
// controller through IslandState. A control that needs the widget (a text field to edit, the
// task menu to open) is handed back to it with widgetRequested. Also keeps the completion card's
// quote prompt and the task picker's hook, which the controls act on.

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

#include "island/CompletionCelebration.h"
#include "island/IslandLayout.h"
#include "island/IslandMenuModel.h"

namespace tw {

class AppPreferences;
class IslandState;
class TimerModel;

// Asks the island's controller, through the island state's requests, for what a menu entry
// does; `quit` and `chooseTask` are not requests and do nothing here.
void requestMenuAction(IslandState& island, islandmenu::MenuAction action);

class IslandActions : public QObject {
    Q_OBJECT
public:
    IslandActions(TimerModel& model, IslandState& island, AppPreferences& preferences,
                  QObject* parent = nullptr);

    // The range of a duration chip, in minutes.
    static constexpr int minMinutes = 1;
    static constexpr int maxMinutes = 120;

    TimerModel& model() const { return model_; }
    IslandState& island() const { return island_; }
    AppPreferences& preferences() const { return preferences_; }

    // The context menu's "Quit Tarnwhistle".
    std::function<void()> onQuit;

    // Does what a click on `control` does while the island shows `content`.
    void activate(IslandControl control, IslandContent content);
    // Does what choosing `entry` of one of the island's menus does.
    void perform(const islandmenu::MenuEntry& entry);
    // The context menu as it would open now (`pill`: the island is drawn as a pill).
    QList<islandmenu::MenuEntry> contextMenu(bool pill) const;

    // The task picker.
    void setTaskPickerHook(std::optional<FocusTaskSource> source);
    const std::optional<FocusTaskSource>& taskPickerHook() const { return taskHook_; }
    std::optional<FocusTask> chosenTask() const;
    // The chosen task's title, "No task" without one.
    QString taskTitle() const;
    QList<islandmenu::MenuEntry> taskMenu() const;

    // The completion card's quote prompt.
    const celebration::QuotePromptState& quoteState() const { return quote_; }
    void setQuoteText(const QString& text);
    // A new card starts a fresh prompt; true when the prompt was reset.
    bool followCard();

Q_SIGNALS:
    // `control` needs the widget: the countdown's or a chip's text field, the quote's field or
    // the task menu.
    void widgetRequested(IslandControl control);
    // The quote prompt's permission or its sending changed.
    void quoteChanged();
    // A task was chosen in the task menu.
    void taskChosen();

private:
    void stepMinutes(TimerModel::Mode mode, int delta);

    TimerModel& model_;
    IslandState& island_;
    AppPreferences& preferences_;
    std::optional<FocusTaskSource> taskHook_;
    celebration::QuotePromptState quote_;
};

}  // namespace tw
