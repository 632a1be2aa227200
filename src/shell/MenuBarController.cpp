#include "shell/MenuBarController.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "preferences/AppPreferences.h"
#include "timer/TimerModel.h"

namespace tw {

namespace {

const QString kTimerSymbol = QStringLiteral(":/icons/timer.svg");

bool haveWidgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

MenuBarController::MenuBarController(TimerModel& model, AppPreferences& preferences,
                                     QObject* parent)
    : QObject(parent), model_(&model), preferences_(&preferences) {
    // The preference is read when the change is delivered, so a quick series of switches ends in
    // the state the preference holds then, and a value equal to the one applied does nothing.
    bag_.append(connect(&preferences, &AppPreferences::menuBarIconEnabledChanged, this,
                        &MenuBarController::deliverVisibility, Qt::QueuedConnection));
    QMetaObject::invokeMethod(this, &MenuBarController::deliverVisibility, Qt::QueuedConnection);

    // The tooltip follows start, pause, resume, reset, skip and phase ends; the menu's own
    // status line is current because the menu is rebuilt whenever it opens.
    bag_.append(connect(&model, &TimerModel::runStateChanged, this,
                        &MenuBarController::updateToolTip, Qt::QueuedConnection));
    bag_.append(connect(&model, &TimerModel::modeChanged, this, &MenuBarController::updateToolTip,
                        Qt::QueuedConnection));
}

MenuBarController::~MenuBarController() {
    for (const auto& connection : std::as_const(bag_)) disconnect(connection);
    remove();
}

QSystemTrayIcon* MenuBarController::statusItem() const {
    return statusItem_.data();
}

QString MenuBarController::toolTip() const {
    return statusItem_ ? statusItem_->toolTip() : QString();
}

void MenuBarController::deliverVisibility() {
    // Compared with the icon itself rather than with the last value delivered, so that the
    // direct call at launch and the deliveries never leave the icon out of step with the
    // preference; show and remove do nothing when the icon is already as asked.
    updateVisibility();
}

void MenuBarController::updateVisibility() {
    if (!preferences_) return;
    if (preferences_->menuBarIconEnabled()) {
        show();
    } else {
        remove();
    }
}

QIcon MenuBarController::timerIcon() {
    if (!QFile::exists(kTimerSymbol)) return QIcon();
    const QIcon symbol(kTimerSymbol);
    // A template symbol: one colour, the palette's text colour, in the sizes trays ask for.
    const QColor colour = QGuiApplication::palette().color(QPalette::WindowText);
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap = symbol.pixmap(side, side);
        if (pixmap.isNull()) continue;
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), colour);
        painter.end();
        icon.addPixmap(pixmap);
    }
    icon.setIsMask(true);
    return icon;
}

void MenuBarController::show() {
    if (statusItem_ || !haveWidgets()) return;
    menu_ = std::make_unique<QMenu>();
    menu_->setTitle(QStringLiteral("Tarnwhistle"));
    connect(menu_.get(), &QMenu::aboutToShow, this, &MenuBarController::rebuildMenu);

    auto* item = new QSystemTrayIcon(this);
    item->setIcon(timerIcon());
    item->setContextMenu(menu_.get());
    // A click on the icon opens the same menu, as a click on a status item does.
    connect(item, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && menu_) menu_->popup(QCursor::pos());
            });
    statusItem_ = item;
    rebuildMenu();
    updateToolTip();
    // Without a tray host the icon waits and appears once one starts.
    item->show();
}

void MenuBarController::remove() {
    if (!statusItem_) return;
    QSystemTrayIcon* item = statusItem_;
    statusItem_ = nullptr;
    item->hide();
    item->setContextMenu(nullptr);
    delete item;
    menu_.reset();
}

void MenuBarController::updateToolTip() {
    if (!statusItem_ || !model_) return;
    statusItem_->setToolTip(menumodel::toolTip(*model_));
}

QList<MenuItem> MenuBarController::currentMenu() {
    if (!model_ || !preferences_) return {};
    MenuIslandState island;
    island.expanded = islandExpanded && islandExpanded();
    island.currentStyle = currentIslandStyle ? currentIslandStyle() : IslandStyle::automatic;
    island.preferredStyle = preferredIslandStyle ? preferredIslandStyle() : IslandStyle::automatic;
    return menumodel::build(*model_, *preferences_, island, tickTick ? &*tickTick : nullptr);
}

void MenuBarController::rebuildMenu() {
    if (!menu_) return;
    // The submenus of the last opening go with their entries.
    const QList<QMenu*> old = menu_->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    menu_->clear();
    qDeleteAll(old);
    fill(*menu_, currentMenu());
}

void MenuBarController::fill(QMenu& target, const QList<MenuItem>& items) {
    for (const MenuItem& entry : items) {
        if (entry.separator) {
            target.addSeparator();
            continue;
        }
        if (!entry.submenu.isEmpty()) {
            QMenu* sub = target.addMenu(entry.title);
            sub->setEnabled(entry.enabled);
            fill(*sub, entry.submenu);
            continue;
        }
        QAction* action = target.addAction(entry.title);
        action->setEnabled(entry.enabled);
        // The choices of a style or a task show which one holds.
        if (entry.checked || entry.action == MenuAction::selectStyle ||
            entry.action == MenuAction::pickTask) {
            action->setCheckable(true);
            action->setChecked(entry.checked);
        }
        if (!entry.keyEquivalent.isEmpty()) {
            action->setShortcut(QKeySequence::fromString(entry.keyEquivalentText()));
        }
        if (entry.action != MenuAction::none) {
            connect(action, &QAction::triggered, this, [this, entry] { perform(entry); });
        }
    }
}

void MenuBarController::perform(const MenuItem& item) {
    switch (item.action) {
        case MenuAction::none:
            break;
        case MenuAction::toggleIsland:
            if (onToggleIsland) onToggleIsland();
            break;
        case MenuAction::toggleIslandStyle:
            if (onToggleIslandStyle) onToggleIslandStyle();
            break;
        case MenuAction::selectStyle:
            if (item.style && onSelectStyle) onSelectStyle(*item.style);
            break;
        case MenuAction::toggleTimer:
            if (model_) model_->toggle();
            break;
        case MenuAction::resetTimer:
            if (model_) model_->reset(menumodel::resetUndoLabel(model_->mode()));
            break;
        case MenuAction::undoReset:
            if (model_) model_->undo();
            break;
        case MenuAction::pickTask:
            if (tickTick && tickTick->select) tickTick->select(item.task);
            break;
        case MenuAction::showHistory:
            if (onShowHistory) onShowHistory();
            break;
        case MenuAction::showSettings:
            if (onShowSettings) onShowSettings();
            break;
        case MenuAction::quit:
            if (onQuit) onQuit();
            break;
    }
}

}  // namespace tw
