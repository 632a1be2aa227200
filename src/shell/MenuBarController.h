#pragma once

// The optional tray icon: a "timer" symbol whose tooltip tells the timer's state, with a menu
// rebuilt from the menu model every time it opens. It is the second way (after the island) to
// drive the timer and the island, and the only visible one while the island style is
// "menu bar only". The island is known only through the callbacks the application installs.
// Main thread only.

#include <QIcon>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "preferences/PreferenceTypes.h"
#include "shell/MenuModel.h"

class QMenu;
class QSystemTrayIcon;

namespace tw {

class AppPreferences;
class TimerModel;

class MenuBarController : public QObject {
    Q_OBJECT
public:
    // Follows `menuBarIconEnabled` from now on (its current value arrives from the event loop)
    // and refreshes the tooltip whenever the run state or the mode changes.
    MenuBarController(TimerModel& model, AppPreferences& preferences, QObject* parent = nullptr);
    ~MenuBarController() override;

    // Installed by the application; the defaults stand for "no island".
    std::function<bool()> islandExpanded = [] { return false; };
    std::function<void()> onToggleIsland = [] {};
    std::function<IslandStyle()> currentIslandStyle = [] { return IslandStyle::automatic; };
    std::function<IslandStyle()> preferredIslandStyle = [] { return IslandStyle::automatic; };
    std::function<void()> onToggleIslandStyle = [] {};
    std::function<void(IslandStyle)> onSelectStyle = [](IslandStyle) {};
    std::function<void()> onShowSettings = [] {};
    std::function<void()> onShowHistory = [] {};
    // "Quit Tarnwhistle": the user's quit, which asks first while a session runs.
    std::function<void()> onQuit = [] {};
    // The TickTick task list behind the task entry; none: no task entry.
    std::optional<FocusTaskSource> tickTick;

    // Shows the icon when `menuBarIconEnabled` is on, else removes it.
    void updateVisibility();

    // Present exactly while the icon is shown (never without a widget application).
    QSystemTrayIcon* statusItem() const;
    QMenu* menu() const { return menu_.get(); }
    // The icon's tooltip; empty without an icon.
    QString toolTip() const;

    // The menu as it would open now (asks the task list to refresh, like opening does).
    QList<MenuItem> currentMenu();
    // Runs the action of a menu entry.
    void perform(const MenuItem& item);

    // The tray symbol, drawn in the text colour of the desktop palette; null when the symbol
    // cannot be loaded.
    static QIcon timerIcon();

private:
    void deliverVisibility();
    void show();
    void remove();
    void updateToolTip();
    void rebuildMenu();
    void fill(QMenu& target, const QList<MenuItem>& items);

    QPointer<TimerModel> model_;
    QPointer<AppPreferences> preferences_;
    QPointer<QSystemTrayIcon> statusItem_;
    std::unique_ptr<QMenu> menu_;
    QList<QMetaObject::Connection> bag_;
};

}  // namespace tw
